// Opening a chosen file: the LOD list, the caption, the camera fit, the wait
// panel, the debug log, the editor hand-off of editable files, drops, and
// files that cannot be read or are not models.
#include "Globals.h"
#include "ListBox.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"
#include "ViewerModels.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// A prompt that also notes whether the wait panel was up when a reader
// message came.
class TWatchingPrompt : public TScriptedPrompt {
public:
    QLabel* Wait = nullptr;
    QList<bool> WaitShownAtMessage;
    void Message(const QString& text) override {
        WaitShownAtMessage << (Wait && Wait->isVisible());
        TScriptedPrompt::Message(text);
    }
};

struct TLaunch {
    QString Program;
    QStringList Arguments;
    QString WorkingDirectory;
};

class LoadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TMain>(&prompt);
        prompt.Wait = window->P_Wait;
        window->Launcher = [this](const QString& program, const QStringList& arguments, const QString& folder) {
            launches.push_back({program, arguments, folder});
            return true;
        };
    }
    void Show() {
        window->show();
        // The start-up step is not part of these tests.
        window->InitTimer->stop();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    QStringList LodNames() const {
        QStringList names;
        for (int i = 0; i < window->LB_LODs->count(); ++i) names << window->LB_LODs->item(i)->text();
        return names;
    }
    // A binarized model with two LODs, loaded, as a starting point.
    void LoadTank() {
        const QString tank =
            files.Write(QStringLiteral("tank.p3d"), ModelWith({QuadLod(-1, 1, -1, 1), QuadLod(0, 1, 0, 1)}));
        window->LoadModel(tank, false);
        ASSERT_NE(window->Model, nullptr);
        ASSERT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44 [tank.p3d]"));
    }
    QString Editable(const QString& name = QStringLiteral("box.p3d")) {
        return files.WriteText(name, QByteArray("MLOD\x01\x01\x00\x00", 8));
    }
    QString Oxygen() { return files.WriteText(QStringLiteral("Oxygen.exe"), "#!/bin/sh\n"); }

    TModelFiles files;
    TWatchingPrompt prompt;
    std::unique_ptr<TMain> window;
    std::vector<TLaunch> launches;
};

// Sends a drop of the given files onto the window.
void DropFiles(QWidget* target, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

}  // namespace

TEST_F(LoadingTest, LodListNamesEveryLodFromItsResolution) {
    std::vector<BLod> lods;
    for (float resolution : {1.0f, 1000.0f, 1e13f, 1001.0f, 0.5f, 1e15f, 999.99994f}) {
        BLod lod = QuadLod(-1, 1, -1, 1);
        lod.resolution = resolution;
        lods.push_back(lod);
    }
    const QString path = files.Write(QStringLiteral("lods.p3d"), ModelWith(lods));
    window->LoadModel(path, false);
    ASSERT_NE(window->Model, nullptr);
    EXPECT_EQ(LodNames(), (QStringList{"LOD 1.000", "View - Gunner", "Geometry", "LOD 1001.000", "LOD 0.500", "Memory",
                                       "LOD 1000.000"}));
    // Every entry carries its LOD, in order.
    for (int i = 0; i < window->LB_LODs->count(); ++i)
        EXPECT_EQ(TMain::LodOf(window->LB_LODs->item(i)), window->Model->LODs[static_cast<std::size_t>(i)]);
    // Entry 0 is chosen and shown.
    EXPECT_EQ(window->LB_LODs->ItemIndex(), 0);
    EXPECT_EQ(window->L_Vertexes->text(), QStringLiteral("4"));
    EXPECT_EQ(window->LB_Selections->count(), 2);
    EXPECT_TRUE(prompt.Messages.isEmpty()) << prompt.Messages.join(QLatin1Char('|')).toStdString();
}

