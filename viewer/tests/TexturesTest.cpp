// Textures of the main window: a LOD's names found under the texture root,
// decoded and made into GL textures; missing and broken files; reloading;
// the ground texture and its button; a face drawn with its texture.
#include "Globals.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"
#include "TextureEncoder.h"
#include "TextureLookup.h"
#include "ViewerModels.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <GL/gl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <ostream>
#include <set>
#include <string>
#include <vector>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// Sets the texture root for one test and puts the old one back.
class TDataPathScope {
public:
    explicit TDataPathScope(const QString& path) : saved_(DataPath) { DataPath = path; }
    ~TDataPathScope() { DataPath = saved_; }
    TDataPathScope(const TDataPathScope&) = delete;
    TDataPathScope& operator=(const TDataPathScope&) = delete;

private:
    QString saved_;
};

// Swaps the panel's paint handler for one of the test's and puts the
// window's own back.
class TPaintHook {
public:
    TPaintHook(TOpenGLVexPanel* panel, TOpenGLVexPanel::TNotifyEvent paint)
        : panel_(panel), saved_(std::move(panel->OnPaint)) {
        panel_->OnPaint = std::move(paint);
    }
    ~TPaintHook() { panel_->OnPaint = std::move(saved_); }
    TPaintHook(const TPaintHook&) = delete;
    TPaintHook& operator=(const TPaintHook&) = delete;

private:
    TOpenGLVexPanel* panel_;
    TOpenGLVexPanel::TNotifyEvent saved_;
};

constexpr std::array<uint8_t, 4> kRed = {0, 0, 255, 255};  // blue, green, red, alpha
constexpr std::array<uint8_t, 4> kOrange = {30, 100, 200, 255};

class TexturesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        window = std::make_unique<TMain>(&prompt);
        window->show();
        // No start-up step: nothing but the test may load a ground texture.
        window->InitTimer->stop();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        ASSERT_TRUE(WaitFor([&] { return window->OpenGl->isValid(); }));
    }

    QString Root() const { return QDir::cleanPath(dir_.path()); }
    QString PathOf(const QString& relative) const { return Root() + QLatin1Char('/') + relative; }

    // Writes a file under the root (folders made as needed); returns its path.
    QString WriteFile(const QString& relative, const std::vector<uint8_t>& bytes) const {
        const QString path = PathOf(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }
    QString WriteTexture(const QString& relative, std::array<uint8_t, 4> colour = kRed,
                         TexFormat format = TexFormat::Argb4444, int side = 8) const {
        return WriteFile(relative, EncodeTexture(TexImage(side, side, colour), format));
    }

    bool IsTexture(GLuint name) const {
        window->OpenGl->MakeOpenGLPanelCurrent();
        return name != 0 && glIsTexture(name) == GL_TRUE;
    }
    // A name of before a reload is gone: deleted, or deleted and given out
    // again by the reload.
    bool Gone(GLuint old, const std::vector<GLuint>& now) const {
        return std::find(now.begin(), now.end(), old) != now.end() || !IsTexture(old);
    }
    std::vector<GLuint> Names() const {
        std::vector<GLuint> names;
        for (int i = 0; i < window->LodTextureCount; ++i) names.push_back(window->LodTexture(i));
        return names;
    }

    TScriptedPrompt prompt;
    std::unique_ptr<TMain> window;

private:
    QTemporaryDir dir_;
};

}  // namespace

TEST(TexturesSwapTest, RedAndBlueChangePlaces) {
    uint8_t pixels[] = {10, 20, 30, 40, 1, 2, 3, 4};
    TextureData record{2, 1, pixels};
    TMain::SwapRedBlue(record);
    const uint8_t expected[] = {30, 20, 10, 40, 3, 2, 1, 4};
    EXPECT_TRUE(std::equal(std::begin(pixels), std::end(pixels), std::begin(expected)));
}

TEST(TexturesSwapTest, EmptyRecordIsLeftAlone) {
    TextureData record{0, 0, nullptr};
    TMain::SwapRedBlue(record);
    EXPECT_EQ(record.pixels, nullptr);
}

