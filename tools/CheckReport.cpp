#include "CheckReport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <stdlib.h>
#include <sys/stat.h>

#include <openssl/evp.h>

#include "AtomicFile.h"
#include "CatalogueFiles.h"
#include "JsonText.h"
#include "PngFile.h"

namespace fs = std::filesystem;

namespace p3dtool {

namespace {

using TState = TCheckedModel::TState;

const char* StateName(TState state) {
    switch (state) {
    case TState::Complete: return "complete";
    case TState::Partial: return "partial";
    case TState::Failed: break;
    }
    return "failed";
}

std::string FailureText(const vistrel::TReadResult& failure) {
    if (failure.Ok()) return {};
    std::string line = failure.Lod >= 0 ? "LOD " + std::to_string(failure.Lod) + " at byte " : "at byte ";
    return line + std::to_string(failure.Offset) + ": " + failure.Cause;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += "; ";
        for (const char c : line) text += c == '\n' ? ' ' : c;
    }
    return text;
}

// Why a model is not complete: the reader's messages, then where it stopped.
std::string ModelReason(const TCheckedModel& model) {
    std::string reason = Joined(model.Messages);
    const std::string where = FailureText(model.Failure);
    if (!where.empty()) reason += (reason.empty() ? "" : " (") + where + (reason.empty() ? "" : ")");
    return reason;
}

std::string ModelList(const TCheckReport& report, const std::vector<std::size_t>& models) {
    constexpr std::size_t kShown = 5;
    std::string text;
    for (std::size_t k = 0; k < models.size() && k < kShown; ++k)
        text += (k ? ", " : "") + report.Models[models[k]].Path;
    if (models.size() > kShown) text += " and " + std::to_string(models.size() - kShown) + " more";
    return text;
}

std::string Needed(const TCheckReport& report, const TCheckedTexture& texture) {
    return "needed by " + std::to_string(texture.Models.size()) +
           (texture.Models.size() == 1 ? " model: " : " models: ") + ModelList(report, texture.Models);
}

// The missing textures (or with outside, those outside the texture root),
// those needed by most models first.
std::vector<const TCheckedTexture*> MissingTextures(const TCheckReport& report, bool outside = false) {
    std::vector<const TCheckedTexture*> missing;
    for (const TCheckedTexture& t : report.Textures)
        if (t.File.empty() && t.Outside == outside) missing.push_back(&t);
    std::stable_sort(missing.begin(), missing.end(), [](const TCheckedTexture* a, const TCheckedTexture* b) {
        return a->Models.size() != b->Models.size() ? a->Models.size() > b->Models.size() : a->Name < b->Name;
    });
    return missing;
}

// A texture's state in the JSON.
const char* TextureStatus(const TCheckedTexture& t) {
    return t.Outside ? "outside" : t.File.empty() ? "missing" : t.Decoded ? "found" : "undecodable";
}

// How many textures are in each state, in the order found, missing, outside,
// undecodable.
std::array<std::size_t, 4> TextureCounts(const TCheckReport& report) {
    std::array<std::size_t, 4> counts{};
    for (const TCheckedTexture& t : report.Textures) ++counts[t.Outside ? 2 : t.File.empty() ? 1 : t.Decoded ? 0 : 3];
    return counts;
}

}  // namespace

bool TCheckReport::Clean() const {
    if (!Unreadable.empty() || !BrokenLinks.empty()) return false;
    for (const TCheckedModel& m : Models)
        if (m.State != TState::Complete) return false;
    for (const TCheckedTexture& t : Textures)
        if (t.File.empty() || !t.Decoded) return false;
    return true;
}

