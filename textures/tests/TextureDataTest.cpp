// The viewer's two functions: CreateTextureData fills the record (or leaves it
// empty for a file it cannot read or decode), DestroyTextureData releases and
// empties it, and the same record can be filled again. Also the bundled sample
// textures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "TextureTestSupport.h"

using namespace textest;
using vistrel::TexFormat;
using vistrel::TexImage;

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vistrel-textures-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = (path_ / name).string();
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return path;
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// A record as the viewer allocates it: contents undefined.
vistrel::TextureData Garbage() {
    vistrel::TextureData record;
    std::memset(&record, 0xCD, sizeof record);
    return record;
}

void ExpectEmpty(const vistrel::TextureData& record) {
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.height, 0);
    EXPECT_EQ(record.pixels, nullptr);
}

}  // namespace

TEST(TextureData, RecordIsTwoIntsAndAPointer) {
    EXPECT_EQ(offsetof(vistrel::TextureData, width), 0u);
    EXPECT_EQ(offsetof(vistrel::TextureData, height), 4u);
    EXPECT_EQ(offsetof(vistrel::TextureData, pixels), 8u);
}

TEST(TextureData, CreateFillsTheRecord) {
    TempDir dir;
    const TexImage image = Pattern(20, 12);
    const std::string path = dir.Write("wall.paa", vistrel::EncodeTexture(image, TexFormat::Argb8888));
    vistrel::TextureData record = Garbage();
    vistrel::CreateTextureData(&record, path.c_str());
    ASSERT_EQ(record.width, 20);
    ASSERT_EQ(record.height, 12);
    ASSERT_NE(record.pixels, nullptr);
    EXPECT_EQ(0, std::memcmp(record.pixels, image.bgra.data(), image.bgra.size()));
    // the first stored row first; blue, green, red, alpha
    EXPECT_EQ(record.pixels[(5 * 20 + 7) * 4 + 0], image.At(7, 5)[0]);
    EXPECT_EQ(record.pixels[(5 * 20 + 7) * 4 + 2], image.At(7, 5)[2]);
    vistrel::DestroyTextureData(&record);
    ExpectEmpty(record);
}

TEST(TextureData, RecordIsFilledAgainAfterDestroy) {
    TempDir dir;
    const std::string first =
        dir.Write("a.paa", vistrel::EncodeTexture(TexImage(8, 8, {1, 2, 3, 255}), TexFormat::Dxt1));
    const std::string second =
        dir.Write("b.pac", vistrel::EncodeTexture(TexImage(16, 4, {0, 255, 0, 255}), TexFormat::Palette));
    vistrel::TextureData record = Garbage();
    vistrel::CreateTextureData(&record, first.c_str());
    ASSERT_EQ(record.width, 8);
    vistrel::DestroyTextureData(&record);
    vistrel::CreateTextureData(&record, second.c_str());
    ASSERT_EQ(record.width, 16);
    ASSERT_EQ(record.height, 4);
    EXPECT_EQ(record.pixels[4 * 63 + 1], 255);
    EXPECT_EQ(record.pixels[4 * 63 + 3], 255);
    vistrel::DestroyTextureData(&record);
    ExpectEmpty(record);
    // a second Destroy of an emptied record does nothing
    vistrel::DestroyTextureData(&record);
    ExpectEmpty(record);
}

TEST(TextureData, FilesThatDoNotDecodeGiveAnEmptyRecord) {
    TempDir dir;
    vistrel::TextureData record = Garbage();
    vistrel::CreateTextureData(&record, dir.File("missing.paa").c_str());
    ExpectEmpty(record);

    record = Garbage();
    vistrel::CreateTextureData(&record, dir.Write("text.paa", {'n', 'o', 't', ' ', 'a', ' ', 't', 'e', 'x'}).c_str());
    ExpectEmpty(record);

    auto bytes = vistrel::EncodeTexture(Pattern(16, 16), TexFormat::Argb4444);
    bytes.resize(bytes.size() / 2);
    record = Garbage();
    vistrel::CreateTextureData(&record, dir.Write("cut.paa", bytes).c_str());
    ExpectEmpty(record);

    record = Garbage();
    vistrel::CreateTextureData(&record, dir.Write("empty.paa", {}).c_str());
    ExpectEmpty(record);

    record = Garbage();
    vistrel::CreateTextureData(&record, dir.File("").c_str());  // a folder
    ExpectEmpty(record);

    record = Garbage();
    vistrel::CreateTextureData(&record, nullptr);
    ExpectEmpty(record);
    vistrel::DestroyTextureData(&record);
    ExpectEmpty(record);

    vistrel::CreateTextureData(nullptr, "x");
    vistrel::DestroyTextureData(nullptr);
}

