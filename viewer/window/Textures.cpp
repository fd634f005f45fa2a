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
#include "SceneTextures.h"
#include "TextureLookup.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstddef>
#include <exception>
#include <utility>

namespace vistrel {

namespace {

// True when GL calls reach the panel's context. A message box may have run a
// pass of the event loop (and Qt's composition its own context) since the
// last call, so this is asked again before each upload.
bool PanelCurrent(TOpenGLVexPanel* panel) { return panel && panel->isValid() && panel->MakeOpenGLPanelCurrent(); }

// The window's part of loading entry index: the record kept, the GL texture
// made; what went wrong with a missing or undecodable file is added to
// problems.
void FinishLodTexture(TMain& main, TPreparedTexture& prepared, int index, QStringList& problems) {
    if (!prepared.named) return;
    if (prepared.error) std::rethrow_exception(prepared.error);
    if (prepared.outside) {
        problems << QStringLiteral("Texture ") + QFile::decodeName(prepared.shownPath.c_str()) +
                        QStringLiteral(" is outside the texture root!");
        return;
    }
    if (prepared.file.empty()) {
        problems << QStringLiteral("File ") + QFile::decodeName(prepared.shownPath.c_str()) +
                        QStringLiteral(" not found!");
        return;
    }
    const auto i = static_cast<std::size_t>(index);
    TextureData* record = prepared.record.release();
    main.LodTextureData[i] = record;
    if (!Decoded(*record)) {
        problems << QStringLiteral("Cannot decode texture ") + QFile::decodeName(prepared.file.c_str());
        return;
    }
    TMain::SwapRedBlue(*record);
    if (PanelCurrent(main.OpenGl)) MakeGlTexture(*record, main.LodTextureNames[i]);
}

}  // namespace

TMain::TTextureRecordsRelease::~TTextureRecordsRelease() {
    owner->ReleaseTextureRecords();
    if (TextureData* ground = std::exchange(owner->GroundTextureData, nullptr)) {
        DestroyTextureData(ground);
        delete ground;
    }
}

void TMain::LoadLodTextures(TP3dLOD* lod) {
    PanelCurrent(OpenGl);
    ReleaseLodTextures();
    if (!lod || lod->Textures.empty()) return;

    const std::vector<std::string>& names = lod->Textures;
    const std::size_t count = names.size();
    LodTextureNames.assign(count, 0);
    LodTextureData.assign(count, nullptr);

    std::vector<TPreparedTexture> prepared = PrepareTextures(LodTextureRoots(), names);

    QStringList problems;
    for (std::size_t k = 0; k < count; ++k) {
        const int i = LodTextureCount;
        LodTextureCount = i + 1;
        FinishLodTexture(*this, prepared[k], i, problems);
    }
    // One box for the whole LOD, not one per file.
    if (!problems.isEmpty()) Prompt().Message(TextureProblemsText(problems));
}

std::vector<std::string> TMain::LodTextureRoots() const {
    return TextureRoots(QFile::encodeName(DataPath).toStdString(), Model ? Model->FileName : std::string());
}

QString TMain::TextureProblemsText(const QStringList& problems) {
    std::vector<std::string> lines;
    for (const QString& line : problems) lines.push_back(line.toStdString());
    return QString::fromStdString(vistrel::TextureProblemsText(lines));
}

void TMain::LoadLodTexture(const std::string& name, int index) {
    if (name.empty() || index < 0) return;
    const auto i = static_cast<std::size_t>(index);
    if (LodTextureNames.size() <= i) LodTextureNames.resize(i + 1, 0);
    if (LodTextureData.size() <= i) LodTextureData.resize(i + 1, nullptr);
    // Loading an index again replaces what it held.
    if (TextureData* old = std::exchange(LodTextureData[i], nullptr)) {
        DestroyTextureData(old);
        delete old;
    }
    if (LodTextureNames[i] != 0 && PanelCurrent(OpenGl)) glDeleteTextures(1, &LodTextureNames[i]);
    LodTextureNames[i] = 0;
    TPreparedTexture prepared = PrepareTexture(LodTextureRoots(), name);
    QStringList problems;
    FinishLodTexture(*this, prepared, index, problems);
    if (!problems.isEmpty()) Prompt().Message(problems.first());
}

void TMain::ReleaseLodTextures() {
    const auto count = static_cast<std::size_t>(std::max(LodTextureCount, 0));
    if (count > 0 && PanelCurrent(OpenGl))
        glDeleteTextures(static_cast<GLsizei>(std::min(count, LodTextureNames.size())), LodTextureNames.data());
    ReleaseTextureRecords();
}

void TMain::ReleaseTextureRecords() {
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

void TMain::LoadGroundTexture(const QString& path) {
    if (path.isEmpty()) return;
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
    if (GroundTextureName != 0 && gl) glDeleteTextures(1, &GroundTextureName);
    GroundTextureName = 0;

    if (!Decoded(*GroundTextureData)) {
        Prompt().Message(QStringLiteral("Cannot decode texture ") + path);
        return;
    }
    SwapRedBlue(*GroundTextureData);
    if (PanelCurrent(OpenGl)) MakeGlTexture(*GroundTextureData, GroundTextureName);
}

void TMain::SwapRedBlue(TextureData& record) { vistrel::SwapRedBlue(record); }

GLuint TMain::LodTexture(int textureIndex) const {
    if (textureIndex < 0 || textureIndex >= LodTextureCount ||
        static_cast<std::size_t>(textureIndex) >= LodTextureNames.size())
        return 0;
    return LodTextureNames[static_cast<std::size_t>(textureIndex)];
}

}  // namespace vistrel
