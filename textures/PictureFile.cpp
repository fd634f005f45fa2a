// Picture files read for the texture writer. The kind and the sides come from
// the first bytes before anything is decoded; a file whose pixels cannot all
// be in it (a TGA, BMP or JPEG cut short, which stb_image would fill with
// black) is refused before decoding too.
#include "PictureFile.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <vector>

#define STBI_ONLY_TGA
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 4096  // kMaxWrittenTextureSide: stb_image refuses larger ones itself too
#define STB_IMAGE_STATIC          // ours, whatever else links Debian's libstb
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>

namespace vistrel {
namespace {

static_assert(STBI_MAX_DIMENSIONS == kMaxWrittenTextureSide);

enum class TKind { Png, Tga, Jpeg, Bmp };

const char* KindName(TKind kind) {
    switch (kind) {
    case TKind::Png: return "PNG";
    case TKind::Tga: return "TGA";
    case TKind::Jpeg: return "JPEG";
    case TKind::Bmp: return "BMP";
    }
    return "?";
}

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }
uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

std::string Sides(long long w, long long h) { return std::to_string(w) + " \u00D7 " + std::to_string(h); }

// What a TGA header must hold: a colour map only with the colour-mapped
// image types, one of the six image types stb_image reads, a known depth.
bool LooksLikeTga(const uint8_t* d, std::size_t size) {
    if (size < 18) return false;
    const unsigned mapType = d[1], type = d[2], depth = d[16];
    const bool mapped = type == 1 || type == 9;
    const bool known = mapped || type == 2 || type == 3 || type == 10 || type == 11;
    if (!known || mapType != (mapped ? 1u : 0u)) return false;
    if (mapped && d[7] != 8 && d[7] != 15 && d[7] != 16 && d[7] != 24 && d[7] != 32) return false;
    return depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

bool KindOf(const uint8_t* d, std::size_t size, TKind& kind) {
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 8 && std::memcmp(d, kPng, 8) == 0)
        kind = TKind::Png;
    else if (size >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF)
        kind = TKind::Jpeg;
    else if (size >= 2 && d[0] == 'B' && d[1] == 'M')
        kind = TKind::Bmp;
    else if (LooksLikeTga(d, size))
        kind = TKind::Tga;
    else
        return false;
    return true;
}

// The sides as the header gives them; false when the header is cut short.
bool HeaderSides(TKind kind, const uint8_t* d, std::size_t size, long long& w, long long& h) {
    switch (kind) {
    case TKind::Png:
        if (size < 24 || std::memcmp(d + 12, "IHDR", 4) != 0) return false;
        w = Be32(d + 16);
        h = Be32(d + 20);
        return true;
    case TKind::Tga:
        w = Le16(d + 12);
        h = Le16(d + 14);
        return true;
    case TKind::Bmp:
        if (size < 26) return false;
        if (Le32(d + 14) == 12) {  // the oldest header: 16-bit sides
            w = Le16(d + 18);
            h = Le16(d + 20);
        } else {
            w = int32_t(Le32(d + 18));
            h = int32_t(Le32(d + 22));
        }
        if (h < 0) h = -h;  // rows from the top
        return true;
    case TKind::Jpeg: {
        int x = 0, y = 0, comp = 0;
        if (!stbi_info_from_memory(d, int(size), &x, &y, &comp)) return false;
        w = x;
        h = y;
        return true;
    }
    }
    return false;
}

// The Huffman tables of a DHT segment (at its length field, len bytes): each
// a class and number byte, 16 counts of codes and as many values, at most 256
// of them. stb_image takes more without checking and writes past its tables.
bool SoundHuffmanTables(const uint8_t* d, std::size_t len) {
    std::size_t p = 2;
    while (p < len) {
        if (len - p < 17) return false;
        std::size_t n = 0;
        for (int i = 1; i <= 16; ++i) n += d[p + i];
        if (n > 256 || len - p - 17 < n) return false;
        p += 17 + n;
    }
    return true;
}

// Whether a JPEG file is complete and sound where stb_image does not check:
// the segments (their Huffman tables checked) and the entropy-coded data of
// the scans in turn, up to the end marker. Entropy-coded data holds FF only
// as FF 00 or before a restart marker.
const char* JpegProblem(const uint8_t* d, std::size_t size) {
    std::size_t p = 2;
    for (;;) {
        if (p + 2 > size) return "truncated";
        if (d[p] != 0xFF) return "corrupt";
        const unsigned marker = d[p + 1];
        if (marker == 0xD9) return nullptr;
        if (marker == 0xFF) {  // fill bytes
            ++p;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            p += 2;
            continue;
        }
        if (p + 4 > size) return "truncated";
        const std::size_t len = std::size_t(d[p + 2]) << 8 | d[p + 3];  // big-endian, itself included
        if (len < 2) return "corrupt";
        if (len > size - p - 2) return "truncated";
        if (marker == 0xC4 && !SoundHuffmanTables(d + p + 2, len)) return "corrupt";
        p += 2 + len;
        if (marker == 0xDA)
            while (p + 1 < size && !(d[p] == 0xFF && d[p + 1] != 0 && (d[p + 1] < 0xD0 || d[p + 1] > 0xD7))) ++p;
    }
}

// Whether all the pixels the header promises can be in the file.
bool Complete(TKind kind, const uint8_t* d, std::size_t size, long long w, long long h) {
    switch (kind) {
    case TKind::Png: return true;  // libpng says where it ends
    case TKind::Bmp: {
        const bool core = Le32(d + 14) == 12;
        if (size < (core ? 26u : 34u)) return false;
        const unsigned depth = Le16(d + (core ? 24 : 28));
        const uint32_t compression = core ? 0 : Le32(d + 30);
        if (compression != 0 && compression != 3 && compression != 6) return true;  // stb_image refuses the rest
        const unsigned long long stride = (static_cast<unsigned long long>(w) * depth + 31) / 32 * 4;
        return Le32(d + 10) + stride * static_cast<unsigned long long>(h) <= size;
    }
    case TKind::Tga: {
        const unsigned type = d[2];
        const std::size_t pixelBytes = (d[16] + 7u) / 8;
        std::size_t pos = 18 + d[0];
        if (d[1] == 1) pos += Le16(d + 5) * ((d[7] + 7u) / 8);
        const unsigned long long n = static_cast<unsigned long long>(w) * static_cast<unsigned long long>(h);
        if (type < 9) return pos + n * pixelBytes <= size;
        // run-length packets: a header byte, then one pixel for a run or
        // (count) pixels for a copy
        for (unsigned long long done = 0; done < n;) {
            if (pos >= size) return false;
            const unsigned c = d[pos++];
            const std::size_t count = (c & 0x7F) + 1u;
            const std::size_t bytes = (c & 0x80) ? pixelBytes : count * pixelBytes;
            if (bytes > size - pos) return false;
            pos += bytes;
            done += count;
        }
        return true;
    }
    case TKind::Jpeg: return true;  // JpegProblem, before the header was read
    }
    return false;
}

using TPngMessage = char[160];

struct TPngSource {
    const uint8_t* data;
    std::size_t size, pos;
    bool ended;  // the bytes ran out
    TPngMessage message;
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp text) {
    auto* source = static_cast<TPngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof(TPngMessage), "%s", text);
    png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, png_size_t n) {
    auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
    if (n > source->size - source->pos) {
        source->ended = true;
        png_error(png, "the file ends early");
    }
    std::memcpy(out, source->data + source->pos, n);
    source->pos += n;
}

