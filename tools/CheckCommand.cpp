// p3dtool check: every model of a folder tree read, its textures looked up
// as the window looks them up and decoded (each file once for the run), a
// summary and the problems worst first for people, all of it as JSON for
// scripts, and with --html a catalogue of pictures to look at.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <unistd.h>

#include "CheckReport.h"
#include "DataDirOption.h"
#include "JsonText.h"
#include "ModelExport.h"
#include "Subcommands.h"
#include "TextureData.h"
#include "TextureLookup.h"
#include "TreeWalk.h"

#ifdef VISTREL_HEADLESS
#include "Headless.h"
#include "Picture.h"
#endif

#include <CLI/CLI.hpp>

namespace fs = std::filesystem;

namespace p3dtool {
namespace {

constexpr int kPictureSide = 128;

struct TCheckOptions {
    std::string Tree, DataDir, Json, Html;
    bool View3d = false;
    unsigned Jobs = 0;
};

// A texture file as the decoder sees it; decoded once for the run.
struct TTextureFile {
    bool Decoded = false;
    int Width = 0, Height = 0;
    std::string Format, Storage, Error;
};

// The run's texture lookups and decoded files, shared by the workers: a
// second asker of a file waits for the first one's answer.
class TTextureBook {
public:
    explicit TTextureBook(std::string dataDir) : dataDir_(std::move(dataDir)) {}

    std::string Find(const std::string& model, const std::string& name) {
        const std::vector<std::string> roots = vistrel::TextureRoots(dataDir_, model);
        std::string key;
        for (const std::string& root : roots) key += root + '\n';
        key += '\0' + name;
        {
            const std::lock_guard lock(mutex_);
            if (const auto it = found_.find(key); it != found_.end()) return it->second;
        }
        std::string file = vistrel::FindTextureFile(roots, name, &listings_).value_or(std::string());
        const std::lock_guard lock(mutex_);
        return found_.emplace(key, file).first->second;
    }

    std::shared_ptr<const TTextureFile> File(const std::string& file) {
        std::promise<std::shared_ptr<const TTextureFile>> promise;
        {
            std::unique_lock lock(mutex_);
            if (const auto it = files_.find(file); it != files_.end()) {
                auto pending = it->second;
                lock.unlock();
                return pending.get();
            }
            files_.emplace(file, promise.get_future().share());
        }
        auto info = std::make_shared<TTextureFile>();
        try {
            const std::optional<vistrel::TextureImage> image = vistrel::DecodeTextureFile(file, &info->Error);
            if (image) {
                info->Decoded = true;
                info->Width = image->width;
                info->Height = image->height;
                info->Format = image->format;
                info->Storage = image->storage;
            }
        } catch (const std::exception& e) {
            info->Error = e.what();
        }
        promise.set_value(info);
        return info;
    }

    // The run's index of a texture name and the file it stands for.
    uint32_t Intern(const std::string& name, const std::string& file) {
        const std::lock_guard lock(mutex_);
        const auto [it, added] = ids_.emplace(std::make_pair(name, file), static_cast<uint32_t>(ids_.size()));
        return it->second;
    }
    // The textures by name (then file), each with its file's facts; at
    // renumbered[index] for the index Intern gave.
    std::vector<TCheckedTexture> Table(std::vector<uint32_t>& renumbered) {
        std::vector<TCheckedTexture> table(ids_.size());
        renumbered.assign(ids_.size(), 0);
        uint32_t next = 0;
        for (const auto& [key, id] : ids_) {
            renumbered[id] = next;
            TCheckedTexture& t = table[next++];
            t.Name = key.first;
            t.File = key.second;
            t.Outside = vistrel::OutsideTextureRoot(t.Name);
            if (t.File.empty()) continue;
            const auto info = File(t.File);
            t.Decoded = info->Decoded;
            t.Width = info->Width;
            t.Height = info->Height;
            t.Format = info->Format;
            t.Storage = info->Storage;
            t.Error = info->Error;
        }
        return table;
    }

