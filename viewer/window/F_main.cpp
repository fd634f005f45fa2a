// The main window's behaviour: its events, the browser, dropped files and the
// dialogs' buttons. The widgets are laid out in MainWindowLayout.cpp.
#include "F_main.h"

#include <QFile>
#include <QFileInfo>

#include "DirectoryList.h"
#include "FileList.h"
#include "Globals.h"
#include "ListBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <exception>

namespace vistrel {

TMain::~TMain() {
    FormDestroy();
    // The children outlive this part of the object: nothing of theirs may
    // call back into it while they are taken down.
    OpenGl->OnPreInit = nullptr;
    OpenGl->OnInit = nullptr;
    OpenGl->OnResize = nullptr;
    OpenGl->OnPaint = nullptr;
    OpenGl->OnError = nullptr;
    OpenGl->OnMouseDown = nullptr;
    OpenGl->OnMouseMove = nullptr;
    OpenGl->OnMouseUp = nullptr;
    OpenGl->OnMouseWheel = nullptr;
    OpenGl->OnKeyDown = nullptr;
    OpenGl->OnDoubleClick = nullptr;
    for (QObject* child : findChildren<QObject*>()) disconnect(child, nullptr, this, nullptr);
    ReleaseModel();
}

void TMain::WireEvents() {
    const auto on = [this](void (TMain::*handler)()) {
        return [this, handler] { Guarded([&] { (this->*handler)(); }); };
    };
    connect(Files, &TFileList::Change, this, on(&TMain::FilesChange));
    connect(LB_LODs, &TListBox::Click, this, on(&TMain::LB_LODsClick));
    connect(LB_Selections, &TListBox::Click, this, on(&TMain::CB_VertexesClick));
    for (QCheckBox* box : {CB_Transparent, CB_Vertexes, CB_Ground, CB_Axis})
        connect(box, &QCheckBox::clicked, this, on(&TMain::CB_VertexesClick));
    for (QSlider* bar : {TB_X, TB_Y, TB_Z}) connect(bar, &QSlider::valueChanged, this, on(&TMain::TB_XChange));
    connect(TB_Transparency, &QSlider::valueChanged, this, on(&TMain::TB_TransparencyChange));
    connect(B_PickGroundText, &QPushButton::clicked, this, on(&TMain::B_PickGroundTextClick));
    connect(B_PickDataDir, &QPushButton::clicked, this, on(&TMain::B_PickDataDirClick));
    connect(B_Save, &QPushButton::clicked, this, on(&TMain::B_SaveClick));
    connect(InitTimer, &QTimer::timeout, this, on(&TMain::InitTimerTimer));

    using TShift = TOpenGLVexPanel::TShiftState;
    OpenGl->OnInit = [this](TOpenGLVexPanel* sender) { Guarded([&] { OpenGlInit(sender); }); };
    OpenGl->OnResize = [this](TOpenGLVexPanel* sender) { Guarded([&] { OpenGlResize(sender); }); };
    OpenGl->OnPaint = [this](TOpenGLVexPanel* sender) { Guarded([&] { OpenGlPaint(sender); }); };
    OpenGl->OnMouseDown = [this](TOpenGLVexPanel* sender, Qt::MouseButton button, TShift shift, int x, int y) {
        Guarded([&] { OpenGlMouseDown(sender, button, shift, x, y); });
    };
    OpenGl->OnMouseMove = [this](TOpenGLVexPanel* sender, Qt::MouseButton button, TShift shift, int x, int y) {
        Guarded([&] { OpenGlMouseMove(sender, button, shift, x, y); });
    };
    OpenGl->OnMouseUp = [this](TOpenGLVexPanel* sender, Qt::MouseButton button, TShift shift, int x, int y) {
        Guarded([&] { OpenGlMouseUp(sender, button, shift, x, y); });
    };
    OpenGl->OnMouseWheel = [this](TOpenGLVexPanel* sender, double notches, TShift shift) {
        Guarded([&] { OpenGlMouseWheel(sender, notches, shift); });
    };
    OpenGl->OnKeyDown = [this](TOpenGLVexPanel* sender, int key, const QString& text, TShift shift) {
        bool used = false;
        Guarded([&] { used = OpenGlKeyDown(sender, key, text, shift); });
        return used;
    };
    OpenGl->OnDoubleClick = [this](TOpenGLVexPanel* sender, Qt::MouseButton, TShift, int, int) {
        Guarded([&] { OpenGlDoubleClick(sender); });
    };
}

void TMain::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        prompt_->ErrorBox(QString::fromLocal8Bit(error.what()));
    }
}

