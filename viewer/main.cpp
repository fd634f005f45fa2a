// Program entry: the globals, the application, the main window and the hidden
// directory picker, then the message loop until the main window closes.
#include "Application.h"
#include "F_main.h"
#include "F_pickdir.h"
#include "Globals.h"

#include <exception>
#include <memory>

int main(int argc, char** argv)
{
    using namespace vistrel;
    TApplication app(argc, argv);
    InitGlobals();
    int result = 0;
    try {
        TMain mainWindow;
        auto picker = std::make_unique<TPickDir>();
        PickDir = picker.get();
        mainWindow.show();
        result = app.exec();
        PickDir = nullptr;
    } catch (const std::exception& error) {
        PickDir = nullptr;
        TApplication::ShowErrorBox(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        PickDir = nullptr;
        TApplication::ShowErrorBox(QStringLiteral("Unknown error"));
    }
    ReleaseGlobals();
    return result;
}
