// The model of BenchModels.h's RealShapedModel as content lives on disk: the
// model at DATA/ca/tracked/tank.p3d and the three textures it names under
// DATA/ca/tracked/data/ (DXT5 1024 x 1024, DXT1 512 x 512 twice).
#pragma once

#include <cstdint>
#include <filesystem>

#include "BenchModels.h"
#include "TextureEncoder.h"

namespace vistrel::bench {

// A smooth picture with some detail, so that the textures are not all one
// block.
inline TexImage Picture(int side, uint8_t tint) {
    TexImage image(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.Set(x, y,
                      {static_cast<uint8_t>(x * 255 / side), static_cast<uint8_t>(y * 255 / side),
                       static_cast<uint8_t>(tint ^ ((x / 16 + y / 16) & 1) * 64), 255});
    return image;
}

// A picture with detail everywhere (noise over the smooth one), as painted
// textures have: it deflates the least.
inline TexImage DetailedPicture(int side, uint8_t tint) {
    TexImage image = Picture(side, tint);
    uint32_t state = 0x2545F491u + tint;
    for (uint8_t& byte : image.bgra) {
        state = state * 1664525u + 1013904223u;
        if ((&byte - image.bgra.data()) % 4 != 3)  // alpha stays opaque
            byte = static_cast<uint8_t>(byte ^ ((state >> 24) & 0x3F));
    }
    return image;
}

// Writes the content under data (detailed: with DetailedPicture's
// textures); returns the model's path.
inline std::filesystem::path WriteRealShapedContent(const std::filesystem::path& data, bool detailed = false) {
    const std::filesystem::path folder = data / "ca" / "tracked";
    std::filesystem::create_directories(folder / "data");
    WriteFile((folder / "tank.p3d").string(), BuildModel(RealShapedModel()));
    const char* names[] = {"body_co.paa", "wheels_co.paa", "turret_co.paa"};
    const TexFormat formats[] = {TexFormat::Dxt5, TexFormat::Dxt1, TexFormat::Dxt1};
    const int sides[] = {1024, 512, 512};
    for (int i = 0; i < 3; ++i)
        WriteFile((folder / "data" / names[i]).string(),
                  EncodeTexture(detailed ? DetailedPicture(sides[i], static_cast<uint8_t>(80 * i))
                                         : Picture(sides[i], static_cast<uint8_t>(80 * i)),
                                formats[i]));
    return folder / "tank.p3d";
}

}  // namespace vistrel::bench