    // Every folder the run's lookups pass through, listed once.
    vistrel::TFolderListings& Listings() { return listings_; }

private:
    std::map<std::pair<std::string, std::string>, uint32_t> ids_;
    std::string dataDir_;
    vistrel::TFolderListings listings_;
    std::mutex mutex_;
    std::map<std::string, std::string> found_;
    std::map<std::string, std::shared_future<std::shared_ptr<const TTextureFile>>> files_;
};

std::string ModelFormat(const vistrel::TP3dModell& model) {
    switch (model.FileFormat()) {
    case vistrel::TP3dModell::Format::Binarized: return "binarized";
    case vistrel::TP3dModell::Format::Editable: return "editable";
    default: return "unknown";
    }
}

// One model's row; nothing of the model is kept once it is made.
TCheckedModel CheckModel(const fs::path& file, const std::string& relative, TTextureBook& book,
                         const std::function<void(const vistrel::TP3dModell&, TCheckedModel&)>& picture) {
    TCheckedModel row;
    row.Path = relative;
    auto messages = std::make_shared<std::vector<std::string>>();
    std::unique_ptr<vistrel::TP3dModell> model;
    try {
        model = std::make_unique<vistrel::TP3dModell>(
            file.string(), vistrel::TLogEvent{}, [messages](const std::string& text) { messages->push_back(text); });
    } catch (const vistrel::EReadError& e) {
        row.State = TCheckedModel::TState::Failed;
        row.Messages = {e.what()};
        row.Failure = {vistrel::TReadStatus::ShortRead, e.Offset, e.Cause.empty() ? "the file ends early" : e.Cause};
        return row;
    } catch (const std::exception& e) {
        row.State = TCheckedModel::TState::Failed;
        row.Messages = {e.what()};
        return row;
    }
    row.Messages = *messages;
    row.Format = ModelFormat(*model);
    row.Failure = model->Failure();
    row.State = model->FileFormat() == vistrel::TP3dModell::Format::Unknown ? TCheckedModel::TState::Failed
                : model->Complete()                                         ? TCheckedModel::TState::Complete
                                                                            : TCheckedModel::TState::Partial;
    row.Lods = model->LODs.Count();
    row.Mass = model->Mass;
    std::set<std::string> names;
    for (const vistrel::TP3dLOD* lod : model->LODs) {
        if (lod == model->LODs[0]) row.FacesFirst = lod->Polygons.Count();
        row.Faces += lod->Polygons.Count();
        for (const std::string& name : lod->Textures) {
            if (name.empty() || !names.insert(name).second) continue;
            const std::string found = book.Find(file.string(), name);
            if (!found.empty()) book.File(found);  // decoded now, once for the run
            row.Textures.push_back(book.Intern(name, found));
        }
    }
    if (picture) picture(*model, row);
    return row;
}

// Progress on standard error: one line updated in place on a terminal, a
// line every few hundred files otherwise.
class TProgress {
public:
    explicit TProgress(std::size_t total) : total_(total), terminal_(::isatty(2) != 0) {}
    void Done(std::size_t done, const std::string& current) {
        const std::lock_guard lock(mutex_);
        if (terminal_) {
            std::string line = "\r\x1b[K[" + std::to_string(done) + "/" + std::to_string(total_) + "] " + current;
            WriteErr(line);
        } else if (done % 250 == 0 || done == total_) {
            WriteErr("checked " + std::to_string(done) + " of " + std::to_string(total_) + " models\n");
        }
    }
    void End() {
        if (terminal_ && total_ > 0) WriteErr("\r\x1b[K");
    }

private:
    std::size_t total_;
    bool terminal_;
    std::mutex mutex_;
};

bool ParseCheckArgs(const TArgs& args, TCheckOptions& options, std::string& error) {
    CLI::App app;
    app.add_option("--data", options.DataDir);
    app.add_option("--json", options.Json);
    app.add_option("--html", options.Html);
    app.add_flag("--3d", options.View3d);
    std::string jobs;
    CLI::Option* jobsOption = app.add_option("-j,--jobs", jobs);
    std::vector<std::string> operands;
    if (!ParseArgs(app, args, operands, error)) return false;
    if (jobsOption->count() > 0) {
        char* end = nullptr;
        const long n = std::strtol(jobs.c_str(), &end, 10);
        if (jobs.empty() || *end != '\0' || n < 1 || n > 1024) {
            error = "-j expects a number of workers from 1 to 1024";
            return false;
        }
        options.Jobs = static_cast<unsigned>(n);
    }
    if (operands.size() != 1 || operands[0].empty()) {
        error = "expects one TREE";
        return false;
    }
    options.Tree = operands[0];
    if (options.View3d && options.Html.empty()) {
        error = "--3d needs --html DIR";
        return false;
    }
    return true;
}

int RunCheck(const TArgs& args) {
    TCheckOptions options;
    std::string error;
    if (!ParseCheckArgs(args, options, error)) return UsageError(kCheckCommand, error);
    if (const std::string problem = vistrel::DataDirProblem(options.DataDir); !problem.empty())
        return UsageError(kCheckCommand, problem);
    std::error_code ec;
    if (!fs::is_directory(options.Tree, ec)) return UsageError(kCheckCommand, options.Tree + " is not a folder");
    TCheckReport report;
    report.Tree = options.Tree;
    TModelTree tree = WalkModelTree(options.Tree);
    if (!tree.RootError.empty()) {
        ReportError("cannot read " + options.Tree + ": " + tree.RootError);
        return kExitFailure;
    }
    for (TTreeProblem& p : tree.Unreadable) report.Unreadable.emplace_back(std::move(p.Path), std::move(p.Reason));
    for (TTreeProblem& p : tree.BrokenLinks) report.BrokenLinks.emplace_back(std::move(p.Path), std::move(p.Reason));
    const std::vector<fs::path>& files = tree.Files;

    std::unique_ptr<TCatalogue> catalogue;
    if (!options.Html.empty()) {
#ifdef VISTREL_HEADLESS
        catalogue = std::make_unique<TCatalogue>(options.Html, options.View3d, VISTREL_THREE_DIR);
        if (!catalogue->Ok()) {
            ReportError(catalogue->Error());
            return kExitFailure;
        }
#else
        ReportError("--html needs the pictures of a build with EGL");
        return kExitFailure;
#endif
    }

    TTextureBook book(options.DataDir);
    // the textures of the 3D views, each file encoded once for the run
    std::unique_ptr<vistrel::TExportTextureCache> exportTextures;
    vistrel::TExportOptions exportOptions;
    if (options.View3d) {
        exportTextures = std::make_unique<vistrel::TExportTextureCache>(std::size_t{128} << 20);
        exportOptions.DataDir = options.DataDir;
        exportOptions.Textures = exportTextures.get();
    }
    report.Models.resize(files.size());
    const unsigned jobs = options.Jobs ? options.Jobs : std::max(1u, std::thread::hardware_concurrency());
    std::atomic<std::size_t> next{0}, done{0};
    TProgress progress(files.size());
    auto work = [&] {
        [[maybe_unused]] std::size_t current = 0;  // the model's number: it names its files in the catalogue
#ifdef VISTREL_HEADLESS
        // each worker draws in a context of its own, and exports the 3D views
        std::unique_ptr<vistrel::THeadlessContext> context;
        std::function<void(const vistrel::TP3dModell&, TCheckedModel&)> picture;
        if (catalogue)
            picture = [&](const vistrel::TP3dModell& model, TCheckedModel& row) {
                if (const vistrel::TP3dLOD* lod = vistrel::FinestLod(model)) {
                    if (!context) context = std::make_unique<vistrel::THeadlessContext>(kPictureSide, kPictureSide);
                    vistrel::TPictureRequest request = vistrel::ThumbnailRequest(
                        *lod, kPictureSide, vistrel::TextureRoots(options.DataDir, model.FileName));
                    request.Context = [&] { return context.get(); };
                    request.Listings = &book.Listings();
                    const vistrel::TPicture shot = vistrel::RenderPicture(request);
                    if (shot.Ok) row.Picture = catalogue->AddPicture(current, shot.Rgba, kPictureSide);
                }
                if (!options.View3d) return;
                if (row.State == TCheckedModel::TState::Complete)
                    row.View3d = catalogue->AddModel3d(current, model, model.FileName, exportOptions, row.View3dNote);
                else
                    row.View3dNote = "not read completely";
            };
#else
        std::function<void(const vistrel::TP3dModell&, TCheckedModel&)> picture;
#endif
        for (std::size_t k; (k = next.fetch_add(1)) < files.size();) {
            current = k;
            const std::string relative = files[k].lexically_relative(options.Tree).string();
            try {
                report.Models[k] = CheckModel(files[k], relative, book, picture);
            } catch (const std::exception& e) {  // out of memory: the model fails, the run goes on
                report.Models[k].Path = relative;
                report.Models[k].State = TCheckedModel::TState::Failed;
                report.Models[k].Messages = {e.what()};
            }
            progress.Done(done.fetch_add(1) + 1, relative);
        }
    };
    {
        std::vector<std::thread> workers;
        for (unsigned j = 1; j < std::min<std::size_t>(jobs, files.size()); ++j) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error&) {
                break;
            }
        }
        work();
        for (std::thread& t : workers) t.join();
    }
    progress.End();