TEST_F(TexturesTest, NothingLoadedAtFirst) {
    EXPECT_EQ(window->LodTextureCount, 0);
    EXPECT_EQ(window->GroundTextureName, 0u);
    EXPECT_EQ(window->GroundTextureData, nullptr);
    EXPECT_TRUE(window->GroundTexture.isEmpty());
    EXPECT_EQ(window->LodTexture(0), 0u);
    EXPECT_EQ(window->LodTexture(-1), 0u);
}

TEST_F(TexturesTest, SecondOfThreeMissing) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("data/hull.paa"));
    WriteTexture(QStringLiteral("data/turret.paa"), kOrange, TexFormat::Dxt1, 16);
    TP3dLOD lod;
    lod.Textures = {"data\\hull.paa", "data\\missing.paa", "DATA\\Turret.PAA"};

    window->LoadLodTextures(&lod);

    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("File ") + PathOf(QStringLiteral("data/missing.paa")) +
                                           QStringLiteral(" not found!")});
    ASSERT_EQ(window->LodTextureCount, 3);
    EXPECT_TRUE(IsTexture(window->LodTexture(0)));
    EXPECT_EQ(window->LodTexture(1), 0u);
    EXPECT_TRUE(IsTexture(window->LodTexture(2)));
    EXPECT_NE(window->LodTexture(0), window->LodTexture(2));
    // The decoded images stay with their GL textures.
    ASSERT_NE(window->LodTextureData[0], nullptr);
    EXPECT_EQ(window->LodTextureData[0]->width, 8);
    EXPECT_EQ(window->LodTextureData[1], nullptr);
    ASSERT_NE(window->LodTextureData[2], nullptr);
    EXPECT_EQ(window->LodTextureData[2]->width, 16);
}

TEST_F(TexturesTest, ImagesAreKeptSwapped) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("orange.paa"), kOrange, TexFormat::Argb8888, 4);
    TP3dLOD lod;
    lod.Textures = {"orange.paa"};
    window->LoadLodTextures(&lod);
    ASSERT_EQ(window->LodTextureCount, 1);
    const TextureData* record = window->LodTextureData[0];
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->width, 4);
    // red, green, blue, alpha in memory now, as GL takes them
    EXPECT_EQ(record->pixels[0], 200);
    EXPECT_EQ(record->pixels[1], 100);
    EXPECT_EQ(record->pixels[2], 30);
    EXPECT_EQ(record->pixels[3], 255);
}

TEST_F(TexturesTest, SelectingTheSameLodAgainReloads) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("data/hull.paa"));
    WriteTexture(QStringLiteral("data/turret.paa"));
    TP3dLOD lod;
    lod.Textures = {"data\\hull.paa", "data\\missing.paa", "data\\turret.paa"};

    window->LoadLodTextures(&lod);
    const std::vector<GLuint> first = Names();
    window->LoadLodTextures(&lod);
    const std::vector<GLuint> second = Names();

    EXPECT_EQ(prompt.Messages.size(), 2);  // the missing one, each time
    ASSERT_EQ(window->LodTextureCount, 3);
    EXPECT_TRUE(IsTexture(second[0]));
    EXPECT_EQ(second[1], 0u);
    EXPECT_TRUE(IsTexture(second[2]));
    EXPECT_TRUE(Gone(first[0], second));
    EXPECT_TRUE(Gone(first[2], second));
    ASSERT_NE(window->LodTextureData[0], nullptr);
    EXPECT_EQ(window->LodTextureData[0]->width, 8);
}

