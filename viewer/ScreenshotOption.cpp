#include "ScreenshotOption.h"

#include "DataDirOption.h"
#include "Headless.h"
#include "LeakCheck.h"
#include "P3dmodell.h"
#include "Picture.h"
#include "ProgramExit.h"
#include "TextureLookup.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>

namespace vistrel {

namespace {

void WriteError(const QString& text) {
    const QByteArray bytes = (QStringLiteral("vistrel: ") + text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

bool ParseSize(const QString& text, QSize& size) {
    const QStringList parts = text.split(QLatin1Char('x'));
    if (parts.size() != 2) return false;
    bool okWidth = false, okHeight = false;
    const int width = parts[0].toInt(&okWidth);
    const int height = parts[1].toInt(&okHeight);
    constexpr int kLargest = 16384;
    if (!okWidth || !okHeight || width < 1 || height < 1 || width > kLargest || height > kLargest) return false;
    size = QSize(width, height);
    return true;
}

bool ParseRotation(const QString& text, std::array<float, 3>& degrees) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3) return false;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const float value = parts[i].trimmed().toFloat(&ok);
        if (!ok || !std::isfinite(value)) return false;
        degrees[static_cast<std::size_t>(i)] = value;
    }
    return true;
}

bool ParseLight(const QString& text, std::array<int, 3>& positions) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3) return false;
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const int value = parts[i].trimmed().toInt(&ok);
        if (!ok || value < -800 || value > 800) return false;
        positions[static_cast<std::size_t>(i)] = value;
    }
    return true;
}

bool ParseShow(const QString& text, TScreenshotOptions& options) {
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QString name = part.trimmed().toLower();
        if (name == QLatin1String("transparent"))
            options.Transparent = true;
        else if (name == QLatin1String("vertexes"))
            options.Vertexes = true;
        else if (name == QLatin1String("ground"))
            options.Ground = true;
        else if (name == QLatin1String("axis"))
            options.Axis = true;
        else
            return false;
    }
    return true;
}

}  // namespace

// ================================================================ the prompt

bool IsScreenshotCommand(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--")) return false;
        if (argument == QLatin1String("--screenshot") || argument.startsWith(QLatin1String("--screenshot=")))
            return true;
    }
    return false;
}

bool IsHelpCommand(const QStringList& arguments) {
    return !arguments.isEmpty() &&
           (arguments.first() == QLatin1String("--help") || arguments.first() == QLatin1String("-h"));
}

QString UsageText() {
    return QStringLiteral(
        "Usage:\n"
        "  vistrel [--data DIR] [FILE]\n"
        "      Opens the viewer; FILE, when given, is the model shown at start-up.\n"
        "        --data DIR        root folder of the textures the models name, for\n"
        "                          this run instead of the saved one (a DIR that is\n"
        "                          no folder is said so and left aside)\n"
        "  vistrel --screenshot OUT.png [--size WxH] [--lod N] [--selection NAME]\n"
        "          [--rotate X,Y,Z] [--light X,Y,Z] [--show LIST] [--opacity N]\n"
        "          [--data DIR] FILE\n"
        "      Renders FILE to the PNG OUT.png and exits, without showing a window\n"
        "      or asking anything (messages go to standard error):\n"
        "        --size WxH        size of the picture (default 800x600)\n"
        "        --lod N           the LOD shown, counted from 0 in file order (default 0)\n"
        "        --selection NAME  the named selection of that LOD drawn in red\n"
        "        --rotate X,Y,Z    degrees added to the fitted camera's turns about\n"
        "                          x, y and z (default 0,0,0)\n"
        "        --light X,Y,Z     positions of the light track bars, each from -800\n"
        "                          to 800 (default 0,10,0, as at start-up)\n"
        "        --show LIST       view boxes to tick, comma-separated: transparent,\n"
        "                          vertexes, ground, axis\n"
        "        --opacity N       opacity of transparent faces, 0 to 100 (default 20)\n"
        "        --data DIR        root folder of the textures the model names (exit\n"
        "                          status 2 when it is no folder)\n"
        "      Needs no display: the picture is drawn in an OpenGL context of its\n"
        "      own (EGL). Faces are drawn from both sides (the window shows their\n"
        "      fronts only), so that a flat model is seen from behind too; missing\n"
        "      textures are named in one line.\n"
        "      Exit status: 0 the model was read completely and the picture\n"
        "      written; 1 the reader reported a failure (partial model, unknown\n"
        "      format); 2 the file could not be read, the arguments are wrong, or\n"
        "      no picture was written. Binarized and editable models are drawn.\n"
        "  vistrel --help\n");
}

