// Texture names that reach outside their root ("..\x.paa", "\tmp\x.paa",
// "C:\x.paa") in check and export, with a file planted where each of them
// would lead: never looked up, never embedded, reported apart from the
// missing ones, with --data and without it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>

#include "CheckReport.h"
#include "GltfReadBack.h"
#include "P3dBuilder.h"
#include "TextureEncoder.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;

namespace {

// One quad per name, each textured with its own.
std::vector<uint8_t> QuadsNaming(const std::vector<std::string>& textures) {
    vistrel::BLod lod;
    for (std::size_t t = 0; t < textures.size(); ++t) {
        const float x = static_cast<float>(t);
        const auto first = static_cast<int16_t>(4 * t);
        lod.vertices.insert(lod.vertices.end(), {{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0}});
        lod.normals.insert(lod.normals.end(), 4, {0, 0, 1});
        lod.uv.insert(lod.uv.end(), {{0, 0}, {1, 0}, {1, 1}, {0, 1}});
        lod.vertexInfo.insert(lod.vertexInfo.end(), 4, 0);
        vistrel::BPolygon p;
        p.texture = static_cast<int16_t>(t);
        p.corners = {first, static_cast<int16_t>(first + 1), static_cast<int16_t>(first + 2),
                     static_cast<int16_t>(first + 3)};
        lod.polygons.push_back(p);
    }
    for (int16_t v = 0; v < static_cast<int16_t>(lod.vertices.size()); ++v) {
        lod.unique.push_back(v);
        lod.link.push_back(v);
    }
    lod.maxPos = {static_cast<float>(textures.size()), 1, 0};
    lod.textures = textures;
    lod.resolution = 1.0f;
    vistrel::BModel m;
    m.lods = {lod};
    return vistrel::BuildModel(m);
}

class TextureRootTest : public ::testing::Test {
protected:
    void SetUp() override {
        // x.paa beside the tree, found.paa under the texture root
        const std::vector<uint8_t> picture =
            vistrel::EncodeTexture(vistrel::TexImage(8, 8, {0, 0, 255, 255}), vistrel::TexFormat::Dxt1);
        fs::create_directories(dir.Path() / "data");
        fs::create_directories(dir.Path() / "tree" / "m");
        vistrel::WriteFile(dir.File("x.paa"), picture);
        vistrel::WriteFile(dir.File("data/found.paa"), picture);
        std::string absolute = dir.File("x.paa");  // "\tmp\…\x.paa"
        std::replace(absolute.begin(), absolute.end(), '/', '\\');
        vistrel::WriteFile(dir.File("tree/m/a.p3d"), QuadsNaming({"found.paa", "..\\x.paa", absolute, "C:x.paa"}));
        vistrel::WriteFile(dir.File("tree/m/b.p3d"), QuadsNaming({"..\\..\\x.paa", "..\\x.paa"}));
        absolute_ = absolute;
    }
    tooltest::TScratchDir dir;
    std::string absolute_;
};

}  // namespace