TEST_F(TexturesTest, EmptyTextureListReleasesThePrevious) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("hull.paa"));
    TP3dLOD textured;
    textured.Textures = {"hull.paa", "hull.paa"};
    window->LoadLodTextures(&textured);
    const std::vector<GLuint> before = Names();
    ASSERT_EQ(before.size(), 2u);

    TP3dLOD bare;
    window->LoadLodTextures(&bare);

    EXPECT_EQ(window->LodTextureCount, 0);
    EXPECT_EQ(window->LodTexture(0), 0u);
    EXPECT_FALSE(IsTexture(before[0]));
    EXPECT_FALSE(IsTexture(before[1]));
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST_F(TexturesTest, NoLodReleasesThePrevious) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("hull.paa"));
    TP3dLOD lod;
    lod.Textures = {"hull.paa"};
    window->LoadLodTextures(&lod);
    const GLuint before = window->LodTexture(0);
    window->LoadLodTextures(nullptr);
    EXPECT_EQ(window->LodTextureCount, 0);
    EXPECT_FALSE(IsTexture(before));
}

TEST_F(TexturesTest, UndecodableFileIsReportedAndLeftUntextured) {
    TDataPathScope root(Root());
    const QString bad = WriteFile(QStringLiteral("data/bad.paa"), {'n', 'o', 't', ' ', 'a', ' ', 't', 'e', 'x'});
    WriteTexture(QStringLiteral("data/good.paa"));
    TP3dLOD lod;
    lod.Textures = {"data\\bad.paa", "data\\good.paa"};

    window->LoadLodTextures(&lod);

    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Cannot decode texture ") + bad});
    ASSERT_EQ(window->LodTextureCount, 2);
    EXPECT_EQ(window->LodTexture(0), 0u);
    EXPECT_TRUE(IsTexture(window->LodTexture(1)));
    // The empty record is kept like any other until the next LOD.
    ASSERT_NE(window->LodTextureData[0], nullptr);
    EXPECT_EQ(window->LodTextureData[0]->width, 0);
    EXPECT_EQ(window->LodTextureData[0]->pixels, nullptr);
}

TEST_F(TexturesTest, MessagesComeInTheOrderOfTheNames) {
    TDataPathScope root(Root());
    WriteFile(QStringLiteral("bad.paa"), {0, 1, 2});
    WriteTexture(QStringLiteral("good.paa"));
    TP3dLOD lod;
    lod.Textures = {"first.paa", "good.paa", "bad.paa", "second.paa", "good.paa"};

    window->LoadLodTextures(&lod);

    // One box for the LOD, a line per file.
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("File ") + PathOf(QStringLiteral("first.paa")) +
                                           QStringLiteral(" not found!\n") + QStringLiteral("Cannot decode texture ") +
                                           PathOf(QStringLiteral("bad.paa")) + QStringLiteral("\nFile ") +
                                           PathOf(QStringLiteral("second.paa")) + QStringLiteral(" not found!")});
    const std::vector<GLuint> names = Names();
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], 0u);
    EXPECT_TRUE(IsTexture(names[1]));
    EXPECT_EQ(names[2], 0u);
    EXPECT_EQ(names[3], 0u);
    EXPECT_TRUE(IsTexture(names[4]));
}

TEST_F(TexturesTest, ManyMissingFilesAreOneBoxPerSelection) {
    TDataPathScope root(Root());
    TP3dLOD lod;
    for (int i = 0; i < 35; ++i) lod.Textures.push_back("gone" + std::to_string(i) + ".paa");

    window->LoadLodTextures(&lod);
    window->LoadLodTextures(&lod);  // choosing the same LOD again: one box again

    ASSERT_EQ(prompt.Messages.size(), 2);
    const QStringList lines = prompt.Messages[0].split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines[0], QStringLiteral("File ") + PathOf(QStringLiteral("gone0.paa")) + QStringLiteral(" not found!"));
    EXPECT_EQ(lines[29],
              QStringLiteral("File ") + PathOf(QStringLiteral("gone29.paa")) + QStringLiteral(" not found!"));
    EXPECT_EQ(lines[30], QStringLiteral("\u2026 and 5 more"));
    EXPECT_EQ(prompt.Messages[1], prompt.Messages[0]);
    EXPECT_EQ(TMain::TextureProblemsText(lines.first(30)), lines.first(30).join(QLatin1Char('\n')));
}

