// Shared helpers of the reader tests: sinks that record log lines and
// messages, temporary model files, small model descriptions, and the byte
// positions of compressed blocks inside built files.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "LzssEncoder.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"

namespace readertest {

using Bytes = std::vector<uint8_t>;

inline const std::string kCompleteFailed = "Complete loading of P3d failed!\nSorry ;)";

// Records every log line and every message, in order.
struct Sinks {
    std::vector<std::string> log;
    std::vector<std::string> messages;
    vistrel::TLogEvent Log() {
        return [this](const std::string& line) { log.push_back(line); };
    }
    vistrel::TMessageEvent Message() {
        return [this](const std::string& text) { messages.push_back(text); };
    }
};

// A file in the temporary directory, removed again when this goes.
class TempFile {
public:
    explicit TempFile(const Bytes& bytes, const std::string& tag = "model") : path_(NewPath(tag)) {
        vistrel::WriteFile(path_, bytes);
    }
    ~TempFile() {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& Path() const { return path_; }

    static std::string NewPath(const std::string& tag) {
        static std::atomic<int> counter{0};
        const auto dir = std::filesystem::temp_directory_path();
        return (dir /
                ("vistrel_reader_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" + tag + ".p3d"))
            .string();
    }

private:
    std::string path_;
};

// Reads bytes through a file on disk, as the viewer does.
inline std::unique_ptr<vistrel::TP3dModell> LoadFile(const Bytes& bytes, Sinks& sinks, std::string* pathOut = nullptr) {
    TempFile file(bytes);
    if (pathOut) *pathOut = file.Path();
    return std::make_unique<vistrel::TP3dModell>(file.Path(), sinks.Log(), sinks.Message());
}

// Reads bytes through a file without a log sink.
inline std::unique_ptr<vistrel::TP3dModell> LoadFileQuiet(const Bytes& bytes, Sinks& sinks) {
    TempFile file(bytes);
    return std::make_unique<vistrel::TP3dModell>(file.Path(), vistrel::TLogEvent{}, sinks.Message());
}

// Reads bytes that are already in memory.
inline std::unique_ptr<vistrel::TP3dModell> LoadBytes(const Bytes& bytes, Sinks& sinks) {
    return std::make_unique<vistrel::TP3dModell>("memory.p3d", bytes, sinks.Log(), sinks.Message());
}

// A LOD with three vertices, one triangle, one texture and nothing else.
inline vistrel::BLod TriangleLod() {
    vistrel::BLod lod;
    lod.vertexInfo = {0x11, 0x22, 0x33};
    lod.uv = {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}};
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    lod.minPos = {0, 0, 0};
    lod.maxPos = {1, 1, 0};
    lod.textures = {"data\\tex.paa"};
    lod.unique = {0, 1, 2};
    lod.link = {0, 1, 2};
    vistrel::BPolygon p;
    p.faceFlags = 0;
    p.texture = 0;
    p.corners = {0, 1, 2};
    lod.polygons = {p};
    lod.resolution = 1.0f;
    return lod;
}

// A LOD of n vertices (on a line), n UV pairs, n points, and n-2 triangles.
inline vistrel::BLod StripLod(int n) {
    vistrel::BLod lod;
    for (int i = 0; i < n; ++i) {
        lod.vertexInfo.push_back(static_cast<uint32_t>(i * 3 + 1));
        lod.uv.push_back({static_cast<float>(i) / 8.0f, static_cast<float>(i % 5)});
        lod.vertices.push_back({static_cast<float>(i), static_cast<float>(i % 7), 0.5f});
        lod.normals.push_back({0, 1, 0});
        lod.unique.push_back(static_cast<int16_t>(i));
        lod.link.push_back(static_cast<int16_t>(i));
    }
    for (int i = 0; i + 2 < n; ++i) {
        vistrel::BPolygon p;
        p.corners = {static_cast<int16_t>(i), static_cast<int16_t>(i + 1), static_cast<int16_t>(i + 2)};
        lod.polygons.push_back(p);
    }
    lod.minPos = {0, 0, 0.5f};
    lod.maxPos = {static_cast<float>(n - 1), 6, 0.5f};
    return lod;
}

inline vistrel::BModel ModelOf(std::vector<vistrel::BLod> lods) {
    vistrel::BModel m;
    m.lods = std::move(lods);
    m.totalMass = 42.0f;
    return m;
}

template <class T, class Put>
Bytes Serialize(const std::vector<T>& items, Put put) {
    Bytes b;
    for (const T& item : items) put(b, item);
    return b;
}

inline void PutLe(Bytes& b, uint32_t v, int n) {
    for (int k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

// How many bytes an array takes in the file by the compression rule.
inline std::size_t StoredSize(const Bytes& raw, std::size_t count, std::size_t elementSize) {
    return vistrel::EncodeArray(raw.data(), count, elementSize).size();
}

// File offsets of the field ends inside one selection record whose name
// starts at start (each end is just after the field's data).
struct SelectionEnds {
    std::size_t faceCount = 0, faces = 0;  // faces: end of the face index data
    std::size_t entries1Count = 0, entries1 = 0;
    std::size_t entries2Count = 0, entries2 = 0;
    std::size_t vertexCount = 0, vertexes = 0;
    std::size_t entries3Count = 0, entries3 = 0;
};

inline SelectionEnds SelectionFieldEnds(const vistrel::BSelection& s, std::size_t start) {
    SelectionEnds e;
    std::size_t p = start + s.name.size() + 1;
    e.faceCount = p;
    p += 4;
    p += StoredSize(Serialize(s.faces, [](Bytes& b, uint16_t v) { PutLe(b, v, 2); }), s.faces.size(), 2);
    e.faces = p;
    p += 4;
    e.entries1Count = p;
    p += 4;
    p += StoredSize(Serialize(s.entries1, [](Bytes& b, uint32_t v) { PutLe(b, v, 4); }), s.entries1.size(), 4);
    e.entries1 = p;
    p += 1;
    e.entries2Count = p;
    p += 4;
    p += StoredSize(Serialize(s.entries2, [](Bytes& b, uint32_t v) { PutLe(b, v, 4); }), s.entries2.size(), 4);
    e.entries2 = p;
    e.vertexCount = p;
    p += 4;
    p += StoredSize(Serialize(s.vertexes, [](Bytes& b, uint16_t v) { PutLe(b, v, 2); }), s.vertexes.size(), 2);
    e.vertexes = p;
    e.entries3Count = p;
    p += 4;
    p += StoredSize(s.entries3, s.entries3.size(), 1);
    e.entries3 = p;
    return e;
}

// Changes the 4-byte checksum that ends at end, so the block before it fails.
inline void SpoilChecksumEndingAt(Bytes& bytes, std::size_t end) {
    bytes.at(end - 4) = static_cast<uint8_t>(bytes.at(end - 4) + 1);
}

// Replaces bytes [from, to) with the given bytes.
inline void Splice(Bytes& bytes, std::size_t from, std::size_t to, const Bytes& with) {
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(from), with.begin(), with.end());
}

// A block of L bytes with a zero-offset run after a few literals.
inline Bytes ZeroOffsetBlock() {
    Bytes b = {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x00, 0x00};
    b.insert(b.end(), 64, 0x00);
    return b;
}

// Little-endian byte writer for files written by hand.
struct ByteWriter {
    Bytes bytes;
    ByteWriter& I32(int32_t v) {
        PutLe(bytes, static_cast<uint32_t>(v), 4);
        return *this;
    }
    ByteWriter& U32(uint32_t v) {
        PutLe(bytes, v, 4);
        return *this;
    }
    ByteWriter& I16(int16_t v) {
        PutLe(bytes, static_cast<uint16_t>(v), 2);
        return *this;
    }
    ByteWriter& U8(uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    ByteWriter& F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        PutLe(bytes, u, 4);
        return *this;
    }
    ByteWriter& Vec3(float x, float y, float z) { return F32(x).F32(y).F32(z); }
    ByteWriter& Fill(std::size_t n, uint8_t v = 0xCC) {
        bytes.insert(bytes.end(), n, v);
        return *this;
    }
    ByteWriter& Text(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    ByteWriter& Z(const std::string& s) { return Text(s).U8(0); }
    ByteWriter& Raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    std::size_t Size() const { return bytes.size(); }
};

// Every field of two models that the reader fills, compared.
inline void ExpectSameModel(const vistrel::TP3dModell& a, const vistrel::TP3dModell& b) {
    ASSERT_EQ(a.LODs.Count(), b.LODs.Count());
    EXPECT_EQ(a.Masses, b.Masses);
    EXPECT_EQ(a.GeometryLOD == nullptr, b.GeometryLOD == nullptr);
    if (a.GeometryLOD && b.GeometryLOD) {
        EXPECT_EQ(a.LODs.IndexOf(a.GeometryLOD), b.LODs.IndexOf(b.GeometryLOD));
    }
    EXPECT_EQ(a.Mass, b.Mass);
    EXPECT_EQ(a.Complete(), b.Complete());
    const vistrel::TVec3* va[] = {&a.Offset1, &a.Offset2, &a.Offset3};
    const vistrel::TVec3* vb[] = {&b.Offset1, &b.Offset2, &b.Offset3};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(va[k]->X, vb[k]->X);
        EXPECT_EQ(va[k]->Y, vb[k]->Y);
        EXPECT_EQ(va[k]->Z, vb[k]->Z);
    }
    for (int i = 0; i < a.LODs.Count(); ++i) {
        const vistrel::TP3dLOD& la = *a.LODs.Items(i);
        const vistrel::TP3dLOD& lb = *b.LODs.Items(i);
        EXPECT_EQ(la.Resolution, lb.Resolution);
        ASSERT_EQ(la.Vertexes.Count(), lb.Vertexes.Count());
        for (int k = 0; k < la.Vertexes.Count(); ++k) {
            EXPECT_EQ(la.Vertexes.Items(k)->X, lb.Vertexes.Items(k)->X);
            EXPECT_EQ(la.Vertexes.Items(k)->Y, lb.Vertexes.Items(k)->Y);
            EXPECT_EQ(la.Vertexes.Items(k)->Z, lb.Vertexes.Items(k)->Z);
        }
        ASSERT_EQ(la.Normals.Count(), lb.Normals.Count());
        ASSERT_EQ(la.Polygons.Count(), lb.Polygons.Count());
        for (int k = 0; k < la.Polygons.Count(); ++k) {
            const vistrel::APolygon& pa = *la.Polygons.Items(k);
            const vistrel::APolygon& pb = *lb.Polygons.Items(k);
            EXPECT_EQ(pa.VertexCount, pb.VertexCount);
            EXPECT_EQ(pa.Flags, pb.Flags);
            EXPECT_EQ(pa.TextureIndex, pb.TextureIndex);
            for (int c = 0; c < pa.VertexCount; ++c) {
                EXPECT_EQ(pa.Corners[c].VertexIndex, pb.Corners[c].VertexIndex);
                EXPECT_EQ(pa.Corners[c].U, pb.Corners[c].U);
                EXPECT_EQ(pa.Corners[c].V, pb.Corners[c].V);
            }
        }
        ASSERT_EQ(la.Selections.Count(), lb.Selections.Count());
        for (int k = 0; k < la.Selections.Count(); ++k) {
            const vistrel::TRealSelection& sa = *la.Selections.Items(k);
            const vistrel::TRealSelection& sb = *lb.Selections.Items(k);
            EXPECT_EQ(sa.Name, sb.Name);
            ASSERT_EQ(sa.Polygons.Count(), sb.Polygons.Count());
            for (int j = 0; j < sa.Polygons.Count(); ++j)
                EXPECT_EQ(la.Polygons.IndexOf(sa.Polygons.Items(j)), lb.Polygons.IndexOf(sb.Polygons.Items(j)));
            ASSERT_EQ(sa.Vertexes.Count(), sb.Vertexes.Count());
            for (int j = 0; j < sa.Vertexes.Count(); ++j)
                EXPECT_EQ(la.Vertexes.IndexOf(sa.Vertexes.Items(j)), lb.Vertexes.IndexOf(sb.Vertexes.Items(j)));
        }
        EXPECT_EQ(la.Textures, lb.Textures);
        EXPECT_EQ(la.Properties, lb.Properties);
        EXPECT_EQ(la.VertexInfo, lb.VertexInfo);
        EXPECT_EQ(la.UVData.size(), lb.UVData.size());
        EXPECT_EQ(la.UniqueVertexes.Items, lb.UniqueVertexes.Items);
        EXPECT_EQ(la.LinkToUnique.Items, lb.LinkToUnique.Items);
        EXPECT_EQ(la.MinPos.X, lb.MinPos.X);
        EXPECT_EQ(la.MaxPos.Z, lb.MaxPos.Z);
    }
}

}  // namespace readertest
