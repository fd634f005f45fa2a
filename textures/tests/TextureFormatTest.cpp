// Every stored format decoded to known pixels: the LZSS vectors of real files
// as raw bytes, hand-built DXT blocks for each colour and alpha rule, the
// cross-check colours, and files of every format written by the encoder.
#include <gtest/gtest.h>

#include <lzo/lzo1x.h>

#include <random>

#include "PixelConvert.h"
#include "TextureTestSupport.h"

using namespace textest;
using vistrel::TexFormat;
using vistrel::TexImage;
using vistrel::TexOptions;
using vistrel::TextureFormat;

namespace {

// ---- the rules, written out independently of the decoder -----------------

std::array<int, 3> Rgb565(uint16_t v) {
    const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

// The 16 pixels (BGRA) of one block by the documented rules.
std::array<Pixel, 16> RuleBlock(const uint8_t* block, TextureFormat format) {
    const bool dxt1 = format == TextureFormat::Dxt1;
    const uint8_t* colour = dxt1 ? block : block + 8;
    const uint16_t c0 = uint16_t(colour[0] | colour[1] << 8), c1 = uint16_t(colour[2] | colour[3] << 8);
    const auto e0 = Rgb565(c0), e1 = Rgb565(c1);
    std::array<Pixel, 4> palette;
    for (int k = 0; k < 4; ++k) palette[k][3] = 255;
    for (int c = 0; c < 3; ++c) {
        palette[0][2 - c] = uint8_t(e0[c]);
        palette[1][2 - c] = uint8_t(e1[c]);
        if (!dxt1 || c0 > c1) {
            palette[2][2 - c] = uint8_t((2 * e0[c] + e1[c]) / 3);
            palette[3][2 - c] = uint8_t((e0[c] + 2 * e1[c]) / 3);
        } else {
            palette[2][2 - c] = uint8_t((e0[c] + e1[c]) / 2);
            palette[3][2 - c] = 0;
        }
    }
    if (dxt1 && c0 <= c1) palette[3][3] = 0;
    const uint32_t indices =
        uint32_t(colour[4]) | uint32_t(colour[5]) << 8 | uint32_t(colour[6]) << 16 | uint32_t(colour[7]) << 24;
    std::array<Pixel, 16> px;
    for (int p = 0; p < 16; ++p) px[p] = palette[(indices >> (2 * p)) & 3];
    if (format == TextureFormat::Dxt2 || format == TextureFormat::Dxt3) {
        for (int p = 0; p < 16; ++p) px[p][3] = uint8_t(((block[p / 2] >> (4 * (p % 2))) & 15) * 17);
    } else if (format == TextureFormat::Dxt4 || format == TextureFormat::Dxt5) {
        const int a0 = block[0], a1 = block[1];
        int ramp[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
        if (a0 > a1) {
            for (int i = 2; i < 8; ++i) ramp[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
        } else {
            for (int i = 2; i < 6; ++i) ramp[i] = ((6 - i) * a0 + (i - 1) * a1) / 5;
            ramp[6] = 0;
            ramp[7] = 255;
        }
        uint64_t bits = 0;
        for (int k = 0; k < 6; ++k) bits |= uint64_t(block[2 + k]) << (8 * k);
        for (int p = 0; p < 16; ++p) px[p][3] = uint8_t(ramp[(bits >> (3 * p)) & 7]);
    }
    return px;
}

uint16_t TypeOf(TextureFormat f) {
    switch (f) {
    case TextureFormat::Dxt1: return 0xFF01;
    case TextureFormat::Dxt2: return 0xFF02;
    case TextureFormat::Dxt3: return 0xFF03;
    case TextureFormat::Dxt4: return 0xFF04;
    case TextureFormat::Dxt5: return 0xFF05;
    default: return 0;
    }
}

// A 4 × 4 DXT file holding exactly this block.
std::optional<vistrel::TextureImage> DecodeBlock(TextureFormat format, const Bytes& block,
                                                 std::string* error = nullptr) {
    return Decode(OneLevelFile(TypeOf(format), 4, 4, block), error);
}

void ExpectImage(const vistrel::TextureImage& decoded, const TexImage& expected) {
    ASSERT_EQ(decoded.width, expected.width);
    ASSERT_EQ(decoded.height, expected.height);
    ASSERT_EQ(decoded.bgra.size(), expected.bgra.size());
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x) {
            const uint8_t* e = expected.At(x, y);
            ASSERT_EQ(PixelAt(decoded, x, y), (Pixel{e[0], e[1], e[2], e[3]})) << "pixel " << x << ", " << y;
        }
}

// A picture whose every 4 × 4 block has two colours that RGB565 holds exactly
// (the encoder then picks them as the endpoints and decoding gives them back).
TexImage TwoColourBlocks(int w, int h, bool alpha) {
    std::mt19937 rng(7);
    TexImage image(w, h);
    for (int by = 0; by < (h + 3) / 4; ++by)
        for (int bx = 0; bx < (w + 3) / 4; ++bx) {
            Pixel colours[2];
            for (auto& c : colours) {
                const auto e = Rgb565(uint16_t(rng()));
                c = {uint8_t(e[2]), uint8_t(e[1]), uint8_t(e[0]), 255};
            }
            for (int y = 0; y < 4 && by * 4 + y < h; ++y)
                for (int x = 0; x < 4 && bx * 4 + x < w; ++x) {
                    Pixel p = colours[(x + y) % 2];
                    if (alpha) p[3] = uint8_t(17 * ((x + 3 * y + bx) % 16));
                    image.Set(bx * 4 + x, by * 4 + y, p);
                }
        }
    return image;
}

}  // namespace

// ---- LZSS vectors of real files -------------------------------------------

TEST(TextureLzss, OnePixelVector) {
    std::string error;
    const auto image = Decode(OneLevelFile(0x4444, 1, 1, {0x03, 0xC6, 0x7F, 0x45, 0x00, 0x00, 0x00}), &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->width, 1);
    EXPECT_EQ(image->height, 1);
    EXPECT_EQ(image->format, "ARGB4444");
    EXPECT_EQ(image->storage, "LZSS");
    // 0x7FC6: alpha 7, red F, green C, blue 6 → (255, 204, 102) alpha 119
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{102, 204, 255, 119}));
}