std::vector<std::string> ModelProblems(const TCheckReport& report, const TCheckedModel& model) {
    std::vector<std::string> problems;
    if (model.State != TState::Complete)
        problems.push_back(std::string(StateName(model.State)) + ": " + ModelReason(model));
    for (const uint32_t id : model.Textures)
        if (const TCheckedTexture& t = report.Textures[id]; !t.File.empty() && !t.Decoded)
            problems.push_back("undecodable texture " + t.Name + ": " + t.Error);
    for (const uint32_t id : model.Textures)
        if (report.Textures[id].Outside)
            problems.push_back("texture outside the texture root: " + report.Textures[id].Name);
    for (const uint32_t id : model.Textures)
        if (const TCheckedTexture& t = report.Textures[id]; t.File.empty() && !t.Outside)
            problems.push_back("missing texture " + t.Name);
    return problems;
}

std::string ReportText(const TCheckReport& report) {
    std::size_t complete = 0, partial = 0, failed = 0;
    for (const TCheckedModel& m : report.Models)
        (m.State == TState::Complete ? complete : m.State == TState::Partial ? partial : failed)++;
    const auto [found, missing, outside, undecodable] = TextureCounts(report);
    std::string text = report.Tree + ": " + std::to_string(report.Models.size()) + " models, " +
                       std::to_string(complete) + " complete, " + std::to_string(partial) + " partial, " +
                       std::to_string(failed) + " failed\n";
    text += "textures: " + std::to_string(report.Textures.size()) + " named, " + std::to_string(found) + " found, " +
            std::to_string(missing) + " missing, " + std::to_string(undecodable) + " undecodable" +
            (outside ? ", " + std::to_string(outside) + " outside the texture root\n" : "\n");
    std::vector<std::string> problems;
    for (const TState state : {TState::Failed, TState::Partial})
        for (const TCheckedModel& m : report.Models)
            if (m.State == state)
                problems.push_back(std::string(StateName(state)) + ": " + m.Path + ": " + ModelReason(m));
    for (const auto& [folder, reason] : report.Unreadable)
        problems.push_back("unreadable folder: " + folder + ": " + reason);
    for (const auto& [link, reason] : report.BrokenLinks) problems.push_back("broken link: " + link + ": " + reason);
    for (const TCheckedTexture& t : report.Textures)
        if (!t.File.empty() && !t.Decoded)
            problems.push_back("undecodable: " + t.Name + " (" + t.File + "): " + t.Error + "; " + Needed(report, t));
    for (const TCheckedTexture* t : MissingTextures(report, true))
        problems.push_back("outside the texture root: " + t->Name + ": " + Needed(report, *t));
    for (const TCheckedTexture* t : MissingTextures(report))
        problems.push_back("missing: " + t->Name + ": " + Needed(report, *t));
    if (problems.empty()) return text + "\nno problems\n";
    text += "\nproblems, worst first:\n";
    for (const std::string& line : problems) text += "  " + line + "\n";
    return text;
}

