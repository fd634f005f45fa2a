#include "Application.h"

#include <QMessageBox>

#include <exception>

namespace vistrel {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The name titles the message boxes. No display name is set: Qt would add
    // it to every window title ("Vistrel v2.44 [tank.p3d] \u2014 Vistrel").
    setApplicationName(QStringLiteral("Vistrel"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    return false;
}

void TApplication::ShowException(const QString& text) {
    if (errorHandler_) {
        errorHandler_(text);
        return;
    }
    ShowErrorBox(text);
}

void TApplication::ShowErrorBox(const QString& text) {
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
}

}  // namespace vistrel
