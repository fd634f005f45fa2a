// The texture writer: every type written from a table of pictures, read back
// by the decoder at every level and checked byte by byte against the layout
// of real files of its type.
#include <gtest/gtest.h>
#include <squish.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "Lzss.h"
#include "TextureTestSupport.h"
#include "TextureWriter.h"

namespace {

using namespace vistrel;
using textest::Bytes;
namespace fs = std::filesystem;

struct TPicture {
    const char* Name;
    int W, H;
    // red, green, blue, alpha of pixel (x, y)
    std::function<std::array<uint8_t, 4>(int, int)> At;
};

TRgbaPicture Make(const TPicture& p) {
    TRgbaPicture picture{p.W, p.H, {}};
    for (int y = 0; y < p.H; ++y)
        for (int x = 0; x < p.W; ++x) {
            const auto c = p.At(x, y);
            picture.Rgba.insert(picture.Rgba.end(), c.begin(), c.end());
        }
    return picture;
}

// Gradients with detail: a checker and stripes over two ramps.
std::array<uint8_t, 4> Detail(int x, int y, uint8_t alpha) {
    return {uint8_t(x * 4 + ((x / 4 + y / 4) % 2) * 40), uint8_t(y * 3 + (x % 3) * 20), uint8_t(200 - x - y), alpha};
}

const TPicture kPictures[] = {
    {"opaque", 64, 32, [](int x, int y) { return Detail(x, y, 255); }},
    {"smooth alpha", 32, 16, [](int x, int y) { return Detail(x, y, uint8_t(x * 8 + y)); }},
    {"on/off alpha", 32, 32, [](int x, int y) { return Detail(x, y, (x / 3 + y / 5) % 3 ? 255 : 0); }},
    {"on/off 8x8", 8, 8, [](int x, int y) { return Detail(x, y, x < y ? 0 : 255); }},
    {"grey alpha", 16, 8,
     [](int x, int y) {
         const auto g = uint8_t(x * 16 + y);
         return std::array<uint8_t, 4>{g, g, g, uint8_t(255 - y * 30)};
     }},
    {"narrow", 2, 16, [](int x, int y) { return Detail(x * 9, y, uint8_t(128 + y * 7)); }},
    {"one pixel", 1, 1,
     [](int, int) {
         return std::array<uint8_t, 4>{200, 100, 50, 77};
     }},
};

const TextureFormat kTypes[] = {TextureFormat::Dxt1,     TextureFormat::Dxt5, TextureFormat::Argb4444,
                                TextureFormat::Argb1555, TextureFormat::Ai88, TextureFormat::Argb8888};

bool Dxt(TextureFormat t) { return t == TextureFormat::Dxt1 || t == TextureFormat::Dxt5; }

// The 2 × 2 average the levels are made by, colours weighted by alpha.
TRgbaPicture Halve(const TRgbaPicture& p) {
    TRgbaPicture h{std::max(1, p.Width / 2), std::max(1, p.Height / 2), {}};
    for (int y = 0; y < h.Height; ++y)
        for (int x = 0; x < h.Width; ++x) {
            const uint8_t* q[4];
            for (int k = 0; k < 4; ++k) {
                const int sx = std::min(2 * x + k % 2, p.Width - 1), sy = std::min(2 * y + k / 2, p.Height - 1);
                q[k] = &p.Rgba[(std::size_t(sy) * p.Width + sx) * 4];
            }
            const int a = q[0][3] + q[1][3] + q[2][3] + q[3][3];
            for (int c = 0; c < 3; ++c) {
                int plain = 0, weighted = 0;
                for (auto* s : q) plain += s[c], weighted += s[c] * s[3];
                h.Rgba.push_back(uint8_t(a > 0 ? (weighted + a / 2) / a : (plain + 2) / 4));
            }
            h.Rgba.push_back(uint8_t((a + 2) / 4));
        }
    return h;
}

std::vector<TRgbaPicture> Chain(const TRgbaPicture& p, TextureFormat type) {
    std::vector<TRgbaPicture> chain{p};
    while (std::min(chain.back().Width, chain.back().Height) > (Dxt(type) ? 4 : 2))
        chain.push_back(Halve(chain.back()));
    return chain;
}

bool OnOff(TextureFormat t) { return t == TextureFormat::Dxt1 || t == TextureFormat::Argb1555; }

bool Transparent(const TRgbaPicture& p, TextureFormat type) {
    for (std::size_t i = 3; i < p.Rgba.size(); i += 4)
        if (p.Rgba[i] < (OnOff(type) ? 128 : 255)) return true;
    return false;
}

// Squared error and count of the channels compared (red, green, blue and,
// when channels is 4, alpha) of pixels; with mask, of those opaque in it.
struct TError {
    double Sum = 0;
    double Count = 0;
    double Psnr() const { return Sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * Count / Sum); }
    TError& operator+=(const TError& o) { return Sum += o.Sum, Count += o.Count, *this; }
};

