// The bitmap and TGA loaders: layouts, row order, run-length packets, short
// files, refused headers.
#include "ImageLoaders.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

using Bytes = std::vector<std::uint8_t>;

class ImageFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;

    std::string Path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }

    std::string Write(const char* name, const Bytes& bytes) const {
        const std::string path = Path(name);
        QFile f(QString::fromStdString(path));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return path;
    }

    // The 2 x 2 picture: top row red, blue; bottom row green, white.
    std::string WriteTwoByTwo(const char* name, const char* format = "BMP") const {
        QImage img(2, 2, QImage::Format_RGB32);
        img.setPixelColor(0, 0, QColor(255, 0, 0));
        img.setPixelColor(1, 0, QColor(0, 0, 255));
        img.setPixelColor(0, 1, QColor(0, 255, 0));
        img.setPixelColor(1, 1, QColor(255, 255, 255));
        const std::string path = Path(name);
        EXPECT_TRUE(img.save(QString::fromStdString(path), format));
        return path;
    }
};

// An 18-byte TGA header.
Bytes TgaHeader(std::uint8_t type, std::uint16_t width, std::uint16_t height, std::uint8_t depth,
                std::uint8_t idLength = 0, std::uint8_t colourMapType = 0) {
    return Bytes{idLength,
                 colourMapType,
                 type,
                 0,
                 0,  // colour-map first entry
                 0,
                 0,  // colour-map length
                 0,  // colour-map entry size
                 0,
                 0,  // x origin
                 0,
                 0,  // y origin
                 std::uint8_t(width & 0xFF),
                 std::uint8_t(width >> 8),
                 std::uint8_t(height & 0xFF),
                 std::uint8_t(height >> 8),
                 depth,
                 0};
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct TgaResult {
    std::int32_t status = 99;
    Bytes pixels;
    std::uint32_t width = 0xDEAD, height = 0xBEEF, bits = 0xCAFE;
    bool pixelsWritten = false;
};

TgaResult Load(const std::string& path) {
    TgaResult r;
    std::uint8_t sentinel = 0;
    std::uint8_t* pixels = &sentinel;
    r.status = LoadTGA(path, pixels, &r.width, &r.height, r.bits);
    r.pixelsWritten = pixels != &sentinel;
    if (r.status == TGA_OK && r.pixelsWritten) {
        r.pixels.assign(pixels, pixels + std::size_t(r.width) * r.height * 4);
        FreeTGAPixels(pixels);
    }
    return r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Bitmaps

TEST_F(ImageFiles, BitmapWithoutAlphaIsTurnedUpsideDown) {
    const std::string path = WriteTwoByTwo("pic.bmp");
    const std::unique_ptr<BMPTexture> t = LoadBMPTexture(path, false);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->components, 3);
    EXPECT_EQ(t->width, 2);
    EXPECT_EQ(t->height, 2);
    EXPECT_EQ(t->format, GLenum(GL_RGB));
    EXPECT_EQ(t->type, GLenum(GL_UNSIGNED_BYTE));
    ASSERT_EQ(t->PixelBytes(), 12u);
    const Bytes got(t->pixels.get(), t->pixels.get() + 12);
    EXPECT_EQ(got, (Bytes{0, 255, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255}));
}

TEST_F(ImageFiles, BitmapWithAlpha) {
    const std::string path = WriteTwoByTwo("pic.bmp");
    const std::unique_ptr<BMPTexture> t = LoadBMPTexture(path, true);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->components, 4);
    EXPECT_EQ(t->format, GLenum(GL_RGBA));
    EXPECT_EQ(t->type, GLenum(GL_UNSIGNED_BYTE));
    ASSERT_EQ(t->PixelBytes(), 16u);
    const Bytes got(t->pixels.get(), t->pixels.get() + 16);
    EXPECT_EQ(got, (Bytes{0, 255, 0, 255, 255, 255, 255, 255, 255, 0, 0, 255, 0, 0, 255, 255}));
}

TEST_F(ImageFiles, BitmapByQStringName) {
    const std::string path = WriteTwoByTwo("pic.bmp");
    EXPECT_NE(LoadBMPTexture(QString::fromStdString(path), false), nullptr);
}

TEST_F(ImageFiles, MissingBitmapGivesNone) {
    EXPECT_EQ(LoadBMPTexture(Path("nothing.bmp"), false), nullptr);
    EXPECT_EQ(LoadBMPTexture(Path("nothing.bmp"), true), nullptr);
}

