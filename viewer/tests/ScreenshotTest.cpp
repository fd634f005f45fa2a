// Saves pictures of the main window for the documentation when
// VISTREL_SCREENSHOT_DIR names a folder; skipped otherwise.
#include "F_pickdir.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPixmap>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

TEST(ScreenshotTest, MainWindow) {
    const QString folder = qEnvironmentVariable("VISTREL_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "VISTREL_SCREENSHOT_DIR not set";
    TScriptedPrompt prompt;
    TMain window(&prompt);
    const QString start = qEnvironmentVariable("VISTREL_SCREENSHOT_BROWSE");
    if (!start.isEmpty()) window.SetDirectory(start);
    for (const QSize size : {QSize(819, 725), QSize(1200, 900)}) {
        window.resize(size);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(600);
        const QString name =
            QStringLiteral("%1/main-window-%2x%3.png").arg(folder).arg(size.width()).arg(size.height());
        EXPECT_TRUE(window.grab().save(name));
    }
    window.resize(819, 725);
    window.P_Wait->show();
    QTest::qWait(100);
    EXPECT_TRUE(window.grab().save(folder + QStringLiteral("/main-window-wait.png")));
    window.P_Wait->hide();

    TPickDir picker;
    picker.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&picker));
    QTest::qWait(300);
    EXPECT_TRUE(picker.grab().save(folder + QStringLiteral("/pick-directory.png")));
}
