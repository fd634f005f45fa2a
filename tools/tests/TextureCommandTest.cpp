// p3dtool texture: a texture file to a PNG picture, its exit statuses and
// messages.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

#include "Browser.h"
#include "P3dBuilder.h"
#include "TextureData.h"
#include "TextureEncoder.h"
#include "ToolRunner.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace fs = std::filesystem;
using tooltest::ReadPngRgba;
using tooltest::RunTool;
using tooltest::TScratchDir;

namespace {

uint32_t BigEndian32(const std::string& bytes, std::size_t at) {
    return uint32_t(uint8_t(bytes[at])) << 24 | uint32_t(uint8_t(bytes[at + 1])) << 16 |
           uint32_t(uint8_t(bytes[at + 2])) << 8 | uint32_t(uint8_t(bytes[at + 3]));
}

vistrel::TexImage Picture() {
    vistrel::TexImage image(20, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x)
            image.Set(x, y, {uint8_t(x * 12), uint8_t(y * 20), uint8_t(255 - x * 10), uint8_t(x < 10 ? 255 : 0x80)});
    return image;
}

using Bytes = std::vector<uint8_t>;

void AppendTo(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

// A w x h picture as a file of the kind of ext ("png", "tga" run-length
// coded, "bmp", "jpg"); alpha 0: opaque, 1: 0 or 255, 2: anything.
Bytes PictureFile(const std::string& ext, int w, int h, int alpha = 0, bool grey = false) {
    Bytes rgba;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto v = uint8_t(x * 29 + y * 3);
            const uint8_t a = alpha == 0 ? 255 : alpha == 1 ? ((x + y) % 2 ? 255 : 0) : uint8_t(x * 31);
            rgba.insert(rgba.end(), {v, grey ? v : uint8_t(y * 30), grey ? v : uint8_t(200), a});
        }
    Bytes file;
    if (ext == "png") stbi_write_png_to_func(AppendTo, &file, w, h, 4, rgba.data(), 0);
    if (ext == "tga") stbi_write_tga_to_func(AppendTo, &file, w, h, 4, rgba.data());
    if (ext == "bmp") stbi_write_bmp_to_func(AppendTo, &file, w, h, 4, rgba.data());
    if (ext == "jpg") stbi_write_jpg_to_func(AppendTo, &file, w, h, 4, rgba.data(), 90);
    return file;
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

// The sides the texture decoder finds in a file, "W x H" (or its error).
std::string DecodedSides(const std::string& path) {
    std::string error;
    const auto image = vistrel::DecodeTextureFile(path, &error);
    return image ? std::to_string(image->width) + " x " + std::to_string(image->height) : error;
}

// The repository's root: this file lies in tools/tests/.
fs::path SourceDir() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }

}  // namespace

TEST(TextureCommand, WritesThePictureAsRgbaPng) {
    TScratchDir dir;
    const vistrel::TexImage picture = Picture();
    const std::string in = dir.File("wall.paa");
    const std::string out = dir.File("wall.png");
    vistrel::WriteFile(in, vistrel::EncodeTexture(picture, vistrel::TexFormat::Argb8888));
    const auto run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, in + ": ARGB8888, 20 x 12, stored LZSS; written to " + out + "\n");

    const std::string png = tooltest::ReadAll(out);
    ASSERT_GE(png.size(), 33u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), 20u);
    EXPECT_EQ(BigEndian32(png, 20), 12u);
    EXPECT_EQ(png[24], 8);  // bits per channel
    EXPECT_EQ(png[25], 6);  // RGBA

    int w = 0, h = 0;
    const auto rgba = ReadPngRgba(out, w, h);
    ASSERT_EQ(w, 20);
    ASSERT_EQ(h, 12);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint8_t* p = &rgba[(std::size_t(y) * 20 + x) * 4];
            const uint8_t* e = picture.At(x, y);  // blue, green, red, alpha
            ASSERT_EQ(p[0], e[2]) << x << ", " << y;
            ASSERT_EQ(p[1], e[1]) << x << ", " << y;
            ASSERT_EQ(p[2], e[0]) << x << ", " << y;
            ASSERT_EQ(p[3], e[3]) << x << ", " << y;
        }
}

