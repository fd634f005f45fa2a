// A small reader of the editable format ("MLOD" with "SP3X" LOD blocks and
// tags), for tests: it checks the structure strictly and keeps every field as
// written, so a test can compare a written file field by field.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace vistrel {

struct MPoint {
    float x = 0, y = 0, z = 0;
    uint32_t flags = 0;
};

struct MNormal {
    float x = 0, y = 0, z = 0;
};

struct MCorner {
    int32_t point = 0, normal = 0;
    float u = 0, v = 0;
};

struct MFace {
    std::string texture;                // up to the first zero
    std::vector<uint8_t> textureField;  // all 32 bytes
    int32_t cornerCount = 0;
    MCorner corners[4];
    uint32_t flags = 0;
};

struct MTag {
    std::string name;                // up to the first zero
    std::vector<uint8_t> nameField;  // all 64 bytes
    uint32_t length = 0;
    std::vector<uint8_t> data;
};

struct MLod {
    int32_t headerSize = 0, headerVersion = 0;
    int32_t pointCount = 0, normalCount = 0, faceCount = 0, headerFlags = 0;
    std::vector<MPoint> points;
    std::vector<MNormal> normals;
    std::vector<MFace> faces;
    std::vector<MTag> tags;
    float resolution = 0;
};

struct MFile {
    uint32_t version = 0;
    std::vector<MLod> lods;
};

// Throws std::runtime_error naming the offset where the structure is wrong.
MFile ReadMlod(const std::vector<uint8_t>& bytes);

// The bytes of a file as described, every field as given (counts, lengths
// and all: a description may be wrong on purpose). Text fields are written
// from their text, zero-filled; a tag's data is written as it stands after
// its length.
std::vector<uint8_t> BuildMlod(const MFile& file);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// A fixed text field up to its first zero.
std::string FieldText(const uint8_t* p, std::size_t width);

}  // namespace vistrel
