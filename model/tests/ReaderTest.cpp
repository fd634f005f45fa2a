// Reading binarized model files into the model: every field where it belongs,
// the compression rule at its thresholds, selections that reference the LOD's
// own objects, face flags, geometry LOD and masses, and the Offset2 shift.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "MemStream.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using vistrel::APolygon;
using vistrel::AVertex;
using vistrel::BLod;
using vistrel::BModel;
using vistrel::BModelLayout;
using vistrel::BPolygon;
using vistrel::BSelection;
using vistrel::TP3dLOD;
using vistrel::TP3dModell;
using vistrel::TRealSelection;

namespace {

// Resolution table and model-wide data after the LOD bodies, written by hand.
struct Tail {
    std::vector<float> resolutions;
    float offset1[3] = {0, 0, 0};
    float bboxMin[3] = {0, 0, 0};
    float bboxMax[3] = {0, 0, 0};
    float offset2[3] = {0, 0, 0};
    float offset3[3] = {0, 0, 0};
    int32_t massCount = 0;
    std::vector<float> rawMasses;
    float total = 0;
};

void AppendTail(ByteWriter& w, const Tail& t) {
    for (float r : t.resolutions) w.F32(r);
    w.Fill(24);
    w.Vec3(t.offset1[0], t.offset1[1], t.offset1[2]);
    w.Fill(12);
    w.Vec3(t.bboxMin[0], t.bboxMin[1], t.bboxMin[2]);
    w.Vec3(t.bboxMax[0], t.bboxMax[1], t.bboxMax[2]);
    w.Vec3(t.offset2[0], t.offset2[1], t.offset2[2]);
    w.Vec3(t.offset3[0], t.offset3[1], t.offset3[2]);
    w.Fill(54);
    w.I32(t.massCount);
    for (float m : t.rawMasses) w.F32(m);
    w.F32(t.total);
}

// An empty LOD body written field by field.
void AppendEmptyBody(ByteWriter& w, float minZ, float maxZ) {
    w.I32(0).I32(0).I32(0).I32(0);  // vertex info, UV, vertices, normals
    w.Fill(8);
    w.Vec3(-1, -2, minZ).Vec3(4, 5, maxZ);
    w.Fill(16);
    w.I32(0).I32(0).I32(0);         // textures, unique, link
    w.I32(0).Fill(4);               // polygons and the 4 skipped bytes
    w.I32(0).I32(0).I32(0).I32(0);  // property records, selections, named properties, trailing
    w.Fill(12);
    w.I32(0);  // proxies
}

struct Loaded {
    Sinks sinks;
    std::unique_ptr<TP3dModell> model;
};

std::unique_ptr<Loaded> Load(const Bytes& bytes) {
    auto l = std::make_unique<Loaded>();
    l->model = LoadFile(bytes, l->sinks);
    return l;
}

std::unique_ptr<Loaded> Load(const BModel& m) { return Load(vistrel::BuildModel(m)); }

// Loads and expects a complete model without messages.
std::unique_ptr<Loaded> LoadComplete(const BModel& m) {
    auto l = Load(m);
    EXPECT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty()) << l->sinks.messages.front();
    return l;
}

// ------------------------------------------------------------ whole model

TEST(ReadModel, TriangleLodFieldsArriveWhereTheyBelong) {
    BModel m = ModelOf({TriangleLod()});
    m.totalMass = 12.5f;
    Sinks sinks;
    std::string path;
    auto model = LoadFile(vistrel::BuildModel(m), sinks, &path);
    ASSERT_TRUE(model->Complete());
    EXPECT_TRUE(sinks.messages.empty());
    EXPECT_EQ(model->FileFormat(), TP3dModell::Format::Binarized);
    EXPECT_EQ(model->FileName, path);
    EXPECT_EQ(model->Mass, 12.5f);
    ASSERT_EQ(model->LODs.Count(), 1);
    const TP3dLOD& lod = *model->LODs.Items(0);
    EXPECT_EQ(lod.Resolution, 1.0f);
    EXPECT_EQ(lod.VertexInfo, (std::vector<uint32_t>{0x11, 0x22, 0x33}));
    ASSERT_EQ(lod.UVData.size(), 3u);
    EXPECT_EQ(lod.UVData[1].U, 1.0f);
    EXPECT_EQ(lod.UVData[2].V, 1.0f);
    ASSERT_EQ(lod.Vertexes.Count(), 3);
    EXPECT_EQ(lod.Vertexes.Items(1)->X, 1.0f);
    EXPECT_EQ(lod.Vertexes.Items(2)->Y, 1.0f);
    EXPECT_EQ(lod.Vertexes.Items(2)->PointFlags, 0u);
    ASSERT_EQ(lod.Normals.Count(), 3);
    EXPECT_EQ(lod.Normals.Items(0)->Z, 1.0f);
    EXPECT_EQ(lod.MaxPos.X, 1.0f);
    EXPECT_EQ(lod.MaxPos.Y, 1.0f);
    EXPECT_EQ(lod.Textures, (std::vector<std::string>{"data\\tex.paa"}));
    EXPECT_EQ(lod.UniqueVertexes.Count, 3);
    EXPECT_EQ(lod.UniqueVertexes.Items, (std::vector<int16_t>{0, 1, 2}));
    EXPECT_EQ(lod.LinkToUnique.Count, 3);
    ASSERT_EQ(lod.Polygons.Count(), 1);
    const APolygon& p = *lod.Polygons.Items(0);
    EXPECT_EQ(p.VertexCount, 3);
    EXPECT_EQ(p.TextureIndex, 0);
    EXPECT_EQ(p.Corners[1].VertexIndex, 1);
    EXPECT_TRUE(lod.Selections.Empty());
    EXPECT_TRUE(lod.Properties.empty());
}

