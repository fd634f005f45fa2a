// p3dtool texture: a texture file to a PNG picture, its exit statuses and
// messages.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "Browser.h"
#include "P3dBuilder.h"
#include "TextureEncoder.h"
#include "ToolRunner.h"

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
    EXPECT_NE(run.err.find("usage: p3dtool texture FILE OUT.png"), std::string::npos) << run.err;
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
