// The main window: its controls, initial values, layout, the file browser,
// the wait panel's place, the file list and drop hand-off, and closing.
#include "Application.h"
#include "DirectoryList.h"
#include "FileList.h"
#include "Globals.h"
#include "ListBox.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

QStringList FileNames(const TFileList* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

// Sends a drag with the given files over the window and drops it.
void DropFiles(QWidget* window, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPoint at = window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

class MainWindowTest : public ::testing::Test {
protected:
    TScriptedPrompt prompt;
};

}  // namespace

TEST_F(MainWindowTest, EveryControlExistsUnderItsName) {
    TMain window(&prompt);
    const char* names[] = {
        "Drive",          "LB_Directory",    "Files",         "LB_LODs",   "L_Vertexes",    "L_Unique",
        "L_Faces",        "L_Textures",      "L_MinPos",      "L_MaxPos",  "LB_Selections", "L_LWH",
        "L_Start",        "L_End",           "LB_Properties", "TB_X",      "TB_Y",          "TB_Z",
        "CB_Transparent", "TB_Transparency", "CB_Vertexes",   "CB_Ground", "CB_Axis",       "B_PickGroundText",
        "B_PickDataDir",  "B_Save",          "L_Mass",        "CB_Debug",  "OpenGl",        "DebugMemo",
        "P_Wait",         "InitTimer"};
    for (const char* name : names) EXPECT_NE(window.findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(window.findChild<TOpenGLVexPanel*>(QStringLiteral("OpenGl")), window.OpenGl);
    EXPECT_EQ(window.findChild<TDirectoryList*>(QStringLiteral("LB_Directory")), window.LB_Directory);
    EXPECT_EQ(window.findChild<TFileList*>(QStringLiteral("Files")), window.Files);
    EXPECT_EQ(window.findChild<QTableWidget*>(QStringLiteral("LB_Properties")), window.LB_Properties);
}

TEST_F(MainWindowTest, CaptionsAndInitialValues) {
    TMain window(&prompt);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vistrel v1.2"));
    EXPECT_EQ(window.size(), QSize(819, 725));

    // Value labels read "0", each beside its caption.
    const struct {
        QLabel* value;
        const char* caption;
    } labels[] = {{window.L_Vertexes, "Vertexes:"}, {window.L_Unique, "Unique:"}, {window.L_Faces, "Faces:"},
                  {window.L_Textures, "Textures:"}, {window.L_MinPos, "MinPos:"}, {window.L_MaxPos, "MaxPos:"},
                  {window.L_LWH, "L/W/H"},          {window.L_Start, "Start"},    {window.L_End, "End"},
                  {window.L_Mass, "Complete Mass:"}};
    QStringList captions;
    for (QLabel* label : window.findChildren<QLabel*>()) captions << label->text();
    for (const auto& entry : labels) {
        EXPECT_EQ(entry.value->text(), QStringLiteral("0")) << entry.caption;
        EXPECT_TRUE(captions.contains(QString::fromLatin1(entry.caption))) << entry.caption;
    }
    for (const char* letter : {"X", "Y", "Z"}) EXPECT_TRUE(captions.contains(QString::fromLatin1(letter))) << letter;

    // Check boxes, unticked.
    const struct {
        QCheckBox* box;
        const char* caption;
    } boxes[] = {{window.CB_Transparent, "Transparent"},
                 {window.CB_Vertexes, "Vertexes"},
                 {window.CB_Ground, "Ground"},
                 {window.CB_Axis, "Axis"},
                 {window.CB_Debug, "Debug"}};
    for (const auto& entry : boxes) {
        EXPECT_EQ(entry.box->text(), QString::fromLatin1(entry.caption));
        EXPECT_FALSE(entry.box->isChecked()) << entry.caption;
    }

    // Track bars.
    const struct {
        QSlider* bar;
        int min, max, tick, position;
    } bars[] = {{window.TB_X, -800, 800, 100, 0},
                {window.TB_Y, -800, 800, 100, 10},
                {window.TB_Z, -800, 800, 100, 0},
                {window.TB_Transparency, 0, 100, 5, 20}};
    for (const auto& entry : bars) {
        SCOPED_TRACE(entry.bar->objectName().toStdString());
        EXPECT_EQ(entry.bar->orientation(), Qt::Horizontal);
        EXPECT_EQ(entry.bar->minimum(), entry.min);
        EXPECT_EQ(entry.bar->maximum(), entry.max);
        EXPECT_EQ(entry.bar->pageStep(), 1);
        EXPECT_EQ(entry.bar->tickInterval(), entry.tick);
        EXPECT_NE(entry.bar->tickPosition(), QSlider::NoTicks);
        EXPECT_EQ(entry.bar->value(), entry.position);
    }
    ASSERT_NE(window.GB_Light, nullptr);
    EXPECT_EQ(window.GB_Light->title(), QStringLiteral("Light"));
    EXPECT_TRUE(window.GB_Light->isAncestorOf(window.TB_X));
    EXPECT_TRUE(window.GB_Light->isAncestorOf(window.TB_Z));

    // Buttons.
    EXPECT_EQ(window.B_PickGroundText->text(), QStringLiteral("Ground Txt"));
    EXPECT_EQ(window.B_PickDataDir->text(), QStringLiteral("Data Dir"));
    EXPECT_EQ(window.B_Save->text(), QStringLiteral("Save MLOD"));

    // Hidden parts.
    EXPECT_TRUE(window.CB_Debug->isHidden());
    EXPECT_TRUE(window.DebugMemo->isHidden());
    EXPECT_TRUE(window.DebugMemo->isReadOnly());
    EXPECT_EQ(window.DebugMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_TRUE(window.P_Wait->isHidden());
    EXPECT_EQ(window.P_Wait->size(), QSize(193, 57));
    EXPECT_EQ(window.P_Wait->text(), QStringLiteral("Please Wait"));
    EXPECT_EQ(window.P_Wait->font().pixelSize(), 16);
    EXPECT_EQ(window.P_Wait->font().family(), QStringLiteral("Arial"));
    EXPECT_EQ(window.P_Wait->parentWidget(), &window);

    // The property grid.
    QTableWidget* grid = window.LB_Properties;
    ASSERT_EQ(grid->columnCount(), 2);
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), QStringLiteral("Property"));
    EXPECT_EQ(grid->horizontalHeaderItem(1)->text(), QStringLiteral("Value"));
    EXPECT_EQ(grid->columnWidth(0), 115);
    EXPECT_EQ(grid->columnWidth(1), 109);
    EXPECT_TRUE(grid->showGrid());
    EXPECT_EQ(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_EQ(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);

    // Shared state and lists.
    EXPECT_EQ(window.Model, nullptr);
    EXPECT_TRUE(window.O2Path.isEmpty());
    EXPECT_TRUE(window.GroundTexture.isEmpty());
    EXPECT_EQ(window.LB_LODs->count(), 0);
    EXPECT_EQ(window.LB_Selections->count(), 0);
    EXPECT_EQ(window.Files->Mask(), QStringLiteral("*.p3d"));

    // Dialog settings.
    EXPECT_EQ(window.OpenGroundTexture.Filter, QStringLiteral("Textures (*.pa*)"));
    EXPECT_EQ(window.OpenGroundTexture.DefaultExt, QStringLiteral("*.pa*"));
    EXPECT_EQ(window.SaveMLOD.Filter, QStringLiteral("MLOD Format (*.p3d)"));
    EXPECT_EQ(window.SaveMLOD.DefaultExt, QStringLiteral("p3d"));
    EXPECT_TRUE(window.SaveMLOD.OverwritePrompt);
#ifdef Q_OS_WIN
    EXPECT_EQ(window.OpenOxygen.Filter, QStringLiteral("Executable (*.exe)"));
#else
    EXPECT_EQ(window.OpenOxygen.Filter, QStringLiteral("Executable (*)"));
#endif
    EXPECT_TRUE(window.OpenOxygen.FileMustExist);
    EXPECT_TRUE(window.OpenOxygen.PathMustExist);

    // The start-up timer: one shot, 200 ms, not running before the window shows.
    EXPECT_TRUE(window.InitTimer->isSingleShot());
    EXPECT_EQ(window.InitTimer->interval(), 200);
    EXPECT_FALSE(window.InitTimer->isActive());
}

TEST_F(MainWindowTest, StartUpTimerSetsTheCaptionOnce) {
    TMain window(&prompt);
    window.show();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vistrel v1.2"));
    EXPECT_TRUE(window.InitTimer->isActive());
    ASSERT_TRUE(WaitFor([&] { return window.windowTitle() == QStringLiteral("Vistrel v2.44"); }));
    EXPECT_FALSE(window.InitTimer->isActive());
    // Showing again does not start it again.
    window.hide();
    window.show();
    EXPECT_FALSE(window.InitTimer->isActive());
}

TEST_F(MainWindowTest, ColumnsHaveTheirDesignedWidths) {
    TMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* columns = window.findChild<QSplitter*>(QStringLiteral("Splitter_Columns"));
    ASSERT_NE(columns, nullptr);
    const QList<int> sizes = columns->sizes();
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_EQ(sizes[0], 134);
    EXPECT_EQ(sizes[1], 232);
    EXPECT_EQ(columns->handleWidth(), 3);
    EXPECT_GE(window.LB_Properties->height(), 60);
    EXPECT_GE(window.LB_Directory->height(), 200);
    EXPECT_TRUE(window.OpenGl->isVisible());
    EXPECT_GT(window.OpenGl->width(), 300);
}

// No two controls overlap and no caption is cut, at the designed size and
// larger.
TEST_F(MainWindowTest, NothingOverlapsAndCaptionsFit) {
    TMain window(&prompt);
    for (const QSize size : {QSize(819, 725), QSize(1200, 1000)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        window.resize(size);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        EXPECT_EQ(window.size(), size);

        QList<QWidget*> controls;
        for (QWidget* w : window.findChildren<QWidget*>()) {
            if (!w->isVisible() || w == window.P_Wait || w->objectName().isEmpty()) continue;
            const QString name = w->objectName();
            if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QSlider*>(w) ||
                qobject_cast<QPushButton*>(w) || name == QLatin1String("Drive") ||
                name.startsWith(QLatin1String("LB_")) || name == QLatin1String("Files") ||
                name == QLatin1String("OpenGl"))
                controls << w;
        }
        EXPECT_GE(controls.size(), 40);
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const QRect a(controls[i]->mapTo(&window, QPoint(0, 0)), controls[i]->size());
            EXPECT_TRUE(window.rect().contains(a)) << controls[i]->objectName().toStdString();
            EXPECT_GT(a.width(), 0);
            EXPECT_GT(a.height(), 0);
            for (qsizetype j = i + 1; j < controls.size(); ++j) {
                const QRect b(controls[j]->mapTo(&window, QPoint(0, 0)), controls[j]->size());
                EXPECT_FALSE(a.intersects(b))
                    << controls[i]->objectName().toStdString() << " and " << controls[j]->objectName().toStdString();
            }
        }
        // Captions and buttons get the room their text needs.
        for (QWidget* w : controls) {
            const std::string name = w->objectName().toStdString();
            if (qobject_cast<QCheckBox*>(w) ||
                (qobject_cast<QLabel*>(w) && w->objectName().startsWith(QLatin1String("Label_")))) {
                EXPECT_GE(w->width(), w->minimumSizeHint().width()) << name;
                EXPECT_GE(w->height(), w->minimumSizeHint().height()) << name;
            }
            if (auto* button = qobject_cast<QPushButton*>(w)) {
                EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()) + 8) << name;
                EXPECT_GE(button->height(), button->fontMetrics().height() + 4) << name;
            }
        }
        // The axis letters sit at the right ends of their track bars.
        for (QSlider* bar : {window.TB_X, window.TB_Y, window.TB_Z}) {
            const QString letter = bar->objectName().right(1);
            QLabel* label = nullptr;
            for (QLabel* candidate : window.GB_Light->findChildren<QLabel*>())
                if (candidate->text() == letter) label = candidate;
            ASSERT_NE(label, nullptr) << letter.toStdString();
            EXPECT_GE(label->x(), bar->geometry().right());
            EXPECT_LT(label->x() - bar->geometry().right(), 12);
            EXPECT_TRUE(label->geometry().intersects(QRect(0, bar->y(), window.width(), bar->height())));
        }
        // The extent of a sizeable model fits beside "MinPos:" and "Start".
        const QString wide = QStringLiteral("( -12.345; -10.567; -22.890 )");
        for (QLabel* value : {window.L_MinPos, window.L_MaxPos, window.L_Start, window.L_End, window.L_LWH})
            EXPECT_GE(value->width(), value->fontMetrics().horizontalAdvance(wide))
                << value->objectName().toStdString();
        window.hide();
    }
}