TEST(ReadModel, NoLodsGivesCompleteEmptyModel) {
    ByteWriter w;
    w.Text("BMDL").I32(0x12345).I32(0);
    Tail t;
    t.offset2[0] = 7.0f;
    t.total = 99.0f;
    AppendTail(w, t);
    auto l = Load(w.bytes);
    EXPECT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
    EXPECT_EQ(l->model->LODs.Count(), 0);
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
    EXPECT_TRUE(l->model->Masses.empty());
    EXPECT_EQ(l->model->Offset2.X, 7.0f);
    EXPECT_EQ(l->model->Mass, 99.0f);
}

TEST(ReadModel, EmptyLodBodyIs116BytesAndKeepsBoundingBox) {
    ByteWriter w;
    w.Text("BMDL").I32(0).I32(2);
    const std::size_t first = w.Size();
    AppendEmptyBody(w, -3, 6);
    ASSERT_EQ(w.Size() - first, 116u);
    AppendEmptyBody(w, -30, 60);
    Tail t;
    t.resolutions = {0.25f, 2.0f};
    t.offset2[2] = 100.0f;
    t.total = 3.5f;
    AppendTail(w, t);

    auto l = Load(w.bytes);
    ASSERT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
    ASSERT_EQ(l->model->LODs.Count(), 2);
    const TP3dLOD& a = *l->model->LODs.Items(0);
    const TP3dLOD& b = *l->model->LODs.Items(1);
    EXPECT_EQ(a.Resolution, 0.25f);
    EXPECT_EQ(b.Resolution, 2.0f);
    EXPECT_EQ(a.MinPos.X, -1.0f);
    EXPECT_EQ(a.MinPos.Y, -2.0f);
    EXPECT_EQ(a.MinPos.Z, -3.0f);  // not shifted by Offset2
    EXPECT_EQ(a.MaxPos.Z, 6.0f);
    EXPECT_EQ(b.MinPos.Z, -30.0f);
    EXPECT_EQ(b.MaxPos.Z, 60.0f);
    for (const TP3dLOD* lod : {&a, &b}) {
        EXPECT_TRUE(lod->Vertexes.Empty());
        EXPECT_TRUE(lod->Normals.Empty());
        EXPECT_TRUE(lod->Polygons.Empty());
        EXPECT_TRUE(lod->Selections.Empty());
        EXPECT_TRUE(lod->Textures.empty());
        EXPECT_TRUE(lod->Properties.empty());
        EXPECT_TRUE(lod->VertexInfo.empty());
        EXPECT_TRUE(lod->UVData.empty());
        EXPECT_EQ(lod->UniqueVertexes.Count, 0);
        EXPECT_EQ(lod->LinkToUnique.Count, 0);
    }
    EXPECT_EQ(l->model->Mass, 3.5f);
}

TEST(ReadModel, ResolutionsGoToTheirLodsInOrder) {
    BModel m = ModelOf({TriangleLod(), TriangleLod(), TriangleLod()});
    m.lods[0].resolution = 1.0f;
    m.lods[1].resolution = 0.5f;
    m.lods[2].resolution = 1e15f;
    auto l = LoadComplete(m);
    ASSERT_EQ(l->model->LODs.Count(), 3);
    EXPECT_EQ(l->model->LODs.Items(0)->Resolution, 1.0f);
    EXPECT_EQ(l->model->LODs.Items(1)->Resolution, 0.5f);
    EXPECT_EQ(l->model->LODs.Items(2)->Resolution, 1e15f);
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
}

TEST(ReadModel, FieldsAfterSkippedDataLandInTheNextLod) {
    // property records, trailing entries and proxies of the first LOD are
    // passed over exactly: the second LOD reads right
    BLod first = TriangleLod();
    first.propertyRecords = 3;
    first.trailing = {{0xDEADBEEF, {{1, 2, 3}, {4, 5, 6}}}, {7, {}}, {9, {{7, 8, 9}}}};
    vistrel::BProxy proxy;
    proxy.name = "proxy\\a.p3d";
    proxy.data.fill(0x77);
    first.proxies = {proxy, proxy};
    first.properties = {{"a", "b"}};
    BLod second = StripLod(5);
    second.textures = {"second.paa"};
    second.resolution = 2.0f;
    BModel m = ModelOf({first, second});
    auto l = LoadComplete(m);
    ASSERT_EQ(l->model->LODs.Count(), 2);
    const TP3dLOD& b = *l->model->LODs.Items(1);
    EXPECT_EQ(b.Resolution, 2.0f);
    EXPECT_EQ(b.Vertexes.Count(), 5);
    EXPECT_EQ(b.Polygons.Count(), 3);
    EXPECT_EQ(b.Textures, (std::vector<std::string>{"second.paa"}));
    EXPECT_EQ(b.Vertexes.Items(4)->X, 4.0f);
    EXPECT_EQ(l->model->LODs.Items(0)->Properties, (std::vector<std::string>{"a= b"}));
}

// ---------------------------------------------------- compression rule

Bytes VertexInfoRawBytes(const std::vector<uint32_t>& info) {
    return Serialize(info, [](Bytes& b, uint32_t v) { PutLe(b, v, 4); });
}

