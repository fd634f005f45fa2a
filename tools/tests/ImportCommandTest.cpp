// p3dtool import: the sample exported and imported again from .glb and .obj,
// quads rebuilt and degenerate faces counted on a hand-made OBJ, and a table
// of bad input (its message, exit status 2, no file written).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "P3dmodell.h"
#include "PngFile.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TScratchDir;

namespace {

std::string Sample() {
    return fs::absolute(fs::path(__FILE__).parent_path().parent_path().parent_path() / "samples" / "tank.p3d").string();
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A LOD as the round trip keeps it: its points (rounded to 1e-4), its
// faces counted as triangles and its texture names.
struct TLodShape {
    float Resolution;
    std::set<std::tuple<long, long, long>> Points;
    int Triangles = 0;
    std::set<std::string> Textures;
    bool operator==(const TLodShape&) const = default;
};

std::vector<TLodShape> Shapes(const std::string& path) {
    vistrel::TP3dModell model(path);
    EXPECT_TRUE(model.Complete()) << path;
    std::vector<TLodShape> out;
    for (const vistrel::TP3dLOD* lod : model.LODs) {
        if (lod->Polygons.Empty()) continue;  // nothing of it is exported
        TLodShape shape{lod->Resolution, {}, 0, {}};
        for (const vistrel::AVertex* v : lod->Vertexes)
            shape.Points.emplace(std::lround(v->X * 1e4f), std::lround(v->Y * 1e4f), std::lround(v->Z * 1e4f));
        for (const vistrel::APolygon* p : lod->Polygons) {
            shape.Triangles += p->VertexCount - 2;
            if (p->TextureIndex >= 0) shape.Textures.insert(lod->Textures[static_cast<std::size_t>(p->TextureIndex)]);
        }
        out.push_back(std::move(shape));
    }
    return out;
}

}  // namespace

TEST(ImportCommand, TheSampleStandsWhereItStoodAfterExportAndImport) {
    TScratchDir dir;
    ASSERT_EQ(RunTool(P3DTOOL_EXE, {"mlod", Sample(), dir.File("tank.p3d")}, dir.Path()).status, 0);
    const std::vector<TLodShape> original = Shapes(dir.File("tank.p3d"));
    ASSERT_EQ(original.size(), 4u);
    for (const char* ext : {"glb", "obj"}) {
        SCOPED_TRACE(ext);
        const std::string exported = dir.File(std::string("tank.") + ext);
        ASSERT_EQ(RunTool(P3DTOOL_EXE, {"export", "--all-lods", Sample(), exported}, dir.Path()).status, 0);
        const tooltest::TRun run = RunTool(P3DTOOL_EXE, {"import", exported, dir.File("back.p3d")}, dir.Path());
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(Shapes(dir.File("back.p3d")), original);
        // the editable reader takes it as the mlod command's output
        EXPECT_EQ(RunTool(P3DTOOL_EXE, {"info", dir.File("back.p3d")}, dir.Path()).status, 0);
    }
}

// A .glb with the editable record comes back as the mlod command's file; a
// record that is damaged gives way to the meshes, with a warning.
TEST(ImportCommand, TheEditableRecordGivesMlodsFileOrWayToTheMeshes) {
    TScratchDir dir;
    const std::string glb = dir.File("tank.glb"), mlod = dir.File("tank.p3d"), back = dir.File("back.p3d");
    ASSERT_EQ(RunTool(P3DTOOL_EXE, {"mlod", Sample(), mlod}, dir.Path()).status, 0);
    ASSERT_EQ(RunTool(P3DTOOL_EXE, {"export", "--all-lods", "--editable", Sample(), glb}, dir.Path()).status, 0);
    tooltest::TRun run = RunTool(P3DTOOL_EXE, {"import", glb, back}, dir.Path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(tooltest::ReadAll(back) == tooltest::ReadAll(mlod));

    const std::string file = tooltest::ReadAll(glb);
    const uint32_t json = *reinterpret_cast<const uint32_t*>(file.data() + 12);
    const auto doc = nlohmann::json::parse(file.substr(20, json));
    const auto& view = doc["bufferViews"][doc["nodes"][0]["extras"]["editable"]["bufferView"].get<int>()];
    const std::size_t at = 28 + json + view["byteOffset"].get<std::size_t>();
    const struct {
        std::size_t offset;
        std::string bytes, warning;
    } cases[] = {
        {4, std::string("\0\x40", 2), "the editable record is cut short"},  // 64 parts
        {4, std::string("\0\x02\xff\xff\xff\x7f\x01\0\0\0", 10),
         "the editable record claims more than " +  // a thousandfold the view, and a MiB
             std::to_string(1024 * view["byteLength"].get<std::size_t>() + 1048576) + " bytes"},
        {14, std::string("\x55\xaa"), "the editable record does not unpack"},  // the stream
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.warning + " at " + std::to_string(c.offset));
        std::string damaged = file;
        damaged.replace(at + c.offset, c.bytes.size(), c.bytes);
        Write(dir.File("damaged.glb"), damaged);
        run = RunTool(P3DTOOL_EXE, {"import", dir.File("damaged.glb"), back}, dir.Path());
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.err.find("damaged.glb: " + c.warning + ": the meshes are imported instead\n"), std::string::npos)
            << run.err;
        EXPECT_EQ(Shapes(back), Shapes(mlod));
    }
    // a point moved in the meshes after the export: the record no longer holds the model
    std::string moved = file;
    moved[28 + json] ^= 0x40;
    Write(dir.File("moved.glb"), moved);
    run = RunTool(P3DTOOL_EXE, {"import", dir.File("moved.glb"), back}, dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("moved.glb: the file's data were changed after the export, so its editable record no "
                           "longer holds its model: the meshes are imported instead\n"),
              std::string::npos)
        << run.err;
}

