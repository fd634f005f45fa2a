// Writing a model in the editable format: "MLOD", then one "SP3X" block per
// LOD with points, normals, faces and tags. The file is written to a
// temporary file beside the target and renamed over it only when complete, so
// a failed save leaves an existing file as it was.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "AtomicFile.h"
#include "EditableLayout.h"
#include "P3dmodell.h"

namespace vistrel {
namespace {

using namespace editable;

// A file being written through a buffer; every failure is a write error.
class TOutFile {
public:
    explicit TOutFile(std::FILE* file) : file_(file) { buf_.reserve(kChunk); }
    void Bytes(const void* p, std::size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        if (buf_.size() + n > kChunk) Flush();
        if (n >= kChunk) {
            WriteAll(b, n);
            return;
        }
        buf_.insert(buf_.end(), b, b + n);
    }
    void U32(uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        Bytes(b, 4);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        U32(u);
    }
    void Zeros(std::size_t n) {
        static const uint8_t zero[64] = {};
        while (n) {
            const std::size_t k = n < sizeof zero ? n : sizeof zero;
            Bytes(zero, k);
            n -= k;
        }
    }
    // Text in a fixed field, zero-ended, the rest zero; the caller cuts it.
    void Field(const std::string& text, std::size_t width) {
        const std::size_t n = text.size() < width ? text.size() : width - 1;
        Bytes(text.data(), n);
        Zeros(width - n);
    }
    void Flush() {
        if (!buf_.empty()) WriteAll(buf_.data(), buf_.size());
        buf_.clear();
    }

private:
    static constexpr std::size_t kChunk = 1 << 20;
    void WriteAll(const uint8_t* p, std::size_t n) {
        if (std::fwrite(p, 1, n, file_) != n) throw EWriteError();
    }
    std::FILE* file_;
    std::vector<uint8_t> buf_;
};

// Finds the index of an object in a list by identity (first match) in
// constant time: an open-addressing table from pointer to index.
class TIdentityIndex {
public:
    template <class T>
    explicit TIdentityIndex(const TTypedList<T>& list) {
        std::size_t cap = 16;
        while (cap < 2 * static_cast<std::size_t>(list.Count()) + 1) cap <<= 1;
        keys_.assign(cap, nullptr);
        values_.assign(cap, -1);
        mask_ = cap - 1;
        for (int i = 0; i < list.Count(); ++i) Insert(list[static_cast<std::size_t>(i)], i);
    }
    int Find(const void* key) const {
        for (std::size_t h = Hash(key);; h = (h + 1) & mask_) {
            if (keys_[h] == key) return values_[h];
            if (keys_[h] == nullptr) return -1;
        }
    }

private:
    std::size_t Hash(const void* key) const {
        auto k = reinterpret_cast<std::uintptr_t>(key);
        k ^= k >> 17;
        k *= 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(k >> 20) & mask_;
    }
    void Insert(const void* key, int value) {
        if (!key) return;
        for (std::size_t h = Hash(key);; h = (h + 1) & mask_) {
            if (keys_[h] == key) return;  // keep the first index
            if (keys_[h] == nullptr) {
                keys_[h] = key;
                values_[h] = value;
                return;
            }
        }
    }
    std::vector<const void*> keys_;
    std::vector<int> values_;
    std::size_t mask_ = 0;
};

// The point flags of the editable format from a vertex's hint bits. The
// 4-bit value m (bits 20..23) goes to bits 4..7 as m - 7 for m from 8 to 15
// (10 and 11 swapped); m up to 7 adds nothing. (m - 7) * 16 for m from 1 to 6
// would be negative and set every bit from 4 up: hidden, user value and
// lighting at once, on about a third of the points of a real model.
uint32_t PointFlagsFromInfo(uint32_t v) {
    uint32_t flags = ((v >> 8) & 0xF) | ((v >> 4) & 0x300) | ((v >> 2) & 0x3000);
    uint32_t m = (v >> 20) & 0xF;
    if (m == 10)
        m = 11;
    else if (m == 11)
        m = 10;
    if (m > 7) flags |= (m - 7) << 4;
    return flags;
}

std::string LodLabel(int index, const TP3dLOD& lod) {
    return "LOD " + std::to_string(index) + " (" + LodDisplayName(lod.Resolution) + ")";
}

int Entry(const AIndexTable& table, std::size_t k) { return table.Items[k]; }

// Checks what the writer will index before anything is written; returns the
// reason the LOD cannot be saved, or an empty text.
std::string ValidateLod(const TP3dModell& model, int index, const TP3dLOD& lod) {
    const std::string label = LodLabel(index, lod);
    const AIndexTable& unique = lod.UniqueVertexes;
    const AIndexTable& link = lod.LinkToUnique;
    if (unique.Count < 0 || static_cast<std::size_t>(unique.Count) > unique.Items.size())
        return label + ": the table UniqueVertexes holds fewer entries than its count.";
    if (link.Count < 0 || static_cast<std::size_t>(link.Count) > link.Items.size())
        return label + ": the table LinkToUnique holds fewer entries than its count.";
    const int p = unique.Count;
    const std::size_t nv = static_cast<std::size_t>(lod.Vertexes.Count());
    const std::size_t nn = static_cast<std::size_t>(lod.Normals.Count());
    const std::size_t ni = lod.VertexInfo.size();
    for (int k = 0; k < p; ++k) {
        const int i = Entry(unique, static_cast<std::size_t>(k));
        if (i < 0 || static_cast<std::size_t>(i) >= nv || static_cast<std::size_t>(i) >= nn ||
            static_cast<std::size_t>(i) >= ni)
            return label + ": entry " + std::to_string(k) + " of the table UniqueVertexes (" + std::to_string(i) +
                   ") lies outside the LOD's " + std::to_string(nv) + " vertexes, " + std::to_string(nn) +
                   " normals or " + std::to_string(ni) + " vertex infos.";
    }
    for (int k = 0; k < link.Count; ++k) {
        const int e = Entry(link, static_cast<std::size_t>(k));
        if (e < 0 || e >= p)
            return label + ": entry " + std::to_string(k) + " of the table LinkToUnique (" + std::to_string(e) +
                   ") lies outside the LOD's " + std::to_string(p) + " points.";
    }
    for (int f = 0; f < lod.Polygons.Count(); ++f) {
        const APolygon& poly = *lod.Polygons[static_cast<std::size_t>(f)];
        const int corners = poly.VertexCount == 4 ? 4 : 3;
        for (int c = 0; c < corners; ++c) {
            const int v = poly.Corners[c].VertexIndex;
            if (v < 0 || v >= link.Count)
                return label + ": corner " + std::to_string(c) + " of face " + std::to_string(f) + " names vertex " +
                       std::to_string(v) + ", which the table LinkToUnique does not hold.";
        }
    }
    if (model.GeometryLOD == &lod && model.Masses.size() < static_cast<std::size_t>(p))
        return label + ": the table Masses holds " + std::to_string(model.Masses.size()) + " masses for " +
               std::to_string(p) + " points.";
    return {};
}

// Collects the texts that are cut to fit their fields, for one message.
struct TCutList {
    std::vector<std::string> lines;
    std::string Fit(const std::string& text, std::size_t width, const std::string& what) {
        if (text.size() < width) return text;
        lines.push_back(what + " \"" + text + "\" (" + std::to_string(text.size()) + " characters, at most " +
                        std::to_string(width - 1) + ")");
        return text.substr(0, width - 1);
    }
};

void SplitProperty(const std::string& entry, std::string& name, std::string& value) {
    const std::size_t eq = entry.find('=');
    if (eq == std::string::npos) {
        name = entry;
        value.clear();
        return;
    }
    name = entry.substr(0, eq);
    // the list keeps one blank after "="; the file does not
    value = eq + 1 < entry.size() ? entry.substr(eq + 2) : std::string();
}

}  // namespace

uint32_t MlodPointFlags(uint32_t vertexInfo) { return PointFlagsFromInfo(vertexInfo); }

bool TP3dModell::WriteMLOD(const std::string& fileName) const {
    for (int i = 0; i < LODs.Count(); ++i) {
        const std::string reason = ValidateLod(*this, i, *LODs[static_cast<std::size_t>(i)]);
        if (!reason.empty()) {
            Message("Cannot save " + fileName + ".\n" + reason);
            return false;
        }
    }

    // written beside the target, renamed over it once complete and on the disk
    TAtomicFile file(fileName);
    if (!file.Ok() || !file.Stream()) throw EFOpenError("Cannot create file " + fileName);
    TOutFile out(file.Stream());
    TCutList cuts;

    out.Bytes("MLOD", 4);
    out.U32(kWriterVersion);
    out.I32(LODs.Count());

    std::vector<uint8_t> pointMask, faceMask;
    for (int li = 0; li < LODs.Count(); ++li) {
        const TP3dLOD& lod = *LODs[static_cast<std::size_t>(li)];
        const std::string label = LodLabel(li, lod);
        const int p = lod.UniqueVertexes.Count;
        const int f = lod.Polygons.Count();

        out.Bytes("SP3X", 4);
        out.U32(kHeaderBytes);
        out.U32(kHeaderVersion);
        out.I32(p);
        out.I32(p);
        out.I32(f);
        out.U32(kHeaderFlags);

        for (int k = 0; k < p; ++k) {
            const auto i = static_cast<std::size_t>(Entry(lod.UniqueVertexes, static_cast<std::size_t>(k)));
            const AVertex& v = *lod.Vertexes[i];
            out.F32(v.X);
            out.F32(v.Y);
            out.F32(v.Z);
            out.U32(PointFlagsFromInfo(lod.VertexInfo[i]));
        }
        for (int k = 0; k < p; ++k) {
            const auto i = static_cast<std::size_t>(Entry(lod.UniqueVertexes, static_cast<std::size_t>(k)));
            const ANormal& n = *lod.Normals[i];
            out.F32(n.X);
            out.F32(n.Y);
            out.F32(n.Z);
        }

        for (int fi = 0; fi < f; ++fi) {
            const APolygon& poly = *lod.Polygons[static_cast<std::size_t>(fi)];
            std::string texture;
            if (poly.TextureIndex >= 0 && static_cast<std::size_t>(poly.TextureIndex) < lod.Textures.size())
                texture = cuts.Fit(lod.Textures[static_cast<std::size_t>(poly.TextureIndex)], kTextureField,
                                   label + ": texture name");
            out.Field(texture, kTextureField);
            out.I32(poly.VertexCount);
            // both orders reverse the winding
            const bool quad = poly.VertexCount == 4;
            const int* order = quad ? kQuadOrder : kTriangleOrder;
            for (int c = 0; c < (quad ? 4 : 3); ++c) {
                const ACorner& corner = poly.Corners[order[c]];
                const int32_t point = Entry(lod.LinkToUnique, static_cast<std::size_t>(corner.VertexIndex));
                out.I32(point);
                out.I32(point);
                out.F32(corner.U);
                out.F32(corner.V);
            }
            if (!quad) out.Zeros(kCornerBytes);
            out.U32(poly.Flags);
        }

        out.Bytes("TAGG", 4);

        if (!lod.Selections.Empty()) {
            pointMask.resize(static_cast<std::size_t>(p));
            faceMask.resize(static_cast<std::size_t>(f));
            const TIdentityIndex vertexIndex(lod.Vertexes);
            const TIdentityIndex polygonIndex(lod.Polygons);
            for (const TRealSelection* sel : lod.Selections) {
                out.Field(cuts.Fit(sel->Name, kNameField, label + ": selection name"), kNameField);
                out.I32(p + f);
                std::fill(pointMask.begin(), pointMask.end(), 0);
                for (const AVertex* v : sel->Vertexes) {
                    const int i = vertexIndex.Find(v);
                    if (i < 0) {
                        Message("Index of Vertex in Selection not found! Abort!");
                        return false;
                    }
                    if (i >= lod.LinkToUnique.Count) {
                        Message("Cannot save " + fileName + ".\n" + label + ": vertex " + std::to_string(i) +
                                " of selection \"" + sel->Name + "\" has no entry in the table LinkToUnique.");
                        return false;
                    }
                    pointMask[static_cast<std::size_t>(Entry(lod.LinkToUnique, static_cast<std::size_t>(i)))] = 1;
                }
                std::fill(faceMask.begin(), faceMask.end(), 0);
                for (const APolygon* poly : sel->Polygons) {
                    const int i = polygonIndex.Find(poly);
                    if (i < 0) {
                        Message("Index of Polygon in Selection not found! Abort!");
                        return false;
                    }
                    faceMask[static_cast<std::size_t>(i)] = 1;
                }
                out.Bytes(pointMask.data(), pointMask.size());
                out.Bytes(faceMask.data(), faceMask.size());
            }
        }

        std::string name, value;
        for (const std::string& entry : lod.Properties) {
            SplitProperty(entry, name, value);
            out.Field("#Property#", kNameField);
            out.U32(kPropertyBytes);
            out.Field(cuts.Fit(name, kNameField, label + ": property name"), kNameField);
            out.Field(cuts.Fit(value, kNameField, label + ": property value"), kNameField);
        }

        if (GeometryLOD == &lod) {
            out.Field("#Mass#", kNameField);
            out.U32(static_cast<uint32_t>(kMassBytes) * static_cast<uint32_t>(p));
            for (int k = 0; k < p; ++k) out.F32(Masses[static_cast<std::size_t>(k)]);
        }

        out.Field("#EndOfFile#", kNameField);
        out.U32(kEndOfFileLength);
        out.F32(lod.Resolution);
    }

    out.Flush();
    if (!file.Commit(true)) throw EWriteError();

    if (!cuts.lines.empty()) {
        std::string text = "These texts were too long for their fields and were cut:";
        for (const std::string& line : cuts.lines) text += "\n" + line;
        Message(text);
    }
    Message("MLOD saved");
    return true;
}

}  // namespace vistrel