    // Per texture name (and the file it stands for): who needs it.
    std::vector<uint32_t> renumbered;
    report.Textures = book.Table(renumbered);  // the same order however the workers met them
    for (std::size_t m = 0; m < report.Models.size(); ++m)
        for (uint32_t& id : report.Models[m].Textures) {
            id = renumbered[id];
            report.Textures[id].Models.push_back(m);
        }

    const std::string text = ReportText(report);
    if (!options.Json.empty()) {
        const std::string json = ReportJson(report, catalogue != nullptr, options.View3d);
        if (options.Json == "-") {
            WriteOut(json);
        } else if (!WriteWholeFile(options.Json, json, error)) {
            ReportError(error);
            return kExitFailure;
        }
    }
    if (options.Json != "-") WriteOut(text);
    if (catalogue && !catalogue->Finish(report, error)) {
        ReportError(error);
        return kExitFailure;
    }
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return report.Clean() ? kExitComplete : kExitIncomplete;
}

}  // namespace

const TSubcommand kCheckCommand{
    "check",
    "TREE [--data DIR] [--json FILE|-] [--html DIR [--3d]] [-j N]",
    "checks every model of a folder tree and the textures they name",
    "Reads every \"*.p3d\" under TREE (binarized and editable; links to files\n"
    "are followed, links to folders are not) and looks up the textures each one\n"
    "names as the viewer does: under --data DIR, else beside the model and in\n"
    "the folders above it; a name that reaches outside that root (a \"..\"\n"
    "part, a leading \"\\\" or \"/\", a drive letter) is not looked up. Each\n"
    "texture file is decoded once for the whole run, each folder listed once.\n"
    "Prints a short summary (models complete, partial, failed; textures found,\n"
    "missing, undecodable, outside the texture root), then the problems, worst\n"
    "first: failed and partial models with where reading stopped, folders that\n"
    "could not be read (or lie more than 256 deep), \"*.p3d\" links that lead\n"
    "nowhere (to themselves, a loop or nothing), textures that do not decode,\n"
    "textures outside the texture root and textures not found, with the models\n"
    "that need them. Paths are relative to TREE.\n"
    "\n"
    "--json FILE writes all of it as one JSON document (\"-\": on standard\n"
    "output instead of the text), texts as UTF-8 as in info --json; its\n"
    "\"unreadable\" and \"broken_links\" list the folders and links, with\n"
    "their counts in \"summary\".\n"
    "--html DIR writes a catalogue to open in a browser: DIR/index.html with a\n"
    "card per model (its picture, drawn as the thumbnailer draws it, its LODs,\n"
    "faces, mass and problems), the missing textures by how many models need\n"
    "them, and a filter box; the pictures in DIR/pictures/. It is written\n"
    "beside DIR and put in its place at the end, so a broken run leaves the\n"
    "previous catalogue as it was; DIR must be absent, empty or a catalogue.\n"
    "Its data is the document of --json (DIR/report.js). --3d also exports\n"
    "LOD 0 of each model read completely as .glb (with the textures found)\n"
    "into DIR/models/ and gives its card a \"3D\" view that turns the model\n"
    "with the mouse, drawn by three.js (Debian's libjs-three, copied into\n"
    "DIR/three/).\n"
    "-j N workers (default: one per core). Progress goes to standard error.\n"
    "\n"
    "Exit status: 0 nothing is wrong; 1 a model, a texture, a folder or a link\n"
    "has a problem; 2 wrong arguments, or TREE (or an output) cannot be read or\n"
    "written.\n",
    RunCheck,
};

}  // namespace p3dtool
