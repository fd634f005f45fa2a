#include "TextureWriter.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include <stb_dxt.h>

#include "AtomicFile.h"
#include "Lzss.h"

namespace vistrel {
namespace {

using Bytes = std::vector<uint8_t>;

// The largest value of a level's 24-bit size field.
constexpr std::size_t kMaxLevelSize = 0xFFFFFF;
// Positions a run is looked for at each byte of a level: pictures repeat at
// short distances, and deeper chains cost more than they save on them.
constexpr int kTextureSearchDepth = 6;
// Alpha below this is transparent where a format stores alpha as one bit.
constexpr uint8_t kOnOffAlpha = 128;

struct TLevel {
    int W = 0;
    int H = 0;
    Bytes Rgba;
};

void PutU16(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void PutU32(Bytes& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
}

void PutTag(Bytes& b, const char* name, const Bytes& data) {
    b.insert(b.end(), {'G', 'G', 'A', 'T'});
    b.insert(b.end(), name, name + 4);
    PutU32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
}

bool IsSide(int side) { return side >= 1 && side <= kMaxWrittenTextureSide && (side & (side - 1)) == 0; }

bool IsDxt(TextureFormat type) { return type == TextureFormat::Dxt1 || type == TextureFormat::Dxt5; }

// Where a type's level chains stop: the shorter side of the last level.
int SmallestSide(TextureFormat type) { return IsDxt(type) ? 4 : 2; }

// n / a as (n * ceil(2^40 / a)) >> 40, exact for every n below 2^20 (the
// error, below n / 2^40, never reaches the next multiple of 1 / a).
constexpr auto kReciprocals = [] {
    std::array<uint64_t, 4 * 255 + 1> r{};
    for (uint64_t a = 1; a < r.size(); ++a) r[a] = ((uint64_t(1) << 40) + a - 1) / a;
    return r;
}();

// The next level: each pixel the average of a 2 × 2 square, its colour
// weighted by alpha (so that invisible pixels do not darken or tint the
// visible ones); a square wholly transparent takes the plain average colour.
TLevel Halve(const TLevel& src) {
    TLevel dst;
    dst.W = std::max(1, src.W / 2);
    dst.H = std::max(1, src.H / 2);
    dst.Rgba.resize(std::size_t(dst.W) * dst.H * 4);
    const std::size_t stride = std::size_t(src.W) * 4;
    const std::size_t dx = src.W > 1 ? 4 : 0, dy = src.H > 1 ? stride : 0;
    uint8_t* out = dst.Rgba.data();
    for (int y = 0; y < dst.H; ++y) {
        const uint8_t* row = src.Rgba.data() + std::size_t(y) * 2 * stride;
        for (int x = 0; x < dst.W; ++x, out += 4) {
            const uint8_t* p[4] = {row + std::size_t(x) * 8, row + std::size_t(x) * 8 + dx,
                                   row + std::size_t(x) * 8 + dy, row + std::size_t(x) * 8 + dx + dy};
            const unsigned a = p[0][3] + p[1][3] + p[2][3] + p[3][3];
            for (int c = 0; c < 3; ++c) {
                if (a == 4 * 255) {
                    out[c] = uint8_t((p[0][c] + p[1][c] + p[2][c] + p[3][c] + 2) / 4);
                } else if (a > 0) {
                    const unsigned sum = p[0][c] * p[0][3] + p[1][c] * p[1][3] + p[2][c] * p[2][3] + p[3][c] * p[3][3];
                    out[c] = uint8_t(((sum + a / 2) * kReciprocals[a]) >> 40);
                } else {
                    out[c] = uint8_t((p[0][c] + p[1][c] + p[2][c] + p[3][c] + 2) / 4);
                }
            }
            out[3] = uint8_t((a + 2) / 4);
        }
    }
    return dst;
}

// ---- pixels ----------------------------------------------------------------

// 8-bit channels to 4 and 5 bits, rounded to the nearest.
constexpr auto kTo4 = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned c = 0; c < 256; ++c) t[c] = uint8_t((c * 15 + 127) / 255);
    return t;
}();
constexpr auto kTo5 = [] {
    std::array<uint8_t, 256> t{};
    for (unsigned c = 0; c < 256; ++c) t[c] = uint8_t((c * 31 + 127) / 255);
    return t;
}();

unsigned To4(uint8_t c) { return kTo4[c]; }
unsigned To5(uint8_t c) { return kTo5[c]; }

Bytes Pixels16(const TLevel& level, TextureFormat type) {
    Bytes out(level.Rgba.size() / 2);
    uint8_t* o = out.data();
    for (std::size_t i = 0; i < level.Rgba.size(); i += 4, o += 2) {
        const uint8_t* p = &level.Rgba[i];
        unsigned v = 0;
        switch (type) {
        case TextureFormat::Argb4444: v = To4(p[3]) << 12 | To4(p[0]) << 8 | To4(p[1]) << 4 | To4(p[2]); break;
        case TextureFormat::Argb1555:
            v = (p[3] >= kOnOffAlpha ? 0x8000u : 0u) | To5(p[0]) << 10 | To5(p[1]) << 5 | To5(p[2]);
            break;
        default: v = unsigned(p[3]) << 8 | (p[0] + p[1] + p[2] + 1) / 3; break;  // AI88
        }
        o[0] = uint8_t(v);
        o[1] = uint8_t(v >> 8);
    }
    return out;
}

Bytes Pixels8888(const TLevel& level) {
    Bytes out(level.Rgba.size());
    for (std::size_t i = 0; i < out.size(); i += 4) {
        out[i] = level.Rgba[i + 2];
        out[i + 1] = level.Rgba[i + 1];
        out[i + 2] = level.Rgba[i];
        out[i + 3] = level.Rgba[i + 3];
    }
    return out;
}

// ---- DXT blocks ------------------------------------------------------------

std::array<int, 3> Expand565(uint16_t v) {
    const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

uint16_t Pack565(const double* rgb) {
    auto q = [](double v, int top) { return unsigned(std::clamp(v, 0.0, 255.0) * top / 255.0 + 0.5); };
    return uint16_t(q(rgb[0], 31) << 11 | q(rgb[1], 63) << 5 | q(rgb[2], 31));
}

// Each opaque pixel's nearest of the three colours c0, c1 and their mean;
// the indices (3 for transparent pixels) and the summed squared error.
uint32_t ThreeColourIndices(const uint8_t* rgba, uint16_t transparent, uint16_t c0, uint16_t c1, int& error) {
    const auto e0 = Expand565(c0), e1 = Expand565(c1);
    const std::array<int, 3> colours[3] = {e0, e1, {(e0[0] + e1[0]) / 2, (e0[1] + e1[1]) / 2, (e0[2] + e1[2]) / 2}};
    uint32_t indices = 0;
    error = 0;
    for (int p = 0; p < 16; ++p) {
        unsigned best = 3;
        if (!(transparent & (1u << p))) {
            int bestDistance = std::numeric_limits<int>::max();
            for (unsigned k = 0; k < 3; ++k) {
                int d = 0;
                for (int c = 0; c < 3; ++c) d += (rgba[4 * p + c] - colours[k][c]) * (rgba[4 * p + c] - colours[k][c]);
                if (d < bestDistance) bestDistance = d, best = k;
            }
            error += bestDistance;
        }
        indices |= best << (2 * p);
    }
    return indices;
}

void PutBlock(uint16_t c0, uint16_t c1, uint32_t indices, uint8_t* out) {
    out[0] = uint8_t(c0);
    out[1] = uint8_t(c0 >> 8);
    out[2] = uint8_t(c1);
    out[3] = uint8_t(c1 >> 8);
    for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(indices >> (8 * k));
}

// The three-colour mode (c0 <= c1: c0, c1, their mean, and index 3 for
// transparent pixels) from the endpoints c0, c1, fitted by least squares to
// the pixels' choices as long as that lowers the error.
void ThreeColourFit(const uint8_t* rgba, uint16_t transparent, uint16_t c0, uint16_t c1, uint8_t* out) {
    int error = 0;
    uint32_t indices = ThreeColourIndices(rgba, transparent, c0, c1, error);
    for (int round = 0; round < 3 && error > 0; ++round) {
        // each pixel is w * a + (1 - w) * b with w 1, 0 or 1/2 by its index
        double aa = 0, ab = 0, bb = 0, ax[3] = {0, 0, 0}, bx[3] = {0, 0, 0};
        for (int p = 0; p < 16; ++p) {
            const unsigned k = (indices >> (2 * p)) & 3;
            if (k == 3) continue;
            const double w = k == 0 ? 1.0 : k == 1 ? 0.0 : 0.5;
            aa += w * w, ab += w * (1 - w), bb += (1 - w) * (1 - w);
            for (int c = 0; c < 3; ++c) ax[c] += w * rgba[4 * p + c], bx[c] += (1 - w) * rgba[4 * p + c];
        }
        const double det = aa * bb - ab * ab;
        if (std::abs(det) < 1e-9) break;
        double a[3], b[3];
        for (int c = 0; c < 3; ++c) {
            a[c] = (ax[c] * bb - bx[c] * ab) / det;
            b[c] = (bx[c] * aa - ax[c] * ab) / det;
        }
        const uint16_t n0 = Pack565(a), n1 = Pack565(b);
        int newError = 0;
        const uint32_t newIndices = ThreeColourIndices(rgba, transparent, n0, n1, newError);
        if (newError >= error) break;
        c0 = n0, c1 = n1, indices = newIndices, error = newError;
    }
    if (c0 > c1) {
        // the mode needs c0 <= c1: swap the endpoints and their indices 0 and 1
        std::swap(c0, c1);
        indices ^= ~(indices >> 1) & 0x55555555;
    }
    PutBlock(c0, c1, indices, out);
}

// Each pixel's nearest of the four colours of c0 > c1 (c0, c1, and the points
// at a third and two thirds between them); the indices and the summed squared
// error.
uint32_t FourColourIndices(const uint8_t* rgba, uint16_t c0, uint16_t c1, int& error) {
    const auto e0 = Expand565(c0), e1 = Expand565(c1);
    std::array<int, 3> colours[4] = {e0, e1, {}, {}};
    for (int c = 0; c < 3; ++c) {
        colours[2][c] = (2 * e0[c] + e1[c]) / 3;
        colours[3][c] = (e0[c] + 2 * e1[c]) / 3;
    }
    uint32_t indices = 0;
    error = 0;
    for (int p = 0; p < 16; ++p) {
        int best = std::numeric_limits<int>::max();
        unsigned k = 0;
        for (unsigned i = 0; i < 4; ++i) {
            int d = 0;
            for (int c = 0; c < 3; ++c) d += (rgba[4 * p + c] - colours[i][c]) * (rgba[4 * p + c] - colours[i][c]);
            if (d < best) best = d, k = i;
        }
        error += best;
        indices |= k << (2 * p);
    }
    return indices;
}

// A block of two colours a and b: stb_dxt puts them at the endpoints, where
// the 5-6-5 rounding moves them. Endpoints beyond them that put one or both
// on the points at a third and two thirds often hit them closer: every such
// placement is tried and the best block kept.
void TwoColourBlock(const uint8_t* rgba, const uint8_t* a, const uint8_t* b, uint8_t* out) {
    const uint16_t s0 = uint16_t(out[0] | out[1] << 8), s1 = uint16_t(out[2] | out[3] << 8);
    if (s0 <= s1) return;  // stb_dxt's own answer for colours it finds alike
    int best = 0;
    FourColourIndices(rgba, s0, s1, best);
    // a at ta and b at tb on the line from c0 (0) to c1 (1), in thirds
    static constexpr int kPlaces[5][2] = {{1, 2}, {0, 2}, {1, 3}, {0, 1}, {2, 3}};
    for (const auto& place : kPlaces) {
        double e0[3], e1[3];
        for (int c = 0; c < 3; ++c) {
            const double step = (double(b[c]) - a[c]) / (place[1] - place[0]);  // a third of c1 - c0
            e0[c] = a[c] - place[0] * step;
            e1[c] = e0[c] + 3 * step;
        }
        uint16_t c0 = Pack565(e0), c1 = Pack565(e1);
        if (c0 == c1) continue;
        if (c0 < c1) std::swap(c0, c1);
        int error = 0;
        const uint32_t indices = FourColourIndices(rgba, c0, c1, error);
        if (error < best) best = error, PutBlock(c0, c1, indices, out);
    }
}

// stb_dxt's colour block (four colours) of these pixels made better where the
// block has only two colours (flat art, camouflage).
void BetterTwoColours(const uint8_t* rgba, uint8_t* block) {
    auto same = [&](int p, int q) { return std::equal(rgba + 4 * p, rgba + 4 * p + 3, rgba + 4 * q); };
    int second = -1;
    for (int p = 1; p < 16; ++p)
        if (!same(p, 0)) {
            if (second >= 0 && !same(p, second)) return;
            second = p;
        }
    if (second > 0) TwoColourBlock(rgba, rgba, rgba + 4 * second, block);
}

// A block with transparent pixels: the three-colour mode from the endpoints
// stb_dxt finds for the opaque pixels alone (the transparent ones replaced by
// their mean).
void TransparentBlock(const uint8_t* rgba, uint16_t transparent, uint8_t* out) {
    unsigned sum[3] = {0, 0, 0}, count = 0;
    for (int p = 0; p < 16; ++p)
        if (!(transparent & (1u << p))) {
            for (int c = 0; c < 3; ++c) sum[c] += rgba[4 * p + c];
            ++count;
        }
    if (count == 0) {
        PutBlock(0, 0, 0xFFFFFFFF, out);
        return;
    }
    alignas(4) std::array<uint8_t, 64> opaque;
    for (int p = 0; p < 16; ++p)
        for (int c = 0; c < 4; ++c)
            opaque[4 * p + c] =
                (transparent & (1u << p)) ? (c < 3 ? uint8_t((sum[c] + count / 2) / count) : 255) : rgba[4 * p + c];
    uint8_t block[8];
    stb_compress_dxt_block(block, opaque.data(), 0, STB_DXT_HIGHQUAL);
    ThreeColourFit(rgba, transparent, uint16_t(block[0] | block[1] << 8), uint16_t(block[2] | block[3] << 8), out);
}

Bytes DxtBlocks(const TLevel& level, TextureFormat type, bool transparentIndex) {
    const int bw = (level.W + 3) / 4, bh = (level.H + 3) / 4;
    const std::size_t blockBytes = type == TextureFormat::Dxt1 ? 8 : 16;
    Bytes out(std::size_t(bw) * bh * blockBytes);
    uint8_t* o = out.data();
    alignas(4) std::array<uint8_t, 64> px;
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx, o += blockBytes) {
            // a level narrower than a block repeats in it (its sides are
            // powers of two, so every pixel counts as often as every other)
            for (int y = 0; y < 4; ++y) {
                const int sy = (by * 4 + y) % level.H;
                for (int x = 0; x < 4; ++x) {
                    const int sx = (bx * 4 + x) % level.W;
                    std::copy_n(&level.Rgba[(std::size_t(sy) * level.W + sx) * 4], 4, &px[(y * 4 + x) * 4]);
                }
            }
            if (type == TextureFormat::Dxt1) {
                EncodeDxt1Block(px.data(), transparentIndex, o);
            } else {
                stb_compress_dxt_block(o, px.data(), 1, STB_DXT_HIGHQUAL);
                BetterTwoColours(px.data(), o + 8);
            }
        }
    return out;
}

// ---- the file --------------------------------------------------------------

// What the picture's alpha makes of the file: whether it is transparent as
// the type stores it, and its mean colour and alpha (rounded).
struct TSummary {
    bool Transparent = false;
    uint8_t Mean[4] = {0, 0, 0, 0};  // red, green, blue, alpha
};

TSummary Summarize(const TRgbaPicture& picture, TextureFormat type) {
    const bool onOff = type == TextureFormat::Dxt1 || type == TextureFormat::Argb1555;
    TSummary s;
    uint64_t sum[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < picture.Rgba.size(); i += 4) {
        for (int c = 0; c < 4; ++c) sum[c] += picture.Rgba[i + c];
        const uint8_t a = picture.Rgba[i + 3];
        if (onOff ? a < kOnOffAlpha : a < 255) s.Transparent = true;
    }
    const uint64_t n = std::max<uint64_t>(1, picture.Rgba.size() / 4);
    for (int c = 0; c < 4; ++c) s.Mean[c] = uint8_t((sum[c] + n / 2) / n);
    return s;
}

uint16_t TypeWord(TextureFormat type) {
    switch (type) {
    case TextureFormat::Dxt1: return 0xFF01;
    case TextureFormat::Dxt5: return 0xFF05;
    case TextureFormat::Argb4444: return 0x4444;
    case TextureFormat::Argb1555: return 0x1555;
    case TextureFormat::Ai88: return 0x8080;
    default: return 0x8888;
    }
}

std::string Sides(int w, int h) { return std::to_string(w) + " \u00D7 " + std::to_string(h); }

}  // namespace

