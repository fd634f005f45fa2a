// A stand-in for the texture writer: every type asked for is written as one
// ARGB8888 level stored as literal LZSS, with only the SFFO tag, so that the
// writer's users can be built and tried before the writer itself is there.
#include "TextureWriter.h"

#include <cstdio>

#include "AtomicFile.h"

namespace vistrel {
namespace {

bool IsPowerOfTwo(int v) { return v > 0 && (v & (v - 1)) == 0; }

void Put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

TextureFormat ChooseTextureFormat(const TRgbaPicture& picture) {
    bool alpha = false, onOff = true, grey = true;
    for (std::size_t i = 0; i + 3 < picture.Rgba.size(); i += 4) {
        const uint8_t* p = &picture.Rgba[i];
        if (p[3] != 255) alpha = true;
        if (p[3] != 0 && p[3] != 255) onOff = false;
        if (p[0] != p[1] || p[1] != p[2]) grey = false;
    }
    if (!alpha || onOff) return TextureFormat::Dxt1;
    return grey ? TextureFormat::Ai88 : TextureFormat::Argb4444;
}

bool EncodeTextureFile(const TRgbaPicture& picture, TextureFormat type, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    switch (type) {
    case TextureFormat::Dxt1:
    case TextureFormat::Dxt5:
    case TextureFormat::Argb4444:
    case TextureFormat::Argb1555:
    case TextureFormat::Ai88:
    case TextureFormat::Argb8888: break;
    default: error = std::string("textures of type ") + TextureFormatName(type) + " are not written"; return false;
    }
    const int w = picture.Width, h = picture.Height;
    if (!IsPowerOfTwo(w) || !IsPowerOfTwo(h) || w > kMaxWrittenTextureSide || h > kMaxWrittenTextureSide ||
        picture.Rgba.size() != std::size_t(w) * std::size_t(h) * 4) {
        error = "the sides of a texture must be powers of two: " + std::to_string(w) + " \u00D7 " + std::to_string(h);
        return false;
    }
    Put16(out, 0x8888);
    out.insert(out.end(), {'G', 'G', 'A', 'T', 'S', 'F', 'F', 'O'});
    Put32(out, 64);
    const std::size_t offsets = out.size();
    out.resize(out.size() + 64, 0);
    Put16(out, 0);  // palette count
    const uint32_t levelAt = uint32_t(out.size());
    for (int k = 0; k < 4; ++k) out[offsets + k] = uint8_t(levelAt >> (8 * k));

    std::vector<uint8_t> data;
    int32_t sum = 0;
    const std::size_t n = std::size_t(w) * h;
    for (std::size_t i = 0; i < n * 4; ++i) {
        if (i % 8 == 0) data.push_back(0xFF);
        const uint8_t* p = &picture.Rgba[(i / 4) * 4];
        static constexpr int kOrder[4] = {2, 1, 0, 3};  // blue, green, red, alpha
        const uint8_t b = p[kOrder[i % 4]];
        data.push_back(b);
        sum = int32_t(uint32_t(sum) + uint32_t(int32_t(int8_t(b))));
    }
    Put32(data, uint32_t(sum));
    if (data.size() > 0xFFFFFF) {
        error = "a level of " + std::to_string(w) + " \u00D7 " + std::to_string(h) + " is too large for this writer";
        return false;
    }
    Put16(out, unsigned(w));
    Put16(out, unsigned(h));
    out.push_back(uint8_t(data.size()));
    out.push_back(uint8_t(data.size() >> 8));
    out.push_back(uint8_t(data.size() >> 16));
    out.insert(out.end(), data.begin(), data.end());
    out.resize(out.size() + 6, 0);
    return true;
}

bool WriteTextureFile(const std::string& path, const TRgbaPicture& picture, TextureFormat type, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!EncodeTextureFile(picture, type, bytes, error)) return false;
    TAtomicFile file(path);
    if (!file.Ok() || !file.Stream()) {
        error = "cannot create file " + path + ": " + file.Error();
        return false;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.Stream()) != bytes.size() || !file.Commit()) {
        error = "cannot write " + path + ": " + file.Error();
        return false;
    }
    return true;
}

}  // namespace vistrel
