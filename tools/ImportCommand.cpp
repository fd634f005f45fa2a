// p3dtool import: other programs' 3D files (glTF, OBJ, what Assimp reads)
// into the editable format, one file or a whole folder tree.
#include <filesystem>
#include <memory>

#include "ModelImport.h"
#include "PictureFile.h"
#include "Subcommands.h"
#include "TextureWriter.h"

#include <CLI/CLI.hpp>

namespace fs = std::filesystem;

namespace p3dtool {
namespace {

struct TImportRun {
    vistrel::importing::TImportOptions Options;
    bool Textures = false;
};

struct TOutcome {
    int Status = kExitComplete;
    std::string Reason;                 // why nothing was written
    std::vector<std::string> Warnings;  // counted problems and texture notes
};

// The pictures as texture files under the output's folder, each at its
// texture name's path.
void WritePictures(const vistrel::importing::TImportResult& result, const fs::path& out,
                   std::vector<std::string>& warnings) {
    for (const vistrel::importing::TImportedTexture& t : result.Pictures) {
        std::string relative = t.Name;
        for (char& c : relative)
            if (c == '\\') c = '/';
        const fs::path target = out.parent_path() / relative;
        vistrel::TRgbaPicture picture;
        std::string error;
        const bool read = t.Bytes ? vistrel::DecodePicture(t.Bytes->data(), t.Bytes->size(), picture, error)
                                  : vistrel::ReadPictureFile(t.Picture, picture, error);
        if (!read) {
            warnings.push_back("texture " + t.Name + " not written: " + error);
            continue;
        }
        if (!MakeFolderFor(target, error) ||
            !vistrel::WriteTextureFile(target.string(), picture, vistrel::ChooseTextureFormat(picture), error))
            warnings.push_back("texture " + t.Name + " not written: " + error);
    }
}

TOutcome Import(const std::string& in, const std::string& out, const TImportRun& run) {
    TOutcome outcome;
    vistrel::importing::TImportResult result = vistrel::importing::ImportModel(in, run.Options);
    if (!result.Model) {
        outcome.Status = kExitFailure;
        outcome.Reason = result.Error;
        return outcome;
    }
    outcome.Warnings = result.Warnings;
    auto messages = std::make_shared<std::vector<std::string>>();
    result.Model->OnMessage = [messages](const std::string& text) {
        if (text != "MLOD saved") messages->push_back(text);
    };
    try {
        if (!result.Model->WriteMLOD(out)) {
            outcome.Status = kExitFailure;
            outcome.Reason = messages->empty() ? "not saved" : messages->front();
            for (char& c : outcome.Reason)
                if (c == '\n') c = ' ';
            return outcome;
        }
    } catch (const std::exception& e) {
        outcome.Status = kExitFailure;
        outcome.Reason = e.what();
        return outcome;
    }
    outcome.Warnings.insert(outcome.Warnings.end(), messages->begin(), messages->end());
    if (run.Textures) WritePictures(result, fs::path(out), outcome.Warnings);
    return outcome;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "; ") + line;
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
}

int RunOne(const std::string& in, const std::string& out, const TImportRun& run) {
    const TOutcome o = Import(in, out, run);
    if (o.Status != kExitComplete) {
        ReportError(in + ": " + o.Reason);
        return o.Status;
    }
    for (const std::string& w : o.Warnings) ReportError(in + ": " + w);
    return kExitComplete;
}

int RunRecursive(const std::string& inDir, const std::string& outDir, const TImportRun& run) {
    using TKind = TTreeItem::TKind;
    const auto each = [&run](const fs::path& file, const fs::path& target) -> TTreeItem {
        std::string error;
        if (!MakeFolderFor(target, error)) return {TKind::Failed, "failed", error};
        const TOutcome o = Import(file.string(), target.string(), run);
        if (o.Status != kExitComplete) return {TKind::Failed, "failed, " + o.Reason, o.Reason};
        return {TKind::Done, o.Warnings.empty() ? "imported" : "imported (" + Joined(o.Warnings) + ")", {}};
    };
    return RunOverTree(
        kImportCommand, inDir, outDir, "p3d", each,
        [](std::size_t done, std::size_t, std::size_t failed) {
            return std::to_string(done) + " imported, " + std::to_string(failed) + " failed";
        },
        vistrel::importing::ImportExtensions());
}

int RunImport(const TArgs& args) {
    bool recursive = false, formats = false;
    TImportRun run;
    CLI::App app;
    app.add_flag("-r,--recursive", recursive);
    app.add_flag("--formats", formats);
    app.add_flag("--textures", run.Textures);
    app.add_option("--lod", run.Options.Lod);
    app.add_option("--texture-dir", run.Options.TextureDir);
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kImportCommand, error);
    if (formats) {
        if (!operands.empty()) return UsageError(kImportCommand, "--formats takes no IN and OUT");
        std::string text;
        for (const std::string& line : vistrel::importing::ImportFormats()) text += line + "\n";
        WriteOut(text);
        return FinishOut() ? kExitComplete : kExitFailure;
    }
    if (operands.size() != 2) return UsageError(kImportCommand, "expects IN and OUT");
    const std::string& in = operands[0];
    const std::string& out = operands[1];
    if (in.empty() || out.empty()) return UsageError(kImportCommand, "IN and OUT must not be empty");
    return recursive ? RunRecursive(in, out, run) : RunOne(in, out, run);
}

}  // namespace

