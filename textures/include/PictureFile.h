// Pictures from image files, for writing them as textures: PNG (libpng), TGA,
// JPEG and BMP (stb_image), the kind told from the content, never from the
// name. The sides are read from the file's header and refused when they are 0
// or beyond kMaxWrittenTextureSide before anything is allocated for the
// pixels; a file that ends early or does not decode is refused with the
// reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "TextureWriter.h"

namespace vistrel {

// A file larger than this is not taken for a picture (a 4096 x 4096 BMP of
// 32-bit pixels is 64 MiB).
inline constexpr std::size_t kMaxPictureFileSize = std::size_t(256) << 20;

// The bytes of a picture file as 8-bit RGBA, rows from the top. False with
// the reason in error, e.g. "not a picture: PNG, TGA, JPEG or BMP", "a
// truncated TGA picture", "a picture of 0 × 0 pixels"; kind names the kind
// found ("PNG", "TGA", "JPEG", "BMP") when it was told.
bool DecodePicture(const uint8_t* data, std::size_t size, TRgbaPicture& picture, std::string& error,
                   std::string* kind = nullptr);

// DecodePicture over a file; the errors name it ("PATH: …"), and a folder or
// a file that cannot be read is refused too.
bool ReadPictureFile(const std::string& path, TRgbaPicture& picture, std::string& error, std::string* kind = nullptr);

// The power of two nearest to side (the smaller one of two as near), from 1
// to kMaxWrittenTextureSide.
int NearestPowerOfTwo(int side);

// Makes the picture's sides fit a texture: with resize, scaled (an sRGB-aware
// filter, alpha weighting the colours) to the nearest powers of two;
// without, refused unless both sides are powers of two from 1 to
// kMaxWrittenTextureSide ("the sides of a texture must be powers of two: 300
// × 200").
bool FitTextureSides(TRgbaPicture& picture, bool resize, std::string& error);

}  // namespace vistrel
