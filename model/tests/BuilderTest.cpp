// The test-side writer of binarized files: the LZSS encoder against the
// decoder, the compression rule, the byte layout of LOD bodies and whole
// files, and files written by the builder read back by the model reader.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Lzss.h"
#include "LzssEncoder.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"

namespace vistrel {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Decode(const Bytes& block, std::size_t n, LzssChecksum mode, LzssResult* result = nullptr) {
    Bytes out(n);
    const LzssResult r = LzssDecode(block.data(), block.size(), out.data(), n, mode);
    if (result) *result = r;
    EXPECT_EQ(r.status, LzssStatus::Ok);
    EXPECT_EQ(r.consumed, block.size()) << "the block must end right after its checksum";
    return out;
}

// One item of a block, as a decoder walks it.
struct Item {
    bool literal;
    std::size_t distance, length;  // runs only
    std::size_t at;                // output position where the item starts
};

// Walks a block that decodes to n bytes; checks the run limits on the way.
std::vector<Item> Items(const Bytes& block, std::size_t n) {
    std::vector<Item> items;
    std::size_t in = 0, out = 0;
    while (out < n) {
        const uint8_t flags = block.at(in++);
        for (int bit = 0; bit < 8 && out < n; ++bit) {
            if (flags >> bit & 1) {
                items.push_back({true, 0, 1, out});
                ++in;
                ++out;
            } else {
                const uint8_t b1 = block.at(in), b2 = block.at(in + 1);
                in += 2;
                const std::size_t distance = b1 + 256u * (b2 >> 4u);
                const std::size_t length = (b2 & 0x0Fu) + 3;
                items.push_back({false, distance, length, out});
                out += length;
            }
        }
    }
    EXPECT_EQ(out, n) << "a run carries the output past its end";
    EXPECT_EQ(in + 4, block.size()) << "only the checksum may follow the last item";
    return items;
}

Bytes RandomBytes(std::size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<uint8_t>(rng());
    return b;
}

// Bytes in which no 3-byte sequence occurs twice, so that no run can be found.
Bytes DistinctTriples(std::size_t n) {
    std::mt19937 rng(7);
    std::set<uint32_t> seen;
    Bytes b;
    while (b.size() < n) {
        for (;;) {
            const auto c = static_cast<uint8_t>(rng());
            if (b.size() >= 2) {
                const uint32_t key = uint32_t(b[b.size() - 2]) << 16 | uint32_t(b.back()) << 8 | c;
                if (!seen.insert(key).second) continue;
            }
            b.push_back(c);
            break;
        }
    }
    return b;
}

void ExpectRoundTrip(const Bytes& data, LzssChecksum mode, bool blankWindow) {
    const Bytes block = LzssEncode(data, mode, blankWindow);
    EXPECT_EQ(Decode(block, data.size(), mode), data);
    for (const Item& item : Items(block, data.size())) {
        if (item.literal) continue;
        EXPECT_GE(item.distance, 1u);
        EXPECT_LE(item.distance, 4095u);
        // a run never lies wholly before the start of the output
        EXPECT_GT(item.at + item.length, item.distance);
        if (!blankWindow) {
            EXPECT_LE(item.distance, item.at);
        }
    }
}

// --- LZSS encoder ---------------------------------------------------------

TEST(LzssEncoder, KnownVectorDecodesToRepeatedLetters) {
    const Bytes block = {0x07, 0x61, 0x62, 0x63, 0x03, 0x03, 0x72, 0x03, 0x00, 0x00};
    const Bytes out = Decode(block, 9, LzssChecksum::Unsigned);
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabc");
}

TEST(LzssEncoder, EncodesRepeatedLettersAsTheKnownVector) {
    const std::string text = "abcabcabc";
    const Bytes block = LzssEncode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    EXPECT_EQ(block, (Bytes{0x07, 0x61, 0x62, 0x63, 0x03, 0x03, 0x72, 0x03, 0x00, 0x00}));
}

TEST(LzssEncoder, DataWithoutRepeatsIsAllLiteralsInGroupsOfEight) {
    const Bytes data = DistinctTriples(1024);
    const Bytes block = LzssEncode(data);
    ASSERT_EQ(block.size(), 1152u + 4u);
    for (std::size_t g = 0; g < 128; ++g) {
        EXPECT_EQ(block[g * 9], 0xFF);
        EXPECT_TRUE(std::equal(data.begin() + g * 8, data.begin() + g * 8 + 8, block.begin() + g * 9 + 1));
    }
    EXPECT_EQ(Decode(block, 1024, LzssChecksum::Unsigned), data);
}

TEST(LzssEncoder, LastFlagByteKeepsItsLeftoverBitsClear) {
    const Bytes data = DistinctTriples(11);  // 8 literals, then 3: one flag byte with 3 bits
    const Bytes block = LzssEncode(data);
    ASSERT_EQ(block.size(), 2u + 11u + 4u);
    EXPECT_EQ(block[9], 0x07);
}

TEST(LzssEncoder, RoundTripsVariousDataAndSizes) {
    std::mt19937 rng(3);
    std::vector<Bytes> cases;
    for (std::size_t n : {1u, 2u, 3u, 17u, 18u, 19u, 1023u, 1024u, 4095u, 4096u, 4097u, 100000u}) {
        cases.push_back(RandomBytes(n, static_cast<uint32_t>(n)));
        cases.push_back(Bytes(n, 0x41));
        cases.push_back(Bytes(n, 0x20));
        Bytes runs(n);
        for (std::size_t i = 0; i < n; ++i) runs[i] = static_cast<uint8_t>((i / 37) % 5 == 0 ? rng() : (i / 11) & 3);
        cases.push_back(runs);
        Bytes floats(n);
        for (std::size_t i = 0; i + 4 <= n; i += 4) {
            const float f = static_cast<float>(i % 400) * 0.25f;
            std::memcpy(&floats[i], &f, 4);
        }
        cases.push_back(floats);
    }
    for (const Bytes& data : cases)
        for (LzssChecksum mode : {LzssChecksum::Unsigned, LzssChecksum::Signed})
            for (bool blank : {false, true}) {
                SCOPED_TRACE(testing::Message() << "size " << data.size() << " blank " << blank);
                ExpectRoundTrip(data, mode, blank);
            }
}

TEST(LzssEncoder, CompressesRepeatedData) {
    const Bytes same(100000, 0x55);
    const Bytes block = LzssEncode(same);
    // one literal, then runs of 18 in groups of eight: 17 bytes per 144
    EXPECT_LT(block.size(), 12000u);
    EXPECT_EQ(Decode(block, same.size(), LzssChecksum::Unsigned), same);
}

TEST(LzssEncoder, UsesTheWholeWindowAndNoMore) {
    Bytes data = RandomBytes(4095, 11);
    data.insert(data.end(), data.begin(), data.begin() + 18);
    std::vector<Item> items = Items(LzssEncode(data), data.size());
    ASSERT_FALSE(items.back().literal);
    EXPECT_EQ(items.back().distance, 4095u);
    EXPECT_EQ(items.back().length, 18u);

    Bytes far = RandomBytes(4096, 11);
    far.insert(far.end(), far.begin(), far.begin() + 18);
    items = Items(LzssEncode(far), far.size());
    for (const Item& item : items) {
        if (!item.literal) {
            EXPECT_LE(item.distance, 4095u);
        }
    }
}

TEST(LzssEncoder, ChecksumModesDiffer) {
    const Bytes data = {0x80, 0xFF, 0x01};
    const Bytes u = LzssEncode(data, LzssChecksum::Unsigned);
    const Bytes s = LzssEncode(data, LzssChecksum::Signed);
    EXPECT_EQ(LzssChecksumOf(data.data(), data.size(), LzssChecksum::Unsigned), 0x180u);
    // -128 - 1 + 1 = -128
    EXPECT_EQ(LzssChecksumOf(data.data(), data.size(), LzssChecksum::Signed), 0xFFFFFF80u);
    EXPECT_EQ(Bytes(u.end() - 4, u.end()), (Bytes{0x80, 0x01, 0x00, 0x00}));
    EXPECT_EQ(Bytes(s.end() - 4, s.end()), (Bytes{0x80, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Decode(s, 3, LzssChecksum::Signed), data);
    Bytes out(3);
    EXPECT_EQ(LzssDecode(s.data(), s.size(), out.data(), 3, LzssChecksum::Unsigned).status, LzssStatus::BadChecksum);
}

TEST(LzssEncoder, BlankWindowLetsLeadingBlanksBeARun) {
    const std::string text = std::string(18, ' ') + "x";
    const Bytes data(text.begin(), text.end());
    const Bytes plain = LzssEncode(data);
    const Bytes blank = LzssEncode(data, LzssChecksum::Unsigned, true);
    const std::vector<Item> items = Items(blank, data.size());
    EXPECT_FALSE(items.front().literal) << "the first blanks come from before the output";
    EXPECT_EQ(items.front().length, 18u);
    EXPECT_EQ(blank.size(), 1u + 2u + 1u + 4u);
    EXPECT_EQ(plain.size(), 1u + 1u + 2u + 1u + 4u);
    EXPECT_EQ(Decode(blank, data.size(), LzssChecksum::Unsigned), data);
    EXPECT_TRUE(Items(plain, data.size()).front().literal);
}

TEST(LzssEncoder, EmptyInputIsTheChecksumAlone) { EXPECT_EQ(LzssEncode(nullptr, 0), (Bytes{0, 0, 0, 0})); }

// --- compression rule -----------------------------------------------------

TEST(EncodeArray, RawBelow1024BytesCompressedFrom1024) {
    struct Case {
        std::size_t elementSize, rawCount;
    } cases[] = {{1, 1023}, {2, 511}, {4, 255}, {8, 127}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.elementSize);
        const Bytes raw = DistinctTriples(c.rawCount * c.elementSize);
        EXPECT_EQ(EncodeArray(raw.data(), c.rawCount, c.elementSize), raw);

        const std::size_t count = c.rawCount + 1;
        const Bytes big = DistinctTriples(count * c.elementSize);
        const Bytes block = EncodeArray(big.data(), count, c.elementSize);
        ASSERT_EQ(block.size(), 1152u + 4u);  // no repeats: all literals
        EXPECT_EQ(Decode(block, 1024, LzssChecksum::Unsigned), big);
    }
}

TEST(EncodeArray, EmptyArrayIsNothing) { EXPECT_TRUE(EncodeArray(nullptr, 0, 4).empty()); }

// --- LOD body layout ------------------------------------------------------

TEST(BuildLodBody, EmptyBodyIs116Bytes) {
    BLodLayout at;
    const Bytes body = BuildLodBody(BLod{}, &at);
    ASSERT_EQ(body.size(), 116u);
    EXPECT_EQ(at.size, 116u);
    // the skipped ranges carry the fill; every count is 0
    const std::pair<std::size_t, std::size_t> skipped[] = {{16, 8}, {48, 16}, {80, 4}, {100, 12}};
    std::vector<bool> isSkip(116, false);
    for (auto [from, n] : skipped)
        for (std::size_t i = from; i < from + n; ++i) {
            isSkip[i] = true;
            EXPECT_EQ(body[i], kSkipFill) << i;
        }
    for (std::size_t i = 0; i < 116; ++i) {
        if (!isSkip[i]) {
            EXPECT_EQ(body[i], 0) << i;
        }
    }
    EXPECT_EQ(at.minPos, 24u);
    EXPECT_EQ(at.maxPos, 36u);
    EXPECT_EQ(at.proxyCount, 112u);
}

TEST(BuildLodBody, BoundingBoxIsStoredAfterTheFirstSkip) {
    BLod lod;
    lod.minPos = {-1, -2, -3};
    lod.maxPos = {1, 2, 3.5f};
    const Bytes body = BuildLodBody(lod);
    EXPECT_EQ(GetFloatAt(body, 24), -1.0f);
    EXPECT_EQ(GetFloatAt(body, 32), -3.0f);
    EXPECT_EQ(GetFloatAt(body, 44), 3.5f);
}

TEST(BuildLodBody, TriangleRecordIs13BytesAndQuad15) {
    BLod tri;
    tri.polygons.push_back({0x10000020u, 2, {0, 1, 2}, std::nullopt});
    BLodLayout at;
    const Bytes body = BuildLodBody(tri, &at);
    ASSERT_EQ(body.size(), 116u + 13u);
    EXPECT_EQ(GetInt32At(body, at.polygonCount), 1);
    const std::size_t p = at.polygons.at(0);
    EXPECT_EQ(p, at.polygonCount + 8);
    EXPECT_EQ(Bytes(body.begin() + p, body.begin() + p + 13), (Bytes{0x20, 0, 0, 0x10, 2, 0, 3, 0, 0, 1, 0, 2, 0}));

    BLod quad;
    quad.polygons.push_back({0, -1, {3, -2, 1, 0}, std::nullopt});
    const Bytes quadBody = BuildLodBody(quad, &at);
    ASSERT_EQ(quadBody.size(), 116u + 15u);
    const std::size_t q = at.polygons.at(0);
    EXPECT_EQ(Bytes(quadBody.begin() + q + 4, quadBody.begin() + q + 15),
              (Bytes{0xFF, 0xFF, 4, 3, 0, 0xFE, 0xFF, 1, 0, 0, 0}));
}

TEST(BuildLodBody, CornerCountOverrideWritesTheClaimedCountOnly) {
    BLod lod;
    lod.polygons.push_back({0, 0, {0, 1, 2}, uint8_t{5}});
    BLodLayout at;
    const Bytes body = BuildLodBody(lod, &at);
    EXPECT_EQ(body.size(), 116u + 13u);
    EXPECT_EQ(body[at.polygons[0] + 6], 5);
}

TEST(BuildLodBody, ArraysFollowTheCompressionRule) {
    BLod lod;
    lod.vertexInfo.assign(255, 0);
    lod.uv.assign(127, BUV{0.5f, 0.25f});
    lod.unique.assign(511, 1);
    lod.link.assign(512, 1);  // compressed
    BLodLayout at;
    const Bytes body = BuildLodBody(lod, &at);
    EXPECT_EQ(at.uvCount, 4u + 1020u);
    EXPECT_EQ(at.vertexCount, at.uvCount + 4 + 1016);
    EXPECT_EQ(at.linkCount, at.uniqueCount + 4 + 1022);
    const std::size_t block = at.linkCount + 4;
    const Bytes expected = EncodeArray(std::vector<int16_t>(512, 1).data(), 512, 2);
    EXPECT_LT(expected.size(), 1024u);
    EXPECT_EQ(at.polygonCount, block + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), body.begin() + block));
    const Bytes decoded = Decode(expected, 1024, LzssChecksum::Unsigned);
    for (std::size_t i = 0; i < 1024; i += 2) {
        EXPECT_EQ(decoded[i], 1);
        EXPECT_EQ(decoded[i + 1], 0);
    }
}

