// The texture writer: a table of pictures written as every type, read back by
// the decoder at every level, and each file checked byte by byte against the
// layout of real files of its type.
#include <gtest/gtest.h>
#include <squish.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "Lzss.h"
#include "MlodReader.h"
#include "TextureTestSupport.h"
#include "TextureWriter.h"

namespace {

using namespace vistrel;
using textest::Bytes;
namespace fs = std::filesystem;
using F = TextureFormat;

// Two ramps with a checker and stripes; alpha by kind: 0 opaque, 1 smooth,
// 2 on/off, 3 grey with smooth alpha.
TRgbaPicture Picture(int w, int h, int kind) {
    TRgbaPicture p{w, h, {}};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int X = w < 4 ? x * 9 : x;
            uint8_t c[4] = {uint8_t(X * 4 + ((X / 4 + y / 4) % 2) * 40), uint8_t(y * 3 + (X % 3) * 20),
                            uint8_t(200 - X - y), 255};
            if (kind == 1) c[3] = uint8_t(x * 8 + y + 9);
            if (kind == 2) c[3] = (x / 3 + y / 5) % 3 && x >= y / 2 ? 255 : 0;
            if (kind == 3) c[0] = c[1] = c[2] = uint8_t(x * 16 + y), c[3] = uint8_t(255 - y * 30);
            p.Rgba.insert(p.Rgba.end(), c, c + 4);
        }
    return p;
}

const F kTypes[] = {F::Dxt1, F::Dxt5, F::Argb4444, F::Argb1555, F::Ai88, F::Argb8888};
const std::map<F, uint16_t> kWords = {{F::Dxt1, 0xFF01},     {F::Dxt5, 0xFF05}, {F::Argb4444, 0x4444},
                                      {F::Argb1555, 0x1555}, {F::Ai88, 0x8080}, {F::Argb8888, 0x8888}};

// The pictures made here, then (from kMade on) those the bundled sample
// textures and the builder's test textures of every type decode to: written
// again (in their own types among the others) they must decode as before.
constexpr std::size_t kMade = 7;
const std::vector<TRgbaPicture> kPictures = [] {
    std::vector<TRgbaPicture> pictures = {Picture(64, 32, 0), Picture(32, 16, 1), Picture(32, 32, 2), Picture(8, 8, 2),
                                          Picture(16, 8, 3),  Picture(2, 16, 1),  Picture(1, 1, 1)};
    std::vector<Bytes> files;
    for (const auto& e : fs::directory_iterator(fs::path(VISTREL_SOURCE_DIR) / "samples" / "data"))
        files.push_back(ReadFileBytes(e.path().string()));
    for (F f : kTypes) files.push_back(EncodeTexture(textest::Pattern(32, 16), TexFormat(kWords.at(f))));
    for (const Bytes& file : files)
        if (const auto image = textest::Decode(file))
            pictures.push_back({image->width, image->height, RgbaPixels(*image)});
    return pictures;
}();

bool Dxt(F t) { return t == F::Dxt1 || t == F::Dxt5; }
bool OnOff(F t) { return t == F::Dxt1 || t == F::Argb1555; }

bool Transparent(const TRgbaPicture& p, F type) {
    for (std::size_t i = 3; i < p.Rgba.size(); i += 4)
        if (p.Rgba[i] < (OnOff(type) ? 128 : 255)) return true;
    return false;
}

// The levels expected: 2 × 2 averages, colours weighted by alpha.
std::vector<TRgbaPicture> Chain(const TRgbaPicture& top, F type) {
    std::vector<TRgbaPicture> chain{top};
    while (std::min(chain.back().Width, chain.back().Height) > (Dxt(type) ? 4 : 2)) {
        const TRgbaPicture& p = chain.back();
        TRgbaPicture h{p.Width / 2, p.Height / 2, {}};
        for (int y = 0; y < h.Height; ++y)
            for (int x = 0; x < h.Width; ++x) {
                const uint8_t* q[4];
                for (int k = 0; k < 4; ++k)
                    q[k] = &p.Rgba[((2 * y + k / 2) * std::size_t(p.Width) + 2 * x + k % 2) * 4];
                const int a = q[0][3] + q[1][3] + q[2][3] + q[3][3];
                for (int c = 0; c < 3; ++c) {
                    int plain = 0, weighted = 0;
                    for (auto* s : q) plain += s[c], weighted += s[c] * s[3];
                    h.Rgba.push_back(uint8_t(a > 0 ? (weighted + a / 2) / a : (plain + 2) / 4));
                }
                h.Rgba.push_back(uint8_t((a + 2) / 4));
            }
        chain.push_back(std::move(h));
    }
    return chain;
}

