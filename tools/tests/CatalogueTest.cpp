// The catalogue of p3dtool check in headless Chromium: texts as the JSON
// document holds them (markup stays text, letters beyond ASCII filtered in
// either case), the 3D view drawn with WebGL.
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <nlohmann/json.hpp>

#include "Browser.h"
#include "Corpus.h"
#include "P3dBuilder.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;
using tooltest::ShownCards;

namespace {

const fs::path kCorpus = VISTREL_CORPUS_DIR;
constexpr auto npos = std::string::npos;

}  // namespace

TEST(CatalogueTest, ShowsTheDocumentsTextsAsTheyAre) {
    tooltest::TScratchDir dir;
    const fs::path tree = dir.Path() / "tree";
    for (const char* folder : {"ünïcødé", "x"}) fs::create_directories(tree / folder);
    for (const char* name : {"ünïcødé/a.p3d", "ünïcødé/b.p3d", "x/<img src=x onerror=alert(1)>.p3d"})
        fs::copy_file(kCorpus / "models/vx/signs/single_face.p3d", tree / name);
    vistrel::BModel model = vistrel::CorpusModels().at(2).model;  // texture names in Latin-1, and markup
    model.lods.at(0).textures = {"data\\\334n\357c\370d\351.paa", "</script><script>document.title=1</script>"};
    vistrel::WriteFile((tree / "x/names.p3d").string(), vistrel::BuildModel(model));
    const tooltest::TRun run = RunTool(P3DTOOL_EXE, {"check", tree.string(), "--html", dir.File("html")}, dir.Path());
    ASSERT_EQ(run.status, 1) << run.err;

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const auto dom = [&](const std::string& hash) {
        return tooltest::Chromium(dir.Path() / "html/index.html", hash, dir.Path());
    };
    const std::string page = dom("");
    EXPECT_EQ(ShownCards(page), 4);
    EXPECT_NE(page.find("<title>Models of " + tree.string() + "</title>"), npos);  // no script of a name ran
    EXPECT_NE(page.find("<h2>x/&lt;img src=x onerror=alert(1)&gt;.p3d</h2>"), npos);
    EXPECT_NE(page.find("<li>missing texture data\\Ünïcødé.paa</li>"), npos);  // made UTF-8 once
    EXPECT_NE(page.find("<li>missing texture &lt;/script&gt;&lt;script&gt;document.title=1&lt;/script&gt;</li>"), npos);
    // the folder's two models, and the Latin-1 texture name in upper case
    EXPECT_EQ(ShownCards(dom("#filter=ünïcødé")), 3);
}

TEST(CatalogueTest, ThreeDViewOfACorpusModelDrawsAndTheFilterStillWorks) {
    tooltest::TScratchDir dir;
    const fs::path html = dir.Path() / "html";
    const std::string models = (kCorpus / "models").string(), data = (kCorpus / "data").string();
    const tooltest::TRun alone = RunTool(P3DTOOL_EXE, {"check", models, "--3d"}, dir.Path());
    EXPECT_EQ(alone.status, 2);
    EXPECT_NE(alone.err.find("--3d needs --html DIR"), npos) << alone.err;
    const nlohmann::json doc = nlohmann::json::parse(
        RunTool(P3DTOOL_EXE, {"check", models, "--data", data, "--html", html.string(), "--3d", "--json", "-"},
                dir.Path())
            .out);
    // each model's script: the .glb that p3dtool export --lod 0 writes, as base64
    for (const auto& m : doc.at("models")) {
        const std::string view = m.at("view3d"), glb = dir.File("lod0.glb"), model = models + "/" + m.value("path", "");
        ASSERT_EQ(RunTool(P3DTOOL_EXE, {"export", "--lod", "0", "--data", data, model, glb}, dir.Path()).status, 0);
        const std::string bytes = ReadAll(glb);
        std::string base64(4 * ((bytes.size() + 2) / 3) + 1, '\0');
        base64.resize(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(base64.data()),
                                      reinterpret_cast<const unsigned char*>(bytes.data()), int(bytes.size())));
        EXPECT_EQ(ReadAll(html / view),
                  "vistrelModel(\"" + fs::path(view).stem().string() + "\",\"" + base64 + "\");\n");
    }

    if (!fs::exists(tooltest::kChromium)) GTEST_SKIP() << "no chromium";
    const std::string filtered = tooltest::Chromium(html / "index.html", "#filter=tracked", dir.Path());
    EXPECT_EQ(ShownCards(filtered), 1);
    std::size_t buttons = 0;  // one on each card, shown or not
    for (auto at = filtered.find(">3D</button>"); at != npos; at = filtered.find(">3D</button>", at + 1)) ++buttons;
    EXPECT_EQ(buttons, 6u);
    // below its bar of 2.4em the view's own background, and the model on it
    const std::string png = dir.File("view.png");
    tooltest::Chromium(html / "index.html", "#view=vx/tracked/large.p3d", dir.Path(), png);
    int w = 0, h = 0;
    const std::vector<uint8_t> rgba = tooltest::ReadPngRgba(png, w, h);
    ASSERT_FALSE(rgba.empty()) << "no screenshot";
    std::size_t background = 0, all = std::size_t(w) * (h - 48);
    for (std::size_t p = std::size_t(w) * 48 * 4; p < rgba.size(); p += 4)
        background += rgba[p] == 0x2b && rgba[p + 1] == 0x31 && rgba[p + 2] == 0x38;
    EXPECT_GT(background, all / 2);
    EXPECT_GT(all - background, all / 50);
}