TEST(CompressionRule, VertexInfoOf255IsRaw) {
    BLod lod = StripLod(3);
    lod.vertexInfo.assign(255, 0);  // zeros: as a block this would be a zero-offset run
    for (std::size_t i = 1; i < lod.vertexInfo.size(); ++i) lod.vertexInfo[i] = static_cast<uint32_t>(i * 0x01010101u);
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    const Bytes raw = VertexInfoRawBytes(lod.vertexInfo);
    ASSERT_TRUE(std::equal(raw.begin(), raw.end(), bytes.begin() + 16));  // raw in the file
    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete());
    EXPECT_EQ(l->model->LODs.Items(0)->VertexInfo, lod.vertexInfo);
}

TEST(CompressionRule, VertexInfoOf256IsOneBlock) {
    BLod lod = StripLod(3);
    lod.vertexInfo.assign(256, 0);
    for (std::size_t i = 0; i < lod.vertexInfo.size(); ++i) lod.vertexInfo[i] = static_cast<uint32_t>(i % 4);
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    ASSERT_LT(layout.lodLayouts[0].uvCount, 4u + 1024u);  // stored smaller than raw
    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete());
    EXPECT_EQ(l->model->LODs.Items(0)->VertexInfo, lod.vertexInfo);
}

TEST(CompressionRule, HandWrittenLiteralBlockForVertexInfoOf256) {
    // 1024 bytes as 128 groups of 8 literals: 1152 bytes and the checksum
    std::vector<uint32_t> info(256);
    for (std::size_t i = 0; i < info.size(); ++i) info[i] = 0xA0B0C000u + static_cast<uint32_t>(i);
    const Bytes raw = VertexInfoRawBytes(info);
    Bytes block;
    uint32_t sum = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (i % 8 == 0) block.push_back(0xFF);
        block.push_back(raw[i]);
        sum += raw[i];
    }
    PutLe(block, sum, 4);
    BLod lod = StripLod(3);
    lod.vertexInfo.assign(256, 7);
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    Splice(bytes, 16, 12 + layout.lodLayouts[0].uvCount, block);
    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete()) << (l->sinks.messages.empty() ? "" : l->sinks.messages[0]);
    EXPECT_EQ(l->model->LODs.Items(0)->VertexInfo, info);
    // the UV count that follows is read right after the 1156 bytes
    auto it = std::find(l->sinks.log.begin(), l->sinks.log.end(), "Vertex Info Count: 256");
    ASSERT_NE(it, l->sinks.log.end());
    EXPECT_EQ(*(it + 1), "Offset: " + std::to_string(16 + 1156));
}

TEST(CompressionRule, VertexInfoBlockRunsBeforeStartReadBlanks) {
    // 57 runs of distance 18 and length 18, the first wholly before the
    // output: 1024 blanks
    Bytes block;
    for (int run = 0; run < 57; ++run) {
        if (run % 8 == 0) block.push_back(0x00);
        block.push_back(18);
        block.push_back(0x0F);
    }
    PutLe(block, 1024u * 0x20, 4);
    BLod lod = StripLod(3);
    lod.vertexInfo.assign(256, 7);
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    Splice(bytes, 16, 12 + layout.lodLayouts[0].uvCount, block);
    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
    EXPECT_EQ(l->model->LODs.Items(0)->VertexInfo, std::vector<uint32_t>(256, 0x20202020u));
    for (const std::string& line : l->sinks.log) EXPECT_EQ(line.find("rpos"), std::string::npos);
}

TEST(CompressionRule, UVOf127IsRawAnd128IsOneBlock) {
    for (int n : {127, 128}) {
        SCOPED_TRACE(n);
        BLod lod = StripLod(3);
        lod.uv.clear();
        for (int i = 0; i < n; ++i) lod.uv.push_back({0.0f, static_cast<float>(i % 3)});
        BModelLayout layout;
        const Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
        const std::size_t stored = layout.lodLayouts[0].vertexCount - layout.lodLayouts[0].uvCount - 4;
        if (n == 127) {
            EXPECT_EQ(stored, 1016u);
        } else {
            EXPECT_LT(stored, 1024u);
        }
        auto l = Load(bytes);
        ASSERT_TRUE(l->model->Complete());
        const TP3dLOD& got = *l->model->LODs.Items(0);
        ASSERT_EQ(got.UVData.size(), static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) EXPECT_EQ(got.UVData[static_cast<std::size_t>(i)].V, static_cast<float>(i % 3));
        // the corners take U, V from the table
        EXPECT_EQ(got.Polygons.Items(0)->Corners[2].V, 2.0f);
    }
}

TEST(CompressionRule, IndexTablesOf511AreRawAnd512AreOneBlock) {
    for (int n : {511, 512}) {
        SCOPED_TRACE(n);
        BLod lod = StripLod(3);
        lod.unique.clear();
        lod.link.clear();
        for (int i = 0; i < n; ++i) {
            lod.unique.push_back(static_cast<int16_t>(i % 3 == 0 ? 0 : -i));  // zeros and negatives
            lod.link.push_back(static_cast<int16_t>(i / 7));
        }
        auto l = LoadComplete(ModelOf({lod}));
        const TP3dLOD& got = *l->model->LODs.Items(0);
        EXPECT_EQ(got.UniqueVertexes.Count, n);
        EXPECT_EQ(got.UniqueVertexes.Items, lod.unique);
        EXPECT_EQ(got.LinkToUnique.Count, n);
        EXPECT_EQ(got.LinkToUnique.Items, lod.link);
    }
}

