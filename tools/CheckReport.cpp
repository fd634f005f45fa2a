#include "CheckReport.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <stdlib.h>

#include "AtomicFile.h"
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

// Text for the page: bytes as Latin-1 made UTF-8 (as in the JSON), control
// characters as blanks, the markup's own characters escaped.
std::string HtmlText(const std::string& latin1) {
    std::string out;
    out.reserve(latin1.size());
    for (const unsigned char c : latin1) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += ' ';
            } else if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
        }
    }
    return out;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
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

std::string ReportJson(const TCheckReport& report, bool withPictures) {
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
        if (withPictures) {
            out += ",\"picture\":";
            if (m.Picture.empty())
                out += "null";
            else
                AppendJsonPath(out, m.Picture);
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

}  // namespace

TCatalogue::TCatalogue(std::string dir) : dir_(std::move(dir)) {
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
    std::error_code ec;
    fs::create_directory(fs::path(pattern) / "pictures", ec);
    if (ec) {
        error_ = "cannot write " + dir_ + ": " + ec.message();
        fs::remove_all(pattern, ec);
        return;
    }
    staging_ = pattern;
}

TCatalogue::~TCatalogue() {
    std::error_code ec;
    if (!staging_.empty()) fs::remove_all(staging_, ec);
}

std::string TCatalogue::AddPicture(const std::string&, const std::vector<uint8_t>& rgba, int side) {
    char name[32];
    std::snprintf(name, sizeof name, "pictures/m%06u.png", pictures_.fetch_add(1) + 1);
    std::string error;
    if (!vistrel::WritePng(staging_ + "/" + name, side, side, rgba.data(), true, error)) return {};
    return name;
}

bool TCatalogue::Finish(const TCheckReport& report, std::string& error) {
    if (!WriteWholeFile(staging_ + "/index.html", CatalogueHtml(report), error) ||
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

std::string CatalogueHtml(const TCheckReport& report) {
    std::string cards, rows;
    for (std::size_t k = 0; k < report.Models.size(); ++k) {
        const TCheckedModel& m = report.Models[k];
        const std::vector<std::string> problems = ModelProblems(report, m);
        std::string search = Lower(m.Path);
        for (const std::string& p : problems) search += "\n" + Lower(p);
        cards += "<article class=\"card" + std::string(problems.empty() ? "" : " bad") + "\" id=\"m" +
                 std::to_string(k) + "\" data-search=\"" + HtmlText(search) + "\">";
        cards += m.Picture.empty() ? "<div class=\"nopic\">no picture</div>"
                                   : "<img src=\"" + m.Picture + "\" width=\"128\" height=\"128\" alt=\"\">";
        cards += "<h2>" + HtmlText(m.Path) + "</h2><p class=\"facts\">" + std::to_string(m.Lods) +
                 (m.Lods == 1 ? " LOD &middot; " : " LODs &middot; ") + std::to_string(m.FacesFirst) +
                 " faces in LOD 0, " + std::to_string(m.Faces) + " in all &middot; mass " + ShortFloat(m.Mass) + "</p>";
        if (!problems.empty()) {
            constexpr std::size_t kShown = 6;  // the filter searches them all
            cards += "<ul class=\"problems\">";
            for (std::size_t i = 0; i < problems.size() && i < kShown; ++i)
                cards += "<li>" + HtmlText(problems[i]) + "</li>";
            if (problems.size() > kShown) cards += "<li>and " + std::to_string(problems.size() - kShown) + " more</li>";
            cards += "</ul>";
        }
        cards += "</article>\n";
    }
    for (const TCheckedTexture* t : MissingTextures(report)) {
        rows +=
            "<tr><td>" + HtmlText(t->Name) + "</td><td class=\"n\">" + std::to_string(t->Models.size()) + "</td><td>";
        for (std::size_t i = 0; i < t->Models.size(); ++i)
            rows += std::string(i ? ", " : "") + "<a href=\"#m" + std::to_string(t->Models[i]) + "\">" +
                    HtmlText(report.Models[t->Models[i]].Path) + "</a>";
        rows += "</td></tr>\n";
    }
    const std::string text = ReportText(report);
    std::string summary = HtmlText(text.substr(0, text.find("\n\n")));  // its newline a blank
    summary.insert(summary.find("textures:"), "<br>");
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>Models of " +
           HtmlText(report.Tree) +
           "</title>\n<style>\n"
           "body{font-family:sans-serif;margin:1.5em;background:#f4f6f8;color:#222}\n"
           "h1{font-size:1.3em}#summary{color:#555}\n"
           "#filter{font-size:1em;padding:.3em;width:20em}\n"
           "#cards{display:grid;grid-template-columns:repeat(auto-fill,minmax(15em,1fr));gap:.8em;margin:1em 0}\n"
           ".card{background:#fff;border:1px solid #ccd;border-radius:6px;padding:.6em}\n"
           ".card.bad{border-color:#c33}.card img,.nopic{display:block;margin:auto;background:#dde4ea}\n"
           ".nopic{width:128px;height:128px;line-height:128px;text-align:center;color:#888}\n"
           ".card h2{font-size:.95em;word-break:break-all;margin:.4em 0}.facts{font-size:.85em;color:#555}\n"
           ".problems{font-size:.8em;color:#b22;padding-left:1.2em;word-break:break-all}\n"
           "table{border-collapse:collapse;background:#fff}td,th{border:1px solid #ccd;padding:.3em .5em;"
           "text-align:left;font-size:.9em}td.n{text-align:right}\n"
           "</style></head><body>\n<h1>Models of " +
           HtmlText(report.Tree) + "</h1>\n<p id=\"summary\">" + summary +
           "</p>\n<p><input id=\"filter\" type=\"search\" placeholder=\"filter by name or problem\"> "
           "<span id=\"shown\"></span> shown</p>\n<section id=\"cards\">\n" +
           cards +
           "</section>\n<h2>Missing textures</h2>\n<table id=\"missing\"><tr><th>texture</th><th>models</th>"
           "<th>needed by</th></tr>\n" +
           rows +
           "</table>\n<script>\n"
           "const filter = document.getElementById('filter');\n"
           "function apply() {\n"
           "  const q = filter.value.toLowerCase();\n"
           "  let shown = 0;\n"
           "  for (const card of document.querySelectorAll('.card')) {\n"
           "    card.hidden = q !== '' && !card.dataset.search.includes(q);\n"
           "    if (!card.hidden) shown++;\n"
           "  }\n"
           "  document.getElementById('shown').textContent = shown;\n"
           "}\n"
           "filter.addEventListener('input', apply);\n"
           "const given = decodeURIComponent(location.hash.slice(1));\n"
           "if (given.startsWith('filter=')) filter.value = given.slice(7);\n"
           "apply();\n"
           "</script>\n</body></html>\n";
}

}  // namespace p3dtool