TEST(TextureLzss, OnePixelVectorHeaderBytesAsInTheFile) {
    Bytes file = {0x44, 0x44, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00, 0x03,
                  0xC6, 0x7F, 0x45, 0x00, 0x00, 0x00, 0,    0,    0,    0,    0,    0};
    const auto image = Decode(file);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{102, 204, 255, 119}));
}

TEST(TextureLzss, TwoByTwoVectorWithARun) {
    std::string error;
    // two literals, then offset 2 length 6; checksum 0x114 = 4 × (−58 + 127)
    const auto image =
        Decode(OneLevelFile(0x4444, 2, 2, {0x03, 0xC6, 0x7F, 0x02, 0x03, 0x14, 0x01, 0x00, 0x00}), &error);
    ASSERT_TRUE(image) << error;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(PixelAt(*image, x, y), (Pixel{102, 204, 255, 119}));
}

TEST(TextureLzss, UnsignedChecksumIsAcceptedToo) {
    // 0xC6 + 0x7F = 0x145
    const auto image = Decode(OneLevelFile(0x4444, 1, 1, {0x03, 0xC6, 0x7F, 0x45, 0x01, 0x00, 0x00}));
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{102, 204, 255, 119}));
}

TEST(TextureLzss, RunBeforeTheStartReadsBlanks) {
    // flag 0: a run at distance 2 of length 3 from output position 0: three
    // blanks 0x20 … then a literal: L = 4 (two 16-bit pixels 0x2020, 0x7F20)
    // checksum: 3 × 0x20 + 0x7F = 0xDF
    const auto image = Decode(OneLevelFile(0x4444, 2, 1, {0x02, 0x02, 0x00, 0x7F, 0xDF, 0x00, 0x00, 0x00}));
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{0, 2 * 17, 0, 2 * 17}));
    EXPECT_EQ(PixelAt(*image, 1, 0), (Pixel{0, 2 * 17, 15 * 17, 7 * 17}));
}

// ---- 16-bit and 32-bit conversions ----------------------------------------