TEST_F(ImageFiles, OtherPictureFormatsAreNotBitmaps) {
    // A PNG under a bitmap's name is not read.
    const std::string png = WriteTwoByTwo("really_png.bmp", "PNG");
    EXPECT_EQ(LoadBMPTexture(png, false), nullptr);
    // The content decides: a bitmap under another name is read.
    const std::string bmp = WriteTwoByTwo("really_bmp.png", "BMP");
    EXPECT_NE(LoadBMPTexture(bmp, false), nullptr);
    // Garbage.
    EXPECT_EQ(LoadBMPTexture(Write("junk.bmp", Bytes{'B', 'M', 1, 2, 3}), false), nullptr);
}

// ---------------------------------------------------------------------------
// TGA, accepted

TEST_F(ImageFiles, TgaUncompressed24BitFirstRowLast) {
    const std::string path = Write("a.tga", TgaHeader(2, 1, 2, 24) + Bytes{10, 20, 30, 40, 50, 60});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.bits, 24u);
    EXPECT_EQ(r.width, 1u);
    EXPECT_EQ(r.height, 2u);
    EXPECT_EQ(r.pixels, (Bytes{60, 50, 40, 255, 30, 20, 10, 255}));
}

TEST_F(ImageFiles, TgaUncompressed32BitKeepsAlpha) {
    // 2 x 2: file rows (1,2,3,4)(5,6,7,8) then (9,10,11,12)(13,14,15,16).
    const std::string path =
        Write("b.tga", TgaHeader(2, 2, 2, 32) + Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.bits, 32u);
    EXPECT_EQ(r.pixels, (Bytes{11, 10, 9, 12, 15, 14, 13, 16, 3, 2, 1, 4, 7, 6, 5, 8}));
}

TEST_F(ImageFiles, TgaRunPacketRepeatsOnePixel) {
    const std::string path = Write("c.tga", TgaHeader(10, 4, 1, 24) + Bytes{0x83, 10, 20, 30});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.pixels, (Bytes{30, 20, 10, 255, 30, 20, 10, 255, 30, 20, 10, 255, 30, 20, 10, 255}));
}

TEST_F(ImageFiles, TgaRawPacketCarriesItsPixels) {
    const std::string path = Write("d.tga", TgaHeader(10, 3, 1, 24) + Bytes{0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.pixels, (Bytes{3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255}));
}

TEST_F(ImageFiles, TgaRunCrossesRows) {
    // 3 x 2: a run of 5 A then one raw B. File row 0 = A A A, file row 1 = A A B.
    const std::string path =
        Write("e.tga", TgaHeader(10, 3, 2, 32) + Bytes{0x84, 1, 2, 3, 4} + Bytes{0x00, 5, 6, 7, 8});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    const Bytes a{3, 2, 1, 4}, b{7, 6, 5, 8};
    EXPECT_EQ(r.pixels, a + a + b + a + a + a);
}

TEST_F(ImageFiles, TgaPacketPastTheLastPixelIsCut) {
    // A run of 6 into a 2 x 1 image, then more packets that are never read.
    const std::string path = Write("f.tga", TgaHeader(10, 2, 1, 24) + Bytes{0x85, 1, 2, 3, 0x81, 9, 9, 9});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.pixels, (Bytes{3, 2, 1, 255, 3, 2, 1, 255}));
}

TEST_F(ImageFiles, TgaIdFieldIsSkipped) {
    const std::string path =
        Write("g.tga", TgaHeader(2, 1, 1, 24, /*idLength=*/5) + Bytes{'h', 'e', 'l', 'l', 'o'} + Bytes{10, 20, 30});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.pixels, (Bytes{30, 20, 10, 255}));
}

TEST_F(ImageFiles, TgaShortUncompressedFileReadsWhite) {
    // 2 x 2 with one pixel and one byte of the next.
    const std::string path = Write("h.tga", TgaHeader(2, 2, 2, 24) + Bytes{10, 20, 30, 7});
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    ASSERT_EQ(r.pixels.size(), 16u);
    const Bytes white{255, 255, 255, 255};
    // File pixel 0 is buffer row 1, column 0; pixel 1 is (blue 7, 255, 255).
    EXPECT_EQ(r.pixels, (white + white + Bytes{30, 20, 10, 255} + Bytes{255, 255, 7, 255}));
}

TEST_F(ImageFiles, TgaShortCompressedFileReadsWhite) {
    // Nothing after the header: every packet byte reads 0xFF, a run of 128
    // white pixels; decoding still ends after width * height pixels.
    const std::string path = Write("i.tga", TgaHeader(10, 3, 3, 32));
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    EXPECT_EQ(r.pixels, Bytes(36, 255));
}

