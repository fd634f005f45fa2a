// Writer of binarized model files ("BMDL") from a plain in-memory description,
// for tests, benchmarks, seed corpora and the sample model. It writes exactly
// the layout that TP3dModell reads: every count as an int32, the arrays by the
// compression rule (EncodeArray), skipped bytes filled with kSkipFill so that a
// reader that interprets them instead of passing over them is caught.
//
// Everything is public and nothing is checked: a description may hold wrong
// counts, bad corner counts or indices outside their lists, so that tests can
// write broken files on purpose. The count overrides replace only the count
// field; the data written after it are still the actual elements, by the rule
// for their actual number. Built bytes can also be patched directly, with the
// offsets that the layout records give.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LzssEncoder.h"

namespace vistrel {

// The byte written for every skipped byte of the layout.
inline constexpr uint8_t kSkipFill = 0xA5;
// Resolutions of special LODs.
inline constexpr float kBuilderGeometryResolution = 1e13f;
inline constexpr float kBuilderMemoryResolution = 1e15f;

using BVec3 = std::array<float, 3>;
using BUV = std::array<float, 2>;

struct BPolygon {
    uint32_t faceFlags = 0;                      // the file's face flag word
    int16_t texture = -1;                        // index into the LOD's textures; -1: none
    std::vector<int16_t> corners;                // vertex indices; 3 or 4 (any number is written)
    std::optional<uint8_t> cornerCountOverride;  // written instead of corners.size()
};

struct BSelection {
    std::string name;
    std::vector<uint16_t> faces;     // polygon indices
    std::vector<uint32_t> entries1;  // 4-byte entries, dropped by the reader
    std::vector<uint32_t> entries2;  // 4-byte entries, dropped by the reader
    std::vector<uint16_t> vertexes;  // vertex indices
    std::vector<uint8_t> entries3;   // 1-byte entries, dropped by the reader

    std::optional<int32_t> faceCountOverride;
    std::optional<int32_t> vertexCountOverride;
};

struct BTrailing {
    uint32_t head = 0;         // the 4 bytes before the item count
    std::vector<BVec3> items;  // 12 bytes each
};

struct BProxy {
    std::string name;
    std::array<uint8_t, 56> data{};
};

struct BLod {
    std::vector<uint32_t> vertexInfo;  // per vertex hint bits
    std::vector<BUV> uv;               // per vertex U, V
    std::vector<BVec3> vertices;
    std::vector<BVec3> normals;
    BVec3 minPos{0, 0, 0};
    BVec3 maxPos{0, 0, 0};
    std::vector<std::string> textures;  // written zero-terminated
    std::vector<int16_t> unique;        // per point: its representative vertex
    std::vector<int16_t> link;          // per vertex: its point
    std::vector<BPolygon> polygons;
    int32_t propertyRecords = 0;  // count of 18-byte records (filled with kSkipFill)
    std::vector<BSelection> selections;
    std::vector<std::pair<std::string, std::string>> properties;  // name, value
    std::vector<BTrailing> trailing;
    std::vector<BProxy> proxies;
    float resolution = 1.0f;  // goes to the model's resolution table

    // Replace the count field alone (negative or absurd counts for tests).
    std::optional<int32_t> vertexInfoCountOverride;
    std::optional<int32_t> uvCountOverride;
    std::optional<int32_t> vertexCountOverride;
    std::optional<int32_t> normalCountOverride;
    std::optional<int32_t> textureCountOverride;
    std::optional<int32_t> uniqueCountOverride;
    std::optional<int32_t> linkCountOverride;
    std::optional<int32_t> polygonCountOverride;
    std::optional<int32_t> selectionCountOverride;
    std::optional<int32_t> propertyCountOverride;
    std::optional<int32_t> trailingCountOverride;
    std::optional<int32_t> proxyCountOverride;

    // The point count as the reader will see it.
    int32_t UniqueCount() const;
};

struct BModel {
    int32_t headerValue = 0;
    std::vector<BLod> lods;
    std::optional<int32_t> lodCountOverride;
    BVec3 offset1{0, 0, 0};
    BVec3 bboxMin{0, 0, 0};
    BVec3 bboxMax{0, 0, 0};
    BVec3 offset2{0, 0, 0};
    BVec3 offset3{0, 0, 0};
    std::optional<int32_t> massCountOverride;  // written instead of masses.size()
    std::vector<float> masses;
    // Write the masses array when the reader takes it: the last LOD with
    // resolution exactly 1e13 exists and the mass count equals its point
    // count. Otherwise the total mass follows the mass count directly.
    bool writeMasses = true;
    // Write the masses array whatever the reader will do with it.
    bool forceMasses = false;
    float totalMass = 0;
    // Append kSkipFill bytes after the total mass (never read) when a texture
    // name's 256-byte window would otherwise run past the end of the file.
    bool padTextureWindows = true;
};

// Offsets of the fields of one LOD body, from the start of the body.
struct BLodLayout {
    std::size_t vertexInfoCount = 0;
    std::size_t uvCount = 0;
    std::size_t vertexCount = 0;
    std::size_t normalCount = 0;
    std::size_t minPos = 0;
    std::size_t maxPos = 0;
    std::size_t textureCount = 0;
    std::vector<std::size_t> textureNames;  // start of each name
    std::size_t uniqueCount = 0;
    std::size_t linkCount = 0;
    std::size_t polygonCount = 0;
    std::vector<std::size_t> polygons;  // start of each polygon record
    std::size_t propertyRecordCount = 0;
    std::size_t selectionCount = 0;
    std::vector<std::size_t> selections;  // start of each selection record (its name)
    std::size_t namedPropertyCount = 0;
    std::size_t trailingCount = 0;
    std::size_t proxyCount = 0;
    std::vector<std::size_t> proxies;  // start of each proxy (its name)
    std::size_t size = 0;              // the body's length
};

// Offsets of the fields of a whole file, from its start.
struct BModelLayout {
    std::vector<std::size_t> lodStart;   // start of each LOD body
    std::vector<BLodLayout> lodLayouts;  // their fields, relative to lodStart
    std::size_t resolutions = 0;         // the resolution table
    std::size_t offset1 = 0;
    std::size_t bboxMin = 0;
    std::size_t bboxMax = 0;
    std::size_t offset2 = 0;
    std::size_t offset3 = 0;
    std::size_t massCount = 0;
    std::size_t masses = 0;  // where masses are (or would be) written
    bool massesWritten = false;
    std::size_t totalMass = 0;
    std::size_t padding = 0;  // bytes appended after the total mass
    std::size_t size = 0;
};

// One LOD body alone.
std::vector<uint8_t> BuildLodBody(const BLod& lod, BLodLayout* layout = nullptr);

// A whole file: magic, header, LOD bodies, resolutions, model-wide data.
std::vector<uint8_t> BuildModel(const BModel& model, BModelLayout* layout = nullptr);

// The start of each LOD body within BuildModel(model).
std::vector<std::size_t> LodBodyOffsets(const BModel& model);

// Whether BuildModel writes the masses array for this model (see writeMasses).
bool ReaderTakesMasses(const BModel& model);

// Writes bytes to a file; throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

// Little-endian helpers for patching built bytes.
void PutInt32At(std::vector<uint8_t>& bytes, std::size_t at, int32_t value);
void PutFloatAt(std::vector<uint8_t>& bytes, std::size_t at, float value);
int32_t GetInt32At(const std::vector<uint8_t>& bytes, std::size_t at);
float GetFloatAt(const std::vector<uint8_t>& bytes, std::size_t at);

}  // namespace vistrel
