#include "TextureEncoder.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <map>
#include <stdexcept>

#include "LzssEncoder.h"
#include "TextureWriter.h"

namespace vistrel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kMarkerWidth = 1234;
constexpr uint16_t kMarkerHeight = 8765;

void PutU16(Bytes& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void PutU24(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v >> 16));
}

void PutU32(Bytes& b, uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(v >> (8 * k)));
}

void SetU32(Bytes& b, std::size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (8 * k));
}

void PutTag(Bytes& b, const std::string& name, const Bytes& data) {
    b.insert(b.end(), {'G', 'G', 'A', 'T'});
    std::string n = name;
    n.resize(4, ' ');
    b.insert(b.end(), n.begin(), n.end());
    PutU32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
}

bool IsDxt(TexFormat f) {
    return f == TexFormat::Dxt1 || f == TexFormat::Dxt2 || f == TexFormat::Dxt3 || f == TexFormat::Dxt4 ||
           f == TexFormat::Dxt5;
}

// ---- DXT blocks ---------------------------------------------------------

struct Rgb {
    int r = 0, g = 0, b = 0;
};

uint16_t Pack565(Rgb c) {
    const int r = (c.r * 31 + 127) / 255;
    const int g = (c.g * 63 + 127) / 255;
    const int b = (c.b * 31 + 127) / 255;
    return uint16_t(r << 11 | g << 5 | b);
}

Rgb Expand565(uint16_t v) {
    const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return {(r << 3) | (r >> 2), (g << 2) | (g >> 4), (b << 3) | (b >> 2)};
}

int Distance(Rgb a, Rgb b) { return (a.r - b.r) * (a.r - b.r) + (a.g - b.g) * (a.g - b.g) + (a.b - b.b) * (a.b - b.b); }

// The 16 pixels of the block at (bx, by); those beyond the picture repeat its
// last column and row.
std::array<std::array<uint8_t, 4>, 16> BlockPixels(const TexImage& image, int bx, int by) {
    std::array<std::array<uint8_t, 4>, 16> px;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int sx = std::min(bx * 4 + x, image.width - 1);
            const int sy = std::min(by * 4 + y, image.height - 1);
            const uint8_t* p = image.At(sx, sy);
            px[y * 4 + x] = {p[0], p[1], p[2], p[3]};
        }
    return px;
}

// 8 bytes of colour: c0, c1, 2-bit indices from pixel 0 in the lowest bits.
// fourColour: the block is read with four colours whatever c0 and c1 are
// (DXT2 … DXT5); otherwise (DXT1) c0 > c1 selects four colours and c0 <= c1
// three and transparent black. transparentMask: pixels that take index 3
// (DXT1 only).
void ColourBlock(const std::array<std::array<uint8_t, 4>, 16>& px, uint16_t transparentMask, bool fourColour,
                 uint8_t* out) {
    // the endpoints: the two colours of the block farthest apart
    Rgb a{0, 0, 0}, b{0, 0, 0};
    int widest = -1;
    for (int i = 0; i < 16; ++i) {
        if (transparentMask & (1u << i)) continue;
        const Rgb ci{px[i][2], px[i][1], px[i][0]};
        for (int j = i; j < 16; ++j) {
            if (transparentMask & (1u << j)) continue;
            const Rgb cj{px[j][2], px[j][1], px[j][0]};
            const int d = Distance(ci, cj);
            if (d > widest) {
                widest = d;
                a = ci;
                b = cj;
            }
        }
    }
    uint16_t c0 = Pack565(a), c1 = Pack565(b);
    // c0 > c1 selects four colours; c0 <= c1 three and transparent black
    if ((c0 < c1) != (transparentMask != 0)) std::swap(c0, c1);
    const Rgb e0 = Expand565(c0), e1 = Expand565(c1);
    Rgb colours[4] = {e0, e1, {}, {}};
    int usable = 4;
    if (fourColour || c0 > c1) {
        colours[2] = {(2 * e0.r + e1.r) / 3, (2 * e0.g + e1.g) / 3, (2 * e0.b + e1.b) / 3};
        colours[3] = {(e0.r + 2 * e1.r) / 3, (e0.g + 2 * e1.g) / 3, (e0.b + 2 * e1.b) / 3};
    } else {
        colours[2] = {(e0.r + e1.r) / 2, (e0.g + e1.g) / 2, (e0.b + e1.b) / 2};
        usable = 3;
    }
    uint32_t indices = 0;
    for (int p = 0; p < 16; ++p) {
        unsigned best = 0;
        if (transparentMask & (1u << p)) {
            best = 3;
        } else {
            const Rgb c{px[p][2], px[p][1], px[p][0]};
            int bestDistance = std::numeric_limits<int>::max();
            for (int k = 0; k < usable; ++k) {
                const int d = Distance(c, colours[k]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = unsigned(k);
                }
            }
        }
        indices |= best << (2 * p);
    }
    out[0] = uint8_t(c0);
    out[1] = uint8_t(c0 >> 8);
    out[2] = uint8_t(c1);
    out[3] = uint8_t(c1 >> 8);
    for (int k = 0; k < 4; ++k) out[4 + k] = uint8_t(indices >> (8 * k));
}

