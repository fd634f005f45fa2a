// p3dtool info: what the viewer's information panel shows for every LOD, for
// a person or (--json) as one JSON object for programs.
#include <string>

#include "JsonText.h"
#include "NumberFormat.h"
#include "Subcommands.h"

#include <CLI/CLI.hpp>

namespace p3dtool {

namespace {

using vistrel::TP3dLOD;
using vistrel::TP3dModell;
using vistrel::TRealSelection;
using vistrel::TVec3;

std::string Triple(const TVec3& v) { return vistrel::FormatTriple(v.X, v.Y, v.Z); }

std::string FormatState(const TP3dModell& model) {
    switch (model.FileFormat()) {
    case TP3dModell::Format::Binarized:
        return model.Complete() ? "binarized (BMDL), read completely" : "binarized (BMDL), reading stopped part-way";
    case TP3dModell::Format::Editable:
        return model.Complete() ? "editable (MLOD), read completely" : "editable (MLOD), reading stopped part-way";
    case TP3dModell::Format::Unknown: return "unknown, not read";
    case TP3dModell::Format::None: break;
    }
    return "none";
}

std::string FormatName(const TP3dModell& model) {
    switch (model.FileFormat()) {
    case TP3dModell::Format::Binarized: return "binarized";
    case TP3dModell::Format::Editable: return "editable";
    case TP3dModell::Format::Unknown: return "unknown";
    case TP3dModell::Format::None: break;
    }
    return "none";
}

void AppendLodText(std::string& out, const TP3dLOD& lod, int index) {
    out += "\nLOD ";
    out += std::to_string(index);
    out += ": ";
    out += vistrel::LodDisplayName(lod.Resolution);
    out += "\n  Resolution: " + ShortFloat(lod.Resolution);
    out += "\n  Vertexes: " + std::to_string(lod.Vertexes.Count());
    out += "\n  Unique: " + std::to_string(lod.UniqueVertexes.Count);
    out += "\n  Faces: " + std::to_string(lod.Polygons.Count());
    out += "\n  Textures: " + std::to_string(lod.Textures.size());
    out += "\n  MinPos: " + Triple(lod.MinPos);
    out += "\n  MaxPos: " + Triple(lod.MaxPos);
    out += '\n';
    if (!lod.Textures.empty()) {
        out += "  Texture names:\n";
        for (const std::string& name : lod.Textures) out += "    " + name + '\n';
    }
    out += "  Selections: " + std::to_string(lod.Selections.Count()) + '\n';
    for (const TRealSelection* sel : lod.Selections) {
        out += "    " + sel->Name + '\n';
        out += "      Vertexes: " + std::to_string(sel->Vertexes.Count()) +
               ", Faces: " + std::to_string(sel->Polygons.Count()) + '\n';
        TVec3 start, end;
        if (vistrel::SelectionExtent(*sel, start, end)) {
            out += "      Start: " + Triple(start) + '\n';
            out += "      End: " + Triple(end) + '\n';
            out += "      L/W/H: " + Triple(TVec3{end.X - start.X, end.Y - start.Y, end.Z - start.Z}) + '\n';
        } else {
            out += "      Start: -\n      End: -\n      L/W/H: -\n";
        }
    }
    out += "  Properties: " + std::to_string(lod.Properties.size()) + '\n';
    for (const std::string& property : lod.Properties) out += "    " + property + '\n';
}

// "LOD 3 at byte 1234: cause" (no LOD outside the LOD bodies).
std::string FailureLine(const vistrel::TReadResult& failure) {
    std::string line = failure.Lod >= 0 ? "LOD " + std::to_string(failure.Lod) + " at byte " : "at byte ";
    return line + std::to_string(failure.Offset) + ": " + failure.Cause;
}

// Nothing when the model was read completely.
void AppendFailureJson(std::string& out, const vistrel::TReadResult& failure) {
    if (failure.Ok()) return;
    out += ",\"failure\":{\"lod\":";
    if (failure.Lod >= 0)
        AppendJsonInt(out, failure.Lod);
    else
        out += "null";
    out += ",\"offset\":";
    AppendJsonInt(out, static_cast<long long>(failure.Offset));
    out += ",\"cause\":";
    AppendJsonText(out, failure.Cause);
    out += '}';
}

std::string InfoText(const std::string& path, const TP3dModell& model) {
    std::string out = "File: " + path + '\n';
    out += "Format: " + FormatState(model) + '\n';
    if (!model.Failure().Ok()) out += "Failure: " + FailureLine(model.Failure()) + '\n';
    out += "LODs: " + std::to_string(model.LODs.Count()) + '\n';
    int index = 0;
    for (const TP3dLOD* lod : model.LODs) AppendLodText(out, *lod, index++);
    out += '\n';
    if (model.GeometryLOD) {
        out += "Geometry LOD: " + std::to_string(model.LODs.IndexOf(model.GeometryLOD)) + " (" +
               std::to_string(model.Masses.size()) + " masses)\n";
    } else {
        out += "Geometry LOD: none\n";
    }
    out += "Complete Mass: " + vistrel::FormatFloat("0.###", model.Mass) + '\n';
    return out;
}

void AppendSelectionJson(std::string& out, const TRealSelection& sel) {
    out += "{\"name\":";
    AppendJsonText(out, sel.Name);
    out += ",\"vertexes\":";
    AppendJsonInt(out, sel.Vertexes.Count());
    out += ",\"faces\":";
    AppendJsonInt(out, sel.Polygons.Count());
    TVec3 start, end;
    if (vistrel::SelectionExtent(sel, start, end)) {
        out += ",\"start\":";
        AppendJsonVec(out, start);
        out += ",\"end\":";
        AppendJsonVec(out, end);
    } else {
        out += ",\"start\":null,\"end\":null";
    }
    out += '}';
}

void AppendLodJson(std::string& out, const TP3dLOD& lod) {
    out += "{\"resolution\":";
    AppendJsonFloat(out, lod.Resolution);
    out += ",\"name\":";
    AppendJsonText(out, vistrel::LodDisplayName(lod.Resolution));
    out += ",\"vertexes\":";
    AppendJsonInt(out, lod.Vertexes.Count());
    out += ",\"normals\":";
    AppendJsonInt(out, lod.Normals.Count());
    out += ",\"unique\":";
    AppendJsonInt(out, lod.UniqueVertexes.Count);
    out += ",\"faces\":";
    AppendJsonInt(out, lod.Polygons.Count());
    out += ",\"textures\":[";
    bool first = true;
    for (const std::string& name : lod.Textures) {
        if (!first) out += ',';
        first = false;
        AppendJsonText(out, name);
    }
    out += "],\"min\":";
    AppendJsonVec(out, lod.MinPos);
    out += ",\"max\":";
    AppendJsonVec(out, lod.MaxPos);
    out += ",\"selections\":[";
    first = true;
    for (const TRealSelection* sel : lod.Selections) {
        if (!first) out += ',';
        first = false;
        AppendSelectionJson(out, *sel);
    }
    out += "],\"properties\":[";
    first = true;
    for (const std::string& property : lod.Properties) {
        if (!first) out += ',';
        first = false;
        AppendJsonText(out, property);
    }
    out += "]}";
}

std::string InfoJson(const std::string& path, const TToolModel& loaded) {
    std::string out = "{\"file\":";
    AppendJsonPath(out, path);
    if (!loaded.Model) {
        out += ",\"error\":";
        AppendJsonPath(out, loaded.Error);  // names the file
        if (!loaded.Failure.Ok()) AppendFailureJson(out, loaded.Failure);
        out += "}\n";
        return out;
    }
    const TP3dModell& model = *loaded.Model;
    out += ",\"format\":";
    AppendJsonText(out, FormatName(model));
    out += ",\"complete\":";
    out += model.Complete() ? "true" : "false";
    AppendFailureJson(out, model.Failure());
    out += ",\"messages\":[";
    bool first = true;
    for (const std::string& message : loaded.Messages) {
        if (!first) out += ',';
        first = false;
        AppendJsonPath(out, message);
    }
    out += "],\"lods\":[";
    first = true;
    for (const TP3dLOD* lod : model.LODs) {
        if (!first) out += ',';
        first = false;
        AppendLodJson(out, *lod);
    }
    out += "],\"geometry_lod\":";
    if (model.GeometryLOD) {
        AppendJsonInt(out, model.LODs.IndexOf(model.GeometryLOD));
        out += ",\"masses\":";
        AppendJsonInt(out, static_cast<long long>(model.Masses.size()));
    } else {
        out += "null,\"masses\":null";
    }
    out += ",\"mass\":";
    AppendJsonFloat(out, model.Mass);
    out += ",\"offset1\":";
    AppendJsonVec(out, model.Offset1);
    out += ",\"offset2\":";
    AppendJsonVec(out, model.Offset2);
    out += ",\"offset3\":";
    AppendJsonVec(out, model.Offset3);
    out += "}\n";
    return out;
}

int RunInfo(const TArgs& args) {
    bool json = false;
    CLI::App app;
    app.add_flag("--json", json);
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kInfoCommand, error);
    if (operands.size() != 1) return UsageError(kInfoCommand, "expects one FILE");
    const std::string& path = operands[0];
    if (path.empty()) return UsageError(kInfoCommand, "FILE must not be empty");

