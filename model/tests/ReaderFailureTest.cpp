// Broken binarized model files: the one message each failure shows, the
// errors that leave the constructor, and what the model holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "AllocationProbe.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using vistrel::BLod;
using vistrel::BModel;
using vistrel::BModelLayout;
using vistrel::BPolygon;
using vistrel::BSelection;
using vistrel::EBadData;
using vistrel::EFOpenError;
using vistrel::EP3dError;
using vistrel::EReadError;
using vistrel::TP3dLOD;
using vistrel::TP3dModell;

namespace {

constexpr std::size_t kLodStart = 12;  // magic, header value, LOD count

struct Loaded {
    Sinks sinks;
    std::unique_ptr<TP3dModell> model;
};

std::unique_ptr<Loaded> Load(const Bytes& bytes) {
    auto l = std::make_unique<Loaded>();
    l->model = LoadFile(bytes, l->sinks);
    return l;
}

void ExpectNoDecoderMessage(const Loaded& l) {
    for (const std::string& m : l.sinks.messages) EXPECT_EQ(m.find("rpos"), std::string::npos);
    for (const std::string& m : l.sinks.log) EXPECT_EQ(m.find("rpos"), std::string::npos);
}

// Exactly this one message, an incomplete model.
void ExpectOnlyMessage(const Loaded& l, const std::string& message) {
    EXPECT_EQ(l.sinks.messages, (std::vector<std::string>{message}));
    EXPECT_FALSE(l.model->Complete());
    ExpectNoDecoderMessage(l);
}

// State of a model whose reading stopped inside a LOD body.
void ExpectStoppedInLod(const TP3dModell& model, int lodsKept) {
    EXPECT_EQ(model.LODs.Count(), lodsKept);
    for (const TP3dLOD* lod : model.LODs) EXPECT_EQ(lod->Resolution, 0.0f);
    EXPECT_EQ(model.GeometryLOD, nullptr);
    EXPECT_TRUE(model.Masses.empty());
    EXPECT_EQ(model.Offset1.X, 0.0f);
    EXPECT_EQ(model.Offset2.X, 0.0f);
    EXPECT_EQ(model.Offset2.Y, 0.0f);
    EXPECT_EQ(model.Offset2.Z, 0.0f);
    EXPECT_EQ(model.Offset3.Z, 0.0f);
    EXPECT_EQ(model.Mass, 0.0f);
}

// ------------------------------------------------------- block failures

// One compressed block of a built file: where its bytes are, and what the
// reader shows when it fails.
struct BlockCase {
    const char* name;
    const char* message;
    const char* lastLogLine;  // the count line logged just before the block
    BModel model;
    std::function<std::pair<std::size_t, std::size_t>(const BModelLayout&)> where;  // [start, end)
};

BSelection BigSelection(int which) {
    BSelection s;
    s.name = "sel";
    s.faces = {0, 1};
    s.vertexes = {0, 2};
    s.entries1 = {5};
    s.entries3 = {1, 2};
    switch (which) {
    case 0: s.faces.assign(512, 1); break;
    case 1: s.entries1.assign(256, 0x01020304u); break;
    case 2: s.entries2.assign(256, 0x0A0B0C0Du); break;
    case 3: s.vertexes.assign(512, 2); break;
    case 4: s.entries3.assign(1024, 9); break;
    }
    return s;
}

std::vector<BlockCase> BlockCases() {
    std::vector<BlockCase> cases;
    {
        BLod lod = StripLod(5);
        lod.vertexInfo.assign(256, 3);
        cases.push_back({"VertexInfo", "Error reading VertexInfo!", "Vertex Info Count: 256", ModelOf({lod}),
                         [](const BModelLayout& at) {
                             return std::make_pair(kLodStart + 4, kLodStart + at.lodLayouts[0].uvCount);
                         }});
    }
    {
        BLod lod = StripLod(5);
        lod.uv.assign(128, {0.5f, 0.25f});
        cases.push_back({"UV", "Error reading UV_Data!", "UV Count: 128", ModelOf({lod}), [](const BModelLayout& at) {
                             return std::make_pair(kLodStart + at.lodLayouts[0].uvCount + 4,
                                                   kLodStart + at.lodLayouts[0].vertexCount);
                         }});
    }
    {
        BLod lod = StripLod(5);
        lod.unique.assign(512, 4);
        cases.push_back({"Unique", "Error reading Unique_Vertex_Count!", "Unique_Vertex_Count: 512", ModelOf({lod}),
                         [](const BModelLayout& at) {
                             return std::make_pair(kLodStart + at.lodLayouts[0].uniqueCount + 4,
                                                   kLodStart + at.lodLayouts[0].linkCount);
                         }});
    }
    {
        BLod lod = StripLod(5);
        lod.link.assign(512, 2);
        cases.push_back({"Link", "Error reading Link_to_Unique_Count!", "Link_to_Unique_Count: 512", ModelOf({lod}),
                         [](const BModelLayout& at) {
                             return std::make_pair(kLodStart + at.lodLayouts[0].linkCount + 4,
                                                   kLodStart + at.lodLayouts[0].polygonCount);
                         }});
    }
    const char* selMessages[] = {"Error reading Sel_Face_Count!", "Unknown Count1!", "Unknown Count2!",
                                 "Error reading Sel_Vertexes_Count!", "Error reading UnknownCount3!"};
    const char* selLines[] = {"FaceCount: 512", "Unknown Count1: 256", "Unknown Count2: 256", "VertexCount: 512",
                              "Unknown Count2: 1024"};
    const char* selNames[] = {"SelFaces", "SelEntries1", "SelEntries2", "SelVertexes", "SelEntries3"};
    for (int which = 0; which < 5; ++which) {
        BLod lod = StripLod(5);
        BSelection s = BigSelection(which);
        lod.selections = {s};
        cases.push_back(
            {selNames[which], selMessages[which], selLines[which], ModelOf({lod}), [s, which](const BModelLayout& at) {
                 const SelectionEnds e = SelectionFieldEnds(s, kLodStart + at.lodLayouts[0].selections[0]);
                 switch (which) {
                 case 0: return std::make_pair(e.faceCount + 4, e.faces);
                 case 1: return std::make_pair(e.entries1Count + 4, e.entries1);
                 case 2: return std::make_pair(e.entries2Count + 4, e.entries2);
                 case 3: return std::make_pair(e.vertexCount + 4, e.vertexes);
                 default: return std::make_pair(e.entries3Count + 4, e.entries3);
                 }
             }});
    }
    return cases;
}

TEST(BlockFailure, SpoiledChecksumShowsTheBlocksOwnMessageOnce) {
    for (BlockCase& c : BlockCases()) {
        SCOPED_TRACE(c.name);
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(c.model, &layout);
        const auto [start, end] = c.where(layout);
        ASSERT_GT(end, start + 4);
        Bytes good = bytes;
        {
            auto l = Load(good);
            ASSERT_TRUE(l->model->Complete()) << "the unspoiled file must load";
        }
        SpoilChecksumEndingAt(bytes, end);
        auto l = Load(bytes);
        ExpectOnlyMessage(*l, c.message);
        ASSERT_FALSE(l->sinks.log.empty());
        EXPECT_EQ(l->sinks.log.back(), c.lastLogLine);
        ExpectStoppedInLod(*l->model, 1);
    }
}

TEST(BlockFailure, ZeroOffsetRunShowsTheBlocksOwnMessageOnce) {
    for (BlockCase& c : BlockCases()) {
        SCOPED_TRACE(c.name);
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(c.model, &layout);
        const auto [start, end] = c.where(layout);
        Splice(bytes, start, end, ZeroOffsetBlock());
        auto l = Load(bytes);
        ExpectOnlyMessage(*l, c.message);
        EXPECT_EQ(l->sinks.log.back(), c.lastLogLine);
    }
}

TEST(BlockFailure, TruncatedBlockIsARaisedError) {
    for (BlockCase& c : BlockCases()) {
        SCOPED_TRACE(c.name);
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(c.model, &layout);
        const auto [start, end] = c.where(layout);
        for (std::size_t cut : {start, start + 1, (start + end) / 2, end - 1}) {
            SCOPED_TRACE(cut);
            auto l = Load(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
            ExpectOnlyMessage(*l, kCompleteFailed);
            EXPECT_EQ(l->model->LODs.Count(), 1);
        }
    }
}

TEST(BlockFailure, RunBeforeStartDoesNotFailTheBlock) {
    // every block replaced by one whose first run lies wholly before the
    // output: blanks, a valid checksum, no message at all
    for (BlockCase& c : BlockCases()) {
        SCOPED_TRACE(c.name);
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(c.model, &layout);
        const auto [start, end] = c.where(layout);
        const std::size_t L = 1024;  // every block of these cases decodes to 1024 bytes
        Bytes block;
        const std::size_t runs = (L + 17) / 18;
        for (std::size_t r = 0; r < runs; ++r) {
            if (r % 8 == 0) block.push_back(0x00);
            block.push_back(18);
            block.push_back(0x0F);
        }
        PutLe(block, static_cast<uint32_t>(L * 0x20), 4);
        Splice(bytes, start, end, block);
        auto l = Load(bytes);
        // blank indices point far outside the lists: those blocks that hold
        // indices end in the raised error, the others load completely
        const std::string name = c.name;
        if (name == "SelFaces" || name == "SelVertexes") {
            ExpectOnlyMessage(*l, kCompleteFailed);
        } else {
            EXPECT_TRUE(l->sinks.messages.empty()) << l->sinks.messages.front();
            EXPECT_TRUE(l->model->Complete());
            ExpectNoDecoderMessage(*l);
        }
    }
}

// ---------------------------------------------------------- masses

BModel GeometryModel(int points) {
    BLod lod = StripLod(4);
    lod.resolution = 1e13f;
    lod.unique.clear();
    for (int i = 0; i < points; ++i) lod.unique.push_back(static_cast<int16_t>(i % 4));
    BModel m = ModelOf({TriangleLod(), lod});
    for (int i = 0; i < points; ++i) m.masses.push_back(1.0f + static_cast<float>(i));
    m.offset1 = {1, 1, 1};
    m.offset2 = {10, 20, 30};
    m.offset3 = {2, 2, 2};
    m.totalMass = 500.0f;
    return m;
}

void ExpectStoppedInMasses(const TP3dModell& model, const BModel& m) {
    ASSERT_EQ(model.LODs.Count(), 2);
    EXPECT_EQ(model.LODs.Items(0)->Resolution, 1.0f);
    EXPECT_EQ(model.LODs.Items(1)->Resolution, 1e13f);
    EXPECT_EQ(model.GeometryLOD, model.LODs.Items(1));
    EXPECT_EQ(model.Offset1.X, 1.0f);
    EXPECT_EQ(model.Offset2.Y, 20.0f);
    EXPECT_EQ(model.Offset3.Z, 2.0f);
    EXPECT_EQ(model.Mass, 0.0f);
    // vertices not shifted
    const TP3dLOD& geo = *model.LODs.Items(1);
    for (int k = 0; k < geo.Vertexes.Count(); ++k)
        EXPECT_EQ(geo.Vertexes.Items(k)->X, m.lods[1].vertices[static_cast<std::size_t>(k)][0]);
}

TEST(MassFailure, SpoiledChecksumShowsMessageAndKeepsDecodedMasses) {
    BModel m = GeometryModel(300);
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(m, &layout);
    ASSERT_TRUE(layout.massesWritten);
    SpoilChecksumEndingAt(bytes, layout.totalMass);
    auto l = Load(bytes);
    ExpectOnlyMessage(*l, "Error reading Masses!");
    ExpectStoppedInMasses(*l->model, m);
    EXPECT_EQ(l->model->Masses, m.masses);  // every mass was decoded before the checksum
    EXPECT_EQ(l->sinks.log.back(), "Offset MassBeginn: 0");
}

TEST(MassFailure, ZeroOffsetKeepsMassesDecodedBeforeItAndZeroesTheRest) {
    BModel m = GeometryModel(256);
    BModelLayout layout;
    Bytes bytes = vistrel::BuildModel(m, &layout);
    // 8 literal bytes (two floats), then a zero-offset run
    Bytes block = {0xFF};
    PutLe(block, 0x40490FDBu, 4);  // 3.1415927f
    PutLe(block, 0xC0000000u, 4);  // -2.0f
    block.insert(block.end(), {0x00, 0x00, 0x00});
    block.insert(block.end(), 32, 0x00);
    Splice(bytes, layout.masses, layout.totalMass, block);
    auto l = Load(bytes);
    ExpectOnlyMessage(*l, "Error reading Masses!");
    ExpectStoppedInMasses(*l->model, m);
    ASSERT_EQ(l->model->Masses.size(), 256u);
    EXPECT_EQ(l->model->Masses[0], 3.1415927f);
    EXPECT_EQ(l->model->Masses[1], -2.0f);
    for (std::size_t k = 2; k < 256; ++k) ASSERT_EQ(l->model->Masses[k], 0.0f) << k;
}

TEST(MassFailure, TruncatedMassesLeaveTheConstructor) {
    for (int points : {300, 200}) {
        SCOPED_TRACE(points);
        BModel m = GeometryModel(points);
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(m, &layout);
        for (std::size_t cut :
             {layout.masses, layout.masses + 3, (layout.masses + layout.totalMass) / 2, layout.totalMass - 1}) {
            SCOPED_TRACE(cut);
            Sinks sinks;
            EXPECT_THROW(LoadFile(Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)), sinks),
                         EReadError);
            EXPECT_TRUE(sinks.messages.empty());
        }
    }
}

