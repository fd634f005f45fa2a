// The directory picker: its form, and that its result is the entered folder.
#include "DirectoryList.h"
#include "F_pickdir.h"
#include "Prompt.h"
#include "TestSupport.h"

#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// Presses a button of a dialog by name as soon as the dialog is up; for as
// long as it lives.
class TButtonPresser {
public:
    TButtonPresser(QDialog* dialog, const QString& button, std::function<void()> before = {}) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this, dialog, button, before] {
            if (!dialog->isVisible()) return;
            timer_.stop();
            if (before) before();
            if (auto* target = dialog->findChild<QPushButton*>(button)) target->click();
        });
        timer_.start();
    }

private:
    QTimer timer_;
};

// Runs a test body in a given working directory.
class TWorkingDirectory {
public:
    explicit TWorkingDirectory(const QString& path) : saved_(QDir::currentPath()) { QDir::setCurrent(path); }
    ~TWorkingDirectory() { QDir::setCurrent(saved_); }

private:
    QString saved_;
};

}  // namespace

TEST(PickDirTest, FormAsDesigned) {
    TPickDir dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Pick Directory"));
    // It opens where a folder tree can be read, and can be made as small as designed.
    EXPECT_EQ(dialog.size(), QSize(400, 480));
    EXPECT_EQ(dialog.minimumSize(), QSize(187, 215));
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.findChild<TDirectoryList*>(QStringLiteral("DirList")), dialog.DirList);
    EXPECT_EQ(dialog.findChild<TDriveComboBox*>(QStringLiteral("DriveComboBox1")), dialog.DriveComboBox1);
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    auto* cancel = dialog.findChild<QPushButton*>(QStringLiteral("BitBtn2"));
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(cancel->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_FALSE(cancel->isDefault());

    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    // Nothing overlaps, the buttons keep their size at the lower left.
    const QRect list = dialog.DirList->geometry();
    const QRect drive = dialog.DriveComboBox1->geometry();
    EXPECT_FALSE(list.intersects(drive));
    EXPECT_FALSE(list.intersects(ok->geometry()));
    EXPECT_FALSE(ok->geometry().intersects(cancel->geometry()));
    EXPECT_GE(ok->width(), 81);
    EXPECT_GE(ok->height(), 25);
    EXPECT_LT(ok->x(), cancel->x());
    dialog.resize(500, 600);
    QCoreApplication::processEvents();
    EXPECT_GT(dialog.DirList->width(), list.width());
    EXPECT_GT(dialog.DirList->height(), list.height());
    EXPECT_LT(ok->x(), 20);
    EXPECT_GT(ok->y(), 550);
}

TEST(PickDirTest, StartsInTheWorkingDirectoryOfItsCreation) {
    TModelFolder folder;
    std::unique_ptr<TPickDir> dialog;
    {
        TWorkingDirectory cwd(folder.Path());
        dialog = std::make_unique<TPickDir>();
    }
    EXPECT_EQ(dialog->Directory(), folder.Path());
}

TEST(PickDirTest, OkReturnsTheEnteredFolderNotTheHighlightedOne) {
    TModelFolder folder;
    TPickDir dialog;
    ASSERT_TRUE(dialog.DirList->SetDirectory(folder.Path()));
    ASSERT_TRUE(WaitFor([&] { return dialog.DirList->IndexOf(folder.Sub()).isValid(); }));

    TButtonPresser press(&dialog, QStringLiteral("BitBtn1"), [&] { dialog.DirList->Highlight(folder.Sub()); });
    const std::optional<QString> result = dialog.Execute();
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(*result, folder.Path());
    EXPECT_EQ(dialog.DirList->HighlightedDirectory(), folder.Sub());
    EXPECT_FALSE(dialog.isVisible());
}

TEST(PickDirTest, EnteredFolderIsTheResultAndIsKeptForNextTime) {
    TModelFolder folder;
    TPickDir dialog;
    dialog.DirList->SetDirectory(folder.Path());
    ASSERT_TRUE(WaitFor([&] { return dialog.DirList->IndexOf(folder.Sub()).isValid(); }));
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn1"), [&] {
            dialog.DirList->Highlight(folder.Sub());
            dialog.DirList->setFocus();
            QTest::keyClick(dialog.DirList, Qt::Key_Return);  // enters; does not close
            EXPECT_TRUE(dialog.isVisible());
        });
        EXPECT_EQ(dialog.Execute(), std::optional<QString>(folder.Sub()));
    }
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn2"));
        EXPECT_EQ(dialog.Execute(), std::nullopt);
    }
    EXPECT_EQ(dialog.Directory(), folder.Sub());
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn1"));
        EXPECT_EQ(dialog.Execute(), std::optional<QString>(folder.Sub()));
    }
}

TEST(PickDirTest, CancelEscapeAndCloseBoxReturnNothing) {
    TModelFolder folder;
    TPickDir dialog;
    dialog.DirList->SetDirectory(folder.Path());
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn2"));
        EXPECT_EQ(dialog.Execute(), std::nullopt);
    }
    {
        QTimer escape;
        escape.setInterval(20);
        QObject::connect(&escape, &QTimer::timeout, [&] {
            if (dialog.isVisible()) {
                escape.stop();
                QTest::keyClick(&dialog, Qt::Key_Escape);
            }
        });
        escape.start();
        EXPECT_EQ(dialog.Execute(), std::nullopt);
    }
    {
        QTimer closer;
        closer.setInterval(20);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (dialog.isVisible()) {
                closer.stop();
                dialog.close();
            }
        });
        closer.start();
        EXPECT_EQ(dialog.Execute(), std::nullopt);
    }
}

TEST(PickDirTest, ResultHasNoTrailingSeparatorExceptForARoot) {
    TModelFolder folder;
    TPickDir dialog;
    dialog.DirList->SetDirectory(folder.Path() + QDir::separator());
    EXPECT_EQ(dialog.Directory(), folder.Path());
    EXPECT_FALSE(dialog.Directory().endsWith(QDir::separator()));

    // Another drive: its root.
    dialog.DriveComboBox1->ChooseDrive(0);
    const QString root = QDir::toNativeSeparators(TDriveComboBox::VolumeRoots().first());
    TButtonPresser press(&dialog, QStringLiteral("BitBtn1"));
    EXPECT_EQ(dialog.Execute(), std::optional<QString>(root));
#ifndef Q_OS_WIN
    EXPECT_EQ(root, QStringLiteral("/"));
#endif
}

TEST(PickDirTest, DialogPromptUsesTheProgramsPicker) {
    TModelFolder folder;
    TPickDir dialog;
    dialog.DirList->SetDirectory(folder.Sub());
    PickDir = &dialog;
    TDialogPrompt prompt;
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn1"));
        EXPECT_EQ(prompt.PickDirectory(), std::optional<QString>(folder.Sub()));
    }
    {
        TButtonPresser press(&dialog, QStringLiteral("BitBtn2"));
        EXPECT_EQ(prompt.PickDirectory(), std::nullopt);
    }
    PickDir = nullptr;
}
