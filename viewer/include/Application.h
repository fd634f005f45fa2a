// The application object. An exception that escapes an event handler (a
// slot, a timer, a paint) would otherwise unwind through Qt's event loop; it
// is caught here, at the delivery of the event, and shown in the error box,
// after which the loop goes on with the next event.
#pragma once

#include <QApplication>
#include <QString>

#include <functional>

namespace vistrel {

class TApplication : public QApplication {
    Q_OBJECT
public:
    using TErrorHandler = std::function<void(const QString& text)>;

    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // How an escaped error is shown; the default is ShowErrorBox.
    void SetErrorHandler(TErrorHandler handler) { errorHandler_ = std::move(handler); }
    void ShowException(const QString& text);

    // The application's standard error box: critical icon, the program's name
    // as caption, the error's text.
    static void ShowErrorBox(const QString& text);

private:
    TErrorHandler errorHandler_;
};

}  // namespace vistrel