TEST(CompressionRule, SelectionArraysAtTheirThresholds) {
    // entries1/2 (4 bytes) at 255/256, vertexes (2 bytes) at 511/512,
    // entries3 (1 byte) at 1023/1024; the next selection must read right
    for (int big : {0, 1}) {
        SCOPED_TRACE(big);
        BLod lod = StripLod(6);
        BSelection s;
        s.name = "first";
        s.faces = {0, 1};
        s.entries1.assign(big ? 256 : 255, 0u);
        s.entries2.assign(big ? 256 : 255, 0x01020304u);
        for (int i = 0; i < (big ? 512 : 511); ++i) s.vertexes.push_back(static_cast<uint16_t>(i % 6));
        s.entries3.assign(big ? 1024 : 1023, 0);
        BSelection t;
        t.name = "second";
        t.faces = {3};
        t.vertexes = {5};
        lod.selections = {s, t};
        auto l = LoadComplete(ModelOf({lod}));
        const TP3dLOD& got = *l->model->LODs.Items(0);
        ASSERT_EQ(got.Selections.Count(), 2);
        const TRealSelection& a = *got.Selections.Items(0);
        EXPECT_EQ(a.Vertexes.Count(), big ? 512 : 511);
        EXPECT_EQ(a.Vertexes.Items(13), got.Vertexes.Items(1));
        const TRealSelection& b = *got.Selections.Items(1);
        EXPECT_EQ(b.Name, "second");
        ASSERT_EQ(b.Polygons.Count(), 1);
        EXPECT_EQ(b.Polygons.Items(0), got.Polygons.Items(3));
        EXPECT_EQ(b.Vertexes.Items(0), got.Vertexes.Items(5));
    }
}

// ------------------------------------------------------------- polygons

TEST(ReadPolygons, TriangleIs13BytesAndQuad15) {
    BLod lod = StripLod(6);
    lod.polygons.clear();
    BPolygon tri;
    tri.corners = {0, 1, 2};
    tri.texture = 5;
    BPolygon quad;
    quad.corners = {2, 3, 4, 5};
    quad.texture = -1;
    lod.polygons = {tri, quad, tri, quad};
    lod.polygons[2].texture = 7;
    lod.properties = {{"after", "polygons"}};
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    const auto& at = layout.lodLayouts[0].polygons;
    ASSERT_EQ(at.size(), 4u);
    EXPECT_EQ(at[1] - at[0], 13u);
    EXPECT_EQ(at[2] - at[1], 15u);
    EXPECT_EQ(layout.lodLayouts[0].propertyRecordCount - at[3], 15u);

    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete());
    const TP3dLOD& got = *l->model->LODs.Items(0);
    ASSERT_EQ(got.Polygons.Count(), 4);
    EXPECT_EQ(got.Polygons.Items(0)->VertexCount, 3);
    EXPECT_EQ(got.Polygons.Items(0)->TextureIndex, 5);
    EXPECT_EQ(got.Polygons.Items(1)->VertexCount, 4);
    EXPECT_EQ(got.Polygons.Items(1)->TextureIndex, -1);
    EXPECT_EQ(got.Polygons.Items(1)->Corners[3].VertexIndex, 5);
    EXPECT_EQ(got.Polygons.Items(2)->TextureIndex, 7);
    EXPECT_EQ(got.Polygons.Items(3)->Corners[0].VertexIndex, 2);
    EXPECT_EQ(got.Properties, (std::vector<std::string>{"after= polygons"}));
}

TEST(ReadPolygons, CornersTakeNormalIndexAndTextureCoordinatesFromVertexIndex) {
    BLod lod = StripLod(6);
    for (std::size_t i = 0; i < lod.uv.size(); ++i)
        lod.uv[i] = {static_cast<float>(i) + 0.25f, -static_cast<float>(i) - 0.5f};
    BPolygon quad;
    quad.corners = {5, 0, 3, 1};
    lod.polygons.push_back(quad);
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    for (const APolygon* p : got.Polygons) {
        for (int c = 0; c < p->VertexCount; ++c) {
            const int v = p->Corners[c].VertexIndex;
            EXPECT_EQ(p->Corners[c].NormalIndex, v);
            EXPECT_EQ(p->Corners[c].U, static_cast<float>(v) + 0.25f);
            EXPECT_EQ(p->Corners[c].V, -static_cast<float>(v) - 0.5f);
        }
    }
    const APolygon& q = *got.Polygons.Items(got.Polygons.Count() - 1);
    EXPECT_EQ(q.Corners[0].VertexIndex, 5);
    EXPECT_EQ(q.Corners[3].VertexIndex, 1);
    EXPECT_EQ(q.Corners[3].U, 1.25f);
}

TEST(ReadPolygons, CornerBeyondVertexesButInsideUVTableIsKept) {
    BLod lod = StripLod(3);
    lod.uv.push_back({9.0f, 8.0f});  // 4 UV pairs, 3 vertices
    BPolygon p;
    p.corners = {0, 1, 3};
    lod.polygons = {p};
    auto l = LoadComplete(ModelOf({lod}));
    const APolygon& got = *l->model->LODs.Items(0)->Polygons.Items(0);
    EXPECT_EQ(got.Corners[2].VertexIndex, 3);
    EXPECT_EQ(got.Corners[2].NormalIndex, 3);
    EXPECT_EQ(got.Corners[2].U, 9.0f);
}