// A tree: every model file in it imported or named with its reason, the
// pictures of the materials written as textures under --texture-dir, one
// that cannot be a texture named in the model's line.
TEST(ImportCommand, ATreeWithItsPicturesAsTextureFiles) {
    TScratchDir dir;
    const fs::path in = dir.Path() / "in", out = dir.Path() / "out";
    fs::create_directories(in / "sub");
    Write((in / "sub" / "box.obj").string(),
          "mtllib box.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\n"
          "vt 1 1\nvt 0 1\nusemtl wood\nf 1/1 2/2 3/3\nusemtl odd\nf 1/1 3/3 4/4\n");
    Write((in / "sub" / "box.mtl").string(), "newmtl wood\nmap_Kd wood.png\nnewmtl odd\nmap_Kd odd.png\n");
    const std::vector<uint8_t> pixels(4 * 16, 200);
    std::string error;
    ASSERT_TRUE(vistrel::WritePng((in / "sub" / "wood.png").string(), 4, 4, pixels.data(), true, error));
    ASSERT_TRUE(vistrel::WritePng((in / "sub" / "odd.png").string(), 3, 3, pixels.data(), true, error));
    Write((in / "bad.glb").string(), "garbage");
    const tooltest::TRun run =
        RunTool(P3DTOOL_EXE, {"import", "-r", in.string(), out.string(), "--texture-dir", "mymod\\data", "--textures"},
                dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out + run.err,
              "[1/2] bad.glb: failed, not a binary glTF file: it does not start with \"glTF\"\n"
              "[2/2] sub/box.obj: imported (texture mymod\\data\\odd.paa not written: the sides of a texture must "
              "be powers of two: 3 \u00d7 3)\n\n1 imported, 1 failed\n"
              "  bad.glb: not a binary glTF file: it does not start with \"glTF\"\n");
    EXPECT_TRUE(fs::is_regular_file(out / "sub" / "mymod" / "data" / "wood.paa"));
    EXPECT_FALSE(fs::exists(out / "sub" / "mymod" / "data" / "odd.paa"));
    const vistrel::TP3dModell model((out / "sub" / "box.p3d").string());
    ASSERT_EQ(model.LODs.Count(), 1);
    EXPECT_EQ(model.LODs[0]->Textures, (std::vector<std::string>{"mymod\\data\\wood.paa", "mymod\\data\\odd.paa"}));
}