TEST_F(LoadingTest, CaptionNamesTheFileAndTheCameraIsFitted) {
    Show();
    const QString path =
        files.Write(QStringLiteral("tank.p3d"), ModelWith({QuadLod(-1, 1, -1, 1, {-1, -2, -3}, {1, 2, 3})}));
    window->LoadModel(path, false);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44 [tank.p3d]"));
    EXPECT_FLOAT_EQ(window->RotX, 10.0f);
    EXPECT_FLOAT_EQ(window->RotY, 0.0f);
    EXPECT_FLOAT_EQ(window->RotZ, 0.0f);
    EXPECT_FLOAT_EQ(window->PanX, 0.0f);
    EXPECT_FLOAT_EQ(window->PanY, 0.0f);
    EXPECT_NEAR(window->Distance, -0.6432, 1e-4);
    EXPECT_FALSE(window->P_Wait->isVisible());
}

// A model with nothing to show leaves the window showing no model: labels as
// at start, lists empty, no file in the caption (the released model's data
// stayed on show before).
TEST_F(LoadingTest, ModelWithoutLodsLeavesTheWindowShowingNoModel) {
    Show();
    LoadTank();
    window->RotY = 33;
    window->L_Vertexes->setText(QStringLiteral("kept"));
    const QString empty = files.Write(QStringLiteral("empty.p3d"), ModelWith({}));
    window->LoadModel(empty, false);
    ASSERT_NE(window->Model, nullptr);
    EXPECT_EQ(window->Model->LODs.Count(), 0);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));
    EXPECT_FLOAT_EQ(window->RotY, 33.0f);  // the camera stays
    // the extent strip too, which read "-" while the model had no selection chosen
    for (const QLabel* label : {window->L_Vertexes, window->L_Faces, window->L_Mass, window->L_MinPos, window->L_LWH,
                                window->L_Start, window->L_End})
        EXPECT_EQ(label->text(), QStringLiteral("0")) << label->objectName().toStdString();
    EXPECT_EQ(window->LB_Properties->rowCount(), 0);
}

TEST_F(LoadingTest, UnknownMagicIsReportedAndLeavesAModelWithoutLods) {
    Show();
    LoadTank();
    const QString other = files.WriteText(QStringLiteral("other.p3d"), "mlod and more");
    window->LoadModel(other, false);
    ASSERT_EQ(prompt.Messages, QStringList{QStringLiteral("Incorrect Format!")});
    EXPECT_EQ(prompt.WaitShownAtMessage, QList<bool>{false});
    EXPECT_TRUE(prompt.Questions.isEmpty());
    ASSERT_NE(window->Model, nullptr);
    EXPECT_EQ(window->Model->LODs.Count(), 0);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));
    EXPECT_TRUE(launches.empty());
}

TEST_F(LoadingTest, ReaderMessagesAreShownWithTheWaitPanelDown) {
    Show();
    std::vector<uint8_t> bytes = BuildModel(ModelWith({QuadLod(-1, 1, -1, 1), QuadLod(0, 1, 0, 1)}));
    // Cut inside the second LOD's body: the first is read, the second fails.
    const std::vector<std::size_t> starts = LodBodyOffsets(ModelWith({QuadLod(-1, 1, -1, 1), QuadLod(0, 1, 0, 1)}));
    bytes.resize(starts[1] + 40);
    const QString path = files.WriteBytes(QStringLiteral("cut.p3d"), bytes);
    window->LoadModel(path, false);
    ASSERT_FALSE(prompt.Messages.isEmpty());
    EXPECT_EQ(prompt.Messages.first(), QStringLiteral("Complete loading of P3d failed!\nSorry ;)"));
    // left up, it stayed painted under the box
    EXPECT_EQ(prompt.WaitShownAtMessage, QList<bool>(prompt.Messages.size(), false));
    EXPECT_FALSE(window->P_Wait->isVisible());
    // What was read is shown like a complete model.
    ASSERT_NE(window->Model, nullptr);
    EXPECT_FALSE(window->Model->Complete());
    EXPECT_GE(window->LB_LODs->count(), 1);
    EXPECT_EQ(window->LB_LODs->ItemIndex(), 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44 [cut.p3d]"));
}

TEST_F(LoadingTest, FileThatCannotBeOpenedShowsTheErrorBoxAndHoldsNoModel) {
    Show();
    LoadTank();
    const QString missing = files.File(QStringLiteral("gone.p3d"));
    DropFiles(window.get(), {missing});
    ASSERT_EQ(prompt.Errors, QStringList{QStringLiteral("Cannot open file ") + missing});
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_FALSE(window->P_Wait->isVisible());
    // No model on show: no file in the caption.
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));

    // A folder is no file either.
    QDir(files.Path()).mkdir(QStringLiteral("folder.p3d"));
    DropFiles(window.get(), {files.File(QStringLiteral("folder.p3d"))});
    ASSERT_EQ(prompt.Errors.size(), 2);
    EXPECT_EQ(prompt.Errors[1], QStringLiteral("Cannot open file ") + files.File(QStringLiteral("folder.p3d")));
}