// ------------------------------------------------------------- polygons

TEST(PolygonFailure, CornerCountOtherThanThreeOrFourStopsTheLod) {
    for (int n : {0, 1, 2, 5, 255}) {
        SCOPED_TRACE(n);
        BLod lod = StripLod(6);  // 4 triangles
        lod.polygons[2].cornerCountOverride = static_cast<uint8_t>(n);
        lod.polygons[2].corners.clear();  // the record ends after its 7 bytes
        lod.selections = {BSelection{}};
        BModel m = ModelOf({lod, TriangleLod()});
        auto l = Load(vistrel::BuildModel(m));
        ExpectOnlyMessage(*l, "Error! Invalid number of vertexes in Poly!");
        ExpectStoppedInLod(*l->model, 1);
        const TP3dLOD& got = *l->model->LODs.Items(0);
        EXPECT_EQ(got.Polygons.Count(), 2);  // the bad polygon is not appended
        EXPECT_EQ(got.Vertexes.Count(), 6);
        EXPECT_TRUE(got.Selections.Empty());
        EXPECT_EQ(l->sinks.log.back(), "reading polygons....");
    }
}

TEST(PolygonFailure, StopInSecondOfThreeLodsKeepsTwoLodsUnshifted) {
    BLod first = StripLod(5);
    first.resolution = 1e13f;
    BLod second = StripLod(6);
    second.polygons[1].cornerCountOverride = 5;
    BModel m = ModelOf({first, second, TriangleLod()});
    m.masses = {1, 2, 3, 4, 5};
    m.offset1 = {3, 3, 3};
    m.offset2 = {100, 200, 300};
    m.offset3 = {4, 4, 4};
    m.totalMass = 9.0f;
    auto l = Load(vistrel::BuildModel(m));
    ExpectOnlyMessage(*l, "Error! Invalid number of vertexes in Poly!");
    ExpectStoppedInLod(*l->model, 2);
    const TP3dLOD& a = *l->model->LODs.Items(0);
    EXPECT_EQ(a.Vertexes.Count(), 5);
    EXPECT_EQ(a.Polygons.Count(), 3);
    EXPECT_EQ(a.Vertexes.Items(4)->X, 4.0f);  // not shifted
    const TP3dLOD& b = *l->model->LODs.Items(1);
    EXPECT_EQ(b.Polygons.Count(), 1);
    EXPECT_EQ(b.Vertexes.Items(5)->X, 5.0f);
}

