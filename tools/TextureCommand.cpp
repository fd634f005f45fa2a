// p3dtool texture: a texture file decoded by the viewer's texture decoder and
// written as a PNG picture (8-bit RGBA), for looking at textures outside the
// viewer.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "PngFile.h"
#include "Subcommands.h"

#include <CLI/CLI.hpp>
#include "TextureData.h"

namespace p3dtool {
namespace {

// Writes the decoded image as an RGBA PNG; on failure nothing is left behind.
bool WritePng(const std::string& path, const vistrel::TextureImage& image, std::string& error) {
    const std::vector<uint8_t> rgba = vistrel::RgbaPixels(image);
    return vistrel::WritePng(path, image.width, image.height, rgba.data(), true, error);
}

int RunTexture(const TArgs& args) {
    CLI::App app;
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kTextureCommand, error);
    if (operands.size() != 2) return UsageError(kTextureCommand, "expects FILE and OUT.png");
    const std::string& in = operands[0];
    const std::string& out = operands[1];
    if (in.empty() || out.empty()) return UsageError(kTextureCommand, "FILE and OUT.png must not be empty");

    std::error_code ec;
    if (!std::filesystem::is_regular_file(in, ec)) {
        ReportError("cannot read file " + in);
        return kExitFailure;
    }
    error.clear();
    const auto image = vistrel::DecodeTextureFile(in, &error);
    if (!image) {
        ReportError(in + ": " + error);
        return kExitIncomplete;
    }
    if (!WritePng(out, *image, error)) {
        ReportError(error);
        return kExitFailure;
    }
    WriteOut(in + ": " + image->format + ", " + std::to_string(image->width) + " x " + std::to_string(image->height) +
             ", stored " + image->storage + "; written to " + out + "\n");
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return kExitComplete;
}

}  // namespace

const TSubcommand kTextureCommand{
    "texture",
    "FILE OUT.png",
    "decodes a texture file (.paa, .pac) to a PNG picture",
    "Decodes the texture FILE as the viewer does (its largest level; the kind of\n"
    "file is told from its content, not its extension) and writes it to OUT.png\n"
    "as an 8-bit RGBA picture, the first stored row at the top. Prints the\n"
    "format, the size and how the level was stored.\n"
    "\n"
    "A file that does not decode (not a texture, truncated, a broken level)\n"
    "exits with 1 and the decoder's reason on standard error, such as\n"
    "\"truncated level data: the level at byte 94 claims 2048 bytes, 100 left\".\n"
    "A FILE that cannot be read at all, or an OUT.png that cannot be written,\n"
    "exits with 2.\n",
    RunTexture,
};

}  // namespace p3dtool