// ============================================================== shared state

TP3dLOD* TMain::LodOf(const QListWidgetItem* item) { return item ? item->data(ObjectRole).value<TP3dLOD*>() : nullptr; }

TRealSelection* TMain::SelectionOf(const QListWidgetItem* item) {
    return item ? item->data(ObjectRole).value<TRealSelection*>() : nullptr;
}

void TMain::AddLodEntry(const QString& text, TP3dLOD* lod) {
    auto* item = new QListWidgetItem(text, LB_LODs);
    item->setData(ObjectRole, QVariant::fromValue(lod));
}

void TMain::AddSelectionEntry(const QString& text, TRealSelection* selection) {
    auto* item = new QListWidgetItem(text, LB_Selections);
    item->setData(ObjectRole, QVariant::fromValue(selection));
    item->setToolTip(text);  // the whole name where the list cuts it
}

TP3dLOD* TMain::SelectedLod() const {
    const int row = LB_LODs->ItemIndex();
    return row < 0 ? nullptr : LodOf(LB_LODs->item(row));
}

TRealSelection* TMain::SelectedSelection() const {
    const int row = LB_Selections->ItemIndex();
    return row < 0 ? nullptr : SelectionOf(LB_Selections->item(row));
}

void TMain::ClearSelections() {
    LB_Selections->clear();
    // No selection is listed any more, so none has an extent to show.
    const QString none = QStringLiteral("-");
    L_Start->setText(none);
    L_End->setText(none);
    L_LWH->setText(none);
}

void TMain::ReleaseModel() {
    ClearSelections();
    LB_LODs->clear();
    // The cached arrays are known by their LOD's address, which the next
    // model may reuse.
    DrawCache.Clear();
    Model.reset();
    ShowNoModel();
}

void TMain::ShowNoModel() {
    // every value label as at start, the extent strip's too
    for (QLabel* label : {L_Vertexes, L_Unique, L_Faces, L_Textures, L_MinPos, L_MaxPos, L_Mass, L_LWH, L_Start, L_End})
        if (label) label->setText(QStringLiteral("0"));
    if (LB_Properties) LB_Properties->setRowCount(0);
    setWindowTitle(QStringLiteral("Vistrel ") + VersionText);
}

TPrompt& TMain::Prompt() const {
    if (P_Wait && P_Wait->isVisible()) P_Wait->hide();
    return *prompt_;
}

QString TMain::CurrentDirectory() const { return LB_Directory->Directory(); }

bool TMain::SetDirectory(const QString& directory) { return LB_Directory->SetDirectory(directory); }

QString TMain::SelectedFile() const { return Files->FileName(); }

void TMain::Repaint() { OpenGl->Repaint(); }

void TMain::AppendDebugLine(const QString& line) { DebugMemo->appendPlainText(line); }

QPoint TMain::WaitPanelPosition(QSize windowSize) {
    // Integer division truncates toward zero: a window 100 wide gives -46.
    return {(windowSize.width() - WaitPanelWidth) / 2, (windowSize.height() - WaitPanelHeight) / 2};
}

QString TMain::FileExtension(const QString& fileName) {
    for (qsizetype i = fileName.size() - 1; i >= 0; --i) {
        const QChar c = fileName.at(i);
        if (c == QLatin1Char('.')) return fileName.mid(i);
        if (c == QLatin1Char('/') || c == QDir::separator()) break;
    }
    return {};
}