TEST(ImportCommand, QuadsRebuiltDegenerateFacesCountedLodAndTextureNamed) {
    TScratchDir dir;
    // a quad split as the export splits it, a triangle pair that is no quad
    // (bent), a line, a repeated corner, a corner beyond the list, a pentagon
    Write(dir.File("hand.mtl"), "newmtl wood\nmap_Kd pics/oak.png\nnewmtl data\\t80.pac\n");
    Write(dir.File("hand.obj"),
          "mtllib hand.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\nv 1 1 1\n"
          "usemtl wood\nf 1 3 4\nf 1 2 3\n"
          "usemtl data\\t80.pac\nf 1 6 4\nf 1 2 6\n"
          "f 1 2 5\nf 1 1 2\nf 1 2 9\nf 1 2 3 4 5\n");
    const tooltest::TRun run =
        RunTool(P3DTOOL_EXE,
                {"import", "--lod", "Geometry", "--texture-dir", "my/data", dir.File("hand.obj"), dir.File("hand.p3d")},
                dir.Path());
    EXPECT_EQ(run.status, 0);
    const std::string in = dir.File("hand.obj") + ": ";
    EXPECT_EQ(run.err, "p3dtool: " + in + "1 face names a vertex beyond the vertex count, left out\n" +
                           "p3dtool: " + in + "2 degenerate faces (repeated or collinear corners) left out\n" +
                           "p3dtool: " + in + "1 polygon of more than 4 corners made triangles\n");
    vistrel::TP3dModell model(dir.File("hand.p3d"));
    ASSERT_EQ(model.LODs.Count(), 1);
    const vistrel::TP3dLOD& lod = *model.LODs[0];
    EXPECT_EQ(lod.Resolution, vistrel::kGeometryResolution);
    std::vector<int> corners;
    for (const vistrel::APolygon* p : lod.Polygons) corners.push_back(p->VertexCount);
    EXPECT_EQ(corners, (std::vector<int>{4, 3, 3, 3, 3, 3}));
    EXPECT_EQ(lod.Textures, (std::vector<std::string>{"my\\data\\oak.paa", "data\\t80.pac"}));
    EXPECT_EQ(lod.UniqueVertexes.Count, 6);
}

