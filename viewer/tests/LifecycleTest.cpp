// Start-up and shutdown: the settings file written at close and read at the
// next start, the first-run prompt, the command-line argument, and the
// save-as-MLOD command.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "F_main.h"
#include "Globals.h"
#include "MlodReader.h"
#include "P3dBuilder.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"
#include "TextureData.h"

using namespace vistrel;
using vistrel::test::TWatchedMain;

namespace {

QByteArray ReadRaw(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct DataPathGuard {
    QString saved = DataPath;
    ~DataPathGuard() { DataPath = saved; }
};

BModel Triangle() {
    BModel m;
    BLod lod;
    lod.vertexInfo = {0, 0, 0};
    lod.uv = {{0, 0}, {1, 0}, {0, 1}};
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    lod.unique = {0, 1, 2};
    lod.link = {0, 1, 2};
    BPolygon p;
    p.corners = {0, 1, 2};
    lod.polygons = {p};
    m.lods = {lod};
    return m;
}

}  // namespace

TEST(Settings, WrittenAtCloseInOrderAndReadAtTheNextStart) {
    DataPathGuard guard;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Setting.def"));
    QDir(dir.path()).mkpath(QStringLiteral("models"));
    const QString models = QDir::cleanPath(dir.filePath(QStringLiteral("models")));
    {
        TScriptedPrompt prompt;
        TMain main(&prompt);
        main.SettingsFileOverride = settings;
        main.show();
        ASSERT_TRUE(main.SetDirectory(models));
        main.O2Path = QStringLiteral("/opt/oxygen/O2.exe");
        DataPath = QStringLiteral("/data/tex with blanks");
        main.GroundTexture = QStringLiteral("/data/tex with blanks/ground.paa");
        main.move(40, 50);
        main.resize(900, 700);
        QCoreApplication::processEvents();
        main.SetFileColumnWidth(251);  // the splitter dragged, the picker's size given
        main.PickDirSize = QSize(333, 444);
        main.FormClose(nullptr);
        EXPECT_TRUE(prompt.Messages.isEmpty()) << prompt.Messages.join(QLatin1Char('|')).toStdString();
        const QRect frame = main.frameGeometry();
        const QByteArray expected = "[Settings]\nLastDir=" + models.toUtf8() +
                                    "\nO2Path=/opt/oxygen/O2.exe\nDataPath=/data/tex with blanks\n"
                                    "GroundTexture=/data/tex with blanks/ground.paa\n"
                                    "Left=" +
                                    QByteArray::number(frame.left()) + "\nTop=" + QByteArray::number(frame.top()) +
                                    "\nWidth=" + QByteArray::number(frame.width()) +
                                    "\nHeight=" + QByteArray::number(frame.height()) +
                                    "\nFileColumnWidth=251\nPickDirWidth=333\nPickDirHeight=444\n";
        EXPECT_EQ(ReadRaw(settings), expected);
    }
    DataPath.clear();
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.SettingsFileOverride = settings;
    main.show();
    main.InitTimerTimer();
    EXPECT_EQ(main.FileColumnWidth(), 251);
    EXPECT_EQ(main.PickDirSize, QSize(333, 444));
    EXPECT_EQ(main.CurrentDirectory(), models);
    EXPECT_EQ(main.O2Path, QStringLiteral("/opt/oxygen/O2.exe"));
    EXPECT_EQ(DataPath, QStringLiteral("/data/tex with blanks"));
    EXPECT_EQ(main.OpenGroundTexture.InitialDir, DataPath);
    EXPECT_EQ(main.GroundTexture, QStringLiteral("/data/tex with blanks/ground.paa"));
    EXPECT_EQ(main.frameGeometry().width(), 900 + main.frameGeometry().width() - main.width());
    EXPECT_EQ(main.height(), 700);
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Vistrel v2.44"));
    // a texture root is known: no first-run prompt; a missing ground is skipped silently
    EXPECT_TRUE(prompt.Log.isEmpty()) << prompt.Log.join(QLatin1Char('|')).toStdString();
    EXPECT_FALSE(main.InitTimer->isActive());
}

TEST(Settings, FirstRunAsksForTheTextureRootThenGoesOn) {
    DataPathGuard guard;
    QTemporaryDir dir;
    TScriptedPrompt prompt;
    prompt.DirAnswers.push_back(QStringLiteral("/picked/root"));
    TWatchedMain main(&prompt);
    main.SettingsFileOverride = dir.filePath(QStringLiteral("Setting.def"));
    main.CommandLineFiles = {dir.filePath(QStringLiteral("gone.p3d"))};
    main.show();
    DataPath.clear();
    main.InitTimerTimer();
    EXPECT_EQ(DataPath, QStringLiteral("/picked/root"));
    const QStringList expected = {
        QStringLiteral("Message: Please select root directory for extracted texture pbo's.\n"
                       "They can also be changed later by using the 'Data Dir' button."),
        QStringLiteral("PickDirectory"),
        QStringLiteral("Message: ") + dir.filePath(QStringLiteral("gone.p3d")) + QStringLiteral("couldn't be found."),
    };
    EXPECT_EQ(prompt.Log, expected);
    EXPECT_TRUE(main.Loads.empty());
    // the new root is written at close
    main.FormClose(nullptr);
    EXPECT_NE(ReadRaw(main.SettingsFileOverride).indexOf("DataPath=/picked/root\n"), -1);
}

TEST(Settings, CancelledPickerLeavesTheRootEmptyAndAsksAgainNextTime) {
    DataPathGuard guard;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Setting.def"));
    for (int run = 0; run < 2; ++run) {
        TScriptedPrompt prompt;
        prompt.DirAnswers.push_back(std::nullopt);
        TMain main(&prompt);
        main.SettingsFileOverride = settings;
        main.show();
        DataPath.clear();
        main.InitTimerTimer();
        EXPECT_EQ(prompt.PickDirectoryCalls, 1) << "run " << run;
        EXPECT_TRUE(DataPath.isEmpty());
        main.FormClose(nullptr);
    }
    EXPECT_NE(ReadRaw(settings).indexOf("DataPath=\n"), -1);
}

TEST(Settings, IntegerKeysHoldingTextAndForeignFilesFallBackToDefaults) {
    DataPathGuard guard;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Setting.def"));
    WriteRaw(settings,
             "junk line\r\n[SETTINGS]\r\n DataPath = /tex\r\nWidth=wide\r\nHeight=640\r\n"
             "LastDir=/no/such/folder/anywhere\r\nFileColumnWidth=wide\r\nPickDirWidth=99999\r\nPickDirHeight=-5\r\n");
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.SettingsFileOverride = settings;
    main.show();
    QCoreApplication::processEvents();
    const int widthBefore = main.width();
    const QString dirBefore = main.CurrentDirectory();
    main.InitTimerTimer();
    EXPECT_EQ(DataPath, QStringLiteral("/tex"));
    EXPECT_EQ(main.width(), widthBefore);
    EXPECT_EQ(main.height(), 640 - (main.frameGeometry().height() - main.height()));
    // the file column as designed; the picker no larger than the screen, no smaller than designed
    EXPECT_EQ(main.FileColumnWidth(), 134);
    EXPECT_EQ(main.PickDirSize, QSize(main.screen()->availableGeometry().width(), 215));
    // a folder that no longer exists leaves the browser where it was, silently
    EXPECT_EQ(main.CurrentDirectory(), dirBefore);
    EXPECT_TRUE(prompt.Log.isEmpty()) << prompt.Log.join(QLatin1Char('|')).toStdString();
}

TEST(Settings, UnwritableSettingsAreReportedOnceAndTheWindowCloses) {
    QTemporaryDir dir;
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.SettingsFileOverride = dir.filePath(QStringLiteral("missing/folder/Setting.def"));
    main.show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(main.close());
    ASSERT_EQ(prompt.Messages.size(), 1);
    EXPECT_TRUE(prompt.Messages[0].startsWith(QStringLiteral("The settings could not be saved to ") +
                                              QDir::toNativeSeparators(main.SettingsFileOverride)))
        << prompt.Messages[0].toStdString();
    EXPECT_FALSE(main.isVisible());
}

TEST(StartUp, FirstCommandLineArgumentIsOpenedFromTheCommandLine) {
    DataPathGuard guard;
    QTemporaryDir dir;
    const QString model = dir.filePath(QStringLiteral("tank.p3d"));
    WriteRaw(model, "BMDL");
    TScriptedPrompt prompt;
    TWatchedMain main(&prompt);
    main.SettingsFileOverride = dir.filePath(QStringLiteral("Setting.def"));
    const QString given = dir.filePath(QStringLiteral("given root"));
    ASSERT_TRUE(QDir().mkpath(given));
    main.DataPathOverride = given;
    main.CommandLineFiles = {model, dir.filePath(QStringLiteral("ignored.p3d"))};
    main.show();
    main.InitTimerTimer();
    ASSERT_EQ(main.Loads.size(), 1u);
    EXPECT_EQ(main.Loads[0].first, model);
    EXPECT_TRUE(main.Loads[0].second);
    EXPECT_EQ(DataPath, given);
    EXPECT_EQ(prompt.PickDirectoryCalls, 0);
    // The root given for the run is not saved: the settings keep theirs.
    WriteRaw(main.SettingsFileOverride, "[Settings]\nDataPath=/saved/root\n");
    main.InitTimerTimer();
    main.FormClose(nullptr);
    EXPECT_NE(ReadRaw(main.SettingsFileOverride).indexOf("DataPath=/saved/root\n"), -1);
    prompt.DirAnswers.push_back(QStringLiteral("/picked/root"));  // unless "Data Dir" picks another
    main.B_PickDataDirClick();
    main.FormClose(nullptr);
    EXPECT_NE(ReadRaw(main.SettingsFileOverride).indexOf("DataPath=/picked/root\n"), -1);
    // One that is no folder is said so, and the run goes on as without it.
    main.DataPathOverride = dir.filePath(QStringLiteral("gone"));
    main.InitTimerTimer();
    EXPECT_EQ(prompt.Messages.value(prompt.Messages.size() - 1),
              QStringLiteral("--data %1: no such folder\nThe textures are looked up as if it "
                             "had not been given.")
                  .arg(dir.filePath(QStringLiteral("gone"))));
    EXPECT_EQ(DataPath, QStringLiteral("/picked/root"));
}

// A texture file opened from a file manager is shown alone in the view,
// fitted, then on the ground for the run; it loads no model and does not
// become the saved ground texture.
TEST(StartUp, TextureFileFromTheCommandLineIsShownAloneThenOnTheGround) {
    DataPathGuard guard;
    QTemporaryDir dir;
    TScriptedPrompt prompt;
    TWatchedMain main(&prompt);
    main.SettingsFileOverride = dir.filePath(QStringLiteral("Setting.def"));
    WriteRaw(main.SettingsFileOverride, "[Settings]\nDataPath=/r\nGroundTexture=\n");
    const QString texture = dir.filePath(QStringLiteral("skin.unusual"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VISTREL_SAMPLES_DIR "/data/turret_4444.paa"), texture));
    main.CommandLineFiles = {texture};
    main.show();
    main.InitTimerTimer();
    EXPECT_TRUE(main.Loads.empty());
    EXPECT_TRUE(prompt.Messages.isEmpty()) << prompt.Messages.join(u'|').toStdString();
    EXPECT_TRUE(main.CB_Ground->isChecked());
    ASSERT_NE(main.GroundTextureData, nullptr);
    // the picture alone in the view, fitted: the background beside it
    const QImage frame = main.OpenGl->CaptureFrame().convertToFormat(QImage::Format_RGB32);
    const QPoint centre(frame.width() / 2, frame.height() / 2);
    const auto decoded = vistrel::DecodeTextureFile(texture.toStdString());
    ASSERT_TRUE(decoded);
    const uint8_t* middle =
        &decoded->bgra[(std::size_t(decoded->height / 2) * decoded->width + decoded->width / 2) * 4];
    const QRgb shown = frame.pixel(centre);
    EXPECT_NEAR(qRed(shown), middle[2], 24);
    EXPECT_NEAR(qGreen(shown), middle[1], 24);
    EXPECT_NEAR(qBlue(shown), middle[0], 24);
    const QPoint beside = frame.width() > frame.height() ? QPoint(2, centre.y()) : QPoint(centre.x(), 2);
    EXPECT_NE(frame.pixel(beside), shown);
    main.FormClose(nullptr);
    EXPECT_NE(ReadRaw(main.SettingsFileOverride).indexOf("GroundTexture=\n"), -1);
}

