#include "EditableRecord.h"

#include <lzma.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>

#include "EditableLayout.h"

namespace vistrel::exporting {

namespace {

constexpr std::size_t kStrongPackingBytes = 256 * 1024;
constexpr std::size_t kTinyPartBytes = 16 * 1024;
const char* const kDataChanged =
    "the file's data were changed after the export, so its editable record no longer holds its model";

class TRecordOut {
public:
    std::vector<uint8_t> Bytes;

    void U16(uint16_t v) {
        Bytes.push_back(static_cast<uint8_t>(v));
        Bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        for (int b = 0; b < 4; ++b) Bytes.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
    void F32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        U32(bits);
    }
    void Text(const std::string& text) {
        U32(static_cast<uint32_t>(text.size()));
        Bytes.insert(Bytes.end(), text.begin(), text.end());
    }
};

// The entries of a table up to its count, or nothing when it holds fewer.
bool TableEntries(const AIndexTable& table, std::vector<int>& out) {
    if (table.Count < 0 || static_cast<std::size_t>(table.Count) > table.Items.size()) return false;
    out.assign(table.Items.begin(), table.Items.begin() + table.Count);
    return true;
}

bool Within(int i, std::size_t n) { return i >= 0 && static_cast<std::size_t>(i) < n; }

// One LOD into out; false when the editable writer would refuse it.
bool WriteLod(const TP3dModell& model, const TP3dLOD& lod, TRecordOut& out) {
    std::vector<int> unique, link;
    if (!TableEntries(lod.UniqueVertexes, unique) || !TableEntries(lod.LinkToUnique, link)) return false;
    const std::size_t p = unique.size();
    const std::size_t f = static_cast<std::size_t>(lod.Polygons.Count());
    const std::size_t usable = std::min({static_cast<std::size_t>(lod.Vertexes.Count()),
                                         static_cast<std::size_t>(lod.Normals.Count()), lod.VertexInfo.size()});
    if (!std::all_of(unique.begin(), unique.end(), [&](int i) { return Within(i, usable); })) return false;
    if (!std::all_of(link.begin(), link.end(), [&](int k) { return Within(k, p); })) return false;
    if (lod.Textures.size() >= 0xFFFF) return false;
    for (const APolygon* poly : lod.Polygons)
        for (int c = 0; c < (poly->VertexCount == 4 ? 4 : 3); ++c)
            if (!Within(poly->Corners[c].VertexIndex, link.size())) return false;
    const bool masses = model.GeometryLOD == &lod;
    if (masses && model.Masses.size() < p) return false;

    uint32_t resolution;
    std::memcpy(&resolution, &lod.Resolution, sizeof resolution);
    out.U32(resolution);
    out.U32(static_cast<uint32_t>(p));
    out.U32(static_cast<uint32_t>(f));
    out.U32(static_cast<uint32_t>(lod.Textures.size()));
    out.U32(static_cast<uint32_t>(lod.Selections.Count()));
    out.U32(static_cast<uint32_t>(lod.Properties.size()));
    out.U32(masses ? 1 : 0);
    for (const std::string& name : lod.Textures) out.Text(name);
    for (const TRealSelection* selection : lod.Selections) out.Text(selection->Name);
    for (const std::string& line : lod.Properties) out.Text(line);

    for (const int i : unique) {
        const AVertex& v = *lod.Vertexes[static_cast<std::size_t>(i)];
        out.F32(v.X);
        out.F32(v.Y);
        out.F32(v.Z);
    }
    for (const int i : unique) out.U32(MlodPointFlags(lod.VertexInfo[static_cast<std::size_t>(i)]));
    for (const int i : unique) {
        const ANormal& n = *lod.Normals[static_cast<std::size_t>(i)];
        out.F32(n.X);
        out.F32(n.Y);
        out.F32(n.Z);
    }
    for (const APolygon* poly : lod.Polygons) out.U32(static_cast<uint32_t>(poly->VertexCount));
    for (const APolygon* poly : lod.Polygons) out.U32(poly->Flags);
    for (const APolygon* poly : lod.Polygons)
        out.U16(Within(poly->TextureIndex, lod.Textures.size()) ? static_cast<uint16_t>(poly->TextureIndex) : 0xFFFF);
    // the corners in the slots of the editable file
    auto corners = [](const APolygon& poly, auto&& each) {
        const bool quad = poly.VertexCount == 4;
        const int* order = quad ? editable::kQuadOrder : editable::kTriangleOrder;
        for (int c = 0; c < (quad ? 4 : 3); ++c) each(poly.Corners[order[c]]);
    };
    for (const APolygon* poly : lod.Polygons)
        corners(*poly, [&](const ACorner& c) {
            out.U16(static_cast<uint16_t>(link[static_cast<std::size_t>(c.VertexIndex)]));
        });
    for (const APolygon* poly : lod.Polygons)
        corners(*poly, [&](const ACorner& c) {
            out.F32(c.U);
            out.F32(c.V);
        });

    if (!lod.Selections.Empty()) {
        std::unordered_map<const void*, std::size_t> vertexAt, faceAt;  // the first index of each
        for (std::size_t i = 0; i < static_cast<std::size_t>(lod.Vertexes.Count()); ++i)
            vertexAt.emplace(lod.Vertexes[i], i);
        for (std::size_t i = 0; i < f; ++i) faceAt.emplace(lod.Polygons[i], i);
        const std::size_t pointBytes = (p + 7) / 8, faceBytes = (f + 7) / 8;
        for (const TRealSelection* selection : lod.Selections) {
            const std::size_t at = out.Bytes.size();
            out.Bytes.resize(at + pointBytes + faceBytes, 0);
            for (const AVertex* v : selection->Vertexes) {
                const auto found = vertexAt.find(v);
                if (found == vertexAt.end() || found->second >= link.size()) return false;
                const auto k = static_cast<std::size_t>(link[found->second]);
                out.Bytes[at + k / 8] |= static_cast<uint8_t>(1u << (k % 8));
            }
            for (const APolygon* poly : selection->Polygons) {
                const auto found = faceAt.find(poly);
                if (found == faceAt.end()) return false;
                out.Bytes[at + pointBytes + found->second / 8] |= static_cast<uint8_t>(1u << (found->second % 8));
            }
        }
    }
    if (masses)
        for (std::size_t k = 0; k < p; ++k) out.F32(model.Masses[k]);
    return true;
}

}  // namespace

std::vector<uint8_t> EditableRecord(const TP3dModell& model, const std::vector<const TP3dLOD*>& lods) {
    TRecordOut out;
    out.Bytes.insert(out.Bytes.end(), kRecordMagic, kRecordMagic + 4);
    out.U32(static_cast<uint32_t>(lods.size()));
    for (const TP3dLOD* lod : lods)
        if (!WriteLod(model, *lod, out)) return {};
    return std::move(out.Bytes);
}

uint32_t RecordDictionary(std::size_t recordBytes) {
    return static_cast<uint32_t>(std::clamp<std::size_t>(recordBytes, LZMA_DICT_SIZE_MIN, kRecordDictionaryMax));
}

namespace {

// One part of the record as a raw LZMA2 stream without a container: on the
// small models the container would cost as much as the record. The literal
// coding suits the 4-byte numbers that make up most of the record. Preset 9
// packs about 3 MB a second, preset 1 ten times that for about 12 % more
// bytes: preset 9 only where the part is small and every byte counts against
// the model's meshes.
bool PackPart(const uint8_t* part, std::size_t n, std::vector<uint8_t>& packed) {
    const auto pack = [&](uint32_t preset, uint32_t lc, uint32_t lp, uint32_t pb, std::vector<uint8_t>& out) {
        lzma_options_lzma options;
        if (lzma_lzma_preset(&options, preset)) return false;
        options.dict_size = RecordDictionary(n);
        options.lc = lc;
        options.lp = lp;
        options.pb = pb;
        const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        out.resize(lzma_stream_buffer_bound(n));
        std::size_t at = 0;
        if (lzma_raw_buffer_encode(filters, nullptr, part, n, out.data(), &at, out.size()) != LZMA_OK) return false;
        out.resize(at);
        return true;
    };
    if (!pack(n <= kStrongPackingBytes ? 9 : 1, 1, 2, 2, packed)) return false;
    // the record of a model of a few faces: each byte is a good part of its .glb
    if (n <= kTinyPartBytes) {
        std::vector<uint8_t> other;
        for (const uint32_t lc : {0u, 1u})
            if (pack(9 | LZMA_PRESET_EXTREME, lc, 0, 0, other) && other.size() < packed.size()) packed.swap(other);
    }
    return true;
}

// The stream must give exactly outBytes and end where its bytes end.
bool UnpackPart(const uint8_t* in, std::size_t inBytes, uint8_t* out, std::size_t outBytes) {
    lzma_options_lzma options{};  // the stream gives the rest
    options.dict_size = RecordDictionary(outBytes);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    std::size_t read = 0, written = 0;
    return lzma_raw_buffer_decode(filters, nullptr, in, &read, inBytes, out, &written, outBytes) == LZMA_OK &&
           written == outBytes && read == inBytes;
}

// Runs each(k) for k below n on up to as many threads as the machine has.
template <class F>
void OnThreads(std::size_t n, F&& each) {
    const std::size_t threads = std::min<std::size_t>(n, std::max(1u, std::thread::hardware_concurrency()));
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k; (k = next++) < n;) each(k);
    };
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers) t.join();
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
void PutLe32(std::vector<uint8_t>& out, std::size_t at, std::size_t v) {
    for (int b = 0; b < 4; ++b) out[at + static_cast<std::size_t>(b)] = static_cast<uint8_t>(v >> (8 * b));
}

}  // namespace

