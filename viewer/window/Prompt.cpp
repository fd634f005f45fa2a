#include "Prompt.h"

#include "F_pickdir.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStringList>

namespace vistrel {

QString QtFilterFromPipe(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i] + QStringLiteral(" (") + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                       QLatin1Char(')');
    return entries.join(QStringLiteral(";;"));
}

QString UsableDefaultSuffix(const QString& defaultExt) {
    QString ext = defaultExt;
    if (ext.startsWith(QLatin1String("*.")))
        ext.remove(0, 2);
    else if (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (ext.contains(QLatin1Char('*')) || ext.contains(QLatin1Char('?'))) return {};
    return ext;
}

TDialogPrompt::~TDialogPrompt() { delete ownPicker_; }

void TDialogPrompt::Message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool TDialogPrompt::Question(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Info"), text, QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

void TDialogPrompt::ErrorBox(const QString& text) {
    QMessageBox::critical(parent_, QGuiApplication::applicationDisplayName(), text);
}

QString TDialogPrompt::RunFileDialog(const TFileDialogSettings& s, bool save) {
    QFileDialog dialog(parent_, s.Title, s.InitialDir, s.Filter);
    dialog.setObjectName(s.Name);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(s.FileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (save && !s.OverwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    const QString suffix = UsableDefaultSuffix(s.DefaultExt);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    if (!s.FileName.isEmpty()) dialog.selectFile(s.FileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

QString TDialogPrompt::OpenFile(const TFileDialogSettings& settings) { return RunFileDialog(settings, false); }

QString TDialogPrompt::SaveFile(const TFileDialogSettings& settings) { return RunFileDialog(settings, true); }

std::optional<QString> TDialogPrompt::PickDirectory() {
    TPickDir* picker = PickDir;
    if (!picker) {
        if (!ownPicker_) ownPicker_ = new TPickDir(nullptr);
        picker = ownPicker_;
    }
    return picker->Execute();
}

}  // namespace vistrel