// DXT2/3: 4 bits of alpha per pixel, pixel 0 in the low half of byte 0.
void ExplicitAlphaBlock(const std::array<std::array<uint8_t, 4>, 16>& px, uint8_t* out) {
    for (int k = 0; k < 8; ++k) {
        const int lo = (px[2 * k][3] * 15 + 127) / 255;
        const int hi = (px[2 * k + 1][3] * 15 + 127) / 255;
        out[k] = uint8_t(lo | hi << 4);
    }
}

// DXT4/5: alpha0 = the block's largest alpha, alpha1 its smallest, the
// eight-step ramp between them and 3-bit indices from pixel 0 in the lowest bits.
void InterpolatedAlphaBlock(const std::array<std::array<uint8_t, 4>, 16>& px, uint8_t* out) {
    int a0 = 0, a1 = 255;
    for (const auto& p : px) {
        a0 = std::max<int>(a0, p[3]);
        a1 = std::min<int>(a1, p[3]);
    }
    int ramp[8] = {a0, a1, 0, 0, 0, 0, 0, 0};
    for (int i = 2; i < 8; ++i) ramp[i] = ((8 - i) * a0 + (i - 1) * a1) / 7;
    uint64_t bits = 0;
    if (a0 != a1) {
        for (int p = 0; p < 16; ++p) {
            int best = 0, bestDistance = 1 << 20;
            for (int k = 0; k < 8; ++k) {
                const int d = std::abs(px[p][3] - ramp[k]);
                if (d < bestDistance) {
                    bestDistance = d;
                    best = k;
                }
            }
            bits |= uint64_t(best) << (3 * p);
        }
    }
    out[0] = uint8_t(a0);
    out[1] = uint8_t(a1);
    for (int k = 0; k < 6; ++k) out[2 + k] = uint8_t(bits >> (8 * k));
}

// ---- levels --------------------------------------------------------------

Bytes Lzss(const Bytes& raw, const TexOptions& options) { return LzssEncode(raw.data(), raw.size(), options.checksum); }

Bytes PixelBytes(const TexImage& image, TexFormat format) {
    if (format == TexFormat::Argb8888) return image.bgra;
    return EncodePixels16(image, format);
}

// The stored data of one level of a non-palette file.
Bytes LevelData(const TexImage& image, TexFormat format, const TexOptions& options) {
    if (IsDxt(format)) {
        Bytes blocks = EncodeDxtBlocks(image, format, options.dxt1Transparent, options.farthestPairDxt1);
        if (!options.lzo) return blocks;
        return options.lzoCompress ? options.lzoCompress(blocks) : LzoLiteralStream(blocks);
    }
    const Bytes raw = PixelBytes(image, format);
    if (options.rawLevels) return raw;
    return Lzss(raw, options);
}

void Corrupt(Bytes& data, const TexOptions& options, bool hasChecksum) {
    if (options.badChecksum && hasChecksum && data.size() >= 4) data[data.size() - 4] += 1;
}

struct Level {
    int w = 0, h = 0;
    Bytes data;
    bool lzo = false;
    bool marker = false;
};

void PutLevel(Bytes& out, const Level& level, bool first, const TexOptions& options, TexFile& file) {
    file.levelHeaders.push_back(out.size());
    uint16_t w = uint16_t(level.w | (level.lzo ? 0x8000 : 0));
    uint16_t h = uint16_t(level.h);
    if (first && options.headerWidth) w = *options.headerWidth;
    if (first && options.headerHeight) h = *options.headerHeight;
    if (level.marker) {
        PutU16(out, kMarkerWidth);
        PutU16(out, kMarkerHeight);
    }
    PutU16(out, w);
    PutU16(out, h);
    long long size = static_cast<long long>(level.data.size());
    if (first) {
        file.firstSize = level.data.size();
        size += options.sizeDelta;
    }
    size = std::clamp<long long>(size, 0, 0xFFFFFF);
    PutU24(out, uint32_t(size));
    if (first) file.firstData = out.size();
    out.insert(out.end(), level.data.begin(), level.data.end());
}