TEST_F(LoadingTest, FileShorterThanTheMagicIsAReadError) {
    Show();
    LoadTank();
    DropFiles(window.get(), {files.WriteText(QStringLiteral("short.p3d"), "BMD")});
    ASSERT_EQ(prompt.Errors, QStringList{QStringLiteral("Stream read error")});
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST_F(LoadingTest, ReadErrorInsideTheConstructorHidesTheWaitPanelAndShowsNoModel) {
    Show();
    LoadTank();
    // The magic alone: the LOD count cannot be read.
    DropFiles(window.get(), {files.WriteText(QStringLiteral("magic.p3d"), "BMDL")});
    ASSERT_EQ(prompt.Errors.size(), 1);
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_FALSE(window->P_Wait->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));
    EXPECT_EQ(window->L_Faces->text(), QStringLiteral("0"));
}

TEST_F(LoadingTest, DroppedModelFileLoadsAndOtherFilesDoNot) {
    Show();
    const QString upper = files.Write(QStringLiteral("TANK.P3D"), ModelWith({QuadLod(-1, 1, -1, 1)}));
    const QString text = files.WriteText(QStringLiteral("tank.txt"), "BMDL");
    DropFiles(window.get(), {text});
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v1.2"));
    DropFiles(window.get(), {upper, text});
    ASSERT_NE(window->Model, nullptr);
    EXPECT_EQ(window->LB_LODs->count(), 1);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44 [TANK.P3D]"));
    EXPECT_TRUE(prompt.Errors.isEmpty());
}

TEST_F(LoadingTest, DebugLogGoesToTheMemoOnlyWhenTicked) {
    const QString path = files.Write(QStringLiteral("tank.p3d"), ModelWith({QuadLod(-1, 1, -1, 1)}));
    window->DebugMemo->resize(window->DebugMemo->width(), 0);
    window->CB_Debug->setChecked(true);
    window->LoadModel(path, false);
    EXPECT_EQ(window->DebugMemo->height(), 180);
    const int lines = window->DebugMemo->blockCount();
    EXPECT_GT(lines, 3);
    EXPECT_TRUE(window->DebugMemo->toPlainText().contains(QStringLiteral("******OPEN:")));
    // Lines of the next load are added below; a height set meanwhile stays.
    window->DebugMemo->resize(window->DebugMemo->width(), 150);
    window->LoadModel(path, false);
    EXPECT_EQ(window->DebugMemo->height(), 150);
    EXPECT_GT(window->DebugMemo->blockCount(), lines);

    window->CB_Debug->setChecked(false);
    const int before = window->DebugMemo->blockCount();
    window->LoadModel(path, false);
    EXPECT_EQ(window->DebugMemo->height(), 0);
    EXPECT_EQ(window->DebugMemo->blockCount(), before);
}

// ----------------------------------------------------------- editable files