TEST(BuildLodBody, FieldsInOrder) {
    BLod lod;
    lod.vertexInfo = {7, 8};
    lod.uv = {{0, 1}, {1, 0}};
    lod.vertices = {{1, 2, 3}, {4, 5, 6}};
    lod.normals = {{0, 0, -1}, {0, 0, -1}};
    lod.textures = {"data\\a.paa"};
    lod.unique = {0, 1};
    lod.link = {0, 1};
    lod.propertyRecords = 2;
    BSelection sel;
    sel.name = "sel";
    sel.faces = {};
    sel.entries1 = {1, 2};
    sel.entries2 = {3};
    sel.vertexes = {1, 1};
    sel.entries3 = {9, 9, 9};
    lod.selections.push_back(sel);
    lod.properties = {{"abc", "x"}};
    lod.trailing.push_back({0, {{1, 1, 1}, {2, 2, 2}}});
    BProxy proxy;
    proxy.name = "px";
    lod.proxies.push_back(proxy);

    BLodLayout at;
    const Bytes body = BuildLodBody(lod, &at);
    EXPECT_EQ(GetInt32At(body, 0), 2);
    EXPECT_EQ(GetInt32At(body, 4), 7);
    EXPECT_EQ(at.uvCount, 12u);
    EXPECT_EQ(at.vertexCount, 12u + 4 + 16);
    EXPECT_EQ(GetFloatAt(body, at.vertexCount + 4 + 12 + 8), 6.0f);
    EXPECT_EQ(at.normalCount, at.vertexCount + 4 + 24);
    EXPECT_EQ(at.minPos, at.normalCount + 4 + 24 + 8);
    EXPECT_EQ(at.textureCount, at.maxPos + 12 + 16);
    EXPECT_EQ(at.textureNames.at(0), at.textureCount + 4);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&body[at.textureNames[0]])), "data\\a.paa");
    EXPECT_EQ(at.uniqueCount, at.textureNames[0] + 11);
    EXPECT_EQ(at.propertyRecordCount, at.polygonCount + 8);
    EXPECT_EQ(at.selectionCount, at.propertyRecordCount + 4 + 36);
    // selection: name, Nf, 4 skipped, Na + 8, 1 skipped, Nb + 4, Nsv + 4, Nc + 3
    const std::size_t s = at.selections.at(0);
    EXPECT_EQ(s, at.selectionCount + 4);
    EXPECT_EQ(at.namedPropertyCount, s + 4 + 4 + 4 + 4 + 8 + 1 + 4 + 4 + 4 + 4 + 4 + 3);
    EXPECT_EQ(GetInt32At(body, s + 4 + 4 + 4 + 4 + 8 + 1 + 4 + 4), 2);  // Nsv
    EXPECT_EQ(at.trailingCount, at.namedPropertyCount + 4 + 4 + 2);
    EXPECT_EQ(GetInt32At(body, at.trailingCount + 8), 2);
    EXPECT_EQ(at.proxyCount, at.trailingCount + 4 + 8 + 24 + 12);
    EXPECT_EQ(at.size, at.proxyCount + 4 + 3 + 56);
    EXPECT_EQ(body.size(), at.size);
}

