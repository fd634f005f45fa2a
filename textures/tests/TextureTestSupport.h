// Helpers of the texture decoder's tests: files assembled byte by byte, pixel
// access, and the encoder's pictures.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "TextureData.h"
#include "TextureEncoder.h"

namespace textest {

using Bytes = std::vector<uint8_t>;
using Pixel = std::array<uint8_t, 4>;  // blue, green, red, alpha

inline void Append(Bytes& b, std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }
inline void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
inline void AppendU16(Bytes& b, uint16_t v) { Append(b, {uint8_t(v), uint8_t(v >> 8)}); }
inline void AppendU24(Bytes& b, uint32_t v) { Append(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}); }
inline void AppendU32(Bytes& b, uint32_t v) {
    Append(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

// type, palette count 0, one level header and its data, the end.
inline Bytes OneLevelFile(uint16_t type, uint16_t w, uint16_t h, const Bytes& data) {
    Bytes b;
    AppendU16(b, type);
    AppendU16(b, 0);
    AppendU16(b, w);
    AppendU16(b, h);
    AppendU24(b, uint32_t(data.size()));
    Append(b, data);
    b.insert(b.end(), 6, 0);
    return b;
}

inline Pixel PixelAt(const vistrel::TextureImage& image, int x, int y) {
    const std::size_t i = (std::size_t(y) * image.width + x) * 4;
    return {image.bgra[i], image.bgra[i + 1], image.bgra[i + 2], image.bgra[i + 3]};
}

inline std::optional<vistrel::TextureImage> Decode(const Bytes& b, std::string* error = nullptr) {
    return vistrel::DecodeTexture(b.data(), b.size(), error);
}

// A picture with something in every pixel: gradients and a checker, alpha
// varying too.
inline vistrel::TexImage Pattern(int w, int h, bool alpha = true) {
    vistrel::TexImage image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.Set(x, y,
                      {uint8_t(x * 255 / std::max(1, w - 1)), uint8_t(y * 255 / std::max(1, h - 1)),
                       uint8_t(((x / 3 + y / 2) % 2) ? 200 : 40), uint8_t(alpha ? (x * 7 + y * 13) % 256 : 255)});
    return image;
}

}  // namespace textest
