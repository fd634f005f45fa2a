// A model built as binarized bytes, read, written in the editable format and
// read back by the test-side reader: every field checked against the
// description the file was built from.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "MlodReader.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"

using namespace vistrel;

namespace {

// Face flag words of the binarized file and the editable flags they become.
struct FlagCase {
    uint32_t file, editable;
};
constexpr FlagCase kFlags[] = {
    {0x00000000u, 0x00000000u}, {0x10000020u, 0x01000010u}, {0x0F000000u, 0x000003C0u},
    {0x00FE0000u, 0xFE000000u}, {0x0001000Fu, 0x00000000u},
};

BLod MakeLod(int points, float resolution, int seed) {
    BLod lod;
    lod.resolution = resolution;
    // every point has two vertexes (two UV seams): vertex 2p and 2p+1
    for (int p = 0; p < points; ++p) {
        for (int twin = 0; twin < 2; ++twin) {
            const float x = float(p % 7) + 0.5f * float(seed), y = float(p / 7), z = float(p % 3);
            lod.vertices.push_back({x, y, z});
            lod.normals.push_back({0.0f, float(twin), 1.0f});
            lod.uv.push_back({0.01f * float(p), 0.5f * float(twin)});
            lod.vertexInfo.push_back(uint32_t(p % 16) << 20 | uint32_t(p % 256) << 8);
            lod.link.push_back(int16_t(p));
        }
        lod.unique.push_back(int16_t(2 * p + (p % 2)));
    }
    lod.textures = {"data\\wall.paa", "data\\roof.paa"};
    const int vertexes = 2 * points;
    for (int f = 0; f + 3 < vertexes; f += 3) {
        BPolygon poly;
        const bool quad = (f / 3) % 2 == 1;
        poly.corners = {int16_t(f), int16_t(f + 1), int16_t(f + 2)};
        if (quad) poly.corners.push_back(int16_t(f + 3));
        poly.texture = int16_t((f / 3) % 3 - 1);  // -1, 0, 1
        poly.faceFlags = kFlags[(f / 3) % 5].file;
        lod.polygons.push_back(poly);
    }
    BSelection sel;
    sel.name = "wheel_" + std::to_string(seed);
    sel.vertexes = {0, 1, 5, uint16_t(vertexes - 1), 5};
    sel.faces = {0, uint16_t(lod.polygons.size() - 1)};
    lod.selections.push_back(sel);
    BSelection big;
    big.name = "all";
    for (int v = 0; v < vertexes; ++v) big.vertexes.push_back(uint16_t(v));
    for (std::size_t f = 0; f < lod.polygons.size(); ++f) big.faces.push_back(uint16_t(f));
    lod.selections.push_back(big);
    lod.properties = {{"class", "vehicle"}, {"lod", std::to_string(seed)}, {"lod", "other"}};
    lod.minPos = {-1, -2, -3};
    lod.maxPos = {1, 2, 3};
    return lod;
}

std::vector<uint8_t> Mask(std::size_t n, const std::vector<std::size_t>& set) {
    std::vector<uint8_t> m(n, 0);
    for (std::size_t k : set) m[k] = 1;
    return m;
}

}  // namespace

