// p3dtool export: a model (or a folder tree of them) into the formats other
// tools read, through the exporter library (export/ModelExport.h).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "DataDirOption.h"
#include "ModelExport.h"
#include "Subcommands.h"

#include <CLI/CLI.hpp>

namespace fs = std::filesystem;

namespace p3dtool {
namespace {

struct TExportArgs {
    vistrel::TExportOptions Options;
    std::string FormatId;
    bool Recursive = false;
    bool ListFormats = false;
    bool LodGiven = false;
    std::vector<std::string> Operands;
};

bool ParseExportArgs(const TArgs& args, TExportArgs& parsed, std::string& error) {
    CLI::App app;
    std::string lod;
    app.add_flag("-r,--recursive", parsed.Recursive);
    app.add_flag("--all-lods", parsed.Options.AllLods);
    app.add_flag("--editable", parsed.Options.EditableRecord);
    app.add_flag("--formats", parsed.ListFormats);
    CLI::Option* lodOption = app.add_option("--lod", lod);
    app.add_option("--data", parsed.Options.DataDir);
    app.add_option("--format", parsed.FormatId);
    if (!ParseArgs(app, args, parsed.Operands, error)) return false;
    if (lodOption->count() > 0) {
        char* end = nullptr;
        const long n = std::strtol(lod.c_str(), &end, 10);
        if (lod.empty() || *end != '\0' || n < 0 || n > 1000000) {
            error = "--lod expects a LOD number from 0";
            return false;
        }
        parsed.Options.Lod = static_cast<int>(n);
        parsed.LodGiven = true;
    }
    if (parsed.LodGiven && parsed.Options.AllLods) {
        error = "--lod and --all-lods exclude each other";
        return false;
    }
    return true;
}

int ListFormats() {
    std::string text;
    for (const vistrel::TExportFormat& f : vistrel::ExportFormats())
        text += f.Id + std::string(f.Id.size() < 12 ? 12 - f.Id.size() : 1, ' ') + "." + f.Extension + "  " +
                f.Description + "\n";
    WriteOut(text);
    return FinishOut() ? kExitComplete : kExitFailure;
}

// Reads one model and exports it. status is that of the command; reason says
// why it failed.
struct TOutcome {
    int status = kExitComplete;
    std::string reason;
    std::vector<std::string> warnings;
    int texturesLeftOut = 0;
    std::vector<std::string> faceWarnings;
};

TOutcome ExportOne(const std::string& in, const fs::path& out, const vistrel::TExportFormat& format,
                   const vistrel::TExportOptions& options, bool echoMessages) {
    TOutcome outcome;
    std::vector<std::string> messages;
    std::unique_ptr<vistrel::TP3dModell> model;
    try {
        model = std::make_unique<vistrel::TP3dModell>(in, vistrel::TLogEvent{},
                                                      [&messages, echoMessages](const std::string& text) {
                                                          if (echoMessages) {
                                                              WriteErr(text);
                                                              WriteErr("\n");
                                                          }
                                                          messages.push_back(text);
                                                      });
    } catch (const std::exception& e) {
        outcome.status = kExitIncomplete;
        outcome.reason = e.what();
        return outcome;
    }
    if (!model->Complete()) {
        outcome.status = kExitIncomplete;
        outcome.reason = "not read completely, nothing written";
        for (const std::string& m : messages) {
            outcome.reason += outcome.reason.back() == ')' ? "; " : " (";
            for (char c : m) outcome.reason += c == '\n' ? ' ' : c;
        }
        if (!messages.empty()) outcome.reason += ")";
        return outcome;
    }
    const vistrel::TExportResult result = vistrel::ExportModel(*model, in, out, format, options);
    outcome.warnings = result.Warnings;
    outcome.texturesLeftOut = result.TexturesLeftOut;
    outcome.faceWarnings = result.FaceWarnings;
    if (!result.Ok) {
        outcome.status = kExitFailure;
        outcome.reason = result.Error;
    }
    return outcome;
}

int RunRecursive(const std::string& inDir, const std::string& outDir, const vistrel::TExportFormat& format,
                 vistrel::TExportOptions options) {
    // The same textures are named by many models of a tree: each file is
    // decoded and encoded once for the whole run.
    vistrel::TExportTextureCache textures;
    options.Textures = &textures;
    using TKind = TTreeItem::TKind;
    const auto each = [&](const fs::path& file, const fs::path& target) -> TTreeItem {
        std::string error;
        if (!MakeFolderFor(target, error)) return {TKind::Failed, "failed, " + error, error};
        const TOutcome outcome = ExportOne(file.string(), target, format, options, false);
        if (outcome.status != kExitComplete) return {TKind::Failed, "failed, " + outcome.reason, outcome.reason};
        // The textures in a count (their names would fill the line), the faces' warnings whole.
        std::vector<std::string> notes;
        if (outcome.texturesLeftOut > 0)
            notes.push_back(std::to_string(outcome.texturesLeftOut) + " texture(s) left out");
        notes.insert(notes.end(), outcome.faceWarnings.begin(), outcome.faceWarnings.end());
        std::string note = "exported";
        for (std::size_t k = 0; k < notes.size(); ++k) note += (k ? "; " : " (") + notes[k];
        return {TKind::Done, notes.empty() ? note : note + ")", {}};
    };
    return RunOverTree(kExportCommand, inDir, outDir, format.Extension, each,
                       [](std::size_t done, std::size_t, std::size_t failed) {
                           return std::to_string(done) + " exported, " + std::to_string(failed) + " failed";
                       });
}

int RunExport(const TArgs& args) {
    TExportArgs parsed;
    std::string error;
    if (!ParseExportArgs(args, parsed, error)) return UsageError(kExportCommand, error);
    if (parsed.ListFormats)
        return parsed.Operands.empty() ? ListFormats() : UsageError(kExportCommand, "--formats takes no files");
    if (parsed.Operands.size() != 2 || parsed.Operands[0].empty() || parsed.Operands[1].empty())
        return UsageError(kExportCommand, "expects IN and OUT");
    if (const std::string problem = vistrel::DataDirProblem(parsed.Options.DataDir); !problem.empty())
        return UsageError(kExportCommand, problem);
    const std::vector<vistrel::TExportFormat> formats = vistrel::ExportFormats();
    const fs::path out = parsed.Operands[1];
    std::string formatId = parsed.FormatId;
    if (parsed.Recursive && formatId.empty()) formatId = "glb2";
    const vistrel::TExportFormat* format = vistrel::FindExportFormat(formats, formatId, out);
    if (!format)
        return UsageError(kExportCommand, formatId.empty()
                                              ? "no format is written with the extension of " + out.string() +
                                                    " (--format names one; --formats lists them)"
                                              : "unknown format " + formatId + " (--formats lists them)");
    if (parsed.Options.EditableRecord && !format->Gltf)
        return UsageError(kExportCommand, "--editable is written into glTF files only");
    if (parsed.Recursive) return RunRecursive(parsed.Operands[0], parsed.Operands[1], *format, parsed.Options);

    const TOutcome outcome = ExportOne(parsed.Operands[0], out, *format, parsed.Options, true);
    for (const std::string& w : outcome.warnings) WriteErr("warning: " + w + "\n");
    if (outcome.status != kExitComplete) ReportError(parsed.Operands[0] + ": " + outcome.reason);
    return outcome.status;
}

}  // namespace

const TSubcommand kExportCommand{
    "export",
    "[-r] [--lod N | --all-lods] [--editable] [--data DIR] [--format ID] IN OUT | --formats",
    "exports a model (or a folder tree) to glTF, COLLADA, OBJ, STL or PLY",
    "Reads the model IN (binarized or editable) and writes OUT in the format of\n"
    "its extension (.glb, .gltf, .dae, .obj, .stl, .ply; --format ID names one,\n"
    "--formats lists them). The first LOD (the finest) by default; --lod N\n"
    "another, counted from 0 in file order; --all-lods every LOD, each a node\n"
    "named as the information panel names it (\"LOD 1.000\", \"Geometry\", …).\n"
    "One mesh per texture, a material per texture named by its path, positions,\n"
    "normals and UVs as the view draws them. Textures are looked for under\n"
    "--data DIR, else beside the model (its folder and the folders above),\n"
    "letter case ignored, and go out as PNG: inside a .glb, beside the other\n"
    "files (named by the texture's file name only, within OUT's folder). A\n"
    "missing texture leaves its material plain; one warning line says how many\n"
    "were not found, with the first few names, another how many are outside\n"
    "the texture root (a name with a \"..\" part, a leading \"\\\" or \"/\", or a\n"
    "drive letter: never looked up). Faces whose UVs are not numbers go out\n"
    "with those UVs 0, counted in a warning; faces at positions that are not\n"
    "finite are left out, counted in another. Named selections (with their\n"
    "face counts), properties and the resolution go into each LOD node's\n"
    "extras (metadata), the mass into the root node's; with --editable (glTF\n"
    "only) also a packed record of all that the editable format keeps of the\n"
    "LODs, exactly (docs/gltf-extras.md). glTF 2.0 (.glb, .gltf:\n"
    "a mesh per LOD, a primitive per texture) is written by tinygltf, the\n"
    "other formats by Assimp.\n"
    "\n"
    "With -r, IN and OUT are folders: every \"*.p3d\" under IN goes to the same\n"
    "relative path under OUT in the format of --format (glb2 when none is\n"
    "given); one progress line per file (with the count of textures left out\n"
    "and the faces' warnings), then a summary. A bad file never stops the run.\n"
    "Links to files are followed, links to folders are not; a folder that\n"
    "cannot be read and a \"*.p3d\" link that leads nowhere are named before\n"
    "the progress lines and count as failures.\n"
    "\n"
    "Exit status: 0 exported; 1 IN could not be read completely (nothing is\n"
    "written) or, with -r, any file failed; 2 bad arguments or OUT could not be\n"
    "written (nothing half-written stays behind).\n",
    RunExport,
};

}  // namespace p3dtool
