// p3dtool check on one tree with a problem of every kind planted: a broken
// model, a partial one, a file that is not a model, an editable one, a
// missing texture named by two models, an undecodable texture and one that
// is found, names outside the texture root (one leading to a file), names
// of markup and beyond ASCII, links that lead nowhere and a folder that
// cannot be listed. Its text, JSON and catalogue, the catalogue rendered by
// headless Chromium (Debian's chromium), the filter of the page narrowing
// the cards.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include <sys/stat.h>
#include <unistd.h>

#include "Browser.h"
#include "GltfReadBack.h"
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

// As root the tool runs without its right to read every folder (setpriv of
// util-linux), as anyone else would, so that a folder of mode 000 stays shut.
constexpr const char* kNoOverride = "--bounding-set=-dac_override,-dac_read_search";

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
        fs::copy_file(dir.File("textures/data/found.paa"), dir.File("x.paa"));  // where ..\x.paa leads from both roots
        fs::create_directories(Tree() / "c");
        Write("tree/c/out.p3d", Model({"..\\x.paa", "C:x.paa"}));
        // names the catalogue shows as text: markup, letters beyond ASCII, in Latin-1 too
        fs::create_directories(Tree() / "ünïcødé");
        fs::create_directories(Tree() / "x");
        Write("tree/ünïcødé/<img src=x onerror=alert(1)>.p3d", Model({"data\\found.paa"}));
        Write("tree/x/names.p3d",
              Model({"data\\\334n\357c\370d\351.paa", "</script><script>document.title=1</script>"}));
        // (link, target): links that lead nowhere, one to a model (followed),
        // two to a folder (not followed), one that is no model; then a folder
        // nobody may list
        fs::create_directories(Tree() / "links");
        const std::vector<std::string> links{"self.p3d", "self.p3d",      "ping.p3d",   "pong.p3d",
                                             "pong.p3d", "ping.p3d",      "lost.p3d",   "../a/nowhere.p3d",
                                             "good.p3d", "../a/good.p3d", "folder.p3d", "../a",
                                             "a",        "../a",          "notes.txt",  "x.txt"};
        for (std::size_t k = 0; k < links.size(); k += 2) fs::create_symlink(links[k + 1], Tree() / "links" / links[k]);
        fs::create_directories(Tree() / "locked");
        fs::permissions(Tree() / "locked", fs::perms::none);
        if (::geteuid() == 0 && RunTool("/usr/bin/setpriv", {kNoOverride, "true"}, dir.Path()).status != 0)
            GTEST_SKIP() << "running as root that cannot give up reading every folder: nothing is unreadable";
    }
    void TearDown() override { fs::permissions(Tree() / "locked", fs::perms::owner_all, ignored); }
    fs::path Tree() const { return dir.Path() / "tree"; }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        vistrel::WriteFile(dir.File(name), bytes);
    }
    tooltest::TRun Check(std::vector<std::string> more) {
        std::vector<std::string> args{"check", Tree().string(), "--data", dir.File("textures"), "-j", "2"};
        args.insert(args.end(), more.begin(), more.end());
        return Tool(args);
    }
    tooltest::TRun Tool(std::vector<std::string> args) {
        if (::geteuid() != 0) return RunTool(P3DTOOL_EXE, args, dir.Path());
        args.insert(args.begin(), {kNoOverride, "--", P3DTOOL_EXE});
        return RunTool("/usr/bin/setpriv", args, dir.Path());
    }

    tooltest::TScratchDir dir;
    std::error_code ignored;
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
                  ": 10 models, 7 complete, 1 partial, 2 failed\n"
                  "textures: 7 named, 1 found, 3 missing, 1 undecodable, 2 outside the texture root\n"
                  "\n"
                  "problems, worst first:\n"
                  "  failed: b/broken.p3d: Stream read error (at byte 4: the file ends 3 bytes into a field of "
                  "4 bytes)\n"
                  "  failed: b/notes.p3d: Incorrect Format! (at byte 0: the magic is neither BMDL nor MLOD)\n"
                  "  partial: b/cut.p3d: Complete loading of P3d failed! Sorry ;) (" +
                  where +
                  ")\n"
                  "  unreadable folder: locked: Permission denied\n"
                  "  broken link: links/lost.p3d: its target does not exist: ../a/nowhere.p3d\n"
                  "  broken link: links/ping.p3d: links to itself or to a loop\n"
                  "  broken link: links/pong.p3d: links to itself or to a loop\n"
                  "  broken link: links/self.p3d: links to itself or to a loop\n"
                  "  undecodable: data\\bad.paa (" +
                  dir.File("textures") + "/data/bad.paa): " + undecodable +
                  "; needed by 1 model: a/other.p3d\n"
                  "  outside the texture root: ..\\x.paa: needed by 1 model: c/out.p3d\n"
                  "  outside the texture root: C:x.paa: needed by 1 model: c/out.p3d\n"
                  "  missing: data\\gone.paa: needed by 4 models: a/good.p3d, a/other.p3d, b/editable.p3d, "
                  "links/good.p3d\n"
                  "  missing: </script><script>document.title=1</script>: needed by 1 model: x/names.p3d\n"
                  "  missing: data\\\334n\357c\370d\351.paa: needed by 1 model: x/names.p3d\n");  // 8-bit as it is
    EXPECT_EQ(run.err.find("failed"), std::string::npos) << run.err;                              // progress only

    const nlohmann::json doc = nlohmann::json::parse(ReadAll(json));
    EXPECT_EQ(doc.at("summary"), nlohmann::json::parse(R"({"models":10,"complete":7,"partial":1,"failed":2,
        "textures":7,"found":1,"missing":3,"outside":2,"undecodable":1,"broken_links":4,"unreadable":1})"));
    std::map<std::string, std::string> status;
    for (const auto& m : doc.at("models")) status[m.at("path")] = m.at("status");
    EXPECT_EQ(status, (std::map<std::string, std::string>{{"a/good.p3d", "complete"},
                                                          {"a/other.p3d", "complete"},
                                                          {"b/broken.p3d", "failed"},
                                                          {"b/cut.p3d", "partial"},
                                                          {"b/editable.p3d", "complete"},
                                                          {"b/notes.p3d", "failed"},
                                                          {"c/out.p3d", "complete"},
                                                          {"links/good.p3d", "complete"},
                                                          {"x/names.p3d", "complete"},
                                                          {"ünïcødé/<img src=x onerror=alert(1)>.p3d", "complete"}}));
    EXPECT_EQ(doc.at("models").at(3).at("failure").at("lod"), 1);
    EXPECT_EQ(doc.at("models").at(4).at("format"), "editable");
    EXPECT_EQ(doc.at("models").at(0).at("missing"), nlohmann::json::parse(R"(["data\\gone.paa"])"));
    EXPECT_EQ(doc.at("models").at(1).at("problems"),
              nlohmann::json::parse(R"(["undecodable texture data\\bad.paa: )" + undecodable +
                                    R"(", "missing texture data\\gone.paa"])"));
    EXPECT_EQ(doc.at("models").at(6).at("outside"), nlohmann::json::parse(R"(["..\\x.paa","C:x.paa"])"));
    EXPECT_EQ(doc.at("models").at(6).at("problems"),  // as its card shows them
              nlohmann::json::parse(R"(["texture outside the texture root: ..\\x.paa",
                                        "texture outside the texture root: C:x.paa"])"));
    for (const auto& t : doc.at("textures"))
        EXPECT_EQ(t.at("status") == "outside", t.at("name").get<std::string>().ends_with("x.paa")) << t;
    for (const auto& t : doc.at("textures"))
        if (t.at("status") == "found") {
            EXPECT_EQ(t.at("models"), 4);  // the good model, its editable copy, a link to it and one more
            EXPECT_EQ(t.at("format"), "DXT1");
            EXPECT_EQ(t.at("width"), 16);
        }
    // nothing wrong, nothing to say but the summary
    const tooltest::TRun clean =
        RunTool(P3DTOOL_EXE, {"check", (Tree() / "a").string(), "--data", Tree().string()}, dir.Path());
    EXPECT_EQ(clean.status, 1);  // its textures are not under the tree itself
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"check", dir.File("none")}, dir.Path()).status, 2);
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"check", Tree().string(), "-j", "0"}, dir.Path()).status, 2);
    // export too looks up no name outside the root, beside the model either
    const std::string glb = dir.File("out.glb");
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"export", dir.File("tree/c/out.p3d"), glb}, dir.Path()).err,
              "warning: 2 of 2 textures outside the texture root, left untextured: ..\\x.paa, C:x.paa\n");
    EXPECT_TRUE(tooltest::ReadGltf(glb).model.images.empty());
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
    const mode_t mask = ::umask(0);  // a folder as any other, not the owner's alone
    ::umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(html).permissions()), 0777 & ~mask);
    // made again over itself: the previous catalogue makes room; with the
    // 3D views of the models read completely
    ASSERT_EQ(Check({"--html", html.string(), "--3d", "--json", json}).status, 1);
    const nlohmann::json views = nlohmann::json::parse(ReadAll(json)).at("models");  // a/good, a/other, b/broken, b/cut
    EXPECT_EQ(views.at(0).at("view3d"), "models/m000001.js");
    EXPECT_EQ(views.at(2).dump().find("view3d_note"), std::string::npos);  // failed: nothing to show
    EXPECT_EQ(views.at(3).value("view3d_note", ""), "not read completely");

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const auto dom = [&](const std::string& hash) { return tooltest::Chromium(html / "index.html", hash, dir.Path()); };
    const std::string all = dom("");
    const auto count = [&all](const std::string& pattern) {
        const std::regex expression(pattern);
        return std::distance(std::sregex_iterator(all.begin(), all.end(), expression), std::sregex_iterator());
    };
    EXPECT_EQ(count("<article class=\"card"), 10);
    EXPECT_EQ(count("<img src=\"pictures/m\\d{6}\\.png\""), 7);  // the seven that have faces to draw
    EXPECT_NE(all.find("<tr><td>data\\gone.paa</td><td class=\"n\">4</td>"), std::string::npos);
    EXPECT_EQ(tooltest::ShownCards(all), 10) << all.substr(0, 400);
    EXPECT_NE(all.find("<span id=\"shown\">10</span>"), std::string::npos);
    EXPECT_EQ(tooltest::ShownCards(dom("#filter=gone.paa")), 4);  // by problem
    EXPECT_EQ(tooltest::ShownCards(dom("#filter=B/")), 4);        // by name, letter case ignored
    EXPECT_EQ(tooltest::ShownCards(dom("#filter=ünïcødé")), 2);   // beyond ASCII too: Ü of the Latin-1 name
    // the names as text, made UTF-8 once: no script of theirs ran, none changed the title
    EXPECT_NE(all.find("<title>Models of " + Tree().string() + "</title>"), std::string::npos);
    EXPECT_NE(all.find("<h2>ünïcødé/&lt;img src=x onerror=alert(1)&gt;.p3d</h2>"), std::string::npos);
    EXPECT_NE(all.find("<li>missing texture data\\Ünïcødé.paa</li>"), std::string::npos);
    EXPECT_NE(all.find("<li>missing texture &lt;/script&gt;&lt;script&gt;document.title=1&lt;/script&gt;</li>"),
              std::string::npos);
    // the tree's own problems shown, the folders first
    EXPECT_NE(all.find("<section id=\"tree-problems\">\n"), std::string::npos);
    EXPECT_NE(all.find("<li>unreadable folder: locked: Permission denied</li><li>broken link: links/lost.p3d: its "
                       "target does not exist: ../a/nowhere.p3d</li>"),
              std::string::npos);
}

