// The picture reader: every kind it reads gives the pixels back as they were
// written (JPEG within its loss), and the sides made to fit a texture.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "PictureFile.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace {

using Bytes = std::vector<uint8_t>;

void Append(void* context, void* data, int size) {
    auto* out = static_cast<Bytes*>(context);
    out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

}  // namespace

TEST(PictureFile, EveryKindReadsBackItsPixels) {
    constexpr int w = 7, h = 5;  // odd sides: rows padded in BMP, bottom-up in BMP and TGA
    Bytes rgba;
    for (int i = 0; i < w * h; ++i)
        rgba.insert(rgba.end(), {uint8_t(i * 7), uint8_t(255 - i * 5), uint8_t(i < 10 ? 40 : 200), uint8_t(i * 6)});
    struct TCase {
        const char* kind;
        int channels;
        int tolerance;
        std::function<void(Bytes&, const uint8_t*, int)> write;
    };
    const std::vector<TCase> cases = {
        {"PNG", 4, 0, [](Bytes& b, const uint8_t* p, int c) { stbi_write_png_to_func(Append, &b, w, h, c, p, 0); }},
        {"BMP", 3, 0, [](Bytes& b, const uint8_t* p, int c) { stbi_write_bmp_to_func(Append, &b, w, h, c, p); }},
        {"BMP", 4, 0, [](Bytes& b, const uint8_t* p, int c) { stbi_write_bmp_to_func(Append, &b, w, h, c, p); }},
        {"TGA", 4, 0,
         [](Bytes& b, const uint8_t* p, int c) {
             stbi_write_tga_with_rle = 1;
             stbi_write_tga_to_func(Append, &b, w, h, c, p);
         }},
        {"TGA", 3, 0,
         [](Bytes& b, const uint8_t* p, int c) {
             stbi_write_tga_with_rle = 0;
             stbi_write_tga_to_func(Append, &b, w, h, c, p);
         }},
        {"JPEG", 3, 40, [](Bytes& b, const uint8_t* p, int c) { stbi_write_jpg_to_func(Append, &b, w, h, c, p, 100); }},
    };
    for (const TCase& c : cases) {
        Bytes pixels;  // the picture with as many channels as the file holds
        for (int i = 0; i < w * h; ++i) pixels.insert(pixels.end(), &rgba[i * 4], &rgba[i * 4] + c.channels);
        Bytes file;
        c.write(file, pixels.data(), c.channels);
        vistrel::TRgbaPicture picture;
        std::string error, kind;
        ASSERT_TRUE(vistrel::DecodePicture(file.data(), file.size(), picture, error, &kind)) << c.kind << ": " << error;
        EXPECT_EQ(kind, c.kind);
        ASSERT_EQ(picture.Width, w);
        ASSERT_EQ(picture.Height, h);
        ASSERT_EQ(picture.Rgba.size(), rgba.size());
        for (std::size_t i = 0; i < rgba.size(); ++i) {
            const int expected = i % 4 == 3 && c.channels < 4 ? 255 : rgba[i];
            ASSERT_LE(std::abs(picture.Rgba[i] - expected), c.tolerance) << c.kind << c.channels << " byte " << i;
        }
    }
}

TEST(PictureFile, SidesToPowersOfTwo) {
    const std::vector<std::pair<int, int>> nearest = {{1, 1},     {2, 2},     {3, 2},       {5, 4},
                                                      {6, 4},     {7, 8},     {200, 256},   {300, 256},
                                                      {384, 256}, {385, 512}, {4095, 4096}, {5000, 4096}};
    for (const auto& [side, expected] : nearest) EXPECT_EQ(vistrel::NearestPowerOfTwo(side), expected) << side;

    vistrel::TRgbaPicture picture{3, 5, {}};
    for (int i = 0; i < 15; ++i) picture.Rgba.insert(picture.Rgba.end(), {90, 160, 30, 255});
    std::string error;
    vistrel::TRgbaPicture refused = picture;
    EXPECT_FALSE(vistrel::FitTextureSides(refused, false, error));
    EXPECT_EQ(error, "the sides of a texture must be powers of two: 3 \u00D7 5");
    EXPECT_EQ(refused.Width, 3);
    ASSERT_TRUE(vistrel::FitTextureSides(picture, true, error)) << error;
    EXPECT_EQ(picture.Width, 2);
    EXPECT_EQ(picture.Height, 4);
    ASSERT_EQ(picture.Rgba.size(), 2u * 4 * 4);
    for (std::size_t i = 0; i < picture.Rgba.size(); i += 4)  // a flat picture stays flat
        EXPECT_EQ(Bytes(picture.Rgba.begin() + i, picture.Rgba.begin() + i + 4), (Bytes{90, 160, 30, 255})) << i;
}
