// p3dtool texture: texture files (.paa, .pac) both ways. A texture file
// decoded by the viewer's texture decoder and written as a PNG picture; a
// picture (PNG, TGA, JPEG, BMP) written as a texture file by the texture
// writer; the layout of a texture file listed part by part; and whole folder
// trees of either converted.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "PictureFile.h"
#include "PngFile.h"
#include "Subcommands.h"
#include "TextureData.h"
#include "TextureLayout.h"
#include "TextureWriter.h"

#include <CLI/CLI.hpp>

namespace fs = std::filesystem;

namespace p3dtool {
namespace {

struct TTypeName {
    const char* Name;
    vistrel::TextureFormat Format;
};

constexpr std::array<TTypeName, 6> kWrittenTypes{{
    {"dxt1", vistrel::TextureFormat::Dxt1},
    {"argb4444", vistrel::TextureFormat::Argb4444},
    {"argb1555", vistrel::TextureFormat::Argb1555},
    {"ai88", vistrel::TextureFormat::Ai88},
    {"argb8888", vistrel::TextureFormat::Argb8888},
    {"dxt5", vistrel::TextureFormat::Dxt5},
}};

const std::vector<std::string> kTextureExtensions{".paa", ".pac"};
const std::vector<std::string> kPictureExtensions{".png", ".tga", ".jpg", ".jpeg", ".bmp"};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool HasExtension(const std::string& path, const std::vector<std::string>& extensions) {
    const std::string ext = Lower(fs::path(path).extension().string());
    return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

std::string Sides(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

// The error of a file without the file's name in front, for the lines that
// name it already.
std::string WithoutPath(const std::string& error, const std::string& path) {
    const std::string head = path + ": ";
    return error.compare(0, head.size(), head) == 0 ? error.substr(head.size()) : error;
}

// What converting one file came to: the exit status, the line said about
// it, or the reason it failed.
struct TOutcome {
    int Status = kExitComplete;
    std::string Text;
};

TOutcome Failed(int status, std::string reason) { return {status, std::move(reason)}; }

// A texture file to a PNG picture (8-bit RGBA).
TOutcome Decode(const std::string& in, const std::string& out) {
    std::error_code ec;
    if (!fs::is_regular_file(in, ec)) return Failed(kExitFailure, "cannot read file " + in);
    std::string error;
    const auto image = vistrel::DecodeTextureFile(in, &error);
    if (!image) return Failed(kExitIncomplete, in + ": " + error);
    const std::vector<uint8_t> rgba = vistrel::RgbaPixels(*image);
    if (!vistrel::WritePng(out, image->width, image->height, rgba.data(), true, error))
        return Failed(kExitFailure, error);
    return {kExitComplete, image->format + ", " + Sides(image->width, image->height) + ", stored " + image->storage};
}

// A picture to a texture file of the type asked for, or of the one the
// picture calls for.
TOutcome Encode(const std::string& in, const std::string& out, std::optional<vistrel::TextureFormat> type,
                bool resize) {
    vistrel::TRgbaPicture picture;
    std::string error, kind;
    if (!vistrel::ReadPictureFile(in, picture, error, &kind)) return Failed(kExitFailure, error);
    const int w = picture.Width, h = picture.Height;
    if (!vistrel::FitTextureSides(picture, resize, error)) return Failed(kExitFailure, in + ": " + error);
    const vistrel::TextureFormat format = type ? *type : vistrel::ChooseTextureFormat(picture);
    if (!vistrel::WriteTextureFile(out, picture, format, error)) return Failed(kExitFailure, error);
    std::string text = kind + " picture, " + Sides(w, h);
    if (picture.Width != w || picture.Height != h) text += " scaled to " + Sides(picture.Width, picture.Height);
    return {kExitComplete, text + ", written as " + vistrel::TextureFormatName(format)};
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (std::size_t k = 0; k < bytes.size() && k < 16; ++k) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", bytes[k]);
        text += (k ? " " : "") + std::string(hex);
    }
    return bytes.size() > 16 ? text + " …" : text;
}

uint32_t U32At(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

// A tag's value as people read it: the colours of CGVA and CXAM, the flags
// of GALF, the level offsets of SFFO (checked against where the levels are).
std::string TagValue(const vistrel::TTextureTag& tag, const vistrel::TTextureLayout& layout) {
    const std::vector<uint8_t>& v = tag.Value;
    if ((tag.Name == "CGVA" || tag.Name == "CXAM") && v.size() == 4)
        return "blue " + std::to_string(v[0]) + ", green " + std::to_string(v[1]) + ", red " + std::to_string(v[2]) +
               ", alpha " + std::to_string(v[3]);
    if (tag.Name == "GALF" && v.size() == 4) return std::to_string(U32At(v, 0));
    if (tag.Name == "SFFO" && v.size() % 4 == 0) {
        std::vector<uint32_t> offsets;
        for (std::size_t k = 0; k < v.size(); k += 4) offsets.push_back(U32At(v, k));
        while (!offsets.empty() && offsets.back() == 0) offsets.pop_back();
        std::string text;
        for (uint32_t o : offsets) text += (text.empty() ? "" : ", ") + std::to_string(o);
        text += text.empty() ? "all " + std::to_string(v.size() / 4) + " zero" : ", the rest zero";
        bool match = layout.Error.empty() && offsets.size() == layout.Levels.size();
        for (std::size_t k = 0; match && k < offsets.size(); ++k) match = offsets[k] == layout.Levels[k].At;
        if (layout.Error.empty() && !match && !offsets.empty()) {
            text += " (the levels are at";
            for (std::size_t k = 0; k < layout.Levels.size(); ++k)
                text += (k ? ", " : " ") + std::to_string(layout.Levels[k].At);
            text += ")";
        }
        return text;
    }
    return Hex(v);
}

// The whole file; false when it is no file or cannot be read (or is larger
// than any texture file, whose level sizes are 24-bit).
bool ReadBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return false;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size > (std::uintmax_t(1) << 30)) return false;
    std::ifstream in(path, std::ios::binary);
    bytes.resize(static_cast<std::size_t>(size));
    return in && (bytes.empty() || in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)));
}

