// The 3D views of p3dtool check's catalogue: each model's script, and the
// view drawn with WebGL in headless Chromium. (The page's texts and filter on
// a tree with every problem planted: CheckCommandTest.)
#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <nlohmann/json.hpp>

#include "Browser.h"

namespace fs = std::filesystem;
using tooltest::ReadAll;
using tooltest::RunTool;
using tooltest::ShownCards;

namespace {

const fs::path kCorpus = VISTREL_CORPUS_DIR;
constexpr auto npos = std::string::npos;

}  // namespace

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
