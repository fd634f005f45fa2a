// The texture decoder: texture files (".paa", ".pac", one layout for both, the
// kind told from the content) turned into one 32-bit image, their largest
// level.
//
// The window and the pictures use the two functions over the plain
// TextureData record; p3dtool, the exporter and the tests use DecodeTexture,
// which also says what failed and where.
//
// Every decoder entry point is safe for untrusted input: it never reads outside
// the given bytes, never allocates for a size that the input cannot back, and
// refuses images beyond kMaxTextureSide on either side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vistrel {

// The record filled by CreateTextureData: width × height pixels of 4 bytes,
// blue, green, red, alpha in memory order, rows one after another in the order
// the file stores them (the first stored row first), no padding.
struct TextureData {
    int32_t width;
    int32_t height;
    uint8_t* pixels;
};

// Decodes the file at path into the record (whose previous contents are not
// looked at). A file that cannot be read or decoded leaves width 0, height 0
// and pixels nullptr. The pixels stay valid until DestroyTextureData.
void CreateTextureData(TextureData* record, const char* path);

// CreateTextureData from the first level whose sides are both at most
// largestSide (the last level when none is; the levels are taken in turn as
// long as the next one's header is sound and it is smaller). For pictures too
// small to show the full detail. Palette files give their largest level.
void CreateTextureDataUpTo(TextureData* record, const char* path, int largestSide);

// Releases what CreateTextureData allocated for the record and empties it;
// the record itself stays the caller's and may be filled again.
void DestroyTextureData(TextureData* record);

// CreateTextureData (CreateTextureDataUpTo with largestSide above 0) over
// bytes in memory. Returns false (with the record
// empty and the reason in *error when error is given) when they do not decode.
bool DecodeTextureData(TextureData* record, const uint8_t* data, std::size_t size, std::string* error = nullptr,
                       int largestSide = 0);

// The largest side accepted; anything larger is taken for a broken file.
inline constexpr int kMaxTextureSide = 16384;

enum class TextureFormat {
    Dxt1,
    Dxt2,
    Dxt3,
    Dxt4,
    Dxt5,
    Argb4444,
    Argb1555,
    Ai88,
    Argb8888,
    Palette,  // 8-bit indices into the file's palette
};

// "DXT1" … "DXT5", "ARGB4444", "ARGB1555", "AI88", "ARGB8888", "palette".
const char* TextureFormatName(TextureFormat format);

// A decoded texture with what the file said about itself.
struct TextureImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;  // width * height * 4 bytes, as in TextureData
    TextureFormat kind = TextureFormat::Dxt1;
    std::string format;             // TextureFormatName(kind)
    std::string storage;            // how the level was stored: "raw", "LZSS", "LZO",
                                    // "run-length", "LZSS after the size marker"
    std::vector<std::string> tags;  // tag names as stored ("CGVA", "GALF", …), in order
    int paletteCount = 0;           // entries of the palette (0 outside palette files)
};

// Decodes the largest level. On failure returns nothing and, when error is
// given, sets it to what failed and at which byte of the input, e.g.
// "truncated level header at byte 94".
std::optional<TextureImage> DecodeTexture(const uint8_t* data, std::size_t size, std::string* error = nullptr);

// The image's pixels in the order red, green, blue, alpha.
std::vector<uint8_t> RgbaPixels(const TextureImage& image);

// DecodeTexture over a whole file; a file that cannot be read gives
// "cannot read file <path>".
std::optional<TextureImage> DecodeTextureFile(const std::string& path, std::string* error = nullptr);

// Whether the file begins as texture files do: with a tag ("GGAT") at once
// (palette files) or after the type word. For telling texture files from
// models before either is read; the oldest palette files, which start with
// their palette, are not recognised.
bool LooksLikeTextureFile(const std::string& path);

}  // namespace vistrel
