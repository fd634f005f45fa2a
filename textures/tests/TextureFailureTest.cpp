// Files that do not decode: every kind of damage gives no image and an error
// that names what failed and where, never a crash or a read outside the
// input. Inputs are copied into heap buffers of exactly their size, so that
// AddressSanitizer sees a read one byte past the end.
#include <gtest/gtest.h>

#include <lzo/lzo1x.h>

#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>

#include "TextureTestSupport.h"

using namespace textest;
using vistrel::TexFormat;
using vistrel::TexImage;
using vistrel::TexOptions;

namespace {

struct Outcome {
    std::optional<vistrel::TextureImage> image;
    std::string error;
};

Outcome DecodeExact(const uint8_t* data, std::size_t size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    Outcome o;
    o.image = vistrel::DecodeTexture(size ? copy.get() : nullptr, size, &o.error);
    return o;
}

Outcome DecodeExact(const Bytes& b) { return DecodeExact(b.data(), b.size()); }

// Expects failure with an error that contains the text.
void ExpectFailure(const Bytes& b, const std::string& text) {
    const Outcome o = DecodeExact(b);
    EXPECT_FALSE(o.image) << "decoded although " << text << " was expected";
    EXPECT_NE(o.error.find(text), std::string::npos) << "error: " << o.error << "\nexpected: " << text;
}

std::string At(std::size_t pos) { return " at byte " + std::to_string(pos); }

// One valid file of each kind, with its layout.
struct Sample {
    std::string name;
    vistrel::TexFile file;
};

std::vector<Sample> ValidFiles() {
    std::vector<Sample> files;
    const TexImage picture = Pattern(24, 16);
    for (TexFormat f : {TexFormat::Dxt1, TexFormat::Dxt3, TexFormat::Dxt5, TexFormat::Argb4444, TexFormat::Argb1555,
                        TexFormat::Ai88, TexFormat::Argb8888})
        files.push_back({"type " + std::to_string(unsigned(f)), vistrel::EncodeTextureFile(picture, f)});
    TexOptions lzo;
    lzo.lzo = true;
    files.push_back({"lzo", vistrel::EncodeTextureFile(picture, TexFormat::Dxt1, lzo)});
    TexOptions realLzo;
    realLzo.lzo = true;
    realLzo.lzoCompress = [](const Bytes& in) {
        static const bool ready = lzo_init() == LZO_E_OK;
        Bytes out(in.size() + in.size() / 16 + 64 + 3);
        std::vector<uint8_t> work(LZO1X_1_MEM_COMPRESS);
        lzo_uint outLen = out.size();
        if (!ready || lzo1x_1_compress(in.data(), in.size(), out.data(), &outLen, work.data()) != LZO_E_OK)
            throw std::runtime_error("lzo1x_1_compress failed");
        out.resize(outLen);
        return out;
    };
    TexImage flat(32, 32, {8, 121, 57, 255});
    for (int k = 0; k < 32; ++k) flat.Set(k, (k * 5) % 32, {255, 255, 255, 255});
    files.push_back({"real lzo", vistrel::EncodeTextureFile(flat, TexFormat::Dxt5, realLzo)});
    TexOptions raw;
    raw.rawLevels = true;
    files.push_back({"raw", vistrel::EncodeTextureFile(picture, TexFormat::Argb4444, raw)});
    std::vector<uint8_t> indices(24 * 16);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i / 5) % 6);
    const std::vector<vistrel::PaletteEntry> palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}};
    files.push_back({"palette", vistrel::EncodePaletteFile(24, 16, indices, palette)});
    TexOptions old;
    old.paletteTagsFirst = false;
    files.push_back({"old palette", vistrel::EncodePaletteFile(24, 16, indices, palette, old)});
    for (bool checksum : {true, false}) {
        TexOptions marker;
        marker.paletteMarker = true;
        marker.markerChecksum = checksum;
        files.push_back({checksum ? "marker" : "marker without checksum",
                         vistrel::EncodePaletteFile(24, 16, indices, palette, marker)});
    }
    return files;
}

vistrel::TexFile File4444(const TexOptions& options = {}) {
    return vistrel::EncodeTextureFile(Pattern(16, 8), TexFormat::Argb4444, options);
}

}  // namespace

TEST(TextureFailure, EmptyAndTinyFiles) {
    ExpectFailure({}, "empty file");
    ExpectFailure({0x44}, "too short");
    ExpectFailure({0x44, 0x44}, "truncated palette count at byte 2");
    ExpectFailure({0x01, 0xFF, 0x00}, "truncated palette count at byte 2");
    ExpectFailure({0x01, 0xFF, 0x00, 0x00}, "truncated level header at byte 4");
}

