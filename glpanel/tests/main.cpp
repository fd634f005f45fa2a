// Test entry: GoogleTest with a QApplication for the widget tests. Listing
// the tests (at build time) needs no display, so no application is made then.
#include <gtest/gtest.h>

#include <QApplication>

#include "LeakCheck.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    vistrel::LeakCheckBeforeTeardown();
    return result;
}