bool ParseScreenshotArguments(const QStringList& arguments, TScreenshotOptions& options, QString& error) {
    options = TScreenshotOptions{};
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const char* name : {"screenshot", "size", "lod", "selection", "rotate", "light", "show", "opacity", "data"})
        parser.addOption({QString::fromLatin1(name), QString(), QStringLiteral("value")});

    if (!parser.parse(QStringList{QStringLiteral("vistrel")} + arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        error = unknown.isEmpty() ? parser.errorText() : QStringLiteral("unknown option --") + unknown.first();
        return false;
    }
    // the last of an option given twice counts ("--show" adds up)
    const auto given = [&parser](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    if (!given("screenshot")) {
        error = QStringLiteral("--screenshot OUT.png is missing");
        return false;
    }
    options.Output = parser.values(QStringLiteral("screenshot")).last();
    if (options.Output.isEmpty()) {
        error = QStringLiteral("--screenshot needs the name of the PNG to write");
        return false;
    }
    if (given("size") && !ParseSize(parser.values(QStringLiteral("size")).last(), options.Size)) {
        error = QStringLiteral("--size expects WxH with both from 1 to 16384, not ") +
                parser.values(QStringLiteral("size")).last();
        return false;
    }
    if (given("lod")) {
        bool ok = false;
        options.Lod = parser.values(QStringLiteral("lod")).last().toInt(&ok);
        if (!ok || options.Lod < 0) {
            error = QStringLiteral("--lod expects a LOD number from 0 on, not ") +
                    parser.values(QStringLiteral("lod")).last();
            return false;
        }
    }
    if (given("selection")) options.Selection = parser.values(QStringLiteral("selection")).last();
    if (given("rotate") && !ParseRotation(parser.values(QStringLiteral("rotate")).last(), options.Rotate)) {
        error = QStringLiteral("--rotate expects three numbers X,Y,Z in degrees, not ") +
                parser.values(QStringLiteral("rotate")).last();
        return false;
    }
    if (given("light")) {
        if (!ParseLight(parser.values(QStringLiteral("light")).last(), options.Light)) {
            error = QStringLiteral("--light expects three track bar positions X,Y,Z from -800 to 800, not ") +
                    parser.values(QStringLiteral("light")).last();
            return false;
        }
        options.HasLight = true;
    }
    for (const QString& list : parser.values(QStringLiteral("show")))
        if (!ParseShow(list, options)) {
            error = QStringLiteral("--show expects some of transparent,vertexes,ground,axis, not ") + list;
            return false;
        }
    if (given("opacity")) {
        bool ok = false;
        options.Opacity = parser.values(QStringLiteral("opacity")).last().toInt(&ok);
        if (!ok || options.Opacity < 0 || options.Opacity > 100) {
            error = QStringLiteral("--opacity expects a number from 0 to 100, not ") +
                    parser.values(QStringLiteral("opacity")).last();
            return false;
        }
    }
    if (given("data")) {
        options.HasDataDir = true;
        options.DataDir = parser.values(QStringLiteral("data")).last();
    }
    const QStringList operands = parser.positionalArguments();
    if (operands.size() != 1 || operands.first().isEmpty()) {
        error = QStringLiteral("expects one model FILE");
        return false;
    }
    options.File = operands.first();
    return true;
}

int RunScreenshot(const TScreenshotOptions& options) {
    if (options.HasDataDir) {
        const std::string problem = DataDirProblem(QFile::encodeName(options.DataDir).toStdString());
        if (!problem.empty()) {
            WriteError(QFile::decodeName(problem.c_str()));
            return kExitFailure;
        }
    }
    // The model, read whatever its format (there is no editor to hand a
    // file to); the reader's messages go to standard error.
    std::unique_ptr<TP3dModell> model;
    try {
        model = std::make_unique<TP3dModell>(QFile::encodeName(options.File).toStdString(), TLogEvent{},
                                             [](const std::string& text) { WriteError(QString::fromLatin1(text)); });
    } catch (const std::exception& error) {
        WriteError(QString::fromLocal8Bit(error.what()));
        return kExitFailure;
    }
    const int status = model->Complete() ? kExitComplete : kExitIncomplete;
    const int lodCount = model->LODs.Count();
    if (lodCount == 0) {
        WriteError(options.File + QStringLiteral(": no LOD to show"));
        return kExitIncomplete;
    }
    if (options.Lod >= lodCount) {
        WriteError(QStringLiteral("--lod %1: the model has %2 LOD(s), 0 to %3")
                       .arg(options.Lod)
                       .arg(lodCount)
                       .arg(lodCount - 1));
        return kExitFailure;
    }

    TPictureRequest request;
    request.Lod = model->LODs.Items(options.Lod);
    if (!options.Selection.isEmpty()) {
        QStringList names;
        for (const TRealSelection* selection : request.Lod->Selections) {
            names << QString::fromLatin1(selection->Name);
            if (!request.Selection && names.last() == options.Selection) request.Selection = selection;
        }
        if (!request.Selection) {
            WriteError(QStringLiteral("--selection %1: LOD %2 has no such selection (it has: %3)")
                           .arg(options.Selection)
                           .arg(options.Lod)
                           .arg(names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
            return kExitFailure;
        }
    }
    // The window's view after loading: the camera fitted to LOD 0, the light
    // where the track bars put it.
    const TP3dLOD& first = *model->LODs.Items(0);
    TCamera camera = FitCamera(first.MinPos, first.MaxPos, model->Offset2);
    camera.RotX += options.Rotate[0];
    camera.RotY += options.Rotate[1];
    camera.RotZ += options.Rotate[2];
    request.Camera = camera;
    const std::array<int, 3> bars = options.HasLight ? options.Light : kInitialLightBars;
    request.Light = LightFromTrackBars(bars[0], bars[1], bars[2], InitialLightPosition[3]);
    request.Transparent = options.Transparent;
    request.Vertexes = options.Vertexes;
    request.Ground = options.Ground;
    request.Axis = options.Axis;
    request.Opacity = static_cast<float>(options.Opacity) * 0.01f;
    request.Width = options.Size.width();
    request.Height = options.Size.height();
    const QString dataDir = options.HasDataDir ? QFileInfo(options.DataDir).absoluteFilePath() : QString();
    request.TextureRoots =
        TextureRoots(QFile::encodeName(dataDir).toStdString(), QFile::encodeName(options.File).toStdString());
    request.Output = QFile::encodeName(options.Output).toStdString();

    // One context for the picture, the leak check run while its driver is loaded.
    THeadlessContext context(request.Width, request.Height);
    const TLeakCheckAtScopeEnd leakCheck;
    request.Context = [&context] { return &context; };
    const TPicture picture = RenderPicture(request);
    // What is missing is said in one line, however many textures it is.
    if (!picture.TextureProblems.empty()) WriteError(QString::fromLocal8Bit(picture.TextureProblems));
    if (!picture.Ok) {
        WriteError(QString::fromLocal8Bit(picture.Error));
        return kExitFailure;
    }
    LeaveWithoutTeardown(status);
}

}  // namespace vistrel