TEST(PolygonFailure, RaisedErrorInThirdLodKeepsThreeLods) {
    BLod bad = StripLod(4);
    bad.polygons[0].corners[1] = 4;  // == UV count
    BModel m = ModelOf({StripLod(3), TriangleLod(), bad});
    m.lods[0].resolution = 1e13f;
    m.offset2 = {1, 1, 1};
    m.totalMass = 5.0f;
    auto l = Load(vistrel::BuildModel(m));
    ExpectOnlyMessage(*l, kCompleteFailed);
    ExpectStoppedInLod(*l->model, 3);
    EXPECT_EQ(l->model->LODs.Items(2)->Vertexes.Count(), 4);
}

TEST(PolygonFailure, CornerOutsideUVTableIsARaisedError) {
    for (int16_t corner : {int16_t{-1}, int16_t{-32768}, int16_t{5}, int16_t{6}, int16_t{32767}}) {
        SCOPED_TRACE(corner);
        BLod lod = StripLod(5);  // 5 UV pairs
        lod.polygons[1].corners[2] = corner;
        auto l = Load(vistrel::BuildModel(ModelOf({lod})));
        ExpectOnlyMessage(*l, kCompleteFailed);
        ExpectStoppedInLod(*l->model, 1);
        EXPECT_GE(l->model->LODs.Items(0)->Polygons.Count(), 1);
    }
}

