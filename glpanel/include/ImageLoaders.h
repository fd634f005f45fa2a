// Image file loaders of the OpenGL panel: Windows bitmaps into an image
// record and Truevision TGA files into an RGBA pixel buffer, both laid out
// as a texture upload takes them. Neither touches the rendering context.
#pragma once

#include <QtGui/qopengl.h>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vistrel {

// A decoded bitmap. Row 0 of pixels is the bottom row of the picture; each
// pixel is red, green, blue, then alpha when components is 4.
struct BMPTexture {
    std::uint32_t reserved = 0;  // not set by the loader
    std::int32_t components = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    GLenum format = 0;                       // GL_RGB for 3 components, GL_RGBA for 4
    GLenum type = 0;                         // GL_UNSIGNED_BYTE
    std::unique_ptr<std::uint8_t[]> pixels;  // width * height * components bytes

    std::size_t PixelBytes() const { return std::size_t(width) * std::size_t(height) * std::size_t(components); }
};

// Reads a Windows bitmap file (the file's content decides, not its name).
// alpha: 4 components with alpha 255, else 3. None when the file is missing,
// is not a bitmap or its pixels cannot be allocated. The file name is 8-bit
// text in the local encoding.
std::unique_ptr<BMPTexture> LoadBMPTexture(const std::string& fileName, bool alpha);
std::unique_ptr<BMPTexture> LoadBMPTexture(const QString& fileName, bool alpha);

// LoadTGA status codes.
inline constexpr std::int32_t TGA_OK = 0;
inline constexpr std::int32_t TGA_UNSUPPORTED_TYPE = -1;    // image type not 2 or 10
inline constexpr std::int32_t TGA_UNSUPPORTED_FORMAT = -2;  // colour map, depth, absurd size
inline constexpr std::int32_t TGA_NOT_OPENED = -3;

// Largest image LoadTGA accepts, in pixels (a 1 GiB buffer).
inline constexpr std::uint64_t TGA_MAX_PIXELS = std::uint64_t(1) << 28;
// Images up to this many pixels are accepted from files of any length (a
// short file reads as white past its end); larger ones must fit in the file,
// counted as if every packet were a run of 128 pixels.
inline constexpr std::uint64_t TGA_SHORT_FILE_PIXELS = std::uint64_t(1) << 20;

// Reads an uncompressed (type 2) or run-length encoded (type 10) true-colour
// TGA file of 24 or 32 bits per pixel.
//
// On success (0) pixels receives a buffer of width * height * 4 bytes, red,
// green, blue, alpha per pixel (alpha 255 for 24-bit files), allocated with
// new[]: release it with delete[] (or FreeTGAPixels). The file's first row is
// the buffer's last row, whatever the image descriptor says. bits receives
// the pixel depth; width and height are written when not null. Bytes past
// the end of a short file read as 255.
//
// Otherwise the status tells why and no output is written: -1 image type
// other than 2 and 10; -2 colour map present, depth other than 24 and 32, or
// a width * height too large to be a real image (more than TGA_MAX_PIXELS,
// or more than TGA_SHORT_FILE_PIXELS and more than the file can describe);
// -3 file not opened. The file name is 8-bit text, passed to fopen as is.
std::int32_t LoadTGA(const std::string& fileName, std::uint8_t*& pixels, std::uint32_t* width, std::uint32_t* height,
                     std::uint32_t& bits);

// Releases a buffer from LoadTGA (delete[]); null is allowed.
void FreeTGAPixels(std::uint8_t* pixels);

}  // namespace vistrel
