// The reader's debug log: every line of a small model's reading in order,
// with stream positions worked out from the file layout by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ReaderTestSupport.h"

using namespace readertest;
using vistrel::BLod;
using vistrel::BModel;
using vistrel::BModelLayout;
using vistrel::BSelection;
using vistrel::TP3dModell;

namespace {

std::string Stars(std::size_t n) { return std::string(n, '*'); }

std::string LodHeader(int i) { return Stars(18) + " reading LOD " + std::to_string(i) + Stars(23); }

const std::string kSelections = Stars(18) + "Selections" + Stars(22);
const std::string kNamedProperties = Stars(25) + " Named Properties " + Stars(25);
const std::string kProxys = Stars(25) + " Proxys " + Stars(25);
const std::string kEndOfLod = Stars(25) + " /End of Lod " + Stars(25);

// One LOD with a little of everything; its byte positions are listed with
// the expected log below.
BModel LoggedModel() {
    BLod lod;
    lod.vertexInfo = {1, 2, 3};                        // 12 bytes
    lod.uv = {{0, 0}, {1, 0}, {0, 1}};                 // 24
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};  // 36
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};   // 36
    lod.minPos = {-1, -1, -1};
    lod.maxPos = {1, 1, 1};
    lod.textures = {"tex\\a.paa"};  // 10 with its zero
    lod.unique = {0, 1, 2};         // 6
    lod.link = {0, 1, 2};           // 6
    vistrel::BPolygon p;
    p.corners = {0, 1, 2};  // 13
    lod.polygons = {p};
    BSelection s;
    s.name = "sel";
    s.faces = {0};
    s.entries1 = {0xABCDEF01u};
    s.vertexes = {0, 1};
    s.entries3 = {7};
    lod.selections = {s};
    lod.properties = {{"a", "b"}};
    lod.trailing = {{0x01020304u, {{1, 2, 3}, {4, 5, 6}}}};
    vistrel::BProxy proxy;
    proxy.name = "proxy\\x";
    lod.proxies = {proxy};
    lod.resolution = 1e13f;

    BModel m;
    m.headerValue = 0x0101;
    m.lods = {lod};
    m.offset1 = {1.5f, 0.0f, -2.25f};
    m.bboxMin = {-1.0f, -2.0f, -3.0f};
    m.bboxMax = {1.0f, 2.5f, 3.125f};
    m.offset2 = {0.5f, 0.25f, -1.0f};
    m.offset3 = {12.34f, -7.0f, 0.004f};
    m.masses = {1.0f, 2.0f, 3.0f};
    m.totalMass = 6.0f;
    return m;
}

// Positions in the file of LoggedModel, from its layout:
//   0 magic, 4 header value, 8 LOD count, 12 body
//   12 Nvi, 16 vertex info, 28 Nuv, 32 UV, 56 Nv, 60 vertices, 96 Nn,
//   100 normals, 136 skip 8, 144 min, 156 max, 168 skip 16, 184 Nt,
//   188 name, 198 Nu, 202 table, 208 Nl, 212 table, 218 Np, 222 skip 4,
//   226 polygon, 239 Npr, 243 Ns, 247 name "sel", 251 Nf, 255 faces,
//   257 skip 4, 261 Na, 265 entries, 269 skip 1, 270 Nb, 274 Nsv,
//   278 vertexes, 282 Nc, 286 entries, 287 Nnp, 291 "a" "b", 295 Ne,
//   299 head, 303 Nk, 307 items, 331 skip 12, 343 Nx, 347 name, 355 skip
//   56, 411 resolution, 415 skip 24, 439 Offset1, 451 skip 12, 463 bbox,
//   487 Offset2, 499 Offset3, 511 skip 54, 565 M, 569 masses, 581 total,
//   585 end.
std::vector<std::string> ExpectedLog(const std::string& path) {
    return {
        "******OPEN:" + path,
        "Offset: 4",
        "reading BMDL....",
        "LODCount: 1",
        "reading LOD....",
        LodHeader(0),
        "Vertex Info Count: 3",
        "Offset: 28",
        "UV Count: 3",
        "Vertex Count: 3",
        "reading vertexes....",
        "Normals Count: 3",
        "reading Normals....",
        "Texture Count: 1",
        "reading Textures....",
        "Unique_Vertex_Count: 3",
        "Link_to_Unique_Count: 3",
        "Polygon Count: 1",
        "reading polygons....",
        "finished polygons",
        "Offset: 239",
        "Read Prop_Count Offset: 239",
        "Prop_Count Count: 0",
        kSelections,
        "Read Sel_Count Offset: 243",
        "Selection Count: 1",
        "Name: sel",
        "FaceCount: 1",
        "Offset: 261",
        "Unknown Count1: 1",
        "Offset: 270",
        "Unknown Count2: 0",
        "Offset SelVertexCount: 274",
        "VertexCount: 2",
        "Unknown Count2: 1",
        "------------------",
        kNamedProperties,
        "Named Properties Count: 1",
        "Property: a = b",
        "Offset: 295",
        "Unknown Count: 1",
        "   Offset: 303",
        "   AVertex Count: 2",
        "Offset: 331",
        kProxys,
        "Proxy Count: 1",
        "ProxyName: proxy\\x",
        "------------------",
        kEndOfLod,
        "Offset: 411",
        "reading LOD types....",
        "0: 1.000e13",
        "Offset 1 -----------------------------",
        "1.50 Xoffset",
        "0.00 Yoffset",
        "-2.25 Zoffset",
        "Dimension -----------------------------",
        "Min: (-1.000; -2.000; -3.000)",
        "Max: (1.000; 2.500; 3.125)",
        "Offset 2 -----------------------------",
        "0.50 Xoffset",
        "0.25 Yoffset",
        "-1.00 Zoffset",
        "Offset 3 -----------------------------",
        "12.34 Xoffset",
        "-7.00 Yoffset",
        "0.00 Zoffset",
        "Masses->Count: 3",
        "Offset MassBeginn: 0",
    };
}