uint32_t FlagsFor(uint32_t fileFlags) {
    BLod lod = StripLod(3);
    lod.polygons[0].faceFlags = fileFlags;
    auto l = LoadComplete(ModelOf({lod}));
    return l->model->LODs.Items(0)->Polygons.Items(0)->Flags;
}

TEST(ReadPolygons, FaceFlagsAreMappedToEditableBits) {
    EXPECT_EQ(FlagsFor(0x10000020u), 0x01000010u);
    EXPECT_EQ(FlagsFor(0u), 0u);
    EXPECT_EQ(FlagsFor(0x80000000u), 0x10u);
    EXPECT_EQ(FlagsFor(0xF0000000u), 0x10u);
    EXPECT_EQ(FlagsFor(0x00000080u), 0x01000000u);
    EXPECT_EQ(FlagsFor(0x000000F0u), 0x01000000u);
    EXPECT_EQ(FlagsFor(0x0F000000u), 0x000003C0u);  // bits 24..27 to 6..9
    EXPECT_EQ(FlagsFor(0x01000000u), 0x00000040u);
    EXPECT_EQ(FlagsFor(0x08000000u), 0x00000200u);
    EXPECT_EQ(FlagsFor(0x00FE0000u), 0xFE000000u);  // bits 17..23 to 25..31
    EXPECT_EQ(FlagsFor(0x00020000u), 0x02000000u);
    EXPECT_EQ(FlagsFor(0x00800000u), 0x80000000u);
    EXPECT_EQ(FlagsFor(0x0001FF0Fu), 0u);  // other bits are dropped
    EXPECT_EQ(FlagsFor(0xFFFFFFFFu), 0xFF0003D0u);
}

// ----------------------------------------------------------- selections

TEST(ReadSelections, SixHundredFacesAreOneBlockAndReferenceTheLodsPolygons) {
    BLod lod = StripLod(602);  // 600 triangles
    BSelection s;
    s.name = "big";
    for (int i = 0; i < 600; ++i) s.faces.push_back(static_cast<uint16_t>(i));
    BSelection after;
    after.name = "after";
    after.faces = {599};
    lod.selections = {s, after};
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
    const SelectionEnds ends = SelectionFieldEnds(s, 0);
    const std::size_t stored = ends.faces - ends.faceCount - 4;
    ASSERT_NE(stored, 1200u);  // a block, not the raw indices
    const Bytes raw = Serialize(s.faces, [](Bytes& b, uint16_t v) { PutLe(b, v, 2); });
    ASSERT_EQ(stored, vistrel::LzssEncode(raw).size());
    auto l = Load(bytes);
    ASSERT_TRUE(l->model->Complete());
    const TP3dLOD& got = *l->model->LODs.Items(0);
    ASSERT_EQ(got.Selections.Count(), 2);
    const TRealSelection& sel = *got.Selections.Items(0);
    ASSERT_EQ(sel.Polygons.Count(), 600);
    EXPECT_EQ(sel.Polygons.Items(300), got.Polygons.Items(300));
    for (int i = 0; i < 600; ++i) ASSERT_EQ(sel.Polygons.Items(i), got.Polygons.Items(i));
    EXPECT_EQ(got.Selections.Items(1)->Name, "after");
    EXPECT_EQ(got.Selections.Items(1)->Polygons.Items(0), got.Polygons.Items(599));
}

TEST(ReadSelections, FaceIndicesInFileOrderWithRepeats) {
    BLod lod = StripLod(8);
    BSelection s;
    s.name = "order";
    s.faces = {5, 0, 5, 2};
    lod.selections = {s};
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    const TRealSelection& sel = *got.Selections.Items(0);
    ASSERT_EQ(sel.Polygons.Count(), 4);
    EXPECT_EQ(sel.Polygons.Items(0), got.Polygons.Items(5));
    EXPECT_EQ(sel.Polygons.Items(1), got.Polygons.Items(0));
    EXPECT_EQ(sel.Polygons.Items(2), got.Polygons.Items(5));
    EXPECT_EQ(sel.Polygons.Items(3), got.Polygons.Items(2));
}

TEST(ReadSelections, VertexListedTwiceIsTheSameObjectTwice) {
    BLod lod = StripLod(4);
    BSelection s;
    s.name = "twice";
    s.vertexes = {2, 2, 0};
    lod.selections = {s};
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    const TRealSelection& sel = *got.Selections.Items(0);
    ASSERT_EQ(sel.Vertexes.Count(), 3);
    EXPECT_EQ(sel.Vertexes.Items(0), got.Vertexes.Items(2));
    EXPECT_EQ(sel.Vertexes.Items(1), got.Vertexes.Items(2));
    EXPECT_EQ(sel.Vertexes.Items(2), got.Vertexes.Items(0));
    EXPECT_FALSE(sel.Vertexes.OwnsItems());
    EXPECT_FALSE(sel.Polygons.OwnsItems());
}

TEST(ReadSelections, VertexInTwoSelectionsIsOneObject) {
    BLod lod = StripLod(4);
    BSelection a;
    a.name = "a";
    a.vertexes = {1, 3};
    a.faces = {1};
    BSelection b;
    b.name = "b";
    b.vertexes = {3};
    b.faces = {1, 0};
    lod.selections = {a, b};
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    ASSERT_EQ(got.Selections.Count(), 2);
    EXPECT_EQ(got.Selections.Items(0)->Name, "a");
    EXPECT_EQ(got.Selections.Items(1)->Name, "b");
    const AVertex* v = got.Vertexes.Items(3);
    EXPECT_EQ(got.Selections.Items(0)->Vertexes.Items(1), v);
    EXPECT_EQ(got.Selections.Items(1)->Vertexes.Items(0), v);
    EXPECT_EQ(got.Selections.Items(0)->Polygons.Items(0), got.Selections.Items(1)->Polygons.Items(0));
}