TEST_F(TexturesTest, WithoutATextureRootNamesAreFoundBesideTheModel) {
    TDataPathScope root{QString()};
    // Names are relative to a data folder above the model's own.
    WriteTexture(QStringLiteral("data/tanks/skin.paa"));
    WriteTexture(QStringLiteral("data/tanks/m1/near.paa"));
    BLod quad = QuadLod(-1, 1, -1, 1, {-3, -3, -3}, {3, 3, 3}, 0);
    quad.textures = {"tanks\\skin.paa", "near.paa", "tanks\\nowhere.paa"};
    const QString model = PathOf(QStringLiteral("data/tanks/m1/m1.p3d"));
    WriteFile(QStringLiteral("data/tanks/m1/m1.p3d"), BuildModel(ModelWith({quad})));

    window->LoadModel(model, false);

    ASSERT_EQ(window->LodTextureCount, 3);
    EXPECT_TRUE(IsTexture(window->LodTexture(0)));
    EXPECT_TRUE(IsTexture(window->LodTexture(1)));
    EXPECT_EQ(window->LodTexture(2), 0u);
    // Only the name found nowhere is reported, by its place beside the model.
    EXPECT_EQ(prompt.Messages,
              QStringList{QStringLiteral("File ") + PathOf(QStringLiteral("data/tanks/m1/tanks/nowhere.paa")) +
                          QStringLiteral(" not found!")});
    const std::string file = QFile::encodeName(model).toStdString();
    EXPECT_EQ(TextureRoots("", file).at(0),
              QFile::encodeName(QDir::toNativeSeparators(PathOf(QStringLiteral("data/tanks/m1")))).toStdString());
    EXPECT_EQ(TextureRoots("/tex", file), std::vector<std::string>{"/tex"});
    EXPECT_EQ(TextureRoots("", file).back(), "");  // the root of the file system
}

TEST_F(TexturesTest, NamesOutsideTheTextureRootAreNotLookedUp) {
    WriteTexture(QStringLiteral("x.paa"));
    TDataPathScope root(PathOf(QStringLiteral("data")));
    TP3dLOD lod;
    lod.Textures = {"..\\x.paa", "gone.paa"};

    window->LoadLodTextures(&lod);

    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Texture ..\\x.paa is outside the texture root!\nFile ") +
                                           PathOf(QStringLiteral("data/gone.paa")) + QStringLiteral(" not found!")});
    EXPECT_EQ(window->LodTexture(0), 0u);
}

TEST_F(TexturesTest, EmptyNameCountsButLoadsNothing) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("hull.paa"));
    TP3dLOD lod;
    lod.Textures = {"", "hull.paa", ""};

    window->LoadLodTextures(&lod);

    EXPECT_TRUE(prompt.Messages.isEmpty());
    ASSERT_EQ(window->LodTextureCount, 3);
    EXPECT_EQ(window->LodTexture(0), 0u);
    EXPECT_EQ(window->LodTextureData[0], nullptr);
    EXPECT_TRUE(IsTexture(window->LodTexture(1)));
    EXPECT_EQ(window->LodTexture(2), 0u);
    EXPECT_EQ(window->LodTextureData[2], nullptr);
}

TEST_F(TexturesTest, MoreThan512Names) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("a.paa"), kRed, TexFormat::Argb4444, 4);
    WriteTexture(QStringLiteral("b.paa"), kOrange, TexFormat::Dxt1, 4);
    TP3dLOD lod;
    for (int i = 0; i < 600; ++i) lod.Textures.push_back(i % 2 ? "b.paa" : "A.PAA");

    window->LoadLodTextures(&lod);

    EXPECT_TRUE(prompt.Messages.isEmpty());
    ASSERT_EQ(window->LodTextureCount, 600);
    const std::vector<GLuint> names = Names();
    EXPECT_EQ(std::set<GLuint>(names.begin(), names.end()).size(), 600u);
    EXPECT_EQ(std::count(names.begin(), names.end(), 0u), 0);
    EXPECT_TRUE(IsTexture(window->LodTexture(599)));
    EXPECT_EQ(window->LodTextureData[511]->width, 4);
    EXPECT_EQ(window->LodTextureData[599]->width, 4);
    // The colours did not get mixed up between the threads.
    for (int i : {0, 511, 512, 599}) {
        const uint8_t red = window->LodTextureData[static_cast<std::size_t>(i)]->pixels[0];
        EXPECT_NEAR(red, i % 2 ? 200 : 255, 8) << i;  // DXT1 keeps 5 bits of red
    }

    // And all of them go with the next LOD.
    TP3dLOD bare;
    window->LoadLodTextures(&bare);
    EXPECT_FALSE(IsTexture(names[0]));
    EXPECT_FALSE(IsTexture(names[599]));
}