// ============================================================== window events

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (const QScreen* desktop = screen()) {
        const QRect area = desktop->availableGeometry();
        const QRect frame = frameGeometry();
        move(area.x() + (area.width() - frame.width()) / 2, area.y() + (area.height() - frame.height()) / 2);
    }
    InitTimer->start();
}

void TMain::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TMain::closeEvent(QCloseEvent* event) {
    event->accept();
    Guarded([&] { FormClose(event); });
}

bool TMain::AcceptsDrop(const QMimeData* data) {
    return data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile();
}

void TMain::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void TMain::dragMoveEvent(QDragMoveEvent* event) {
    if (AcceptsDrop(event->mimeData())) event->acceptProposedAction();
}

void TMain::dropEvent(QDropEvent* event) {
    if (!AcceptsDrop(event->mimeData())) return;
    event->acceptProposedAction();
    Guarded([&] { WMDropFiles(event->mimeData()); });
}

// ================================================================== handlers

void TMain::FormCreate() { setAcceptDrops(true); }

void TMain::FormDestroy() { setAcceptDrops(false); }

void TMain::FormResize() { P_Wait->move(WaitPanelPosition(frameGeometry().size())); }

void TMain::WMDropFiles(const QMimeData* data) {
    if (!AcceptsDrop(data)) return;
    // Only the first dropped file counts.
    const QString name = QDir::toNativeSeparators(data->urls().first().toLocalFile());
    QString extension = FileExtension(name);
    for (QChar& c : extension)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z')) c = QChar(c.unicode() - 'a' + 'A');
    if (extension == QLatin1String(".P3D")) LoadModel(name, false);
}

void TMain::FilesChange() {
    const QString fileName = Files->FileName();
    if (fileName.isEmpty()) return;
    LoadModel(fileName, false);
}

void TMain::B_PickGroundTextClick() {
    const QString file = OpenFileWhereTheUserWas(OpenGroundTexture);
    if (file.isEmpty()) return;
    GroundTexture = file;
    LoadGroundTexture(GroundTexture);
    ReloadShownTextures();
    OpenGl->Repaint();
}

void TMain::B_PickDataDirClick() {
    if (const std::optional<QString> directory = prompt_->PickDirectory()) {
        DataPath = *directory;
        ReloadShownTextures();
    }
}

TFileDialogSettings TMain::WhereTheUserWas(const TFileDialogSettings& dialog) const {
    TFileDialogSettings where = dialog;
    if (!where.InitialDir.isEmpty()) return where;
    where.InitialDir = DialogFolders.value(dialog.Name);
    if (where.InitialDir.isEmpty() && Model)
        where.InitialDir = QFileInfo(QFile::decodeName(Model->FileName.c_str())).absolutePath();
    if (where.InitialDir.isEmpty()) where.InitialDir = CurrentDirectory();  // the browser's folder
    return where;
}

void TMain::RememberWhere(const TFileDialogSettings& dialog, const QString& chosen) {
    if (!chosen.isEmpty()) DialogFolders.insert(dialog.Name, QFileInfo(chosen).absolutePath());
}

QString TMain::OpenFileWhereTheUserWas(const TFileDialogSettings& dialog) {
    const QString chosen = prompt_->OpenFile(WhereTheUserWas(dialog));
    RememberWhere(dialog, chosen);
    return chosen;
}

QString TMain::SaveFileWhereTheUserWas(const TFileDialogSettings& dialog) {
    const QString chosen = prompt_->SaveFile(WhereTheUserWas(dialog));
    RememberWhere(dialog, chosen);
    return chosen;
}

void TMain::ReloadShownTextures() {
    // the LOD on show takes its textures under the new root at once
    if (Model && SelectedLod()) {
        LoadLodTextures(SelectedLod());
        Repaint();
    }
}

}  // namespace vistrel
