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