TEST(TexturePixels, Argb4444TimesSeventeen) {
    EXPECT_EQ(vistrel::texpix::Pixel4444(0x0000), (std::array<uint8_t, 4>{0, 0, 0, 0}));
    EXPECT_EQ(vistrel::texpix::Pixel4444(0xFFFF), (std::array<uint8_t, 4>{255, 255, 255, 255}));
    EXPECT_EQ(vistrel::texpix::Pixel4444(0x1234), (std::array<uint8_t, 4>{68, 51, 34, 17}));
}

TEST(TexturePixels, Argb1555BitReplicationAndAlphaBit) {
    // alpha 1, red 31, green 16, blue 1
    EXPECT_EQ(vistrel::texpix::Pixel1555(uint16_t(0x8000 | 31 << 10 | 16 << 5 | 1)),
              (std::array<uint8_t, 4>{8, 132, 255, 255}));
    EXPECT_EQ(vistrel::texpix::Pixel1555(uint16_t(3 << 10 | 7 << 5 | 30)), (std::array<uint8_t, 4>{247, 57, 24, 0}));
}

TEST(TexturePixels, Ai88LowByteIntensityHighByteAlpha) {
    EXPECT_EQ(vistrel::texpix::PixelAi88(0x7FCD), (std::array<uint8_t, 4>{205, 205, 205, 127}));
}

TEST(TexturePixels, Ai88CrossCheckFromAFile) {
    // raw-sized level whose bytes are no LZSS block: taken as they are
    std::string error;
    const auto image = Decode(OneLevelFile(0x8080, 1, 1, {0xCD, 0x7F}), &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, "AI88");
    EXPECT_EQ(image->storage, "raw");
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{205, 205, 205, 127}));
    // the same pixel written by the encoder (LZSS)
    const auto encoded = Decode(vistrel::EncodeTexture(TexImage(3, 2, {205, 205, 205, 127}), TexFormat::Ai88));
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->storage, "LZSS");
    EXPECT_EQ(PixelAt(*encoded, 2, 1), (Pixel{205, 205, 205, 127}));
}

TEST(TexturePixels, Argb8888BytesAsTheyAre) {
    TexImage image = Pattern(9, 7);
    const auto decoded = Decode(vistrel::EncodeTexture(image, TexFormat::Argb8888));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->format, "ARGB8888");
    ExpectImage(*decoded, image);
}

// ---- DXT blocks -----------------------------------------------------------

TEST(TextureDxt, CrossCheckFirstPixel) {
    // c0 = (31, 50, 12) → (255, 203, 99), c1 = (31, 49, 12) → (255, 199, 99);
    // c0 > c1, index 3 = (c0 + 2 c1) / 3 = (255, 200, 99)
    const uint16_t c0 = 31 << 11 | 50 << 5 | 12, c1 = 31 << 11 | 49 << 5 | 12;
    const Bytes block = {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xFF, 0xFF, 0xFF, 0xFF};
    std::string error;
    const auto image = DecodeBlock(TextureFormat::Dxt1, block, &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{99, 200, 255, 255}));
    EXPECT_EQ(PixelAt(*image, 3, 3), (Pixel{99, 200, 255, 255}));
}