TEST(TextureFailure, NullDataIsEmpty) {
    std::string error;
    EXPECT_FALSE(vistrel::DecodeTexture(nullptr, 100, &error));
    EXPECT_EQ(error, "empty file");
}

TEST(TextureFailure, UnknownLayout) {
    const std::string text = "Hello, this is no texture at all.\n";
    ExpectFailure(Bytes(text.begin(), text.end()), "unknown layout: the first bytes 48 65");
    // a model file
    ExpectFailure({'B', 'M', 'D', 'L', 0x14, 0, 0, 0}, "unknown layout");
}

TEST(TextureFailure, TruncatedTags) {
    ExpectFailure({0x44, 0x44, 'G', 'G', 'A', 'T', 'C', 'G', 'V'}, "truncated tag header at byte 2");
    ExpectFailure({0x44, 0x44, 'G', 'G', 'A', 'T', 'C', 'G', 'V', 'A', 8, 0, 0}, "truncated tag header at byte 2");
    ExpectFailure({0x44, 0x44, 'G', 'G', 'A', 'T', 'C', 'G', 'V', 'A', 8, 0, 0, 0, 1, 2, 3},
                  "truncated tag \"CGVA\" at byte 2: 8 bytes claimed, 3 left");
    // a length near 4 GiB
    ExpectFailure({0x44, 0x44, 'G', 'G', 'A', 'T', 'X', 0x01, 'Y', 'Z', 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},
                  "truncated tag \"X\\x01YZ\" at byte 2");
    // the second tag of a palette file
    Bytes b = {'G', 'G', 'A', 'T', 'C', 'G', 'V', 'A', 4,   0,   0,  0, 1, 2,
               3,   4,   'G', 'G', 'A', 'T', 'S', 'F', 'F', 'O', 64, 0, 0, 0};
    b.resize(b.size() + 20, 0);
    ExpectFailure(b, "truncated tag \"SFFO\" at byte 16");
}

TEST(TextureFailure, TruncatedPalette) {
    ExpectFailure({4, 0, 1, 2, 3, 4, 5, 6, 7}, "truncated palette at byte 0: 4 entries claimed");
    ExpectFailure({0x01, 0xFF, 3, 0, 1, 2, 3}, "truncated palette at byte 2");
}

TEST(TextureFailure, TooManyPaletteEntries) {
    Bytes b = {'G', 'G', 'A', 'T', 'C', 'G', 'V', 'A', 0, 0, 0, 0};
    AppendU16(b, 300);
    b.resize(b.size() + 900, 0);
    ExpectFailure(b, "palette of 300 entries at byte 12");
}

TEST(TextureFailure, TruncatedLevelHeader) {
    const auto file = File4444();
    for (std::size_t cut : {std::size_t(0), std::size_t(1), std::size_t(3), std::size_t(4), std::size_t(6)})
        ExpectFailure(Bytes(file.bytes.begin(), file.bytes.begin() + std::ptrdiff_t(file.levelsStart + cut)),
                      "truncated level header" + At(file.levelsStart));
    // a palette file cut inside the real size after the marker
    Bytes marker = {0, 0};
    AppendU16(marker, 1234);
    AppendU16(marker, 8765);
    AppendU16(marker, 4);
    ExpectFailure(marker, "truncated level header at byte 2");
}

TEST(TextureFailure, TruncatedLevelData) {
    const auto file = File4444();
    Bytes cut(file.bytes.begin(), file.bytes.begin() + std::ptrdiff_t(file.firstData + file.firstSize / 2));
    ExpectFailure(cut, "truncated level data: the level" + At(file.levelsStart) + " claims " +
                           std::to_string(file.firstSize) + " bytes, " + std::to_string(file.firstSize / 2) + " left");
    // a size field beyond the file
    TexOptions options;
    options.sizeDelta = 100000;
    const auto big = File4444(options);
    ExpectFailure(big.bytes, "truncated level data");
}

TEST(TextureFailure, NoLevel) {
    ExpectFailure({0x44, 0x44, 0, 0, 0, 0, 0, 0, 0, 0}, "no level: the level list ends at byte 4");
}

TEST(TextureFailure, ZeroWidthOrHeight) {
    TexOptions options;
    options.headerWidth = 0;
    ExpectFailure(File4444(options).bytes, "level of 0 x 8");
    options.headerWidth.reset();
    options.headerHeight = 0;
    ExpectFailure(File4444(options).bytes, "level of 16 x 0");
    ExpectFailure(OneLevelFile(0xFF01, 0, 4, Bytes(8, 0)), "has no pixels");
}

