// Bitmap and TGA loaders.
#include "ImageLoaders.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <new>

namespace vistrel {

// ---------------------------------------------------------------------------
// Windows bitmaps

std::unique_ptr<BMPTexture> LoadBMPTexture(const QString& fileName, bool alpha) {
    try {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) return nullptr;
        // Only the bitmap reader: no guessing of the format by other readers.
        QImageReader reader(&file, QByteArrayLiteral("bmp"));
        reader.setAutoDetectImageFormat(false);
        QImage picture = reader.read();
        if (picture.isNull()) return nullptr;
        // The colour of each pixel, alpha dropped.
        picture = picture.convertToFormat(QImage::Format_RGB32);
        if (picture.isNull()) return nullptr;

        auto texture = std::make_unique<BMPTexture>();
        texture->components = alpha ? 4 : 3;
        texture->width = picture.width();
        texture->height = picture.height();
        texture->format = alpha ? GL_RGBA : GL_RGB;
        texture->type = GL_UNSIGNED_BYTE;
        texture->pixels.reset(new (std::nothrow) std::uint8_t[texture->PixelBytes()]);
        if (!texture->pixels) return nullptr;

        const int w = texture->width;
        const int h = texture->height;
        const int comps = texture->components;
        for (int i = 0; i < h; ++i) {
            // Output row i is picture row h - 1 - i: upside down.
            const auto* src = reinterpret_cast<const QRgb*>(picture.constScanLine(h - 1 - i));
            std::uint8_t* dst = texture->pixels.get() + std::size_t(comps) * std::size_t(w) * std::size_t(i);
            for (int x = 0; x < w; ++x) {
                const QRgb c = src[x];
                *dst++ = std::uint8_t(qRed(c));
                *dst++ = std::uint8_t(qGreen(c));
                *dst++ = std::uint8_t(qBlue(c));
                if (alpha) *dst++ = 255;
            }
        }
        return texture;
    } catch (...) {
        return nullptr;
    }
}

std::unique_ptr<BMPTexture> LoadBMPTexture(const std::string& fileName, bool alpha) {
    return LoadBMPTexture(QString::fromLocal8Bit(fileName.data(), qsizetype(fileName.size())), alpha);
}

// ---------------------------------------------------------------------------
// TGA

namespace {

// Buffered byte reads from a C file; past the end every byte reads as 255.
class TByteReader {
public:
    explicit TByteReader(std::FILE* file) : file_(file) {}

    std::uint8_t Byte() {
        if (pos_ == len_) {
            if (eof_) return 0xFF;
            len_ = std::fread(buffer_, 1, sizeof buffer_, file_);
            pos_ = 0;
            if (len_ == 0) {
                eof_ = true;
                return 0xFF;
            }
        }
        return buffer_[pos_++];
    }
    std::uint16_t Word() {
        const std::uint8_t lo = Byte();
        const std::uint8_t hi = Byte();
        return std::uint16_t(lo | (hi << 8));
    }
    void Skip(std::size_t n) {
        while (n-- > 0) Byte();
    }
    // Bytes of the file not yet read; 0 when the length cannot be told.
    std::uint64_t Remaining() {
        const long here = std::ftell(file_);
        if (here < 0 || std::fseek(file_, 0, SEEK_END) != 0) return 0;
        const long end = std::ftell(file_);
        std::fseek(file_, here, SEEK_SET);
        if (end < here) return 0;
        return std::uint64_t(end - here) + (len_ - pos_);
    }

private:
    std::FILE* file_;
    std::uint8_t buffer_[64 * 1024];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool eof_ = false;
};

struct TTGAHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t colourMapFirst = 0;
    std::uint16_t colourMapLength = 0;
    std::uint8_t colourMapEntrySize = 0;
    std::uint16_t xOrigin = 0;
    std::uint16_t yOrigin = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelDepth = 0;
    std::uint8_t descriptor = 0;
};