TEST(BuildLodBody, CountOverridesReplaceTheCountOnly) {
    BLod lod;
    lod.vertices = {{1, 2, 3}};
    lod.vertexCountOverride = -1;
    lod.uniqueCountOverride = 0x7FFFFFFF;
    BLodLayout at;
    const Bytes body = BuildLodBody(lod, &at);
    EXPECT_EQ(body.size(), 116u + 12u);
    EXPECT_EQ(GetInt32At(body, at.vertexCount), -1);
    EXPECT_EQ(GetFloatAt(body, at.vertexCount + 4), 1.0f);
    EXPECT_EQ(GetInt32At(body, at.uniqueCount), 0x7FFFFFFF);
}

// --- whole files ----------------------------------------------------------

BLod TriangleLod(float resolution, std::size_t points) {
    BLod lod;
    lod.resolution = resolution;
    for (std::size_t i = 0; i < points; ++i) {
        lod.vertices.push_back({static_cast<float>(i), 1, 2});
        lod.normals.push_back({0, -1, 0});
        lod.uv.push_back({static_cast<float>(i), 0.5f});
        lod.vertexInfo.push_back(0);
        lod.unique.push_back(static_cast<int16_t>(i));
        lod.link.push_back(static_cast<int16_t>(i));
    }
    if (points >= 3) lod.polygons.push_back({0, -1, {0, 1, 2}, std::nullopt});
    return lod;
}