TEST(TextureDxt, FourOpaqueColoursWhenC0AboveC1) {
    const uint16_t c0 = 0xF800, c1 = 0x001F;  // red, blue
    // indices 0, 1, 2, 3 along the first row
    const Bytes block = {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xE4, 0, 0, 0};
    const auto image = DecodeBlock(TextureFormat::Dxt1, block);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(PixelAt(*image, 1, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(*image, 2, 0), (Pixel{85, 0, 170, 255}));
    EXPECT_EQ(PixelAt(*image, 3, 0), (Pixel{170, 0, 85, 255}));
    EXPECT_EQ(PixelAt(*image, 0, 1), (Pixel{0, 0, 255, 255}));
}

TEST(TextureDxt, TransparentIndexWhenC0AtMostC1) {
    const uint16_t c0 = 0x001F, c1 = 0xF800;  // c0 < c1
    const Bytes block = {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xE4, 0xFF, 0, 0};
    const auto image = DecodeBlock(TextureFormat::Dxt1, block);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(PixelAt(*image, 1, 0), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(PixelAt(*image, 2, 0), (Pixel{127, 0, 127, 255}));  // the half, truncated
    EXPECT_EQ(PixelAt(*image, 3, 0), (Pixel{0, 0, 0, 0}));        // transparent black
    for (int x = 0; x < 4; ++x) EXPECT_EQ(PixelAt(*image, x, 1), (Pixel{0, 0, 0, 0}));
}

TEST(TextureDxt, EqualEndpointsAreThreeColourMode) {
    const uint16_t c = 0x07E0;  // green
    const Bytes block = {uint8_t(c), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 8), 0xC0, 0, 0, 0};
    const auto image = DecodeBlock(TextureFormat::Dxt1, block);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(PixelAt(*image, 3, 0), (Pixel{0, 0, 0, 0}));
}

TEST(TextureDxt, Dxt3ExplicitAlphaAndAlwaysFourColours) {
    Bytes block;
    // alpha nibbles 0, 1, …, 15
    for (int k = 0; k < 8; ++k) block.push_back(uint8_t((2 * k) | (2 * k + 1) << 4));
    const uint16_t c0 = 0x001F, c1 = 0xF800;  // c0 < c1: still four colours in DXT3
    Append(block, {uint8_t(c0), uint8_t(c0 >> 8), uint8_t(c1), uint8_t(c1 >> 8), 0xE4, 0xE4, 0xE4, 0xE4});
    for (TextureFormat f : {TextureFormat::Dxt3, TextureFormat::Dxt2}) {
        const auto image = DecodeBlock(f, block);
        ASSERT_TRUE(image);
        for (int p = 0; p < 16; ++p) EXPECT_EQ(PixelAt(*image, p % 4, p / 4)[3], 17 * p);
        EXPECT_EQ(PixelAt(*image, 3, 0), (Pixel{85, 0, 170, 51}));  // (c0 + 2 c1) / 3
    }
}

TEST(TextureDxt, Dxt5EightAndSixStepAlpha) {
    for (TextureFormat f : {TextureFormat::Dxt5, TextureFormat::Dxt4}) {
        // a0 = 210 > a1 = 0: index k → 210, 0, 180, 150, 120, 90, 60, 30
        Bytes block = {210, 0};
        uint64_t bits = 0;
        for (int p = 0; p < 16; ++p) bits |= uint64_t(p % 8) << (3 * p);
        for (int k = 0; k < 6; ++k) block.push_back(uint8_t(bits >> (8 * k)));
        Append(block, {0xFF, 0xFF, 0x00, 0x00, 0, 0, 0, 0});
        auto image = DecodeBlock(f, block);
        ASSERT_TRUE(image);
        const int eight[8] = {210, 0, 180, 150, 120, 90, 60, 30};
        for (int p = 0; p < 16; ++p) EXPECT_EQ(PixelAt(*image, p % 4, p / 4)[3], eight[p % 8]) << p;
        EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{255, 255, 255, 210}));

        // a0 = 50 <= a1 = 100: 50, 100, 60, 70, 80, 90, 0, 255
        block[0] = 50;
        block[1] = 100;
        image = DecodeBlock(f, block);
        ASSERT_TRUE(image);
        const int six[8] = {50, 100, 60, 70, 80, 90, 0, 255};
        for (int p = 0; p < 16; ++p) EXPECT_EQ(PixelAt(*image, p % 4, p / 4)[3], six[p % 8]) << p;
    }
}

TEST(TextureDxt, RandomBlocksFollowTheRules) {
    std::mt19937 rng(2024);
    for (TextureFormat f :
         {TextureFormat::Dxt1, TextureFormat::Dxt2, TextureFormat::Dxt3, TextureFormat::Dxt4, TextureFormat::Dxt5}) {
        const std::size_t size = f == TextureFormat::Dxt1 ? 8 : 16;
        for (int t = 0; t < 3000; ++t) {
            Bytes block(size);
            for (auto& b : block) b = uint8_t(rng());
            uint8_t* colour = block.data() + size - 8;
            if (t % 3 == 0) std::swap(colour[0], colour[2]), std::swap(colour[1], colour[3]);
            if (t % 11 == 0) colour[2] = colour[0], colour[3] = colour[1];
            if (t % 5 == 0 && size == 16) std::swap(block[0], block[1]);
            const auto image = DecodeBlock(f, block);
            ASSERT_TRUE(image);
            const auto expected = RuleBlock(block.data(), f);
            for (int p = 0; p < 16; ++p)
                ASSERT_EQ(PixelAt(*image, p % 4, p / 4), expected[p])
                    << vistrel::TextureFormatName(f) << " block " << t << " pixel " << p;
        }
    }
}

