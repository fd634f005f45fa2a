// The layout of a texture file laid out part by part, for p3dtool texture
// --info: the type, every tag with its value, every level with its sides and
// how it is stored, and where a broken file stops making sense. Read by the
// decoder's own reading (the same checks, the same messages), going on past
// the largest level down to the end of the level list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TextureData.h"

namespace vistrel {

struct TTextureTag {
    std::size_t At = 0;          // where its "GGAT" starts
    std::string Name;            // as stored ("CGVA", "SFFO", …)
    std::vector<uint8_t> Value;  // its bytes
};

struct TTextureLevel {
    std::size_t At = 0;  // where its header starts
    int Width = 0;
    int Height = 0;
    std::size_t Stored = 0;  // the data's bytes (a compressed level's checksum included)
    std::string Storage;     // as TextureImage::storage: "raw", "LZSS", "LZO", "run-length", …
};

struct TTextureLayout {
    TextureFormat Kind = TextureFormat::Dxt1;
    bool Known = false;     // the first bytes were understood: a type, or a palette file's start
    bool TypeWord = false;  // the file starts with a type (palette files have none)
    std::vector<TTextureTag> Tags;
    int PaletteCount = 0;
    std::vector<TTextureLevel> Levels;  // those that decoded, largest first
    std::size_t End = 0;                // where the end of the level list starts (0: not reached)
    std::size_t Size = 0;               // the file's bytes
    // Empty for a sound file; else what is wrong and at which byte, as the
    // decoder says it ("truncated level header at byte 94"). What came before
    // stays listed.
    std::string Error;
};

TTextureLayout WalkTextureLayout(const uint8_t* data, std::size_t size);

}  // namespace vistrel