void ExpectLinesEqual(const std::vector<std::string>& got, const std::vector<std::string>& want) {
    const std::size_t n = std::max(got.size(), want.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::string g = i < got.size() ? got[i] : "<missing>";
        const std::string w = i < want.size() ? want[i] : "<none>";
        EXPECT_EQ(g, w) << "log line " << i;
    }
}

TEST(ReaderLog, SmallModelLogsEveryLineInOrder) {
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(LoggedModel(), &layout);
    ASSERT_EQ(bytes.size(), 585u);
    ASSERT_EQ(layout.resolutions, 411u);
    Sinks sinks;
    std::string path;
    auto model = LoadFile(bytes, sinks, &path);
    EXPECT_TRUE(model->Complete());
    EXPECT_TRUE(sinks.messages.empty());
    ExpectLinesEqual(sinks.log, ExpectedLog(path));
    EXPECT_EQ(model->Masses, (std::vector<float>{1, 2, 3}));
}

TEST(ReaderLog, EmptySinkLogsNothingAndGivesTheSameModel) {
    const Bytes bytes = vistrel::BuildModel(LoggedModel());
    Sinks logged, quiet;
    auto a = LoadFile(bytes, logged);
    auto b = LoadFileQuiet(bytes, quiet);
    EXPECT_TRUE(quiet.log.empty());
    EXPECT_TRUE(quiet.messages.empty());
    ExpectSameModel(*a, *b);
}

TEST(ReaderLog, MismatchedMassCountAndSecondResolution) {
    BModel m = LoggedModel();
    BLod first = m.lods[0];
    first.resolution = 0.5f;
    m.lods.insert(m.lods.begin(), first);
    m.masses = {1, 2};  // the geometry LOD has 3 points
    const Bytes bytes = vistrel::BuildModel(m);
    Sinks sinks;
    auto model = LoadFile(bytes, sinks);
    EXPECT_TRUE(model->Complete());
    EXPECT_TRUE(sinks.messages.empty());
    const std::vector<std::string>& log = sinks.log;
    EXPECT_EQ(std::count(log.begin(), log.end(), LodHeader(0)), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), LodHeader(1)), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), kEndOfLod), 2);
    EXPECT_NE(std::find(log.begin(), log.end(), "LODCount: 2"), log.end());
    // the second body starts 399 bytes later than the first
    EXPECT_NE(std::find(log.begin(), log.end(), "Offset: 810"), log.end());
    auto types = std::find(log.begin(), log.end(), "reading LOD types....");
    ASSERT_NE(types, log.end());
    ASSERT_GE(log.end() - types, 3);
    EXPECT_EQ(types[1], "0: 5.000e-01");
    EXPECT_EQ(types[2], "1: 1.000e13");
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[log.size() - 3], "Masses->Count: 2");
    EXPECT_EQ(log[log.size() - 2], "Offset MassBeginn: 0");
    EXPECT_EQ(log[log.size() - 1], "Mass Count Does not match!");
}

TEST(ReaderLog, WithoutGeometryLodNothingIsLoggedForMasses) {
    BModel m = LoggedModel();
    m.lods[0].resolution = 1.0f;
    m.massCountOverride = 3;
    Sinks sinks;
    auto model = LoadFile(vistrel::BuildModel(m), sinks);
    EXPECT_TRUE(model->Complete());
    ASSERT_FALSE(sinks.log.empty());
    EXPECT_EQ(sinks.log.back(), "0.00 Zoffset");
    EXPECT_NE(std::find(sinks.log.begin(), sinks.log.end(), "0: 1.000e00"), sinks.log.end());
}

