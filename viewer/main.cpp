// Program entry: the globals, the application, the main window and the hidden
// directory picker, then the message loop until the main window closes.
// With --screenshot the program renders one model to a PNG and exits instead
// (ScreenshotOption.h); --help prints the usage.
#include "Application.h"
#include "F_main.h"
#include "F_pickdir.h"
#include "Globals.h"
#include "LeakCheck.h"
#include "ScreenshotOption.h"

#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <exception>
#include <memory>

namespace {

void WriteText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The arguments after the program's name, before any application object
// exists (which would need a display).
QStringList ArgumentsOf(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// No application object, window or platform plugin: the picture has an
// OpenGL context of its own.
int RunScreenshotCommand(const QStringList& arguments) {
    using namespace vistrel;
    TScreenshotOptions options;
    QString error;
    if (!ParseScreenshotArguments(arguments, options, error)) {
        WriteText(stderr, QStringLiteral("vistrel: ") + error + QStringLiteral("\n\n") + UsageText());
        return kExitFailure;
    }
    try {
        return RunScreenshot(options);
    } catch (const std::exception& failure) {
        WriteText(stderr, QStringLiteral("vistrel: ") + QString::fromLocal8Bit(failure.what()) + QLatin1Char('\n'));
        return kExitFailure;
    }
}

// The viewer's own arguments: "--data DIR" (or "--data=DIR") and the files.
bool ParseViewerArguments(const QStringList& arguments, QString& dataPath, QStringList& files, QString& error) {
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == QLatin1String("--data")) {
            if (i + 1 >= arguments.size()) {
                error = QStringLiteral("--data needs a folder");
                return false;
            }
            dataPath = arguments[++i];
        } else if (!optionsEnded && argument.startsWith(QLatin1String("--data="))) {
            dataPath = argument.mid(7);
        } else if (!optionsEnded && argument.startsWith(QLatin1String("--"))) {
            error = QStringLiteral("unknown option ") + argument;
            return false;
        } else {
            files << argument;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vistrel;
    const QStringList arguments = ArgumentsOf(argc, argv);
    if (IsHelpCommand(arguments)) {
        WriteText(stdout, UsageText());
        return 0;
    }
    if (IsScreenshotCommand(arguments)) return RunScreenshotCommand(arguments);

    QString dataPath;
    QStringList files;
    QString error;
    if (!ParseViewerArguments(arguments, dataPath, files, error)) {
        WriteText(stderr, QStringLiteral("vistrel: ") + error + QStringLiteral("\n\n") + UsageText());
        return 2;
    }

    TApplication app(argc, argv);
    InitGlobals();
    int result = 0;
    try {
        TMain mainWindow;
        mainWindow.CommandLineFiles = files;
        mainWindow.DataPathOverride = dataPath.isEmpty() ? QString() : QFileInfo(dataPath).absoluteFilePath();
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
    LeakCheckBeforeTeardown();
    return result;
}