TEST(ImportCommand, BadInputGivesItsMessageAndWritesNothing) {
    TScratchDir dir;
    const std::string tri = R"("meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[{"mesh":0}])";
    const std::string buffer = R"("buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,)"
                               R"(AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}])";
    struct TCase {
        const char* name;
        std::string text;
        std::string message;
    } cases[] = {
        {"text.glb", "not a model", "not a binary glTF file: it does not start with \"glTF\""},
        {"text.gltf", "not a model", "not a glTF 2.0 file that can be read: [json.exception.parse_error.101]"},
        {"short.glb", std::string("glTF\x02\0\0\0\xff\0\0\0", 12), "not a glTF 2.0 file that can be read: "},
        {"lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n", "no faces to import"},
        {"header.ply",  // its reader runs into the faces, and crashes where it runs alone
         "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float "
         "z\nelement face 1\nproperty list uchar int vertex_indexNend_header\n" +
             std::string(64, '\0'),
         "cannot be read: its reader crashed on it (Segmentation fault)"},
        {"points.gltf",
         R"({"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":{"POSITION":0},"mode":0}]}],)"
         R"("nodes":[{"mesh":0}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
         R"("bufferViews":[{"buffer":0,"byteLength":36}],)" +
             buffer + "}",
         "no faces to import"},
        {"outside.gltf",
         R"({"asset":{"version":"2.0"},)" + tri +
             R"(,"accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3"}],)"
             R"("bufferViews":[{"buffer":0,"byteLength":36}],)" +
             buffer + "}",
         "accessor 0 lies outside its buffer (missing or too short)"},
        {"nobuffer.gltf",
         R"({"asset":{"version":"2.0"},)" + tri +
             R"(,"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
             R"("bufferViews":[{"buffer":0,"byteLength":36}],"buffers":[{"byteLength":36,"uri":"gone.bin"}]})",
         "not a glTF 2.0 file that can be read: "},
        {"signed.gltf",  // indices of a signed type (found by fuzz_import)
         R"({"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":{"POSITION":0},"indices":1}]}],)"
         R"("nodes":[{"mesh":0}],"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"},)"
         R"({"bufferView":0,"componentType":5122,"count":3,"type":"SCALAR"}],)"
         R"("bufferViews":[{"buffer":0,"byteLength":36}],)" +
             buffer + "}",
         "accessor 1 cannot hold indices"},
        {"draco.gltf",  // the loader refuses indices without a buffer view
         R"({"asset":{"version":"2.0"},"extensionsRequired":["KHR_draco_mesh_compression"],"meshes":[{"primitives":)"
         R"([{"attributes":{"POSITION":0},"indices":1}]}],"nodes":[{"mesh":0}],"accessors":[{"componentType":5126,)"
         R"("count":3,"type":"VEC3"},{"componentType":5123,"count":3,"type":"SCALAR"}]})",
         "its meshes are compressed (KHR_draco_mesh_compression), which is not read"},
        {"tank.xyz", "x", "cannot import \".xyz\" files (p3dtool import --formats lists what can be read)"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        Write(dir.File(c.name), c.text);
        const tooltest::TRun run = RunTool(P3DTOOL_EXE, {"import", dir.File(c.name), dir.File("out.p3d")}, dir.Path());
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err.rfind("p3dtool: " + dir.File(c.name) + ": " + c.message, 0), 0u) << run.err;
        EXPECT_FALSE(fs::exists(dir.File("out.p3d")));
    }
    // a node tree with a cycle is taken once, with a warning
    Write(
        dir.File("cycle.gltf"),
        R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],)"
        R"("nodes":[{"mesh":0,"children":[1]},{"children":[0]}],)"
        R"("accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
        R"("bufferViews":[{"buffer":0,"byteLength":36}],)" +
            buffer + "}");
    const tooltest::TRun run =
        RunTool(P3DTOOL_EXE, {"import", dir.File("cycle.gltf"), dir.File("out.p3d")}, dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "p3dtool: " + dir.File("cycle.gltf") +
                           ": 1 node references to nodes already met (a cycle or a shared child), taken once\n");
    EXPECT_TRUE(fs::exists(dir.File("out.p3d")));
    // and a chain 100 000 nodes deep is walked without recursion
    std::string nodes;
    for (int k = 1; k < 100000; ++k) nodes += R"({"children":[)" + std::to_string(k) + "]},";
    Write(dir.File("deep.gltf"), R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[)" + nodes +
                                     R"({"mesh":0,"name":"Geometry"}],)" + tri.substr(0, tri.find(R"(,"nodes")")) +
                                     R"(,"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3"}],)"
                                     R"("bufferViews":[{"buffer":0,"byteLength":36}],)" +
                                     buffer + "}");
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"import", dir.File("deep.gltf"), dir.File("deep.p3d")}, dir.Path()).status, 0);
    vistrel::TP3dModell deep(dir.File("deep.p3d"));
    ASSERT_EQ(deep.LODs.Count(), 1);
    EXPECT_EQ(deep.LODs[0]->Resolution, vistrel::kGeometryResolution);
}