TEST_F(TexturesTest, LoadingOneIndexAgainReplacesIt) {
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("small.paa"), kRed, TexFormat::Argb4444, 4);
    WriteTexture(QStringLiteral("large.paa"), kOrange, TexFormat::Argb8888, 32);
    TP3dLOD lod;
    lod.Textures = {"small.paa"};
    window->LoadLodTextures(&lod);
    const GLuint before = window->LodTexture(0);

    window->LoadLodTexture("", 0);  // an empty name does nothing
    EXPECT_EQ(window->LodTexture(0), before);
    window->LoadLodTexture("large.paa", 0);

    EXPECT_EQ(window->LodTextureCount, 1);
    EXPECT_TRUE(IsTexture(window->LodTexture(0)));
    EXPECT_TRUE(Gone(before, {window->LodTexture(0)}));
    EXPECT_EQ(window->LodTextureData[0]->width, 32);
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST_F(TexturesTest, ImagesAreDecodedWithoutAGlContext) {
    // A window that was never shown has no GL context: the images are still
    // decoded and kept, and no GL texture is made.
    TDataPathScope root(Root());
    WriteTexture(QStringLiteral("hull.paa"));
    TScriptedPrompt hiddenPrompt;
    TMain hidden(&hiddenPrompt);
    TP3dLOD lod;
    lod.Textures = {"hull.paa", "none.paa"};
    hidden.LoadLodTextures(&lod);
    EXPECT_EQ(hidden.LodTextureCount, 2);
    EXPECT_EQ(hidden.LodTexture(0), 0u);
    ASSERT_NE(hidden.LodTextureData[0], nullptr);
    EXPECT_EQ(hidden.LodTextureData[0]->width, 8);
    EXPECT_EQ(hiddenPrompt.Messages.size(), 1);
    hidden.LoadGroundTexture(PathOf(QStringLiteral("hull.paa")));
    EXPECT_EQ(hidden.GroundTextureName, 0u);
    EXPECT_NE(hidden.GroundTextureData, nullptr);
}

// ---------------------------------------------------------------- the ground

TEST_F(TexturesTest, GroundTextureIsLoaded) {
    const QString path = WriteTexture(QStringLiteral("ground/grass.paa"));
    window->LoadGroundTexture(path);
    EXPECT_TRUE(prompt.Messages.isEmpty());
    EXPECT_TRUE(IsTexture(window->GroundTextureName));
    ASSERT_NE(window->GroundTextureData, nullptr);
    EXPECT_EQ(window->GroundTextureData->width, 8);
    EXPECT_EQ(window->GroundTextureData->pixels[0], 255);  // red first
}

TEST_F(TexturesTest, EmptyGroundPathDoesNothing) {
    window->LoadGroundTexture(QString());
    EXPECT_TRUE(prompt.Messages.isEmpty());
    EXPECT_EQ(window->GroundTextureName, 0u);
    EXPECT_EQ(window->GroundTextureData, nullptr);
}

TEST_F(TexturesTest, MissingGroundKeepsThePrevious) {
    const QString path = WriteTexture(QStringLiteral("grass.paa"));
    window->LoadGroundTexture(path);
    const GLuint name = window->GroundTextureName;
    const TextureData* record = window->GroundTextureData;

    const QString missing = PathOf(QStringLiteral("sand.paa"));
    window->LoadGroundTexture(missing);

    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("File ") + missing + QStringLiteral(" not found!")});
    EXPECT_EQ(window->GroundTextureName, name);
    EXPECT_TRUE(IsTexture(name));
    EXPECT_EQ(window->GroundTextureData, record);
    EXPECT_EQ(window->GroundTextureData->width, 8);
}

