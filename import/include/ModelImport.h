// Other programs' 3D files (glTF 2.0, OBJ and whatever Assimp reads) into a
// model in memory, as the editable format holds it: points merged where they
// coincide, faces of 3 or 4 corners with their UVs, a LOD per node named as
// the information panel names LODs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "P3dmodell.h"

namespace vistrel::importing {

struct TImportOptions {
    // The LOD that a file without LOD names becomes: a name as the panel
    // gives it ("Geometry", "LOD 2.000") or a resolution; empty for 1.000.
    std::string Lod;
    // The folder inside the game's data that the pictures' names go under
    // ("mymod\data"); empty for none.
    std::string TextureDir;
    // The processor time the reader of a format read through Assimp may
    // take on a file before it is stopped (some loop on damaged files); 0:
    // 20 s and 2 s more per MB.
    unsigned ReaderSeconds = 0;
};

// A picture a material uses, and the texture name it was given.
struct TImportedTexture {
    std::string Name;     // "mymod\data\wood.paa"
    std::string Picture;  // the picture's file, as the file names it (resolved beside it)
    // the picture's file itself when the model's file holds it; then Picture is empty
    std::shared_ptr<const std::vector<uint8_t>> Bytes;
};

struct TImportResult {
    std::unique_ptr<TP3dModell> Model;       // null on failure
    std::string Error;                       // why nothing was made
    std::vector<std::string> Warnings;       // counted problems, one line each
    std::vector<TImportedTexture> Pictures;  // the pictures behind texture names
};

// One line per format family that can be read ("glb, gltf  glTF 2.0").
std::vector<std::string> ImportFormats();
// Whether the extension (".obj", letter case ignored) is one that can be read.
bool CanImport(const std::string& extension);
// The extensions that can be read, in lower case with their dot.
std::vector<std::string> ImportExtensions();

// Reads the file. Never throws for bad input: Error says what is wrong.
TImportResult ImportModel(const std::string& path, const TImportOptions& options);

// The same of a glTF file already in memory (binary: a .glb); buffers it
// names outside itself are not found.
TImportResult ImportGltfBytes(const std::vector<unsigned char>& bytes, bool binary, const TImportOptions& options);

}  // namespace vistrel::importing