TEST(TextureDxt, SidesThatAreNoMultipleOfFour) {
    // 6 × 5: two by two blocks, the parts beyond the picture dropped
    const TexImage image = TwoColourBlocks(6, 5, false);
    const Bytes blocks = vistrel::EncodeDxtBlocks(image, TexFormat::Dxt1);
    ASSERT_EQ(blocks.size(), 4u * 8u);
    const auto decoded = Decode(OneLevelFile(0xFF01, 6, 5, blocks));
    ASSERT_TRUE(decoded);
    ExpectImage(*decoded, image);
    // the same picture through a tiny 1 × 1 and 2 × 3 level
    for (auto [w, h] : {std::pair{1, 1}, std::pair{2, 3}}) {
        const TexImage small = TwoColourBlocks(w, h, false);
        const auto d =
            Decode(OneLevelFile(0xFF01, uint16_t(w), uint16_t(h), vistrel::EncodeDxtBlocks(small, TexFormat::Dxt1)));
        ASSERT_TRUE(d);
        ExpectImage(*d, small);
    }
}

TEST(TextureDxt, BytesAfterTheBlocksAreIgnored) {
    // a size field larger than the blocks need: the blocks are read from the
    // start of the level, the rest left alone
    const uint16_t c = 0xF800;
    Bytes level = {uint8_t(c), uint8_t(c >> 8), 0, 0, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC};
    const auto image = Decode(OneLevelFile(0xFF01, 4, 4, level));
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 3, 3), (Pixel{0, 0, 255, 255}));
}

// ---- encoder files of every format ----------------------------------------

TEST(TextureFormats, Dxt1FileRoundTrip) {
    const TexImage image = TwoColourBlocks(64, 32, false);
    const auto file = vistrel::EncodeTextureFile(image, TexFormat::Dxt1);
    std::string error;
    const auto decoded = Decode(file.bytes, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->format, "DXT1");
    EXPECT_EQ(decoded->storage, "raw");
    EXPECT_EQ(decoded->tags, (std::vector<std::string>{"CGVA", "SFFO"}));
    EXPECT_GT(file.levelHeaders.size(), 3u);  // 64 × 32, 32 × 16, 16 × 8, 8 × 4, (4 × … stops at 4)
    ExpectImage(*decoded, image);
}

TEST(TextureFormats, Dxt1TransparentBlocks) {
    TexImage image = TwoColourBlocks(8, 8, false);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x + y) % 3 == 0) image.Set(x, y, {0, 0, 0, 0});
    TexOptions options;
    options.dxt1Transparent = true;
    const auto decoded = Decode(vistrel::EncodeTexture(image, TexFormat::Dxt1, options));
    ASSERT_TRUE(decoded);
    ExpectImage(*decoded, image);
}

TEST(TextureFormats, Dxt3AndDxt5RoundTrip) {
    const TexImage image = TwoColourBlocks(20, 12, true);
    for (TexFormat f : {TexFormat::Dxt2, TexFormat::Dxt3}) {
        const auto decoded = Decode(vistrel::EncodeTexture(image, f));
        ASSERT_TRUE(decoded);
        ExpectImage(*decoded, image);
    }
    // DXT5: two alpha values per block come back exactly
    TexImage twoAlphas = TwoColourBlocks(20, 12, false);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) twoAlphas.At(x, y)[3] = (x + y) % 2 ? 33 : uint8_t(200 + x);
    for (TexFormat f : {TexFormat::Dxt4, TexFormat::Dxt5}) {
        const auto decoded = Decode(vistrel::EncodeTexture(twoAlphas, f));
        ASSERT_TRUE(decoded);
        ASSERT_EQ(decoded->width, 20);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 20; ++x) {
                const Pixel p = PixelAt(*decoded, x, y);
                const uint8_t* e = twoAlphas.At(x, y);
                EXPECT_EQ((Pixel{p[0], p[1], p[2], 0}), (Pixel{e[0], e[1], e[2], 0}));
                if ((x + y) % 2)
                    EXPECT_EQ(p[3], 33);
                else
                    EXPECT_NEAR(p[3], e[3], 3);  // the block's largest alpha or a step below it
            }
    }
}