TEST(PolygonFailure, LastUVEntryIsAValidCorner) {
    BLod lod = StripLod(5);
    lod.polygons[1].corners[2] = 4;
    auto l = Load(vistrel::BuildModel(ModelOf({lod})));
    EXPECT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
}

// ----------------------------------------------------------- selections

TEST(SelectionFailure, FaceIndexNotBelowPolygonCountIsARaisedError) {
    for (uint16_t index : {uint16_t{3}, uint16_t{4}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(index);
        BLod lod = StripLod(5);  // 3 polygons
        BSelection s;
        s.name = "s";
        s.faces = {0, index};
        lod.selections = {s};
        auto l = Load(vistrel::BuildModel(ModelOf({lod})));
        ExpectOnlyMessage(*l, kCompleteFailed);
        ExpectStoppedInLod(*l->model, 1);
        ASSERT_EQ(l->model->LODs.Items(0)->Selections.Count(), 1);  // appended at once
        EXPECT_EQ(l->model->LODs.Items(0)->Selections.Items(0)->Name, "s");
    }
}

TEST(SelectionFailure, CompressedFaceIndexNotBelowPolygonCountIsARaisedError) {
    BLod lod = StripLod(5);
    BSelection s;
    s.name = "s";
    s.faces.assign(600, 1);
    s.faces[599] = 3;
    lod.selections = {s};
    auto l = Load(vistrel::BuildModel(ModelOf({lod})));
    ExpectOnlyMessage(*l, kCompleteFailed);
}

TEST(SelectionFailure, VertexIndexNotBelowVertexCountIsARaisedError) {
    for (uint16_t index : {uint16_t{5}, uint16_t{0x8000}, uint16_t{0xFFFF}}) {
        SCOPED_TRACE(index);
        BLod lod = StripLod(5);
        BSelection s;
        s.name = "s";
        s.vertexes = {index};
        lod.selections = {s};
        auto l = Load(vistrel::BuildModel(ModelOf({lod})));
        ExpectOnlyMessage(*l, kCompleteFailed);
    }
}

// ------------------------------------------------------------- textures

TEST(TextureFailure, WindowWithoutZeroIsARaisedError) {
    for (std::size_t len : {256u, 300u}) {
        SCOPED_TRACE(len);
        BLod lod = StripLod(3);
        lod.textures = {"a.paa", std::string(len, 't')};
        auto l = Load(vistrel::BuildModel(ModelOf({lod})));
        ExpectOnlyMessage(*l, kCompleteFailed);
        EXPECT_EQ(l->model->LODs.Items(0)->Textures, (std::vector<std::string>{"a.paa"}));
    }
}

TEST(TextureFailure, WindowRunningPastEndOfFileIsARaisedError) {
    BModel m = ModelOf({StripLod(3)});
    m.lods[0].textures = {"x"};
    m.padTextureWindows = false;
    BModelLayout layout;
    const Bytes bytes = vistrel::BuildModel(m, &layout);
    ASSERT_LT(bytes.size(), kLodStart + layout.lodLayouts[0].textureNames[0] + 256);
    auto l = Load(bytes);
    ExpectOnlyMessage(*l, kCompleteFailed);

    // with exactly 256 bytes from the name on, it loads
    m.padTextureWindows = true;
    auto ok = Load(vistrel::BuildModel(m, &layout));
    EXPECT_EQ(layout.size, kLodStart + layout.lodLayouts[0].textureNames[0] + 256);
    EXPECT_TRUE(ok->model->Complete());
}

// ------------------------------------------------- negative and absurd counts

using CountSetter = std::function<void(BModel&, int32_t)>;

struct CountCase {
    const char* name;
    CountSetter set;
};

std::vector<CountCase> CountCases() {
    auto lod = [](BModel& m) -> BLod& { return m.lods[0]; };
    return {
        {"vertex info", [=](BModel& m, int32_t v) { lod(m).vertexInfoCountOverride = v; }},
        {"uv", [=](BModel& m, int32_t v) { lod(m).uvCountOverride = v; }},
        {"vertexes", [=](BModel& m, int32_t v) { lod(m).vertexCountOverride = v; }},
        {"normals", [=](BModel& m, int32_t v) { lod(m).normalCountOverride = v; }},
        {"textures", [=](BModel& m, int32_t v) { lod(m).textureCountOverride = v; }},
        {"unique", [=](BModel& m, int32_t v) { lod(m).uniqueCountOverride = v; }},
        {"link", [=](BModel& m, int32_t v) { lod(m).linkCountOverride = v; }},
        {"polygons", [=](BModel& m, int32_t v) { lod(m).polygonCountOverride = v; }},
        {"selections", [=](BModel& m, int32_t v) { lod(m).selectionCountOverride = v; }},
        {"named properties", [=](BModel& m, int32_t v) { lod(m).propertyCountOverride = v; }},
        {"trailing", [=](BModel& m, int32_t v) { lod(m).trailingCountOverride = v; }},
        {"proxies", [=](BModel& m, int32_t v) { lod(m).proxyCountOverride = v; }},
        {"selection faces", [=](BModel& m, int32_t v) { lod(m).selections[0].faceCountOverride = v; }},
        {"selection vertexes", [=](BModel& m, int32_t v) { lod(m).selections[0].vertexCountOverride = v; }},
    };
}

// A model with something in every list, so that every count can be spoiled.
BModel FullModel() {
    BLod lod = StripLod(6);
    lod.textures = {"a.paa"};
    lod.propertyRecords = 1;
    BSelection s;
    s.name = "s";
    s.faces = {0, 1};
    s.entries1 = {1};
    s.entries2 = {2};
    s.vertexes = {3};
    s.entries3 = {4};
    lod.selections = {s};
    lod.properties = {{"k", "v"}};
    lod.trailing = {{1, {{1, 2, 3}}}};
    vistrel::BProxy p;
    p.name = "p";
    lod.proxies = {p};
    return ModelOf({lod, TriangleLod()});
}

// Positions of the selection's dropped-entry counts and the trailing item count.
std::vector<std::pair<const char*, std::size_t>> PatchedCountPositions(const BModel& m, const BModelLayout& at) {
    const SelectionEnds e = SelectionFieldEnds(m.lods[0].selections[0], kLodStart + at.lodLayouts[0].selections[0]);
    return {{"property records", kLodStart + at.lodLayouts[0].propertyRecordCount},
            {"selection entries 1", e.entries1Count},
            {"selection entries 2", e.entries2Count},
            {"selection entries 3", e.entries3Count},
            {"trailing items", kLodStart + at.lodLayouts[0].trailingCount + 8}};
}

constexpr std::size_t kNoLargeAllocation = std::size_t{64} << 20;

// A count too large for the file reads records until the file ends or the
// bytes after the real records stop making sense as records (a polygon with
// a corner count other than 3 or 4); either way the LOD stops, nothing large
// is allocated.
void ExpectCountFailure(const Bytes& bytes, bool negative) {
    vistrel_test::ResetLargestAllocation();
    auto l = Load(bytes);
    const std::size_t largest = vistrel_test::LargestAllocation();
    ASSERT_EQ(l->sinks.messages.size(), 1u);
    const std::string& message = l->sinks.messages[0];
    EXPECT_TRUE(message == kCompleteFailed || (!negative && message == "Error! Invalid number of vertexes in Poly!"))
        << message;
    EXPECT_FALSE(l->model->Complete());
    ExpectNoDecoderMessage(*l);
    ExpectStoppedInLod(*l->model, 1);
    EXPECT_LT(largest, kNoLargeAllocation);
}

TEST(CountFailure, FullModelLoads) {
    auto l = Load(vistrel::BuildModel(FullModel()));
    EXPECT_TRUE(l->model->Complete());
    EXPECT_TRUE(l->sinks.messages.empty());
}

// Every count of the full model set to value, through the builder and by
// patching the built bytes, must fail the LOD read as a raised error.
static void ExpectEveryCountRefused(int32_t value) {
    for (const CountCase& c : CountCases()) {
        SCOPED_TRACE(std::string(c.name) + " = " + std::to_string(value));
        BModel m = FullModel();
        c.set(m, value);
        ExpectCountFailure(vistrel::BuildModel(m), value < 0);
    }
    BModel m = FullModel();
    BModelLayout layout;
    const Bytes built = vistrel::BuildModel(m, &layout);
    for (const auto& [name, at] : PatchedCountPositions(m, layout)) {
        SCOPED_TRACE(std::string(name) + " = " + std::to_string(value));
        Bytes bytes = built;
        vistrel::PutInt32At(bytes, at, value);
        ExpectCountFailure(bytes, value < 0);
    }
}

TEST(CountFailure, NegativeCountsAreRaisedErrors) {
    for (int32_t value : {int32_t{-1}, int32_t{-2}, INT32_MIN}) {
        ExpectEveryCountRefused(value);
    }
}

TEST(CountFailure, AbsurdCountsAreRaisedErrorsWithoutLargeAllocations) {
    for (int32_t value : {INT32_MAX, int32_t{0x10000000}, int32_t{5000000}, int32_t{100000}}) {
        ExpectEveryCountRefused(value);
    }
}

TEST(CountFailure, AbsurdLodCountStopsAtTheFirstMissingBody) {
    BModel m = ModelOf({TriangleLod()});
    m.lodCountOverride = INT32_MAX;
    vistrel_test::ResetLargestAllocation();
    auto l = Load(vistrel::BuildModel(m));
    EXPECT_LT(vistrel_test::LargestAllocation(), kNoLargeAllocation);
    ExpectOnlyMessage(*l, kCompleteFailed);
    ExpectStoppedInLod(*l->model, 2);
    EXPECT_EQ(l->model->LODs.Items(0)->Polygons.Count(), 1);
}

TEST(CountFailure, NegativeLodCountLeavesTheConstructor) {
    for (int32_t value : {int32_t{-1}, INT32_MIN}) {
        BModel m = ModelOf({TriangleLod()});
        m.lodCountOverride = value;
        Sinks sinks;
        EXPECT_THROW(LoadFile(vistrel::BuildModel(m), sinks), EBadData);
        EXPECT_TRUE(sinks.messages.empty());
    }
}

// Records before a failure are kept and logged, also when their count says
// more records follow than the file can hold.
TEST(CountFailure, RecordsBeforeTheFailureAreKept) {
    const auto untextured = [] {
        BLod lod = TriangleLod();  // no 256-byte name window to reach past the cut
        lod.textures.clear();
        lod.polygons[0].texture = -1;
        return lod;
    };
    {
        // The file ends inside the second proxy's name.
        BLod lod = untextured();
        lod.proxies = {vistrel::BProxy{"first", {}}, vistrel::BProxy{"second", {}}};
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
        bytes.resize(kLodStart + layout.lodLayouts[0].proxies[1] + 3);
        auto l = Load(bytes);
        ExpectOnlyMessage(*l, kCompleteFailed);
        EXPECT_EQ(std::count(l->sinks.log.begin(), l->sinks.log.end(), "ProxyName: first"), 1);
        EXPECT_EQ(l->model->LODs.Items(0)->Polygons.Count(), 1);
    }
    {
        // A selection whose face count is negative keeps its name; so does a
        // property read before a file that ends in the next one.
        BLod lod = untextured();
        lod.selections = {BSelection{}, BSelection{}};
        lod.selections[0].name = "kept";
        lod.selections[1].name = "broken";
        lod.selections[1].faceCountOverride = -1;
        lod.selectionCountOverride = 1000;
        auto l = Load(vistrel::BuildModel(ModelOf({lod})));
        ExpectOnlyMessage(*l, kCompleteFailed);
        const TP3dLOD& read = *l->model->LODs.Items(0);
        ASSERT_EQ(read.Selections.Count(), 2);
        EXPECT_EQ(read.Selections.Items(1)->Name, "broken");
    }
    {
        BLod lod = untextured();
        lod.properties = {{"a", "1"}, {"b", "2"}};
        lod.propertyCountOverride = 1000;
        BModelLayout layout;
        Bytes bytes = vistrel::BuildModel(ModelOf({lod}), &layout);
        bytes.resize(kLodStart + layout.lodLayouts[0].namedPropertyCount + 4 + 4 + 1);  // "a\01\0b"
        auto l = Load(bytes);
        ExpectOnlyMessage(*l, kCompleteFailed);
        EXPECT_EQ(l->model->LODs.Items(0)->Properties, (std::vector<std::string>{"a= 1"}));
    }
}

// -------------------------------------------------------- magic and files

TEST(FileFailure, OtherMagicIsIncorrectFormat) {
    for (const char* magic : {"bmdl", "BMDX", "MLOd", "mlod", "QZRV", "\x00\x00\x00\x00", "BMD "}) {
        SCOPED_TRACE(magic);
        Bytes bytes = vistrel::BuildModel(ModelOf({TriangleLod()}));
        std::copy(magic, magic + 4, bytes.begin());
        Sinks sinks;
        std::string path;
        auto model = LoadFile(bytes, sinks, &path);
        EXPECT_EQ(sinks.messages, (std::vector<std::string>{"Incorrect Format!"}));
        EXPECT_FALSE(model->Complete());
        EXPECT_EQ(model->FileFormat(), TP3dModell::Format::Unknown);
        EXPECT_EQ(model->LODs.Count(), 0);
        EXPECT_EQ(sinks.log, (std::vector<std::string>{"******OPEN:" + path}));
    }
}

TEST(FileFailure, OtherMagicOfExactlyFourBytes) {
    Sinks sinks;
    auto model = LoadFile(Bytes{'A', 'B', 'C', 'D'}, sinks);
    EXPECT_EQ(sinks.messages, (std::vector<std::string>{"Incorrect Format!"}));
}

TEST(FileFailure, MissingFileRaisesCannotOpen) {
    const std::string path = TempFile::NewPath("missing") + ".none/x.p3d";
    Sinks sinks;
    try {
        TP3dModell model(path, sinks.Log(), sinks.Message());
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
    EXPECT_TRUE(sinks.messages.empty());
    EXPECT_EQ(sinks.log, (std::vector<std::string>{"******OPEN:" + path}));
}

TEST(FileFailure, DirectoryPathRaisesCannotOpen) {
    const std::string path = TempFile::NewPath("folder");
    std::filesystem::create_directory(path);
    Sinks sinks;
    try {
        TP3dModell model(path, sinks.Log(), sinks.Message());
        ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot open file " + path, 0), 0u) << e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "a folder raised " << typeid(e).name() << ": " << e.what();
    }
    EXPECT_TRUE(sinks.messages.empty());
    std::filesystem::remove(path);
}

TEST(FileFailure, FileShorterThanMagicRaisesStreamReadError) {
    for (const Bytes& bytes : {Bytes{}, Bytes{'B'}, Bytes{'B', 'M', 'D'}, Bytes{'M', 'L', 'O'}}) {
        SCOPED_TRACE(bytes.size());
        Sinks sinks;
        try {
            LoadFile(bytes, sinks);
            FAIL() << "no error";
        } catch (const EReadError& e) {
            EXPECT_EQ(std::string(e.what()), "Stream read error");
        }
        EXPECT_TRUE(sinks.messages.empty());
    }
}

TEST(FileFailure, FileEndingInHeaderRaisesStreamReadError) {
    const Bytes full = vistrel::BuildModel(ModelOf({TriangleLod()}));
    for (std::size_t n = 4; n < kLodStart; ++n) {
        SCOPED_TRACE(n);
        Sinks sinks;
        EXPECT_THROW(LoadFile(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)), sinks), EReadError);
        EXPECT_TRUE(sinks.messages.empty());
    }
}