// Writes tags, palette, levels and the end; patches SFFO.
TexFile Assemble(std::optional<uint16_t> type, bool withTags, const Bytes& cgva, std::optional<uint32_t> galf,
                 const std::vector<PaletteEntry>& palette, const std::vector<Level>& levels,
                 const TexOptions& options) {
    TexFile file;
    Bytes& out = file.bytes;
    if (options.typeWord) type = options.typeWord;
    if (type) PutU16(out, *type);
    std::size_t sffo = 0;
    if (withTags) {
        PutTag(out, "CGVA", cgva);
        if (galf) {
            Bytes flags;
            PutU32(flags, *galf);
            PutTag(out, "GALF", flags);
        }
        PutTag(out, "SFFO", Bytes(64, 0));
        sffo = out.size() - 64;
        for (const TexTag& tag : options.extraTags) PutTag(out, tag.name, tag.data);
    }
    PutU16(out, uint16_t(palette.size()));
    for (const PaletteEntry& e : palette) out.insert(out.end(), e.begin(), e.end());
    file.levelsStart = out.size();
    for (std::size_t k = 0; k < levels.size(); ++k) PutLevel(out, levels[k], k == 0, options, file);
    if (sffo)
        for (std::size_t k = 0; k < file.levelHeaders.size() && k < 16; ++k)
            SetU32(out, sffo + 4 * k, uint32_t(file.levelHeaders[k]));
    if (options.endMarker) out.insert(out.end(), 6, 0);
    return file;
}

std::vector<TexImage> Chain(const TexImage& image, const TexOptions& options) {
    std::vector<TexImage> chain{image};
    while (options.mipmaps) {
        TexImage next = HalveImage(chain.back());
        if (next.width < options.minSide || next.height < options.minSide ||
            (next.width == chain.back().width && next.height == chain.back().height))
            break;
        chain.push_back(std::move(next));
    }
    return chain;
}

Bytes AverageColour(const TexImage& image) {
    uint64_t sum[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i + 3 < image.bgra.size(); i += 4)
        for (int c = 0; c < 4; ++c) sum[c] += image.bgra[i + c];
    const uint64_t n = std::max<uint64_t>(1, uint64_t(image.width) * image.height);
    return {uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n), uint8_t(sum[3] / n)};
}

std::optional<uint32_t> AlphaFlags(const TexImage& image) {
    bool partial = false, any = false;
    for (std::size_t i = 3; i < image.bgra.size(); i += 4) {
        const uint8_t a = image.bgra[i];
        if (a != 255) any = true;
        if (a != 255 && a != 0) partial = true;
    }
    if (!any) return std::nullopt;
    return partial ? 1u : 2u;
}

}  // namespace

TexImage::TexImage(int w, int h, std::array<uint8_t, 4> fill) : width(w), height(h) {
    bgra.resize(std::size_t(w) * h * 4);
    for (std::size_t i = 0; i < bgra.size(); i += 4) std::copy(fill.begin(), fill.end(), bgra.begin() + i);
}

void TexImage::Set(int x, int y, std::array<uint8_t, 4> p) { std::copy(p.begin(), p.end(), At(x, y)); }

uint16_t PackPixel16(const uint8_t* p, TexFormat format) {
    switch (format) {
    case TexFormat::Argb4444:
        return uint16_t(((p[3] * 15 + 127) / 255) << 12 | ((p[2] * 15 + 127) / 255) << 8 |
                        ((p[1] * 15 + 127) / 255) << 4 | ((p[0] * 15 + 127) / 255));
    case TexFormat::Argb1555:
        return uint16_t((p[3] >= 128 ? 0x8000 : 0) | ((p[2] * 31 + 127) / 255) << 10 | ((p[1] * 31 + 127) / 255) << 5 |
                        ((p[0] * 31 + 127) / 255));
    case TexFormat::Ai88: {
        const int intensity = (p[0] + p[1] + p[2] + 1) / 3;
        return uint16_t(p[3] << 8 | intensity);
    }
    default: throw std::invalid_argument("PackPixel16: not a 16-bit format");
    }
}

std::vector<uint8_t> EncodePixels16(const TexImage& image, TexFormat format) {
    Bytes out;
    out.reserve(std::size_t(image.width) * image.height * 2);
    for (std::size_t i = 0; i + 3 < image.bgra.size(); i += 4) PutU16(out, PackPixel16(&image.bgra[i], format));
    return out;
}

