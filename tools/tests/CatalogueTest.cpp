// The catalogue of p3dtool check in headless Chromium: the texts shown as the
// JSON document holds them (markup in names stays text, letters beyond ASCII
// filtered in either case), the folders the walk passed over, and the 3D view
// of a corpus model drawn with WebGL.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <regex>

#include "Browser.h"
#include "Corpus.h"
#include "P3dBuilder.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;
using tooltest::ShownCards;

namespace {

const fs::path kCorpus = VISTREL_CORPUS_DIR;

// p3dtool check; run as root, without the right to read every folder, so
// that a folder without permissions is as unreadable as for anyone else.
tooltest::TRun Check(const tooltest::TScratchDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), "check");
    if (::geteuid() != 0) return RunTool(P3DTOOL_EXE, args, dir.Path());
    args.insert(args.begin(), {"--bounding-set=-dac_override,-dac_read_search", "--", P3DTOOL_EXE});
    return RunTool("/usr/bin/setpriv", args, dir.Path());
}

// A text as the DOM writes it out.
std::string Serialized(const std::string& text) {
    std::string out;
    for (const char c : text) out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;" : std::string(1, c);
    return out;
}

std::string Base64Decoded(const std::string& text) {
    std::string out(text.size() / 4 * 3, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(text.data()), int(text.size()));
    std::size_t padding = 0;  // counted in n as bytes of 0
    for (auto c = text.rbegin(); c != text.rend() && *c == '=' && padding < 2; ++c) ++padding;
    out.resize(n < int(padding) ? 0 : std::size_t(n) - padding);
    return out;
}

}  // namespace

TEST(CatalogueTest, ShowsTheDocumentsTextsAsTheyAreAndTheFoldersPassedOver) {
    tooltest::TScratchDir dir;
    const fs::path tree = dir.Path() / "tree", face = kCorpus / "models/vx/signs/single_face.p3d";
    for (const char* folder : {"ünïcødé", "x", "locked"}) fs::create_directories(tree / folder);
    for (const char* name :
         {"ünïcødé/a.p3d", "ünïcødé/b.p3d", "x/<img src=x onerror=document.title=1>.p3d", "locked/hidden.p3d"})
        fs::copy_file(face, tree / name);
    // texture names are 8-bit text inside the model: "Ünïcødé" in Latin-1, and markup
    vistrel::BModel model = vistrel::CorpusModels().at(2).model;
    model.lods.at(0).textures = {
        "data\\\xDCn\xEF"
        "c\xF8"
        "d\xE9.paa",
        "</script><script>document.title=1</script>"};
    vistrel::WriteFile((tree / "x/names.p3d").string(), vistrel::BuildModel(model));
    fs::permissions(tree / "locked", fs::perms::none);
    const tooltest::TRun run =
        Check(dir, {tree.string(), "--html", dir.File("html"), "--json", dir.File("report.json")});
    fs::permissions(tree / "locked", fs::perms::owner_all);
    ASSERT_EQ(run.status, 1) << run.err;
    const nlohmann::json doc = nlohmann::json::parse(ReadAll(dir.File("report.json")));
    ASSERT_EQ(doc.at("models").size(), 4u);
    ASSERT_EQ(doc.at("unreadable").size(), 1u);

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const auto dom = [&](const std::string& hash) {
        return tooltest::RenderedDom(dir.Path() / "html/index.html", hash, dir.Path());
    };
    const std::string page = dom("");
    EXPECT_NE(page.find("<title>Models of " + tree.string() + "</title>"), std::string::npos);  // no script ran
    EXPECT_EQ(page.find("<img src=\"x\""), std::string::npos);
    EXPECT_NE(page.find("<li>missing texture data\\Ünïcødé.paa</li>"), std::string::npos);  // made UTF-8 once
    EXPECT_NE(page.find("<li>missing texture &lt;/script&gt;&lt;script&gt;document.title=1&lt;/script&gt;</li>"),
              std::string::npos);
    for (const auto& m : doc.at("models"))
        EXPECT_NE(page.find("<h2>" + Serialized(m.at("path")) + "</h2>"), std::string::npos) << m.at("path");
    const auto& locked = doc.at("unreadable").at(0);
    EXPECT_NE(page.find("<section id=\"tree-problems\">"), std::string::npos);
    EXPECT_NE(page.find("<li>unreadable folder: " + Serialized(locked.at("folder")) + ": " +
                        Serialized(locked.at("reason")) + "</li>"),
              std::string::npos);
    // the Latin-1 texture name in upper case, and the folder once the
    // document's paths are UTF-8 as the file system has them
    const bool pathsAsTheyAre = doc.at("models").at(2).at("path") == "ünïcødé/a.p3d";
    EXPECT_EQ(ShownCards(dom("#filter=ünïcødé")), pathsAsTheyAre ? 3 : 1);
}

