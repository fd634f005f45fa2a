// What p3dtool check finds in a tree, and the three ways it tells it: text
// for people, JSON for scripts, and a catalogue of pictures (HTML) to look
// at.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ModelExport.h"
#include "ReadResult.h"

namespace p3dtool {

struct TCheckedModel {
    enum class TState { Complete, Partial, Failed };
    std::string Path;  // relative to the tree
    std::string Format;
    TState State = TState::Failed;
    std::vector<std::string> Messages;  // the reader's, in order (or the error that ended it)
    vistrel::TReadResult Failure;
    int Lods = 0;
    long FacesFirst = 0, Faces = 0;
    float Mass = 0;
    // The textures it names, each once, as indexes into the report's (a row
    // stays small however many models a run has).
    std::vector<uint32_t> Textures;
    std::string Picture;  // in the catalogue; empty: none
    // The script of its 3D view in the catalogue; empty: none, and why in
    // View3dNote.
    std::string View3d, View3dNote;
};

struct TCheckedTexture {
    std::string Name, File;  // File empty: not found
    bool Outside = false;    // the name reaches outside the texture root: not looked up
    bool Decoded = false;
    int Width = 0, Height = 0;
    std::string Format, Storage, Error;
    std::vector<std::size_t> Models;  // the models that need it
};

struct TCheckReport {
    std::string Tree;
    std::vector<TCheckedModel> Models;
    std::vector<TCheckedTexture> Textures;
    std::vector<std::pair<std::string, std::string>> Unreadable;   // folder (relative to the tree), reason
    std::vector<std::pair<std::string, std::string>> BrokenLinks;  // "*.p3d" link (relative), reason

    bool Clean() const;
};

// The summary, then the problems worst first.
std::string ReportText(const TCheckReport& report);
// One JSON document of all of it; "picture" of each model when withPictures,
// "view3d" (and "view3d_note") when with3d.
std::string ReportJson(const TCheckReport& report, bool withPictures, bool with3d = false);
// The model's own problems, one line each (its "problems" in the JSON, for
// its card and its filter).
std::vector<std::string> ModelProblems(const TCheckReport& report, const TCheckedModel& model);

// Writes the bytes to path under a temporary name, renamed when complete.
bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error);

// The catalogue, made in a folder beside its place and put there by Finish;
// the previous one stays until then (and when anything fails): the page
// (index.html, catalogue.css, catalogue.js, built into the program from
// tools/catalogue/), its data (report.js: the JSON document), the pictures
// and, with3d, a script per model holding LOD 0 as .glb and three.js, copied
// from threeDir (Debian's libjs-three).
class TCatalogue {
public:
    TCatalogue(std::string dir, bool with3d = false, std::string threeDir = {});
    ~TCatalogue();
    TCatalogue(const TCatalogue&) = delete;
    TCatalogue& operator=(const TCatalogue&) = delete;

    bool Ok() const { return !staging_.empty(); }
    const std::string& Error() const { return error_; }
    // Writes the picture (RGBA, side x side) of the report's model number
    // index; its name in the catalogue, made of the number, never from the
    // model; empty when it failed. Safe from several threads.
    std::string AddPicture(std::size_t index, const std::vector<uint8_t>& rgba, int side);
    // Exports LOD 0 of model number index (read from modelFile) as .glb and
    // writes the script of its 3D view; its name in the catalogue, or empty
    // with the reason in note. Safe from several threads.
    std::string AddModel3d(std::size_t index, const vistrel::TP3dModell& model, const std::string& modelFile,
                           const vistrel::TExportOptions& options, std::string& note);
    bool Finish(const TCheckReport& report, std::string& error);

private:
    std::string dir_, staging_, error_;
    bool with3d_ = false;
};

}  // namespace p3dtool