TEST(StartUp, TimerRunsTheStepOnceAfterTheWindowIsShown) {
    QTemporaryDir dir;
    TScriptedPrompt prompt;
    prompt.DirAnswers.push_back(QStringLiteral("/r"));
    TMain main(&prompt);
    main.SettingsFileOverride = dir.filePath(QStringLiteral("Setting.def"));
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Vistrel v1.2"));
    main.show();
    EXPECT_TRUE(vistrel::test::WaitFor([&] { return main.windowTitle() == QStringLiteral("Vistrel v2.44"); }));
    QTest::qWait(450);
    EXPECT_LE(prompt.PickDirectoryCalls, 1);
}

TEST(SaveCommand, ProposedNames) {
    EXPECT_EQ(TMain::ProposedMlodName(QStringLiteral("/m/tank.p3d")), QStringLiteral("tank_MLOD.p3d"));
    EXPECT_EQ(TMain::ProposedMlodName(QStringLiteral("/m/a.b.p3d")), QStringLiteral("a.b_MLOD.p3d"));
    EXPECT_EQ(TMain::ProposedMlodName(QStringLiteral("/m/tank")), QStringLiteral("tank_MLOD.p3d"));
    EXPECT_EQ(TMain::ProposedMlodName(QStringLiteral("/m.d/tank")), QStringLiteral("tank_MLOD.p3d"));
}