TTGAHeader ReadHeader(TByteReader& in) {
    TTGAHeader h;
    h.idLength = in.Byte();
    h.colourMapType = in.Byte();
    h.imageType = in.Byte();
    h.colourMapFirst = in.Word();
    h.colourMapLength = in.Word();
    h.colourMapEntrySize = in.Byte();
    h.xOrigin = in.Word();
    h.yOrigin = in.Word();
    h.width = in.Word();
    h.height = in.Word();
    h.pixelDepth = in.Byte();
    h.descriptor = in.Byte();
    return h;
}

struct TFileCloser {
    std::FILE* file;
    ~TFileCloser() { std::fclose(file); }
};

// Stores one file pixel (B, G, R[, A]) as R, G, B, A.
inline void ReadPixel(TByteReader& in, bool hasAlpha, std::uint8_t rgba[4]) {
    const std::uint8_t b = in.Byte();
    const std::uint8_t g = in.Byte();
    const std::uint8_t r = in.Byte();
    rgba[0] = r;
    rgba[1] = g;
    rgba[2] = b;
    rgba[3] = hasAlpha ? in.Byte() : 0xFF;
}

}  // namespace

std::int32_t LoadTGA(const std::string& fileName, std::uint8_t*& pixels, std::uint32_t* width, std::uint32_t* height,
                     std::uint32_t& bits) {
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (!file) return TGA_NOT_OPENED;
    TFileCloser closer{file};
    TByteReader in(file);

    const TTGAHeader header = ReadHeader(in);
    if (header.imageType != 2 && header.imageType != 10) return TGA_UNSUPPORTED_TYPE;
    if (header.colourMapType != 0 || (header.pixelDepth != 24 && header.pixelDepth != 32))
        return TGA_UNSUPPORTED_FORMAT;

    const std::uint32_t w = header.width;
    const std::uint32_t h = header.height;
    const std::uint64_t total = std::uint64_t(w) * h;
    const std::uint32_t bytesPerPixel = header.pixelDepth / 8u;
    // A header claiming an image no file of this length could describe is not
    // trusted with an allocation.
    if (total > TGA_MAX_PIXELS) return TGA_UNSUPPORTED_FORMAT;
    if (total > TGA_SHORT_FILE_PIXELS) {
        const std::uint64_t remaining = in.Remaining();
        const std::uint64_t data = remaining > header.idLength ? remaining - header.idLength : 0;
        const std::uint64_t packets = (data + bytesPerPixel) / (1 + bytesPerPixel);
        if (total > packets * 128) return TGA_UNSUPPORTED_FORMAT;
    }

    std::uint8_t* buffer = new (std::nothrow) std::uint8_t[std::size_t(total) * 4];
    if (!buffer) return TGA_UNSUPPORTED_FORMAT;
    bits = header.pixelDepth;
    if (width) *width = w;
    if (height) *height = h;
    pixels = buffer;

    in.Skip(header.idLength);

    const bool hasAlpha = header.pixelDepth == 32;
    // Pixel n of the file lies in buffer row h - 1 - n / w, column n % w.
    auto target = [&](std::uint64_t n) {
        const std::uint64_t row = h - 1 - n / w;
        const std::uint64_t col = n % w;
        return buffer + (row * w + col) * 4;
    };

    std::uint64_t n = 0;
    if (header.imageType == 2) {
        for (; n < total; ++n) ReadPixel(in, hasAlpha, target(n));
    } else {
        std::uint8_t rgba[4];
        while (n < total) {
            const std::uint8_t packet = in.Byte();
            const std::uint32_t count = (packet & 0x7Fu) + 1;
            if (packet & 0x80u) {
                ReadPixel(in, hasAlpha, rgba);
                for (std::uint32_t k = 0; k < count && n < total; ++k, ++n) {
                    std::uint8_t* dst = target(n);
                    dst[0] = rgba[0];
                    dst[1] = rgba[1];
                    dst[2] = rgba[2];
                    dst[3] = rgba[3];
                }
            } else {
                for (std::uint32_t k = 0; k < count && n < total; ++k, ++n) ReadPixel(in, hasAlpha, target(n));
            }
        }
    }
    return TGA_OK;
}

void FreeTGAPixels(std::uint8_t* pixels) { delete[] pixels; }

}  // namespace vistrel