TEST(FileFailure, FileEndingInResolutionsOrModelWideDataRaisesStreamReadError) {
    BLod geo = StripLod(3);
    geo.resolution = 1e13f;
    BModel m = ModelOf({TriangleLod(), geo});
    m.masses = {1, 2, 3};
    BModelLayout at;
    const Bytes full = vistrel::BuildModel(m, &at);
    ASSERT_EQ(at.padding, 0u);
    const std::vector<std::size_t> cuts = {
        at.resolutions,      at.resolutions + 3, at.resolutions + 4, at.resolutions + 8,
        at.resolutions + 20, at.offset1 + 5,     at.bboxMin,         at.bboxMax + 11,
        at.offset2 + 4,      at.offset3 + 8,     at.offset3 + 12,    at.massCount - 1,
        at.massCount + 2,    at.masses + 5,      at.totalMass,       at.totalMass + 3};
    for (std::size_t cut : cuts) {
        SCOPED_TRACE(cut);
        Sinks sinks;
        try {
            LoadFile(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)), sinks);
            FAIL() << "no error";
        } catch (const EReadError& e) {
            EXPECT_EQ(std::string(e.what()), "Stream read error");
        }
        EXPECT_TRUE(sinks.messages.empty());
    }
}

// ------------------------------------------------------------- prefixes

