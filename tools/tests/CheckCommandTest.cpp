// p3dtool check on one tree with a problem of every kind planted: a broken
// model, a partial one, a file that is not a model, an editable one, a
// missing texture named by two models, an undecodable texture and one that
// is found. Its text, JSON and catalogue, the catalogue rendered by headless
// Chromium (Debian's chromium), the filter of the page narrowing the cards.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <regex>

#include "Browser.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"
#include "TextureData.h"
#include "TextureEncoder.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;

namespace {

vistrel::BLod QuadLod(std::vector<std::string> textures, float resolution) {
    vistrel::BLod lod;
    lod.vertexInfo = {0, 0, 0, 0};
    lod.uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    lod.maxPos = {1, 1, 0};
    lod.unique = {0, 1, 2, 3};
    lod.link = {0, 1, 2, 3};
    for (std::size_t t = 0; t < textures.size(); ++t) {
        vistrel::BPolygon p;
        p.texture = static_cast<int16_t>(t);
        p.corners = {0, 1, 2, 3};
        lod.polygons.push_back(p);
    }
    lod.textures = std::move(textures);
    lod.resolution = resolution;
    return lod;
}

std::vector<uint8_t> Model(std::vector<std::string> textures) {
    vistrel::BModel m;
    m.lods = {QuadLod(std::move(textures), 1.0f), QuadLod({}, 2.0f)};
    m.totalMass = 5;
    return vistrel::BuildModel(m);
}

class CheckCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Tree() / "a");
        fs::create_directories(Tree() / "b");
        fs::create_directories(dir.Path() / "textures" / "data");
        Write("tree/a/good.p3d", Model({"data\\found.paa", "data\\gone.paa"}));
        Write("tree/a/other.p3d", Model({"data\\gone.paa", "data\\bad.paa"}));
        std::vector<uint8_t> cut = Model({});
        cut.resize(cut.size() - 200);  // inside the second LOD
        Write("tree/b/cut.p3d", cut);
        Write("tree/b/broken.p3d", {'B', 'M', 'D', 'L', 1, 2, 3});
        Write("tree/b/notes.p3d", {'n', 'o', 't', 'e', 's'});
        const vistrel::TP3dModell editable(dir.File("tree/a/good.p3d"));
        ASSERT_TRUE(editable.WriteMLOD(dir.File("tree/b/editable.p3d")));
        Write("textures/data/found.paa",
              vistrel::EncodeTexture(vistrel::TexImage(16, 16, {0, 0, 255, 255}), vistrel::TexFormat::Dxt1));
        Write("textures/data/bad.paa", {0x01, 0xFF, 'j', 'u', 'n', 'k'});
    }
    fs::path Tree() const { return dir.Path() / "tree"; }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        vistrel::WriteFile(dir.File(name), bytes);
    }
    tooltest::TRun Check(std::vector<std::string> more) {
        std::vector<std::string> args{"check", Tree().string(), "--data", dir.File("textures"), "-j", "2"};
        args.insert(args.end(), more.begin(), more.end());
        return RunTool(P3DTOOL_EXE, args, dir.Path());
    }

    tooltest::TScratchDir dir;
};

}  // namespace