TError Error(const uint8_t* a, const uint8_t* b, std::size_t pixels, int channels, const uint8_t* mask = nullptr) {
    TError e;
    for (std::size_t i = 0; i < pixels; ++i) {
        if (mask && mask[4 * i + 3] < 128) continue;
        for (int c = 0; c < channels; ++c, ++e.Count) e.Sum += std::pow(double(a[4 * i + c]) - b[4 * i + c], 2);
    }
    return e;
}

double Psnr(const uint8_t* a, const uint8_t* b, std::size_t pixels, int channels) {
    return Error(a, b, pixels, channels).Psnr();
}

uint32_t U(const Bytes& f, std::size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= uint32_t(f.at(at + k)) << (8 * k);
    return v;
}

// The file read by itself, against the conventions of real files of its type.
void CheckStructure(const Bytes& f, const TRgbaPicture& p, TextureFormat type) {
    static const std::map<TextureFormat, uint32_t> words = {
        {TextureFormat::Dxt1, 0xFF01},     {TextureFormat::Dxt5, 0xFF05}, {TextureFormat::Argb4444, 0x4444},
        {TextureFormat::Argb1555, 0x1555}, {TextureFormat::Ai88, 0x8080}, {TextureFormat::Argb8888, 0x8888}};
    ASSERT_EQ(U(f, 0, 2), words.at(type));
    // the tags expected, in order
    const bool transparent = Transparent(p, type);
    uint64_t sum[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < p.Rgba.size(); ++i) sum[i % 4] += p.Rgba[i];
    const uint64_t n = p.Rgba.size() / 4;
    auto mean = [&](int c) { return uint8_t((sum[c] + n / 2) / n); };
    std::vector<std::pair<std::string, Bytes>> tags;
    if (type != TextureFormat::Ai88) {
        tags.push_back({"CGVA", transparent ? Bytes{255, 255, 255, mean(3)} : Bytes{mean(2), mean(1), mean(0), 255}});
        if (type == TextureFormat::Dxt1 && transparent && std::max(p.Width, p.Height) > 8)
            tags.push_back({"CXAM", {255, 255, 255, 255}});
        if (transparent) tags.push_back({"GALF", {uint8_t(OnOff(type) ? 2 : 1), 0, 0, 0}});
    }
    std::size_t at = 2, sffo = 0;
    for (const auto& [name, value] : tags) {
        ASSERT_EQ(std::string(f.begin() + at, f.begin() + at + 8), "GGAT" + name);
        ASSERT_EQ(U(f, at + 8, 4), value.size());
        EXPECT_EQ(Bytes(f.begin() + at + 12, f.begin() + at + 12 + value.size()), value) << name;
        at += 12 + value.size();
    }
    ASSERT_EQ(std::string(f.begin() + at, f.begin() + at + 8), "GGATSFFO");
    ASSERT_EQ(U(f, at + 8, 4), 64u);
    sffo = at + 12;
    at = sffo + 64;
    EXPECT_EQ(U(f, at, 2), 0u) << "palette count";
    at += 2;
    const auto chain = Chain(p, type);
    for (std::size_t k = 0; k < 16; ++k) {
        if (k >= chain.size()) {
            EXPECT_EQ(U(f, sffo + 4 * k, 4), 0u) << "unused offset " << k;
            continue;
        }
        const TRgbaPicture& level = chain[k];
        ASSERT_EQ(U(f, sffo + 4 * k, 4), at) << "offset of level " << k;
        EXPECT_EQ(U(f, at, 2), uint32_t(level.Width));
        EXPECT_EQ(U(f, at + 2, 2), uint32_t(level.Height));
        const std::size_t size = U(f, at + 4, 3), data = at + 7;
        ASSERT_LE(data + size, f.size());
        const std::size_t pixels = std::size_t(level.Width) * level.Height;
        if (Dxt(type)) {
            EXPECT_EQ(size, std::size_t((level.Width + 3) / 4) * ((level.Height + 3) / 4) *
                                (type == TextureFormat::Dxt1 ? 8 : 16));
        } else {
            Bytes raw(pixels * (type == TextureFormat::Argb8888 ? 4 : 2));
            const LzssResult r = LzssDecode(&f[data], size, raw.data(), raw.size(), LzssChecksum::SignedOrUnsigned);
            ASSERT_EQ(r.status, LzssStatus::Ok) << "level " << k;
            EXPECT_EQ(r.consumed, size);
            int32_t signedSum = 0;
            for (uint8_t b : raw) signedSum += int8_t(b);
            EXPECT_EQ(U(f, data + size - 4, 4), uint32_t(signedSum)) << "signed checksum of level " << k;
        }
        at = data + size;
    }
    EXPECT_EQ(Bytes(f.begin() + at, f.end()), Bytes(6, 0)) << "the 6 end bytes and nothing after";
}

