// Textures of the LOD on show and of the ground: names resolved under the
// texture root, files decoded, GL textures made.
//
// Decoding is what takes the time, so a LOD's files are found and decoded on
// a few threads at once; everything the user sees (messages) and everything
// GL is then done on the window's thread, one index after the other, as if
// the files had been loaded one by one. The decoding threads touch only the
// file system, the decoder and their own result slots.
#include "F_main.h"

#include "Globals.h"
#include "TexturePath.h"

#include <QFile>
#include <QFileInfo>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

namespace vistrel {

namespace {

struct TRecordDeleter {
    void operator()(TextureData* record) const
    {
        DestroyTextureData(record);
        delete record;
    }
};
using TRecordPtr = std::unique_ptr<TextureData, TRecordDeleter>;

// What the decoding step made of one texture name.
struct TPreparedTexture {
    bool named = false;      // false for an empty name: nothing to do
    QString shownPath;       // the path as the user is told of it
    QString file;            // the file found for it; empty when none
    TRecordPtr record;       // set whenever a file was found
    std::exception_ptr error;  // what went wrong beyond a missing file
};

bool Decoded(const TextureData& record)
{
    return record.width > 0 && record.height > 0 && record.pixels;
}

// Fills a record from the file; the record comes back empty when the file
// does not decode.
TRecordPtr DecodeFile(const QString& file)
{
    TRecordPtr record(new TextureData{0, 0, nullptr});
    CreateTextureData(record.get(), QFile::encodeName(file).constData());
    return record;
}

// Reentrant: runs on the decoding threads. The name is looked up under each
// root in turn; a missing file is told of by its path under the first.
TPreparedTexture PrepareTexture(const QStringList& roots, const std::string& name)
{
    TPreparedTexture prepared;
    if (name.empty())
        return prepared;
    prepared.named = true;
    try {
        prepared.shownPath = TextureDisplayPath(roots.value(0), name);
        for (const QString& root : roots) {
            if (const std::optional<QString> file = ResolveTexturePath(root, name)) {
                prepared.file = *file;
                prepared.record = DecodeFile(prepared.file);
                break;
            }
        }
    } catch (...) {
        prepared.error = std::current_exception();
    }
    return prepared;
}

// Prepares names[k] for every k handed out by next. Each thread owns a copy
// of the roots and writes only the slots it took.
void PrepareShare(QStringList roots, const std::vector<std::string>& names, std::vector<TPreparedTexture>& out,
                  std::atomic<std::size_t>& next)
{
    for (std::size_t k = next++; k < names.size(); k = next++)
        out[k] = PrepareTexture(roots, names[k]);
}

// Makes the GL texture of a swapped record into slot and leaves it bound.
// Wrap modes and the texture environment stay at GL's defaults (repeat,
// modulate).
void MakeGlTexture(const TextureData& record, GLuint& slot)
{
    glGenTextures(1, &slot);
    glBindTexture(GL_TEXTURE_2D, slot);
    glTexImage2D(GL_TEXTURE_2D, 0, 4, record.width, record.height, 0, GL_RGBA, GL_UNSIGNED_BYTE, record.pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    // Also scales a picture whose sides are not powers of two, which the
    // level-0 upload above refuses.
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, record.width, record.height, GL_RGBA, GL_UNSIGNED_BYTE, record.pixels);
}

// True when GL calls reach the panel's context. A message box may have run a
// pass of the event loop (and Qt's composition its own context) since the
// last call, so this is asked again before each upload.
bool PanelCurrent(TOpenGLVexPanel* panel)
{
    return panel && panel->isValid() && panel->MakeOpenGLPanelCurrent();
}

// The window's part of loading entry index: the record kept, the GL texture
// made; what went wrong with a missing or undecodable file is added to
// problems.
void FinishLodTexture(TMain& main, TPreparedTexture& prepared, int index, QStringList& problems)
{
    if (!prepared.named)
        return;
    if (prepared.error)
        std::rethrow_exception(prepared.error);
    if (prepared.file.isEmpty()) {
        problems << QStringLiteral("File ") + prepared.shownPath + QStringLiteral(" not found!");
        return;
    }
    const auto i = static_cast<std::size_t>(index);
    TextureData* record = prepared.record.release();
    main.LodTextureData[i] = record;
    if (!Decoded(*record)) {
        problems << QStringLiteral("Cannot decode texture ") + prepared.file;
        return;
    }
    TMain::SwapRedBlue(*record);
    if (PanelCurrent(main.OpenGl))
        MakeGlTexture(*record, main.LodTextureNames[i]);
}

}  // namespace

TMain::TTextureRecordsRelease::~TTextureRecordsRelease()
{
    owner->ReleaseTextureRecords();
    if (TextureData* ground = std::exchange(owner->GroundTextureData, nullptr)) {
        DestroyTextureData(ground);
        delete ground;
    }
}

void TMain::LoadLodTextures(TP3dLOD* lod)
{
    PanelCurrent(OpenGl);
    ReleaseLodTextures();
    if (!lod || lod->Textures.empty())
        return;

    const std::vector<std::string>& names = lod->Textures;
    const std::size_t count = names.size();
    LodTextureNames.assign(count, 0);
    LodTextureData.assign(count, nullptr);

    const QStringList roots = LodTextureRoots();
    std::vector<TPreparedTexture> prepared(count);
    {
        const auto named = static_cast<std::size_t>(
            std::count_if(names.begin(), names.end(), [](const std::string& name) { return !name.empty(); }));
        const std::size_t threads = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), named);
        std::atomic<std::size_t> next{0};
        std::vector<std::jthread> helpers;
        for (std::size_t t = 1; t < threads; ++t) {
            try {
                helpers.emplace_back(PrepareShare, roots, std::cref(names), std::ref(prepared), std::ref(next));
            } catch (const std::system_error&) {
                break;  // fewer helpers; this thread takes the rest
            }
        }
        PrepareShare(roots, names, prepared, next);
    }  // the helpers are joined here

    QStringList problems;
    for (std::size_t k = 0; k < count; ++k) {
        const int i = LodTextureCount;
        LodTextureCount = i + 1;
        FinishLodTexture(*this, prepared[k], i, problems);
    }
    // One box for the whole LOD, not one per file.
    if (!problems.isEmpty())
        Prompt().Message(TextureProblemsText(problems));
}

