// vistrel-thumbnailer run as a file manager runs it, with no display server
// to talk to: the picture's size, how much of it the model takes, the
// transparent background, and the files it refuses.
#include "P3dmodell.h"

#include <QDir>
#include <QFile>
#include <QImage>
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

TEST(Thumbnailer, TheSampleFillsMostOfASizeBoundedPicture) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("tank.png"));
    ASSERT_EQ(Thumbnail({QStringLiteral("-s"), QStringLiteral("128"), kSample, out}), 0);
    const QImage picture(out);
    ASSERT_EQ(picture.size(), QSize(128, 128));
    ASSERT_TRUE(picture.hasAlphaChannel());
    int covered = 0, left = 128, right = -1, top = 128, bottom = -1;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x)
            if (qAlpha(picture.pixel(x, y)) > 0) {
                ++covered;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);  // transparent around the model
    EXPECT_GT(covered, 128 * 128 / 5);
    // framed tightly: the model reaches across most of the picture one way
    EXPECT_GT(std::max(right - left, bottom - top), 100);
}

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
