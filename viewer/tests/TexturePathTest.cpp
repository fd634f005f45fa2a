// Texture names under the texture root: stored "\" separators, letter case
// of folders and files, missing files, an empty root, exact spellings first.
#include "TexturePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

class TexturePathTest : public ::testing::Test {
protected:
    QString Root() const { return QDir::cleanPath(dir_.path()); }
    // Makes the file (and its folders) under the root; returns its full path.
    QString Make(const QString& relative) const {
        const QString path = Root() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }
    void MakeFolder(const QString& relative) const { QDir().mkpath(Root() + QLatin1Char('/') + relative); }

private:
    QTemporaryDir dir_;
};

}  // namespace

TEST_F(TexturePathTest, DisplayPathJoinsRootAndNameWithTheSeparator) {
    EXPECT_EQ(TextureDisplayPath(QStringLiteral("/tex"), "data\\wall.paa"), QStringLiteral("/tex/data/wall.paa"));
    EXPECT_EQ(TextureDisplayPath(QStringLiteral("/tex"), "wall.paa"), QStringLiteral("/tex/wall.paa"));
    // Nothing else is done to the name: case and extension stay.
    EXPECT_EQ(TextureDisplayPath(QStringLiteral("/tex"), "DATA\\Wall.PAC"), QStringLiteral("/tex/DATA/Wall.PAC"));
}

TEST_F(TexturePathTest, EmptyRootGivesAPathFromTheFileSystemRoot) {
    EXPECT_EQ(TextureDisplayPath(QString(), "data\\wall.paa"), QStringLiteral("/data/wall.paa"));
}

TEST_F(TexturePathTest, BackslashesBecomeFolders) {
    const QString file = Make(QStringLiteral("data/sub/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\sub\\wall.paa"), file);
}

TEST_F(TexturePathTest, ForwardSlashesWorkToo) {
    const QString file = Make(QStringLiteral("data/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data/wall.paa"), file);
}

TEST_F(TexturePathTest, LetterCaseOfFolderAndFileIsIgnored) {
    const QString file = Make(QStringLiteral("data/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "DATA\\Wall.PAA"), file);
    EXPECT_EQ(ResolveTexturePath(Root(), "Data\\WALL.paa"), file);
}

TEST_F(TexturePathTest, LetterCaseIsIgnoredInDeepFolders) {
    const QString file = Make(QStringLiteral("Data/Vehicles/Tank/Hull_CO.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\vehicles\\TANK\\hull_co.PAA"), file);
}

TEST_F(TexturePathTest, MissingFileGivesNothing) {
    Make(QStringLiteral("data/wall.paa"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\floor.paa"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "other\\wall.paa"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\wall.paa\\more"));
}

TEST_F(TexturePathTest, MissingRootGivesNothing) {
    EXPECT_FALSE(ResolveTexturePath(Root() + QStringLiteral("/none"), "data\\wall.paa"));
}

TEST_F(TexturePathTest, AFolderIsNotAFile) {
    MakeFolder(QStringLiteral("data/wall.paa"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "data\\wall.paa"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "DATA\\WALL.PAA"));
    EXPECT_FALSE(ResolveTexturePath(Root(), "data"));
}

TEST_F(TexturePathTest, EmptyNameGivesNothing) {
    EXPECT_FALSE(ResolveTexturePath(Root(), ""));
    EXPECT_FALSE(ResolveTexturePath(Root(), "\\"));
}

TEST_F(TexturePathTest, EmptyRootLooksFromTheFileSystemRoot) {
    const QString file = Make(QStringLiteral("data/wall.paa"));
    // The root's own path, without its leading "/", as a stored name.
    QString relative = Root().mid(1) + QStringLiteral("/DATA/Wall.paa");
    relative.replace(QLatin1Char('/'), QLatin1Char('\\'));
    EXPECT_EQ(ResolveTexturePath(QString(), relative.toStdString()), file);
}

TEST_F(TexturePathTest, ExactSpellingIsPreferred) {
    const QString upper = Make(QStringLiteral("data/Wall.paa"));
    const QString lower = Make(QStringLiteral("data/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\Wall.paa"), upper);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\wall.paa"), lower);
    // No exact spelling: one of the two, and always the same one.
    const std::optional<QString> either = ResolveTexturePath(Root(), "data\\WALL.PAA");
    ASSERT_TRUE(either);
    EXPECT_TRUE(*either == upper || *either == lower) << either->toStdString();
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\WALL.PAA"), either);
}

TEST_F(TexturePathTest, ExactFolderSpellingIsPreferred) {
    const QString inUpper = Make(QStringLiteral("DATA/wall.paa"));
    const QString inLower = Make(QStringLiteral("data/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "DATA\\wall.paa"), inUpper);
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\wall.paa"), inLower);
}

TEST_F(TexturePathTest, EveryFolderSpellingIsSearched) {
    // Two folders that differ only in case: the file is in the second one.
    Make(QStringLiteral("Data/other.paa"));
    const QString file = Make(QStringLiteral("DATA/wall.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\wall.paa"), file);
    EXPECT_EQ(ResolveTexturePath(Root(), "Data\\Wall.paa"), file);
}

TEST_F(TexturePathTest, DoubledSeparatorsAreSkipped) {
    const QString file = Make(QStringLiteral("data/wall.paa"));
    const std::optional<QString> found = ResolveTexturePath(Root(), "DATA\\\\wall.paa");
    ASSERT_TRUE(found);
    EXPECT_EQ(QDir::cleanPath(*found), file);
    // The exact path works with the doubled separator as it stands.
    EXPECT_TRUE(ResolveTexturePath(Root(), "data\\\\wall.paa"));
}

TEST_F(TexturePathTest, DotDotIsTakenAsItStands) {
    const QString file = Make(QStringLiteral("shared/wall.paa"));
    MakeFolder(QStringLiteral("data"));
    const std::optional<QString> found = ResolveTexturePath(Root(), "DATA\\..\\Shared\\wall.paa");
    ASSERT_TRUE(found);
    EXPECT_EQ(QDir::cleanPath(*found), file);
}

TEST_F(TexturePathTest, EightBitNamesThatAreNotUtf8AreReadAsLatin1) {
    const QString file = Make(QString::fromUtf8("data/caf\xc3\xa9.paa"));
    EXPECT_EQ(TextureNameText("caf\xe9.paa"), QString::fromUtf8("caf\xc3\xa9.paa"));
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\caf\xe9.paa"), file);
    // UTF-8 names are taken as UTF-8.
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\caf\xc3\xa9.paa"), file);
    // Letter case of non-ASCII letters is ignored as well.
    EXPECT_EQ(ResolveTexturePath(Root(), "data\\CAF\xc9.PAA"), file);
}
