// Texture files (".paa", ".pac") written from pictures: the way back from an
// image editor into the files the game and its editor use. The files imitate
// the real ones of each type: the level chain down to where real files stop,
// the tags real files carry in their order, 16-bit levels LZSS-compressed with
// the signed checksum, DXT levels as raw blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TextureData.h"

namespace vistrel {

// A picture as image files hold it: Width x Height pixels, rows from the top,
// 4 bytes per pixel in the order red, green, blue, alpha.
struct TRgbaPicture {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Rgba;
};

// The largest side a written texture may have.
inline constexpr int kMaxWrittenTextureSide = 4096;

// The type a picture is written as when none is asked for: no alpha below
// 255: DXT1; alpha only 0 or 255: DXT1 with its transparent index; grey (red,
// green and blue equal in every pixel) with alpha: AI88; any other alpha:
// ARGB4444.
TextureFormat ChooseTextureFormat(const TRgbaPicture& picture);

// The whole file in memory. The types written: Dxt1, Dxt5, Argb4444,
// Argb1555, Ai88, Argb8888. False with the reason in error for a type that is
// not written or sides that are not powers of two from 1 to
// kMaxWrittenTextureSide ("the sides of a texture must be powers of two: 300
// × 200").
//
// A level whose stored size passes the 24-bit size field of its header
// (16 777 215 bytes: DXT5 at 4096 × 4096, a 16-bit level of 4096 × 4096 that
// does not compress to half its size) is refused too, with its size.
bool EncodeTextureFile(const TRgbaPicture& picture, TextureFormat type, std::vector<uint8_t>& out, std::string& error);

// EncodeTextureFile written to path under a temporary name and renamed over
// it once complete (TAtomicFile): a failed write leaves nothing behind and an
// existing file as it was.
bool WriteTextureFile(const std::string& path, const TRgbaPicture& picture, TextureFormat type, std::string& error);

// One DXT1 block (8 bytes into out) of 4 × 4 pixels (red, green, blue, alpha,
// row by row) by stb_dxt in its high-quality mode. With transparentIndex,
// pixels of alpha below 128 take DXT1's transparent index: such a block uses
// the three-colour mode (c0 <= c1), its endpoints found for the opaque pixels
// alone. The block writer of EncodeTextureFile, for those that assemble files
// themselves.
void EncodeDxt1Block(const uint8_t* rgba, bool transparentIndex, uint8_t* out);

}  // namespace vistrel