TEST(TextureData, DecodeFromMemory) {
    const TexImage image = Pattern(5, 3, false);
    const auto bytes = vistrel::EncodeTexture(image, TexFormat::Argb1555);
    vistrel::TextureData record = Garbage();
    std::string error;
    ASSERT_TRUE(vistrel::DecodeTextureData(&record, bytes.data(), bytes.size(), &error)) << error;
    EXPECT_EQ(record.width, 5);
    EXPECT_EQ(record.height, 3);
    const auto expected = vistrel::QuantizeLike(image, TexFormat::Argb1555);
    EXPECT_EQ(0, std::memcmp(record.pixels, expected.bgra.data(), expected.bgra.size()));
    vistrel::DestroyTextureData(&record);

    record = Garbage();
    EXPECT_FALSE(vistrel::DecodeTextureData(&record, bytes.data(), 9, &error));
    EXPECT_EQ(error, "truncated tag header at byte 2");
    ExpectEmpty(record);
}

TEST(TextureData, DecodeTextureFileSaysWhatFailed) {
    std::string error;
    EXPECT_FALSE(vistrel::DecodeTextureFile("/nonexistent/texture.paa", &error));
    EXPECT_EQ(error, "cannot read file /nonexistent/texture.paa");
}

// ---- the bundled sample textures ------------------------------------------

TEST(SampleTextures, DecodeAsTheirNamesSay) {
    struct Expected {
        const char* name;
        const char* format;
        int side;
    };
    const Expected samples[] = {
        {"hull_dxt1.paa", "DXT1", 128}, {"turret_4444.paa", "ARGB4444", 64}, {"wheels_1555.paa", "ARGB1555", 64},
        {"glass_ai88.paa", "AI88", 32}, {"camo_pal.pac", "palette", 64},
    };
    for (const Expected& e : samples) {
        const std::string path = std::string(VISTREL_SOURCE_DIR) + "/samples/data/" + e.name;
        std::string error;
        const auto image = vistrel::DecodeTextureFile(path, &error);
        ASSERT_TRUE(image) << e.name << ": " << error;
        EXPECT_EQ(image->format, e.format) << e.name;
        EXPECT_EQ(image->width, e.side) << e.name;
        EXPECT_EQ(image->height, e.side) << e.name;
        vistrel::TextureData record = Garbage();
        vistrel::CreateTextureData(&record, path.c_str());
        ASSERT_NE(record.pixels, nullptr) << e.name;
        EXPECT_EQ(0, std::memcmp(record.pixels, image->bgra.data(), image->bgra.size())) << e.name;
        vistrel::DestroyTextureData(&record);
    }
}

// Pictures too small for the full detail take the first level that fits; a
// level after it that is not sound leaves the largest one.
TEST(TextureData, UpToTakesTheFirstLevelThatFitsOrTheLargest) {
    TempDir dir;
    const TexImage image = Pattern(64, 32);
    const vistrel::TexFile file = vistrel::EncodeTextureFile(image, TexFormat::Argb8888);
    ASSERT_EQ(file.levelHeaders.size(), 4u);  // 64 x 32 down to 8 x 4
    const std::string path = dir.Write("levels.paa", file.bytes);
    auto decodeUpTo = [](const std::string& p, int side) {
        vistrel::TextureData record = Garbage();
        vistrel::CreateTextureDataUpTo(&record, p.c_str(), side);
        std::pair<int, int> size{record.width, record.height};
        Bytes pixels(record.pixels, record.pixels + std::size_t(record.width) * record.height * 4);
        vistrel::DestroyTextureData(&record);
        return std::make_pair(size, pixels);
    };
    EXPECT_EQ(decodeUpTo(path, 0).first, std::make_pair(64, 32));
    EXPECT_EQ(decodeUpTo(path, 64).first, std::make_pair(64, 32));
    EXPECT_EQ(decodeUpTo(path, 2).first, std::make_pair(8, 4));  // none fits: the last
    const auto fitted = decodeUpTo(path, 20);
    EXPECT_EQ(fitted.first, std::make_pair(16, 8));
    EXPECT_EQ(fitted.second, vistrel::HalveImage(vistrel::HalveImage(image)).bgra);

    Bytes larger = file.bytes;  // the second level claims to be wider than the first
    larger[file.levelHeaders[1]] = 0x00;
    larger[file.levelHeaders[1] + 1] = 0x01;
    EXPECT_EQ(decodeUpTo(dir.Write("larger.paa", larger), 20).first, std::make_pair(64, 32));
    Bytes broken = file.bytes;  // the level that fits does not decode
    broken[file.levelHeaders[2] + 7] ^= 0xFF;
    broken[file.levelHeaders[2] + 8] ^= 0xFF;
    EXPECT_EQ(decodeUpTo(dir.Write("broken.paa", broken), 20).first, std::make_pair(64, 32));
}