TEST(BuildModel, ModelWithoutLodsIs170Bytes) {
    BModelLayout at;
    BModel model;
    model.totalMass = 5;
    const Bytes file = BuildModel(model, &at);
    ASSERT_EQ(file.size(), 170u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'B', 'M', 'D', 'L'}));
    EXPECT_EQ(at.resolutions, 12u);
    EXPECT_EQ(at.offset1, 36u);
    EXPECT_EQ(at.bboxMin, 60u);
    EXPECT_EQ(at.offset2, 84u);
    EXPECT_EQ(at.offset3, 96u);
    EXPECT_EQ(at.massCount, 162u);
    EXPECT_FALSE(at.massesWritten);
    EXPECT_EQ(GetFloatAt(file, 166), 5.0f);
    for (std::size_t i = 12; i < 36; ++i) EXPECT_EQ(file[i], kSkipFill);
    for (std::size_t i = 108; i < 162; ++i) EXPECT_EQ(file[i], kSkipFill);
}

TEST(BuildModel, LodBodiesFollowTheHeaderBackToBack) {
    BModel model;
    model.lods = {TriangleLod(1, 3), TriangleLod(2, 4)};
    const std::vector<std::size_t> starts = LodBodyOffsets(model);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0], 12u);
    EXPECT_EQ(starts[1], 12u + BuildLodBody(model.lods[0]).size());
    BModelLayout at;
    const Bytes file = BuildModel(model, &at);
    EXPECT_EQ(at.resolutions, starts[1] + BuildLodBody(model.lods[1]).size());
    EXPECT_EQ(GetFloatAt(file, at.resolutions + 4), 2.0f);
    EXPECT_EQ(GetInt32At(file, 8), 2);
}