const TSubcommand kImportCommand{
    "import",
    "[-r] [OPTIONS] IN OUT.p3d | --formats",
    "imports a glTF, OBJ or other 3D file (or a folder tree) as an editable model",
    "Options: --lod NAME|RESOLUTION, --texture-dir DIR, --textures.\n"
    "\n"
    "Reads the 3D file IN by its extension (--formats lists them: glTF 2.0 by\n"
    "tinygltf, OBJ with its .mtl by tinyobjloader, the rest by Assimp) and\n"
    "writes OUT in the editable format (\"MLOD\"). OUT is replaced only when\n"
    "the whole file was written; nothing is written on failure.\n"
    "\n"
    "A node named as the information panel names LODs (\"LOD 1.000\",\n"
    "\"Geometry\", \"View - Gunner\", ...) becomes that LOD, its resolution\n"
    "from the node's \"resolution\" extras when present; every other mesh goes\n"
    "to the LOD --lod names (a name or a resolution; LOD 1.000 by default).\n"
    "Node transforms are applied, and the export's mirroring in x and its\n"
    "winding are undone: a model exported and imported stands where it stood.\n"
    "Coinciding points are merged; faces keep 3 or 4 corners (larger polygons\n"
    "become triangles, two triangles that make a flat convex quad as the\n"
    "export writes it become that quad); faces with repeated or collinear\n"
    "corners, corners beyond the vertex count and positions that are not\n"
    "finite are left out, counted in a warning; UVs that are not numbers\n"
    "become 0. More than 32768 points or 32767 textures in a LOD is an error.\n"
    "A file with no faces (only points or lines) is \"no faces to import\".\n"
    "\n"
    "Texture names: a material named by a texture path (\"data\\t80.pac\", as\n"
    "the export names them) keeps it; else the base colour picture's file\n"
    "name (a picture inside a glTF file: its name) with \".paa\" under\n"
    "--texture-dir DIR (\"mymod\\data\"); untextured materials, and pictures\n"
    "inside the file without a name (a warning), give none. A name with a\n"
    "\"..\" part is refused with a warning. --textures also writes each such\n"
    "picture, beside the file or inside it, as that texture file under OUT's\n"
    "folder (it must have sides that are powers of two).\n"
    "\n"
    "A .glb or .gltf that the export wrote with --editable comes back whole\n"
    "from its editable record (every LOD, selections, properties, masses):\n"
    "the file mlod writes from the same model. A damaged record is named in a\n"
    "warning, and the meshes are imported instead.\n"
    "\n"
    "With -r, IN and OUT are folders: every file under IN with an extension\n"
    "that can be read is imported to the same relative path under OUT, with\n"
    "\".p3d\"; one progress line per file, then a summary. A bad file never\n"
    "stops the run; the exit status is 1 when any file failed.\n"
    "\n"
    "Exit status: 0 imported (warnings may have been given); 2 nothing\n"
    "written (the file is missing, unreadable, holds no faces, passes the\n"
    "format's limits, or the arguments are wrong).\n",
    RunImport,
};

}  // namespace p3dtool