// The pixels into rgba (sized by the caller for w x h, rows pointing into
// it); nothing here owns anything that the jump back out of libpng could skip.
bool DecodePng(TPngSource& source, uint32_t w, uint32_t h, std::vector<png_bytep>& rows) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngError, OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_set_user_limits(png, kMaxWrittenTextureSide, kMaxWrittenTextureSide);
    png_read_info(png, info);
    if (png_get_image_width(png, info) != w || png_get_image_height(png, info) != h)
        png_error(png, "the sides changed");
    png_set_expand(png);  // palette and low depths to 8 bits, a transparent colour to alpha
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != std::size_t(w) * 4) png_error(png, "rows of an unexpected layout");
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

}  // namespace

bool DecodePicture(const uint8_t* data, std::size_t size, TRgbaPicture& picture, std::string& error,
                   std::string* kindName) {
    picture = TRgbaPicture{};
    TKind kind;
    if (!data || !KindOf(data, size, kind)) {
        error = "not a picture: PNG, TGA, JPEG or BMP";
        return false;
    }
    if (kindName) *kindName = KindName(kind);
    if (size > kMaxPictureFileSize) {
        error = "a file of " + std::to_string(size) + " bytes is too large for a picture";
        return false;
    }
    const std::string what = std::string(KindName(kind)) + " picture";
    if (const char* problem = kind == TKind::Jpeg ? JpegProblem(data, size) : nullptr) {  // before stb_image reads it
        error = std::string("a ") + problem + " " + what;
        return false;
    }
    long long w = 0, h = 0;
    if (!HeaderSides(kind, data, size, w, h)) {
        const char* reason = kind == TKind::Jpeg ? stbi_failure_reason() : nullptr;
        error = reason && std::strcmp(reason, "unknown image type") != 0 ? "a broken " + what + ": " + reason
                                                                         : "a truncated " + what;
        return false;
    }
    if (w < 0) {
        error = "a broken " + what + ": a width of " + std::to_string(w);
        return false;
    }
    if (w == 0 || h == 0) {
        error = "an empty picture: " + Sides(w, h) + " pixels";
        return false;
    }
    if (w > kMaxWrittenTextureSide || h > kMaxWrittenTextureSide) {
        error = "a picture of " + Sides(w, h) + " pixels is larger than a texture can be (" +
                Sides(kMaxWrittenTextureSide, kMaxWrittenTextureSide) + ")";
        return false;
    }
    if (!Complete(kind, data, size, w, h)) {
        error = "a truncated " + what;
        return false;
    }

    picture.Width = int(w);
    picture.Height = int(h);
    if (kind == TKind::Png) {
        TPngSource source{data, size, 0, false, "out of memory"};
        try {
            picture.Rgba.resize(std::size_t(w) * std::size_t(h) * 4);
            std::vector<png_bytep> rows(static_cast<std::size_t>(h));
            for (std::size_t y = 0; y < rows.size(); ++y) rows[y] = picture.Rgba.data() + y * std::size_t(w) * 4;
            if (DecodePng(source, uint32_t(w), uint32_t(h), rows)) return true;
        } catch (const std::bad_alloc&) {
        }
        error = source.ended ? "a truncated PNG picture" : "a broken PNG picture: " + std::string(source.message);
    } else {
        int x = 0, y = 0, comp = 0;
        stbi_uc* pixels = stbi_load_from_memory(data, int(size), &x, &y, &comp, 4);
        if (pixels && x == w && y == h) {
            bool copied = true;
            try {
                picture.Rgba.assign(pixels, pixels + std::size_t(x) * std::size_t(y) * 4);
            } catch (const std::bad_alloc&) {
                copied = false;
            }
            stbi_image_free(pixels);
            if (copied) return true;
            error = "out of memory for a picture of " + Sides(w, h) + " pixels";
        } else {
            stbi_image_free(pixels);
            error = "a broken " + what + ": " + (pixels ? "the sides changed" : stbi_failure_reason());
        }
    }
    picture = TRgbaPicture{};
    return false;
}