TEST_F(CheckCommandTest, TextAndJsonReportExactlyThePlantedProblems) {
    const std::string json = dir.File("report.json");
    const tooltest::TRun run = Check({"--json", json});
    // where the reader and the decoder stop, as they say it
    const vistrel::TP3dModell cut(dir.File("tree/b/cut.p3d"));
    const std::string where = "LOD " + std::to_string(cut.Failure().Lod) + " at byte " +
                              std::to_string(cut.Failure().Offset) + ": " + cut.Failure().Cause;
    std::string undecodable;
    ASSERT_FALSE(vistrel::DecodeTextureFile(dir.File("textures/data/bad.paa"), &undecodable));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              Tree().string() +
                  ": 6 models, 3 complete, 1 partial, 2 failed\n"
                  "textures: 3 named, 1 found, 1 missing, 1 undecodable\n"
                  "\n"
                  "problems, worst first:\n"
                  "  failed: b/broken.p3d: Stream read error (at byte 4: the file ends 3 bytes into a field of "
                  "4 bytes)\n"
                  "  failed: b/notes.p3d: Incorrect Format! (at byte 0: the magic is neither BMDL nor MLOD)\n"
                  "  partial: b/cut.p3d: Complete loading of P3d failed! Sorry ;) (" +
                  where +
                  ")\n"
                  "  undecodable: data\\bad.paa (" +
                  dir.File("textures") + "/data/bad.paa): " + undecodable +
                  "; needed by 1 model: a/other.p3d\n"
                  "  missing: data\\gone.paa: needed by 3 models: a/good.p3d, a/other.p3d, b/editable.p3d\n");
    EXPECT_EQ(run.err.find("failed"), std::string::npos) << run.err;  // progress only

    const nlohmann::json doc = nlohmann::json::parse(ReadAll(json));
    EXPECT_EQ(doc.at("summary"), nlohmann::json::parse(R"({"models":6,"complete":3,"partial":1,"failed":2,
        "textures":3,"found":1,"missing":1,"undecodable":1})"));
    std::map<std::string, std::string> status;
    for (const auto& m : doc.at("models")) status[m.at("path")] = m.at("status");
    EXPECT_EQ(status, (std::map<std::string, std::string>{{"a/good.p3d", "complete"},
                                                          {"a/other.p3d", "complete"},
                                                          {"b/broken.p3d", "failed"},
                                                          {"b/cut.p3d", "partial"},
                                                          {"b/editable.p3d", "complete"},
                                                          {"b/notes.p3d", "failed"}}));
    EXPECT_EQ(doc.at("models").at(3).at("failure").at("lod"), 1);
    EXPECT_EQ(doc.at("models").at(4).at("format"), "editable");
    EXPECT_EQ(doc.at("models").at(0).at("missing"), nlohmann::json::parse(R"(["data\\gone.paa"])"));
    EXPECT_EQ(doc.at("models").at(1).at("problems"),
              nlohmann::json::parse(R"(["undecodable texture data\\bad.paa: )" + undecodable +
                                    R"(", "missing texture data\\gone.paa"])"));
    for (const auto& t : doc.at("textures"))
        if (t.at("status") == "found") {
            EXPECT_EQ(t.at("models"), 2);  // the good model and its editable copy
            EXPECT_EQ(t.at("format"), "DXT1");
            EXPECT_EQ(t.at("width"), 16);
        }
    // nothing wrong, nothing to say but the summary
    const tooltest::TRun clean =
        RunTool(P3DTOOL_EXE, {"check", (Tree() / "a").string(), "--data", Tree().string()}, dir.Path());
    EXPECT_EQ(clean.status, 1);  // its textures are not under the tree itself
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"check", dir.File("none")}, dir.Path()).status, 2);
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"check", Tree().string(), "-j", "0"}, dir.Path()).status, 2);
}

TEST_F(CheckCommandTest, CatalogueShowsACardPerModelAndItsFilterWorksInABrowser) {
    const fs::path html = dir.Path() / "catalogue";
    fs::create_directories(html);
    std::ofstream(html / "keep.txt") << "not a catalogue";
    EXPECT_EQ(Check({"--html", html.string()}).status, 2);  // a folder of someone else's stays
    EXPECT_TRUE(fs::exists(html / "keep.txt"));
    fs::remove_all(html);

    const std::string json = dir.File("report.json");
    ASSERT_EQ(Check({"--html", html.string(), "--json", json}).status, 1);
    // the page as it is in tools/catalogue/, its data the document of --json
    for (const char* file : {"index.html", "catalogue.css", "catalogue.js"})
        EXPECT_EQ(ReadAll(html / file), ReadAll(fs::path(VISTREL_CATALOGUE_SOURCE) / file)) << file;
    EXPECT_EQ(ReadAll(html / "report.js"), "vistrelReport(" + ReadAll(json) + ");\n");
    for (const auto& entry : fs::directory_iterator(html / "pictures")) EXPECT_EQ(entry.path().extension(), ".png");
    // made again over itself: the previous catalogue makes room; with the
    // 3D views of the models read completely
    ASSERT_EQ(Check({"--html", html.string(), "--3d", "--json", json}).status, 1);
    const nlohmann::json views = nlohmann::json::parse(ReadAll(json)).at("models");  // a/good, a/other, b/broken, b/cut
    EXPECT_EQ(views.at(0).at("view3d"), "models/m000001.js");
    EXPECT_EQ(views.at(2).dump().find("view3d_note"), std::string::npos);  // failed: nothing to show
    EXPECT_EQ(views.at(3).value("view3d_note", ""), "not read completely");

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const auto dom = [&](const std::string& hash) {
        return tooltest::RenderedDom(html / "index.html", hash, dir.Path());
    };
    const std::string all = dom("");
    const auto count = [&all](const std::string& pattern) {
        const std::regex expression(pattern);
        return std::distance(std::sregex_iterator(all.begin(), all.end(), expression), std::sregex_iterator());
    };
    EXPECT_EQ(count("<article class=\"card"), 6);
    EXPECT_EQ(count("<img src=\"pictures/m\\d{6}\\.png\""), 3);  // the three that have faces to draw
    EXPECT_NE(all.find("<tr><td>data\\gone.paa</td><td class=\"n\">3</td>"), std::string::npos);
    EXPECT_EQ(tooltest::ShownCards(all), 6) << all.substr(0, 400);
    EXPECT_NE(all.find("<span id=\"shown\">6</span>"), std::string::npos);
    EXPECT_EQ(tooltest::ShownCards(dom("#filter=gone.paa")), 3);  // by problem
    EXPECT_EQ(tooltest::ShownCards(dom("#filter=B/")), 4);        // by name, letter case ignored
}
