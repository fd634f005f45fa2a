// p3dtool export: the sample read back by tinygltf from .glb and by
// tinyobjloader from .obj, missing textures, faces whose UVs or positions
// are not numbers, bad input and untrusted texture names.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "FormatReadBack.h"
#include "GltfReadBack.h"
#include "ModelExport.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;
using tooltest::TScratchDir;

namespace {

fs::path SourceDir() { return fs::path(__FILE__).parent_path().parent_path().parent_path(); }
std::string Sample() { return (SourceDir() / "samples" / "tank.p3d").string(); }

// The files under a folder, as paths relative to it.
std::set<std::string> FilesUnder(const fs::path& dir) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.is_regular_file()) files.insert(entry.path().lexically_relative(dir).string());
    return files;
}

}  // namespace

TEST(ExportCommand, TheSampleReadBackFromGlbAndObj) {
    TScratchDir dir;
    const vistrel::TP3dModell model(Sample());
    const vistrel::TP3dLOD& lod = *model.LODs[0];
    unsigned faces = 0;  // triangles of LOD 0: a quad makes two
    std::set<std::string> textures;
    for (const vistrel::APolygon* p : lod.Polygons) {
        faces += p->VertexCount == 4 ? 2 : 1;
        textures.insert(p->TextureIndex >= 0 ? lod.Textures[static_cast<std::size_t>(p->TextureIndex)] : "");
    }
    // a point as the view draws it: x mirrored
    const vistrel::AVertex& first = *lod.Vertexes[0];
    const aiVector3D seen(-first.X, first.Y, first.Z);

    const std::string glb = dir.File("tank.glb");
    const auto run =
        RunTool(P3DTOOL_EXE, {"export", "--data", (SourceDir() / "samples").string(), Sample(), glb}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const tooltest::TGltfReadBack back = tooltest::ReadGltf(glb);
    ASSERT_EQ(back.error, "");
    const tinygltf::Model& gltf = back.model;
    std::set<std::string> materials;
    for (const tinygltf::Material& m : gltf.materials) materials.insert(m.name);
    for (const std::string& t : textures) EXPECT_TRUE(materials.count(t.empty() ? "untextured" : t)) << t;
    EXPECT_EQ(gltf.materials.size(), textures.size());
    ASSERT_EQ(back.lods.size(), 1u);
    EXPECT_EQ(back.lods[0].name, "LOD 1.000");
    EXPECT_EQ(back.lods[0].triangles, faces);
    ASSERT_EQ(gltf.meshes.size(), 1u);
    EXPECT_EQ(gltf.meshes[0].primitives.size(), textures.size());  // one per texture
    // the root carries the mass, the LOD node its resolution and selections
    const tinygltf::Value& rootExtras = gltf.nodes[0].extras;
    EXPECT_FLOAT_EQ(static_cast<float>(rootExtras.Get("mass").GetNumberAsDouble()), model.Mass);
    const tinygltf::Value& extras = *back.lods[0].extras;
    EXPECT_EQ(extras.Get("resolution").GetNumberAsDouble(), 1.0);
    EXPECT_EQ(extras.Get("selections").Get("hull").GetNumberAsInt(), lod.Selections.Items(0)->Polygons.Count());
    // positions mirrored in x; V as the model holds it (glTF counts rows from the top too)
    bool seenVertex = false, seenUv = false;
    for (const tinygltf::Primitive& p : gltf.meshes[0].primitives) {
        const tinygltf::Accessor& a = gltf.accessors[static_cast<std::size_t>(p.attributes.at("POSITION"))];
        const tinygltf::Accessor& t = gltf.accessors[static_cast<std::size_t>(p.attributes.at("TEXCOORD_0"))];
        const tinygltf::BufferView& v = gltf.bufferViews[static_cast<std::size_t>(a.bufferView)];
        const tinygltf::BufferView& tv = gltf.bufferViews[static_cast<std::size_t>(t.bufferView)];
        const auto* xyz = reinterpret_cast<const float*>(gltf.buffers[0].data.data() + v.byteOffset);
        const auto* uv = reinterpret_cast<const float*>(gltf.buffers[0].data.data() + tv.byteOffset);
        for (std::size_t k = 0; k < a.count; ++k)
            if (aiVector3D(xyz[3 * k], xyz[3 * k + 1], xyz[3 * k + 2]) == seen) {
                seenVertex = true;
                seenUv = seenUv || (uv[2 * k] == lod.UVData[0].U && uv[2 * k + 1] == lod.UVData[0].V);
            }
    }
    EXPECT_TRUE(seenVertex);
    EXPECT_TRUE(seenUv);
    ASSERT_FALSE(gltf.images.empty());  // embedded PNG pictures
    EXPECT_EQ(gltf.images[0].mimeType, "image/png");
    EXPECT_GE(gltf.images[0].bufferView, 0);

    const std::string obj = dir.File("out/tank.obj");
    fs::create_directories(dir.Path() / "out");
    ASSERT_EQ(RunTool(P3DTOOL_EXE, {"export", "--data", (SourceDir() / "samples").string(), Sample(), obj}, dir.Path())
                  .status,
              0);
    const tooltest::TReadBack fromObj = tooltest::ReadExport("obj", obj);
    ASSERT_EQ(fromObj.error, "");
    EXPECT_EQ(fromObj.triangles, faces);
    bool objVertex = false;
    const std::vector<float>& xyz = fromObj.positions;
    for (std::size_t k = 0; k + 2 < xyz.size(); k += 3)
        objVertex |= (aiVector3D(xyz[k], xyz[k + 1], xyz[k + 2]) - seen).Length() < 1e-4f;
    EXPECT_TRUE(objVertex);
    const std::set<std::string> written = FilesUnder(dir.Path() / "out");
    EXPECT_TRUE(written.count("tank.mtl"));
    EXPECT_TRUE(written.count("hull_dxt1.png"));  // named by the .mtl
    EXPECT_NE(ReadAll(dir.File("out/tank.mtl")).find("map_Kd hull_dxt1.png"), std::string::npos);
}

TEST(ExportCommand, MissingTexturesWarnBadInputWritesNothing) {
    TScratchDir dir;
    fs::create_directories(dir.Path() / "empty");
    const std::string glb = dir.File("plain.glb");
    auto run = RunTool(P3DTOOL_EXE, {"export", "--data", dir.File("empty"), Sample(), glb}, dir.Path());
    EXPECT_EQ(run.status, 0);
    // one line, however many are missing
    EXPECT_EQ(run.err,
              "warning: 5 of 5 textures not found under " + dir.File("empty") +
                  ", left untextured: data\\hull_dxt1.paa, data\\camo_pal.pac, data\\turret_4444.paa and 2 more\n");
    const tooltest::TGltfReadBack back = tooltest::ReadGltf(glb);
    EXPECT_EQ(back.error, "");
    EXPECT_TRUE(back.model.images.empty());

    fs::create_directories(dir.Path() / "bad");
    vistrel::WriteFile(dir.File("bad/junk.p3d"), {'B', 'M', 'D', 'L', 1, 2});
    run = RunTool(P3DTOOL_EXE, {"export", dir.File("bad/junk.p3d"), dir.File("bad/junk.glb")}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("p3dtool: " + dir.File("bad/junk.p3d") + ": "), std::string::npos) << run.err;
    EXPECT_EQ(FilesUnder(dir.Path() / "bad"), std::set<std::string>{"junk.p3d"});

    run = RunTool(P3DTOOL_EXE, {"export", Sample(), dir.File("no/such/folder/tank.gltf")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("cannot write " + dir.File("no/such/folder/tank.gltf")), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir.Path() / "no"));

    run = RunTool(P3DTOOL_EXE, {"export", Sample(), dir.File("tank.xyz")}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("no format is written with the extension of"), std::string::npos);
}

// Eight quads side by side, four vertices each, in a texture that is not
// there: the U of the first six is not a number (the sixth's V an infinity),
// the last has a corner at a position that is not finite.
TEST(ExportCommand, FacesWithUvsThatAreNotNumbersAreKeptWithUvsZero) {
    TScratchDir dir;
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    vistrel::BModel model;
    vistrel::BLod lod;
    lod.textures = {"data\\crate.paa"};
    for (int16_t v = 0; v < 32; ++v) {  // corner v % 4 of quad v / 4
        const int f = v / 4, c = v % 4;
        lod.vertices.push_back({f == 7 && c == 0 ? nan : float(f + (c == 1 || c == 2)), float(c >= 2), 0});
        lod.normals.push_back({0, 0, -1});
        lod.uv.push_back({f < 6 ? nan : 0.5f, f == 5 ? inf : 0.25f});
        lod.vertexInfo.push_back(0);
        lod.link.push_back(v);
        lod.unique.push_back(v);
        if (c == 0) lod.polygons.push_back({0, 0, {v, int16_t(v + 1), int16_t(v + 2), int16_t(v + 3)}, {}});
    }
    lod.maxPos = {8, 1, 0};
    model.lods = {lod};
    fs::create_directories(dir.Path() / "tree");
    vistrel::WriteFile(dir.File("tree/crates.p3d"), vistrel::BuildModel(model));

    const std::string glb = dir.File("crates.glb");
    const auto run = RunTool(P3DTOOL_EXE, {"export", dir.File("tree/crates.p3d"), glb}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err,
              "warning: 1 of 1 textures not found beside the model, left untextured: data\\crate.paa\n"
              "warning: 1 faces left out: bad corners, or positions that are not finite numbers\n"
              "warning: 6 faces with UVs that are not numbers: UVs set to 0\n");
    const tooltest::TGltfReadBack back = tooltest::ReadGltf(glb);
    ASSERT_EQ(back.error, "");
    ASSERT_EQ(back.lods.size(), 1u);
    EXPECT_EQ(back.lods[0].triangles, 14u);  // the seven quads with finite positions
    const tinygltf::Model& gltf = back.model;
    const tinygltf::Accessor& a = gltf.accessors.at(gltf.meshes.at(0).primitives.at(0).attributes.at("TEXCOORD_0"));
    const tinygltf::BufferView& view = gltf.bufferViews.at(static_cast<std::size_t>(a.bufferView));
    const auto* uv = reinterpret_cast<const float*>(gltf.buffers[0].data.data() + view.byteOffset + a.byteOffset);
    std::map<std::pair<float, float>, int> uvs;  // how many vertices have each pair
    for (std::size_t k = 0; k < a.count; ++k) ++uvs[{uv[2 * k], uv[2 * k + 1]}];
    // each U or V that is not finite made 0, the others as they were
    EXPECT_EQ(uvs, (std::map<std::pair<float, float>, int>{{{0, 0}, 4}, {{0, 0.25f}, 20}, {{0.5f, 0.25f}, 4}}));

    const auto tree = RunTool(P3DTOOL_EXE, {"export", "-r", dir.File("tree"), dir.File("out")}, dir.Path());
    EXPECT_EQ(tree.status, 0) << tree.err;
    EXPECT_EQ(tree.out.substr(0, tree.out.find('\n')),
              "[1/1] crates.p3d: exported (1 texture(s) left out; 1 faces left out: bad corners, or positions that "
              "are not finite numbers; 6 faces with UVs that are not numbers: UVs set to 0)");
}

TEST(ExportCommand, TextureFileNamesStayInsideAndApart) {
    std::vector<std::string> taken;
    EXPECT_EQ(vistrel::SafeTextureFileName("..\\..\\x.paa", taken), "x.png");
    EXPECT_EQ(vistrel::SafeTextureFileName("/etc/x.paa", taken), "x_2.png");
    EXPECT_EQ(vistrel::SafeTextureFileName("C:x.PAA", taken), "x_3.png");
    EXPECT_EQ(vistrel::SafeTextureFileName("data\\..", taken), "texture.png");
    EXPECT_EQ(vistrel::SafeTextureFileName("a\\b c?.paa", taken), "b_c_.png");
    EXPECT_EQ(vistrel::SafeTextureFileName("X.paa", taken), "X_4.png");  // clashes ignore letter case
}
