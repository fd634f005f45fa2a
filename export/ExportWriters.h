// The two writers of an export and what they are handed: the model, its
// meshes, its texture pictures and the list of files written so far under
// temporary names.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "AtomicFile.h"
#include "ExportMeshes.h"
#include "ExportTextures.h"
#include "ModelExport.h"

namespace vistrel::exporting {

// The files of an export, each written under a temporary name beside its
// final one (TAtomicFile): renamed all at once by Commit, removed when not
// committed.
class TStagedFiles {
public:
    // The file to write; writers that open files by name take its
    // TemporaryPath(), the others its Stream().
    TAtomicFile& Stage(const std::filesystem::path& final);
    bool Commit(std::vector<std::filesystem::path>& written, std::string& error);

private:
    std::vector<std::unique_ptr<TAtomicFile>> staged_;
};

struct TExportJob {
    const TP3dModell& Model;
    std::string RootName;  // the root node's: the model file's name without extension, as UTF-8
    const TFaceGroups& Groups;
    const std::vector<TMeshPart>& Parts;
    // One per material: its texture, and for formats that keep pictures
    // beside the file the PNG's name there (empty when it has none).
    const std::vector<TTextureOut>& Textures;
    const std::vector<std::string>& PictureFiles;
    const TExportFormat& Format;
    const std::filesystem::path& Out;
    TStagedFiles& Staged;
    bool EditableRecord = false;  // glTF: the editable record in the buffer (TExportOptions)
};

// Whether a format keeps materials with pictures (STL, PLY and others do
// not).
bool CarriesPictures(const TExportFormat& format);

// The name of a material: the texture's path, "untextured" for none.
std::string MaterialName(const std::string& texture);

// False with the reason in error; what they wrote is staged.
bool WriteGltf(const TExportJob& job, std::string& error);
bool WriteWithAssimp(const TExportJob& job, std::string& error);

}  // namespace vistrel::exporting
