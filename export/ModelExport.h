// A model into the formats other tools read, through Assimp's exporter: the
// chosen LODs become an aiScene (one node per LOD, one mesh per texture, a
// material per texture named by its path), the textures are decoded by our
// decoder and go out as PNG (inside the file for .glb, beside it otherwise),
// and the library writes the files. Everything is written under temporary
// names and renamed once the whole export has succeeded, so a failed export
// leaves nothing behind.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "P3dmodell.h"

namespace vistrel {

// One format the library writes.
struct TExportFormat {
    std::string Id;         // "glb2", "gltf2", "obj", …
    std::string Extension;  // without the dot: "glb", "gltf", "obj", …
    std::string Description;
};

// Every format, in the library's order.
std::vector<TExportFormat> ExportFormats();
// The format of an id, or the first one written with the extension of path
// (letter case ignored); nullptr when there is none.
const TExportFormat* FindExportFormat(const std::vector<TExportFormat>& formats, const std::string& id,
                                      const std::filesystem::path& path);

struct TExportOptions {
    int Lod = 0;           // counted from 0 in file order
    bool AllLods = false;  // every LOD, each its own node
    std::string DataDir;   // the texture root; empty: beside the model
};

struct TExportResult {
    bool Ok = false;
    std::string Error;                  // when not Ok
    std::vector<std::string> Warnings;  // one line per texture left out
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

// The file of a texture name under the roots, each tried in turn, the name's
// parts ("\\" or "/" between them) matched ignoring letter case where the
// exact spelling is not there. Empty when none has it.
std::filesystem::path FindTextureFile(const std::vector<std::filesystem::path>& roots, const std::string& name);

// Where a model's textures are looked for: the data folder when one is
// given, else the model's folder and each folder above it, nearest first.
std::vector<std::filesystem::path> TextureSearchRoots(const std::string& dataDir, const std::string& modelFile);

}  // namespace vistrel
