// Names of files and folders as info --json, check --json and the exported
// glTF's root node write them: UTF-8 names as they are, bytes that are not
// UTF-8 as Latin-1; a texture name inside the model stays 8-bit text.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>

#include "GltfReadBack.h"
#include "P3dBuilder.h"
#include "TextureEncoder.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TScratchDir;

namespace {

struct TNameRow {
    std::string bytes;        // on the file system (and as a texture name inside the model)
    std::string asPath;       // written for a file or folder of that name
    std::string asModelText;  // written for the same bytes read from inside a model
};

const TNameRow kNames[] = {
    {"\xC3\xBC", "\xC3\xBC", "\xC3\x83\xC2\xBC"},                                       // ü in UTF-8
    {"\xE5\x90\x8D", "\xE5\x90\x8D", "\xC3\xA5\xC2\x90\xC2\x8D"},                       // 名 in UTF-8
    {"\xFC", "\xC3\xBC", "\xC3\xBC"},                                                   // ü in Latin-1: not UTF-8
    {"caf\xC3\xA9\xFF", "caf\xC3\x83\xC2\xA9\xC3\xBF", "caf\xC3\x83\xC2\xA9\xC3\xBF"},  // mixed: Latin-1 all
    {"two words", "two words", "two words"},
    {"R&D", "R&D", "R&D"},
    {"#7", "#7", "#7"},
};

// One LOD of one face with the texture "data\NAME.paa".
std::vector<uint8_t> OneFaceModel(const std::string& name) {
    vistrel::BLod lod;
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    lod.vertexInfo = {0, 0, 0};
    lod.uv = {{0, 0}, {1, 0}, {0, 1}};
    lod.maxPos = {1, 1, 0};
    lod.unique = {0, 1, 2};
    lod.link = {0, 1, 2};
    lod.textures = {"data\\" + name + ".paa"};
    vistrel::BPolygon face;
    face.texture = 0;
    face.corners = {0, 1, 2};
    lod.polygons = {face};
    vistrel::BModel model;
    model.lods = {lod};
    return vistrel::BuildModel(model);
}

nlohmann::json Json(const tooltest::TRun& run) {
    EXPECT_EQ(run.status, 0) << run.err;
    return nlohmann::json::parse(run.out);  // strict: throws on bytes that are not UTF-8
}

}  // namespace

TEST(FileNameText, FolderAndFileNamesAreUtf8OrElseLatin1InEveryOutput) {
    TScratchDir dir;
    const std::string scratch = dir.Path().string();  // ASCII
    for (const TNameRow& row : kNames) {
        SCOPED_TRACE(row.asPath);
        // FOLDER/NAME.p3d naming data\NAME.paa, found beside it (where the
        // lookup reads the name as UTF-8, or else as Latin-1)
        const std::string folder = scratch + "/" + row.bytes;
        const std::string model = folder + "/" + row.bytes + ".p3d";
        fs::create_directories(folder + "/data");
        vistrel::WriteFile(model, OneFaceModel(row.bytes));
        vistrel::WriteFile(folder + "/data/" + row.asPath + ".paa",
                           vistrel::EncodeTexture(vistrel::TexImage(4, 4), vistrel::TexFormat::Dxt1));
        const std::string folderOut = scratch + "/" + row.asPath;

        const nlohmann::json info = Json(RunTool(P3DTOOL_EXE, {"info", "--json", model}, dir.Path()));
        EXPECT_EQ(info.at("file"), folderOut + "/" + row.asPath + ".p3d");
        EXPECT_EQ(info.at("lods").at(0).at("textures").at(0), "data\\" + row.asModelText + ".paa");

        const nlohmann::json check = Json(RunTool(P3DTOOL_EXE, {"check", "--json", "-", folder}, dir.Path()));
        EXPECT_EQ(check.at("tree"), folderOut);
        ASSERT_EQ(check.at("models").size(), 1u);
        EXPECT_EQ(check.at("models").at(0).at("path"), row.asPath + ".p3d");
        EXPECT_EQ(check.at("models").at(0).at("textures").at(0), "data\\" + row.asModelText + ".paa");
        ASSERT_EQ(check.at("textures").size(), 1u);
        EXPECT_EQ(check.at("textures").at(0).at("name"), "data\\" + row.asModelText + ".paa");
        EXPECT_EQ(check.at("textures").at(0).at("file"), folderOut + "/data/" + row.asPath + ".paa");

        const std::string glb = scratch + "/out.glb";
        const tooltest::TRun exported = RunTool(P3DTOOL_EXE, {"export", model, glb}, dir.Path());
        ASSERT_EQ(exported.status, 0) << exported.err;
        EXPECT_EQ(exported.err, "");  // the texture is found
        const tooltest::TGltfReadBack back = tooltest::ReadGltf(glb);
        ASSERT_EQ(back.error, "");
        EXPECT_EQ(back.model.nodes.at(0).name, row.asPath);
        EXPECT_EQ(back.model.materials.at(0).name, "data\\" + row.asModelText + ".paa");
    }
}

// Each name of a path by itself: a folder in UTF-8 stays so around a file
// name that is not; a message naming the file names it so too.
TEST(FileNameText, EachNameOfAPathByItself) {
    TScratchDir dir;
    fs::create_directories(dir.File("\xE5\x90\x8D"));
    const std::string missing = dir.File("\xE5\x90\x8D/gone \xFC.p3d");
    const tooltest::TRun run = RunTool(P3DTOOL_EXE, {"info", "--json", missing}, dir.Path());
    EXPECT_EQ(run.status, 2);
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    const std::string shown = dir.File("\xE5\x90\x8D/gone \xC3\xBC.p3d");
    EXPECT_EQ(doc.at("file"), shown);
    EXPECT_EQ(doc.at("error"), "Cannot open file " + shown);
}
