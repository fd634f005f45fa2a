// Reading the editable format: our writer's output read back (the sample, LOD
// by LOD, and written again byte for byte), a file shaped like the editor's
// own (version 257, more normals than points, a tag of another kind), and
// the failure contract (every prefix of a file, broken fields).
#include <gtest/gtest.h>

#include "AllocationProbe.h"
#include "MlodReader.h"
#include "ReaderTestSupport.h"

using namespace readertest;
using vistrel::ACorner;
using vistrel::MCorner;
using vistrel::MFace;
using vistrel::MFile;
using vistrel::MLod;
using vistrel::MTag;
using vistrel::TP3dLOD;
using vistrel::TP3dModell;

namespace {

const std::string kSample = VISTREL_SOURCE_DIR "/samples/tank.p3d";

Bytes Written(TP3dModell& model) {
    const std::string path = TempFile::NewPath("written");
    EXPECT_TRUE(model.WriteMLOD(path));
    Bytes bytes = vistrel::ReadFileBytes(path);
    std::remove(path.c_str());
    return bytes;
}

MTag Tag(const std::string& name, std::vector<uint8_t> data) {
    MTag t;
    t.name = name;
    t.length = static_cast<uint32_t>(data.size());
    t.data = std::move(data);
    return t;
}

std::vector<uint8_t> Floats(std::initializer_list<float> values) {
    std::vector<uint8_t> b(4 * values.size());
    std::memcpy(b.data(), values.begin(), b.size());
    return b;
}

// Shaped like the editor's own files: version 257, five normals for four
// points, a quad and a triangle with their corners stored the other way
// round, a tag of another kind before a selection, a geometry LOD with masses.
MFile RealShaped() {
    MFile file;
    file.version = 0x101;
    MLod lod;
    lod.headerSize = 28;
    lod.headerVersion = 0x100;
    lod.pointCount = 4;
    lod.normalCount = 5;
    lod.faceCount = 2;
    lod.points = {{0, 0, 0, 0x40}, {1, 0, 0, 0x3305}, {1, 1, 0, 0x30}, {0, 1, 2, 0x10}};
    lod.normals = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {0.6f, 0.8f, 0}};
    MFace quad;  // a b c d = points 0 1 2 3, stored b a d c
    quad.texture = "data\\wall.paa";
    quad.cornerCount = 4;
    quad.corners[0] = {1, 1, 1, 0};
    quad.corners[1] = {0, 0, 0, 0};
    quad.corners[2] = {3, 3, 0, 1};
    quad.corners[3] = {2, 2, 1, 1};
    quad.flags = 0x01000010;
    MFace triangle;  // a b c = points 0 2 3, stored a c b; point 0 with another normal
    triangle.cornerCount = 3;
    triangle.corners[0] = {0, 4, 0, 0};
    triangle.corners[1] = {3, 3, 0, 1};
    triangle.corners[2] = {2, 2, 1, 1};
    lod.faces = {quad, triangle};
    std::vector<uint8_t> property(128, 0);
    std::memcpy(property.data(), "class", 5);
    std::memcpy(property.data() + 64, "house", 5);
    lod.tags = {Tag("#SharpEdges#", {1, 0, 0, 0, 2, 0, 0, 0}), Tag("door", {0, 0, 1, 1, 0, 1}),
                Tag("#Property#", property), Tag("#EndOfFile#", {})};
    lod.resolution = 1;
    MLod geometry = lod;
    geometry.faceCount = 0;
    geometry.faces.clear();
    geometry.tags = {Tag("#Mass#", Floats({1, 2, 3, 4.5f})), Tag("#EndOfFile#", {})};
    geometry.resolution = vistrel::kGeometryResolution;
    file.lods = {lod, geometry};
    return file;
}

}  // namespace