TEST_F(LoadingTest, EditableFileGoesToTheEditorWhenTheUserSaysYes) {
    Show();
    LoadTank();
    window->O2Path = Oxygen();
    const QString path = Editable(QStringLiteral("my box.p3d"));
    prompt.Answers = {true};
    window->LoadModel(path, false);
    EXPECT_EQ(prompt.Questions,
              QStringList{QStringLiteral("Model has MLOD format, do you want to load it in Oxygen?")});
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].Program, window->O2Path);
    // The bare name, unquoted; the file's folder with its separator.
    EXPECT_EQ(launches[0].Arguments, QStringList{QStringLiteral("my box.p3d")});
    EXPECT_EQ(launches[0].WorkingDirectory, files.Path() + QDir::separator());
    // Nothing is loaded, and the earlier model is gone from the window.
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST_F(LoadingTest, EditableFileAnsweredNoReleasesTheModelAndLaunchesNothing) {
    Show();
    LoadTank();
    window->O2Path = Oxygen();
    prompt.Answers = {false};
    window->LoadModel(Editable(), false);
    EXPECT_EQ(prompt.Questions.size(), 1);
    EXPECT_TRUE(launches.empty());
    EXPECT_EQ(window->Model, nullptr);
    EXPECT_EQ(window->LB_LODs->count(), 0);
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Vistrel v2.44"));
    EXPECT_EQ(window->L_Vertexes->text(), QStringLiteral("0"));  // the labels as at start
    EXPECT_FALSE(window->P_Wait->isVisible());
    // Later repaints draw no model.
    window->Repaint();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(LoadingTest, ViewIsRepaintedWithoutTheReleasedModel) {
    Show();
    // Each paint notes whether a model was there to draw.
    QList<bool> paintedWithModel;
    TOpenGLVexPanel::TNotifyEvent paint = window->OpenGl->OnPaint;
    window->OpenGl->OnPaint = [&](TOpenGLVexPanel* sender) {
        paintedWithModel << (window->Model && window->Model->LODs.Count() > 0);
        paint(sender);
    };
    const auto loadAfterTank = [&](const QString& file) {
        LoadTank();
        paintedWithModel.clear();
        window->LoadModel(file, false);
        return paintedWithModel;
    };
    prompt.Answers = {false};  // not to the editor
    EXPECT_EQ(loadAfterTank(Editable()).value(0, true), false);
    EXPECT_EQ(loadAfterTank(files.WriteText(QStringLiteral("other.p3d"), "QZRV")).value(0, true), false);
    window->OpenGl->OnPaint = paint;
}

TEST_F(LoadingTest, EditorPathIsAskedForWhenMissingAndKept) {
    Show();
    const QString oxygen = Oxygen();
    window->O2Path = files.File(QStringLiteral("deleted.exe"));
    prompt.Answers = {true, true};
    prompt.OpenAnswers = {oxygen};
    const QString path = Editable();
    window->LoadModel(path, false);
    EXPECT_EQ(
        prompt.Questions,
        (QStringList{QStringLiteral("Model has MLOD format, do you want to load it in Oxygen?"),
                     QStringLiteral("No path to Oxygen defined yet or path is invalid. Do you wish to select now?")}));
    ASSERT_EQ(prompt.OpenRequests.size(), 1);
    EXPECT_EQ(prompt.OpenRequests[0].Name, QStringLiteral("OpenOxygen"));
    EXPECT_TRUE(prompt.OpenRequests[0].FileMustExist);
    EXPECT_EQ(window->O2Path, oxygen);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].Program, oxygen);

    // Next time the path is good: only the first question.
    prompt.Questions.clear();
    prompt.Answers = {true};
    window->LoadModel(path, false);
    EXPECT_EQ(prompt.Questions.size(), 1);
    EXPECT_EQ(launches.size(), 2u);
}