TEST(BuildModel, MassesWrittenOnlyWhenTheReaderTakesThem) {
    BModel model;
    model.lods = {TriangleLod(1, 3), TriangleLod(kBuilderGeometryResolution, 3)};
    model.masses = {1, 2, 3};
    model.totalMass = 6;
    BModelLayout at;
    Bytes file = BuildModel(model, &at);
    EXPECT_TRUE(at.massesWritten);
    EXPECT_EQ(at.totalMass, at.masses + 12);
    EXPECT_EQ(GetFloatAt(file, at.masses + 8), 3.0f);

    model.massCountOverride = 4;  // does not match: the total mass follows directly
    file = BuildModel(model, &at);
    EXPECT_FALSE(at.massesWritten);
    EXPECT_EQ(at.totalMass, at.massCount + 4);
    EXPECT_EQ(GetInt32At(file, at.massCount), 4);

    model.forceMasses = true;
    BuildModel(model, &at);
    EXPECT_TRUE(at.massesWritten);

    model.massCountOverride.reset();
    model.forceMasses = false;
    model.writeMasses = false;
    BuildModel(model, &at);
    EXPECT_FALSE(at.massesWritten);

    // the last LOD with resolution 1e13 counts
    model.writeMasses = true;
    model.lods.push_back(TriangleLod(kBuilderGeometryResolution, 4));
    BuildModel(model, &at);
    EXPECT_FALSE(at.massesWritten);
    model.masses.push_back(4);
    BuildModel(model, &at);
    EXPECT_TRUE(at.massesWritten);
}