TEST(TextureFormats, SixteenBitFormatsRoundTrip) {
    for (auto [w, h] : {std::pair{16, 16}, std::pair{37, 23}, std::pair{1, 5}}) {
        const TexImage image = Pattern(w, h);
        for (TexFormat f : {TexFormat::Argb4444, TexFormat::Argb1555, TexFormat::Ai88}) {
            std::string error;
            const auto decoded = Decode(vistrel::EncodeTexture(image, f), &error);
            ASSERT_TRUE(decoded) << error;
            EXPECT_EQ(decoded->storage, "LZSS");
            ExpectImage(*decoded, vistrel::QuantizeLike(image, f));
        }
    }
}

TEST(TextureFormats, RawSixteenBitLevels) {
    const TexImage image = Pattern(12, 10);
    TexOptions options;
    options.rawLevels = true;
    for (TexFormat f : {TexFormat::Argb4444, TexFormat::Argb1555, TexFormat::Ai88, TexFormat::Argb8888}) {
        std::string error;
        const auto decoded = Decode(vistrel::EncodeTexture(image, f, options), &error);
        ASSERT_TRUE(decoded) << error;
        EXPECT_EQ(decoded->storage, "raw");
        ExpectImage(*decoded, vistrel::QuantizeLike(image, f));
    }
}

TEST(TextureFormats, UnsignedChecksumBlocks) {
    const TexImage image = Pattern(10, 10);
    TexOptions options;
    options.checksum = vistrel::LzssChecksum::Unsigned;
    const auto decoded = Decode(vistrel::EncodeTexture(image, TexFormat::Argb1555, options));
    ASSERT_TRUE(decoded);
    ExpectImage(*decoded, vistrel::QuantizeLike(image, TexFormat::Argb1555));
}

TEST(TextureFormats, LzoLiteralStreams) {
    // every literal-run form: the one-byte length, the long form with and
    // without extension bytes, and a length that is a multiple of 255 past 18
    for (auto [w, h] : {std::pair{4, 4}, std::pair{8, 4}, std::pair{16, 16}, std::pair{68, 4}, std::pair{132, 4},
                        std::pair{264, 4}, std::pair{128, 64}}) {
        const TexImage image = TwoColourBlocks(w, h, true);
        for (TexFormat f : {TexFormat::Dxt1, TexFormat::Dxt3}) {
            TexOptions options;
            options.lzo = true;
            std::string error;
            const auto decoded = Decode(vistrel::EncodeTexture(image, f, options), &error);
            ASSERT_TRUE(decoded) << error << " " << w << " x " << h;
            EXPECT_EQ(decoded->storage, "LZO");
            ExpectImage(*decoded, f == TexFormat::Dxt1 ? QuantizeLike(image, TexFormat::Palette) : image);
        }
    }
}

TEST(TextureFormats, LzoCompressedByLiblzo) {
    ASSERT_EQ(lzo_init(), LZO_E_OK);
    TexOptions options;
    options.lzo = true;
    options.lzoCompress = [](const Bytes& in) {
        Bytes out(in.size() + in.size() / 16 + 64 + 3);
        std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
        lzo_uint outLen = out.size();
        EXPECT_EQ(lzo1x_1_compress(in.data(), in.size(), out.data(), &outLen, work.data()), LZO_E_OK);
        out.resize(outLen);
        return out;
    };
    TexImage image(64, 64, {8, 121, 57, 255});  // RGB565 holds it exactly; compresses well
    for (int k = 0; k < 64; ++k) image.Set(k, k, {255, 255, 255, 255});
    const auto file = vistrel::EncodeTextureFile(image, TexFormat::Dxt5, options);
    EXPECT_LT(file.firstSize, 64u * 16u / 2u);
    std::string error;
    const auto decoded = Decode(file.bytes, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->storage, "LZO");
    ExpectImage(*decoded, image);
}

