// Model data for the benchmarks: the arrays that a binarizer writes for a
// smooth, textured mesh, and a whole model of about a million vertices built
// from them.
//
// Vertex indices of this format are int16, so one LOD addresses at most 32767
// vertices. A model of a million vertices therefore spreads them over many
// LODs, as a large, detailed object with a long LOD chain does: here 32 LODs
// of 179 x 179 = 32041 vertices (1,025,312 in all), the last of them the
// geometry LOD with a mass per point.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "P3dBuilder.h"

namespace vistrel::bench {

inline constexpr int kGridSide = 179;  // 32041 vertices per LOD
inline constexpr int kLodCount = 32;

// A closed band (like a wheel or a barrel): w columns around, h rows along.
// The last column lies on the first one (the texture seam), so its vertices
// share their points with column 0.
struct Band {
    int w = kGridSide;
    int h = kGridSide;
    float phase = 0;  // varies the surface from LOD to LOD
};

inline int VertexCount(const Band& b) { return b.w * b.h; }

inline std::vector<BVec3> BandVertices(const Band& b) {
    std::vector<BVec3> v;
    v.reserve(static_cast<std::size_t>(VertexCount(b)));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) {
            const float a = 6.2831853f * static_cast<float>(x % (b.w - 1)) / static_cast<float>(b.w - 1);
            const float t = static_cast<float>(y) / static_cast<float>(b.h - 1);
            const float r = 1.5f + 0.1f * std::sin(3 * a + b.phase) * std::cos(5 * t);
            v.push_back({r * std::cos(a), (t - 0.5f) * 4.0f, r * std::sin(a)});
        }
    return v;
}

inline std::vector<BVec3> BandNormals(const Band& b) {
    std::vector<BVec3> n;
    n.reserve(static_cast<std::size_t>(VertexCount(b)));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) {
            const float a = 6.2831853f * static_cast<float>(x % (b.w - 1)) / static_cast<float>(b.w - 1);
            n.push_back({std::cos(a), 0.05f * std::sin(b.phase + static_cast<float>(y) * 0.01f), std::sin(a)});
        }
    return n;
}

// UVs of a smooth mesh: U around, V along, both in 0..1.
inline std::vector<BUV> BandUV(const Band& b) {
    std::vector<BUV> uv;
    uv.reserve(static_cast<std::size_t>(VertexCount(b)));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x)
            uv.push_back({static_cast<float>(x) / static_cast<float>(b.w - 1),
                          1.0f - static_cast<float>(y) / static_cast<float>(b.h - 1)});
    return uv;
}

// Per-vertex hint bits: mostly the same word, with edge and seam flags and a
// user value that changes by region.
inline std::vector<uint32_t> BandVertexInfo(const Band& b) {
    std::vector<uint32_t> info;
    info.reserve(static_cast<std::size_t>(VertexCount(b)));
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) {
            uint32_t bits = 0x00000100u;                          // lit normally
            if (y == 0 || y == b.h - 1) bits |= 0x00000004u;      // open edge
            if (x == 0 || x == b.w - 1) bits |= 0x00200000u;      // on the seam
            bits |= static_cast<uint32_t>((y / 24) & 0x7) << 16;  // user value
            info.push_back(bits);
        }
    return info;
}

// Point of each vertex (link-to-unique) and the vertex of each point (unique).
inline void BandTables(const Band& b, std::vector<int16_t>& unique, std::vector<int16_t>& link) {
    unique.clear();
    link.assign(static_cast<std::size_t>(VertexCount(b)), 0);
    for (int y = 0; y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) {
            const int v = y * b.w + x;
            if (x < b.w - 1) {
                link[static_cast<std::size_t>(v)] = static_cast<int16_t>(unique.size());
                unique.push_back(static_cast<int16_t>(v));
            } else {
                link[static_cast<std::size_t>(v)] = link[static_cast<std::size_t>(y * b.w)];
            }
        }
}

inline std::vector<BPolygon> BandQuads(const Band& b) {
    std::vector<BPolygon> quads;
    quads.reserve(static_cast<std::size_t>((b.w - 1) * (b.h - 1)));
    for (int y = 0; y + 1 < b.h; ++y)
        for (int x = 0; x + 1 < b.w; ++x) {
            const auto a = static_cast<int16_t>(y * b.w + x);
            BPolygon p;
            p.faceFlags = (y < 4) ? 0x00200000u : 0u;
            p.texture = static_cast<int16_t>(y * 3 / b.h);  // three bands of texture
            p.corners = {a, static_cast<int16_t>(a + b.w), static_cast<int16_t>(a + b.w + 1),
                         static_cast<int16_t>(a + 1)};
            quads.push_back(std::move(p));
        }
    return quads;
}

