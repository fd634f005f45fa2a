#include "SceneTextures.h"

#include "TextureLookup.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

namespace vistrel {

namespace {

// Fills a record from the file; the record comes back empty when the file
// does not decode.
TTextureRecord DecodeFile(const std::string& file, int largestSide) {
    TTextureRecord record(new TextureData{0, 0, nullptr});
    CreateTextureDataUpTo(record.get(), file.c_str(), largestSide);
    return record;
}

// Prepares names[k] for every k handed out by next. Each thread owns a copy
// of the roots and writes only the slots it took.
void PrepareShare(std::vector<std::string> roots, const std::vector<std::string>& names,
                  std::vector<TPreparedTexture>& out, std::atomic<std::size_t>& next, int largestSide,
                  TFolderListings* listings) {
    for (std::size_t k = next++; k < names.size(); k = next++)
        out[k] = PrepareTexture(roots, names[k], largestSide, listings);
}

}  // namespace

void TTextureRecordDeleter::operator()(TextureData* record) const {
    DestroyTextureData(record);
    delete record;
}

TPreparedTexture PrepareTexture(const std::vector<std::string>& roots, const std::string& name, int largestSide,
                                TFolderListings* listings) {
    TPreparedTexture prepared;
    if (name.empty()) return prepared;
    prepared.named = true;
    try {
        if (OutsideTextureRoot(name)) {
            prepared.outside = true;
            prepared.shownPath = name;
            return prepared;
        }
        prepared.shownPath = TextureDisplayPath(roots.empty() ? std::string() : roots.front(), name);
        if (std::optional<std::string> file = FindTextureFile(roots, name, listings)) {
            prepared.file = std::move(*file);
            prepared.record = DecodeFile(prepared.file, largestSide);
        }
    } catch (...) {
        prepared.error = std::current_exception();
    }
    return prepared;
}

std::vector<TPreparedTexture> PrepareTextures(const std::vector<std::string>& roots,
                                              const std::vector<std::string>& names, int largestSide,
                                              TFolderListings* listings) {
    std::optional<TFolderListings> own;
    if (!listings) listings = &own.emplace();
    std::vector<TPreparedTexture> prepared(names.size());
    const auto named = static_cast<std::size_t>(
        std::count_if(names.begin(), names.end(), [](const std::string& name) { return !name.empty(); }));
    const std::size_t threads = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), named);
    std::atomic<std::size_t> next{0};
    {
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < threads; ++t) {
            try {
                helpers.emplace_back(PrepareShare, roots, std::cref(names), std::ref(prepared), std::ref(next),
                                     largestSide, listings);
            } catch (const std::system_error&) {
                break;  // fewer helpers; this thread takes the rest
            }
        }
        PrepareShare(roots, names, prepared, next, largestSide, listings);
    }  // the helpers are joined here
    return prepared;
}

bool Decoded(const TextureData& record) { return record.width > 0 && record.height > 0 && record.pixels; }

void SwapRedBlue(TextureData& record) {
    const std::size_t n = static_cast<std::size_t>(record.width) * static_cast<std::size_t>(record.height);
    for (std::size_t k = 0; k < n; ++k) std::swap(record.pixels[4 * k], record.pixels[4 * k + 2]);
}

void HalveToFit(TextureData& record, int largestSide) {
    int w = record.width, h = record.height;
    while ((w > largestSide || h > largestSide) && w >= 2 && h >= 2) {
        // In place: pixel (x, y) of the half is written at or before the
        // first of the four it averages, and after every pixel read before.
        const int hw = w / 2, hh = h / 2;
        uint8_t* p = record.pixels;
        for (int y = 0; y < hh; ++y)
            for (int x = 0; x < hw; ++x) {
                const uint8_t* a = p + (static_cast<std::size_t>(2 * y) * w + 2 * x) * 4;
                const uint8_t* b = a + static_cast<std::size_t>(w) * 4;
                uint8_t* out = p + (static_cast<std::size_t>(y) * hw + x) * 4;
                for (int c = 0; c < 4; ++c) out[c] = static_cast<uint8_t>((a[c] + a[c + 4] + b[c] + b[c + 4] + 2) / 4);
            }
        w = hw;
        h = hh;
    }
    record.width = w;
    record.height = h;
}