TEST_F(MainWindowTest, WaitPanelIsCentredOnTheOuterWindow) {
    EXPECT_EQ(TMain::WaitPanelPosition(QSize(100, 500)).x(), -46);
    EXPECT_EQ(TMain::WaitPanelPosition(QSize(100, 500)).y(), 221);
    EXPECT_EQ(TMain::WaitPanelPosition(QSize(819, 725)), QPoint(313, 334));
    EXPECT_EQ(TMain::WaitPanelPosition(QSize(0, 0)), QPoint(-96, -28));

    TMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.resize(1000, 801);
    QCoreApplication::processEvents();
    const QSize outer = window.frameGeometry().size();
    EXPECT_EQ(window.P_Wait->pos(), QPoint((outer.width() - 193) / 2, (outer.height() - 57) / 2));
    window.FormResize();
    EXPECT_EQ(window.P_Wait->pos(), QPoint((outer.width() - 193) / 2, (outer.height() - 57) / 2));
}

TEST_F(MainWindowTest, FileListShowsModelFilesInAnyLetterCase) {
    TModelFolder folder;
    TMain window(&prompt);
    ASSERT_TRUE(window.SetDirectory(folder.Path()));
    EXPECT_EQ(window.CurrentDirectory(), folder.Path());
    EXPECT_EQ(window.Files->Directory(), folder.Path());
    const QStringList names = FileNames(window.Files);
    EXPECT_EQ(names.size(), 2);
    EXPECT_TRUE(names.contains(QStringLiteral("TANK.P3D")));
    EXPECT_TRUE(names.contains(QStringLiteral("tank.p3d")));
    EXPECT_FALSE(names.contains(QStringLiteral("tank.txt")));
    EXPECT_FALSE(names.contains(QStringLiteral("sub")));
    EXPECT_TRUE(window.SelectedFile().isEmpty());
}

