// Writer of texture files (".paa", ".pac") for tests, benchmarks and the
// sample textures: every format the decoder reads, made from a BGRA image.
//
//   [u16 type] tags ("GGAT", name, u32 length, data) u16 palette count,
//   palette (b, g, r), levels (u16 w, u16 h, u24 size, data), largest first,
//   then 6 zero bytes.
//
// DXT1 blocks come from the product's block writer (EncodeDxt1Block), DXT2 …
// DXT5 blocks are built here by hand (the endpoints are the two colours of a
// block farthest apart, each pixel takes the nearest of the block's colours;
// for DXT1 too on request), 16-bit and 32-bit levels are LZSS (the product's
// encoder) with the signed checksum, palette levels run-length
// coded or, after the 1234 × 8765 marker, LZSS. Options write variants and
// broken files on purpose; the layout record gives the offsets that tests need
// to cut or patch a file at an exact place.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Lzss.h"

namespace vistrel {

// The type word of each format; Palette files have none.
enum class TexFormat : uint16_t {
    Dxt1 = 0xFF01,
    Dxt2 = 0xFF02,
    Dxt3 = 0xFF03,
    Dxt4 = 0xFF04,
    Dxt5 = 0xFF05,
    Argb4444 = 0x4444,
    Argb1555 = 0x1555,
    Ai88 = 0x8080,
    Argb8888 = 0x8888,
    Palette = 0,
};

// A picture to encode: width × height pixels of blue, green, red, alpha.
struct TexImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgra;

    TexImage() = default;
    TexImage(int w, int h, std::array<uint8_t, 4> fill = {0, 0, 0, 255});
    uint8_t* At(int x, int y) { return bgra.data() + (std::size_t(y) * width + x) * 4; }
    const uint8_t* At(int x, int y) const { return bgra.data() + (std::size_t(y) * width + x) * 4; }
    void Set(int x, int y, std::array<uint8_t, 4> bgraPixel);
};

struct TexTag {
    std::string name;  // 4 characters, as stored ("CGVA", "GALF", "SFFO", …)
    std::vector<uint8_t> data;
};

using PaletteEntry = std::array<uint8_t, 3>;  // blue, green, red

struct TexOptions {
    // Tags: CGVA (average colour), GALF (only when the picture has alpha below
    // 255: 1 smooth, 2 on/off) and SFFO (the level offsets), then extraTags.
    bool tags = true;
    std::vector<TexTag> extraTags;

    // Halving levels after the first while both sides stay at least minSide.
    bool mipmaps = true;
    int minSide = 4;

    // DXT1: blocks with pixels of alpha below 128 use c0 <= c1 and index 3
    // (transparent black) for them. Off: alpha is ignored.
    bool dxt1Transparent = false;
    // DXT1 blocks by the hand-made writer below, not the product's (for the
    // sample textures, to stay the same bytes).
    bool farthestPairDxt1 = false;

    // DXT levels LZO-compressed (width bit 15). lzoCompress, when set, makes
    // the stream; otherwise one literal run closed by the end marker is
    // written, a stream every LZO1X decoder takes.
    bool lzo = false;
    std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> lzoCompress;

    // 16-bit and 32-bit levels stored as their raw pixels (size w × h × bpp).
    bool rawLevels = false;
    // Checksum of the LZSS blocks (Signed as in real texture files).
    LzssChecksum checksum = LzssChecksum::Signed;

    // Palette files: begin with the tags (true) or directly with the palette
    // count (the oldest files; no tags are written then).
    bool paletteTagsFirst = true;
    // Palette levels behind the 1234 × 8765 marker with LZSS indices, closed
    // by a checksum or not.
    bool paletteMarker = false;
    bool markerChecksum = true;

    // Broken on purpose (all of them apply to the first level only).
    bool badChecksum = false;              // the LZSS checksum plus one
    int sizeDelta = 0;                     // added to the size field
    std::optional<uint16_t> headerWidth;   // written instead of the width
    std::optional<uint16_t> headerHeight;  // written instead of the height
    std::optional<uint16_t> typeWord;      // written instead of the type
    bool endMarker = true;                 // the closing 6 zero bytes
};

// A written file and where its parts are.
struct TexFile {
    std::vector<uint8_t> bytes;
    std::size_t levelsStart = 0;            // the first level's header
    std::vector<std::size_t> levelHeaders;  // every level's header
    std::size_t firstData = 0;              // the first level's data
    std::size_t firstSize = 0;              // its size field (as meant, before sizeDelta)
};

TexFile EncodeTextureFile(const TexImage& image, TexFormat format, const TexOptions& options = {});
inline std::vector<uint8_t> EncodeTexture(const TexImage& image, TexFormat format, const TexOptions& options = {}) {
    return EncodeTextureFile(image, format, options).bytes;
}

// A palette file from indices (width × height, rows in order) and a palette;
// indices may lie beyond the palette. Levels after the first pick every second
// index of every second row.
TexFile EncodePaletteFile(int width, int height, const std::vector<uint8_t>& indices,
                          const std::vector<PaletteEntry>& palette, const TexOptions& options = {});

// A palette file from a picture of at most 256 distinct colours (alpha
// ignored); throws std::invalid_argument for more.
TexFile EncodePaletteImage(const TexImage& image, const TexOptions& options = {});

// The pieces, for tests that assemble files by hand.
std::vector<uint8_t> EncodeDxtBlocks(const TexImage& image, TexFormat format, bool dxt1Transparent = false,
                                     bool farthestPairDxt1 = false);
std::vector<uint8_t> EncodePixels16(const TexImage& image, TexFormat format);  // w × h × 2 bytes
std::vector<uint8_t> EncodeRunLength(const std::vector<uint8_t>& indices);
std::vector<uint8_t> LzoLiteralStream(const std::vector<uint8_t>& data);
TexImage HalveImage(const TexImage& image);

// The picture as the decoder will give it back for a lossless format:
// every channel quantised the way the format stores it.
TexImage QuantizeLike(const TexImage& image, TexFormat format);

// The 16-bit value of one pixel in ARGB4444, ARGB1555 or AI88 (AI88 takes the
// green channel as the intensity).
uint16_t PackPixel16(const uint8_t* bgra, TexFormat format);

}  // namespace vistrel