TEST(BuildModel, ManyMassesAreOneBlock) {
    BModel model;
    model.lods = {TriangleLod(kBuilderGeometryResolution, 300)};
    model.masses.assign(300, 2.5f);
    BModelLayout at;
    const Bytes file = BuildModel(model, &at);
    ASSERT_TRUE(at.massesWritten);
    const Bytes block(file.begin() + at.masses, file.begin() + at.totalMass);
    const Bytes decoded = Decode(block, 1200, LzssChecksum::Unsigned);
    for (std::size_t i = 0; i < 1200; i += 4) EXPECT_EQ(GetFloatAt(decoded, i), 2.5f);
}

TEST(BuildModel, PadsSoThatEveryTextureWindowFits) {
    BModel model;
    model.lods = {TriangleLod(1, 3)};
    model.lods[0].textures = {"t.paa"};
    BModelLayout at;
    Bytes file = BuildModel(model, &at);
    const std::size_t name = at.lodStart[0] + at.lodLayouts[0].textureNames.at(0);
    EXPECT_GT(at.padding, 0u);
    EXPECT_EQ(file.size(), name + 256);

    model.padTextureWindows = false;
    file = BuildModel(model, &at);
    EXPECT_EQ(at.padding, 0u);
    EXPECT_LT(file.size(), name + 256);
}