TEST(ReadSelections, SharedVertexIsShiftedOnce) {
    BLod lod = StripLod(4);
    BSelection a;
    a.name = "a";
    a.vertexes = {3, 3};
    BSelection b;
    b.name = "b";
    b.vertexes = {3};
    lod.selections = {a, b};
    BModel m = ModelOf({lod});
    m.offset2 = {10.0f, 0, 0};
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->LODs.Items(0)->Selections.Items(1)->Vertexes.Items(0)->X, 13.0f);
}

TEST(ReadSelections, IndicesAreUnsigned16Bit) {
    BLod lod;
    for (int i = 0; i < 40001; ++i) lod.vertices.push_back({static_cast<float>(i), 0, 0});
    lod.uv = {{0, 0}, {0, 0}, {0, 0}};
    BPolygon p;
    p.corners = {0, 1, 2};
    lod.polygons.assign(40001, p);
    BSelection s;
    s.name = "high";
    s.faces = {40000, 1};
    s.vertexes = {40000, 32768};
    BSelection packed;  // the same in a compressed block
    packed.name = "packed";
    for (int i = 0; i < 600; ++i) {
        packed.faces.push_back(static_cast<uint16_t>(i % 2 ? 40000 : 32768 + i));
        packed.vertexes.push_back(static_cast<uint16_t>(i % 2 ? 40000 : 39999 - i));
    }
    lod.selections = {s, packed};
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    const TRealSelection& sel = *got.Selections.Items(0);
    EXPECT_EQ(sel.Polygons.Items(0), got.Polygons.Items(40000));
    EXPECT_EQ(sel.Vertexes.Items(0), got.Vertexes.Items(40000));
    EXPECT_EQ(sel.Vertexes.Items(1), got.Vertexes.Items(32768));
    EXPECT_EQ(sel.Vertexes.Items(0)->X, 40000.0f);
    const TRealSelection& p2 = *got.Selections.Items(1);
    ASSERT_EQ(p2.Polygons.Count(), 600);
    ASSERT_EQ(p2.Vertexes.Count(), 600);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(p2.Polygons.Items(i), got.Polygons.Items(i % 2 ? 40000 : 32768 + i)) << i;
        ASSERT_EQ(p2.Vertexes.Items(i), got.Vertexes.Items(i % 2 ? 40000 : 39999 - i)) << i;
    }
}

TEST(ReadSelections, EmptySelectionAndEmptyName) {
    BLod lod = StripLod(3);
    BSelection s;  // empty name, no entries
    lod.selections = {s, s};
    lod.selections[1].name = "x";
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    ASSERT_EQ(got.Selections.Count(), 2);
    EXPECT_EQ(got.Selections.Items(0)->Name, "");
    EXPECT_TRUE(got.Selections.Items(0)->Vertexes.Empty());
    EXPECT_TRUE(got.Selections.Items(0)->Polygons.Empty());
    EXPECT_EQ(got.Selections.Items(1)->Name, "x");
}

// ------------------------------------------------- properties and names

TEST(ReadProperties, NameEqualsBlankValue) {
    BLod lod = StripLod(3);
    lod.properties = {{"abc", "x"}, {"abc", ""}, {"abc", "x"}, {"", "v"}, {"class", "house"}};
    auto l = LoadComplete(ModelOf({lod}));
    EXPECT_EQ(l->model->LODs.Items(0)->Properties,
              (std::vector<std::string>{"abc= x", "abc= ", "abc= x", "= v", "class= house"}));
}

TEST(ReadTextures, NamesInOrderWithDuplicatesAndEmpty) {
    BLod lod = StripLod(3);
    lod.textures = {"b.paa", "a.paa", "b.paa", ""};
    auto l = LoadComplete(ModelOf({lod}));
    EXPECT_EQ(l->model->LODs.Items(0)->Textures, (std::vector<std::string>{"b.paa", "a.paa", "b.paa", ""}));
}

TEST(ReadTextures, NameOf255CharactersIsReadWholeAndNextFieldFollowsTheZero) {
    BLod lod = StripLod(3);
    std::string longName(255, 'n');
    longName[0] = 'L';
    longName[254] = 'Z';
    lod.textures = {longName, "next.paa"};
    lod.unique = {2, 1, 0};
    auto l = LoadComplete(ModelOf({lod}));
    const TP3dLOD& got = *l->model->LODs.Items(0);
    ASSERT_EQ(got.Textures.size(), 2u);
    EXPECT_EQ(got.Textures[0], longName);
    EXPECT_EQ(got.Textures[1], "next.paa");
    EXPECT_EQ(got.UniqueVertexes.Items, (std::vector<int16_t>{2, 1, 0}));
}

// ------------------------------------------------- geometry and masses

TEST(ReadMasses, LaterOfTwoGeometryLodsTakesTheMasses) {
    BLod a = StripLod(3);
    a.resolution = 1e13f;
    a.unique = {0, 1};
    BLod b = StripLod(4);
    b.resolution = 1e13f;
    BModel m = ModelOf({a, b});
    m.masses = {1.5f, 2.5f, 3.5f, 4.5f};
    m.totalMass = 12.0f;
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->GeometryLOD, l->model->LODs.Items(1));
    EXPECT_EQ(l->model->Masses, (std::vector<float>{1.5f, 2.5f, 3.5f, 4.5f}));
    EXPECT_EQ(l->model->Mass, 12.0f);
}

