// vistrel-thumbnailer -s SIZE INPUT OUTPUT: a model file's picture for file
// managers (the freedesktop thumbnailer convention), or a texture file's:
// the picture it holds, fitted into SIZE x SIZE with its sides' proportions
// and its transparency kept, transparent around it (no OpenGL needed). The finest LOD, seen
// from a three-quarter view (from the other side when its faces look that
// way) and framed tightly, both sides of its faces drawn, on a transparent background,
// textured when its textures are found (under the texture root saved in the
// viewer's settings, else beside the model); a PNG whose sides are SIZE.
// Drawn headless (EGL): no display server, window or platform plugin.
//
// Exit status: 0 the picture was written; 1 the model could not be read or
// has nothing to draw (no output file); 2 wrong arguments or the picture
// could not be made or written.
#include "DataDirOption.h"
#include "Headless.h"
#include "IniFile.h"
#include "LeakCheck.h"
#include "P3dmodell.h"
#include "Picture.h"
#include "PngFile.h"
#include "ProgramExit.h"
#include "SettingsLocation.h"
#include "TextureData.h"
#include "TextureLookup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <thread>

namespace {

using namespace vistrel;

constexpr int kLargest = 4096;
constexpr const char* kUsage =
    "usage: vistrel-thumbnailer -s SIZE [--data DIR] INPUT OUTPUT\n"
    "  A PNG of SIZE x SIZE (1 to 4096) of the model INPUT, transparent around\n"
    "  it, for file managers. Textures are looked up under --data DIR, else\n"
    "  under the texture root saved by the viewer, else beside the model.\n"
    "  A texture file (.paa, .pac) gives the picture it holds, fitted.\n"
    "  Exit status: 0 written; 1 INPUT cannot be read or has nothing to draw;\n"
    "  2 wrong arguments, or no picture could be made or written.\n";

int Usage(const char* why) {
    std::fprintf(stderr, "vistrel-thumbnailer: %s\n%s", why, kUsage);
    return 2;
}

// The texture root the viewer saved, empty when none.
std::string SavedTextureRoot() {
    const QString exeDir = QCoreApplication::applicationDirPath() + QLatin1Char('/');
    return QFile::encodeName(TIniFile(SettingsFilePath(exeDir))
                                 .ReadString(QStringLiteral("Settings"), QStringLiteral("DataPath"), {}))
        .toStdString();
}

// Whether the file begins like a model of either format: anything else is
// refused before the OpenGL driver is loaded.
bool LooksLikeAModel(const std::string& path) {
    try {
        return ModelMagicOf(ReadFileMagic(path)) != TModelMagic::Other;
    } catch (const EFOpenError&) {
        return true;  // the reader says why it cannot be opened
    } catch (const EReadError&) {
        return false;  // shorter than a magic
    }
}

// The smallest power of two at least n.
int PowerOfTwoAtLeast(int n) {
    int side = 1;
    while (side < n) side *= 2;
    return side;
}

// The texture's level nearest above SIZE, scaled to fit SIZE x SIZE and
// centred on a transparent square. Exit status as for a model.
int TextureThumbnail(int size, const std::string& input, const std::string& output) {
    TextureData record{};
    CreateTextureDataUpTo(&record, input.c_str(), PowerOfTwoAtLeast(size));
    if (!record.pixels) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s: not a texture file that can be read\n", input.c_str());
        return 1;
    }
    // The decoder's bytes (blue, green, red, alpha) are ARGB32 on a little-endian machine; scaled with the
    // colours premultiplied, so that transparent pixels lend no colour to their neighbours.
    QImage level(record.pixels, record.width, record.height, record.width * 4, QImage::Format_ARGB32);
    const QSize fitted = QSize(record.width, record.height).scaled(size, size, Qt::KeepAspectRatio).expandedTo({1, 1});
    const QImage scaled = level.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                              .scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    DestroyTextureData(&record);
    QImage square(size, size, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    {
        QPainter painter(&square);
        painter.drawImage((size - fitted.width()) / 2, (size - fitted.height()) / 2, scaled);
    }
    const QImage rgba = square.convertToFormat(QImage::Format_RGBA8888);
    std::vector<uint8_t> rows(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        std::memcpy(&rows[static_cast<std::size_t>(y) * size * 4], rgba.constScanLine(y), size * 4);
    std::string error;
    if (!WritePng(output, size, size, rows.data(), true, error)) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s\n", error.c_str());
        return 2;
    }
    return 0;
}

// The context is made on a thread of its own (loading the driver takes the
// longest) while this one reads the model and decodes its textures.
class TContextMaker {
public:
    explicit TContextMaker(int size)
        : thread_([this, size] {
              context_ = std::make_unique<THeadlessContext>(size, size);
              context_->Release();
          }) {}
    ~TContextMaker() {
        if (thread_.joinable()) thread_.join();
        LeakCheckBeforeTeardown();  // while the driver is loaded
    }
    TContextMaker(const TContextMaker&) = delete;
    TContextMaker& operator=(const TContextMaker&) = delete;