TEST(TextureFailure, AbsurdSizes) {
    ExpectFailure(OneLevelFile(0x4444, 20000, 20000, Bytes(64, 0)), "beyond the limit of 16384 x 16384");
    ExpectFailure(OneLevelFile(0xFF01, 0x7FFF, 1, Bytes(64, 0)), "beyond the limit");
    // within the limit, but far more than a few bytes can make
    ExpectFailure(OneLevelFile(0x4444, 16000, 16000, Bytes(10, 0)), "cannot make 512000000 bytes from 10");
    ExpectFailure(OneLevelFile(0x8888, 4096, 4096, Bytes(1000, 0)), "cannot make");
    ExpectFailure(OneLevelFile(0xFF05, 16384, 16384, Bytes(64, 0)), "needs 268435456 bytes of blocks, has 64");
    Bytes palette = {0, 0};
    AppendU16(palette, 16000);
    AppendU16(palette, 16000);
    AppendU24(palette, 4);
    Append(palette, {0xFF, 1, 0xFF, 1, 0, 0, 0, 0, 0, 0});
    ExpectFailure(palette, "cannot make 256000000 indices from 4 bytes");
}

TEST(TextureFailure, LzssBlockFailures) {
    // bad checksum, level not raw-sized
    TexOptions options;
    options.badChecksum = true;
    const auto bad = File4444(options);
    ExpectFailure(bad.bytes, "LZSS block failed" + At(bad.firstData + bad.firstSize - 4) +
                                 " (checksum mismatch) in the level" + At(bad.levelsStart));
    // size field too small: the block ends early
    options = {};
    options.sizeDelta = -5;
    const auto shortBlock = File4444(options);
    ExpectFailure(shortBlock.bytes, "(the block ends early)");
    // a run at distance 0
    ExpectFailure(OneLevelFile(0x4444, 2, 2, {0x00, 0x00, 0x05, 0, 0, 0, 0}),
                  "LZSS block failed at byte 12 (a run with distance 0)");
    // 32-bit
    options = {};
    options.badChecksum = true;
    ExpectFailure(vistrel::EncodeTexture(Pattern(8, 8), TexFormat::Argb8888, options), "checksum mismatch");
}

TEST(TextureFailure, RawSizedLevelWithABadChecksumIsTakenRaw) {
    // 2 × 2 ARGB4444, 8 bytes: literal C6, a run of 7 at distance 1, checksum.
    // With the right checksum (8 × −58) it is LZSS; with a wrong one its 8
    // bytes are the pixels.
    const Bytes good = {0x05, 0xC6, 0x01, 0x04, 0x30, 0xFE, 0xFF, 0xFF};
    auto image = Decode(OneLevelFile(0x4444, 2, 2, good));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->storage, "LZSS");
    EXPECT_EQ(PixelAt(*image, 1, 1), (Pixel{102, 204, 102, 204}));  // 0xC6C6
    const Bytes wrong = {0x05, 0xC6, 0x01, 0x04, 0x00, 0x00, 0x00, 0x00};
    image = Decode(OneLevelFile(0x4444, 2, 2, wrong));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->storage, "raw");
    EXPECT_EQ(PixelAt(*image, 0, 0), (Pixel{5 * 17, 0, 6 * 17, 12 * 17}));  // 0xC605
    EXPECT_EQ(PixelAt(*image, 1, 0), (Pixel{1 * 17, 0, 4 * 17, 0}));        // 0x0401
    EXPECT_EQ(PixelAt(*image, 0, 1), (Pixel{0, 0, 0, 0}));
}

TEST(TextureFailure, DxtLevelFailures) {
    ExpectFailure(OneLevelFile(0xFF01, 8, 8, Bytes(31, 0)),
                  "DXT1 level of 8 x 8 at byte 4 needs 32 bytes of blocks, has 31");
    ExpectFailure(OneLevelFile(0xFF03, 5, 4, Bytes(31, 0)), "DXT3 level of 5 x 4 at byte 4 needs 32 bytes");
    // LZO: a broken stream, one that makes too little, the flag on other formats
    ExpectFailure(OneLevelFile(0xFF01, 0x8000 | 4, 4, {0x11, 0, 0}), "LZO block failed at byte 11");
    ExpectFailure(OneLevelFile(0xFF01, 0x8000 | 4, 4, {0x17, 1, 2, 3, 4, 5, 6, 0x11, 0, 0}),
                  "LZO block failed at byte 11");
    ExpectFailure(OneLevelFile(0xFF01, 0x8000 | 4, 4, {0x19, 1, 2, 3, 4, 5, 6, 7, 8, 0x11}), "LZO block failed");
    ExpectFailure(OneLevelFile(0xFF01, 0x8000 | 4, 4, {0x18, 1, 2, 3, 4, 5, 6, 7, 0x12, 0, 0, 0x11, 0, 0}),
                  "LZO block failed");
    ExpectFailure(OneLevelFile(0x4444, 0x8000 | 4, 4, Bytes(40, 0)),
                  "LZO flag on a level of format ARGB4444 at byte 4");
    ExpectFailure(OneLevelFile(0xFF01, 0x8000 | 4096, 4096, Bytes(100, 0)),
                  "LZO level of 4096 x 4096 at byte 4 cannot make");
}