TEST(EditableRoundTrip, TheSampleReadsBackAsWrittenAndWritesAgainTheSame) {
    Sinks sinks;
    TP3dModell binarized(kSample, sinks.Log(), sinks.Message());
    ASSERT_TRUE(binarized.Complete());
    const Bytes first = Written(binarized);
    auto editable = LoadBytes(first, sinks);
    ASSERT_TRUE(editable->Complete()) << (sinks.messages.empty() ? "" : sinks.messages.back());
    EXPECT_EQ(editable->FileFormat(), TP3dModell::Format::Editable);
    ASSERT_EQ(editable->LODs.Count(), binarized.LODs.Count());
    for (int i = 0; i < binarized.LODs.Count(); ++i) {
        SCOPED_TRACE(i);
        const TP3dLOD& b = *binarized.LODs.Items(i);
        const TP3dLOD& e = *editable->LODs.Items(i);
        EXPECT_EQ(e.Resolution, b.Resolution);
        EXPECT_EQ(e.Polygons.Count(), b.Polygons.Count());
        EXPECT_EQ(e.UniqueVertexes.Count, b.UniqueVertexes.Count);
        // positions are held with the model's second offset, the stored box without
        EXPECT_FLOAT_EQ(e.MinPos.X, b.MinPos.X + binarized.Offset2.X);
        EXPECT_FLOAT_EQ(e.MinPos.Y, b.MinPos.Y + binarized.Offset2.Y);
        EXPECT_FLOAT_EQ(e.MaxPos.Z, b.MaxPos.Z + binarized.Offset2.Z);
        ASSERT_EQ(e.Selections.Count(), b.Selections.Count());
        for (int s = 0; s < b.Selections.Count(); ++s) {
            EXPECT_EQ(e.Selections.Items(s)->Name, b.Selections.Items(s)->Name);
            EXPECT_EQ(e.Selections.Items(s)->Polygons.Count(), b.Selections.Items(s)->Polygons.Count());
        }
        EXPECT_EQ(e.Properties, b.Properties);
    }
    EXPECT_EQ(editable->Masses, binarized.Masses);
    EXPECT_FLOAT_EQ(editable->Mass, binarized.Mass);
    EXPECT_EQ(Written(*editable), first);
}

