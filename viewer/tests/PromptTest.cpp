// The prompt helpers, the scripted prompt and the application's error net.
#include "Application.h"
#include "Prompt.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"

#include <QEvent>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace vistrel;
using namespace vistrel::test;

TEST(PromptTest, FiltersInQtForm) {
    EXPECT_EQ(QtFilterFromPipe(QStringLiteral("Textures|*.pa*")), QStringLiteral("Textures (*.pa*)"));
    EXPECT_EQ(QtFilterFromPipe(QStringLiteral("Executable|*.exe")), QStringLiteral("Executable (*.exe)"));
    EXPECT_EQ(QtFilterFromPipe(QStringLiteral("A|*.a|B|*.b;*.c")), QStringLiteral("A (*.a);;B (*.b *.c)"));
    EXPECT_EQ(QtFilterFromPipe(QString()), QString());
}

TEST(PromptTest, DefaultSuffixOnlyWhenItIsNoPattern) {
    EXPECT_EQ(UsableDefaultSuffix(QStringLiteral("p3d")), QStringLiteral("p3d"));
    EXPECT_EQ(UsableDefaultSuffix(QStringLiteral(".p3d")), QStringLiteral("p3d"));
    EXPECT_EQ(UsableDefaultSuffix(QStringLiteral("*.p3d")), QStringLiteral("p3d"));
    EXPECT_EQ(UsableDefaultSuffix(QStringLiteral("*.pa*")), QString());
}

TEST(PromptTest, ScriptedPromptAnswersFromItsQueuesAndRecords) {
    TScriptedPrompt prompt;
    prompt.Answers = {true};
    prompt.OpenAnswers = {QStringLiteral("/x/o2.exe")};
    prompt.DirAnswers = {QStringLiteral("/tex")};
    TPrompt& p = prompt;
    EXPECT_TRUE(p.Question(QStringLiteral("Go on?")));
    EXPECT_FALSE(p.Question(QStringLiteral("Again?")));  // queue empty: No
    TFileDialogSettings settings;
    settings.Name = QStringLiteral("OpenOxygen");
    EXPECT_EQ(p.OpenFile(settings), QStringLiteral("/x/o2.exe"));
    EXPECT_EQ(p.OpenFile(settings), QString());  // Cancel
    EXPECT_EQ(p.SaveFile(settings), QString());
    EXPECT_EQ(p.PickDirectory(), std::optional<QString>(QStringLiteral("/tex")));
    EXPECT_EQ(p.PickDirectory(), std::nullopt);
    p.Message(QStringLiteral("Hello"));
    p.ErrorBox(QStringLiteral("Stream read error"));
    EXPECT_EQ(prompt.Questions, (QStringList{QStringLiteral("Go on?"), QStringLiteral("Again?")}));
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Hello")});
    EXPECT_EQ(prompt.Errors, QStringList{QStringLiteral("Stream read error")});
    EXPECT_EQ(prompt.OpenRequests.size(), 2);
    EXPECT_EQ(prompt.SaveRequests.size(), 1);
    EXPECT_EQ(prompt.PickDirectoryCalls, 2);
    EXPECT_EQ(prompt.Log.first(), QStringLiteral("Question: Go on?"));
    EXPECT_EQ(prompt.Log.last(), QStringLiteral("Error: Stream read error"));
}

namespace {

class TThrowingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("Stream read error");
        return QObject::event(e);
    }
};

}  // namespace

TEST(PromptTest, ErrorEscapingAnEventIsShownAndTheLoopGoesOn) {
    auto* app = qobject_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    QStringList shown;
    app->SetErrorHandler([&](const QString& text) { shown << text; });

    TThrowingObject target;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], QStringLiteral("Stream read error"));

    // The same from a timer, inside the running loop.
    bool after = false;
    QTimer::singleShot(0, &target, [] { throw std::runtime_error("Cannot open file x"); });
    QTimer::singleShot(30, &target, [&] { after = true; });
    ASSERT_TRUE(WaitFor([&] { return after; }));
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[1], QStringLiteral("Cannot open file x"));
    app->SetErrorHandler({});
}