TEST(MlodRoundTrip, WrittenFileMatchesTheBuiltDescription) {
    BModel desc;
    desc.lods = {MakeLod(300, 1.0f, 1), MakeLod(40, kBuilderGeometryResolution, 2)};
    desc.offset2 = {0.5f, -1.0f, 2.0f};
    for (int p = 0; p < 40; ++p) desc.masses.push_back(10.0f + float(p));
    desc.totalMass = 1180;

    TP3dModell model("built.p3d", BuildModel(desc));
    ASSERT_TRUE(model.Complete());
    ASSERT_EQ(model.GeometryLOD, model.LODs[1]);

    const auto dir = std::filesystem::temp_directory_path() / ("vistrel-roundtrip-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "out.p3d").string();
    std::vector<std::string> messages;
    model.OnMessage = [&](const std::string& m) { messages.push_back(m); };
    ASSERT_TRUE(model.WriteMLOD(path));
    const MFile file = ReadMlod(ReadFileBytes(path));
    std::filesystem::remove_all(dir);
    EXPECT_EQ(messages, std::vector<std::string>{"MLOD saved"});

    EXPECT_EQ(file.version, 0x3F8CCCCDu);
    ASSERT_EQ(file.lods.size(), desc.lods.size());
    for (std::size_t l = 0; l < desc.lods.size(); ++l) {
        SCOPED_TRACE("LOD " + std::to_string(l));
        const BLod& d = desc.lods[l];
        const MLod& m = file.lods[l];
        const std::size_t points = d.unique.size();
        EXPECT_EQ(m.headerSize, 28);
        EXPECT_EQ(m.headerVersion, 153);
        EXPECT_EQ(m.headerFlags, 0);
        ASSERT_EQ(m.points.size(), points);
        ASSERT_EQ(m.normals.size(), points);
        for (std::size_t p = 0; p < points; ++p) {
            const auto v = static_cast<std::size_t>(d.unique[p]);
            EXPECT_EQ(m.points[p].x, d.vertices[v][0] + desc.offset2[0]);
            EXPECT_EQ(m.points[p].y, d.vertices[v][1] + desc.offset2[1]);
            EXPECT_EQ(m.points[p].z, d.vertices[v][2] + desc.offset2[2]);
            EXPECT_EQ(m.points[p].flags, MlodPointFlags(d.vertexInfo[v]));
            EXPECT_EQ(m.normals[p].y, d.normals[v][1]);
            EXPECT_EQ(m.normals[p].z, d.normals[v][2]);
        }
        ASSERT_EQ(m.faces.size(), d.polygons.size());
        for (std::size_t f = 0; f < d.polygons.size(); ++f) {
            const BPolygon& dp = d.polygons[f];
            const MFace& mf = m.faces[f];
            EXPECT_EQ(mf.texture, dp.texture >= 0 ? d.textures[std::size_t(dp.texture)] : "");
            EXPECT_EQ(mf.cornerCount, int(dp.corners.size()));
            EXPECT_EQ(mf.flags, kFlags[f % 5].editable);
            const bool quad = dp.corners.size() == 4;
            const std::vector<int> order = quad ? std::vector<int>{1, 0, 3, 2} : std::vector<int>{0, 2, 1};
            for (std::size_t c = 0; c < order.size(); ++c) {
                const auto v = static_cast<std::size_t>(dp.corners[std::size_t(order[c])]);
                EXPECT_EQ(mf.corners[c].point, d.link[v]);
                EXPECT_EQ(mf.corners[c].normal, d.link[v]);
                EXPECT_EQ(mf.corners[c].u, d.uv[v][0]);
                EXPECT_EQ(mf.corners[c].v, d.uv[v][1]);
            }
        }
        // selections, then properties, the masses in the geometry LOD, the end
        const bool geometry = l == 1;
        ASSERT_EQ(m.tags.size(), d.selections.size() + d.properties.size() + (geometry ? 1 : 0) + 1);
        std::size_t t = 0;
        for (const BSelection& s : d.selections) {
            const MTag& tag = m.tags[t++];
            EXPECT_EQ(tag.name, s.name);
            std::vector<std::size_t> pointSet, faceSet;
            for (uint16_t v : s.vertexes) pointSet.push_back(std::size_t(d.link[v]));
            for (uint16_t f : s.faces) faceSet.push_back(f);
            auto expected = Mask(points, pointSet);
            const auto faces = Mask(d.polygons.size(), faceSet);
            expected.insert(expected.end(), faces.begin(), faces.end());
            EXPECT_EQ(tag.length, points + d.polygons.size());
            EXPECT_EQ(tag.data, expected);
        }
        for (const auto& [name, value] : d.properties) {
            const MTag& tag = m.tags[t++];
            EXPECT_EQ(tag.name, "#Property#");
            EXPECT_EQ(FieldText(tag.data.data(), 64), name);
            EXPECT_EQ(FieldText(tag.data.data() + 64, 64), value);
        }
        if (geometry) {
            const MTag& tag = m.tags[t++];
            EXPECT_EQ(tag.name, "#Mass#");
            ASSERT_EQ(tag.length, 4 * points);
            for (std::size_t p = 0; p < points; ++p) {
                float mass;
                std::memcpy(&mass, tag.data.data() + 4 * p, 4);
                EXPECT_EQ(mass, desc.masses[p]);
            }
        }
        EXPECT_EQ(m.tags[t].name, "#EndOfFile#");
        EXPECT_EQ(m.tags[t].length, 0u);
        EXPECT_EQ(m.resolution, d.resolution);
    }
}