uint32_t U(const Bytes& f, std::size_t at, int bytes) {
    uint32_t v = 0;
    for (int k = 0; k < bytes; ++k) v |= uint32_t(f.at(at + k)) << (8 * k);
    return v;
}

// The file read by itself against the conventions of real files of its type:
// type word, tags (order, values), level sides, SFFO offsets, stored sizes,
// LZSS checksums, the 6 end bytes and nothing after them.
void CheckStructure(const Bytes& f, const TRgbaPicture& p, F type) {
    ASSERT_EQ(U(f, 0, 2), kWords.at(type));
    const bool transparent = Transparent(p, type);
    uint64_t sum[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < p.Rgba.size(); ++i) sum[i % 4] += p.Rgba[i];
    auto mean = [&](int c) { return uint8_t((sum[c] + p.Rgba.size() / 8) / (p.Rgba.size() / 4)); };
    std::vector<std::pair<std::string, Bytes>> tags;
    if (type != F::Ai88) {
        tags.push_back({"CGVA", transparent ? Bytes{255, 255, 255, mean(3)} : Bytes{mean(2), mean(1), mean(0), 255}});
        if (type == F::Dxt1 && transparent && std::max(p.Width, p.Height) > 8)
            tags.push_back({"CXAM", {255, 255, 255, 255}});
        if (transparent) tags.push_back({"GALF", {uint8_t(OnOff(type) ? 2 : 1), 0, 0, 0}});
    }
    tags.push_back({"SFFO", {}});
    std::size_t at = 2;
    for (const auto& [name, value] : tags) {
        ASSERT_EQ(std::string(f.begin() + at, f.begin() + at + 8), "GGAT" + name);
        ASSERT_EQ(U(f, at + 8, 4), name == "SFFO" ? 64u : value.size());
        EXPECT_TRUE(name == "SFFO" || Bytes(f.begin() + at + 12, f.begin() + at + 16) == value) << name;
        at += 12 + U(f, at + 8, 4);
    }
    const std::size_t sffo = at - 64;
    EXPECT_EQ(U(f, at, 2), 0u) << "palette count";
    at += 2;
    const auto chain = Chain(p, type);
    for (std::size_t k = chain.size(); k < 16; ++k) EXPECT_EQ(U(f, sffo + 4 * k, 4), 0u) << "unused offset " << k;
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const TRgbaPicture& level = chain[k];
        ASSERT_EQ(U(f, sffo + 4 * k, 4), at) << "offset of level " << k;
        EXPECT_EQ(U(f, at, 4), uint32_t(level.Width | level.Height << 16)) << "sides of level " << k;
        const std::size_t size = U(f, at + 4, 3), data = at + 7;
        ASSERT_LE(data + size, f.size());
        if (Dxt(type)) {
            EXPECT_EQ(size, std::size_t((level.Width + 3) / 4) * ((level.Height + 3) / 4) * (type == F::Dxt1 ? 8 : 16));
        } else {
            Bytes raw(level.Rgba.size() / (type == F::Argb8888 ? 1 : 2));
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

// Squared error and count of the colour channels of the pixels opaque in
// mask (all without one).
std::pair<double, double> Error(const Bytes& a, const Bytes& b, const uint8_t* mask = nullptr) {
    double sum = 0, n = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (i % 4 < 3 && !(mask && mask[i - i % 4 + 3] < 128)) sum += std::pow(double(a[i]) - b[i], 2), ++n;
    return {sum, n};
}

double Psnr(std::pair<double, double> e) { return e.first == 0 ? 99.0 : 10 * std::log10(65025.0 * e.second / e.first); }

// libsquish's cluster fit on the same level, decoded: the reference for DXT.
Bytes SquishRoundTrip(const TRgbaPicture& level, F type) {
    const int flags = (type == F::Dxt1 ? squish::kDxt1 : squish::kDxt5) | squish::kColourClusterFit;
    Bytes blocks(std::size_t(squish::GetStorageRequirements(level.Width, level.Height, flags)));
    squish::CompressImage(level.Rgba.data(), level.Width, level.Height, blocks.data(), flags);
    Bytes out(level.Rgba.size());
    squish::DecompressImage(out.data(), level.Width, level.Height, blocks.data(), flags);
    return out;
}

TEST(TextureWriter, EveryPictureAsEveryTypeReadsBackAtEveryLevel) {
    ASSERT_EQ(kPictures.size(), kMade + 5 + 6);
    for (const TRgbaPicture& picture : kPictures)
        for (F type : kTypes) {
            SCOPED_TRACE(std::to_string(picture.Width) + " x " + std::to_string(picture.Height) + " alpha " +
                         std::to_string(picture.Rgba[3]) + " as " + TextureFormatName(type));
            Bytes file;
            std::string error;
            ASSERT_TRUE(EncodeTextureFile(picture, type, file, error)) << error;
            CheckStructure(file, picture, type);
            const bool made = std::size_t(&picture - kPictures.data()) < kMade;
            std::pair<double, double> ours, squish;
            for (const TRgbaPicture& level : Chain(picture, type)) {
                SCOPED_TRACE("level of " + std::to_string(level.Width) + " x " + std::to_string(level.Height));
                TextureData record{};
                ASSERT_TRUE(
                    DecodeTextureData(&record, file.data(), file.size(), &error, std::max(level.Width, level.Height)));
                ASSERT_EQ(record.width, level.Width);
                ASSERT_EQ(record.height, level.Height);
                TextureImage image;
                image.width = level.Width, image.height = level.Height;
                image.bgra.assign(record.pixels, record.pixels + level.Rgba.size());
                DestroyTextureData(&record);
                const Bytes got = RgbaPixels(image);
                if (!Dxt(type)) {
                    // exactly the level as the type quantises it (the builder's
                    // packing, named by the type word; red and blue alike to it)
                    TexImage expected(level.Width, level.Height);
                    expected.bgra = level.Rgba;
                    EXPECT_EQ(got, QuantizeLike(expected, TexFormat(kWords.at(type))).bgra);
                    continue;
                }
                // the colour against libsquish (with DXT1's transparent index:
                // of the opaque pixels, the others exactly transparent; DXT5's
                // alpha within half a step of an eight-step ramp)
                const bool holes = type == F::Dxt1 && Transparent(picture, type);
                for (std::size_t i = 3; (holes || type == F::Dxt5) && i < got.size(); i += 4)
                    ASSERT_NEAR(got[i], holes ? (level.Rgba[i] < 128 ? 0 : 255) : level.Rgba[i], holes ? 0 : 19)
                        << "alpha of pixel " << i / 4;
                const uint8_t* mask = holes ? level.Rgba.data() : nullptr;
                const auto e = Error(got, level.Rgba, mask), r = Error(SquishRoundTrip(level, type), level.Rgba, mask);
                // (pictures made here) a level of a few pixels may miss by more,
                // where both are near exact
                EXPECT_TRUE(!made || Psnr(e) + 2.0 >= Psnr(r) || Psnr(e) >= 48.0) << Psnr(e) << " vs " << Psnr(r);
                ours = {ours.first + e.first, ours.second + e.second};
                squish = {squish.first + r.first, squish.second + r.second};
            }
            // and within 1 dB over every level of a picture of the sides real
            // textures have; the samples (flat-colour art with three or more
            // colours in a block, where the cluster fit leads most) 1.5 dB
            if (Dxt(type) && std::min(picture.Width, picture.Height) >= 8) {
                EXPECT_GE(Psnr(ours) + (made ? 1.0 : 1.5), Psnr(squish)) << "over every level";
            }
        }
}

TEST(TextureWriter, FlatPictureComesOutAtTheFormatsBest) {
    TRgbaPicture flat{256, 256, {}};
    for (int i = 0; i < 256 * 256; ++i) flat.Rgba.insert(flat.Rgba.end(), {90, 140, 40, 100});
    Bytes file;
    std::string error;
    ASSERT_TRUE(EncodeTextureFile(flat, F::Argb4444, file, error)) << error;
    CheckStructure(file, flat, F::Argb4444);
    // the format's best: 8 runs of 18 bytes (16 bytes) and their flag byte
    EXPECT_LE(U(file, 2 + 12 * 3 + 8 + 64 + 2 + 4, 3), 256 * 256 * 2 * 17 / 144 + 20);
}

TEST(TextureWriter, ChoosesTheTypeAndRefusesWhatItCannotWrite) {
    auto type = [](std::vector<uint8_t> rgba) { return ChooseTextureFormat({int(rgba.size() / 4), 1, rgba}); };
    EXPECT_EQ(type({10, 20, 30, 255, 40, 50, 60, 255}), F::Dxt1);
    EXPECT_EQ(type({10, 20, 30, 0, 40, 50, 60, 255}), F::Dxt1);
    EXPECT_EQ(type({10, 10, 10, 0, 60, 60, 60, 128}), F::Ai88);
    EXPECT_EQ(type({10, 20, 30, 0, 60, 60, 60, 128}), F::Argb4444);
    std::string error;
    Bytes file;
    auto refused = [&](int w, int h, F type = F::Dxt1, std::size_t bytes = 0) {
        const TRgbaPicture p{w, h, Bytes(bytes ? bytes : std::size_t(w) * h * 4, 255)};
        return !EncodeTextureFile(p, type, file, error) && file.empty() ? error : "written";
    };
    EXPECT_EQ(refused(300, 200), "the sides of a texture must be powers of two: 300 \u00D7 200");
    EXPECT_EQ(refused(0, 0), "the sides of a texture must be powers of two: 0 \u00D7 0");
    EXPECT_EQ(refused(8192, 1), "the sides of a texture must be powers of two: 8192 \u00D7 1");
    EXPECT_EQ(refused(4, 4, F::Palette), "textures of type palette are not written");
    EXPECT_EQ(refused(4, 4, F::Dxt1, 63), "a picture of 4 \u00D7 4 needs 64 bytes, not 63");
    EXPECT_EQ(refused(4096, 4096, F::Argb8888, 1), "a picture of 4096 \u00D7 4096 needs 67108864 bytes, not 1");
    EXPECT_EQ(refused(4096, 4096, F::Dxt5),
              "the level of 4096 \u00D7 4096 takes 16777216 bytes, more than a "
              "texture file's level can hold (16777215)");
}

TEST(TextureWriter, WritesWholeFilesOrNothing) {
    const fs::path dir = fs::temp_directory_path() / ("texture_writer_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string path = (dir / "hull.paa").string();
    std::string error;
    Bytes expected;
    ASSERT_TRUE(WriteTextureFile(path, kPictures[0], F::Argb4444, error)) << error;
    ASSERT_TRUE(EncodeTextureFile(kPictures[0], F::Argb4444, expected, error));
    EXPECT_EQ(ReadFileBytes(path), expected);
    // a picture refused leaves the file as it was
    EXPECT_FALSE(WriteTextureFile(path, {300, 200, Bytes(300 * 200 * 4)}, F::Dxt1, error));
    EXPECT_EQ(fs::file_size(path), expected.size());
    // a folder that is a file: the system's reason, and nothing left behind
    EXPECT_FALSE(WriteTextureFile(path + "/inner.paa", kPictures[0], F::Dxt1, error));
    EXPECT_EQ(error, "cannot create file " + path + "/inner.paa: Not a directory");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    fs::remove_all(dir);
}

}  // namespace
