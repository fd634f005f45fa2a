// Everything the viewer asks of the user goes through one small interface:
// message boxes, the Yes/No question, the error box, file dialogs and the
// directory picker. The program uses the dialog implementation below; tests
// plug in TScriptedPrompt (ScriptedPrompt.h), which never blocks.
#pragma once

#include <QString>

#include <optional>

class QWidget;

namespace vistrel {

// The settings of one file dialog, kept as data on the form and handed to the
// prompt when the dialog runs.
struct TFileDialogSettings {
    QString Name;        // the dialog's name on the form ("SaveMLOD")
    QString Title;       // empty: the platform's default title
    QString Filter;      // Qt form: "MLOD Format (*.p3d)"
    QString DefaultExt;  // added to a typed name without extension
    QString InitialDir;  // empty: wherever the platform's dialog opens
    QString FileName;    // proposed file name
    bool OverwritePrompt = false;
    bool PathMustExist = false;
    bool FileMustExist = false;
    bool HideReadOnly = false;
};

// "Desc|pattern|Desc2|pattern2" → "Desc (pattern);;Desc2 (pattern2)".
QString QtFilterFromPipe(const QString& filter);
// The suffix QFileDialog can add to a typed name: "p3d" from "p3d", ".p3d" or
// "*.p3d"; empty when the extension is itself a pattern ("*.pa*").
QString UsableDefaultSuffix(const QString& defaultExt);

class TPrompt {
public:
    virtual ~TPrompt() = default;
    // Plain modal information box with an OK button.
    virtual void Message(const QString& text) = 0;
    // Caption "Info", buttons Yes and No, no icon; true for Yes.
    virtual bool Question(const QString& text) = 0;
    // The application's error box for an error that ended an operation.
    virtual void ErrorBox(const QString& text) = 0;
    // Full path of the confirmed file, empty when cancelled.
    virtual QString OpenFile(const TFileDialogSettings& settings) = 0;
    virtual QString SaveFile(const TFileDialogSettings& settings) = 0;
    // The directory picker: its open directory on OK, nothing on Cancel.
    virtual std::optional<QString> PickDirectory() = 0;
};

// The real thing: QMessageBox, QFileDialog and the directory picker TPickDir
// (the program's own PickDir; one is made on demand when there is none).
class TDialogPrompt : public TPrompt {
public:
    explicit TDialogPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    ~TDialogPrompt() override;

    void Message(const QString& text) override;
    bool Question(const QString& text) override;
    void ErrorBox(const QString& text) override;
    QString OpenFile(const TFileDialogSettings& settings) override;
    QString SaveFile(const TFileDialogSettings& settings) override;
    std::optional<QString> PickDirectory() override;

private:
    QString RunFileDialog(const TFileDialogSettings& settings, bool save);
    QWidget* parent_;
    class TPickDir* ownPicker_ = nullptr;
};

}  // namespace vistrel