std::vector<uint8_t> EncodeDxtBlocks(const TexImage& image, TexFormat format, bool dxt1Transparent,
                                     bool farthestPairDxt1) {
    const int bw = (image.width + 3) / 4, bh = (image.height + 3) / 4;
    const bool dxt1 = format == TexFormat::Dxt1;
    const std::size_t blockBytes = dxt1 ? 8 : 16;
    Bytes out(std::size_t(bw) * bh * blockBytes);
    uint8_t* b = out.data();
    for (int by = 0; by < bh; ++by)
        for (int bx = 0; bx < bw; ++bx, b += blockBytes) {
            const auto px = BlockPixels(image, bx, by);
            if (dxt1 && !farthestPairDxt1) {
                std::array<uint8_t, 64> rgba;
                for (int p = 0; p < 16; ++p)
                    for (int c = 0; c < 4; ++c) rgba[4 * p + c] = px[p][c < 3 ? 2 - c : 3];
                EncodeDxt1Block(rgba.data(), dxt1Transparent, b);
                continue;
            }
            if (dxt1) {
                uint16_t mask = 0;
                if (dxt1Transparent)
                    for (int p = 0; p < 16; ++p)
                        if (px[p][3] < 128) mask |= uint16_t(1u << p);
                ColourBlock(px, mask, false, b);
                continue;
            }
            if (format == TexFormat::Dxt2 || format == TexFormat::Dxt3)
                ExplicitAlphaBlock(px, b);
            else
                InterpolatedAlphaBlock(px, b);
            ColourBlock(px, 0, true, b + 8);
        }
    return out;
}

std::vector<uint8_t> EncodeRunLength(const std::vector<uint8_t>& indices) {
    Bytes out;
    std::size_t i = 0;
    const std::size_t n = indices.size();
    while (i < n) {
        std::size_t run = 1;
        while (i + run < n && run < 128 && indices[i + run] == indices[i]) ++run;
        if (run >= 3) {
            out.push_back(uint8_t(0x80 | (run - 1)));
            out.push_back(indices[i]);
            i += run;
            continue;
        }
        // copy up to the next run of three or more, at most 128 bytes
        std::size_t count = 0;
        while (i + count < n && count < 128) {
            const std::size_t k = i + count;
            if (k + 2 < n && indices[k] == indices[k + 1] && indices[k] == indices[k + 2]) break;
            ++count;
        }
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), indices.begin() + std::ptrdiff_t(i), indices.begin() + std::ptrdiff_t(i + count));
        i += count;
    }
    return out;
}

std::vector<uint8_t> LzoLiteralStream(const std::vector<uint8_t>& data) {
    // One literal run, then the end marker (a far match of distance 0x4000
    // with no offset bits: 0x11 0x00 0x00).
    Bytes out;
    const std::size_t n = data.size();
    if (n > 0 && n <= 238) {
        out.push_back(uint8_t(17 + n));
    } else if (n > 238) {
        // 0 opens a long literal run of 18 + (255 per zero byte) + the final byte
        out.push_back(0);
        std::size_t rest = n - 18;
        while (rest > 255) {
            out.push_back(0);
            rest -= 255;
        }
        out.push_back(uint8_t(rest));
    }
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), {0x11, 0x00, 0x00});
    return out;
}

TexImage HalveImage(const TexImage& image) {
    TexImage half(std::max(1, image.width / 2), std::max(1, image.height / 2));
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x) {
            const int x0 = std::min(2 * x, image.width - 1), x1 = std::min(2 * x + 1, image.width - 1);
            const int y0 = std::min(2 * y, image.height - 1), y1 = std::min(2 * y + 1, image.height - 1);
            for (int c = 0; c < 4; ++c) {
                const int sum = image.At(x0, y0)[c] + image.At(x1, y0)[c] + image.At(x0, y1)[c] + image.At(x1, y1)[c];
                half.At(x, y)[c] = uint8_t((sum + 2) / 4);
            }
        }
    return half;
}