TEST_F(TexturesTest, SecondGroundReusesTheRecordAndDeletesTheFirstTexture) {
    window->LoadGroundTexture(WriteTexture(QStringLiteral("grass.paa")));
    const GLuint first = window->GroundTextureName;
    const TextureData* record = window->GroundTextureData;
    ASSERT_TRUE(IsTexture(first));

    window->LoadGroundTexture(WriteTexture(QStringLiteral("sand.paa"), kOrange, TexFormat::Argb8888, 16));

    EXPECT_EQ(window->GroundTextureData, record);
    EXPECT_EQ(window->GroundTextureData->width, 16);
    EXPECT_TRUE(IsTexture(window->GroundTextureName));
    EXPECT_TRUE(Gone(first, {window->GroundTextureName}));
}

TEST_F(TexturesTest, UndecodableGroundLeavesNoGroundTexture) {
    window->LoadGroundTexture(WriteTexture(QStringLiteral("grass.paa")));
    const GLuint first = window->GroundTextureName;
    const QString bad = WriteFile(QStringLiteral("bad.pac"), {1, 2, 3, 4});

    window->LoadGroundTexture(bad);

    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Cannot decode texture ") + bad});
    EXPECT_EQ(window->GroundTextureName, 0u);
    EXPECT_FALSE(IsTexture(first));
    ASSERT_NE(window->GroundTextureData, nullptr);
    EXPECT_EQ(window->GroundTextureData->width, 0);
}

TEST_F(TexturesTest, PickGroundButtonLoadsTheChosenFile) {
    const QString path = WriteTexture(QStringLiteral("grass.pac"));
    window->OpenGroundTexture.InitialDir = Root();
    prompt.OpenAnswers.push_back(path);

    window->B_PickGroundText->click();

    ASSERT_EQ(prompt.OpenRequests.size(), 1);
    EXPECT_EQ(prompt.OpenRequests[0].Name, QStringLiteral("OpenGroundTexture"));
    EXPECT_EQ(prompt.OpenRequests[0].Filter, QStringLiteral("Textures (*.pa*)"));
    EXPECT_EQ(prompt.OpenRequests[0].InitialDir, Root());
    EXPECT_EQ(window->GroundTexture, path);
    EXPECT_TRUE(IsTexture(window->GroundTextureName));
    EXPECT_TRUE(prompt.Messages.isEmpty());
    EXPECT_TRUE(prompt.Errors.isEmpty());
}

TEST_F(TexturesTest, PickGroundButtonWithAMissingFileKeepsThePath) {
    window->LoadGroundTexture(WriteTexture(QStringLiteral("grass.paa")));
    const GLuint name = window->GroundTextureName;
    const QString missing = PathOf(QStringLiteral("gone.paa"));
    prompt.OpenAnswers.push_back(missing);

    window->B_PickGroundTextClick();

    EXPECT_EQ(window->GroundTexture, missing);  // saved at exit all the same
    EXPECT_EQ(window->GroundTextureName, name);
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("File ") + missing + QStringLiteral(" not found!")});
}

TEST_F(TexturesTest, CancelledPickChangesNothing) {
    const QString path = WriteTexture(QStringLiteral("grass.paa"));
    window->GroundTexture = path;
    window->LoadGroundTexture(path);
    const GLuint name = window->GroundTextureName;
    const TextureData* record = window->GroundTextureData;

    window->B_PickGroundTextClick();  // no answer queued: cancelled

    EXPECT_EQ(prompt.OpenRequests.size(), 1);
    EXPECT_EQ(window->GroundTexture, path);
    EXPECT_EQ(window->GroundTextureName, name);
    EXPECT_EQ(window->GroundTextureData, record);
    EXPECT_TRUE(IsTexture(name));
    EXPECT_TRUE(prompt.Messages.isEmpty());
}