std::vector<uint8_t> PackRecord(const std::vector<uint8_t>& record) {
    if (record.size() > UINT32_MAX) return {};
    // parts packed and unpacked side by side, each on its own
    const std::size_t parts = std::clamp<std::size_t>(record.size() / kRecordPartBytes, 1, kRecordPartsMax);
    const std::size_t step = (record.size() + parts - 1) / parts;
    std::vector<std::vector<uint8_t>> packed(parts);
    std::atomic<bool> failed{false};
    OnThreads(parts, [&](std::size_t k) {
        const std::size_t from = std::min(record.size(), k * step), to = std::min(record.size(), from + step);
        if (!PackPart(record.data() + from, to - from, packed[k])) failed = true;
    });
    if (failed) return {};
    if (parts == 1) {  // the data's CRC and the stream: on the small models every byte counts
        std::vector<uint8_t> out(4, 0);
        out.insert(out.end(), packed[0].begin(), packed[0].end());
        return out;
    }
    std::vector<uint8_t> out(6 + 12 * parts, 0);
    out[5] = static_cast<uint8_t>(parts);
    for (std::size_t k = 0; k < parts; ++k) {
        const std::size_t from = std::min(record.size(), k * step), to = std::min(record.size(), from + step);
        PutLe32(out, 6 + 12 * k, to - from);
        PutLe32(out, 10 + 12 * k, packed[k].size());
        PutLe32(out, 14 + 12 * k, lzma_crc32(record.data() + from, to - from, 0));
        out.insert(out.end(), packed[k].begin(), packed[k].end());
    }
    return out;
}

