#include "P3dBuilder.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <stdexcept>

namespace vistrel {

namespace {

class Writer {
public:
    std::vector<uint8_t> bytes;

    std::size_t Pos() const { return bytes.size(); }
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) {
        for (int k = 0; k < 2; ++k) bytes.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    void U32(uint32_t v) {
        for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(v >> (8 * k)));
    }
    void I16(int16_t v) { U16(static_cast<uint16_t>(v)); }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
    void Vec3(const BVec3& v) {
        for (float f : v) F32(f);
    }
    void Fill(std::size_t n) { bytes.insert(bytes.end(), n, kSkipFill); }
    void Raw(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    void ZString(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
    }
    void Count(std::size_t actual, const std::optional<int32_t>& override) {
        I32(override ? *override : static_cast<int32_t>(actual));
    }

    // An array of elements serialised little-endian, stored by the rule.
    template <class T, class Put>
    void Array(const std::vector<T>& items, std::size_t elementSize, Put put) {
        Writer w;
        for (const T& item : items) put(w, item);
        Raw(EncodeArray(w.bytes.data(), items.size(), elementSize));
    }
};

int32_t CountOf(std::size_t actual, const std::optional<int32_t>& override) {
    return override ? *override : static_cast<int32_t>(actual);
}

void WriteSelection(Writer& w, const BSelection& s) {
    w.ZString(s.name);
    w.Count(s.faces.size(), s.faceCountOverride);
    w.Array(s.faces, 2, [](Writer& o, uint16_t v) { o.U16(v); });
    w.Fill(4);
    w.Count(s.entries1.size(), std::nullopt);
    w.Array(s.entries1, 4, [](Writer& o, uint32_t v) { o.U32(v); });
    w.Fill(1);
    w.Count(s.entries2.size(), std::nullopt);
    w.Array(s.entries2, 4, [](Writer& o, uint32_t v) { o.U32(v); });
    w.Count(s.vertexes.size(), s.vertexCountOverride);
    w.Array(s.vertexes, 2, [](Writer& o, uint16_t v) { o.U16(v); });
    w.Count(s.entries3.size(), std::nullopt);
    w.Array(s.entries3, 1, [](Writer& o, uint8_t v) { o.U8(v); });
}

void WriteLodBody(Writer& w, const BLod& lod, BLodLayout& at) {
    const std::size_t base = w.Pos();
    auto rel = [&] { return w.Pos() - base; };

    at.vertexInfoCount = rel();
    w.Count(lod.vertexInfo.size(), lod.vertexInfoCountOverride);
    w.Array(lod.vertexInfo, 4, [](Writer& o, uint32_t v) { o.U32(v); });

    at.uvCount = rel();
    w.Count(lod.uv.size(), lod.uvCountOverride);
    w.Array(lod.uv, 8, [](Writer& o, const BUV& v) {
        o.F32(v[0]);
        o.F32(v[1]);
    });

    at.vertexCount = rel();
    w.Count(lod.vertices.size(), lod.vertexCountOverride);
    for (const BVec3& v : lod.vertices) w.Vec3(v);

    at.normalCount = rel();
    w.Count(lod.normals.size(), lod.normalCountOverride);
    for (const BVec3& n : lod.normals) w.Vec3(n);

    w.Fill(8);
    at.minPos = rel();
    w.Vec3(lod.minPos);
    at.maxPos = rel();
    w.Vec3(lod.maxPos);
    w.Fill(16);

    at.textureCount = rel();
    w.Count(lod.textures.size(), lod.textureCountOverride);
    at.textureNames.clear();
    for (const std::string& name : lod.textures) {
        at.textureNames.push_back(rel());
        w.ZString(name);
    }

    at.uniqueCount = rel();
    w.Count(lod.unique.size(), lod.uniqueCountOverride);
    w.Array(lod.unique, 2, [](Writer& o, int16_t v) { o.I16(v); });

    at.linkCount = rel();
    w.Count(lod.link.size(), lod.linkCountOverride);
    w.Array(lod.link, 2, [](Writer& o, int16_t v) { o.I16(v); });

    at.polygonCount = rel();
    w.Count(lod.polygons.size(), lod.polygonCountOverride);
    w.Fill(4);
    at.polygons.clear();
    for (const BPolygon& p : lod.polygons) {
        at.polygons.push_back(rel());
        w.U32(p.faceFlags);
        w.I16(p.texture);
        w.U8(p.cornerCountOverride ? *p.cornerCountOverride : static_cast<uint8_t>(p.corners.size()));
        for (int16_t c : p.corners) w.I16(c);
    }

    at.propertyRecordCount = rel();
    w.I32(lod.propertyRecords);
    if (lod.propertyRecords > 0) w.Fill(18 * static_cast<std::size_t>(lod.propertyRecords));

    at.selectionCount = rel();
    w.Count(lod.selections.size(), lod.selectionCountOverride);
    at.selections.clear();
    for (const BSelection& s : lod.selections) {
        at.selections.push_back(rel());
        WriteSelection(w, s);
    }

    at.namedPropertyCount = rel();
    w.Count(lod.properties.size(), lod.propertyCountOverride);
    for (const auto& [name, value] : lod.properties) {
        w.ZString(name);
        w.ZString(value);
    }

    at.trailingCount = rel();
    w.Count(lod.trailing.size(), lod.trailingCountOverride);
    for (const BTrailing& t : lod.trailing) {
        w.U32(t.head);
        w.I32(static_cast<int32_t>(t.items.size()));
        for (const BVec3& item : t.items) w.Vec3(item);
    }

    w.Fill(12);
    at.proxyCount = rel();
    w.Count(lod.proxies.size(), lod.proxyCountOverride);
    at.proxies.clear();
    for (const BProxy& p : lod.proxies) {
        at.proxies.push_back(rel());
        w.ZString(p.name);
        w.bytes.insert(w.bytes.end(), p.data.begin(), p.data.end());
    }
    at.size = rel();
}

// The LOD the reader takes the masses against: the last with resolution 1e13.
const BLod* GeometryLod(const BModel& model) {
    const BLod* found = nullptr;
    for (const BLod& lod : model.lods)
        if (lod.resolution == kBuilderGeometryResolution) found = &lod;
    return found;
}

int32_t MassCount(const BModel& model) { return CountOf(model.masses.size(), model.massCountOverride); }

}  // namespace

int32_t BLod::UniqueCount() const { return CountOf(unique.size(), uniqueCountOverride); }

bool ReaderTakesMasses(const BModel& model) {
    const BLod* geometry = GeometryLod(model);
    return geometry != nullptr && MassCount(model) == geometry->UniqueCount();
}

std::vector<uint8_t> BuildLodBody(const BLod& lod, BLodLayout* layout) {
    Writer w;
    BLodLayout at;
    WriteLodBody(w, lod, at);
    if (layout) *layout = std::move(at);
    return std::move(w.bytes);
}

std::vector<uint8_t> BuildModel(const BModel& model, BModelLayout* layout) {
    Writer w;
    BModelLayout at;

    w.bytes = {'B', 'M', 'D', 'L'};
    w.I32(model.headerValue);
    w.Count(model.lods.size(), model.lodCountOverride);
    for (const BLod& lod : model.lods) {
        at.lodStart.push_back(w.Pos());
        at.lodLayouts.emplace_back();
        WriteLodBody(w, lod, at.lodLayouts.back());
    }

    at.resolutions = w.Pos();
    for (const BLod& lod : model.lods) w.F32(lod.resolution);
    w.Fill(24);
    at.offset1 = w.Pos();
    w.Vec3(model.offset1);
    w.Fill(12);
    at.bboxMin = w.Pos();
    w.Vec3(model.bboxMin);
    at.bboxMax = w.Pos();
    w.Vec3(model.bboxMax);
    at.offset2 = w.Pos();
    w.Vec3(model.offset2);
    at.offset3 = w.Pos();
    w.Vec3(model.offset3);
    w.Fill(54);

    at.massCount = w.Pos();
    w.I32(MassCount(model));
    at.masses = w.Pos();
    at.massesWritten = model.forceMasses || (model.writeMasses && ReaderTakesMasses(model));
    if (at.massesWritten) w.Array(model.masses, 4, [](Writer& o, float v) { o.F32(v); });

    at.totalMass = w.Pos();
    w.F32(model.totalMass);

    if (model.padTextureWindows) {
        // every texture name is read through a 256-byte window from its start
        std::size_t need = w.Pos();
        for (std::size_t i = 0; i < at.lodLayouts.size(); ++i)
            for (std::size_t name : at.lodLayouts[i].textureNames) need = std::max(need, at.lodStart[i] + name + 256);
        at.padding = need - w.Pos();
        w.Fill(at.padding);
    }
    at.size = w.Pos();

    if (layout) *layout = std::move(at);
    return std::move(w.bytes);
}

std::vector<std::size_t> LodBodyOffsets(const BModel& model) {
    BModelLayout layout;
    BuildModel(model, &layout);
    return layout.lodStart;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("Cannot create file " + path);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("Cannot write file " + path);
}

void PutInt32At(std::vector<uint8_t>& bytes, std::size_t at, int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int k = 0; k < 4; ++k) bytes.at(at + k) = static_cast<uint8_t>(v >> (8 * k));
}

void PutFloatAt(std::vector<uint8_t>& bytes, std::size_t at, float value) {
    PutInt32At(bytes, at, std::bit_cast<int32_t>(value));
}

int32_t GetInt32At(const std::vector<uint8_t>& bytes, std::size_t at) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t(bytes.at(at + k)) << (8 * k);
    return static_cast<int32_t>(v);
}

float GetFloatAt(const std::vector<uint8_t>& bytes, std::size_t at) {
    return std::bit_cast<float>(GetInt32At(bytes, at));
}

}  // namespace vistrel