// The small model of the log test: one LOD ending in a proxy.
BModel SmallModel() {
    BLod lod = TriangleLod();
    lod.resolution = 1e13f;
    BSelection s;
    s.name = "sel";
    s.faces = {0};
    s.entries1 = {1};
    s.vertexes = {0, 1};
    s.entries3 = {7};
    lod.selections = {s};
    lod.properties = {{"a", "b"}};
    lod.trailing = {{0, {{1, 2, 3}, {4, 5, 6}}}};
    vistrel::BProxy p;
    p.name = "proxy";
    lod.proxies = {p};
    BModel m = ModelOf({lod});
    m.masses = {1, 2, 3};
    m.offset2 = {1, 2, 3};
    return m;
}

TEST(Prefix, EveryPrefixOfSmallModelEndsInTheRightError) {
    BModelLayout at;
    const Bytes full = vistrel::BuildModel(SmallModel(), &at);
    ASSERT_EQ(at.padding, 0u);
    const std::size_t lodEnd = at.resolutions;
    // the last 56 bytes of the body are only skipped: a file that ends there
    // fails on the resolution that follows
    const std::size_t skippedTail = lodEnd - 56;
    ASSERT_EQ(kLodStart + at.lodLayouts[0].proxies[0] + 6, skippedTail);
    // but the texture name's window reaches beyond that: a file shorter than
    // the window fails inside the body
    const std::size_t windowEnd = kLodStart + at.lodLayouts[0].textureNames[0] + 256;
    ASSERT_GT(windowEnd, skippedTail);
    ASSERT_LT(windowEnd, full.size());
    const std::size_t lodFails = std::max(skippedTail, windowEnd);
    for (std::size_t n = 0; n < full.size(); ++n) {
        SCOPED_TRACE(n);
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        Sinks sinks;
        if (n < kLodStart || n >= lodFails) {
            EXPECT_THROW(LoadBytes(prefix, sinks), EReadError);
            EXPECT_TRUE(sinks.messages.empty());
        } else {
            std::unique_ptr<TP3dModell> model;
            ASSERT_NO_THROW(model = LoadBytes(prefix, sinks));
            EXPECT_EQ(sinks.messages, (std::vector<std::string>{kCompleteFailed}));
            EXPECT_FALSE(model->Complete());
            ExpectStoppedInLod(*model, 1);
        }
    }
    Sinks sinks;
    EXPECT_TRUE(LoadBytes(full, sinks)->Complete());
}

