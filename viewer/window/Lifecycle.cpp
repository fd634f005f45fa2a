// The main window's life around its real work: the start-up step that
// restores the settings and opens a model named on the command line, the
// saving of the settings at close, and the save-as-MLOD command.
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QTimer>

#include <QSignalBlocker>
#include "DataDirOption.h"
#include "F_main.h"
#include "FileList.h"
#include "Globals.h"
#include "IniFile.h"
#include "SettingsLocation.h"
#include "TextureData.h"

namespace vistrel {
namespace {

const QString kSection = QStringLiteral("Settings");

}  // namespace

QString TMain::SettingsPath() const {
    return SettingsFileOverride.isEmpty() ? SettingsFilePath(ExeDir) : SettingsFileOverride;
}

void TMain::InitTimerTimer() {
    InitTimer->stop();  // runs once

    const TIniFile ini(SettingsPath());
    const QString lastDir = ini.ReadString(kSection, QStringLiteral("LastDir"), ExeDir);
    // a folder that no longer exists leaves the browser where it is
    if (!lastDir.isEmpty() && QFileInfo(lastDir).isDir()) SetDirectory(lastDir);
    O2Path = ini.ReadString(kSection, QStringLiteral("O2Path"), QString());

    // outer bounds, applied one after the other
    const QRect frame = frameGeometry();
    const int frameW = frame.width() - width();
    const int frameH = frame.height() - height();
    const int left = ini.ReadInteger(kSection, QStringLiteral("Left"), frame.left());
    move(left, frameGeometry().top());
    const int top = ini.ReadInteger(kSection, QStringLiteral("Top"), frame.top());
    move(frameGeometry().left(), top);
    const int outerW = ini.ReadInteger(kSection, QStringLiteral("Width"), frame.width());
    resize(outerW - frameW, height());
    const int outerH = ini.ReadInteger(kSection, QStringLiteral("Height"), frame.height());
    resize(width(), outerH - frameH);
    // beside the bounds: the file column, the picker (never past the screen)
    SetFileColumnWidth(ini.ReadInteger(kSection, QStringLiteral("FileColumnWidth"), FileColumnWidth()));
    const QSize room = screen() ? screen()->availableGeometry().size() : QSize(4096, 4096);
    PickDirSize = QSize(ini.ReadInteger(kSection, QStringLiteral("PickDirWidth"), TPickDir::OpeningSize.width()),
                        ini.ReadInteger(kSection, QStringLiteral("PickDirHeight"), TPickDir::OpeningSize.height()))
                      .expandedTo(TPickDir::LeastSize)
                      .boundedTo(room.expandedTo(TPickDir::LeastSize));
    if (PickDir) PickDir->resize(PickDirSize);

    DataPath = ini.ReadString(kSection, QStringLiteral("DataPath"), QString());
    SavedDataPath = DataPath;
    // A root given for this run is used, not saved (unless "Data Dir" picks
    // one); one that is no folder is said so, and the run goes on without it.
    if (const std::string problem = DataDirProblem(QFile::encodeName(DataPathOverride).toStdString());
        !problem.empty()) {
        Prompt().Message(QFile::decodeName(problem.c_str()) +
                         QStringLiteral("\nThe textures are looked up as if it had not been given."));
        DataPathOverride.clear();
    }
    if (!DataPathOverride.isEmpty()) DataPath = DataPathOverride;
    if (!DataPath.isEmpty()) OpenGroundTexture.InitialDir = DataPath;
    GroundTexture = ini.ReadString(kSection, QStringLiteral("GroundTexture"), QString());

    if (DataPath.isEmpty()) {
        Prompt().Message(
            QStringLiteral("Please select root directory for extracted texture pbo's.\n"
                           "They can also be changed later by using the 'Data Dir' button."));
        if (const std::optional<QString> directory = Prompt().PickDirectory()) DataPath = SavedDataPath = *directory;
    }

    setWindowTitle(QStringLiteral("Vistrel ") + VersionText);
    TB_XChange();

    bool textureGiven = false;
    if (!CommandLineFiles.isEmpty()) {
        const QString first = CommandLineFiles.first();
        if (QFileInfo(first).isFile()) {
            // the file list shows its folder with it chosen (not loaded twice)
            const QFileInfo file(first);
            // a texture file (opened from a file manager) is shown alone in
            // the view, then on the ground, for this run only; the file
            // list shows models alone
            textureGiven = LooksLikeTextureFile(QFile::encodeName(first).toStdString());
            if (SetDirectory(QDir::toNativeSeparators(file.absolutePath())) && !textureGiven) {
                const QSignalBlocker quiet(Files);
                Files->SelectFile(file.fileName());
            }
            if (textureGiven) {
                LoadGroundTexture(first);
                GroundShownAlone = true;
                CB_Ground->setChecked(true);
                Repaint();
            } else
                LoadModel(first, true);
        } else
            Prompt().Message(first + QStringLiteral("couldn't be found."));
    }

    if (!textureGiven && !GroundTexture.isEmpty() && QFileInfo(GroundTexture).isFile())
        LoadGroundTexture(GroundTexture);
}

void TMain::FormClose(QCloseEvent* event) {
    Q_UNUSED(event);  // the close goes on whatever happens here
    TIniFile ini(SettingsPath());
    ini.WriteString(kSection, QStringLiteral("LastDir"), CurrentDirectory());
    ini.WriteString(kSection, QStringLiteral("O2Path"), O2Path);
    ini.WriteString(kSection, QStringLiteral("DataPath"),
                    DataPathOverride.isEmpty() || DataPath != DataPathOverride ? DataPath : SavedDataPath);
    ini.WriteString(kSection, QStringLiteral("GroundTexture"), GroundTexture);
    const QRect frame = frameGeometry();
    ini.WriteInteger(kSection, QStringLiteral("Left"), frame.left());
    ini.WriteInteger(kSection, QStringLiteral("Top"), frame.top());
    ini.WriteInteger(kSection, QStringLiteral("Width"), frame.width());
    ini.WriteInteger(kSection, QStringLiteral("Height"), frame.height());
    ini.WriteInteger(kSection, QStringLiteral("FileColumnWidth"), FileColumnWidth());
    if (PickDir) PickDirSize = PickDir->size();
    ini.WriteInteger(kSection, QStringLiteral("PickDirWidth"), PickDirSize.width());
    ini.WriteInteger(kSection, QStringLiteral("PickDirHeight"), PickDirSize.height());
    QString error;
    if (!ini.Save(&error))
        Prompt().Message(QStringLiteral("The settings could not be saved to ") + QDir::toNativeSeparators(ini.Path()) +
                         QStringLiteral(":\n") + error);
}

QString TMain::ProposedMlodName(const QString& fileName) {
    QString name = QFileInfo(fileName).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return name + QStringLiteral("_MLOD.p3d");
}

void TMain::B_SaveClick() {
    if (!Model) return;
    TFileDialogSettings dialog = SaveMLOD;
    dialog.FileName = ProposedMlodName(QFile::decodeName(Model->FileName.c_str()));
    const QString target = SaveFileWhereTheUserWas(dialog);
    if (target.isEmpty()) return;
    // the writer's messages are shown modally; its errors reach the error box
    TMessageEvent previous = Model->OnMessage;
    Model->OnMessage = [this](const std::string& text) { Prompt().Message(QString::fromLatin1(text)); };
    struct Restore {
        TP3dModell& model;
        TMessageEvent sink;
        ~Restore() { model.OnMessage = std::move(sink); }
    } restore{*Model, std::move(previous)};
    Model->WriteMLOD(QFile::encodeName(target).toStdString());
}

}  // namespace vistrel
