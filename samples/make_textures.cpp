// make_textures OUTPUT_FOLDER
//
// Writes the five textures that the sample model tank.p3d names, under
// OUTPUT_FOLDER/data/, one file per stored format:
//   hull_dxt1.paa    DXT1      128 × 128  olive-green hull panels, darker seams, rivets
//   turret_4444.paa  ARGB4444   64 ×  64  four-colour camouflage
//   wheels_1555.paa  ARGB1555   64 ×  64  a road wheel: dark grey tread, lighter rim, hub
//   glass_ai88.paa   AI88       32 ×  32  translucent grey glass with a highlight
//   camo_pal.pac     palette    64 ×  64  camouflage net in four palette colours
//
// Only integer arithmetic: the files are the same bytes on every machine, and
// the copies committed under samples/data/ must stay what this program writes
// (a test compares them).

#include <array>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "P3dBuilder.h"
#include "TextureEncoder.h"

namespace {

using vistrel::TexFormat;
using vistrel::TexImage;

using Bgra = std::array<uint8_t, 4>;

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise 0..255 that tiles over size × size: lattice values every
// cell pixels, blended bilinearly.
int Noise(int x, int y, int size, int cell, uint32_t seed) {
    const int cells = size / cell;
    const int ix = x / cell, iy = y / cell, fx = x % cell, fy = y % cell;
    auto lattice = [&](int cx, int cy) { return int(Hash(uint32_t(cx % cells), uint32_t(cy % cells), seed) & 255); };
    const int v00 = lattice(ix, iy), v10 = lattice(ix + 1, iy);
    const int v01 = lattice(ix, iy + 1), v11 = lattice(ix + 1, iy + 1);
    const int top = v00 * (cell - fx) + v10 * fx;
    const int bottom = v01 * (cell - fx) + v11 * fx;
    return (top * (cell - fy) + bottom * fy) / (cell * cell);
}

uint8_t Clamp(int v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

Bgra Shade(Bgra c, int delta) { return {Clamp(c[0] + delta), Clamp(c[1] + delta), Clamp(c[2] + delta), c[3]}; }

// Olive-green armour plates of 32 × 32 with two-pixel dark seams, a row of
// rivets along each seam and a little grime towards the bottom.
TexImage Hull() {
    constexpr int kSize = 128, kPanel = 32;
    const Bgra olive{48, 110, 98, 255};
    const Bgra seam{22, 50, 45, 255};
    TexImage image(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int px = x % kPanel, py = y % kPanel;
            if (px < 2 || py < 2) {
                image.Set(x, y, seam);
                continue;
            }
            const int panel = int(Hash(uint32_t(x / kPanel), uint32_t(y / kPanel), 1) % 17) - 8;
            const int grain = Noise(x, y, kSize, 8, 2) / 16 - 8;
            const int grime = -(y % kPanel) / 4;
            Bgra c = Shade(olive, panel + grain + grime);
            const bool rivet = (px == 5 && py % 6 == 5) || (py == 5 && px % 6 == 5);
            if (rivet) c = Shade(olive, -30);
            image.Set(x, y, c);
        }
    return image;
}

// Four-colour disruptive camouflage: bands of smooth noise.
TexImage Turret() {
    constexpr int kSize = 64;
    const Bgra colours[4] = {{60, 118, 112, 255}, {30, 48, 62, 255}, {40, 78, 52, 255}, {110, 150, 160, 255}};
    TexImage image(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int v = (Noise(x, y, kSize, 16, 3) * 3 + Noise(x, y, kSize, 8, 4)) / 4;
            image.Set(x, y, colours[v < 96 ? 1 : v < 128 ? 2 : v < 168 ? 0 : 3]);
        }
    return image;
}

// A road wheel seen from the side: dark grey rubber tread with grooves, a
// lighter steel rim with six bolts, a darker hub.
TexImage Wheels() {
    constexpr int kSize = 64, kCentre = 32;
    TexImage image(kSize, kSize, {28, 28, 30, 255});
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            const int dx = 2 * (x - kCentre) + 1, dy = 2 * (y - kCentre) + 1;  // pixel centres, doubled
            const int r2 = (dx * dx + dy * dy) / 4;
            Bgra c{28, 28, 30, 255};
            if (r2 < 7 * 7) {
                c = {80, 78, 78, 255};  // hub
            } else if (r2 < 20 * 20) {
                c = {158, 152, 150, 255};  // rim
                if (r2 >= 18 * 18) c = {120, 116, 115, 255};
                // six bolts on a circle of radius 13
                static const int bolts[6][2] = {{13, 0}, {7, 11}, {-7, 11}, {-13, 0}, {-7, -11}, {7, -11}};
                for (const auto& b : bolts) {
                    const int bx = dx - 2 * b[0], by = dy - 2 * b[1];
                    if (bx * bx + by * by <= 4 * 4) c = {70, 68, 68, 255};
                }
            } else if (r2 < 31 * 31) {
                c = {62, 60, 60, 255};  // tread
                const int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
                if (((ax + ay) / 6) % 2 == 0) c = {44, 42, 42, 255};  // grooves
            }
            image.Set(x, y, c);
        }
    return image;
}

// Grey glass, half transparent, a brighter and more opaque diagonal
// highlight and an opaque dark frame.
TexImage Glass() {
    constexpr int kSize = 32;
    TexImage image(kSize, kSize);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x) {
            Bgra c{150, 150, 150, 110};
            const int d = x + y;
            if (d >= 12 && d < 18) c = {230, 230, 230, 170};
            if (d >= 22 && d < 24) c = {200, 200, 200, 140};
            if (x == 0 || y == 0 || x == kSize - 1 || y == kSize - 1) c = {90, 90, 90, 230};
            image.Set(x, y, c);
        }
    return image;
}

// A camouflage net: four colours, large patches (long runs for the
// run-length coding).
std::vector<uint8_t> CamoIndices(int size) {
    std::vector<uint8_t> indices(std::size_t(size) * size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const int v = Noise(x, y, size, 16, 7);
            indices[std::size_t(y) * size + x] = uint8_t(v < 90 ? 0 : v < 130 ? 1 : v < 170 ? 2 : 3);
        }
    return indices;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_textures OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const std::filesystem::path data = std::filesystem::path(argv[1]) / "data";
        std::filesystem::create_directories(data);
        auto write = [&](const char* name, const std::vector<uint8_t>& bytes) {
            vistrel::WriteFile((data / name).string(), bytes);
        };
        // its blocks by the builder's first block writer: the committed file stays the same bytes
        vistrel::TexOptions firstBlocks;
        firstBlocks.farthestPairDxt1 = true;
        write("hull_dxt1.paa", vistrel::EncodeTexture(Hull(), TexFormat::Dxt1, firstBlocks));
        write("turret_4444.paa", vistrel::EncodeTexture(Turret(), TexFormat::Argb4444));
        write("wheels_1555.paa", vistrel::EncodeTexture(Wheels(), TexFormat::Argb1555));
        write("glass_ai88.paa", vistrel::EncodeTexture(Glass(), TexFormat::Ai88));
        const std::vector<vistrel::PaletteEntry> palette = {
            {38, 70, 58}, {30, 52, 40}, {70, 110, 100}, {104, 132, 140}};  // blue, green, red
        write("camo_pal.pac", vistrel::EncodePaletteFile(64, 64, CamoIndices(64), palette).bytes);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_textures: %s\n", e.what());
        return 1;
    }
    return 0;
}