    // The context, current on the calling thread.
    THeadlessContext& Take() {
        if (thread_.joinable()) thread_.join();
        context_->MakeCurrent();
        return *context_;
    }

private:
    std::unique_ptr<THeadlessContext> context_;
    std::thread thread_;
};

int Thumbnail(int size, const std::string& input, const std::string& output, const std::string& dataDir) {
    if (LooksLikeTextureFile(input)) return TextureThumbnail(size, input, output);
    if (!LooksLikeAModel(input)) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s: not a model file\n", input.c_str());
        return 1;
    }
    TContextMaker maker(size);

    std::unique_ptr<TP3dModell> model;
    try {
        model = std::make_unique<TP3dModell>(input);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s\n", error.what());
        return 1;
    }
    const TP3dLOD* lod = FinestLod(*model);
    if (!lod) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s: nothing to draw\n", input.c_str());
        return 1;
    }
    // Textures when they are found; a missing one leaves its faces plain.
    // A picture this small shows no more detail than a level of its size
    // holds; files without such a level are halved to it.
    TPictureRequest request =
        ThumbnailRequest(*lod, size, TextureRoots(dataDir.empty() ? SavedTextureRoot() : dataDir, input));
    request.Context = [&maker] { return &maker.Take(); };
    request.Output = output;
    const TPicture picture = RenderPicture(request);
    if (!picture.Ok) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s\n", picture.Error.c_str());
        LeaveWithoutTeardown(2);
    }
    LeaveWithoutTeardown(0);
}

}  // namespace

int main(int argc, char** argv) {
    // For the program's folder, the user's configuration folder and the
    // command line only; no platform plugin is loaded.
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("s"), QStringLiteral("size")}, QStringLiteral("side"), QStringLiteral("SIZE")});
    parser.addOption({QStringLiteral("data"), QStringLiteral("texture root"), QStringLiteral("DIR")});
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("usage")});
    parser.addPositionalArgument(QStringLiteral("INPUT"), QStringLiteral("model file"));
    parser.addPositionalArgument(QStringLiteral("OUTPUT"), QStringLiteral("PNG file"));
    if (!parser.parse(app.arguments())) return Usage(parser.errorText().toLocal8Bit().constData());
    if (parser.isSet(QStringLiteral("h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 2) return Usage("too many arguments");
    if (!parser.isSet(QStringLiteral("s")) || files.size() < 2) return Usage("expects -s SIZE, INPUT and OUTPUT");
    bool number = false;
    const int size = parser.value(QStringLiteral("s")).toInt(&number);
    if (!number || size < 1 || size > kLargest) return Usage("SIZE must be a number from 1 to 4096");
    const std::string dataDir = QFile::encodeName(parser.value(QStringLiteral("data"))).toStdString();
    if (const std::string problem = DataDirProblem(dataDir); !problem.empty()) return Usage(problem.c_str());
    try {
        return Thumbnail(size, QFile::encodeName(files[0]).toStdString(), QFile::encodeName(files[1]).toStdString(),
                         dataDir);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vistrel-thumbnailer: %s\n", error.what());
        return 2;
    }
}
