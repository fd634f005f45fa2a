// A model into the formats other tools read: the chosen LODs become one node
// each, with their faces in one part per texture and a material per texture
// named by its path; the textures are decoded by our decoder and go out as
// PNG (inside the file for .glb, beside it otherwise). glTF 2.0 is written
// by tinygltf (a mesh per LOD, a primitive per texture), every other format
// by Assimp's exporter (a mesh per texture). Everything is written under
// temporary names and renamed once the whole export has succeeded, so a
// failed export leaves nothing behind.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "P3dmodell.h"

namespace vistrel {

// One format an export can write.
struct TExportFormat {
    std::string Id;         // "glb2", "gltf2", "obj", …
    std::string Extension;  // without the dot: "glb", "gltf", "obj", …
    std::string Description;
    bool Gltf = false;  // written by tinygltf; else by Assimp
};

// Every format offered: glTF 2.0 binary and text first, then those of
// Assimp's in its order that other programs read back whole (COLLADA, OBJ
// with and without materials, STL and PLY as text and binary).
std::vector<TExportFormat> ExportFormats();
// The format of an id, or the first one written with the extension of path
// (letter case ignored); nullptr when there is none.
const TExportFormat* FindExportFormat(const std::vector<TExportFormat>& formats, const std::string& id,
                                      const std::filesystem::path& path);

// The texture pictures of a batch of exports: each texture file is looked
// up, decoded and encoded once, however many models name it, and each folder
// the lookups pass through is listed once for the batch. Shared by the
// threads of an export; holds at most budgetBytes of PNG, the oldest
// pictures going first.
class TExportTextureCache {
public:
    explicit TExportTextureCache(std::size_t budgetBytes = std::size_t{512} << 20);
    ~TExportTextureCache();
    TExportTextureCache(const TExportTextureCache&) = delete;
    TExportTextureCache& operator=(const TExportTextureCache&) = delete;

    struct TState;  // the exporter's own
    TState& State() { return *state_; }

private:
    std::unique_ptr<TState> state_;
};

struct TExportOptions {
    int Lod = 0;           // counted from 0 in file order
    bool AllLods = false;  // every LOD, each its own node
    // glTF: also the editable record (docs/gltf-extras.md), everything the
    // editable format keeps of the LODs; asked for, since packing it costs
    // far more time than the rest of the export
    bool EditableRecord = false;
    std::string DataDir;                      // the texture root; empty: beside the model
    TExportTextureCache* Textures = nullptr;  // a batch's; none: this export's own
};

struct TExportResult {
    bool Ok = false;
    std::string Error;  // when not Ok
    // At most a line for the textures not found (how many, the first few
    // names), one for those outside the texture root, one for those that did
    // not decode, one for faces left out, one for faces whose UVs were set
    // to 0.
    std::vector<std::string> Warnings;
    int TexturesLeftOut = 0;                // named textures that go out without a picture
    std::vector<std::string> FaceWarnings;  // the lines of Warnings about faces
    std::vector<std::filesystem::path> Written;
};

// Writes model (read from modelFile) to out in format.
TExportResult ExportModel(const TP3dModell& model, const std::string& modelFile, const std::filesystem::path& out,
                          const TExportFormat& format, const TExportOptions& options);

// The name of the PNG file written for a texture name of the model: its last
// part (after any "\\", "/" or drive letter) with ".png" for its extension,
// other characters than letters, digits, "-", "_" and "." made "_". Never
// empty, never a path, never "." or "..". taken holds the names given so far
// (lower case); a clash gets "_2", "_3", … before the extension.
std::string SafeTextureFileName(const std::string& textureName, std::vector<std::string>& taken);

}  // namespace vistrel