// libsquish's cluster fit on the same level, decoded: the reference for DXT.
Bytes SquishRoundTrip(const TRgbaPicture& level, TextureFormat type) {
    const int flags = (type == TextureFormat::Dxt1 ? squish::kDxt1 : squish::kDxt5) | squish::kColourClusterFit;
    Bytes blocks(std::size_t(squish::GetStorageRequirements(level.Width, level.Height, flags)));
    squish::CompressImage(level.Rgba.data(), level.Width, level.Height, blocks.data(), flags);
    Bytes out(level.Rgba.size());
    squish::DecompressImage(out.data(), level.Width, level.Height, blocks.data(), flags);
    return out;
}

// What the decoder gives back for a level of a lossless type: the level as
// the type quantises it.
Bytes Quantised(const TRgbaPicture& level, TextureFormat type) {
    TexImage bgra(level.Width, level.Height);
    for (std::size_t i = 0; i < level.Rgba.size(); i += 4)
        for (int c = 0; c < 4; ++c) bgra.bgra[i + c] = level.Rgba[i + (c < 3 ? 2 - c : 3)];
    static const std::map<TextureFormat, TexFormat> builder = {{TextureFormat::Argb4444, TexFormat::Argb4444},
                                                               {TextureFormat::Argb1555, TexFormat::Argb1555},
                                                               {TextureFormat::Ai88, TexFormat::Ai88},
                                                               {TextureFormat::Argb8888, TexFormat::Argb8888}};
    const TexImage q = QuantizeLike(bgra, builder.at(type));
    TextureImage image;
    image.width = level.Width;
    image.height = level.Height;
    image.bgra = q.bgra;
    return RgbaPixels(image);
}

