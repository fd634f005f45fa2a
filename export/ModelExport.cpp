#include "ModelExport.h"

#include <assimp/Exporter.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include "ExportWriters.h"
#include "TextureLookup.h"

namespace fs = std::filesystem;

namespace vistrel {

namespace exporting {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The names given in a warning line before "and N more".
constexpr std::size_t kNamesInWarning = 3;

std::string NameList(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t k = 0; k < names.size() && k < kNamesInWarning; ++k) text += (k ? ", " : "") + names[k];
    if (names.size() > kNamesInWarning) text += " and " + std::to_string(names.size() - kNamesInWarning) + " more";
    return text;
}

}  // namespace

TAtomicFile& TStagedFiles::Stage(const fs::path& final) {
    staged_.push_back(std::make_unique<TAtomicFile>(final.string()));
    return *staged_.back();
}

bool TStagedFiles::Commit(std::vector<fs::path>& written, std::string& error) {
    for (const std::unique_ptr<TAtomicFile>& file : staged_) {
        if (!file->Commit()) {
            error = "cannot write " + file->Target() + ": " + file->Error();
            staged_.clear();  // the rest is removed
            return false;
        }
        written.push_back(file->Target());
    }
    staged_.clear();
    return true;
}

bool CarriesPictures(const TExportFormat& format) {
    const std::string e = Lower(format.Extension);
    return e != "stl" && e != "ply";
}

std::string MaterialName(const std::string& texture) { return texture.empty() ? "untextured" : texture; }

}  // namespace exporting

using namespace exporting;

std::vector<TExportFormat> ExportFormats() {
    std::vector<TExportFormat> formats{
        {"glb2", "glb", "glTF 2.0 binary (tinygltf)", true},
        {"gltf2", "gltf", "glTF 2.0, pictures beside it (tinygltf)", true},
    };
    // Of Assimp's writers only those whose files another program opens with
    // every face, tried on models of real shapes. Its binary FBX fails other
    // readers' block checks and its ASCII FBX is seldom read at all; its 3MF
    // and X3D leave "&" in names unescaped, which XML parsers refuse (and
    // its 3MF gives the meshes after an object's first the first one's
    // vertices); its pbrt writer crashes on every model; no other program at
    // hand reads its X, STEP, 3DS or its own formats back whole.
    static constexpr std::string_view kReadElsewhere[] = {"collada", "obj", "objnomtl", "stl", "stlb", "ply", "plyb"};
    Assimp::Exporter exporter;
    for (std::size_t k = 0; k < exporter.GetExportFormatCount(); ++k) {
        const aiExportFormatDesc* d = exporter.GetExportFormatDescription(k);
        if (d && std::find(std::begin(kReadElsewhere), std::end(kReadElsewhere), d->id) != std::end(kReadElsewhere))
            formats.push_back({d->id, d->fileExtension, d->description, false});
    }
    return formats;
}

const TExportFormat* FindExportFormat(const std::vector<TExportFormat>& formats, const std::string& id,
                                      const fs::path& path) {
    if (!id.empty()) {
        for (const TExportFormat& f : formats)
            if (f.Id == id) return &f;
        return nullptr;
    }
    std::string ext = Lower(path.extension().string());
    if (ext.empty()) return nullptr;
    ext.erase(0, 1);
    for (const TExportFormat& f : formats)
        if (Lower(f.Extension) == ext) return &f;
    return nullptr;
}

std::string SafeTextureFileName(const std::string& textureName, std::vector<std::string>& taken) {
    std::string last = textureName;
    const std::size_t cut = last.find_last_of("\\/:");
    if (cut != std::string::npos) last.erase(0, cut + 1);
    const std::size_t dot = last.find_last_of('.');
    if (dot != std::string::npos && dot > 0) last.erase(dot);
    std::string stem;
    for (unsigned char c : last)
        stem += std::isalnum(c) || c == '-' || c == '_' || c == '.' ? static_cast<char>(c) : '_';
    if (stem.empty() || stem.find_first_not_of('.') == std::string::npos) stem = "texture";
    std::string name = stem + ".png";
    for (int n = 2; std::find(taken.begin(), taken.end(), Lower(name)) != taken.end(); ++n)
        name = stem + "_" + std::to_string(n) + ".png";
    taken.push_back(Lower(name));
    return name;
}

