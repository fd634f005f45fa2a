#include "Application.h"

#include <QMessageBox>

#include <exception>

namespace vistrel {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Vistrel"));
    setApplicationDisplayName(QStringLiteral("Vistrel"));
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
    return false;
}

void TApplication::ShowException(const QString& text)
{
    if (errorHandler_) {
        errorHandler_(text);
        return;
    }
    ShowErrorBox(text);
}

void TApplication::ShowErrorBox(const QString& text)
{
    QMessageBox::critical(QApplication::activeWindow(), QApplication::applicationDisplayName(), text);
}

}  // namespace vistrel