TEST_F(TextureRootTest, CheckReportsNamesOutsideTheRootApartFromMissingOnes) {
    const std::string tree = dir.File("tree");
    const tooltest::TRun run =
        RunTool(P3DTOOL_EXE, {"check", tree, "--data", dir.File("data"), "--json", dir.File("r.json")}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, tree +
                           ": 2 models, 2 complete, 0 partial, 0 failed\n"
                           "textures: 5 named, 1 found, 0 missing, 0 undecodable, 4 outside the texture root\n"
                           "\n"
                           "problems, worst first:\n"
                           "  outside the texture root: ..\\x.paa: needed by 2 models: m/a.p3d, m/b.p3d\n"
                           "  outside the texture root: ..\\..\\x.paa: needed by 1 model: m/b.p3d\n"
                           "  outside the texture root: C:x.paa: needed by 1 model: m/a.p3d\n"
                           "  outside the texture root: " +
                           absolute_ + ": needed by 1 model: m/a.p3d\n");
    const nlohmann::json doc = nlohmann::json::parse(ReadAll(dir.File("r.json")));
    EXPECT_EQ(doc.at("summary"), nlohmann::json::parse(R"({"models":2,"complete":2,"partial":0,"failed":0,
        "textures":5,"found":1,"missing":0,"outside":4,"undecodable":0})"));
    EXPECT_EQ(doc.at("models").at(1).at("outside"), nlohmann::json::parse(R"(["..\\..\\x.paa","..\\x.paa"])"));
    EXPECT_EQ(doc.at("models").at(1).at("missing"), nlohmann::json::array());
    std::map<std::string, std::string> status;
    for (const auto& t : doc.at("textures")) {
        status[t.at("name")] = t.at("status");
        if (t.at("status") == "outside") {
            EXPECT_TRUE(t.at("file").is_null());
        }
    }
    EXPECT_EQ(status, (std::map<std::string, std::string>{{"found.paa", "found"},
                                                          {"..\\x.paa", "outside"},
                                                          {"..\\..\\x.paa", "outside"},
                                                          {"C:x.paa", "outside"},
                                                          {absolute_, "outside"}}));

    // Without --data: beside the model and above it, where ..\x.paa is; and
    // found.paa missing now.
    const tooltest::TRun beside = RunTool(P3DTOOL_EXE, {"check", tree}, dir.Path());
    EXPECT_NE(beside.out.find("textures: 5 named, 0 found, 1 missing, 0 undecodable, 4 outside the texture root\n"),
              std::string::npos)
        << beside.out;
    EXPECT_NE(beside.out.find("  outside the texture root: ..\\x.paa: needed by 2 models"), std::string::npos);
    EXPECT_NE(beside.out.find("  missing: found.paa: needed by 1 model: m/a.p3d\n"), std::string::npos);

    // a model's own lines, as its card shows them
    p3dtool::TCheckReport report;
    report.Textures.resize(2);
    report.Textures[0].Name = "..\\x.paa";
    report.Textures[0].Outside = true;
    report.Textures[1].Name = "gone.paa";
    report.Models.resize(1);
    report.Models[0].State = p3dtool::TCheckedModel::TState::Complete;
    report.Models[0].Textures = {1, 0};
    EXPECT_EQ(p3dtool::ModelProblems(report, report.Models[0]),
              (std::vector<std::string>{"texture outside the texture root: ..\\x.paa", "missing texture gone.paa"}));
}

TEST_F(TextureRootTest, ExportLeavesNamesOutsideTheRootUntexturedAndSaysSo) {
    const std::string glb = dir.File("a.glb");
    const tooltest::TRun run =
        RunTool(P3DTOOL_EXE, {"export", "--data", dir.File("data"), dir.File("tree/m/a.p3d"), glb}, dir.Path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "warning: 3 of 4 textures outside the texture root, left untextured: ..\\x.paa, " + absolute_ +
                           ", C:x.paa\n");
    const tooltest::TGltfReadBack back = tooltest::ReadGltf(glb);
    EXPECT_EQ(back.error, "");
    EXPECT_EQ(back.model.images.size(), 1u);  // found.paa alone

    const tooltest::TRun beside = RunTool(P3DTOOL_EXE, {"export", dir.File("tree/m/b.p3d"), glb}, dir.Path());
    EXPECT_EQ(beside.err,
              "warning: 2 of 2 textures outside the texture root, left untextured: ..\\..\\x.paa, ..\\x.paa\n");
    EXPECT_TRUE(tooltest::ReadGltf(glb).model.images.empty());

    const tooltest::TRun tree = RunTool(P3DTOOL_EXE, {"export", "-r", dir.File("tree"), dir.File("out")}, dir.Path());
    EXPECT_NE(tree.out.find("m/a.p3d: exported (4 texture(s) left out)"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("m/b.p3d: exported (2 texture(s) left out)"), std::string::npos) << tree.out;
}