// A selection of the faces in rows [row0, row1) and their vertices, with one
// weight byte per vertex.
inline BSelection BandRows(const Band& b, const std::string& name, int row0, int row1) {
    BSelection s;
    s.name = name;
    for (int y = row0; y < row1 && y + 1 < b.h; ++y)
        for (int x = 0; x + 1 < b.w; ++x) s.faces.push_back(static_cast<uint16_t>(y * (b.w - 1) + x));
    for (int y = row0; y <= row1 && y < b.h; ++y)
        for (int x = 0; x < b.w; ++x) s.vertexes.push_back(static_cast<uint16_t>(y * b.w + x));
    s.entries3.assign(s.vertexes.size(), 0xFF);
    return s;
}

inline BLod BandLod(const Band& b, float resolution) {
    BLod lod;
    lod.vertexInfo = BandVertexInfo(b);
    lod.uv = BandUV(b);
    lod.vertices = BandVertices(b);
    lod.normals = BandNormals(b);
    lod.minPos = {-1.6f, -2.0f, -1.6f};
    lod.maxPos = {1.6f, 2.0f, 1.6f};
    lod.textures = {"ca\\tracked\\data\\body_co.paa", "ca\\tracked\\data\\wheels_co.paa",
                    "ca\\tracked\\data\\turret_co.paa"};
    BandTables(b, lod.unique, lod.link);
    lod.polygons = BandQuads(b);
    lod.selections.push_back(BandRows(b, "body", 0, b.h / 2));
    lod.selections.push_back(BandRows(b, "wheel_1", b.h / 2, b.h / 2 + 12));
    lod.selections.push_back(BandRows(b, "wheel_2", b.h / 2 + 12, b.h / 2 + 24));
    lod.selections.push_back(BandRows(b, "turret", b.h - 30, b.h - 1));
    lod.properties = {{"autocenter", "0"}, {"lodnoshadow", "1"}};
    BProxy proxy;
    proxy.name = "proxy:\\ca\\tracked\\commander.001";
    lod.proxies.push_back(proxy);
    lod.resolution = resolution;
    return lod;
}

// A mass per point of the last LOD (the geometry LOD), their sum, and the
// model-wide box and offset of the band.
inline void AddMassesAndBox(BModel& m) {
    const int points = m.lods.back().UniqueCount();
    m.masses.reserve(static_cast<std::size_t>(points));
    for (int p = 0; p < points; ++p) m.masses.push_back(0.5f + 0.25f * static_cast<float>(p % 4));
    for (float f : m.masses) m.totalMass += f;
    m.offset2 = {0.0f, 1.2f, 0.0f};
    m.bboxMin = {-1.6f, -2.0f, -1.6f};
    m.bboxMax = {1.6f, 2.0f, 1.6f};
}

// The whole benchmark model (about 50 MB once written).
inline BModel BigModel() {
    BModel m;
    m.headerValue = 0x4B;
    for (int k = 0; k < kLodCount; ++k) {
        Band b;
        b.phase = 0.1f * static_cast<float>(k);
        const bool geometry = k == kLodCount - 1;
        m.lods.push_back(BandLod(b, geometry ? kBuilderGeometryResolution : 1.0f + k));
    }
    AddMassesAndBox(m);
    return m;
}

// A model of the shape of the largest real ones: 13 LODs (nine visual ones
// from about 10 600 faces down, two shadow volumes, the memory and the
// geometry LOD with a mass per point), three textures, about 3.4 MB.
inline BModel RealShapedModel() {
    struct Step {
        int side;
        float resolution;
    };
    const Step steps[] = {{104, 1.0f},
                          {96, 1.5f},
                          {84, 2.0f},
                          {74, 3.0f},
                          {64, 4.0f},
                          {56, 6.0f},
                          {48, 8.0f},
                          {42, 12.0f},
                          {40, 20.0f},
                          {76, 10000.0f},
                          {56, 10010.0f},
                          {70, kBuilderMemoryResolution},
                          {64, kBuilderGeometryResolution}};
    BModel m;
    m.headerValue = 0x4B;
    float phase = 0;
    for (const Step& step : steps) {
        Band b;
        b.w = b.h = step.side;
        b.phase = phase += 0.1f;
        m.lods.push_back(BandLod(b, step.resolution));
    }
    AddMassesAndBox(m);
    return m;
}

template <class T>
std::vector<uint8_t> AsBytes(const std::vector<T>& v) {
    std::vector<uint8_t> bytes(v.size() * sizeof(T));
    if (!bytes.empty()) std::memcpy(bytes.data(), v.data(), bytes.size());
    return bytes;
}

}  // namespace vistrel::bench
