// Writing a picture as a PNG file: 8-bit RGBA, or RGB with the alpha
// dropped. The file is written beside the target under a temporary name and
// renamed over it when complete, so a failed write leaves nothing behind
// (and an existing file as it was).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vistrel {

// rgba: width x height pixels, rows top first, 4 bytes each. False with the
// reason in error.
bool WritePng(const std::string& path, int width, int height, const uint8_t* rgba, bool keepAlpha, std::string& error);

// A picture in the decoder's byte order (B, G, R, A per pixel, rows top
// first) as the bytes of an RGBA PNG file in out; the bytes are swapped while
// written, not copied first; compressed for speed (zlib level 1, the "up" filter), as the
// texture pictures of an export are. False with the reason in error.
bool EncodePngFromBgra(int width, int height, const uint8_t* bgra, std::vector<uint8_t>& out, std::string& error);

}  // namespace vistrel
