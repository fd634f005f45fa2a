// The settings file format: plain INI read forgivingly, written atomically,
// and its place beside the executable or in the user's configuration folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QTemporaryDir>

#include "IniFile.h"
#include "SettingsLocation.h"

using namespace vistrel;

namespace {

QString WriteRaw(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath(QStringLiteral("Setting.def"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QByteArray ReadRaw(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

}  // namespace

TEST(IniFile, MissingFileReadsAsEmpty) {
    QTemporaryDir dir;
    TIniFile ini(dir.filePath(QStringLiteral("none.def")));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Settings"), QStringLiteral("LastDir"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("Settings"), QStringLiteral("Left"), 77), 77);
}

TEST(IniFile, ForeignFileStillReads) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir,
                                  "garbage before any section\r\n"
                                  "Left=5\r\n"
                                  "[Other]\r\n"
                                  "DataPath=/wrong\r\n"
                                  "  [ settings ]  \r\n"
                                  "; a comment=with equals\r\n"
                                  "  DataPath  =  C:\\games\\tex=1\r\n"
                                  "this line means nothing\r\n"
                                  "width=abc\r\n"
                                  "Height= 600 \r\n"
                                  "O2Path=\r\n");
    TIniFile ini(path);
    const QString s = QStringLiteral("Settings");
    EXPECT_EQ(ini.ReadString(s, QStringLiteral("DataPath"), {}), QStringLiteral("C:\\games\\tex=1"));
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("Width"), 819), 819);  // text counts as missing
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("Height"), 1), 600);
    EXPECT_EQ(ini.ReadInteger(s, QStringLiteral("Left"), 3), 3);  // outside the section
    ASSERT_TRUE(ini.Value(s, QStringLiteral("O2Path")).has_value());
    EXPECT_EQ(*ini.Value(s, QStringLiteral("O2Path")), QString());
    EXPECT_FALSE(ini.Value(s, QStringLiteral("; a comment")).has_value());
}

TEST(IniFile, WritesKeysInOrderAndKeepsOtherLines) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[Other]\nx=1\n\n[Settings]\nTop=3\n\n[Tail]\ny=2\n");
    TIniFile ini(path);
    const QString s = QStringLiteral("Settings");
    ini.WriteString(s, QStringLiteral("LastDir"), QStringLiteral("/home/u/models"));
    ini.WriteString(s, QStringLiteral("O2Path"), QString());
    ini.WriteInteger(s, QStringLiteral("Top"), -20);
    ini.WriteString(s, QStringLiteral("Weird"), QStringLiteral("a\\b=c"));
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadRaw(path), QByteArray("[Other]\nx=1\n\n[Settings]\nTop=-20\nLastDir=/home/u/models\nO2Path=\n"
                                        "Weird=a\\b=c\n\n[Tail]\ny=2\n"));
    TIniFile again(path);
    EXPECT_EQ(again.ReadString(s, QStringLiteral("Weird"), {}), QStringLiteral("a\\b=c"));
    EXPECT_EQ(again.ReadInteger(s, QStringLiteral("Top"), 0), -20);
}

TEST(IniFile, NewFileGetsTheSection) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Setting.def"));
    TIniFile ini(path);
    ini.WriteString(QStringLiteral("Settings"), QStringLiteral("LastDir"), QStringLiteral("/m"));
    ini.WriteInteger(QStringLiteral("Settings"), QStringLiteral("Left"), 10);
    ASSERT_TRUE(ini.Save());
    EXPECT_EQ(ReadRaw(path), QByteArray("[Settings]\nLastDir=/m\nLeft=10\n"));
}

TEST(IniFile, UnwritableFileFailsAndLeavesTheOldOne) {
    QTemporaryDir dir;
    const QString path = WriteRaw(dir, "[Settings]\nLeft=1\n");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    TIniFile ini(path);
    ini.WriteInteger(QStringLiteral("Settings"), QStringLiteral("Left"), 2);
    QString error;
    const bool saved = ini.Save(&error);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (saved) GTEST_SKIP() << "running with permissions that ignore a read-only folder";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(ReadRaw(path), QByteArray("[Settings]\nLeft=1\n"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST(IniFile, SaveIntoAMissingFolderFails) {
    QTemporaryDir dir;
    TIniFile ini(dir.filePath(QStringLiteral("no/such/Setting.def")));
    ini.WriteInteger(QStringLiteral("Settings"), QStringLiteral("Left"), 2);
    QString error;
    EXPECT_FALSE(ini.Save(&error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(SettingsLocation, BesideTheExecutableWhenWritable) {
    QTemporaryDir exe;
    QTemporaryDir config;
    const QString exeDir = exe.path() + QLatin1Char('/');
    EXPECT_EQ(SettingsFilePath(exeDir, config.path()), exeDir + QStringLiteral("Setting.def"));
}

TEST(SettingsLocation, ConfigFolderWhenTheExecutablesFolderIsNot) {
    QTemporaryDir config;
    const QString configDir = config.filePath(QStringLiteral("vistrel"));
    // a folder that does not exist cannot be written
    EXPECT_EQ(SettingsFilePath(QStringLiteral("/nonexistent-vistrel-dir/"), configDir),
              configDir + QStringLiteral("/Setting.def"));
    EXPECT_TRUE(QDir(configDir).exists());
}