bool ReadPictureFile(const std::string& path, TRgbaPicture& picture, std::string& error, std::string* kind) {
    picture = TRgbaPicture{};
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::is_directory(status)) {
        error = path + ": a folder, not a picture";
        return false;
    }
    if (ec) {
        error = "cannot read file " + path + ": " + ec.message();
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = path + ": not a file of its own, not a picture";
        return false;
    }
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        error = "cannot read file " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::streamoff end = in.tellg();
    if (end < 0 || std::uintmax_t(end) > kMaxPictureFileSize) {
        error = path + ": a file of " + std::to_string(end) + " bytes is too large for a picture";
        return false;
    }
    std::vector<uint8_t> bytes(static_cast<std::size_t>(end));
    in.seekg(0);
    if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), end)) {
        error = "cannot read file " + path;
        return false;
    }
    if (DecodePicture(bytes.data(), bytes.size(), picture, error, kind)) return true;
    error = path + ": " + error;
    return false;
}

int NearestPowerOfTwo(int side) {
    int p = 1;
    while (p < kMaxWrittenTextureSide && p * 2 <= side) p *= 2;
    // p <= side < 2p (or p is the largest): the larger one when it is nearer
    if (p < kMaxWrittenTextureSide && side - p > 2 * p - side) p *= 2;
    return p;
}

bool FitTextureSides(TRgbaPicture& picture, bool resize, std::string& error) {
    const int w = picture.Width, h = picture.Height;
    const bool fits = IsPowerOfTwo(w) && IsPowerOfTwo(h) && w <= kMaxWrittenTextureSide && h <= kMaxWrittenTextureSide;
    if (fits) return true;
    if (!resize || w <= 0 || h <= 0) {
        error = "the sides of a texture must be powers of two: " + Sides(w, h);
        return false;
    }
    TRgbaPicture scaled;
    scaled.Width = NearestPowerOfTwo(w);
    scaled.Height = NearestPowerOfTwo(h);
    try {
        scaled.Rgba.resize(std::size_t(scaled.Width) * std::size_t(scaled.Height) * 4);
    } catch (const std::bad_alloc&) {
        error = "out of memory for a picture of " + Sides(scaled.Width, scaled.Height) + " pixels";
        return false;
    }
    if (!stbir_resize_uint8_srgb(picture.Rgba.data(), w, h, 0, scaled.Rgba.data(), scaled.Width, scaled.Height, 0, 4, 3,
                                 0)) {
        error = "the picture of " + Sides(w, h) + " pixels could not be scaled";
        return false;
    }
    picture = std::move(scaled);
    return true;
}

}  // namespace vistrel