TEST(TextureFailure, RunLengthFailures) {
    auto paletteFile = [](uint16_t w, uint16_t h, const Bytes& data) {
        Bytes b = {1, 0, 9, 9, 9};
        AppendU16(b, w);
        AppendU16(b, h);
        AppendU24(b, uint32_t(data.size()));
        Append(b, data);
        b.insert(b.end(), 6, 0);
        return b;
    };
    ExpectFailure(paletteFile(4, 4, {0x83, 0, 0x85}), "run-length run at byte 14 has no value byte");
    ExpectFailure(paletteFile(4, 4, {0x83, 0, 0x05, 1, 2}),
                  "run-length copy of 6 bytes at byte 14 runs past the level's end");
    ExpectFailure(paletteFile(4, 4, {0x81, 0}), "run-length level at byte 5 ends after 2 of 16 indices");
    ExpectFailure(paletteFile(4, 4, {}), "cannot make 16 indices from 0 bytes");
    // enough: the rest of the level is not looked at, a run past the end is cut
    auto image = Decode(paletteFile(4, 4, {0xFF, 0, 0x85}));
    ASSERT_TRUE(image);
    EXPECT_EQ(PixelAt(*image, 3, 3), (Pixel{9, 9, 9, 255}));
}

TEST(TextureFailure, MarkerLevelFailures) {
    std::vector<uint8_t> indices(16 * 16);
    for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t(i * 7 % 3);
    TexOptions options;
    options.paletteMarker = true;
    options.sizeDelta = -4;  // the checksum left out of the level: still the indices
    auto file = vistrel::EncodePaletteFile(16, 16, indices, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, options);
    EXPECT_TRUE(DecodeExact(file.bytes).image);
    options.sizeDelta = -6;  // two bytes of the block itself missing
    file = vistrel::EncodePaletteFile(16, 16, indices, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, options);
    const Outcome o = DecodeExact(file.bytes);
    EXPECT_FALSE(o.image);
    EXPECT_NE(o.error.find("LZSS block failed"), std::string::npos) << o.error;
}

TEST(TextureFailure, EveryPrefixDecodesOrFailsCleanly) {
    for (const Sample& sample : ValidFiles()) {
        const Bytes& bytes = sample.file.bytes;
        const Outcome whole = DecodeExact(bytes);
        ASSERT_TRUE(whole.image) << sample.name << ": " << whole.error;
        const std::size_t needed = sample.file.firstData + sample.file.firstSize;
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            const Outcome o = DecodeExact(bytes.data(), n);
            if (n >= needed) {
                ASSERT_TRUE(o.image) << sample.name << " prefix " << n << ": " << o.error;
                ASSERT_EQ(o.image->bgra, whole.image->bgra) << sample.name << " prefix " << n;
            } else {
                ASSERT_FALSE(o.image) << sample.name << " prefix " << n;
                ASSERT_FALSE(o.error.empty()) << sample.name << " prefix " << n;
            }
        }
    }
}

TEST(TextureFailure, DamagedFilesNeverCrash) {
    std::mt19937 rng(99);
    int decoded = 0, failed = 0;
    for (const Sample& sample : ValidFiles()) {
        for (int round = 0; round < 1500; ++round) {
            Bytes b = sample.file.bytes;
            const int changes = 1 + int(rng() % 4);
            for (int c = 0; c < changes; ++c) {
                // mostly the head of the file, where the sizes are
                const std::size_t limit =
                    std::min<std::size_t>(b.size(), rng() % 2 ? sample.file.firstData + 8 : b.size());
                const std::size_t at = rng() % limit;
                switch (rng() % 3) {
                case 0: b[at] = uint8_t(rng()); break;
                case 1: b[at] ^= uint8_t(1u << (rng() % 8)); break;
                default: b.resize(at); break;
                }
                if (b.empty()) break;
            }
            const Outcome o = DecodeExact(b);
            if (o.image) {
                ++decoded;
                ASSERT_GT(o.image->width, 0);
                ASSERT_GT(o.image->height, 0);
                ASSERT_LE(o.image->width, vistrel::kMaxTextureSide);
                ASSERT_EQ(o.image->bgra.size(), std::size_t(o.image->width) * o.image->height * 4);
            } else {
                ++failed;
                ASSERT_FALSE(o.error.empty());
            }
        }
    }
    EXPECT_GT(decoded, 0);
    EXPECT_GT(failed, 0);
}