QStringList TMain::LodTextureRoots() const
{
    return TextureRoots(DataPath, Model ? QFile::decodeName(Model->FileName.c_str()) : QString());
}

QString TMain::TextureProblemsText(const QStringList& problems)
{
    constexpr qsizetype kShown = 30;
    if (problems.size() <= kShown)
        return problems.join(QLatin1Char('\n'));
    return problems.first(kShown).join(QLatin1Char('\n')) + QStringLiteral("\n\u2026 and ") +
           QString::number(problems.size() - kShown) + QStringLiteral(" more");
}

void TMain::LoadLodTexture(const std::string& name, int index)
{
    if (name.empty() || index < 0)
        return;
    const auto i = static_cast<std::size_t>(index);
    if (LodTextureNames.size() <= i)
        LodTextureNames.resize(i + 1, 0);
    if (LodTextureData.size() <= i)
        LodTextureData.resize(i + 1, nullptr);
    // Loading an index again replaces what it held.
    if (TextureData* old = std::exchange(LodTextureData[i], nullptr)) {
        DestroyTextureData(old);
        delete old;
    }
    if (LodTextureNames[i] != 0 && PanelCurrent(OpenGl))
        glDeleteTextures(1, &LodTextureNames[i]);
    LodTextureNames[i] = 0;
    TPreparedTexture prepared = PrepareTexture(LodTextureRoots(), name);
    QStringList problems;
    FinishLodTexture(*this, prepared, index, problems);
    if (!problems.isEmpty())
        Prompt().Message(problems.first());
}

void TMain::ReleaseLodTextures()
{
    const auto count = static_cast<std::size_t>(std::max(LodTextureCount, 0));
    if (count > 0 && PanelCurrent(OpenGl))
        glDeleteTextures(static_cast<GLsizei>(std::min(count, LodTextureNames.size())), LodTextureNames.data());
    ReleaseTextureRecords();
}

void TMain::ReleaseTextureRecords()
{
    // Last index first, as the records were made first to last.
    for (std::size_t i = LodTextureData.size(); i-- > 0;) {
        if (TextureData* record = LodTextureData[i]) {
            DestroyTextureData(record);
            delete record;
        }
    }
    LodTextureData.clear();
    LodTextureNames.clear();
    LodTextureCount = 0;
}

void TMain::LoadGroundTexture(const QString& path)
{
    if (path.isEmpty())
        return;
    const bool gl = PanelCurrent(OpenGl);
    if (!QFileInfo(path).isFile()) {
        Prompt().Message(QStringLiteral("File ") + path + QStringLiteral(" not found!"));
        return;
    }
    if (GroundTextureData) {
        DestroyTextureData(GroundTextureData);
    } else {
        GroundTextureData = new TextureData{0, 0, nullptr};
    }
    CreateTextureData(GroundTextureData, QFile::encodeName(path).constData());

    // The previous picture is gone with the record: so is its GL texture.
    if (GroundTextureName != 0 && gl)
        glDeleteTextures(1, &GroundTextureName);
    GroundTextureName = 0;

    if (!Decoded(*GroundTextureData)) {
        Prompt().Message(QStringLiteral("Cannot decode texture ") + path);
        return;
    }
    SwapRedBlue(*GroundTextureData);
    if (PanelCurrent(OpenGl))
        MakeGlTexture(*GroundTextureData, GroundTextureName);
}

void TMain::SwapRedBlue(TextureData& record)
{
    const std::size_t n = static_cast<std::size_t>(record.width) * static_cast<std::size_t>(record.height);
    for (std::size_t k = 0; k < n; ++k)
        std::swap(record.pixels[4 * k], record.pixels[4 * k + 2]);
}

GLuint TMain::LodTexture(int textureIndex) const
{
    if (textureIndex < 0 || textureIndex >= LodTextureCount ||
        static_cast<std::size_t>(textureIndex) >= LodTextureNames.size())
        return 0;
    return LodTextureNames[static_cast<std::size_t>(textureIndex)];
}

}  // namespace vistrel