void SetDataCrc(uint8_t* view, std::size_t viewBytes, const uint8_t* data, std::size_t dataBytes) {
    if (viewBytes < 4) return;
    const uint32_t crc = lzma_crc32(data, dataBytes, 0);
    for (int b = 0; b < 4; ++b) view[b] = static_cast<uint8_t>(crc >> (8 * b));
}

namespace {

// One stream of unknown size, the whole record: unpacked as it comes, to at
// most maxBytes.
bool UnpackWhole(const uint8_t* in, std::size_t inBytes, std::size_t maxBytes, std::vector<uint8_t>& out) {
    lzma_options_lzma options{};
    options.dict_size = kRecordDictionaryMax;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK) return false;
    stream.next_in = in;
    stream.avail_in = inBytes;
    out.clear();
    lzma_ret ret = LZMA_OK;
    while (ret == LZMA_OK) {
        const std::size_t at = out.size();
        if (at >= maxBytes + 1) break;
        out.resize(std::min(maxBytes + 1, std::max<std::size_t>(2 * at, 64 * 1024)));
        stream.next_out = out.data() + at;
        stream.avail_out = out.size() - at;
        ret = lzma_code(&stream, LZMA_FINISH);
        out.resize(out.size() - stream.avail_out);
    }
    const bool whole = ret == LZMA_STREAM_END && stream.avail_in == 0 && out.size() <= maxBytes;
    lzma_end(&stream);
    return whole;
}