int RunInfo(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (!ReadBytes(path, bytes)) {
        ReportError("cannot read file " + path);
        return kExitFailure;
    }
    const vistrel::TTextureLayout layout = vistrel::WalkTextureLayout(bytes.data(), bytes.size());
    std::string text = path + ": " + std::to_string(bytes.size()) + " bytes\n";
    if (layout.TypeWord)
        text += "  type " + std::string(vistrel::TextureFormatName(layout.Kind)) + "\n";
    else if (layout.Known)
        text += "  type palette (no type word)\n";
    for (const vistrel::TTextureTag& tag : layout.Tags)
        text += "  tag " + tag.Name + " at byte " + std::to_string(tag.At) + ": " + TagValue(tag, layout) + "\n";
    if (layout.Kind == vistrel::TextureFormat::Palette && !layout.Levels.empty())
        text += "  palette of " + std::to_string(layout.PaletteCount) + " colours\n";
    for (std::size_t k = 0; k < layout.Levels.size(); ++k) {
        const vistrel::TTextureLevel& level = layout.Levels[k];
        text += "  level " + std::to_string(k) + " at byte " + std::to_string(level.At) + ": " +
                Sides(level.Width, level.Height) + ", " + std::to_string(level.Stored) + " bytes stored " +
                level.Storage + (level.Storage == "raw" ? " (not compressed)\n" : " (compressed)\n");
    }
    if (layout.Error.empty())
        text += "  end at byte " + std::to_string(layout.End) + "\n";
    else
        text += "  broken: " + layout.Error + "\n";
    WriteOut(text);
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return layout.Error.empty() ? kExitComplete : kExitIncomplete;
}

int RunRecursive(const std::string& inDir, const std::string& outDir, bool toTexture,
                 std::optional<vistrel::TextureFormat> type, bool resize) {
    using TKind = TTreeItem::TKind;
    const auto each = [&](const fs::path& file, const fs::path& target) -> TTreeItem {
        std::string error;
        if (!MakeFolderFor(target, error)) return {TKind::Failed, "failed, " + error, error};
        const TOutcome outcome =
            toTexture ? Encode(file.string(), target.string(), type, resize) : Decode(file.string(), target.string());
        if (outcome.Status != kExitComplete) {
            const std::string reason = WithoutPath(outcome.Text, file.string());
            return {TKind::Failed, "failed, " + reason, reason};
        }
        return {TKind::Done, "converted (" + outcome.Text + ")", {}};
    };
    return RunOverTree(
        kTextureCommand, inDir, outDir, toTexture ? "paa" : "png", each,
        [](std::size_t done, std::size_t, std::size_t failed) {
            return std::to_string(done) + " converted, " + std::to_string(failed) + " failed";
        },
        toTexture ? kPictureExtensions : kTextureExtensions);
}

