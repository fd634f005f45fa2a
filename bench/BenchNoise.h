// Value noise for the benchmarks' made-up pictures: the same picture on
// every run, smooth at any scale, with no library behind it.
#pragma once

#include <cstdint>

namespace vistrel::bench {

inline uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise 0..255 over cells of cell pixels.
inline int Noise(int x, int y, int cell, uint32_t seed) {
    const int ix = x / cell, iy = y / cell, fx = x % cell, fy = y % cell;
    auto v = [&](int cx, int cy) { return int(Hash(uint32_t(cx), uint32_t(cy), seed) & 255); };
    const int top = v(ix, iy) * (cell - fx) + v(ix + 1, iy) * fx;
    const int bottom = v(ix, iy + 1) * (cell - fx) + v(ix + 1, iy + 1) * fx;
    return (top * (cell - fy) + bottom * fy) / (cell * cell);
}

inline uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace vistrel::bench
