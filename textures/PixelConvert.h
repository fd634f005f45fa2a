// The pixel conversions of the texture decoder: every stored pixel format to
// blue, green, red, alpha bytes. Internal to the texture library.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "TextureData.h"

namespace vistrel::texpix {

// Bytes per block of a DXT format: 8 for DXT1, 16 for DXT2 … DXT5.
std::size_t DxtBlockBytes(TextureFormat format);

// Decodes the ceil(w / 4) × ceil(h / 4) blocks (row by row, as stored) of a
// DXT format into w × h pixels; the parts of the last blocks beyond w or h are
// dropped.
void DecodeDxt(const uint8_t* blocks, int w, int h, TextureFormat format, uint8_t* bgra);

// Turns n 16-bit little-endian pixels of ARGB4444, ARGB1555 or AI88 that lie
// at bgra + 2n into n 32-bit pixels from bgra on, in the same buffer of 4n
// bytes (so a level needs no second buffer).
void Expand16InPlace(uint8_t* bgra, std::size_t n, TextureFormat format);

// One 16-bit pixel (the helpers of Expand16InPlace, for tests).
std::array<uint8_t, 4> Pixel4444(uint16_t v);
std::array<uint8_t, 4> Pixel1555(uint16_t v);
std::array<uint8_t, 4> PixelAi88(uint16_t v);

// The 256 colours of a palette file's indices: entries b, g, r with alpha 255;
// indices at or beyond the count are opaque black.
using PaletteTable = std::array<std::array<uint8_t, 4>, 256>;
PaletteTable MakePaletteTable(const uint8_t* entries, std::size_t count);

// n indices to n pixels.
void ExpandIndices(const uint8_t* indices, std::size_t n, const PaletteTable& table, uint8_t* bgra);

}  // namespace vistrel::texpix