// A triangle placed by a sparse accessor alone, its normals under a scale
// along y, a picture inside the glTF file (written by --textures; without a
// name, a warning), and an FBX file in inches.
TEST(ImportCommand, SparsePositionsScaledNormalsPicturesInsideAndFbxUnitsComeThrough) {
    TScratchDir dir;
    std::vector<uint8_t> png, bgra(4 * 4 * 4, 0x80);
    std::string error;
    ASSERT_TRUE(vistrel::EncodePngFromBgra(4, 4, bgra.data(), png, error)) << error;
    // sparse indices 1, 2 and their values, UVs, normals of the plane x + y = 0, the PNG
    const std::vector<float> f{1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 1, 1, 0, 1, 1, 0};
    const std::string bin = std::string("\x01\0\x02\0", 4) + std::string(reinterpret_cast<const char*>(f.data()), 84) +
                            std::string(png.begin(), png.end());
    Write(dir.File("s.bin"), bin);
    const auto gltf = [&](const std::string& name, const std::string& image) {
        Write(
            dir.File(name),
            R"({"asset":{"version":"2.0"},"nodes":[{"mesh":0,"scale":[1,2,1]}],"meshes":[{"primitives":[{"attributes":{)"
            R"("POSITION":0,"TEXCOORD_0":1,"NORMAL":2},"material":0}]}],"materials":[{"pbrMetallicRoughness":{)"
            R"("baseColorTexture":{"index":0}}}],"textures":[{"source":0}],"accessors":[{"componentType":5126,"count":3,)"
            R"("type":"VEC3","sparse":{"count":2,"indices":{"bufferView":0,"componentType":5123},"values":{)"
            R"("bufferView":0,"byteOffset":4}}},{"bufferView":0,"byteOffset":28,"componentType":5126,"count":3,)"
            R"("type":"VEC2"},{"bufferView":0,"byteOffset":52,"componentType":5126,"count":3,"type":"VEC3"}],)"
            R"("bufferViews":[{"buffer":0,"byteLength":88},{"buffer":0,"byteOffset":88,"byteLength":)" +
                std::to_string(png.size()) + R"(}],"buffers":[{"uri":"s.bin","byteLength":)" +
                std::to_string(bin.size()) + R"(}],"images":[{)" + image + "}]}");
        return dir.File(name);
    };
    const std::string a = gltf("a.gltf", R"("name":"grid","bufferView":1)");
    tooltest::TRun run =
        RunTool(P3DTOOL_EXE, {"import", "--textures", "--texture-dir", "my/data", a, dir.File("a.p3d")}, dir.Path());
    EXPECT_TRUE(run.err.empty() && fs::is_regular_file(dir.File("my/data/grid.paa"))) << run.err;
    vistrel::TP3dModell model(dir.File("a.p3d"));
    ASSERT_TRUE(model.LODs.Count() == 1 && model.LODs[0]->Polygons.Count() == 1);
    const vistrel::TP3dLOD& lod = *model.LODs[0];
    EXPECT_EQ(lod.Textures, (std::vector<std::string>{"my\\data\\grid.paa"}));
    EXPECT_EQ(std::make_tuple(lod.MinPos.X, lod.MaxPos.Y), std::make_tuple(-1.0f, 4.0f));  // x mirrored, y scaled
    std::set<std::pair<float, float>> uvs;
    for (const vistrel::ACorner& c : lod.Polygons[0]->Corners) uvs.emplace(c.U, c.V);
    EXPECT_EQ(uvs, (std::set<std::pair<float, float>>{{0, 0}, {1, 0}, {0, 1}}));  // and the fourth, unused: 0, 0
    const vistrel::ANormal& n = *lod.Normals[0];  // (2, 1, 0) / sqrt 5, y and z as the model keeps them
    EXPECT_NEAR(std::abs(n.X - 2 / std::sqrt(5.0f)) + std::abs(n.Y + 1 / std::sqrt(5.0f)) + std::abs(n.Z), 0, 1e-5f);
    run = RunTool(P3DTOOL_EXE, {"import", gltf("b.gltf", R"("uri":"data:image/png;base64,AAAA")"), dir.File("b.p3d")},
                  dir.Path());
    EXPECT_EQ(run.err, "p3dtool: " + dir.File("b.gltf") +
                           ": material 0: its picture is inside the file with no name, so it has no texture name\n");
    Write(dir.File("inch.fbx"),  // 2.54 cm a unit
          "; FBX 7.4.0 project file\nFBXHeaderExtension: {\n FBXVersion: 7400\n}\nGlobalSettings: {\n Properties70: {\n"
          "  P: \"UnitScaleFactor\", \"double\", \"Number\", \"\",2.54\n }\n}\nObjects: {\n"
          " Geometry: 1, \"Geometry::tri\", \"Mesh\" {\n  Vertices: *9 {\n   a: 0,0,0,200,0,0,0,100,0\n  }\n"
          "  PolygonVertexIndex: *3 {\n   a: 0,1,-3\n  }\n }\n Model: 2, \"Model::tri\", \"Mesh\" {\n }\n}\n"
          "Connections: {\n C: \"OO\",1,2\n C: \"OO\",2,0\n}\n");
    ASSERT_EQ(RunTool(P3DTOOL_EXE, {"import", dir.File("inch.fbx"), dir.File("inch.p3d")}, dir.Path()).status, 0);
    vistrel::TP3dModell inch(dir.File("inch.p3d"));
    EXPECT_TRUE(inch.LODs.Count() == 1 && std::abs(inch.LODs[0]->MaxPos.Y - 2.54f) < 1e-5f);
}