TEST(TextureFormats, UnknownTagsAreSkipped) {
    TexOptions options;
    options.extraTags = {{"CXAM", {1, 2, 3, 4}}, {"ZIWS", {}}, {"?#!x", Bytes(300, 0x47)}};
    const TexImage image = Pattern(8, 8, false);
    const auto decoded = Decode(vistrel::EncodeTexture(image, TexFormat::Argb4444, options));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->tags, (std::vector<std::string>{"CGVA", "SFFO", "CXAM", "ZIWS", "?#!x"}));
    ExpectImage(*decoded, vistrel::QuantizeLike(image, TexFormat::Argb4444));
}

TEST(TextureFormats, TransparentPicturesCarryTheAlphaFlag) {
    const auto decoded = Decode(vistrel::EncodeTexture(Pattern(8, 8), TexFormat::Argb4444));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->tags, (std::vector<std::string>{"CGVA", "GALF", "SFFO"}));
}

TEST(TextureFormats, NoTagsAtAll) {
    TexOptions options;
    options.tags = false;
    const TexImage image = Pattern(8, 4);
    const auto decoded = Decode(vistrel::EncodeTexture(image, TexFormat::Argb1555, options));
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(decoded->tags.empty());
    ExpectImage(*decoded, vistrel::QuantizeLike(image, TexFormat::Argb1555));
}

TEST(TextureFormats, PaletteEntriesInANonPaletteFileAreSkipped) {
    const Bytes blocks = vistrel::EncodeDxtBlocks(TexImage(4, 4, {0, 0, 255, 255}), TexFormat::Dxt1);
    Bytes file;
    AppendU16(file, 0xFF01);
    AppendU16(file, 2);
    Append(file, {1, 2, 3, 4, 5, 6});
    AppendU16(file, 4);
    AppendU16(file, 4);
    AppendU24(file, uint32_t(blocks.size()));
    Append(file, blocks);
    file.insert(file.end(), 6, 0);
    const auto decoded = Decode(file);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(PixelAt(*decoded, 3, 3), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(decoded->paletteCount, 0);
}

TEST(TextureFormats, OnlyTheFirstLevelIsRead) {
    const TexImage image = Pattern(32, 32, false);
    auto file = vistrel::EncodeTextureFile(image, TexFormat::Argb4444);
    ASSERT_GE(file.levelHeaders.size(), 2u);
    // wreck everything after the first level
    for (std::size_t k = file.levelHeaders[1]; k < file.bytes.size(); ++k) file.bytes[k] = 0xEE;
    const auto decoded = Decode(file.bytes);
    ASSERT_TRUE(decoded);
    ExpectImage(*decoded, vistrel::QuantizeLike(image, TexFormat::Argb4444));
}

TEST(TextureFormats, LevelSizesNeedNotBePowersOfTwo) {
    const TexImage image = Pattern(100, 60, false);
    for (TexFormat f : {TexFormat::Argb4444, TexFormat::Argb8888}) {
        const auto decoded = Decode(vistrel::EncodeTexture(image, f));
        ASSERT_TRUE(decoded);
        ExpectImage(*decoded, vistrel::QuantizeLike(image, f));
    }
}

// ---- palette files --------------------------------------------------------

namespace {

std::vector<vistrel::PaletteEntry> FourColours() { return {{10, 20, 30}, {200, 100, 50}, {0, 255, 0}, {7, 8, 9}}; }

Pixel Entry(const vistrel::PaletteEntry& e) { return {e[0], e[1], e[2], 255}; }

}  // namespace

TEST(TexturePalette, RunsAndCopiesByHand) {
    // count 2; level 5 × 2: run of 4 × index 1, copy 3 bytes (0, 1, 0), run of 3 × index 0
    Bytes file;
    Append(file, {'G', 'G', 'A', 'T', 'C', 'G', 'V', 'A', 4, 0, 0, 0, 1, 2, 3, 255});
    AppendU16(file, 2);
    Append(file, {1, 2, 3, 4, 5, 6});
    AppendU16(file, 5);
    AppendU16(file, 2);
    const Bytes data = {0x83, 1, 0x02, 0, 1, 0, 0x82, 0};
    AppendU24(file, uint32_t(data.size()));
    Append(file, data);
    file.insert(file.end(), 6, 0);
    std::string error;
    const auto image = Decode(file, &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->format, "palette");
    EXPECT_EQ(image->storage, "run-length");
    EXPECT_EQ(image->paletteCount, 2);
    const Pixel a{1, 2, 3, 255}, b{4, 5, 6, 255};
    const Pixel expected[10] = {b, b, b, b, a, b, a, a, a, a};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(PixelAt(*image, i % 5, i / 5), expected[i]) << i;
}

TEST(TexturePalette, IndicesBeyondTheCountAreBlack) {
    std::vector<uint8_t> indices = {0, 1, 2, 3, 4, 200, 255, 3};
    const auto file = vistrel::EncodePaletteFile(4, 2, indices, FourColours());
    const auto image = Decode(file.bytes);
    ASSERT_TRUE(image);
    const auto colours = FourColours();
    for (int i = 0; i < 8; ++i) {
        const Pixel expected = indices[i] < 4 ? Entry(colours[indices[i]]) : Pixel{0, 0, 0, 255};
        EXPECT_EQ(PixelAt(*image, i % 4, i / 4), expected) << i;
    }
}

TEST(TexturePalette, EncoderRunLengthCodingRoundTrip) {
    // long runs (beyond 128), short runs, long copies
    std::vector<uint8_t> indices;
    for (int k = 0; k < 300; ++k) indices.push_back(2);
    for (int k = 0; k < 400; ++k) indices.push_back(uint8_t(k % 4));
    for (int k = 0; k < 2; ++k) indices.push_back(1);
    for (int k = 0; k < 322; ++k) indices.push_back(uint8_t((k / 3) % 4));
    ASSERT_EQ(indices.size(), 1024u);
    for (bool tagsFirst : {true, false}) {
        TexOptions options;
        options.paletteTagsFirst = tagsFirst;
        const auto file = vistrel::EncodePaletteFile(32, 32, indices, FourColours(), options);
        if (tagsFirst)
            EXPECT_EQ(Bytes(file.bytes.begin(), file.bytes.begin() + 4), (Bytes{'G', 'G', 'A', 'T'}));
        else
            EXPECT_EQ(file.bytes[0], 4);
        const auto image = Decode(file.bytes);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->tags.empty(), !tagsFirst);
        const auto colours = FourColours();
        for (int i = 0; i < 1024; ++i) ASSERT_EQ(PixelAt(*image, i % 32, i / 32), Entry(colours[indices[i]])) << i;
    }
}