TEST(ReadMasses, CountMatchingOnlyTheEarlierGeometryLodDoesNotMatch) {
    BLod a = StripLod(3);
    a.resolution = 1e13f;
    a.unique = {0, 1};
    BLod b = StripLod(4);
    b.resolution = 1e13f;
    BModel m = ModelOf({a, b});
    m.masses = {1.5f, 2.5f};
    m.totalMass = 77.0f;
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(m, &layout);
    ASSERT_EQ(layout.totalMass, layout.massCount + 4);  // no masses written
    auto l = Load(bytes);
    EXPECT_TRUE(l->model->Complete());
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
    EXPECT_TRUE(l->model->Masses.empty());
    EXPECT_EQ(l->model->Mass, 77.0f);
}

TEST(ReadMasses, ThreeHundredPointsAreOneBlockTwoHundredRaw) {
    for (int n : {300, 200}) {
        SCOPED_TRACE(n);
        BLod lod = StripLod(3);
        lod.resolution = 1e13f;
        lod.unique.assign(static_cast<std::size_t>(n), 0);
        BModel m = ModelOf({lod});
        for (int i = 0; i < n; ++i) m.masses.push_back(static_cast<float>(i % 10) * 0.5f);
        m.totalMass = 1234.5f;
        BModelLayout layout;
        const Bytes bytes = vistrel::BuildModel(m, &layout);
        const std::size_t stored = layout.totalMass - layout.masses;
        if (n == 200) {
            EXPECT_EQ(stored, 800u);
        } else {
            EXPECT_LT(stored, 1200u);
        }
        auto l = Load(bytes);
        ASSERT_TRUE(l->model->Complete());
        EXPECT_EQ(l->model->GeometryLOD, l->model->LODs.Items(0));
        EXPECT_EQ(l->model->Masses, m.masses);
        EXPECT_EQ(l->model->Mass, 1234.5f);
    }
}

TEST(ReadMasses, MismatchTakesMassFromBytesRightAfterCount) {
    BLod lod = StripLod(3);
    lod.resolution = 1e13f;
    BModel m = ModelOf({lod});
    m.masses = {1, 2, 3, 4, 5};  // 5 masses, 3 points
    m.totalMass = 55.0f;
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(m, &layout);
    ASSERT_EQ(vistrel::GetInt32At(bytes, layout.massCount), 5);
    ASSERT_EQ(layout.totalMass, layout.massCount + 4);
    auto l = Load(bytes);
    EXPECT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
    EXPECT_TRUE(l->model->Masses.empty());
    EXPECT_EQ(l->model->Mass, 55.0f);
    EXPECT_EQ(l->model->LODs.Items(0)->Resolution, 1e13f);
}

TEST(ReadMasses, WithoutGeometryLodMassFollowsCount) {
    BModel m = ModelOf({StripLod(3)});
    m.massCountOverride = 3;  // a count, but no geometry LOD takes it
    m.totalMass = 8.25f;
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
    EXPECT_TRUE(l->model->Masses.empty());
    EXPECT_EQ(l->model->Mass, 8.25f);
}

TEST(ReadMasses, ResolutionNearGeometryIsNotGeometry) {
    BLod lod = StripLod(3);
    lod.resolution = std::nextafter(1e13f, 0.0f);
    BModel m = ModelOf({lod});
    m.massCountOverride = 3;
    m.totalMass = 6.0f;
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->GeometryLOD, nullptr);
    EXPECT_EQ(l->model->Mass, 6.0f);
}

TEST(ReadMasses, EmptyGeometryLodWithZeroMasses) {
    BLod lod;
    lod.resolution = 1e13f;
    BModel m = ModelOf({lod});
    m.totalMass = 2.0f;
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->GeometryLOD, l->model->LODs.Items(0));
    EXPECT_TRUE(l->model->Masses.empty());
    EXPECT_EQ(l->model->Mass, 2.0f);
}

// --------------------------------------------------------- Offset2 shift

TEST(ReadModel, EveryVertexIsShiftedByOffset2AndBoundingBoxIsNot) {
    BLod a = StripLod(4);
    a.minPos = {-1, -2, -3};
    a.maxPos = {1, 2, 3};
    BLod b = TriangleLod();
    BModel m = ModelOf({a, b});
    m.offset1 = {100, 200, 300};
    m.offset2 = {0.5f, -0.25f, 2.0f};
    m.offset3 = {-7, -8, -9};
    auto l = LoadComplete(m);
    const TP3dModell& model = *l->model;
    for (int li = 0; li < 2; ++li) {
        const TP3dLOD& lod = *model.LODs.Items(li);
        for (int k = 0; k < lod.Vertexes.Count(); ++k) {
            const auto& stored = m.lods[static_cast<std::size_t>(li)].vertices[static_cast<std::size_t>(k)];
            EXPECT_EQ(lod.Vertexes.Items(k)->X, stored[0] + 0.5f);
            EXPECT_EQ(lod.Vertexes.Items(k)->Y, stored[1] - 0.25f);
            EXPECT_EQ(lod.Vertexes.Items(k)->Z, stored[2] + 2.0f);
        }
    }
    const TP3dLOD& first = *model.LODs.Items(0);
    EXPECT_EQ(first.MinPos.X, -1.0f);
    EXPECT_EQ(first.MinPos.Z, -3.0f);
    EXPECT_EQ(first.MaxPos.Y, 2.0f);
    EXPECT_EQ(model.Offset1.X, 100.0f);
    EXPECT_EQ(model.Offset1.Z, 300.0f);
    EXPECT_EQ(model.Offset2.X, 0.5f);
    EXPECT_EQ(model.Offset2.Y, -0.25f);
    EXPECT_EQ(model.Offset2.Z, 2.0f);
    EXPECT_EQ(model.Offset3.Y, -8.0f);
    // normals are not shifted
    EXPECT_EQ(first.Normals.Items(0)->Y, 1.0f);
    EXPECT_EQ(first.Normals.Items(0)->X, 0.0f);
}