void EncodeDxt1Block(const uint8_t* rgba, bool transparentIndex, uint8_t* out) {
    uint16_t transparent = 0;
    if (transparentIndex)
        for (int p = 0; p < 16; ++p)
            if (rgba[4 * p + 3] < kOnOffAlpha) transparent |= uint16_t(1u << p);
    if (transparent) {
        TransparentBlock(rgba, transparent, out);
        return;
    }
    // stb_dxt reads the pixels as 32-bit words (aligned, and alpha taking
    // part in its test for a block of one colour)
    alignas(4) uint8_t opaque[64];
    std::copy_n(rgba, 64, opaque);
    for (int p = 0; p < 16; ++p) opaque[4 * p + 3] = 255;
    stb_compress_dxt_block(out, opaque, 0, STB_DXT_HIGHQUAL);
    BetterTwoColours(opaque, out);
}

TextureFormat ChooseTextureFormat(const TRgbaPicture& picture) {
    // no alpha, or alpha only 0 and 255: DXT1 (with its transparent index)
    bool partial = false, grey = true;
    for (std::size_t i = 0; i + 3 < picture.Rgba.size(); i += 4) {
        const uint8_t* p = &picture.Rgba[i];
        if (p[3] != 255 && p[3] != 0) partial = true;
        if (p[0] != p[1] || p[1] != p[2]) grey = false;
    }
    if (!partial) return TextureFormat::Dxt1;
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
    if (!IsSide(picture.Width) || !IsSide(picture.Height)) {
        error = "the sides of a texture must be powers of two: " + Sides(picture.Width, picture.Height);
        return false;
    }
    if (picture.Rgba.size() != std::size_t(picture.Width) * picture.Height * 4) {
        error = "a picture of " + Sides(picture.Width, picture.Height) + " needs " +
                std::to_string(std::size_t(picture.Width) * picture.Height * 4) + " bytes, not " +
                std::to_string(picture.Rgba.size());
        return false;
    }

    const TSummary summary = Summarize(picture, type);
    PutU16(out, TypeWord(type));
    if (type != TextureFormat::Ai88) {
        if (summary.Transparent)
            PutTag(out, "CGVA", {255, 255, 255, summary.Mean[3]});
        else
            PutTag(out, "CGVA", {summary.Mean[2], summary.Mean[1], summary.Mean[0], 255});
        if (type == TextureFormat::Dxt1 && summary.Transparent && (picture.Width > 8 || picture.Height > 8))
            PutTag(out, "CXAM", {255, 255, 255, 255});
        if (summary.Transparent) {
            Bytes flags;
            PutU32(flags, type == TextureFormat::Dxt1 || type == TextureFormat::Argb1555 ? 2 : 1);
            PutTag(out, "GALF", flags);
        }
    }
    PutTag(out, "SFFO", Bytes(64, 0));
    const std::size_t offsets = out.size() - 64;
    PutU16(out, 0);  // no palette

    const int smallest = SmallestSide(type);
    TLevel level{picture.Width, picture.Height, picture.Rgba};
    for (int k = 0;; ++k) {
        Bytes data;
        if (IsDxt(type)) {
            data = DxtBlocks(level, type, summary.Transparent);
        } else {
            const Bytes raw = type == TextureFormat::Argb8888 ? Pixels8888(level) : Pixels16(level, type);
            data = LzssEncode(raw.data(), raw.size(), LzssChecksum::Signed, false, kTextureSearchDepth);
        }
        if (data.size() > kMaxLevelSize) {
            error = "the level of " + Sides(level.W, level.H) + " takes " + std::to_string(data.size()) +
                    " bytes, more than a texture file's level can hold (" + std::to_string(kMaxLevelSize) + ")";
            out.clear();
            return false;
        }
        const auto header = uint32_t(out.size());
        for (int b = 0; b < 4; ++b) out[offsets + 4 * k + b] = uint8_t(header >> (8 * b));
        PutU16(out, unsigned(level.W));
        PutU16(out, unsigned(level.H));
        for (int b = 0; b < 3; ++b) out.push_back(uint8_t(data.size() >> (8 * b)));
        out.insert(out.end(), data.begin(), data.end());
        if (std::min(level.W, level.H) <= smallest) break;
        level = Halve(level);
    }
    out.insert(out.end(), 6, 0);
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