TEST(SaveCommand, NothingWithoutAModel) {
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.B_SaveClick();
    EXPECT_TRUE(prompt.Log.isEmpty());
}

TEST(SaveCommand, WritesTheModelThroughTheDialog) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("a.b.p3d"));
    WriteFile(source.toStdString(), BuildModel(Triangle()));
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.Model = std::make_unique<TP3dModell>(source.toStdString());
    const QString target = dir.filePath(QStringLiteral("out_MLOD.p3d"));

    prompt.SaveAnswers.push_back(QString());  // cancelled: nothing happens
    main.B_SaveClick();
    EXPECT_FALSE(QFile::exists(target));

    prompt.SaveAnswers.push_back(target);
    main.B_SaveClick();
    ASSERT_EQ(prompt.SaveRequests.size(), 2);
    const TFileDialogSettings& dialog = prompt.SaveRequests[1];
    EXPECT_EQ(dialog.FileName, QStringLiteral("a.b_MLOD.p3d"));
    EXPECT_EQ(dialog.Filter, QStringLiteral("MLOD Format (*.p3d)"));
    EXPECT_EQ(dialog.DefaultExt, QStringLiteral("p3d"));
    EXPECT_TRUE(dialog.OverwritePrompt);
    EXPECT_EQ(dialog.InitialDir, dir.path());  // the shown model's folder, the dialog having none of its own
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("MLOD saved")});
    const MFile file = ReadMlod(ReadFileBytes(target.toStdString()));
    ASSERT_EQ(file.lods.size(), 1u);
    EXPECT_EQ(file.lods[0].faces.size(), 1u);
}