TEST(TextureWriter, EveryPictureAsEveryTypeReadsBackAtEveryLevel) {
    for (const TPicture& entry : kPictures)
        for (TextureFormat type : kTypes) {
            SCOPED_TRACE(std::string(entry.Name) + " as " + TextureFormatName(type));
            const TRgbaPicture picture = Make(entry);
            Bytes file;
            std::string error;
            ASSERT_TRUE(EncodeTextureFile(picture, type, file, error)) << error;
            CheckStructure(file, picture, type);
            TError ours, squish;
            for (const TRgbaPicture& level : Chain(picture, type)) {
                SCOPED_TRACE(std::to_string(level.Width) + " x " + std::to_string(level.Height));
                TextureData record{};
                ASSERT_TRUE(
                    DecodeTextureData(&record, file.data(), file.size(), &error, std::max(level.Width, level.Height)))
                    << error;
                ASSERT_EQ(record.width, level.Width);
                ASSERT_EQ(record.height, level.Height);
                TextureImage image;
                image.width = record.width;
                image.height = record.height;
                image.bgra.assign(record.pixels, record.pixels + level.Rgba.size());
                DestroyTextureData(&record);
                const Bytes got = RgbaPixels(image);
                const std::size_t pixels = level.Rgba.size() / 4;
                if (!Dxt(type)) {
                    EXPECT_EQ(got, Quantised(level, type));
                    continue;
                }
                // DXT against libsquish's cluster fit on the same level: the
                // colour (with DXT5 the alpha too; with DXT1's transparent
                // index the opaque pixels' colour, and the transparent ones
                // exactly)
                const bool holes = type == TextureFormat::Dxt1 && Transparent(picture, type);
                if (holes) {
                    for (std::size_t i = 0; i < pixels; ++i)
                        ASSERT_EQ(got[4 * i + 3], level.Rgba[4 * i + 3] < 128 ? 0 : 255) << "pixel " << i;
                }
                const int channels = type == TextureFormat::Dxt1 ? 3 : 4;
                const uint8_t* mask = holes ? level.Rgba.data() : nullptr;
                const Bytes ref = SquishRoundTrip(level, type);
                const TError e = Error(got.data(), level.Rgba.data(), pixels, channels, mask);
                const TError r = Error(ref.data(), level.Rgba.data(), pixels, channels, mask);
                // a level of a few pixels may miss by more, where both are
                // close to exact
                EXPECT_TRUE(e.Psnr() + 2.0 >= r.Psnr() || e.Psnr() >= 48.0) << e.Psnr() << " vs " << r.Psnr();
                ours += e, squish += r;
            }
            // over every level of a picture of the sides real textures have
            if (Dxt(type) && std::min(picture.Width, picture.Height) >= 8) {
                EXPECT_GE(ours.Psnr() + 1.0, squish.Psnr()) << "over every level";
            }
        }
}

TEST(TextureWriter, FlatPictureCompressesFarBelowItsPixels) {
    const TRgbaPicture flat{256, 256, [] {
                                Bytes b;
                                for (int i = 0; i < 256 * 256; ++i) b.insert(b.end(), {90, 140, 40, 100});
                                return b;
                            }()};
    Bytes file;
    std::string error;
    ASSERT_TRUE(EncodeTextureFile(flat, TextureFormat::Argb4444, file, error)) << error;
    CheckStructure(file, flat, TextureFormat::Argb4444);
    // the best the format allows: runs of 18 bytes, 8 of them (16 bytes) after
    // each flag byte, 17 bytes for 144, about 12 % (and the checksum)
    const std::size_t stored = file[2 + 24 + 20 + 76 + 2 + 4] | file[2 + 24 + 20 + 76 + 2 + 5] << 8;
    EXPECT_LE(stored, 256 * 256 * 2 * 17 / 144 + 20);
    EXPECT_LT(file.size(), 256 * 256 * 2 * 16 / 100);
}

TEST(TextureWriter, ChoosesTheTypeFromThePicture) {
    auto one = [](std::vector<std::array<uint8_t, 4>> pixels) {
        TRgbaPicture p{int(pixels.size()), 1, {}};
        for (auto& c : pixels) p.Rgba.insert(p.Rgba.end(), c.begin(), c.end());
        return ChooseTextureFormat(p);
    };
    EXPECT_EQ(one({{10, 20, 30, 255}, {40, 50, 60, 255}}), TextureFormat::Dxt1);
    EXPECT_EQ(one({{10, 20, 30, 0}, {40, 50, 60, 255}}), TextureFormat::Dxt1);
    EXPECT_EQ(one({{10, 10, 10, 0}, {60, 60, 60, 128}}), TextureFormat::Ai88);
    EXPECT_EQ(one({{10, 20, 30, 0}, {60, 60, 60, 128}}), TextureFormat::Argb4444);
}

