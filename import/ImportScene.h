// What a reader hands to the model builder: meshes with world positions in
// the file's own frame, polygons as the file winds them, and materials.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "P3dmodell.h"

namespace vistrel::importing {

// Bounds that keep a hostile file from taking all memory.
inline constexpr std::size_t kMaxCorners = 200'000'000;  // corners of all polygons in a file

struct TSceneMaterial {
    std::string Name;
    std::string Picture;  // the base colour picture's path as the file gives it; empty for none
    // The picture's bytes when the file holds them (a buffer view or a
    // data: URI), shared by the materials that use it; then Picture is its
    // name only.
    std::shared_ptr<const std::vector<uint8_t>> PictureBytes;
};

struct TSceneMesh {
    std::string Node;            // the nearest node above (or at) the mesh named as a LOD; empty for none
    bool HasResolution = false;  // when the node's extras give the resolution
    double Resolution = 0;
    std::vector<float> Positions;   // x, y, z per vertex, node transforms applied
    std::vector<float> Normals;     // empty, or x, y, z per vertex
    std::vector<float> Uvs;         // empty, or u, v per vertex, rows from the top
    std::vector<uint32_t> Sizes;    // corners per polygon
    std::vector<uint32_t> Indices;  // the polygons' vertices, as wound in the file
    std::vector<int> Materials;     // one per polygon, -1 for none
};

struct TScene {
    std::vector<TSceneMesh> Meshes;
    std::vector<TSceneMaterial> Materials;
    std::vector<std::string> Warnings;
    std::size_t BadIndices = 0;  // polygons naming a vertex beyond the count
    // The model a glTF export's editable record holds (in the buffer view
    // its root node's extras name); then the meshes are not read.
    std::unique_ptr<TP3dModell> FromRecord;
};

// Each false with the reason in error.
bool ReadGltfScene(const std::string& path, TScene& scene, std::string& error);
bool ReadObjScene(const std::string& path, TScene& scene, std::string& error);
bool ReadAssimpScene(const std::string& path, unsigned seconds, TScene& scene, std::string& error);
// The same for a glTF file already in memory (the fuzz target's way in).
bool ReadGltfBytes(const std::vector<unsigned char>& bytes, bool binary, TScene& scene, std::string& error);

// The model an editable record describes, or null with the reason in error;
// data are the buffer's bytes before the record, which its data CRC was
// taken of. The record unpacks to at most kMaxRecordBytes.
inline constexpr std::size_t kMaxRecordBytes = std::size_t{256} << 20;
std::unique_ptr<TP3dModell> ModelFromRecord(const uint8_t* packed, std::size_t bytes, const uint8_t* data,
                                            std::size_t dataBytes, std::string& error);

// A 4 x 4 matrix, column-major as glTF gives it.
struct TMatrix {
    double M[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    TMatrix operator*(const TMatrix& b) const {
        TMatrix r;
        for (int c = 0; c < 4; ++c)
            for (int row = 0; row < 4; ++row) {
                double s = 0;
                for (int k = 0; k < 4; ++k) s += M[k * 4 + row] * b.M[c * 4 + k];
                r.M[c * 4 + row] = s;
            }
        return r;
    }
    bool Identity() const {
        const TMatrix one;
        for (int k = 0; k < 16; ++k)
            if (M[k] != one.M[k]) return false;
        return true;
    }
};

// Moves vertex arrays by the matrix: positions as points, normals by the
// inverse transpose of its linear part, made unit length again.
void Transform(const TMatrix& m, std::vector<float>& positions, std::vector<float>& normals, std::size_t from);

}  // namespace vistrel::importing
