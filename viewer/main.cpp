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

#include <QCommandLineParser>
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

// The viewer's own arguments: "--data DIR" (or "--data=DIR") and the files;
// the first file is the model shown at start-up.
bool ParseViewerArguments(const QStringList& arguments, QString& dataPath, QStringList& files, QString& error) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("data"), QStringLiteral("texture root"), QStringLiteral("DIR")});
    if (!parser.parse(QStringList{QStringLiteral("vistrel")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        error = unknown.isEmpty()
                    ? QStringLiteral("--data needs a folder")
                    : QStringLiteral("unknown option ") +
                          (unknown.first().size() > 1 ? QStringLiteral("--") : QStringLiteral("-")) + unknown.first();
        return false;
    }
    if (parser.isSet(QStringLiteral("data"))) dataPath = parser.values(QStringLiteral("data")).last();
    files = parser.positionalArguments();
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