std::string ReportJson(const TCheckReport& report, bool withPictures, bool with3d) {
    std::size_t counts[3] = {0, 0, 0};
    for (const TCheckedModel& m : report.Models) ++counts[static_cast<int>(m.State)];
    const auto [found, missing, outside, undecodable] = TextureCounts(report);
    std::string out = "{\"tree\":";
    AppendJsonPath(out, report.Tree);
    out += ",\"summary\":{\"models\":" + std::to_string(report.Models.size()) +
           ",\"complete\":" + std::to_string(counts[0]) + ",\"partial\":" + std::to_string(counts[1]) +
           ",\"failed\":" + std::to_string(counts[2]) + ",\"textures\":" + std::to_string(report.Textures.size()) +
           ",\"found\":" + std::to_string(found) + ",\"missing\":" + std::to_string(missing) +
           ",\"outside\":" + std::to_string(outside) + ",\"undecodable\":" + std::to_string(undecodable) +
           ",\"broken_links\":" + std::to_string(report.BrokenLinks.size()) +
           ",\"unreadable\":" + std::to_string(report.Unreadable.size()) + "},\"models\":[";
    for (std::size_t k = 0; k < report.Models.size(); ++k) {
        const TCheckedModel& m = report.Models[k];
        out += k ? ",{\"path\":" : "{\"path\":";
        AppendJsonPath(out, m.Path);
        out += ",\"format\":";
        AppendJsonText(out, m.Format.empty() ? "none" : m.Format);
        out += ",\"status\":";
        AppendJsonText(out, StateName(m.State));
        out += ",\"messages\":[";
        for (std::size_t i = 0; i < m.Messages.size(); ++i) {
            if (i) out += ',';
            AppendJsonPath(out, m.Messages[i]);
        }
        out += ']';
        if (!m.Failure.Ok()) {
            out += ",\"failure\":{\"lod\":";
            if (m.Failure.Lod >= 0)
                AppendJsonInt(out, m.Failure.Lod);
            else
                out += "null";
            out += ",\"offset\":";
            AppendJsonInt(out, static_cast<long long>(m.Failure.Offset));
            out += ",\"cause\":";
            AppendJsonText(out, m.Failure.Cause);
            out += '}';
        }
        out += ",\"lods\":" + std::to_string(m.Lods) + ",\"faces_lod0\":" + std::to_string(m.FacesFirst) +
               ",\"faces\":" + std::to_string(m.Faces) + ",\"mass\":";
        AppendJsonFloat(out, m.Mass);
        const auto list = [&out](const char* key, const std::vector<std::string>& names) {
            out += ",\"";
            out += key;
            out += "\":[";
            for (std::size_t i = 0; i < names.size(); ++i) {
                if (i) out += ',';
                AppendJsonText(out, names[i]);
            }
            out += ']';
        };
        std::vector<std::string> names, missingNames, outsideNames;
        std::vector<const TCheckedTexture*> bad;
        for (const uint32_t id : m.Textures) {
            const TCheckedTexture& t = report.Textures[id];
            names.push_back(t.Name);
            if (t.Outside)
                outsideNames.push_back(t.Name);
            else if (t.File.empty())
                missingNames.push_back(t.Name);
            else if (!t.Decoded)
                bad.push_back(&t);
        }
        list("textures", names);
        list("missing", missingNames);
        list("outside", outsideNames);
        out += ",\"undecodable\":[";
        for (std::size_t i = 0; i < bad.size(); ++i) {
            out += i ? ",{\"name\":" : "{\"name\":";
            AppendJsonText(out, bad[i]->Name);
            out += ",\"reason\":";
            AppendJsonPath(out, bad[i]->Error);
            out += '}';
        }
        out += ']';
        list("problems", ModelProblems(report, m));
        if (withPictures) {
            out += ",\"picture\":";
            if (m.Picture.empty())
                out += "null";
            else
                AppendJsonPath(out, m.Picture);
        }
        if (with3d) {
            out += ",\"view3d\":";
            if (m.View3d.empty())
                out += "null";
            else
                AppendJsonText(out, m.View3d);
            if (!m.View3dNote.empty()) {
                out += ",\"view3d_note\":";
                AppendJsonText(out, m.View3dNote);
            }
        }
        out += '}';
    }
    out += "],\"textures\":[";
    for (std::size_t k = 0; k < report.Textures.size(); ++k) {
        const TCheckedTexture& t = report.Textures[k];
        out += k ? ",{\"name\":" : "{\"name\":";
        AppendJsonText(out, t.Name);
        out += ",\"file\":";
        if (t.File.empty())
            out += "null";
        else
            AppendJsonPath(out, t.File);
        out += ",\"status\":";
        AppendJsonText(out, TextureStatus(t));
        out += ",\"models\":" + std::to_string(t.Models.size());
        if (t.Decoded) {
            out += ",\"width\":" + std::to_string(t.Width) + ",\"height\":" + std::to_string(t.Height) + ",\"format\":";
            AppendJsonText(out, t.Format);
            out += ",\"storage\":";
            AppendJsonText(out, t.Storage);
        } else if (!t.File.empty()) {
            out += ",\"reason\":";
            AppendJsonPath(out, t.Error);
        }
        out += '}';
    }
    const auto problems = [&out](const char* list, const char* key,
                                 const std::vector<std::pair<std::string, std::string>>& items) {
        out += "],\"";
        out += list;
        out += "\":[";
        for (std::size_t k = 0; k < items.size(); ++k) {
            out += k ? ",{\"" : "{\"";
            out += key;
            out += "\":";
            AppendJsonPath(out, items[k].first);
            out += ",\"reason\":";
            AppendJsonPath(out, items[k].second);
            out += '}';
        }
    };
    problems("unreadable", "folder", report.Unreadable);
    problems("broken_links", "path", report.BrokenLinks);
    return out + "]}\n";
}