// ------------------------------------------------------ sinks and format

TEST(ReadModel, EmptyLogSinkGivesTheSameModel) {
    BLod lod = StripLod(20);
    lod.resolution = 1e13f;
    BSelection s;
    s.name = "s";
    s.faces = {1, 2};
    s.vertexes = {3, 3};
    lod.selections = {s};
    lod.properties = {{"k", "v"}};
    lod.textures = {"t.paa"};
    BModel m = ModelOf({lod, TriangleLod()});
    for (int i = 0; i < 20; ++i) m.masses.push_back(static_cast<float>(i));
    m.offset2 = {1, 2, 3};
    const Bytes bytes = vistrel::BuildModel(m);

    Sinks withLog;
    auto a = LoadFile(bytes, withLog);
    Sinks quiet;
    auto b = LoadFileQuiet(bytes, quiet);
    EXPECT_FALSE(withLog.log.empty());
    EXPECT_TRUE(quiet.log.empty());
    EXPECT_TRUE(quiet.messages.empty());
    ExpectSameModel(*a, *b);
    EXPECT_TRUE(b->Complete());
}

TEST(ReadModel, BytesInMemoryGiveTheSameModelAsTheFile) {
    BModel m = ModelOf({StripLod(10), TriangleLod()});
    m.offset2 = {4, 5, 6};
    const Bytes bytes = vistrel::BuildModel(m);
    Sinks a, b;
    auto fromFile = LoadFile(bytes, a);
    auto fromBytes = LoadBytes(bytes, b);
    ExpectSameModel(*fromFile, *fromBytes);
    EXPECT_EQ(fromBytes->FileName, "memory.p3d");
}

TEST(ReadModel, EditableMagicIsReadAsTheEditableFormat) {
    ByteWriter w;
    w.Text("MLOD").I32(257).I32(1).Fill(200);
    Sinks sinks;
    auto model = LoadFile(w.bytes, sinks);
    EXPECT_FALSE(model->Complete());
    EXPECT_EQ(model->FileFormat(), TP3dModell::Format::Editable);
    EXPECT_EQ(model->LODs.Count(), 1);  // kept, empty: its block is no "SP3X"
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{"Error! LOD is not SP3X!"}));
    // A file that ends in its header raises the stream's error, as a
    // binarized one does.
    EXPECT_THROW(LoadFile(Bytes{'M', 'L', 'O', 'D'}, sinks), vistrel::EReadError);
}

TEST(ReadModel, EmptyFileNameOpensNothing) {
    Sinks sinks;
    TP3dModell model("", sinks.Log(), sinks.Message());
    EXPECT_FALSE(model.Complete());
    EXPECT_EQ(model.LODs.Count(), 0);
    EXPECT_TRUE(sinks.log.empty());
    EXPECT_TRUE(sinks.messages.empty());
    EXPECT_FALSE(model.Open(""));
}

TEST(ReadModel, OpenWithEmptyNameKeepsTheLoadedModel) {
    Sinks sinks;
    auto model = LoadFile(vistrel::BuildModel(ModelOf({TriangleLod()})), sinks);
    ASSERT_EQ(model->LODs.Count(), 1);
    sinks.log.clear();
    EXPECT_FALSE(model->Open(""));
    EXPECT_EQ(model->LODs.Count(), 1);
    EXPECT_TRUE(sinks.log.empty());
}

TEST(ReadModel, OpenReplacesThePreviousModel) {
    Sinks sinks;
    BLod geo = StripLod(3);
    geo.resolution = 1e13f;
    BModel first = ModelOf({geo, TriangleLod()});
    first.masses = {1, 2, 3};
    auto model = LoadFile(vistrel::BuildModel(first), sinks);
    ASSERT_EQ(model->LODs.Count(), 2);
    ASSERT_NE(model->GeometryLOD, nullptr);

    TempFile second(vistrel::BuildModel(ModelOf({StripLod(5)})));
    EXPECT_TRUE(model->Open(second.Path()));
    EXPECT_EQ(model->LODs.Count(), 1);
    EXPECT_EQ(model->LODs.Items(0)->Vertexes.Count(), 5);
    EXPECT_EQ(model->GeometryLOD, nullptr);
    EXPECT_TRUE(model->Masses.empty());

    TempFile editable(Bytes{'M', 'L', 'O', 'D', 0, 0, 0, 0});
    EXPECT_FALSE(model->Open(editable.Path()));
    EXPECT_EQ(model->LODs.Count(), 0);
    EXPECT_EQ(model->FileFormat(), TP3dModell::Format::Editable);
}

TEST(ReadModel, HeaderValueIsNotInterpreted) {
    BModel m = ModelOf({TriangleLod()});
    m.headerValue = -1;
    auto l = LoadComplete(m);
    EXPECT_EQ(l->model->LODs.Count(), 1);
}

}  // namespace
