// The catalogue of p3dtool check in headless Chromium: the texts shown as the
// JSON document holds them (markup in names stays text, letters beyond ASCII
// filtered in either case) and the folders the walk passed over.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <unistd.h>

#include <filesystem>

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

}  // namespace

TEST(CatalogueTest, ShowsTheDocumentsTextsAsTheyAreAndTheFoldersPassedOver) {
    tooltest::TScratchDir dir;
    const fs::path tree = dir.Path() / "tree", face = kCorpus / "models/vx/signs/single_face.p3d";
    for (const char* folder : {"ünïcødé", "x", "locked"}) fs::create_directories(tree / folder);
    for (const char* name : {"ünïcødé/a.p3d", "ünïcødé/b.p3d", "x/<img src=x onerror=document.title=1>.p3d",
                             "locked/hidden.p3d"})
        fs::copy_file(face, tree / name);
    // texture names are 8-bit text inside the model: "Ünïcødé" in Latin-1, and markup
    vistrel::BModel model = vistrel::CorpusModels().at(2).model;
    model.lods.at(0).textures = {"data\\\xDCn\xEF"
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
