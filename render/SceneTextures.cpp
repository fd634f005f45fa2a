#include "SceneTextures.h"

#include "TexturePath.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

namespace vistrel {

namespace {

// Fills a record from the file; the record comes back empty when the file
// does not decode.
TTextureRecord DecodeFile(const QString& file, int largestSide) {
    TTextureRecord record(new TextureData{0, 0, nullptr});
    CreateTextureDataUpTo(record.get(), QFile::encodeName(file).constData(), largestSide);
    return record;
}

// Prepares names[k] for every k handed out by next. Each thread owns a copy
// of the roots and writes only the slots it took.
void PrepareShare(QStringList roots, const std::vector<std::string>& names, std::vector<TPreparedTexture>& out,
                  std::atomic<std::size_t>& next, int largestSide) {
    for (std::size_t k = next++; k < names.size(); k = next++) out[k] = PrepareTexture(roots, names[k], largestSide);
}

}  // namespace

void TTextureRecordDeleter::operator()(TextureData* record) const {
    DestroyTextureData(record);
    delete record;
}

TPreparedTexture PrepareTexture(const QStringList& roots, const std::string& name, int largestSide) {
    TPreparedTexture prepared;
    if (name.empty()) return prepared;
    prepared.named = true;
    try {
        prepared.shownPath = TextureDisplayPath(roots.value(0), name);
        for (const QString& root : roots) {
            if (const std::optional<QString> file = ResolveTexturePath(root, name)) {
                prepared.file = *file;
                prepared.record = DecodeFile(prepared.file, largestSide);
                break;
            }
        }
    } catch (...) {
        prepared.error = std::current_exception();
    }
    return prepared;
}

std::vector<TPreparedTexture> PrepareTextures(const QStringList& roots, const std::vector<std::string>& names,
                                              int largestSide) {
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
                                     largestSide);
            } catch (const std::system_error&) {
                break;  // fewer helpers; this thread takes the rest
            }
        }
        PrepareShare(roots, names, prepared, next, largestSide);
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

std::vector<GLuint> LoadLodTextures(const TP3dLOD& lod, const QStringList& roots, QStringList& problems) {
    std::vector<TPreparedTexture> prepared = PrepareTextures(roots, lod.Textures);
    return UploadTextures(prepared, problems);
}

std::vector<GLuint> UploadTextures(std::vector<TPreparedTexture>& prepared, QStringList& problems) {
    std::vector<GLuint> names(prepared.size(), 0);
    for (std::size_t k = 0; k < prepared.size(); ++k) {
        TPreparedTexture& p = prepared[k];
        if (!p.named || p.error) continue;
        if (p.file.isEmpty()) {
            problems << QStringLiteral("File ") + p.shownPath + QStringLiteral(" not found!");
        } else if (!Decoded(*p.record)) {
            problems << QStringLiteral("Cannot decode texture ") + p.file;
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

QString TextureProblemsText(const QStringList& problems) {
    constexpr qsizetype kShown = 30;
    if (problems.size() <= kShown) return problems.join(QLatin1Char('\n'));
    return problems.first(kShown).join(QLatin1Char('\n')) + QStringLiteral("\n\u2026 and ") +
           QString::number(problems.size() - kShown) + QStringLiteral(" more");
}

QString TextureProblemsLine(const std::vector<std::string>& names, const std::vector<TPreparedTexture>& prepared) {
    QStringList missing, undecoded;
    qsizetype named = 0;
    for (std::size_t k = 0; k < prepared.size() && k < names.size(); ++k) {
        const TPreparedTexture& p = prepared[k];
        if (!p.named) continue;
        ++named;
        if (p.file.isEmpty())
            missing << QString::fromLatin1(names[k]);
        else if (p.error || !p.record || !Decoded(*p.record))
            undecoded << p.file;
    }
    auto list = [](const QStringList& items) {
        constexpr qsizetype kShown = 3;
        QString text = items.first(qMin(kShown, items.size())).join(QStringLiteral(", "));
        if (items.size() > kShown) text += QStringLiteral(" and %1 more").arg(items.size() - kShown);
        return text;
    };
    QStringList parts;
    if (!missing.isEmpty())
        parts << QStringLiteral("%1 of %2 textures not found: %3").arg(missing.size()).arg(named).arg(list(missing));
    if (!undecoded.isEmpty())
        parts << QStringLiteral("%1 of %2 textures not decoded: %3")
                     .arg(undecoded.size())
                     .arg(named)
                     .arg(list(undecoded));
    if (parts.isEmpty()) return {};
    return parts.join(QStringLiteral("; ")) + QStringLiteral("; drawn untextured");
}

}  // namespace vistrel
