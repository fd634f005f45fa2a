// vistrel-thumbnailer run as a file manager runs it, with no display server
// to talk to: the picture's size, how much of it the model or texture takes,
// the transparent background, and the files it refuses.
#include "P3dmodell.h"
#include "TextureEncoder.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kSample = QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d");

int Thumbnail(const QStringList& arguments) {
    QProcess thumbnailer;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    thumbnailer.setProcessEnvironment(environment);
    thumbnailer.start(QStringLiteral(VISTREL_THUMBNAILER), arguments);
    if (!thumbnailer.waitForFinished(60000)) return -1;
    return thumbnailer.exitStatus() == QProcess::NormalExit ? thumbnailer.exitCode() : -2;
}

}  // namespace

TEST(Thumbnailer, EditableFilesToo_UnreadableOnesGiveNothing) {
    QTemporaryDir dir;
    vistrel::TP3dModell model(kSample.toStdString());
    const QString editable = dir.filePath(QStringLiteral("tank_mlod.p3d"));
    ASSERT_TRUE(model.WriteMLOD(editable.toStdString()));
    const QString out = dir.filePath(QStringLiteral("editable.png"));
    EXPECT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("64"), editable, out}), 0);
    EXPECT_EQ(QImage(out).size(), QSize(64, 64));

    const QString notModel = dir.filePath(QStringLiteral("text.p3d"));
    QFile text(notModel);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a model at all");
    text.close();
    for (const QString& input : {notModel, dir.filePath(QStringLiteral("gone.p3d"))}) {
        const QString none = dir.filePath(QStringLiteral("none.png"));
        EXPECT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("64"), input, none}), 1) << input.toStdString();
        EXPECT_FALSE(QFile::exists(none));
    }
    EXPECT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("0"), kSample, dir.filePath(QStringLiteral("a.png"))}),
              2);
}

// A texture file gives the picture it holds, fitted into the square with its
// proportions (transparent above and below a wide one), its transparency
// kept; file managers know it by name and by content. A texture that is cut
// gives nothing.
TEST(Thumbnailer, TextureFilesShowTheirPictureFitted) {
    QTemporaryDir dir;
    vistrel::TexImage wide(64, 16, {0, 0, 255, 255});  // red, its right half half transparent green
    for (int y = 0; y < 16; ++y)
        for (int x = 32; x < 64; ++x) wide.Set(x, y, {0, 255, 0, 128});
    const std::vector<uint8_t> bytes = vistrel::EncodeTexture(wide, vistrel::TexFormat::Argb4444);
    const QString texture = dir.filePath(QStringLiteral("Decal.PAC"));
    QFile file(texture);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    file.close();

    const QString out = dir.filePath(QStringLiteral("decal.png"));
    ASSERT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("32"), texture, out}), 0);
    const QImage picture = QImage(out).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(picture.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(picture.pixel(16, 3)), 0);   // above the 32 x 8 picture
    EXPECT_EQ(qAlpha(picture.pixel(16, 28)), 0);  // below it
    EXPECT_EQ(picture.pixel(4, 15), qRgba(255, 0, 0, 255));
    const QRgb green = picture.pixel(28, 15);
    EXPECT_EQ(qRed(green), 0);
    EXPECT_EQ(qGreen(green), 255);
    EXPECT_NEAR(qAlpha(green), 136, 1);  // 128 in four bits

    QFile::resize(texture, qint64(bytes.size() / 2));
    const QString none = dir.filePath(QStringLiteral("none.png"));
    EXPECT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("32"), texture, none}), 1);
    EXPECT_FALSE(QFile::exists(none));

    // the MIME types as installed, read by Qt's own database
    QDir(dir.path()).mkpath(QStringLiteral("mime/packages"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_DATA_DIR "/vistrel-p3d.xml"),
                            dir.filePath(QStringLiteral("mime/packages/vistrel-p3d.xml"))));
    qputenv("XDG_DATA_DIRS", (dir.path() + QStringLiteral(":/usr/share")).toLocal8Bit());
    const QMimeDatabase types;
    for (const char* name : {"a.paa", "B.PAC"})
        EXPECT_EQ(types.mimeTypeForFile(QString::fromLatin1(name), QMimeDatabase::MatchExtension).name(),
                  QStringLiteral("image/x-vistrel-paa"))
            << name;
    const QString unnamed = dir.filePath(QStringLiteral("unnamed"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_SAMPLES_DIR "/data/camo_pal.pac"), unnamed));
    EXPECT_EQ(types.mimeTypeForFile(unnamed, QMimeDatabase::MatchContent).name(),
              QStringLiteral("image/x-vistrel-paa"));
}