TEST(ReaderLog, PositionsAfterCompressedBlocks) {
    BModel m = LoggedModel();
    BLod& lod = m.lods[0];
    lod.vertexInfo.assign(256, 0x55);
    lod.uv.assign(128, {0.5f, 0.5f});
    BSelection& s = lod.selections[0];
    s.entries1.assign(256, 3);
    s.entries2.assign(300, 4);
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(m, &layout);
    Sinks sinks;
    auto model = LoadFile(bytes, sinks);
    ASSERT_TRUE(model->Complete());
    const std::size_t viStored =
        StoredSize(Serialize(lod.vertexInfo, [](Bytes& b, uint32_t v) { PutLe(b, v, 4); }), 256, 4);
    const std::size_t uvStored = StoredSize(Serialize(lod.uv,
                                                      [](Bytes& b, const vistrel::BUV& v) {
                                                          uint32_t u, w;
                                                          std::memcpy(&u, &v[0], 4);
                                                          std::memcpy(&w, &v[1], 4);
                                                          PutLe(b, u, 4);
                                                          PutLe(b, w, 4);
                                                      }),
                                            128, 8);
    const std::size_t uvCountAt = 16 + viStored;
    const std::size_t shift = viStored - 12 + uvStored - 24;  // against the raw small model
    const SelectionEnds e = SelectionFieldEnds(s, 247 + shift);
    const std::vector<std::string>& log = sinks.log;
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[6], "Vertex Info Count: 256");
    EXPECT_EQ(log[7], "Offset: " + std::to_string(uvCountAt));
    EXPECT_EQ(log[8], "UV Count: 128");
    auto find = [&](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
    EXPECT_TRUE(find("Offset: " + std::to_string(239 + shift)));
    EXPECT_TRUE(find("Read Sel_Count Offset: " + std::to_string(243 + shift)));
    EXPECT_TRUE(find("Offset: " + std::to_string(e.entries1Count)));
    EXPECT_TRUE(find("Offset: " + std::to_string(e.entries1 + 1)));
    EXPECT_TRUE(find("Offset SelVertexCount: " + std::to_string(e.entries2)));
    EXPECT_EQ(e.entries2, e.vertexCount);
    EXPECT_EQ(log.back(), "Offset MassBeginn: 0");
    EXPECT_TRUE(find("Offset: " + std::to_string(layout.resolutions)));
}

TEST(ReaderLog, FailedBlockStopsTheLogAtItsCount) {
    BModel m = LoggedModel();
    m.lods[0].unique.assign(512, 1);
    m.masses.assign(512, 1.0f);
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(m, &layout);
    SpoilChecksumEndingAt(bytes, 12 + layout.lodLayouts[0].linkCount);
    Sinks sinks;
    std::string path;
    auto model = LoadFile(bytes, sinks, &path);
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{"Error reading Unique_Vertex_Count!"}));
    std::vector<std::string> want = ExpectedLog(path);
    want.resize(16);
    want[15] = "Unique_Vertex_Count: 512";
    ExpectLinesEqual(sinks.log, want);
}

TEST(ReaderLog, RaisedErrorInBodyStopsTheLog) {
    BModel m = LoggedModel();
    m.lods[0].polygons[0].corners[0] = 3;  // == UV count
    Sinks sinks;
    std::string path;
    auto model = LoadFile(vistrel::BuildModel(m), sinks, &path);
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{kCompleteFailed}));
    std::vector<std::string> want = ExpectedLog(path);
    want.resize(19);  // up to "reading polygons...."
    ExpectLinesEqual(sinks.log, want);
}

TEST(ReaderLog, FileEndingInsideTrailingItemsFailsThere) {
    BModel m = LoggedModel();
    m.lods[0].textures.clear();  // a texture name's window would reach past the cut
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(m, &layout);
    const std::size_t items = 12 + layout.lodLayouts[0].trailingCount + 12;  // after count, head and item count
    bytes.resize(items + 16);                                                // one item and a third
    Sinks sinks;
    auto model = LoadBytes(bytes, sinks);
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{kCompleteFailed}));
    ASSERT_GE(sinks.log.size(), 2u);
    EXPECT_EQ(sinks.log[sinks.log.size() - 2], "   Offset: " + std::to_string(items - 4));
    EXPECT_EQ(sinks.log.back(), "   AVertex Count: 2");
    EXPECT_EQ(model->Failure().Offset, items);
    EXPECT_EQ(model->Failure().Cause, "the file ends 16 bytes into a field of 24 bytes");
}

TEST(ReaderLog, OtherMagicLogsOnlyTheOpenLine) {
    Bytes bytes = vistrel::BuildModel(LoggedModel());
    bytes[0] = 'b';
    Sinks sinks;
    std::string path;
    auto model = LoadFile(bytes, sinks, &path);
    EXPECT_EQ(sinks.log, (std::vector<std::string>{"******OPEN:" + path}));
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{"Incorrect Format!"}));
}

TEST(ReaderLog, MemoryBytesLogTheGivenFileName) {
    Sinks sinks;
    auto model = LoadBytes(vistrel::BuildModel(LoggedModel()), sinks);
    ASSERT_FALSE(sinks.log.empty());
    EXPECT_EQ(sinks.log.front(), "******OPEN:memory.p3d");
    const std::vector<std::string> want = ExpectedLog("memory.p3d");
    ExpectLinesEqual(sinks.log, want);
}

}  // namespace