bool WriteWholeFile(const std::string& path, const std::string& bytes, std::string& error) {
    vistrel::TAtomicFile file(path);
    if (!file.Ok() || !file.Stream() || std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size() ||
        !file.Commit()) {
        error = "cannot write " + path + ": " + (file.Error().empty() ? std::strerror(errno) : file.Error());
        return false;
    }
    return true;
}

// ------------------------------------------------------------ the catalogue

namespace {

constexpr const char* kMarker = ".vistrel-catalogue";

bool IsCatalogueOrEmpty(const fs::path& dir) {
    std::error_code ec;
    if (!fs::exists(dir, ec)) return true;
    if (!fs::is_directory(dir, ec)) return false;
    return fs::is_empty(dir, ec) || fs::exists(dir / kMarker, ec);
}

// The .glb as base64 (OpenSSL's encoder), in the script that hands it to the
// page: vistrelModel("ID", "...");
std::string ModelScript(const std::string& id, const std::string& glb) {
    constexpr std::size_t kChunk = 3 << 20;  // whole groups of 3 bytes, well within an int
    std::string out = "vistrelModel(\"" + id + "\",\"";
    const std::size_t head = out.size();
    out.resize(head + 4 * ((glb.size() + 2) / 3) + 1);
    auto* to = reinterpret_cast<unsigned char*>(out.data() + head);
    for (std::size_t at = 0; at < glb.size(); at += kChunk)
        to += EVP_EncodeBlock(to, reinterpret_cast<const unsigned char*>(glb.data()) + at,
                              static_cast<int>(std::min(kChunk, glb.size() - at)));
    out.resize(out.size() - 1);  // the encoder's closing NUL
    return out + "\");\n";
}

bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    bool ok = file != nullptr;
    if (ok) {
        char buffer[1 << 16];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
        ok = !std::ferror(file);
    }
    if (!ok) error = "cannot read " + path + ": " + std::strerror(errno);
    if (file) std::fclose(file);
    return ok;
}

// The files of three.js the 3D view loads, in libjs-three's folder and in the
// catalogue's three/.
constexpr std::pair<const char*, const char*> kThreeFiles[] = {
    {"three.min.js", "three.min.js"},
    {"examples/js/loaders/GLTFLoader.js", "GLTFLoader.js"},
    {"examples/js/controls/OrbitControls.js", "OrbitControls.js"},
};

bool CopyThree(const std::string& from, const std::string& to, std::string& error) {
    for (const auto& [source, target] : kThreeFiles) {
        std::string bytes;
        if (!ReadWholeFile(from + "/" + source, bytes, error)) {
            error = "--3d needs three.js (Debian's libjs-three): " + error;
            return false;
        }
        if (!WriteWholeFile(to + "/" + target, bytes, error)) return false;
    }
    return true;
}

}  // namespace