void MakeGlTexture(const TextureData& record, GLuint& slot) {
    glGenTextures(1, &slot);
    glBindTexture(GL_TEXTURE_2D, slot);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, record.width, record.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, record.pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Also scales a picture whose sides are not powers of two, which the
    // level-0 upload above refuses.
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, record.width, record.height, GL_RGBA, GL_UNSIGNED_BYTE, record.pixels);
}

std::vector<GLuint> LoadLodTextures(const TP3dLOD& lod, const std::vector<std::string>& roots,
                                    std::vector<std::string>& problems) {
    std::vector<TPreparedTexture> prepared = PrepareTextures(roots, lod.Textures);
    return UploadTextures(prepared, problems);
}

std::vector<GLuint> UploadTextures(std::vector<TPreparedTexture>& prepared, std::vector<std::string>& problems) {
    std::vector<GLuint> names(prepared.size(), 0);
    for (std::size_t k = 0; k < prepared.size(); ++k) {
        TPreparedTexture& p = prepared[k];
        if (!p.named || p.error) continue;
        if (p.outside) {
            problems.push_back("Texture " + p.shownPath + " is outside the texture root!");
        } else if (p.file.empty()) {
            problems.push_back("File " + p.shownPath + " not found!");
        } else if (!Decoded(*p.record)) {
            problems.push_back("Cannot decode texture " + p.file);
        } else {
            SwapRedBlue(*p.record);
            MakeGlTexture(*p.record, names[k]);
        }
    }
    return names;
}

TTextureLookup TableLookup(const std::vector<GLuint>& textures) {
    return [&textures](int index) {
        return index >= 0 && static_cast<std::size_t>(index) < textures.size()
                   ? textures[static_cast<std::size_t>(index)]
                   : GLuint{0};
    };
}

std::string TextureProblemsText(const std::vector<std::string>& problems) {
    constexpr std::size_t kShown = 30;
    std::string text;
    for (std::size_t k = 0; k < problems.size() && k < kShown; ++k) text += (k ? "\n" : "") + problems[k];
    if (problems.size() > kShown) text += "\n\u2026 and " + std::to_string(problems.size() - kShown) + " more";
    return text;
}

std::string TextureProblemsLine(const std::vector<std::string>& names, const std::vector<TPreparedTexture>& prepared) {
    std::vector<std::string> missing, outside, undecoded;
    std::size_t named = 0;
    for (std::size_t k = 0; k < prepared.size() && k < names.size(); ++k) {
        const TPreparedTexture& p = prepared[k];
        if (!p.named) continue;
        ++named;
        if (p.outside)
            outside.push_back(names[k]);
        else if (p.file.empty())
            missing.push_back(names[k]);
        else if (p.error || !p.record || !Decoded(*p.record))
            undecoded.push_back(p.file);
    }
    auto part = [named](const std::vector<std::string>& items, const char* what) {
        constexpr std::size_t kShown = 3;
        std::string text = std::to_string(items.size()) + " of " + std::to_string(named) + " textures " + what + ": ";
        for (std::size_t k = 0; k < items.size() && k < kShown; ++k) text += (k ? ", " : "") + items[k];
        if (items.size() > kShown) text += " and " + std::to_string(items.size() - kShown) + " more";
        return text;
    };
    std::string line;
    if (!missing.empty()) line = part(missing, "not found");
    if (!outside.empty()) line += (line.empty() ? "" : "; ") + part(outside, "outside the texture root");
    if (!undecoded.empty()) line += (line.empty() ? "" : "; ") + part(undecoded, "not decoded");
    return line.empty() ? line : line + "; drawn untextured";
}

}  // namespace vistrel