TEST(SaveCommand, WriteErrorsReachTheErrorBox) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("tank.p3d"));
    WriteFile(source.toStdString(), BuildModel(Triangle()));
    TScriptedPrompt prompt;
    TMain main(&prompt);
    main.Model = std::make_unique<TP3dModell>(source.toStdString());
    const QString target = dir.filePath(QStringLiteral("missing/out.p3d"));
    prompt.SaveAnswers.push_back(target);
    // through the wired button, as the user clicks it
    main.B_Save->click();
    ASSERT_EQ(prompt.Errors.size(), 1);
    EXPECT_EQ(prompt.Errors[0], QStringLiteral("Cannot create file ") + target);
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST(StartUp, EditableFileOnTheCommandLineGoesToTheEditorAndCloses) {
    DataPathGuard guard;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Setting.def"));
    const QString editor = dir.filePath(QStringLiteral("oxygen"));
    WriteRaw(editor, "#!/bin/sh\n");
    WriteRaw(settings, "[Settings]\nDataPath=/tex\nO2Path=" + editor.toUtf8() + "\n");
    const QString model = dir.filePath(QStringLiteral("my house.p3d"));
    WriteRaw(model, QByteArray("MLOD\xCD\xCC\x8C\x3F\0\0\0\0", 12));

    TScriptedPrompt prompt;
    TMain main(&prompt);
    QStringList launched;
    main.Launcher = [&](const QString& program, const QStringList& arguments, const QString& folder) {
        launched << program << arguments << folder;
        return true;
    };
    main.SettingsFileOverride = settings;
    main.CommandLineFiles = {model};
    main.show();
    QCoreApplication::processEvents();
    main.InitTimerTimer();
    // no question from the command line; the bare name, unquoted, in its folder
    EXPECT_TRUE(prompt.Questions.isEmpty());
    EXPECT_EQ(launched, (QStringList{editor, QStringLiteral("my house.p3d"), dir.path() + QLatin1Char('/')}));
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(main.Model);
    // closing wrote the settings, the editor's path among them
    EXPECT_NE(ReadRaw(settings).indexOf("O2Path=" + editor.toUtf8() + "\n"), -1);
}