int RunTexture(const TArgs& args) {
    CLI::App app;
    bool recursive = false, resize = false, info = false;
    std::string typeName, to;
    app.add_flag("-r,--recursive", recursive);
    app.add_flag("--resize", resize);
    app.add_flag("--info", info);
    app.add_option("--type", typeName);
    app.add_option("--to", to);
    std::vector<std::string> operands;
    std::string error;
    if (!ParseArgs(app, args, operands, error)) return UsageError(kTextureCommand, error);

    std::optional<vistrel::TextureFormat> type;
    if (!typeName.empty()) {
        for (const TTypeName& t : kWrittenTypes)
            if (Lower(typeName) == t.Name) type = t.Format;
        if (!type)
            return UsageError(kTextureCommand,
                              "unknown type " + typeName + " (dxt1, argb4444, argb1555, ai88, argb8888 or dxt5)");
    }
    for (const std::string& operand : operands)
        if (operand.empty()) return UsageError(kTextureCommand, "the files must not be empty names");
    if (info) {
        if (recursive || type || resize || !to.empty())
            return UsageError(kTextureCommand, "--info takes no other option");
        if (operands.size() != 1) return UsageError(kTextureCommand, "--info expects one FILE");
        return RunInfo(operands[0]);
    }
    if (operands.size() != 2) return UsageError(kTextureCommand, "expects IN and OUT");
    const std::string& in = operands[0];
    const std::string& out = operands[1];

    if (recursive) {
        if (to != "png" && to != "paa") return UsageError(kTextureCommand, "-r needs --to png or --to paa");
        if (to == "png" && (type || resize)) return UsageError(kTextureCommand, "--type and --resize go with --to paa");
        return RunRecursive(in, out, to == "paa", type, resize);
    }
    if (!to.empty()) return UsageError(kTextureCommand, "--to goes with -r");
    const bool toTexture = HasExtension(out, kTextureExtensions);
    if (!toTexture && !HasExtension(out, {".png"}))
        return UsageError(kTextureCommand, "OUT must end in .paa or .pac (a texture) or .png (a picture)");
    if (!toTexture && (type || resize)) return UsageError(kTextureCommand, "--type and --resize go with OUT.paa");

    const TOutcome outcome = toTexture ? Encode(in, out, type, resize) : Decode(in, out);
    if (outcome.Status != kExitComplete) {
        ReportError(outcome.Text);
        return outcome.Status;
    }
    WriteOut(in + ": " + outcome.Text + "; written to " + out + "\n");
    if (!FinishOut()) {
        ReportError("cannot write to standard output");
        return kExitFailure;
    }
    return kExitComplete;
}

}  // namespace

const TSubcommand kTextureCommand{
    "texture",
    "[--type T] [--resize] IN OUT | --info FILE | -r --to png|paa IN OUT",
    "texture files (.paa, .pac) to PNG pictures and pictures to texture files",
    "IN.paa OUT.png: decodes the texture IN as the viewer does (its largest\n"
    "level; the kind of file is told from its content, not its extension) and\n"
    "writes it to OUT.png as an 8-bit RGBA picture, the first stored row at the\n"
    "top. Prints the format, the size and how the level was stored.\n"
    "\n"
    "IN.png OUT.paa (or OUT.pac): writes the picture IN (PNG, TGA, JPEG or BMP,\n"
    "told from its content) as a texture file with every level and the tags\n"
    "the game's files carry. --type dxt1, argb4444, argb1555, ai88, argb8888 or\n"
    "dxt5 names the type; without it the picture decides: no alpha, or alpha\n"
    "only 0 or 255: DXT1; grey with alpha: AI88; other alpha: ARGB4444. The\n"
    "sides must be powers of two from 1 to 4096; --resize scales the picture\n"
    "to the nearest ones instead.\n"
    "\n"
    "--info FILE: the layout of the texture FILE part by part: its type, each\n"
    "tag with its value (CGVA and CXAM as blue, green, red, alpha; GALF; the\n"
    "level offsets of SFFO), each level with its sides, stored size and\n"
    "whether it is compressed, and for a broken file what is wrong at which\n"
    "byte.\n"
    "\n"
    "With -r (--recursive), IN and OUT are folders: --to png decodes every\n"
    "\"*.paa\" and \"*.pac\" under IN, --to paa writes every \"*.png\", \"*.tga\",\n"
    "\"*.jpg\", \"*.jpeg\" and \"*.bmp\" (letter case ignored), each to the same\n"
    "relative path under OUT with the new extension. One progress line per\n"
    "file, then a summary: converted, failed with the reasons. A bad file\n"
    "never stops the run. Links to files are followed, links to folders are\n"
    "not; a folder that cannot be read and a link that leads nowhere are named\n"
    "before the progress lines and count as failures.\n"
    "\n"
    "Nothing half-written is ever left behind: OUT is replaced only once it is\n"
    "complete.\n"
    "\n"
    "Exit status: 0 converted (or a sound file listed); 1 a texture file that\n"
    "does not decode (the decoder's reason on standard error, such as\n"
    "\"truncated level data: the level at byte 94 claims 2048 bytes, 100\n"
    "left\"), a broken file listed by --info, or with -r any file failed; 2 bad\n"
    "arguments, a file that cannot be read, a picture that cannot be written\n"
    "as a texture (not a picture, truncated or corrupt, 0 x 0, sides that are\n"
    "not powers of two, larger than 4096), or an OUT that cannot be written.\n",
    RunTexture,
};

}  // namespace p3dtool