TEST(TextureCommand, DecodesAPaletteFileWhateverItsExtension) {
    TScratchDir dir;
    const std::string in = dir.File("net.paa");
    const std::string out = dir.File("net.png");
    vistrel::WriteFile(in, vistrel::EncodePaletteFile(2, 2, {0, 1, 1, 7}, {{255, 0, 0}, {0, 0, 255}}).bytes);
    const auto run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    int w = 0, h = 0;
    const auto rgba = ReadPngRgba(out, w, h);
    ASSERT_EQ(rgba.size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(rgba.begin(), rgba.begin() + 4), (std::vector<uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(std::vector<uint8_t>(rgba.begin() + 4, rgba.begin() + 8), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(std::vector<uint8_t>(rgba.begin() + 12, rgba.end()), (std::vector<uint8_t>{0, 0, 0, 255}));
}

TEST(TextureCommand, FileThatDoesNotDecodeExitsWithOne) {
    TScratchDir dir;
    auto bytes = vistrel::EncodeTexture(Picture(), vistrel::TexFormat::Argb4444);
    bytes.resize(40);
    const std::string in = dir.File("cut.paa");
    const std::string out = dir.File("cut.png");
    vistrel::WriteFile(in, bytes);
    const auto run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("p3dtool: " + in + ": truncated"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));
}

TEST(TextureCommand, WrongArgumentsOrUnwritableOutputExitWithTwo) {
    TScratchDir dir;
    const std::string in = dir.File("ok.paa");
    vistrel::WriteFile(in, vistrel::EncodeTexture(Picture(), vistrel::TexFormat::Dxt1));

    auto run = RunTool(P3DTOOL_EXE, {"texture", in}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: p3dtool texture [--type T] [--resize] IN OUT"), std::string::npos) << run.err;
    run = RunTool(P3DTOOL_EXE, {"texture", "--flip", in, dir.File("x.png")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("unknown option --flip"), std::string::npos) << run.err;

    const std::string out = dir.File("no/such/folder/ok.png");
    run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot create file " + out), std::string::npos) << run.err;

    run = RunTool(P3DTOOL_EXE, {"texture", dir.File("missing.paa"), dir.File("m.png")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot read file"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.File("m.png")));

    run = RunTool(P3DTOOL_EXE, {"texture", "--help"}, dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("OUT.png"), std::string::npos);
}

TEST(TextureCommand, SampleTexturesConvert) {
    TScratchDir dir;
    for (const char* name : {"hull_dxt1.paa", "turret_4444.paa", "wheels_1555.paa", "glass_ai88.paa", "camo_pal.pac"}) {
        const std::string in = (SourceDir() / "samples" / "data" / name).string();
        const std::string out = dir.File(std::string(name) + ".png");
        const auto run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        int w = 0, h = 0;
        EXPECT_FALSE(ReadPngRgba(out, w, h).empty()) << name;
    }
}

TEST(TextureCommand, PicturesThatCannotBeTexturesExitWithTwoAndLeaveNothing) {
    TScratchDir dir;
    const Bytes png = PictureFile("png", 8, 8);
    Bytes corrupt = png;
    corrupt[45] ^= 0x55;  // inside IDAT's compressed data
    Bytes empty = PictureFile("bmp", 4, 4), huge = png;
    std::fill(empty.begin() + 18, empty.begin() + 26, 0);  // width and height
    huge[18] = huge[22] = 0x20;                            // 8192 (big-endian), before the checksum is looked at
    huge[19] = huge[23] = 0;
    // the file (none: a folder, or nothing) and the reason given after its name
    const std::vector<std::tuple<std::string, std::optional<Bytes>, std::string>> cases = {
        {"cut.png", Cut(png, png.size() / 2), "a truncated PNG picture"},
        {"cut.tga", Cut(PictureFile("tga", 8, 8), 40), "a truncated TGA picture"},
        {"cut.jpg", Cut(PictureFile("jpg", 8, 8), 300), "a truncated JPEG picture"},
        {"cut.bmp", Cut(PictureFile("bmp", 8, 8), 100), "a truncated BMP picture"},
        {"corrupt.png", corrupt, "a broken PNG picture: IDAT: incorrect data check"},
        {"empty.bmp", empty, "an empty picture: 0 \u00D7 0 pixels"},
        {"huge.png", huge, "a picture of 8192 \u00D7 8192 pixels is larger than a texture can be (4096 \u00D7 4096)"},
        {"odd.png", PictureFile("png", 300, 200), "the sides of a texture must be powers of two: 300 \u00D7 200"},
        {"notes.png", Bytes{'n', 'o', 't', 'e', 's', '\n'}, "not a picture: PNG, TGA, JPEG or BMP"},
        {"folder.png", std::nullopt, "a folder, not a picture"},
        {"missing.png", std::nullopt, ""},
    };
    fs::create_directories(dir.Path() / "in" / "folder.png");
    fs::create_directories(dir.Path() / "out");
    for (const auto& [name, bytes, message] : cases) {
        const std::string in = dir.File("in/" + name), out = dir.File("out/" + name + ".paa");
        if (bytes) vistrel::WriteFile(in, *bytes);
        const auto run = RunTool(P3DTOOL_EXE, {"texture", in, out}, dir.Path());
        EXPECT_EQ(run.status, 2) << name;
        EXPECT_EQ(run.out, "") << name;
        EXPECT_EQ(run.err, "p3dtool: " +
                               (message.empty() ? "cannot read file " + in + ": No such file or directory"
                                                : in + ": " + message) +
                               "\n")
            << name;
        EXPECT_TRUE(fs::is_empty(dir.Path() / "out")) << name;
    }
    // an output that cannot be written, and one that was there before
    const std::string good = dir.File("in/good.png"), old = dir.File("out/old.paa");
    vistrel::WriteFile(good, png);
    auto run = RunTool(P3DTOOL_EXE, {"texture", good, dir.File("out/none/x.paa")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("p3dtool: cannot create file " + dir.File("out/none/x.paa") + ": ", 0), 0u) << run.err;
    vistrel::WriteFile(old, Bytes{'o', 'l', 'd'});
    run = RunTool(P3DTOOL_EXE, {"texture", dir.File("in/odd.png"), old}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(tooltest::ReadAll(old), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "out"), fs::directory_iterator()), 1);
}

TEST(TextureCommand, TheTypeComesFromThePictureOrFromTypeAndEveryKindIsRead) {
    TScratchDir dir;
    struct TCase {
        std::string ext;
        int alpha;
        bool grey;
        std::vector<std::string> options;
        std::string out, line;
    };
    const std::vector<TCase> cases = {
        {"png", 0, false, {}, "opaque.paa", "PNG picture, 8 x 8, written as DXT1"},
        {"png", 1, false, {}, "cutout.paa", "PNG picture, 8 x 8, written as DXT1"},
        {"png", 2, true, {}, "glass.paa", "PNG picture, 8 x 8, written as AI88"},
        {"png", 2, false, {}, "icon.paa", "PNG picture, 8 x 8, written as ARGB4444"},
        {"tga", 2, false, {"--type", "argb1555"}, "flag.pac", "TGA picture, 8 x 8, written as ARGB1555"},
        {"bmp", 1, false, {"--type", "DXT5"}, "net.PAC", "BMP picture, 8 x 8, written as DXT5"},
        {"jpg", 0, false, {"--type", "argb8888"}, "photo.paa", "JPEG picture, 8 x 8, written as ARGB8888"},
        {"png", 0, true, {"--type", "ai88"}, "grey.paa", "PNG picture, 8 x 8, written as AI88"},
        {"png", 0, false, {"--type", "argb4444"}, "plain.paa", "PNG picture, 8 x 8, written as ARGB4444"},
    };
    for (const TCase& c : cases) {
        const std::string in = dir.File(c.out + "." + c.ext), out = dir.File(c.out);
        vistrel::WriteFile(in, PictureFile(c.ext, 8, 8, c.alpha, c.grey));
        std::vector<std::string> args = {"texture", in, out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const auto run = RunTool(P3DTOOL_EXE, args, dir.Path());
        EXPECT_EQ(run.status, 0) << c.out << ": " << run.err;
        EXPECT_EQ(run.out, in + ": " + c.line + "; written to " + out + "\n");
        EXPECT_EQ(DecodedSides(out), "8 x 8") << c.out;
    }
    const std::string odd = dir.File("odd.png");
    vistrel::WriteFile(odd, PictureFile("png", 300, 200));
    auto run = RunTool(P3DTOOL_EXE, {"texture", "--resize", odd, dir.File("odd.paa")}, dir.Path());
    EXPECT_EQ(run.out, odd + ": PNG picture, 300 x 200 scaled to 256 x 256, written as DXT1; written to " +
                           dir.File("odd.paa") + "\n");
    EXPECT_EQ(DecodedSides(dir.File("odd.paa")), "256 x 256");
    run = RunTool(P3DTOOL_EXE, {"texture", odd, dir.File("x.paa"), "--type", "dxt3"}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
              "p3dtool: texture: unknown type dxt3 (dxt1, argb4444, argb1555, ai88, argb8888 or dxt5)");
    run = RunTool(P3DTOOL_EXE, {"texture", odd, dir.File("x.tga")}, dir.Path());
    EXPECT_EQ(run.err.substr(0, run.err.find('\n')),
              "p3dtool: texture: OUT must end in .paa or .pac (a texture) or .png (a picture)");
}

TEST(TextureCommand, InfoListsTheLayoutOrWhereItBreaks) {
    TScratchDir dir;
    vistrel::TexOptions options;
    options.extraTags = {{"CXAM", {255, 254, 253, 252}}, {"ZIWS", {1, 2, 3}}};
    // 8 x 8 and 4 x 4 of DXT1: type 2 bytes, CGVA 16, SFFO 76, CXAM 16, ZIWS 15, palette count 2
    const auto file =
        vistrel::EncodeTextureFile(vistrel::TexImage(8, 8, {10, 20, 30, 255}), vistrel::TexFormat::Dxt1, options);
    const std::string good = dir.File("good.paa"), cut = dir.File("cut.paa");
    vistrel::WriteFile(good, file.bytes);
    vistrel::WriteFile(cut, Cut(file.bytes, 150));
    auto run = RunTool(P3DTOOL_EXE, {"texture", "--info", good}, dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string head = ": " + std::to_string(file.bytes.size()) + " bytes\n  type DXT1\n" +
                             "  tag CGVA at byte 2: blue 10, green 20, red 30, alpha 255\n"
                             "  tag SFFO at byte 18: 127, 166, the rest zero\n"
                             "  tag CXAM at byte 94: blue 255, green 254, red 253, alpha 252\n"
                             "  tag ZIWS at byte 110: 01 02 03\n";
    ASSERT_EQ(file.bytes.size(), 187u);
    EXPECT_EQ(run.out, good + head +
                           "  level 0 at byte 127: 8 x 8, 32 bytes stored raw (not compressed)\n"
                           "  level 1 at byte 166: 4 x 4, 8 bytes stored raw (not compressed)\n"
                           "  end at byte 181\n");
    run = RunTool(P3DTOOL_EXE, {"texture", "--info", cut}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, cut + ": 150 bytes" + head.substr(head.find('\n')) +
                           "  broken: truncated level data: the level at byte 127 claims 32 bytes, 16 left\n");

    const std::string smooth = dir.File("smooth.paa");
    vistrel::WriteFile(smooth,
                       vistrel::EncodeTexture(vistrel::TexImage(4, 2, {0, 0, 0, 0x80}), vistrel::TexFormat::Argb4444));
    run = RunTool(P3DTOOL_EXE, {"texture", "--info", smooth}, dir.Path());
    EXPECT_NE(run.out.find("  tag GALF at byte 18: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(": 4 x 2, 9 bytes stored LZSS (compressed)\n"), std::string::npos) << run.out;
    run = RunTool(P3DTOOL_EXE, {"texture", "--info", dir.File("none.paa")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "p3dtool: cannot read file " + dir.File("none.paa") + "\n");
}

TEST(TextureCommand, TreesBothWaysGoPastABadFile) {
    TScratchDir dir;
    fs::create_directories(dir.Path() / "in" / "sub");
    vistrel::WriteFile(dir.File("in/a.png"), PictureFile("png", 4, 4));
    vistrel::WriteFile(dir.File("in/sub/b.TGA"), PictureFile("tga", 8, 4, 2));
    vistrel::WriteFile(dir.File("in/sub/bad.png"), PictureFile("png", 6, 4));
    vistrel::WriteFile(dir.File("in/sub/readme.txt"), Bytes{'x'});
    auto run = RunTool(P3DTOOL_EXE, {"texture", "-r", "--to", "paa", dir.File("in"), dir.File("out")}, dir.Path());
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out,
              "[1/3] a.png: converted (PNG picture, 4 x 4, written as DXT1)\n"
              "[2/3] sub/b.TGA: converted (TGA picture, 8 x 4, written as ARGB4444)\n"
              "[3/3] sub/bad.png: failed, the sides of a texture must be powers of two: 6 \u00D7 4\n"
              "\n2 converted, 1 failed\n"
              "  sub/bad.png: the sides of a texture must be powers of two: 6 \u00D7 4\n");
    EXPECT_EQ(DecodedSides(dir.File("out/a.paa")), "4 x 4");
    EXPECT_EQ(DecodedSides(dir.File("out/sub/b.paa")), "8 x 4");
    EXPECT_FALSE(fs::exists(dir.File("out/sub/bad.paa")));

    vistrel::WriteFile(dir.File("out/sub/c.pac"), Bytes{1, 2, 3});
    run = RunTool(P3DTOOL_EXE, {"texture", "-r", "--to", "png", dir.File("out"), dir.File("back")}, dir.Path());
    EXPECT_EQ(run.status, 1) << run.err;
    // the type is the writer's choice: the sides and the storage are said
    EXPECT_EQ(run.out.rfind("[1/3] a.paa: converted (", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(", 4 x 4, stored "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[2/3] sub/b.paa: converted ("), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[3/3] sub/c.pac: failed, unknown layout: the first bytes 01 02 are no texture type"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("\n2 converted, 1 failed\n"), std::string::npos) << run.out;
    int w = 0, h = 0;
    EXPECT_EQ(ReadPngRgba(dir.File("back/sub/b.png"), w, h).size(), 8u * 4 * 4);
    EXPECT_FALSE(fs::exists(dir.File("back/sub/c.png")));

    run = RunTool(P3DTOOL_EXE, {"texture", "-r", dir.File("in"), dir.File("out")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("-r needs --to png or --to paa"), std::string::npos) << run.err;
}