TCatalogue::TCatalogue(std::string dir, bool with3d, std::string threeDir) : dir_(std::move(dir)), with3d_(with3d) {
    while (dir_.size() > 1 && dir_.back() == '/') dir_.pop_back();
    if (!IsCatalogueOrEmpty(dir_)) {
        error_ = "--html " + dir_ + ": the folder exists and is not a catalogue (no " + kMarker + " in it)";
        return;
    }
    std::string pattern = dir_ + ".tmp-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        error_ = "cannot write " + dir_ + ": " + std::strerror(errno);
        return;
    }
    // mkdtemp makes the folder the owner's alone; the catalogue is a folder
    // like any other (readable by a web server), as the user's umask says
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(pattern.c_str(), 0777 & ~mask);
    std::error_code ec;
    fs::create_directory(fs::path(pattern) / "pictures", ec);
    if (!ec && with3d) fs::create_directory(fs::path(pattern) / "models", ec);
    if (!ec && with3d) fs::create_directory(fs::path(pattern) / "three", ec);
    if (ec) {
        error_ = "cannot write " + dir_ + ": " + ec.message();
        fs::remove_all(pattern, ec);
        return;
    }
    if (with3d && !CopyThree(threeDir, pattern + "/three", error_)) {
        fs::remove_all(pattern, ec);
        return;
    }
    staging_ = pattern;
}

TCatalogue::~TCatalogue() {
    std::error_code ec;
    if (!staging_.empty()) fs::remove_all(staging_, ec);
}

std::string TCatalogue::AddPicture(std::size_t index, const std::vector<uint8_t>& rgba, int side) {
    char name[48];
    std::snprintf(name, sizeof name, "pictures/m%06zu.png", index + 1);
    std::string error;
    if (!vistrel::WritePng(staging_ + "/" + name, side, side, rgba.data(), true, error)) return {};
    return name;
}

std::string TCatalogue::AddModel3d(std::size_t index, const vistrel::TP3dModell& model, const std::string& modelFile,
                                   const vistrel::TExportOptions& options, std::string& note) {
    char id[32];
    std::snprintf(id, sizeof id, "m%06zu", index + 1);
    const std::string name = "models/" + std::string(id) + ".js", glbFile = staging_ + "/models/" + id + ".glb";
    static const std::vector<vistrel::TExportFormat> formats = vistrel::ExportFormats();
    const vistrel::TExportFormat* glb = vistrel::FindExportFormat(formats, "glb2", {});
    vistrel::TExportOptions lod0 = options;
    lod0.Lod = 0;
    lod0.AllLods = false;
    std::string error;
    bool ok = false;
    try {
        const vistrel::TExportResult result = vistrel::ExportModel(model, modelFile, glbFile, *glb, lod0);
        std::string bytes;
        error = result.Error;
        ok = result.Ok && ReadWholeFile(glbFile, bytes, error) &&
             WriteWholeFile(staging_ + "/" + name, ModelScript(id, bytes), error);
    } catch (const std::exception& e) {  // out of memory: no view, the model's row stays
        error = e.what();
    }
    std::error_code ec;
    fs::remove(glbFile, ec);
    if (!ok) note = error;
    return ok ? name : std::string();
}

bool TCatalogue::Finish(const TCheckReport& report, std::string& error) {
    for (const TCatalogueFile& file : CatalogueFiles())
        if (!WriteWholeFile(staging_ + "/" + std::string(file.Name), std::string(file.Bytes), error)) return false;
    if (!WriteWholeFile(staging_ + "/report.js", "vistrelReport(" + ReportJson(report, true, with3d_) + ");\n",
                        error) ||
        !WriteWholeFile(staging_ + "/" + kMarker, "made by p3dtool check\n", error))
        return false;
    // The previous catalogue makes room only now, and goes once the new one
    // is in its place.
    std::error_code ec;
    const std::string old = staging_ + ".old";
    const bool hadOne = fs::exists(dir_, ec);
    if (hadOne) fs::rename(dir_, old, ec);
    if (!ec) fs::rename(staging_, dir_, ec);
    if (ec) {
        error = "cannot write " + dir_ + ": " + ec.message();
        std::error_code back;
        if (hadOne && !fs::exists(dir_, back)) fs::rename(old, dir_, back);
        return false;
    }
    staging_.clear();
    if (hadOne) fs::remove_all(old, ec);
    return true;
}

}  // namespace p3dtool