TEST(EditableReader, AFileShapedLikeTheEditorsOwn) {
    Sinks sinks;
    auto model = LoadBytes(vistrel::BuildMlod(RealShaped()), sinks);
    ASSERT_TRUE(model->Complete()) << (sinks.messages.empty() ? "" : sinks.messages.back());
    ASSERT_EQ(model->LODs.Count(), 2);
    const TP3dLOD& lod = *model->LODs.Items(0);
    // corners back in the binarized order: the quad a b c d, the triangle a b c
    ASSERT_EQ(lod.Polygons.Count(), 2);
    const auto pointOf = [&](const TP3dLOD& l, int face, int corner) {
        return l.LinkToUnique.Items[static_cast<std::size_t>(l.Polygons.Items(face)->Corners[corner].VertexIndex)];
    };
    EXPECT_EQ((std::vector<int>{pointOf(lod, 0, 0), pointOf(lod, 0, 1), pointOf(lod, 0, 2), pointOf(lod, 0, 3)}),
              (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ((std::vector<int>{pointOf(lod, 1, 0), pointOf(lod, 1, 1), pointOf(lod, 1, 2)}),
              (std::vector<int>{0, 2, 3}));
    // one vertex per distinct (point, normal, u, v): point 0 twice
    EXPECT_EQ(lod.Vertexes.Count(), 5);
    EXPECT_EQ(lod.UniqueVertexes.Count, 4);
    const ACorner& second = lod.Polygons.Items(1)->Corners[0];
    EXPECT_EQ(lod.Normals.Items(second.VertexIndex)->X, 0.6f);
    EXPECT_EQ(lod.UVData[static_cast<std::size_t>(second.VertexIndex)].V, 0.0f);
    // hint bits from the point flags, the inverse of the writer's mapping
    EXPECT_EQ(lod.VertexInfo[static_cast<std::size_t>(lod.UniqueVertexes.Items[0])], 0x00A00000u);
    EXPECT_EQ(lod.VertexInfo[static_cast<std::size_t>(lod.UniqueVertexes.Items[1])], 0x0000F500u);
    EXPECT_EQ(lod.VertexInfo[static_cast<std::size_t>(lod.UniqueVertexes.Items[2])], 0x00B00000u);
    EXPECT_EQ(lod.VertexInfo[static_cast<std::size_t>(lod.UniqueVertexes.Items[3])], 0x00800000u);
    EXPECT_EQ(lod.Polygons.Items(0)->Flags, 0x01000010u);
    // the untextured face's empty name listed too, in order of first use
    EXPECT_EQ(lod.Textures, (std::vector<std::string>{"data\\wall.paa", ""}));
    EXPECT_EQ(lod.Polygons.Items(1)->TextureIndex, 1);
    EXPECT_FLOAT_EQ(lod.MaxPos.Z, 2);
    // the tag of another kind passed over; the selection after it read
    ASSERT_EQ(lod.Selections.Count(), 1);
    EXPECT_EQ(lod.Selections.Items(0)->Name, "door");
    EXPECT_EQ(lod.Selections.Items(0)->Vertexes.Count(), 2);  // points 2 and 3
    ASSERT_EQ(lod.Selections.Items(0)->Polygons.Count(), 1);
    EXPECT_EQ(lod.Selections.Items(0)->Polygons.Items(0), lod.Polygons.Items(1));
    EXPECT_EQ(lod.Properties, std::vector<std::string>{"class= house"});
    // the geometry LOD's masses and their sum; a LOD without faces keeps its points
    EXPECT_EQ(model->GeometryLOD, model->LODs.Items(1));
    EXPECT_EQ(model->LODs.Items(1)->Vertexes.Count(), 4);
    EXPECT_EQ(model->Masses, (std::vector<float>{1, 2, 3, 4.5f}));
    EXPECT_FLOAT_EQ(model->Mass, 10.5f);
}

TEST(EditableReader, EveryPrefixIsRefusedCleanly) {
    const Bytes whole = vistrel::BuildMlod(RealShaped());
    for (std::size_t n = 0; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        Sinks sinks;
        const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < 12) {  // the magic, version and LOD count: the stream's error
            EXPECT_THROW(LoadBytes(prefix, sinks), vistrel::EReadError);
            continue;
        }
        auto model = LoadBytes(prefix, sinks);
        EXPECT_FALSE(model->Complete());
        EXPECT_EQ(sinks.messages.size(), 1u);
    }
}

TEST(EditableReader, BrokenFieldsStopTheLodWithAMessage) {
    const auto failure = [](const MFile& file) {
        Sinks sinks;
        vistrel_test::ResetLargestAllocation();
        auto model = LoadBytes(vistrel::BuildMlod(file), sinks);
        EXPECT_LT(vistrel_test::LargestAllocation(), std::size_t{64} << 20);
        EXPECT_FALSE(model->Complete());
        return sinks.messages.size() == 1 ? sinks.messages[0]
                                          : std::string("messages: ") + std::to_string(sinks.messages.size());
    };
    const std::string raised = "Complete loading of P3d failed!\nSorry ;)";
    MFile f = RealShaped();
    f.version = 2;
    EXPECT_EQ(failure(f), "Unknown MLOD version!");
    f = RealShaped();
    f.lods[0].headerSize = 12;
    EXPECT_EQ(failure(f), "Error! LOD is not SP3X!");
    f = RealShaped();
    f.lods[0].faces[1].cornerCount = 5;
    EXPECT_EQ(failure(f), "Error! Invalid number of vertexes in Poly!");
    {
        // The first face was read, but no corner of it may be left without a
        // vertex; a geometry LOD before a failure has no masses.
        std::swap(f.lods[0], f.lods[1]);
        Sinks sinks;
        auto model = LoadBytes(vistrel::BuildMlod(f), sinks);
        ASSERT_EQ(model->LODs.Count(), 2);
        EXPECT_EQ(model->LODs.Items(1)->Polygons.Count(), 0);
        EXPECT_EQ(model->GeometryLOD, nullptr);
        EXPECT_TRUE(model->Masses.empty());
    }
    f = RealShaped();
    f.lods[0].faces[1].corners[2].normal = 5;  // one past the normals
    EXPECT_EQ(failure(f), raised);
    f = RealShaped();
    f.lods[0].tags[0].length = 1u << 30;  // runs past the file
    EXPECT_EQ(failure(f), raised);
    for (int32_t count : {-1, INT32_MAX}) {
        f = RealShaped();
        f.lods[0].pointCount = count;
        EXPECT_EQ(failure(f), raised);
        f = RealShaped();
        f.lods[0].faceCount = count;
        EXPECT_EQ(failure(f), raised);
    }
}