TExportResult ExportModel(const TP3dModell& model, const std::string& modelFile, const fs::path& out,
                          const TExportFormat& format, const TExportOptions& options) {
    TExportResult result;
    std::vector<const TP3dLOD*> lods;
    if (options.AllLods) {
        for (const TP3dLOD* lod : model.LODs) lods.push_back(lod);
    } else if (options.Lod >= 0 && options.Lod < model.LODs.Count()) {
        lods.push_back(model.LODs[static_cast<std::size_t>(options.Lod)]);
    } else {
        result.Error = "--lod " + std::to_string(options.Lod) + ": the model has " +
                       std::to_string(model.LODs.Count()) + " LOD(s), 0 to " + std::to_string(model.LODs.Count() - 1);
        return result;
    }

    std::error_code ec;
    const fs::path folder = out.parent_path().empty() ? fs::path(".") : out.parent_path();
    if (!fs::is_directory(folder, ec)) {
        result.Error = "cannot write " + out.string() + ": no folder " + folder.string();
        return result;
    }

    const TFaceGroups groups = GroupFaces(lods);
    if (groups.Groups.empty()) {
        result.Error = "nothing to export: the chosen LOD(s) have no faces";
        return result;
    }

    // The textures, prepared on threads of their own while the meshes are
    // built.
    const bool pictures = CarriesPictures(format);
    const std::vector<std::string> roots =
        pictures ? TextureRoots(options.DataDir, modelFile) : std::vector<std::string>();
    std::vector<std::string> names;
    for (const std::string& name : groups.Materials) names.push_back(pictures ? name : std::string());
    TTextureJobs jobs(roots, std::move(names), options.Textures);
    std::vector<TMeshPart> parts;
    parts.reserve(groups.Groups.size());
    for (const TFaceGroup& group : groups.Groups) parts.push_back(BuildPart(groups, group));
    const std::vector<TTextureOut> textures = jobs.Take();

    // One line for what is missing, one for what is outside the texture
    // root, one for what did not decode.
    std::vector<std::string> missing, outside, undecoded;
    std::size_t named = 0;
    for (const TTextureOut& t : textures) {
        if (t.Name.empty()) continue;
        ++named;
        if (t.Outside)
            outside.push_back(t.Name);
        else if (t.File.empty())
            missing.push_back(t.Name);
        else if (!t.Usable())
            undecoded.push_back(t.File + " (" + (t.Picture ? t.Picture->Problem : std::string()) + ")");
    }
    if (!missing.empty())
        result.Warnings.push_back(
            std::to_string(missing.size()) + " of " + std::to_string(named) + " textures not found " +
            (options.DataDir.empty() ? std::string("beside the model") : "under " + options.DataDir) +
            ", left untextured: " + NameList(missing));
    if (!outside.empty())
        result.Warnings.push_back(std::to_string(outside.size()) + " of " + std::to_string(named) +
                                  " textures outside the texture root, left untextured: " + NameList(outside));
    if (!undecoded.empty())
        result.Warnings.push_back(std::to_string(undecoded.size()) + " of " + std::to_string(named) +
                                  " textures not decoded, left untextured: " + NameList(undecoded));
    // The faces' lines, also for a batch's progress line.
    if (groups.LeftOut)
        result.FaceWarnings.push_back(std::to_string(groups.LeftOut) +
                                      " faces left out: bad corners, or positions that are not finite numbers");
    if (groups.UvsNotNumbers)
        result.FaceWarnings.push_back(std::to_string(groups.UvsNotNumbers) +
                                      " faces with UVs that are not numbers: UVs set to 0");
    result.Warnings.insert(result.Warnings.end(), result.FaceWarnings.begin(), result.FaceWarnings.end());
    result.TexturesLeftOut = static_cast<int>(missing.size() + outside.size() + undecoded.size());

    // Pictures beside the file (every format but .glb that keeps them),
    // staged with the file itself.
    TStagedFiles staged;
    std::vector<std::string> pictureFiles(textures.size());
    if (pictures && format.Id != "glb2") {
        std::vector<std::string> taken;
        for (std::size_t k = 0; k < textures.size(); ++k) {
            if (!textures[k].Usable()) continue;
            pictureFiles[k] = SafeTextureFileName(textures[k].Name, taken);
            TAtomicFile& file = staged.Stage(folder / pictureFiles[k]);
            const std::vector<uint8_t>& png = textures[k].Picture->Png;
            if (!file.Ok() || !file.Stream() || std::fwrite(png.data(), 1, png.size(), file.Stream()) != png.size()) {
                result.Error = "cannot write " + (folder / pictureFiles[k]).string() + ": " +
                               (file.Error().empty() ? std::strerror(errno) : file.Error());
                return result;
            }
        }
    }

    const TExportJob job{model,    Utf8OrLatin1(fs::path(modelFile).stem().string()),
                         groups,   parts,
                         textures, pictureFiles,
                         format,   out,
                         staged,   options.EditableRecord};
    if (!(format.Gltf ? WriteGltf(job, result.Error) : WriteWithAssimp(job, result.Error))) return result;
    if (!staged.Commit(result.Written, result.Error)) return result;
    result.Ok = true;
    return result;
}

}  // namespace vistrel