TEST_F(MainWindowTest, FileListIsSortedByName) {
    TModelFolder folder;
    folder.Touch(QStringLiteral("b.p3d"));
    folder.Touch(QStringLiteral("A.p3d"));
    folder.Touch(QStringLiteral("c.P3d"));
    TMain window(&prompt);
    window.SetDirectory(folder.Path());
    const QStringList names = FileNames(window.Files);
    ASSERT_EQ(names.size(), 5);
    EXPECT_EQ(names[0], QStringLiteral("A.p3d"));
    EXPECT_EQ(names[1], QStringLiteral("b.p3d"));
    EXPECT_EQ(names[2], QStringLiteral("c.P3d"));
}

TEST_F(MainWindowTest, EnteringAFolderRefillsTheFileList) {
    TModelFolder folder;
    TWatchedMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    ASSERT_TRUE(window.SetDirectory(folder.Path()));

    // Highlighting "sub" does not open it.
    ASSERT_TRUE(WaitFor([&] { return window.LB_Directory->IndexOf(folder.Sub()).isValid(); }));
    ASSERT_TRUE(window.LB_Directory->Highlight(folder.Sub()));
    EXPECT_EQ(window.LB_Directory->HighlightedDirectory(), folder.Sub());
    EXPECT_EQ(window.CurrentDirectory(), folder.Path());
    EXPECT_EQ(FileNames(window.Files).size(), 2);

    // Enter opens it.
    window.LB_Directory->setFocus();
    QTest::keyClick(window.LB_Directory, Qt::Key_Return);
    EXPECT_EQ(window.CurrentDirectory(), folder.Sub());
    EXPECT_EQ(FileNames(window.Files), QStringList{QStringLiteral("other.p3d")});

    // Double-click on the parent in the chain goes back up.
    QModelIndex parent;
    ASSERT_TRUE(WaitFor([&] {
        parent = window.LB_Directory->IndexOf(folder.Path());
        return parent.isValid() && !window.LB_Directory->visualRect(parent).isEmpty();
    }));
    window.LB_Directory->scrollTo(parent);
    const QPoint at = window.LB_Directory->visualRect(parent).center();
    QTest::mouseDClick(window.LB_Directory->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(window.CurrentDirectory(), folder.Path());
    EXPECT_EQ(FileNames(window.Files).size(), 2);
    // None of this loads anything.
    EXPECT_TRUE(window.Loads.empty());
}

TEST_F(MainWindowTest, DirectoryListShowsTheChainAndTheSubfolders) {
    TModelFolder folder;
    TMain window(&prompt);
    window.SetDirectory(folder.Path());
    TDirectoryList* list = window.LB_Directory;
    ASSERT_TRUE(WaitFor([&] { return list->IndexOf(folder.Sub()).isValid(); }));
    // The root, the open folder and its subfolder are shown; a folder two
    // levels down is not.
    EXPECT_TRUE(list->IndexOf(QDir::rootPath()).isValid());
    EXPECT_TRUE(list->IndexOf(folder.Path()).isValid());
    QTest::qWait(50);
    EXPECT_FALSE(list->IndexOf(folder.File(QStringLiteral("sub/deeper"))).isValid());
    // A folder that does not exist cannot be opened.
    EXPECT_FALSE(window.SetDirectory(folder.File(QStringLiteral("missing"))));
    EXPECT_FALSE(window.SetDirectory(folder.File(QStringLiteral("tank.txt"))));
    EXPECT_EQ(window.CurrentDirectory(), folder.Path());
    // A trailing separator is dropped, a root keeps its own.
    ASSERT_TRUE(window.SetDirectory(folder.Path() + QDir::separator()));
    EXPECT_EQ(window.CurrentDirectory(), folder.Path());
    ASSERT_TRUE(window.SetDirectory(QDir::rootPath()));
    EXPECT_EQ(window.CurrentDirectory(), QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(MainWindowTest, DriveSelectorMovesTheBrowserToTheVolumeRoot) {
    TModelFolder folder;
    TMain window(&prompt);
    const QStringList roots = TDriveComboBox::VolumeRoots();
    ASSERT_FALSE(roots.isEmpty());
#ifndef Q_OS_WIN
    EXPECT_EQ(roots.first(), QStringLiteral("/"));
#endif
    ASSERT_EQ(window.Drive->count(), roots.size());
    window.SetDirectory(folder.Path());
    // The box shows the volume that holds the open folder.
    const QString shown = QDir::fromNativeSeparators(window.Drive->Drive());
    EXPECT_TRUE(QDir::fromNativeSeparators(folder.Path()).startsWith(shown));
    // Choosing a volume opens its root.
    window.Drive->ChooseDrive(0);
    EXPECT_EQ(window.CurrentDirectory(), QDir::toNativeSeparators(roots.first()));
    EXPECT_EQ(window.Files->Directory(), QDir::toNativeSeparators(roots.first()));
}

TEST_F(MainWindowTest, SelectingAFileLoadsItWithItsFullPath) {
    TModelFolder folder;
    TWatchedMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SetDirectory(folder.Path());
    EXPECT_TRUE(window.Loads.empty());

    ASSERT_TRUE(window.Files->SelectFile(QStringLiteral("tank.p3d")));
    ASSERT_EQ(window.Loads.size(), 1u);
    EXPECT_EQ(window.Loads[0].first, folder.File(QStringLiteral("tank.p3d")));
    EXPECT_FALSE(window.Loads[0].second);
    EXPECT_EQ(window.SelectedFile(), folder.File(QStringLiteral("tank.p3d")));

    // A click on the other one.
    QListWidgetItem* other = window.Files->findItems(QStringLiteral("TANK.P3D"), Qt::MatchExactly).value(0);
    ASSERT_NE(other, nullptr);
    QTest::mouseClick(window.Files->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window.Files->visualItemRect(other).center());
    ASSERT_EQ(window.Loads.size(), 2u);
    EXPECT_EQ(window.Loads[1].first, folder.File(QStringLiteral("TANK.P3D")));

    // Refilling the list selects nothing and loads nothing.
    window.SetDirectory(folder.Sub());
    EXPECT_EQ(window.Loads.size(), 2u);
    EXPECT_TRUE(window.SelectedFile().isEmpty());
    window.FilesChange();
    EXPECT_EQ(window.Loads.size(), 2u);
}

TEST_F(MainWindowTest, DroppingAModelFileLoadsIt) {
    TModelFolder folder;
    TWatchedMain window(&prompt);
    EXPECT_TRUE(window.acceptDrops());

    DropFiles(&window, {folder.File(QStringLiteral("TANK.P3D"))});
    ASSERT_EQ(window.Loads.size(), 1u);
    EXPECT_EQ(window.Loads[0].first, folder.File(QStringLiteral("TANK.P3D")));
    EXPECT_FALSE(window.Loads[0].second);

    DropFiles(&window, {folder.File(QStringLiteral("tank.txt"))});
    EXPECT_EQ(window.Loads.size(), 1u);

    // Any letter case; only the first of several files.
    DropFiles(&window, {folder.File(QStringLiteral("Tank.P3d")), folder.File(QStringLiteral("tank.p3d")),
                        folder.File(QStringLiteral("sub/other.p3d"))});
    ASSERT_EQ(window.Loads.size(), 2u);
    EXPECT_EQ(window.Loads[1].first, folder.File(QStringLiteral("Tank.P3d")));

    // The first file decides: a text file first drops nothing.
    DropFiles(&window, {folder.File(QStringLiteral("tank.txt")), folder.File(QStringLiteral("tank.p3d"))});
    EXPECT_EQ(window.Loads.size(), 2u);
}

TEST(GlobalsTest, SetAtProgramEntry) {
    const QString savedData = DataPath;
    DataPath = QStringLiteral("/somewhere");
    InitGlobals();
    EXPECT_EQ(ExeDir, QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + QDir::separator());
    EXPECT_TRUE(DataPath.isEmpty());
    EXPECT_EQ(VersionText, QStringLiteral("v2.44"));
    ReleaseGlobals();
    EXPECT_TRUE(ExeDir.isEmpty());
    EXPECT_TRUE(VersionText.isEmpty());
    InitGlobals();
    DataPath = savedData;
}

TEST_F(MainWindowTest, FileExtensionIsTakenFromTheLastPoint) {
    EXPECT_EQ(TMain::FileExtension(QStringLiteral("/a/tank.p3d")), QStringLiteral(".p3d"));
    EXPECT_EQ(TMain::FileExtension(QStringLiteral("/a/t.a.P3D")), QStringLiteral(".P3D"));
    EXPECT_EQ(TMain::FileExtension(QStringLiteral("/a.b/tank")), QString());
    EXPECT_EQ(TMain::FileExtension(QStringLiteral("tank.")), QStringLiteral("."));
}

TEST_F(MainWindowTest, DataDirButtonTakesThePickedDirectory) {
    TMain window(&prompt);
    const QString saved = DataPath;
    DataPath = QStringLiteral("/old");
    prompt.DirAnswers.push_back(QStringLiteral("/new/textures"));
    window.B_PickDataDir->click();
    EXPECT_EQ(DataPath, QStringLiteral("/new/textures"));
    prompt.DirAnswers.push_back(std::nullopt);  // Cancel
    window.B_PickDataDir->click();
    EXPECT_EQ(DataPath, QStringLiteral("/new/textures"));
    EXPECT_EQ(prompt.PickDirectoryCalls, 2);
    DataPath = saved;
}

TEST_F(MainWindowTest, ListEntriesCarryTheirObjectsUntilTheModelIsReleased) {
    TMain window(&prompt);
    TP3dLOD lod;
    TRealSelection selection("wheel");
    window.AddLodEntry(QStringLiteral("LOD 1.000"), &lod);
    window.AddSelectionEntry(QStringLiteral("wheel"), &selection);
    EXPECT_EQ(TMain::LodOf(window.LB_LODs->item(0)), &lod);
    EXPECT_EQ(TMain::SelectionOf(window.LB_Selections->item(0)), &selection);
    EXPECT_EQ(window.SelectedLod(), nullptr);
    window.LB_LODs->SetItemIndex(0);
    window.LB_Selections->SetItemIndex(0);
    EXPECT_EQ(window.SelectedLod(), &lod);
    EXPECT_EQ(window.SelectedSelection(), &selection);
    window.ReleaseModel();
    EXPECT_EQ(window.LB_LODs->count(), 0);
    EXPECT_EQ(window.LB_Selections->count(), 0);
    EXPECT_EQ(window.SelectedLod(), nullptr);
    EXPECT_EQ(window.Model, nullptr);
}

TEST_F(MainWindowTest, ViewWithoutModelPaintsWithoutTrouble) {
    TMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.Repaint();
    const QImage frame = window.OpenGl->CaptureFrame();
    EXPECT_EQ(window.Model, nullptr);
    EXPECT_TRUE(window.OpenGl->ErrorText().isEmpty()) << window.OpenGl->ErrorText().toStdString();
    Q_UNUSED(frame);
}

TEST_F(MainWindowTest, ClosingEndsCleanlyFromAnyState) {
    {
        // Before the start-up step has run.
        TMain window(&prompt);
        window.show();
        EXPECT_TRUE(window.InitTimer->isActive());
        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
    }
    {
        // After it, with a folder open and the wait panel up.
        TModelFolder folder;
        TWatchedMain window(&prompt);
        window.show();
        window.SetDirectory(folder.Path());
        window.Files->SelectFile(QStringLiteral("tank.p3d"));
        ASSERT_TRUE(WaitFor([&] { return !window.InitTimer->isActive(); }));
        window.P_Wait->show();
        EXPECT_TRUE(window.close());
        EXPECT_FALSE(window.isVisible());
    }
}

TEST_F(MainWindowTest, ClosingTheLastWindowEndsTheLoop) {
    qApp->setQuitOnLastWindowClosed(true);
    TMain window(&prompt);
    window.show();
    QTimer closer;  // after the start-up step has run
    closer.setSingleShot(true);
    QObject::connect(&closer, &QTimer::timeout, &window, [&] { window.close(); });
    closer.start(400);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(10000);
    const int result = QCoreApplication::exec();
    qApp->setQuitOnLastWindowClosed(false);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Vistrel v2.44"));
}

TEST_F(MainWindowTest, ErrorInAHandlerIsShownAndTheWindowGoesOn) {
    class TFailingMain : public TMain {
    public:
        using TMain::TMain;
        void LoadModel(const QString& fileName, bool) override {
            throw EFOpenError("Cannot open file " + fileName.toStdString());
        }
    };
    TModelFolder folder;
    TFailingMain window(&prompt);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.SetDirectory(folder.Path());
    QListWidgetItem* item = window.Files->findItems(QStringLiteral("tank.p3d"), Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(window.Files->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window.Files->visualItemRect(item).center());
    ASSERT_EQ(prompt.Errors.size(), 1);
    EXPECT_EQ(prompt.Errors[0], QStringLiteral("Cannot open file ") + folder.File(QStringLiteral("tank.p3d")));
    EXPECT_TRUE(window.isVisible());

    // A drop goes the same way.
    DropFiles(&window, {folder.File(QStringLiteral("TANK.P3D"))});
    ASSERT_EQ(prompt.Errors.size(), 2);
    EXPECT_EQ(prompt.Errors[1], QStringLiteral("Cannot open file ") + folder.File(QStringLiteral("TANK.P3D")));
}