TEST(CatalogueTest, ThreeDViewOfACorpusModelDrawsAndTheFilterStillWorks) {
    tooltest::TScratchDir dir;
    const fs::path html = dir.Path() / "html";
    const std::string models = (kCorpus / "models").string(), data = (kCorpus / "data").string();
    const tooltest::TRun alone = RunTool(P3DTOOL_EXE, {"check", models, "--3d"}, dir.Path());
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--3d needs --html DIR"), std::string::npos) << alone.err;
    ASSERT_EQ(RunTool(P3DTOOL_EXE,
                      {"check", models, "--data", data, "--html", html.string(), "--3d", "--json", dir.File("r.json")},
                      dir.Path())
                  .status,
              1);
    for (const char* file : {"three.min.js", "GLTFLoader.js", "OrbitControls.js"})
        EXPECT_GT(fs::file_size(html / "three" / file), 10000u) << file;
    // each model's view: its LOD 0 as p3dtool export writes it, as base64
    const nlohmann::json doc = nlohmann::json::parse(ReadAll(dir.File("r.json")));
    for (const auto& m : doc.at("models")) {
        const std::string view = m.at("view3d"), script = ReadAll(html / view);
        const std::string head = "vistrelModel(\"" + fs::path(view).stem().string() + "\",\"", tail = "\");\n";
        ASSERT_GT(script.size(), head.size() + tail.size()) << view;
        EXPECT_EQ(script.substr(0, head.size()), head);
        EXPECT_EQ(script.substr(script.size() - tail.size()), tail);
        const std::string glb = dir.File("lod0.glb");
        ASSERT_EQ(RunTool(P3DTOOL_EXE,
                          {"export", "--lod", "0", "--data", data, models + "/" + m.at("path").get<std::string>(), glb},
                          dir.Path())
                      .status,
                  0);
        EXPECT_EQ(Base64Decoded(script.substr(head.size(), script.size() - head.size() - tail.size())), ReadAll(glb))
            << view;
    }

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const std::string filtered = tooltest::RenderedDom(html / "index.html", "#filter=tracked", dir.Path());
    EXPECT_EQ(ShownCards(filtered), 1);
    const std::regex button(">3D</button>");
    EXPECT_EQ(std::distance(std::sregex_iterator(filtered.begin(), filtered.end(), button), std::sregex_iterator()), 6);
    // the view fills the window below its bar of 2.4em: the model, drawn
    // on the view's own background
    const std::string png = dir.File("view.png");
    ASSERT_TRUE(
        tooltest::ScreenshotWithWebGl(html / "index.html", "#view=vx/tracked/large.p3d", png, 800, 600, dir.Path()));
    int w = 0, h = 0;
    const std::vector<uint8_t> rgba = tooltest::ReadPngRgba(png, w, h);
    ASSERT_EQ(w * h * 4, int(rgba.size()));
    std::size_t background = 0, model = 0;
    for (int y = 48; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &rgba[(std::size_t(y) * w + x) * 4];
            (p[0] == 0x2b && p[1] == 0x31 && p[2] == 0x38 ? background : model)++;
        }
    EXPECT_GT(background, (background + model) / 2);
    EXPECT_GT(model, (background + model) / 50);
}
