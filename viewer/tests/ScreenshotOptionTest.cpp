// vistrel --screenshot: its arguments, and the program itself run on models
// of every kind (under the display the tests run on).
#include "P3dmodell.h"
#include "ScreenshotOption.h"
#include "TextureEncoder.h"
#include "ViewerModels.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

TEST(ScreenshotArgumentsTest, Defaults) {
    TScreenshotOptions options;
    QString error;
    ASSERT_TRUE(ParseScreenshotArguments({"--screenshot", "out.png", "tank.p3d"}, options, error))
        << error.toStdString();
    EXPECT_EQ(options.Output, QStringLiteral("out.png"));
    EXPECT_EQ(options.File, QStringLiteral("tank.p3d"));
    EXPECT_EQ(options.Size, QSize(800, 600));
    EXPECT_EQ(options.Lod, 0);
    EXPECT_TRUE(options.Selection.isEmpty());
    EXPECT_EQ(options.Rotate, (std::array<float, 3>{0, 0, 0}));
    EXPECT_FALSE(options.HasDataDir);
}

TEST(ScreenshotArgumentsTest, EveryOption) {
    TScreenshotOptions options;
    QString error;
    ASSERT_TRUE(ParseScreenshotArguments({"tank.p3d", "--size", "320x200", "--lod", "2", "--selection", "wheel 1",
                                          "--rotate", "10,-20.5, 30", "--data", "/data", "--screenshot", "a.png"},
                                         options, error))
        << error.toStdString();
    EXPECT_EQ(options.Size, QSize(320, 200));
    EXPECT_EQ(options.Lod, 2);
    EXPECT_EQ(options.Selection, QStringLiteral("wheel 1"));
    EXPECT_EQ(options.Rotate, (std::array<float, 3>{10, -20.5f, 30}));
    EXPECT_TRUE(options.HasDataDir);
    EXPECT_EQ(options.DataDir, QStringLiteral("/data"));
    EXPECT_EQ(options.Output, QStringLiteral("a.png"));
    EXPECT_EQ(options.File, QStringLiteral("tank.p3d"));
    EXPECT_FALSE(options.HasLight);
    EXPECT_FALSE(options.Transparent || options.Vertexes || options.Ground || options.Axis);
    EXPECT_EQ(options.Opacity, 20);
    ASSERT_TRUE(ParseScreenshotArguments({"--screenshot=b.png", "--light", "-800,0,800", "--show", "axis,Ground",
                                          "--opacity=0", "--show=transparent", "t.p3d"},
                                         options, error))
        << error.toStdString();
    EXPECT_EQ(options.Output, QStringLiteral("b.png"));
    EXPECT_TRUE(options.HasLight);
    EXPECT_EQ(options.Light, (std::array<int, 3>{-800, 0, 800}));
    EXPECT_TRUE(options.Axis);
    EXPECT_TRUE(options.Ground);
    EXPECT_TRUE(options.Transparent);
    EXPECT_FALSE(options.Vertexes);
    EXPECT_EQ(options.Opacity, 0);
    // "--" ends the options.
    ASSERT_TRUE(ParseScreenshotArguments({"--screenshot", "a.png", "--", "--odd.p3d"}, options, error));
    EXPECT_EQ(options.File, QStringLiteral("--odd.p3d"));
}