TEST(TexturePalette, PictureWithFewColours) {
    TexImage image(24, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) image.Set(x, y, {uint8_t(x / 6 * 60), uint8_t(y / 4 * 50), 90, 255});
    const auto decoded = Decode(vistrel::EncodePaletteImage(image).bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->paletteCount, 16);
    ExpectImage(*decoded, image);
}

TEST(TexturePalette, SizeMarkerWithLzssIndices) {
    std::vector<uint8_t> indices(40 * 30);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i / 7) % 5);
    const auto colours = FourColours();
    for (bool checksum : {true, false}) {
        for (bool tagsFirst : {true, false}) {
            TexOptions options;
            options.paletteMarker = true;
            options.markerChecksum = checksum;
            options.paletteTagsFirst = tagsFirst;
            const auto file = vistrel::EncodePaletteFile(40, 30, indices, colours, options);
            std::string error;
            const auto image = Decode(file.bytes, &error);
            ASSERT_TRUE(image) << error;
            EXPECT_EQ(image->width, 40);
            EXPECT_EQ(image->height, 30);
            EXPECT_EQ(image->storage, "LZSS after the size marker");
            for (int i = 0; i < 1200; ++i) {
                const Pixel expected = indices[i] < 4 ? Entry(colours[indices[i]]) : Pixel{0, 0, 0, 255};
                ASSERT_EQ(PixelAt(*image, i % 40, i / 40), expected) << i;
            }
        }
    }
}

TEST(TexturePalette, SizeMarkerAcceptsAWrongChecksum) {
    std::vector<uint8_t> indices(16 * 16, 1);
    TexOptions options;
    options.paletteMarker = true;
    options.badChecksum = true;
    const auto image = Decode(vistrel::EncodePaletteFile(16, 16, indices, FourColours(), options).bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 15, 15), Entry(FourColours()[1]));
}

TEST(TexturePalette, ZeroEntries) {
    const auto image = Decode(vistrel::EncodePaletteFile(4, 4, std::vector<uint8_t>(16, 0), {}).bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{0, 0, 0, 255}));
}