TEST_F(CheckCommandTest, BrokenLinksAndUnreadableFoldersAreNamedByEveryWalkOfTheTree) {
    const std::vector<std::array<std::string, 3>> problems{
        {"unreadable folder", "locked", "Permission denied"},
        {"broken link", "links/lost.p3d", "its target does not exist: ../a/nowhere.p3d"},
        {"broken link", "links/ping.p3d", "links to itself or to a loop"},
        {"broken link", "links/pong.p3d", "links to itself or to a loop"},
        {"broken link", "links/self.p3d", "links to itself or to a loop"}};
    std::string lines, failures;
    nlohmann::json links = nlohmann::json::array();
    for (const auto& [kind, path, reason] : problems) {
        lines += kind + ": " + path + ": " + reason + "\n";
        failures += "  " + path + ": " + kind + ": " + reason + "\n";
        if (kind == "broken link") links.push_back({{"path", path}, {"reason", reason}});
    }
    const nlohmann::json doc = nlohmann::json::parse(Check({"--json", "-"}).out);
    EXPECT_EQ(doc.at("unreadable"), nlohmann::json::parse(R"([{"folder":"locked","reason":"Permission denied"}])"));
    EXPECT_EQ(doc.at("broken_links"), links);

    // the -r of mlod and export: each one a line of its own and a failure of the run, which goes on
    for (const auto& [command, summary] :
         std::map<std::string, std::string>{{"mlod", "6 converted, 1 skipped as already editable, 8 failed\n"},
                                            {"export", "7 exported, 8 failed\n"}}) {
        const fs::path out = dir.Path() / command;
        const tooltest::TRun run = Tool({command, "-r", Tree().string(), out.string()});
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(run.out.substr(0, lines.size()), lines);
        EXPECT_NE(run.out.find("\n" + summary + failures + "  b/broken.p3d: "), std::string::npos) << run.out;
        EXPECT_TRUE(fs::exists(out / (command == "mlod" ? "links/good.p3d" : "links/good.glb")));
        EXPECT_FALSE(fs::exists(out / "links" / "a"));
        const bool leftOut = run.out.find("c/out.p3d: exported (2 texture(s) left out)") != std::string::npos;
        EXPECT_EQ(leftOut, command == "export") << run.out;
    }
}

TEST_F(CheckCommandTest, AFolderBelowTheDepthLimitIsNamedNotPassedOver) {
    std::string deep = "d";
    for (int k = 0; k < 256; ++k) deep += "/d";  // 257 folders down
    fs::create_directories(dir.Path() / "deep" / deep);
    const std::string out = RunTool(P3DTOOL_EXE, {"check", dir.File("deep")}, dir.Path()).out;
    EXPECT_NE(out.find("\n  unreadable folder: " + deep + ": more than 256 folders deep, not entered\n"), out.npos);
}