TEST_F(LoadingTest, EditorPathDeclinedOrCancelledLaunchesNothing) {
    Show();
    const QString path = Editable();
    prompt.Answers = {true, false};  // yes to the editor, no to choosing it
    window->LoadModel(path, false);
    EXPECT_EQ(prompt.Questions.size(), 2);
    EXPECT_TRUE(prompt.OpenRequests.isEmpty());
    EXPECT_TRUE(launches.empty());

    prompt.Answers = {true, true};  // then the dialog is cancelled
    window->LoadModel(path, false);
    EXPECT_EQ(prompt.OpenRequests.size(), 1);
    EXPECT_TRUE(window->O2Path.isEmpty());
    EXPECT_TRUE(launches.empty());
    EXPECT_TRUE(prompt.Messages.isEmpty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(LoadingTest, EditableFileFromTheCommandLineAsksNoFirstQuestionAndCloses) {
    Show();
    window->O2Path = Oxygen();
    const QString path = Editable();
    window->LoadModel(path, true);
    EXPECT_TRUE(prompt.Questions.isEmpty());
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].Arguments, QStringList{QStringLiteral("box.p3d")});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(LoadingTest, EditableFileFromTheCommandLineWithoutEditorAsksForItAndCloses) {
    Show();
    prompt.Answers = {false};
    window->LoadModel(Editable(), true);
    EXPECT_EQ(
        prompt.Questions,
        QStringList{QStringLiteral("No path to Oxygen defined yet or path is invalid. Do you wish to select now?")});
    EXPECT_TRUE(launches.empty());
    EXPECT_FALSE(window->isVisible());
}

TEST_F(LoadingTest, LowerCaseMagicIsNoEditableFile) {
    window->O2Path = Oxygen();
    window->LoadModel(files.WriteText(QStringLiteral("lower.p3d"), "mlod1234"), false);
    EXPECT_TRUE(prompt.Questions.isEmpty());
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Incorrect Format!")});
    EXPECT_TRUE(launches.empty());
}

TEST_F(LoadingTest, DefaultLauncherStartsAProgramDetached) {
    TMain plain(&prompt);
    ASSERT_TRUE(plain.Launcher);
    const QString marker = files.File(QStringLiteral("started"));
    const QString script = files.WriteText(QStringLiteral("start.sh"), "#!/bin/sh\ntouch \"$PWD/$1\"\n");
    QFile::setPermissions(script, QFile::permissions(script) | QFileDevice::ExeOwner);
    EXPECT_TRUE(plain.Launcher(script, {QStringLiteral("started")}, files.Path() + QDir::separator()));
    EXPECT_TRUE(WaitFor([&] { return QFile::exists(marker); }));
}

// Picks that arrive while a model loads (here from inside the load's
// message) are not loaded inside it: the newest is loaded once it ends, and
// the lists then point into that model.
TEST_F(LoadingTest, PicksDuringALoadWaitAndOnlyTheNewestIsLoaded) {
    class TPickingPrompt : public TScriptedPrompt {
    public:
        std::function<void()> OnFirstMessage;
        void Message(const QString& text) override {
            TScriptedPrompt::Message(text);
            if (auto pick = std::exchange(OnFirstMessage, nullptr)) pick();
        }
    } picking;
    TMain main(&picking);
    BLod textured = QuadLod(-1, 1, -1, 1, {-3, -3, -3}, {3, 3, 3}, 0);
    textured.textures = {"missing.paa"};
    const QString first = files.Write(QStringLiteral("first.p3d"), ModelWith({textured}));
    const QString second = files.Write(QStringLiteral("second.p3d"), ModelWith({textured}));
    BLod plain = QuadLod(-1, 1, -1, 1);
    plain.resolution = 2.0f;
    const QString third = files.Write(QStringLiteral("third.p3d"), ModelWith({plain, plain}));
    picking.OnFirstMessage = [&] {
        main.LoadModel(second, false);
        main.LoadModel(third, false);
        EXPECT_FALSE(main.windowTitle().contains(QStringLiteral("]")));  // nothing loaded inside
    };
    main.LoadModel(first, false);
    EXPECT_EQ(picking.Messages.size(), 1);  // the first one's, once; the second was never loaded
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Vistrel v2.44 [third.p3d]"));
    ASSERT_EQ(main.LB_LODs->count(), 2);
    EXPECT_EQ(TMain::LodOf(main.LB_LODs->item(1)), main.Model->LODs[1]);
}