TEST(ScreenshotArgumentsTest, WrongArgumentsAreRefused) {
    const QList<QStringList> wrong = {
        {"tank.p3d"},
        {"--screenshot", "a.png"},
        {"--screenshot", "a.png", "one.p3d", "two.p3d"},
        {"--screenshot"},
        {"--screenshot", "a.png", "--size", "800", "t.p3d"},
        {"--screenshot", "a.png", "--size", "0x10", "t.p3d"},
        {"--screenshot", "a.png", "--size", "axb", "t.p3d"},
        {"--screenshot", "a.png", "--lod", "-1", "t.p3d"},
        {"--screenshot", "a.png", "--lod", "x", "t.p3d"},
        {"--screenshot", "a.png", "--rotate", "1,2", "t.p3d"},
        {"--screenshot", "a.png", "--rotate", "1,2,nan", "t.p3d"},
        {"--screenshot", "a.png", "--frobnicate", "t.p3d"},
        {"--screenshot", "a.png", "t.p3d", "--lod"},
        {"--screenshot", "a.png", "--light", "0,0,801", "t.p3d"},
        {"--screenshot", "a.png", "--light", "0,0", "t.p3d"},
        {"--screenshot", "a.png", "--show", "axis,sky", "t.p3d"},
        {"--screenshot", "a.png", "--opacity", "101", "t.p3d"},
        {"--screenshot", "a.png", "--opacity=", "t.p3d"},
    };
    for (const QStringList& arguments : wrong) {
        TScreenshotOptions options;
        QString error;
        EXPECT_FALSE(ParseScreenshotArguments(arguments, options, error)) << arguments.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(ScreenshotArgumentsTest, CommandRecognition) {
    EXPECT_TRUE(IsScreenshotCommand({"tank.p3d", "--screenshot", "a.png"}));
    EXPECT_TRUE(IsScreenshotCommand({"--screenshot=a.png", "tank.p3d"}));
    EXPECT_FALSE(IsScreenshotCommand({"tank.p3d"}));
    EXPECT_FALSE(IsScreenshotCommand({"--", "--screenshot"}));
    EXPECT_TRUE(IsHelpCommand({"--help"}));
    EXPECT_TRUE(IsHelpCommand({"-h"}));
    EXPECT_FALSE(IsHelpCommand({"tank.p3d", "--help"}));
    EXPECT_TRUE(UsageText().contains(QStringLiteral("display")));
}

// ------------------------------------------------------------ the program

struct TRun {
    int Status = -1;
    QString Errors;
    QString Output;
};

TRun RunVistrel(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(VISTREL_EXECUTABLE), arguments);
    TRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.Errors = QString::fromLocal8Bit(process.readAllStandardError());
    run.Output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return run;
}

class ScreenshotProgramTest : public ::testing::Test {
protected:
    TModelFiles files;
    QString Out(const QString& name = QStringLiteral("shot.png")) const { return files.File(name); }
};

// What the picture shows is checked against baselines (tests/pictures); here
// what they cannot say: the default size, what is said on standard error.
TEST_F(ScreenshotProgramTest, TheSampleWithItsTextures) {
    const TRun run = RunVistrel({"--screenshot", Out(), "--data", VISTREL_SAMPLES_DIR, "--selection", "turret",
                                 VISTREL_SAMPLES_DIR "/tank.p3d"});
    EXPECT_EQ(run.Status, 0) << run.Errors.toStdString();
    EXPECT_EQ(run.Errors.toStdString(), "");
    EXPECT_EQ(QImage(Out()).size(), QSize(800, 600));

    // Without them: one line, however many are missing.
    ASSERT_TRUE(QDir().mkpath(files.File(QStringLiteral("none"))));
    const TRun plain = RunVistrel({"--screenshot", Out(), "--size", "40x30", "--data",
                                   files.File(QStringLiteral("none")), VISTREL_SAMPLES_DIR "/tank.p3d"});
    EXPECT_EQ(plain.Status, 0);
    EXPECT_EQ(plain.Errors.toStdString(),
              "vistrel: 5 of 5 textures not found: data\\hull_dxt1.paa, data\\turret_4444.paa, "
              "data\\wheels_1555.paa and 2 more; drawn untextured\n");
}

// Names that reach above the root are not looked up, and named apart.
TEST_F(ScreenshotProgramTest, TexturesOutsideTheRootAreNamedInTheWarningLine) {
    files.WriteBytes(QStringLiteral("x.paa"), EncodeTexture(TexImage(8, 8, {0, 0, 255, 255}), TexFormat::Dxt1));
    BLod lod = QuadLod(-1, 1, -1, 1, {-3, -3, -3}, {3, 3, 3}, 0);
    lod.textures = {"..\\x.paa", "gone.paa"};
    QDir().mkpath(files.File(QStringLiteral("data")));
    const TRun run = RunVistrel({"--screenshot", Out(), "--size", "40x30", "--data", files.File(QStringLiteral("data")),
                                 files.Write(QStringLiteral("data/m.p3d"), ModelWith({lod}))});
    EXPECT_EQ(run.Errors.toStdString(),
              "vistrel: 1 of 2 textures not found: gone.paa; 1 of 2 textures outside the "
              "texture root: ..\\x.paa; drawn untextured\n");
}

TEST_F(ScreenshotProgramTest, PartialModelIsDrawnWithStatusOne) {
    const BModel model = ModelWith({QuadLod(-1, 1, -1, 1), QuadLod(0, 1, 0, 1)});
    std::vector<uint8_t> bytes = BuildModel(model);
    bytes.resize(LodBodyOffsets(model)[1] + 40);
    const TRun run = RunVistrel({"--screenshot", Out(), files.WriteBytes(QStringLiteral("cut.p3d"), bytes)});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Complete loading of P3d failed!"))) << run.Errors.toStdString();
    EXPECT_FALSE(QImage(Out()).isNull());
}

TEST_F(ScreenshotProgramTest, FilesOfEitherFormatOrNone) {
    // Unknown magic: the reader's message, no LOD, no picture.
    TRun run = RunVistrel({"--screenshot", Out(), files.WriteText(QStringLiteral("x.p3d"), "XXXXdata")});
    EXPECT_EQ(run.Status, 1);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Incorrect Format!"))) << run.Errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out()));
    // An editable model is drawn like a binarized one.
    vistrel::TP3dModell binarized(
        files.Write(QStringLiteral("b.p3d"), ModelWith({QuadLod(-1, 1, -1, 1)})).toStdString());
    ASSERT_TRUE(binarized.WriteMLOD(files.File(QStringLiteral("m.p3d")).toStdString()));
    run = RunVistrel({"--screenshot", Out(), files.File(QStringLiteral("m.p3d"))});
    EXPECT_EQ(run.Status, 0) << run.Errors.toStdString();
    EXPECT_TRUE(QFileInfo::exists(Out()));
    QFile::remove(Out());
    // A file that cannot be read.
    run = RunVistrel({"--screenshot", Out(), files.File(QStringLiteral("gone.p3d"))});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Cannot open file"))) << run.Errors.toStdString();
    run = RunVistrel({"--screenshot", Out(), files.WriteText(QStringLiteral("s.p3d"), "BM")});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Stream read error"))) << run.Errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out()));
}

TEST_F(ScreenshotProgramTest, WrongArgumentsEndWithStatusTwo) {
    const QString model = files.Write(QStringLiteral("quad.p3d"), ModelWith({QuadLod(-1, 1, -1, 1)}));
    TRun run = RunVistrel({"--screenshot", Out(), "--size", "big", model});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("--size"))) << run.Errors.toStdString();
    run = RunVistrel({"--screenshot", Out(), "--lod", "3", model});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("--lod 3"))) << run.Errors.toStdString();
    run = RunVistrel({"--screenshot", Out(), "--selection", "nothing", model});
    EXPECT_EQ(run.Status, 2);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("face, empty"))) << run.Errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Out()));
    run = RunVistrel({"--screenshot", files.File(QStringLiteral("no/such/folder/a.png")), model});
    EXPECT_EQ(run.Status, 2);
}

TEST_F(ScreenshotProgramTest, NeedsNoDisplay) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(VISTREL_EXECUTABLE), {QStringLiteral("--help")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0);
    const QString usage = QString::fromLocal8Bit(process.readAllStandardOutput());
    EXPECT_TRUE(usage.contains(QStringLiteral("--screenshot OUT.png")));
    EXPECT_TRUE(usage.contains(QStringLiteral("Needs no display")));

    // A picture of the sample with no display server to talk to.
    process.start(QStringLiteral(VISTREL_EXECUTABLE),
                  {QStringLiteral("--screenshot"), Out(), QStringLiteral("--size"), QStringLiteral("160x120"),
                   QStringLiteral(VISTREL_SAMPLES_DIR "/tank.p3d")});
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_EQ(QImage(Out()).size(), QSize(160, 120));
}

}  // namespace
