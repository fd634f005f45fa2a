// Opening a chosen model file: a binarized model is read and shown; a file in
// the editable format goes to the external editor instead.
#include "F_main.h"

#include "Globals.h"
#include "ListBox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTimer>

#include <array>
#include <cstring>
#include <memory>

namespace vistrel {

namespace {

constexpr int kDebugMemoLoadHeight = 180;

// The name part of a path (no folder), and the folder with its trailing
// separator (empty for a bare name).
qsizetype LastSeparator(const QString& path) {
    return qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QDir::separator()));
}

QString NamePart(const QString& path) { return path.mid(LastSeparator(path) + 1); }

QString FolderPart(const QString& path) { return path.left(LastSeparator(path) + 1); }

// Shows the wait panel for its lifetime and hides it however the scope ends.
class TWaitPanel {
public:
    explicit TWaitPanel(QLabel* panel) : panel_(panel) {
        panel_->raise();
        panel_->show();
        panel_->repaint();
        // Let the window paint before the long read. Keys and clicks wait
        // for the load to end: handled here, inside the file list's own
        // handling of the key that picked this file, they would load another
        // model inside this one and leave the list's cursor astray.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~TWaitPanel() { panel_->hide(); }
    TWaitPanel(const TWaitPanel&) = delete;
    TWaitPanel& operator=(const TWaitPanel&) = delete;

private:
    QLabel* panel_;
};

bool IsExistingFile(const QString& path) { return !path.isEmpty() && QFileInfo(path).isFile(); }

}  // namespace

bool TMain::StartDetached(const QString& program, const QStringList& arguments, const QString& workingDirectory) {
    return QProcess::startDetached(program, arguments, workingDirectory);
}

void TMain::FillLodList() {
    LB_LODs->clear();
    if (!Model) return;
    for (TP3dLOD* lod : Model->LODs) AddLodEntry(QString::fromLatin1(LodDisplayName(lod->Resolution)), lod);
}

void TMain::LoadModel(const QString& fileName, bool fromCommandLine) {
    if (loading_) {
        pendingPick_.emplace(fileName, fromCommandLine);
        return;
    }
    pendingPick_.reset();  // a pick made now supersedes any that waited
    loading_ = true;
    GroundShownAlone = false;
    // However the load ends: an error that leaves it (shown by the caller)
    // still lets the waiting pick be loaded, after the error box.
    struct TLoadEnd {
        TMain& main;
        bool normal = false;
        ~TLoadEnd() {
            main.loading_ = false;
            if (!normal && main.pendingPick_) QTimer::singleShot(0, &main, [m = &main] { m->LoadPendingPick(); });
        }
    } end{*this};
    LoadOne(fileName, fromCommandLine);
    while (pendingPick_) {
        const auto [next, nextFromCommandLine] = *pendingPick_;
        pendingPick_.reset();
        LoadOne(next, nextFromCommandLine);
    }
    end.normal = true;
}

void TMain::LoadPendingPick() {
    if (!pendingPick_ || loading_) return;
    const auto [fileName, fromCommandLine] = *pendingPick_;
    pendingPick_.reset();
    Guarded([&] { LoadModel(fileName, fromCommandLine); });
}

void TMain::LoadOne(const QString& fileName, bool fromCommandLine) {
    ReleaseModel();
    // However the load ends (an editable file, an unknown format, a file with
    // no LODs, an error out of the reader), a view left with no LOD on show
    // draws again: the previous model is gone and its last frame with it.
    struct TRepaintWithoutLod {
        TMain& main;
        ~TRepaintWithoutLod() {
            if (main.LB_LODs->count() == 0) main.Repaint();
        }
    } repaintWithoutLod{*this};

    // The debug log goes to the (hidden) memo only while "Debug" is ticked.
    TLogEvent onLog;
    if (CB_Debug->isChecked()) {
        onLog = [this](const std::string& line) { AppendDebugLine(QString::fromLatin1(line)); };
        if (DebugMemo->height() == 0) DebugMemo->resize(DebugMemo->width(), kDebugMemoLoadHeight);
    } else {
        DebugMemo->resize(DebugMemo->width(), 0);
    }

    const std::string path = QFile::encodeName(fileName).toStdString();
    const std::array<char, 4> magic = ReadFileMagic(path);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);  // as in TWaitPanel

    if (ModelMagicOf(magic) == TModelMagic::Editable) {
        // An editable model: offered to the editor, never loaded here.
        const bool toEditor =
            fromCommandLine ||
            Prompt().Question(QStringLiteral("Model has MLOD format, do you want to load it in Oxygen?"));
        if (toEditor) {
            if (!IsExistingFile(O2Path) &&
                Prompt().Question(
                    QStringLiteral("No path to Oxygen defined yet or path is invalid. Do you wish to select now?"))) {
                const QString chosen = OpenFileWhereTheUserWas(OpenOxygen);
                if (!chosen.isEmpty()) O2Path = chosen;
            }
            // The editor gets the bare name, unquoted, in the file's folder.
            if (IsExistingFile(O2Path)) Launcher(O2Path, {NamePart(fileName)}, FolderPart(fileName));
        }
        if (fromCommandLine) close();
        return;
    }

    ShowModel(fileName, std::move(onLog));
}

void TMain::ShowModel(const QString& fileName, TLogEvent onLog) {
    TWaitPanel wait(P_Wait);
    // The reader's messages are shown as they come, each in its own box.
    TMessageEvent onMessage = [this](const std::string& text) { Prompt().Message(QString::fromLatin1(text)); };
    ReleaseModel();  // the lists never point into a released model
    Model =
        std::make_unique<TP3dModell>(QFile::encodeName(fileName).toStdString(), std::move(onLog), std::move(onMessage));
    FillLodList();
    // a model with nothing to show is no model on show: no file in the caption
    if (LB_LODs->count() > 0) {
        FitCameraToModel();
        LB_LODs->SetItemIndex(0);
        LB_LODsClick();
        setWindowTitle(QStringLiteral("Vistrel ") + VersionText + QStringLiteral(" [") + NamePart(fileName) +
                       QStringLiteral("]"));
    }
}

}  // namespace vistrel