TEST(TextureWriter, RefusesWhatItCannotWrite) {
    std::string error;
    Bytes file;
    auto refused = [&](int w, int h, TextureFormat type = TextureFormat::Dxt1) {
        const TRgbaPicture p{w, h, Bytes(std::size_t(std::max(0, w * h)) * 4, 255)};
        return !EncodeTextureFile(p, type, file, error) && file.empty() ? error : std::string("written");
    };
    EXPECT_EQ(refused(300, 200), "the sides of a texture must be powers of two: 300 \u00D7 200");
    EXPECT_EQ(refused(0, 0), "the sides of a texture must be powers of two: 0 \u00D7 0");
    EXPECT_EQ(refused(8192, 1), "the sides of a texture must be powers of two: 8192 \u00D7 1");
    EXPECT_EQ(refused(4, 4, TextureFormat::Palette), "textures of type palette are not written");
    EXPECT_EQ(refused(4, 4, TextureFormat::Dxt3), "textures of type DXT3 are not written");
    EXPECT_EQ(EncodeTextureFile({4, 4, Bytes(63)}, TextureFormat::Dxt1, file, error), false);
    EXPECT_EQ(error, "a picture of 4 \u00D7 4 needs 64 bytes, not 63");
}

TEST(TextureWriter, WritesWholeFilesOrNothing) {
    const fs::path dir = fs::temp_directory_path() / ("texture_writer_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const TRgbaPicture picture = Make(kPictures[0]);
    std::string error;
    const std::string path = (dir / "hull.paa").string();
    ASSERT_TRUE(WriteTextureFile(path, picture, TextureFormat::Argb4444, error)) << error;
    Bytes expected;
    ASSERT_TRUE(EncodeTextureFile(picture, TextureFormat::Argb4444, expected, error));
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), expected);
    // a picture refused leaves the file there as it was
    EXPECT_FALSE(WriteTextureFile(path, {300, 200, Bytes(300 * 200 * 4)}, TextureFormat::Dxt1, error));
    EXPECT_EQ(fs::file_size(path), expected.size());
    // a folder that is a file: the system's reason, and nothing left behind
    const std::string blocked = path + "/inner.paa";
    EXPECT_FALSE(WriteTextureFile(blocked, picture, TextureFormat::Dxt1, error));
    EXPECT_EQ(error, "cannot create file " + blocked + ": Not a directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

// The bundled samples and the builder's files of every type, decoded,
// written again and decoded once more: the same picture (DXT1 close to it).
TEST(TextureWriter, ExistingTexturesReEncodedDecodeAsBefore) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (const auto& e : fs::directory_iterator(fs::path(VISTREL_SOURCE_DIR) / "samples" / "data")) {
        std::ifstream in(e.path(), std::ios::binary);
        files.push_back({e.path().filename().string(), Bytes(std::istreambuf_iterator<char>(in), {})});
    }
    for (TexFormat f : {TexFormat::Argb4444, TexFormat::Argb1555, TexFormat::Ai88, TexFormat::Argb8888, TexFormat::Dxt1,
                        TexFormat::Dxt5})
        files.push_back({"builder " + std::to_string(int(f)), EncodeTexture(textest::Pattern(32, 16), f)});
    ASSERT_GE(files.size(), 11u);
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        const auto before = textest::Decode(bytes);
        ASSERT_TRUE(before);
        const TRgbaPicture picture{before->width, before->height, RgbaPixels(*before)};
        const TextureFormat type = before->kind == TextureFormat::Palette ? TextureFormat::Dxt1 : before->kind;
        Bytes again;
        std::string error;
        ASSERT_TRUE(EncodeTextureFile(picture, type, again, error)) << error;
        const auto after = textest::Decode(again);
        ASSERT_TRUE(after);
        ASSERT_EQ(after->kind, type);
        ASSERT_EQ(after->width, before->width);
        if (Dxt(type))
            EXPECT_GT(Psnr(after->bgra.data(), before->bgra.data(), before->bgra.size() / 4, 3), 36.0);
        else
            EXPECT_EQ(after->bgra, before->bgra);
    }
}

}  // namespace