bool IsRecord(const std::vector<uint8_t>& record) {
    return record.size() >= 4 && std::equal(kRecordMagic, kRecordMagic + 4, record.begin());
}

}  // namespace

std::vector<uint8_t> UnpackRecord(const uint8_t* view, std::size_t viewBytes, std::size_t maxBytes, std::string& error,
                                  const uint8_t* data, std::size_t dataBytes) {
    std::vector<uint8_t> record;
    const auto fail = [&](std::string why) {
        error = std::move(why);
        record.clear();
        return record;
    };
    if (viewBytes < 6) return fail("the editable record is cut short");
    const auto holdsData = [&] { return !data || Le32(view) == lzma_crc32(data, dataBytes, 0); };
    if (view[4] != 0) {
        const bool dataHeld = holdsData();
        // one stream; or, as the first files held it, the record's size and a stream
        if (dataHeld && UnpackWhole(view + 4, viewBytes - 4, maxBytes, record) && IsRecord(record)) return record;
        const std::size_t size = Le32(view);
        if (size <= maxBytes && UnpackWhole(view + 4, viewBytes - 4, size, record) && record.size() == size &&
            IsRecord(record))
            return record;
        return fail(dataHeld ? "the editable record does not unpack" : kDataChanged);
    }
    struct TPart {
        std::size_t In, InBytes, Out, OutBytes;
        uint32_t Crc;
    };
    const std::size_t n = view[5];
    if (n < 2 || n > kRecordPartsMax || (viewBytes - 6) / 12 < n) return fail("the editable record is cut short");
    std::vector<TPart> parts;
    std::size_t size = 0, in = 6 + 12 * n;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t out = Le32(view + 6 + 12 * k), bytes = Le32(view + 10 + 12 * k);
        if (bytes > viewBytes - in) return fail("the editable record is cut short");
        if (out > maxBytes - size)
            return fail("the editable record claims more than " + std::to_string(maxBytes) + " bytes");
        parts.push_back({in, bytes, size, out, Le32(view + 14 + 12 * k)});
        in += bytes;
        size += out;
    }
    record.resize(size);
    // the data's CRC beside the parts
    std::atomic<bool> failed{false}, dataHeld{true};
    OnThreads(parts.size() + 1, [&](std::size_t k) {
        if (k == parts.size()) {
            dataHeld = holdsData();
            return;
        }
        const TPart& p = parts[k];
        if (!UnpackPart(view + p.In, p.InBytes, record.data() + p.Out, p.OutBytes) ||
            lzma_crc32(record.data() + p.Out, p.OutBytes, 0) != p.Crc)
            failed = true;
    });
    if (!dataHeld) return fail(kDataChanged);
    if (failed || !IsRecord(record)) return fail("the editable record does not unpack");
    return record;
}

}  // namespace vistrel::exporting
