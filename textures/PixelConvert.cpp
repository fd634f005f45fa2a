#include "PixelConvert.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include <squish.h>

namespace vistrel::texpix {
namespace {

// Each 16-bit pixel becomes one 32-bit word whose bytes from the lowest up are
// blue, green, red, alpha; word arithmetic without branches lets the compiler
// convert many pixels per instruction.

// alpha 15–12, red 11–8, green 7–4, blue 3–0; each 4-bit c becomes c × 17
inline uint32_t Word4444(uint32_t v) {
    const uint32_t spread = (v & 0x000F) | (v & 0x00F0) << 4 | (v & 0x0F00) << 8 | (v & 0xF000) << 12;
    return spread * 17;  // per byte, never above 255: no carry between bytes
}

// alpha 15, red 14–10, green 9–5, blue 4–0; each 5-bit c becomes
// (c << 3) | (c >> 2), alpha 1 becomes 255
inline uint32_t Word1555(uint32_t v) {
    const uint32_t spread = (v & 0x001F) | (v & 0x03E0) << 3 | (v & 0x7C00) << 6;
    return (spread << 3) | ((spread >> 2) & 0x070707) | (0u - (v >> 15)) << 24;
}

// low byte intensity (red = green = blue), high byte alpha
inline uint32_t WordAi88(uint32_t v) { return (v & 0xFF) * 0x010101u | (v >> 8) << 24; }

inline void PutWord(uint8_t* d, uint32_t w) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(d, &w, 4);
    } else {
        d[0] = uint8_t(w);
        d[1] = uint8_t(w >> 8);
        d[2] = uint8_t(w >> 16);
        d[3] = uint8_t(w >> 24);
    }
}

inline std::array<uint8_t, 4> Bytes(uint32_t w) {
    return {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
}

// n pixels from src to dst; the two must not overlap.
template <uint32_t (*Word)(uint32_t)>
void Convert16(const uint8_t* __restrict src, uint8_t* __restrict dst, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        PutWord(dst + 4 * i, Word(uint32_t(src[2 * i]) | uint32_t(src[2 * i + 1]) << 8));
}

template <uint32_t (*Word)(uint32_t)>
void Expand16(uint8_t* bgra, std::size_t n) {
    // The 16-bit pixels lie in the upper half of the buffer. Going forward in
    // chunks copied aside first, a chunk's output never overwrites 16-bit
    // pixels that are still to be read: output i ends at 4i + 4, input i
    // starts at 2n + 2i, and 4i + 4 <= 2n + 2i + 2 for every i < n.
    constexpr std::size_t kChunk = 1024;
    uint8_t chunk[2 * kChunk];
    const uint8_t* src = bgra + 2 * n;
    for (std::size_t i = 0; i < n; i += kChunk) {
        const std::size_t k = std::min(kChunk, n - i);
        std::memcpy(chunk, src + 2 * i, 2 * k);
        Convert16<Word>(chunk, bgra + 4 * i, k);
    }
}

}  // namespace

std::size_t DxtBlockBytes(TextureFormat format) { return format == TextureFormat::Dxt1 ? 8 : 16; }

void DecodeDxt(const uint8_t* blocks, int w, int h, TextureFormat format, uint8_t* bgra) {
    // the caller has checked that the level holds every block and allocated
    // w x h pixels; nothing below is checked again
    assert(blocks != nullptr && bgra != nullptr && w > 0 && h > 0);
    // libsquish decodes exactly the documented rules (checked by the tests):
    // colours from RGB565 by bit replication, thirds and halves truncated,
    // DXT1's index 3 transparent black when c0 <= c1, DXT3's 4-bit alpha
    // times 17, DXT5's six- and eight-step alpha ramps. DXT2 and DXT4 are the
    // premultiplied variants of DXT3 and DXT5 and are decoded as they are.
    int flags = squish::kDxt1;
    if (format == TextureFormat::Dxt2 || format == TextureFormat::Dxt3) flags = squish::kDxt3;
    if (format == TextureFormat::Dxt4 || format == TextureFormat::Dxt5) flags = squish::kDxt5;
    const std::size_t blockBytes = DxtBlockBytes(format);
    const int bw = (w + 3) / 4;
    const int bh = (h + 3) / 4;
    const std::size_t rowBytes = std::size_t(w) * 4;
    uint8_t rgba[64];
    for (int by = 0; by < bh; ++by) {
        const int rows = std::min(4, h - 4 * by);
        uint8_t* rowStart = bgra + std::size_t(4 * by) * rowBytes;
        for (int bx = 0; bx < bw; ++bx) {
            squish::Decompress(rgba, blocks, flags);
            blocks += blockBytes;
            const int cols = std::min(4, w - 4 * bx);
            for (int y = 0; y < rows; ++y) {
                uint8_t* d = rowStart + std::size_t(y) * rowBytes + std::size_t(bx) * 16;
                const uint8_t* s = rgba + 16 * y;
                for (int x = 0; x < cols; ++x, d += 4, s += 4) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = s[3];
                }
            }
        }
    }
}

void Expand16InPlace(uint8_t* bgra, std::size_t n, TextureFormat format) {
    switch (format) {
    case TextureFormat::Argb4444: Expand16<Word4444>(bgra, n); break;
    case TextureFormat::Argb1555: Expand16<Word1555>(bgra, n); break;
    case TextureFormat::Ai88: Expand16<WordAi88>(bgra, n); break;
    default: break;
    }
}

std::array<uint8_t, 4> Pixel4444(uint16_t v) { return Bytes(Word4444(v)); }
std::array<uint8_t, 4> Pixel1555(uint16_t v) { return Bytes(Word1555(v)); }
std::array<uint8_t, 4> PixelAi88(uint16_t v) { return Bytes(WordAi88(v)); }

PaletteTable MakePaletteTable(const uint8_t* entries, std::size_t count) {
    PaletteTable table;
    table.fill({0, 0, 0, 255});
    count = std::min<std::size_t>(count, 256);
    for (std::size_t k = 0; k < count; ++k) table[k] = {entries[3 * k], entries[3 * k + 1], entries[3 * k + 2], 255};
    return table;
}

void ExpandIndices(const uint8_t* indices, std::size_t n, const PaletteTable& table, uint8_t* bgra) {
    assert(n == 0 || (indices != nullptr && bgra != nullptr));
    for (std::size_t i = 0; i < n; ++i) std::memcpy(bgra + 4 * i, table[indices[i]].data(), 4);
}

}  // namespace vistrel::texpix