TEST(Prefix, EveryPrefixOfCompressedModelEndsInAModelOrAReaderError) {
    BLod big = StripLod(300);
    big.resolution = 1e13f;
    big.vertexInfo.assign(300, 0x0100);
    big.textures = {"a.paa", "b.paa"};
    BSelection s;
    s.name = "all";
    for (int i = 0; i < 298; ++i) s.faces.push_back(static_cast<uint16_t>(i));
    s.faces.insert(s.faces.end(), s.faces.begin(), s.faces.end());
    s.entries1.assign(300, 1);
    s.entries2.assign(300, 2);
    for (int i = 0; i < 600; ++i) s.vertexes.push_back(static_cast<uint16_t>(i % 300));
    s.entries3.assign(1100, 3);
    big.selections = {s};
    BModel m = ModelOf({TriangleLod(), big});
    for (int i = 0; i < 300; ++i) m.masses.push_back(static_cast<float>(i % 9));
    const Bytes full = vistrel::BuildModel(m);
    {
        Sinks sinks;
        ASSERT_TRUE(LoadBytes(full, sinks)->Complete());
    }
    for (std::size_t n = 0; n < full.size(); ++n) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        Sinks sinks;
        try {
            auto model = LoadBytes(prefix, sinks);
            ASSERT_FALSE(model->Complete()) << n;
            ASSERT_EQ(sinks.messages, (std::vector<std::string>{kCompleteFailed})) << n;
        } catch (const EP3dError&) {
            ASSERT_TRUE(sinks.messages.empty()) << n;
        } catch (...) {
            FAIL() << "prefix of " << n << " bytes raised something else";
        }
    }
}