TEST_F(ImageFiles, TgaNoPlacesForWidthAndHeight) {
    const std::string path = Write("j.tga", TgaHeader(2, 1, 1, 24) + Bytes{1, 2, 3});
    std::uint8_t* pixels = nullptr;
    std::uint32_t bits = 0;
    ASSERT_EQ(LoadTGA(path, pixels, nullptr, nullptr, bits), TGA_OK);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(bits, 24u);
    const Bytes got(pixels, pixels + 4);
    EXPECT_EQ(got, (Bytes{3, 2, 1, 255}));
    delete[] pixels;  // the documented release
}

TEST_F(ImageFiles, TgaLargeRunLengthFileIsAccepted) {
    // More pixels than a short file may claim, all described by full runs.
    const std::uint16_t w = 1024, h = 1100;
    Bytes body;
    const std::size_t packets = (std::size_t(w) * h + 127) / 128;
    for (std::size_t i = 0; i < packets; ++i) body.insert(body.end(), {0xFF, 10, 20, 30});
    const std::string path = Write("k.tga", TgaHeader(10, w, h, 24) + body);
    const TgaResult r = Load(path);
    ASSERT_EQ(r.status, TGA_OK);
    ASSERT_EQ(r.pixels.size(), std::size_t(w) * h * 4);
    const Bytes head(r.pixels.begin(), r.pixels.begin() + 4);
    const Bytes tail(r.pixels.end() - 4, r.pixels.end());
    EXPECT_EQ(head, (Bytes{30, 20, 10, 255}));
    EXPECT_EQ(tail, (Bytes{30, 20, 10, 255}));
}

// ---------------------------------------------------------------------------
// TGA, refused: nothing is written

void ExpectUntouched(const TgaResult& r) {
    EXPECT_FALSE(r.pixelsWritten);
    EXPECT_EQ(r.width, 0xDEADu);
    EXPECT_EQ(r.height, 0xBEEFu);
    EXPECT_EQ(r.bits, 0xCAFEu);
}

TEST_F(ImageFiles, TgaColourMappedTypeIsUnsupported) {
    const TgaResult r = Load(Write("t1.tga", TgaHeader(1, 1, 1, 8) + Bytes{0}));
    EXPECT_EQ(r.status, TGA_UNSUPPORTED_TYPE);
    ExpectUntouched(r);
    const TgaResult grey = Load(Write("t3.tga", TgaHeader(3, 1, 1, 24) + Bytes{0, 0, 0}));
    EXPECT_EQ(grey.status, -1);
    ExpectUntouched(grey);
}

TEST_F(ImageFiles, Tga16BitIsUnsupported) {
    const TgaResult r = Load(Write("t16.tga", TgaHeader(2, 1, 1, 16) + Bytes{0, 0}));
    EXPECT_EQ(r.status, TGA_UNSUPPORTED_FORMAT);
    ExpectUntouched(r);
}

TEST_F(ImageFiles, TgaWithColourMapIsUnsupported) {
    const TgaResult r = Load(Write("cm.tga", TgaHeader(2, 1, 1, 24, 0, /*colourMapType=*/1) + Bytes{1, 2, 3}));
    EXPECT_EQ(r.status, -2);
    ExpectUntouched(r);
}

TEST_F(ImageFiles, MissingTgaIsNotOpened) {
    const TgaResult r = Load(Path("nothing.tga"));
    EXPECT_EQ(r.status, TGA_NOT_OPENED);
    ExpectUntouched(r);
}

TEST_F(ImageFiles, TgaAbsurdSizeIsRefusedWithoutAllocating) {
    // 65535 x 65535 (16 GiB of pixels) from a file of a few bytes.
    TgaResult r = Load(Write("huge.tga", TgaHeader(10, 65535, 65535, 32) + Bytes{0xFF, 1, 2, 3, 4}));
    EXPECT_EQ(r.status, -2);
    ExpectUntouched(r);
    // Just above the absolute limit, whatever the file holds.
    r = Load(Write("big.tga", TgaHeader(2, 16384, 16385, 24)));
    EXPECT_EQ(r.status, -2);
    ExpectUntouched(r);
    // Far more pixels than a short file could describe even as runs.
    r = Load(Write("short.tga", TgaHeader(10, 4096, 4096, 24) + Bytes{0xFF, 1, 2, 3}));
    EXPECT_EQ(r.status, -2);
    ExpectUntouched(r);
    r = Load(Write("short2.tga", TgaHeader(2, 1024, 1100, 24) + Bytes(4096, 0)));
    EXPECT_EQ(r.status, -2);
    ExpectUntouched(r);
}