// --- read back by the model reader ----------------------------------------

struct Recorder {
    std::vector<std::string> messages;
    TMessageEvent Sink() {
        return [this](const std::string& m) { messages.push_back(m); };
    }
};

TEST(BuilderReadBack, ModelReadsBackWhole) {
    BModel model;
    model.headerValue = 3;
    BLod lod = TriangleLod(1, 4);
    lod.polygons.push_back({0, 0, {0, 2, 3, 1}, std::nullopt});
    lod.textures = {"data\\hull_dxt1.paa"};
    BSelection sel;
    sel.name = "both";
    sel.faces = {1, 0};
    sel.vertexes = {3, 3};
    lod.selections.push_back(sel);
    lod.properties = {{"abc", "x"}, {"empty", ""}};
    model.lods.push_back(lod);
    model.lods.push_back(TriangleLod(kBuilderGeometryResolution, 3));
    model.masses = {1, 2, 3};
    model.totalMass = 6;
    model.offset2 = {0, 0.5f, 0};

    Recorder rec;
    TP3dModell m("built.p3d", BuildModel(model), {}, rec.Sink());
    EXPECT_TRUE(m.Complete());
    EXPECT_TRUE(rec.messages.empty());
    ASSERT_EQ(m.LODs.Count(), 2);
    const TP3dLOD* l0 = m.LODs.Items(0);
    EXPECT_EQ(l0->Resolution, 1.0f);
    ASSERT_EQ(l0->Vertexes.Count(), 4);
    EXPECT_EQ(l0->Vertexes.Items(3)->X, 3.0f);
    EXPECT_EQ(l0->Vertexes.Items(3)->Y, 1.5f);
    ASSERT_EQ(l0->Polygons.Count(), 2);
    EXPECT_EQ(l0->Polygons.Items(1)->VertexCount, 4);
    EXPECT_EQ(l0->Polygons.Items(1)->Corners[1].U, 2.0f);
    EXPECT_EQ(l0->Textures, std::vector<std::string>{"data\\hull_dxt1.paa"});
    EXPECT_EQ(l0->Properties, (std::vector<std::string>{"abc= x", "empty= "}));
    ASSERT_EQ(l0->Selections.Count(), 1);
    const TRealSelection* s = l0->Selections.Items(0);
    EXPECT_EQ(s->Name, "both");
    ASSERT_EQ(s->Polygons.Count(), 2);
    EXPECT_EQ(s->Polygons.Items(0), l0->Polygons.Items(1));
    ASSERT_EQ(s->Vertexes.Count(), 2);
    EXPECT_EQ(s->Vertexes.Items(1), l0->Vertexes.Items(3));
    EXPECT_EQ(m.GeometryLOD, m.LODs.Items(1));
    EXPECT_EQ(m.Masses, (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(m.Mass, 6.0f);
    EXPECT_EQ(m.Offset2.Y, 0.5f);
}

TEST(BuilderReadBack, LargeLodWithCompressedArraysReadsBack) {
    BModel model;
    model.lods = {TriangleLod(kBuilderGeometryResolution, 600)};
    BSelection sel;
    sel.name = "many";
    for (uint16_t i = 0; i < 600; ++i) sel.vertexes.push_back(i);
    for (uint16_t i = 0; i < 600; ++i) sel.entries3.push_back(static_cast<uint8_t>(i));
    sel.entries1.assign(300, 0x01020304u);
    model.lods[0].selections.push_back(sel);
    for (int i = 0; i < 600; ++i) model.masses.push_back(static_cast<float>(i));
    model.totalMass = 1;

    TP3dModell m("large.p3d", BuildModel(model));
    ASSERT_TRUE(m.Complete());
    const TP3dLOD* lod = m.LODs.Items(0);
    EXPECT_EQ(lod->VertexInfo.size(), 600u);
    EXPECT_EQ(lod->UVData.size(), 600u);
    EXPECT_EQ(lod->UVData[599].U, 599.0f);
    EXPECT_EQ(lod->UniqueVertexes.Count, 600);
    EXPECT_EQ(lod->LinkToUnique.Items.at(599), 599);
    EXPECT_EQ(lod->Selections.Items(0)->Vertexes.Items(300), lod->Vertexes.Items(300));
    ASSERT_EQ(m.Masses.size(), 600u);
    EXPECT_EQ(m.Masses[599], 599.0f);
    EXPECT_EQ(m.Mass, 1.0f);
}

TEST(BuilderReadBack, SampleModelReads) {
    Recorder rec;
    TP3dModell m(std::string(VISTREL_SOURCE_DIR) + "/samples/tank.p3d", TLogEvent{}, rec.Sink());
    EXPECT_TRUE(m.Complete());
    EXPECT_TRUE(rec.messages.empty());
    ASSERT_EQ(m.LODs.Count(), 5);
    EXPECT_EQ(m.LODs.Items(0)->Resolution, 1.0f);
    EXPECT_EQ(m.LODs.Items(1)->Resolution, 2.0f);
    EXPECT_EQ(m.LODs.Items(2)->Resolution, 4.0f);
    EXPECT_EQ(m.LODs.Items(4)->Resolution, 1e15f);
    ASSERT_EQ(m.GeometryLOD, m.LODs.Items(3));
    ASSERT_EQ(static_cast<int>(m.Masses.size()), m.GeometryLOD->UniqueVertexes.Count);
    float sum = 0;
    for (float mass : m.Masses) sum += mass;
    EXPECT_EQ(sum, 24500.0f);
    EXPECT_EQ(m.Mass, 24500.0f);
    EXPECT_EQ(m.Offset2.Y, 0.5f);
    const TP3dLOD* best = m.LODs.Items(0);
    EXPECT_GE(best->VertexInfo.size(), 256u);
    EXPECT_GE(best->UVData.size(), 128u);
    EXPECT_EQ(best->Textures.at(0), "data\\hull_dxt1.paa");
    std::set<std::string> names;
    for (const TRealSelection* s : best->Selections) names.insert(s->Name);
    for (const char* n : {"turret", "barrel", "hatch", "wheel_left_1", "wheel_right_4"})
        EXPECT_TRUE(names.count(n)) << n;
    EXPECT_EQ(m.GeometryLOD->Properties, (std::vector<std::string>{"class= vehicle", "map= tank"}));
    // detail decreases with the resolution
    EXPECT_GT(m.LODs.Items(0)->Polygons.Count(), m.LODs.Items(1)->Polygons.Count());
    EXPECT_GT(m.LODs.Items(1)->Polygons.Count(), m.LODs.Items(2)->Polygons.Count());
}

}  // namespace
}  // namespace vistrel