TEST(Prefix, EveryPrefixThroughAFileOnDisk) {
    const Bytes full = vistrel::BuildModel(SmallModel());
    for (std::size_t n = 0; n < full.size(); n += 7) {
        const Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        Sinks sinks;
        try {
            auto model = LoadFile(prefix, sinks);
            EXPECT_FALSE(model->Complete()) << n;
            EXPECT_EQ(sinks.messages.size(), 1u) << n;
        } catch (const EP3dError&) {
            EXPECT_TRUE(sinks.messages.empty()) << n;
        } catch (...) {
            ADD_FAILURE() << "prefix of " << n << " bytes raised something else";
        }
    }
}

TEST(Corruption, EveryByteChangedEndsInAModelOrAReaderError) {
    const Bytes full = vistrel::BuildModel(SmallModel());
    for (std::size_t i = 0; i < full.size(); ++i) {
        for (uint8_t x : {uint8_t{0xFF}, uint8_t{0x80}, uint8_t{0x01}}) {
            Bytes bytes = full;
            bytes[i] ^= x;
            Sinks sinks;
            try {
                auto model = LoadBytes(bytes, sinks);
                ASSERT_LE(sinks.messages.size(), 1u) << i;
                if (!sinks.messages.empty()) {
                    ASSERT_FALSE(model->Complete()) << i;
                }
            } catch (const EP3dError&) {
                ASSERT_TRUE(sinks.messages.empty()) << i;
            } catch (...) {
                FAIL() << "byte " << i << " raised something else";
            }
        }
    }
}

}  // namespace

namespace {

TEST(AllocationProbe, SeesALargeRequest) {
    vistrel_test::ResetLargestAllocation();
    std::vector<char> big(std::size_t{100} << 20);
    big[12345] = 1;
    EXPECT_GE(vistrel_test::LargestAllocation(), std::size_t{100} << 20);
    EXPECT_EQ(big[12345], 1);
}

}  // namespace

TEST(FileFailure, MagicOfAFileTellsItsFormatOrRaisesTheFrameworkErrors) {
    const std::string path = TempFile::NewPath("magic");
    {
        std::ofstream out(path, std::ios::binary);
        out << "MLOD and more";
    }
    EXPECT_EQ(std::string(vistrel::ReadFileMagic(path).data(), 4), "MLOD");
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << "BMD";
    }
    EXPECT_THROW(vistrel::ReadFileMagic(path), vistrel::EReadError);
    std::filesystem::remove(path);
    try {
        vistrel::ReadFileMagic(path);
        ADD_FAILURE() << "no error";
    } catch (const vistrel::EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + path);
    }
}
