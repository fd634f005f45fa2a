// Test entry: a real application object (the viewer's own, so that errors
// escaping handlers are caught as in the program), then the tests.
#include "Application.h"
#include "Globals.h"
#include "LeakCheck.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests must work without a display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    vistrel::TApplication app(argc, argv);
    // The tests close many windows; none of that may end a later dialog's loop.
    app.setQuitOnLastWindowClosed(false);
    vistrel::InitGlobals();
    const int result = RUN_ALL_TESTS();
    vistrel::LeakCheckBeforeTeardown();
    return result;
}