    const TToolModel loaded = LoadModel(path);
    if (!loaded.Model) {
        ReportError(loaded.Error);
        if (!loaded.Failure.Ok()) ReportError(FailureLine(loaded.Failure));
    }

    std::string out;
    if (json)
        out = InfoJson(path, loaded);
    else if (loaded.Model)
        out = InfoText(path, *loaded.Model);
    if (!WriteOut(out) || !FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return StatusOf(loaded);
}

}  // namespace

const TSubcommand kInfoCommand{
    "info",
    "[--json] FILE",
    "what the viewer's information panel shows for every LOD",
    "For every LOD of FILE, in file order: its display name and resolution, the\n"
    "counts Vertexes, Unique (distinct points), Faces and Textures, MinPos and\n"
    "MaxPos as stored, the texture names, every selection with its vertex and\n"
    "face counts and its extent (Start, End, L/W/H over its vertices, \"-\" for a\n"
    "selection without vertices), and the named properties as \"name= value\".\n"
    "Then the geometry LOD with its number of masses, and the model's mass as\n"
    "\"Complete Mass: ...\". Names are written with their bytes as stored. When\n"
    "reading stopped part-way, a line \"Failure: LOD n at byte b: cause\" follows\n"
    "the format.\n"
    "\n"
    "--json  prints one JSON object on standard output instead:\n"
    "  {\"file\", \"format\", \"complete\", \"failure\" (only when reading stopped:\n"
    "   {\"lod\": index or null, \"offset\": byte, \"cause\": text}),\n"
    "   \"messages\": [texts], \"lods\": [{\"resolution\", \"name\", \"vertexes\",\n"
    "   \"normals\", \"unique\", \"faces\", \"textures\": [names],\n"
    "   \"min\": [x,y,z], \"max\": [x,y,z], \"selections\": [{\"name\", \"vertexes\",\n"
    "   \"faces\", \"start\": [x,y,z] or null, \"end\": [x,y,z] or null}],\n"
    "   \"properties\": [\"name= value\"]}], \"geometry_lod\": index or null,\n"
    "   \"masses\": count or null, \"mass\", \"offset1\", \"offset2\", \"offset3\"}\n"
    "  When FILE cannot be read at all the object is {\"file\", \"error\": text},\n"
    "  with \"failure\" when a read ran past the end of the file.\n"
    "  Floats are written so that they read back as the same 32-bit float\n"
    "  (null when not finite); texts are bytes taken as Latin-1 and written as\n"
    "  UTF-8 with control characters escaped, but for the names of files and\n"
    "  folders (in \"file\" and the messages), which are UTF-8 already where\n"
    "  they are valid UTF-8.\n",
    RunInfo,
};

}  // namespace p3dtool