TexImage QuantizeLike(const TexImage& image, TexFormat format) {
    TexImage q = image;
    for (std::size_t i = 0; i + 3 < q.bgra.size(); i += 4) {
        uint8_t* p = &q.bgra[i];
        switch (format) {
        case TexFormat::Argb4444: {
            const uint16_t v = PackPixel16(p, format);
            p[0] = uint8_t((v & 15) * 17);
            p[1] = uint8_t(((v >> 4) & 15) * 17);
            p[2] = uint8_t(((v >> 8) & 15) * 17);
            p[3] = uint8_t((v >> 12) * 17);
            break;
        }
        case TexFormat::Argb1555: {
            const uint16_t v = PackPixel16(p, format);
            auto e = [](int c) { return uint8_t((c << 3) | (c >> 2)); };
            p[0] = e(v & 31);
            p[1] = e((v >> 5) & 31);
            p[2] = e((v >> 10) & 31);
            p[3] = (v & 0x8000) ? 255 : 0;
            break;
        }
        case TexFormat::Ai88: {
            const uint16_t v = PackPixel16(p, format);
            p[0] = p[1] = p[2] = uint8_t(v & 0xFF);
            p[3] = uint8_t(v >> 8);
            break;
        }
        case TexFormat::Palette: p[3] = 255; break;
        default: break;
        }
    }
    return q;
}

TexFile EncodeTextureFile(const TexImage& image, TexFormat format, const TexOptions& options) {
    if (format == TexFormat::Palette) return EncodePaletteImage(image, options);
    std::vector<Level> levels;
    bool first = true;
    for (const TexImage& level : Chain(image, options)) {
        Level l;
        l.w = level.width;
        l.h = level.height;
        l.lzo = IsDxt(format) && options.lzo;
        l.data = LevelData(level, format, options);
        if (first) Corrupt(l.data, options, !IsDxt(format) && !options.rawLevels);
        first = false;
        levels.push_back(std::move(l));
    }
    return Assemble(uint16_t(format), options.tags, AverageColour(image), AlphaFlags(image), {}, levels, options);
}

TexFile EncodePaletteFile(int width, int height, const std::vector<uint8_t>& indices,
                          const std::vector<PaletteEntry>& palette, const TexOptions& options) {
    if (indices.size() != std::size_t(width) * height)
        throw std::invalid_argument("EncodePaletteFile: width * height indices needed");
    std::vector<Level> levels;
    std::vector<uint8_t> current = indices;
    int w = width, h = height;
    for (bool first = true;; first = false) {
        Level l;
        l.w = w;
        l.h = h;
        l.marker = options.paletteMarker;
        if (options.paletteMarker) {
            l.data = LzssEncode(current.data(), current.size(), options.checksum);
            if (!options.markerChecksum)
                l.data.resize(l.data.size() - 4);
            else if (first)
                Corrupt(l.data, options, true);
        } else {
            l.data = EncodeRunLength(current);
        }
        levels.push_back(std::move(l));
        const int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
        if (!options.mipmaps || nw < options.minSide || nh < options.minSide || (nw == w && nh == h)) break;
        std::vector<uint8_t> next(std::size_t(nw) * nh);
        for (int y = 0; y < nh; ++y)
            for (int x = 0; x < nw; ++x) next[std::size_t(y) * nw + x] = current[std::size_t(2 * y) * w + 2 * x];
        current = std::move(next);
        w = nw;
        h = nh;
    }
    // the average of the picture's colours
    uint64_t sum[3] = {0, 0, 0};
    for (uint8_t i : indices)
        if (i < palette.size())
            for (int c = 0; c < 3; ++c) sum[c] += palette[i][c];
    const uint64_t n = std::max<std::size_t>(1, indices.size());
    const Bytes cgva{uint8_t(sum[0] / n), uint8_t(sum[1] / n), uint8_t(sum[2] / n), 255};
    return Assemble(std::nullopt, options.tags && options.paletteTagsFirst, cgva, std::nullopt, palette, levels,
                    options);
}

TexFile EncodePaletteImage(const TexImage& image, const TexOptions& options) {
    std::map<uint32_t, uint8_t> lookup;
    std::vector<PaletteEntry> palette;
    std::vector<uint8_t> indices;
    indices.reserve(std::size_t(image.width) * image.height);
    for (std::size_t i = 0; i + 3 < image.bgra.size(); i += 4) {
        const uint32_t key =
            uint32_t(image.bgra[i]) | uint32_t(image.bgra[i + 1]) << 8 | uint32_t(image.bgra[i + 2]) << 16;
        auto it = lookup.find(key);
        if (it == lookup.end()) {
            if (palette.size() == 256) throw std::invalid_argument("EncodePaletteImage: more than 256 colours");
            it = lookup.emplace(key, uint8_t(palette.size())).first;
            palette.push_back({image.bgra[i], image.bgra[i + 1], image.bgra[i + 2]});
        }
        indices.push_back(it->second);
    }
    return EncodePaletteFile(image.width, image.height, indices, palette, options);
}

}  // namespace vistrel
