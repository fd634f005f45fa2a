// Runs the built p3dtool on files written with the test builder and checks
// its output streams and exit status.
#include <gtest/gtest.h>
#include <algorithm>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include "GltfReadBack.h"
#include "P3dBuilder.h"
#include "ToolRunner.h"

namespace {

using JValue = nlohmann::ordered_json;
using tooltest::TRun;
using vistrel::BLod;
using vistrel::BModel;
using vistrel::BSelection;

const std::string kExe = P3DTOOL_EXE;

// Four vertices of a small pyramid with two faces, a texture, a selection of
// three vertices and one face, an empty selection and two properties.
BLod PyramidLod(float resolution) {
    BLod lod;
    lod.resolution = resolution;
    lod.vertices = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {1, 0, 0}};
    lod.vertexInfo = {0, 0, 0, 0};
    lod.uv = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    lod.minPos = {0, 0, 0};
    lod.maxPos = {2, 3, 4};
    lod.textures = {"data\\stone.paa"};
    lod.unique = {0, 1, 2, 3};
    lod.link = {0, 1, 2, 3};
    vistrel::BPolygon a;
    a.texture = 0;
    a.corners = {0, 1, 2};
    vistrel::BPolygon b;
    b.corners = {0, 1, 3};
    lod.polygons = {a, b};
    BSelection top;
    top.name = "top";
    top.faces = {1};
    top.vertexes = {0, 1, 3};
    BSelection none;
    none.name = "nothing";
    lod.selections = {top, none};
    lod.properties = {{"class", "house"}, {"mass", "0"}};
    return lod;
}

// A resolution LOD and a geometry LOD with one mass per point.
BModel CompleteModel() {
    BModel model;
    model.lods = {PyramidLod(1.0f), PyramidLod(vistrel::kBuilderGeometryResolution)};
    model.masses = {1.5f, 2.5f, 3.0f, 0.25f};
    model.totalMass = 7.25f;
    model.offset1 = {1, 2, 3};
    model.offset2 = {0.5f, -1, 0};
    model.offset3 = {0, 0, 0.125f};
    return model;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

class P3dToolTest : public ::testing::Test {
protected:
    tooltest::TScratchDir dir;

    std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.File(name);
        vistrel::WriteFile(path, bytes);
        return path;
    }
    std::string Write(const std::string& name, const BModel& model) { return Write(name, vistrel::BuildModel(model)); }
    TRun Run(const std::vector<std::string>& args) { return tooltest::RunTool(kExe, args, dir.Path()); }

    static JValue ParseOut(const TRun& run) {
        try {
            return JValue::parse(run.out);  // strict: one value, valid UTF-8, no raw control characters
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what() << "\n" << run.out;
            return JValue{};
        }
    }
};

// The keys of an object, in written order.
std::vector<std::string> Keys(const JValue& object) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : object.items()) keys.push_back(key);
    return keys;
}

void ExpectVec(const JValue& v, float x, float y, float z) {
    ASSERT_TRUE(v.is_array());
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(static_cast<float>(v.at(0).get<double>()), x);
    EXPECT_EQ(static_cast<float>(v.at(1).get<double>()), y);
    EXPECT_EQ(static_cast<float>(v.at(2).get<double>()), z);
}

TEST_F(P3dToolTest, JsonOfCompleteModel) {
    const std::string path = Write("complete.p3d", CompleteModel());
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const JValue doc = ParseOut(run);
    ASSERT_TRUE(doc.is_object());
    EXPECT_EQ(Keys(doc), (std::vector<std::string>{"file", "format", "complete", "messages", "lods", "geometry_lod",
                                                   "masses", "mass", "offset1", "offset2", "offset3"}));
    EXPECT_EQ(doc.at("format").get<std::string>(), "binarized");
    EXPECT_EQ(doc.at("file").get<std::string>(), path);
    EXPECT_EQ(doc.at("messages").size(), 0u);
    ASSERT_EQ(doc.at("lods").size(), 2u);

    const JValue& lod0 = doc.at("lods").at(0);
    EXPECT_EQ(Keys(lod0), (std::vector<std::string>{"resolution", "name", "vertexes", "normals", "unique", "faces",
                                                    "textures", "min", "max", "selections", "properties"}));
    EXPECT_EQ(lod0.at("resolution").get<double>(), 1.0);
    EXPECT_EQ(lod0.at("name").get<std::string>(), "LOD 1.000");
    EXPECT_EQ(lod0.at("vertexes").get<double>(), 4);
    EXPECT_EQ(lod0.at("normals").get<double>(), 4);
    EXPECT_EQ(lod0.at("unique").get<double>(), 4);
    EXPECT_EQ(lod0.at("faces").get<double>(), 2);
    ASSERT_EQ(lod0.at("textures").size(), 1u);
    EXPECT_EQ(lod0.at("textures").at(0).get<std::string>(), "data\\stone.paa");
    ExpectVec(lod0.at("min"), 0, 0, 0);
    ExpectVec(lod0.at("max"), 2, 3, 4);

    ASSERT_EQ(lod0.at("selections").size(), 2u);
    const JValue& top = lod0.at("selections").at(0);
    EXPECT_EQ(Keys(top), (std::vector<std::string>{"name", "vertexes", "faces", "start", "end"}));
    EXPECT_EQ(top.at("name").get<std::string>(), "top");
    EXPECT_EQ(top.at("vertexes").get<double>(), 3);
    EXPECT_EQ(top.at("faces").get<double>(), 1);
    // positions as held: shifted by the second offset
    ExpectVec(top.at("start"), 0.5f, -1, 0);
    ExpectVec(top.at("end"), 2.5f, -1, 4);
    const JValue& nothing = lod0.at("selections").at(1);
    EXPECT_EQ(nothing.at("name").get<std::string>(), "nothing");
    EXPECT_EQ(nothing.at("vertexes").get<double>(), 0);
    EXPECT_TRUE(nothing.at("start").is_null());
    EXPECT_TRUE(nothing.at("end").is_null());

    ASSERT_EQ(lod0.at("properties").size(), 2u);
    EXPECT_EQ(lod0.at("properties").at(0).get<std::string>(), "class= house");
    EXPECT_EQ(lod0.at("properties").at(1).get<std::string>(), "mass= 0");

    const JValue& lod1 = doc.at("lods").at(1);
    EXPECT_EQ(lod1.at("name").get<std::string>(), "Geometry");
    EXPECT_EQ(static_cast<float>(lod1.at("resolution").get<double>()), 1e13f);

    EXPECT_EQ(doc.at("geometry_lod").get<double>(), 1);
    EXPECT_EQ(doc.at("masses").get<double>(), 4);
    EXPECT_EQ(doc.at("mass").get<double>(), 7.25);
    ExpectVec(doc.at("offset1"), 1, 2, 3);
    ExpectVec(doc.at("offset2"), 0.5f, -1, 0);
    ExpectVec(doc.at("offset3"), 0, 0, 0.125f);
}

TEST_F(P3dToolTest, JsonOfSmallModelExactly) {
    BModel model;
    BLod lod;
    lod.vertices = {{1, 2, 3}};
    lod.normals = {{0, 0, 1}};
    lod.vertexInfo = {0};
    lod.uv = {{0, 0}};
    lod.unique = {0};
    lod.link = {0};
    lod.minPos = {1, 2, 3};
    lod.maxPos = {1, 2, 3};
    lod.textures = {"t.paa"};
    BSelection s;
    s.name = "s";
    s.vertexes = {0};
    lod.selections = {s};
    lod.properties = {{"a", "b"}};
    model.lods = {lod};
    model.offset1 = {1, 2, 3};
    model.offset2 = {0.5f, 0, 0};
    model.offset3 = {-1, 0, 0.1f};
    model.totalMass = 12.5f;
    const std::string path = Write("small.p3d", model);

    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "{\"file\":\"" + path +
                           "\",\"format\":\"binarized\",\"complete\":true,\"messages\":[],\"lods\":[{\"resolution\":1,"
                           "\"name\":\"LOD 1.000\",\"vertexes\":1,"
                           "\"normals\":1,\"unique\":1,\"faces\":0,\"textures\":[\"t.paa\"],\"min\":[1,2,3],"
                           "\"max\":[1,2,3],\"selections\":[{\"name\":\"s\",\"vertexes\":1,\"faces\":0,"
                           "\"start\":[1.5,2,3],\"end\":[1.5,2,3]}],\"properties\":[\"a= b\"]}],"
                           "\"geometry_lod\":null,\"masses\":null,\"mass\":12.5,\"offset1\":[1,2,3],"
                           "\"offset2\":[0.5,0,0],\"offset3\":[-1,0,0.1]}\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(P3dToolTest, FloatsReadBackAsTheSameFloat) {
    BModel model;
    model.totalMass = 1.0f / 3.0f;
    model.offset1 = {0.1f, 16777217.0f, -3.4028235e38f};
    model.offset2 = {1e-45f, -0.0f, 123456.79f};
    const TRun run = Run({"info", "--json", Write("floats.p3d", model)});
    EXPECT_EQ(run.status, 0);
    const JValue doc = ParseOut(run);
    EXPECT_NE(run.out.find("\"mass\":0.33333334"), std::string::npos) << run.out;  // the digits as written
    EXPECT_EQ(static_cast<float>(doc.at("mass").get<double>()), 1.0f / 3.0f);
    ExpectVec(doc.at("offset1"), 0.1f, 16777217.0f, -3.4028235e38f);
    ExpectVec(doc.at("offset2"), 1e-45f, -0.0f, 123456.79f);
    EXPECT_EQ(doc.at("lods").size(), 0u);
}

TEST_F(P3dToolTest, NonFiniteFloatsAreNull) {
    BModel model;
    model.totalMass = std::numeric_limits<float>::quiet_NaN();
    model.offset3 = {std::numeric_limits<float>::infinity(), 1, -std::numeric_limits<float>::infinity()};
    const TRun run = Run({"info", "--json", Write("nan.p3d", model)});
    EXPECT_EQ(run.status, 0);
    const JValue doc = ParseOut(run);
    EXPECT_TRUE(doc.at("mass").is_null());
    EXPECT_TRUE(doc.at("offset3").at(0).is_null());
    EXPECT_EQ(doc.at("offset3").at(1).get<double>(), 1);
    EXPECT_TRUE(doc.at("offset3").at(2).is_null());
}

TEST_F(P3dToolTest, MassCountThatDoesNotMatchLeavesNoGeometryLod) {
    BModel model = CompleteModel();
    model.masses = {1, 2, 3};  // the geometry LOD has four points
    const TRun run = Run({"info", "--json", Write("nomass.p3d", model)});
    EXPECT_EQ(run.status, 0);
    const JValue doc = ParseOut(run);
    EXPECT_TRUE(doc.at("geometry_lod").is_null());
    EXPECT_TRUE(doc.at("masses").is_null());
    EXPECT_EQ(doc.at("mass").get<double>(), 7.25);
}

TEST_F(P3dToolTest, MissingFileGivesErrorObjectAndStatus2) {
    const std::string path = dir.File("missing.p3d");
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 2);
    const JValue doc = ParseOut(run);
    EXPECT_EQ(Keys(doc), (std::vector<std::string>{"file", "error"}));
    EXPECT_EQ(doc.at("file").get<std::string>(), path);
    EXPECT_NE(doc.at("error").get<std::string>().find("Cannot open file"), std::string::npos)
        << doc.at("error").get<std::string>();
    EXPECT_NE(run.err.find(doc.at("error").get<std::string>()), std::string::npos) << run.err;
}

TEST_F(P3dToolTest, MissingFileInEveryMode) {
    const std::string path = dir.File("missing.p3d");
    for (const char* mode : {"info", "log"}) {
        const TRun run = Run({mode, path});
        EXPECT_EQ(run.status, 2) << mode;
        EXPECT_NE(run.err.find("Cannot open file"), std::string::npos) << mode << ": " << run.err;
    }
}

TEST_F(P3dToolTest, FileShorterThanItsMagicCannotBeRead) {
    const std::string path = Write("short.p3d", std::vector<uint8_t>{'B', 'M'});
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 2);
    const JValue doc = ParseOut(run);
    EXPECT_EQ(doc.at("error").get<std::string>(), "Stream read error");
}

TEST_F(P3dToolTest, EditableFileIsReadAndItsFormatNamed) {
    const std::string binarized = Write("m.p3d", CompleteModel());
    const std::string path = dir.File("m_mlod.p3d");
    ASSERT_EQ(Run({"mlod", binarized, path}).status, 0);
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const JValue doc = ParseOut(run);
    EXPECT_EQ(doc.at("format").get<std::string>(), "editable");
    EXPECT_TRUE(doc.at("complete").get<bool>());
    EXPECT_EQ(doc.at("lods").size(), CompleteModel().lods.size());
    const TRun text = Run({"info", path});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Format: editable (MLOD), read completely"), std::string::npos) << text.out;
    // Cut inside its first LOD: the reader's message, status 1.
    const std::string whole = tooltest::ReadAll(path);
    EXPECT_EQ(Run({"info", Write("cut.p3d", std::vector<uint8_t>(whole.begin(), whole.begin() + 60))}).status, 1);
}

TEST_F(P3dToolTest, UnknownMagicIsIncorrectFormat) {
    const std::string path = Write("unknown.p3d", std::vector<uint8_t>{'b', 'm', 'd', 'l', 0, 0, 0, 0, 0, 0, 0, 0});
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Incorrect Format!\n");
    const JValue doc = ParseOut(run);
    ASSERT_EQ(doc.at("messages").size(), 1u);
    EXPECT_EQ(doc.at("messages").at(0).get<std::string>(), "Incorrect Format!");
    EXPECT_EQ(doc.at("lods").size(), 0u);

    for (const char* mode : {"info", "log"}) {
        const TRun other = Run({mode, path});
        EXPECT_EQ(other.status, 1) << mode;
        EXPECT_EQ(other.err, "Incorrect Format!\n") << mode;
    }
}

TEST_F(P3dToolTest, TruncatedLodBodyGivesPartialModel) {
    const BModel model = CompleteModel();
    vistrel::BModelLayout layout;
    std::vector<uint8_t> bytes = vistrel::BuildModel(model, &layout);
    // LOD 1 ends right after its vertices: its normal count cannot be read
    bytes.resize(layout.lodStart.at(1) + layout.lodLayouts.at(1).normalCount);
    const std::string path = Write("truncated.p3d", bytes);

    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("\"Complete loading of P3d failed!\\nSorry ;)\""), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "Complete loading of P3d failed!\nSorry ;)\n");
    const JValue doc = ParseOut(run);
    ASSERT_EQ(doc.at("messages").size(), 1u);
    EXPECT_EQ(doc.at("messages").at(0).get<std::string>(), "Complete loading of P3d failed!\nSorry ;)");
    ASSERT_EQ(doc.at("lods").size(), 2u);
    EXPECT_EQ(doc.at("lods").at(0).at("vertexes").get<double>(), 4);
    EXPECT_EQ(doc.at("lods").at(0).at("faces").get<double>(), 2);
    EXPECT_EQ(doc.at("lods").at(1).at("vertexes").get<double>(), 4);
    EXPECT_EQ(doc.at("lods").at(1).at("normals").get<double>(), 0);
    EXPECT_EQ(doc.at("lods").at(1).at("faces").get<double>(), 0);
    // the resolution table was never reached
    EXPECT_EQ(doc.at("lods").at(1).at("resolution").get<double>(), 0);
    EXPECT_EQ(doc.at("lods").at(1).at("name").get<std::string>(), "LOD 0.000");
    EXPECT_TRUE(doc.at("geometry_lod").is_null());
    EXPECT_TRUE(doc.at("masses").is_null());
    EXPECT_EQ(doc.at("mass").get<double>(), 0);

    const TRun text = Run({"info", path});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.err, "Complete loading of P3d failed!\nSorry ;)\n");
    EXPECT_NE(text.out.find("stopped part-way"), std::string::npos) << text.out;
}

TEST_F(P3dToolTest, FileEndingInModelDataCannotBeRead) {
    const BModel model = CompleteModel();
    vistrel::BModelLayout layout;
    std::vector<uint8_t> bytes = vistrel::BuildModel(model, &layout);
    bytes.resize(layout.offset2 + 2);
    const TRun run = Run({"info", "--json", Write("cut.p3d", bytes)});
    EXPECT_EQ(run.status, 2);
    const JValue doc = ParseOut(run);
    EXPECT_EQ(Keys(doc), (std::vector<std::string>{"file", "error", "failure"}));
    EXPECT_EQ(doc.at("error").get<std::string>(), "Stream read error");
    EXPECT_NE(run.err.find("Stream read error"), std::string::npos);
    EXPECT_TRUE(doc.at("failure").at("lod").is_null());
    EXPECT_EQ(doc.at("failure").at("offset").get<double>(), layout.offset2);
    EXPECT_EQ(doc.at("failure").at("cause").get<std::string>(), "the file ends 2 bytes into a field of 4 bytes");
    EXPECT_NE(run.err.find("p3dtool: at byte " + std::to_string(layout.offset2) + ": the file ends"), std::string::npos)
        << run.err;
}

// Where a broken LOD breaks, and why: a short read and a refused field, in
// JSON and in the line for people; a complete model has no failure.
TEST_F(P3dToolTest, FailureNamesTheLodTheByteAndTheCause) {
    const BModel model = CompleteModel();
    vistrel::BModelLayout layout;
    const std::vector<uint8_t> whole = vistrel::BuildModel(model, &layout);
    const std::vector<std::string> keys = Keys(ParseOut(Run({"info", "--json", Write("whole.p3d", whole)})));
    EXPECT_EQ(std::count(keys.begin(), keys.end(), "failure"), 0);

    std::vector<uint8_t> cut = whole;
    const std::size_t count = layout.lodStart.at(1) + layout.lodLayouts.at(1).normalCount;
    cut.resize(count + 3);
    const JValue shortRead = ParseOut(Run({"info", "--json", Write("cut.p3d", cut)}));
    EXPECT_EQ(shortRead.at("failure").at("lod").get<double>(), 1);
    EXPECT_EQ(shortRead.at("failure").at("offset").get<double>(), count);
    EXPECT_EQ(shortRead.at("failure").at("cause").get<std::string>(), "the file ends 3 bytes into a field of 4 bytes");

    std::vector<uint8_t> fiveCorners = whole;
    const std::size_t corners = layout.lodStart.at(0) + layout.lodLayouts.at(0).polygons.at(1) + 6;
    fiveCorners[corners] = 5;
    const std::string path = Write("five.p3d", fiveCorners);
    const JValue refused = ParseOut(Run({"info", "--json", path}));
    EXPECT_EQ(refused.at("failure").at("lod").get<double>(), 0);
    EXPECT_EQ(refused.at("failure").at("offset").get<double>(), corners + 1);
    EXPECT_EQ(refused.at("failure").at("cause").get<std::string>(), "face 1 has 5 corners; 3 or 4 are allowed");
    const TRun text = Run({"info", path});
    EXPECT_EQ(text.err, "Error! Invalid number of vertexes in Poly!\n");
    EXPECT_NE(text.out.find("\nFailure: LOD 0 at byte " + std::to_string(corners + 1) +
                            ": face 1 has 5 corners; 3 or 4 are allowed\n"),
              std::string::npos)
        << text.out;
}

TEST_F(P3dToolTest, EightBitNamesBecomeValidUtf8) {
    BModel model;
    BLod lod = PyramidLod(1.0f);
    lod.selections.at(0).name = std::string("caf\xE9 \x01\"\\\x7F\x85\xFF", 11);
    lod.textures = {"t\xE9x\ttab"};
    lod.properties = {{"n\xE4me", "v\nl"}};
    model.lods = {lod};
    const TRun run = Run({"info", "--json", Write("latin1.p3d", model)});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("\"caf\xC3\xA9 \\u0001\\\"\\\\\\u007f\\u0085\xC3\xBF\""), std::string::npos) << run.out;
    const JValue doc = ParseOut(run);  // strict: valid UTF-8, no raw control characters
    EXPECT_EQ(doc.at("lods").at(0).at("selections").at(0).at("name").get<std::string>(),
              "caf\xC3\xA9 \x01\"\\\x7F\xC2\x85\xC3\xBF");
    EXPECT_EQ(doc.at("lods").at(0).at("textures").at(0).get<std::string>(), "t\xC3\xA9x\ttab");
    EXPECT_EQ(doc.at("lods").at(0).at("properties").at(0).get<std::string>(), "n\xC3\xA4me= v\nl");
}

TEST_F(P3dToolTest, PathIsWrittenAsGiven) {
    const std::string path = dir.File("na\xEFve \"q\".p3d");
    vistrel::WriteFile(path, vistrel::BuildModel(CompleteModel()));
    const TRun run = Run({"info", "--json", path});
    EXPECT_EQ(run.status, 0);
    const JValue doc = ParseOut(run);
    std::string expected;
    for (const char c : path) {
        if (static_cast<unsigned char>(c) == 0xEF)
            expected += "\xC3\xAF";
        else
            expected += c;
    }
    EXPECT_EQ(doc.at("file").get<std::string>(), expected);
}

// Names of files and folders, each by itself: UTF-8 as it is, else Latin-1
// (under a folder in UTF-8 that stays so), in info --json, check --json and
// the glTF's root node; the same bytes as a texture name stay 8-bit text.
TEST_F(P3dToolTest, FileNamesAreUtf8AsTheyAreElseLatin1) {
    const struct {
        std::string bytes, path, modelText;
    } names[] = {{"\xC3\xBC", "\xC3\xBC", "\xC3\x83\xC2\xBC"},
                 {"\xE5\x90\x8D", "\xE5\x90\x8D", "\xC3\xA5\xC2\x90\xC2\x8D"},
                 {"\xFC", "\xC3\xBC", "\xC3\xBC"},
                 {"two words", "two words", "two words"},
                 {"R&D", "R&D", "R&D"},
                 {"#7", "#7", "#7"}};
    for (const auto& name : names) {
        SCOPED_TRACE(name.path);
        const std::string folder = dir.File("B\xC3\xA4ume/" + name.bytes), out = dir.File("B\xC3\xA4ume/" + name.path);
        std::filesystem::create_directories(folder + "/data");
        BModel model;
        model.lods = {PyramidLod(1.0f)};
        model.lods[0].textures = {"data\\" + name.bytes + ".paa"};
        Write("B\xC3\xA4ume/" + name.bytes + "/" + name.bytes + ".p3d", model);
        Write("B\xC3\xA4ume/" + name.bytes + "/data/" + name.path + ".paa",
              std::vector<uint8_t>{1});  // where the lookup reads the name
        const JValue info = ParseOut(Run({"info", "--json", folder + "/" + name.bytes + ".p3d"}));
        EXPECT_EQ(info.at("file"), out + "/" + name.path + ".p3d");
        EXPECT_EQ(ParseOut(Run({"info", "--json", folder + "/gone"})).at("error"), "Cannot open file " + out + "/gone");
        const JValue check = ParseOut(Run({"check", "--json", "-", folder}));
        EXPECT_EQ(check.at("tree"), out);
        EXPECT_EQ(check.at("models").at(0).at("path"), name.path + ".p3d");
        EXPECT_EQ(check.at("textures").at(0).at("name"), "data\\" + name.modelText + ".paa");
        EXPECT_EQ(check.at("textures").at(0).at("file"), out + "/data/" + name.path + ".paa");
        ASSERT_EQ(Run({"export", folder + "/" + name.bytes + ".p3d", dir.File("out.glb")}).status, 0);
        EXPECT_EQ(tooltest::ReadGltf(dir.File("out.glb")).model.nodes.at(0).name, name.path);
    }
}

TEST_F(P3dToolTest, LogStartsWithTheReadersLines) {
    BModel model;
    model.lods = {PyramidLod(1.0f)};
    const std::string path = Write("log.p3d", model);
    const TRun run = Run({"log", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(lines.at(0), "******OPEN:" + path);
    EXPECT_EQ(lines.at(1), "Offset: 4");
    EXPECT_EQ(lines.at(2), "reading BMDL....");
    EXPECT_EQ(lines.at(3), "LODCount: 1");
    EXPECT_EQ(lines.at(4), "reading LOD....");
    EXPECT_EQ(lines.at(5), "****************** reading LOD 0***********************");
    EXPECT_EQ(lines.at(6), "Vertex Info Count: 4");
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Name: top"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "0: 1.000e00"), lines.end());
    EXPECT_EQ(run.out.back(), '\n');
}

TEST_F(P3dToolTest, LogShowsMessagesOnStandardError) {
    BModel model;
    model.lods = {PyramidLod(1.0f)};
    // a texture name is read through a 256-byte window, which would fail first
    model.lods.at(0).textures.clear();
    model.lods.at(0).polygons.at(0).texture = -1;
    vistrel::BModelLayout layout;
    std::vector<uint8_t> bytes = vistrel::BuildModel(model, &layout);
    bytes.resize(layout.lodStart.at(0) + layout.lodLayouts.at(0).polygonCount);
    const TRun run = Run({"log", Write("cutlog.p3d", bytes)});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Complete loading of P3d failed!\nSorry ;)\n");
    EXPECT_NE(run.out.find("Link_to_Unique_Count: 4\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("reading LOD types...."), std::string::npos);
}

TEST_F(P3dToolTest, InfoForPeople) {
    const std::string path = Write("people.p3d", CompleteModel());
    const TRun run = Run({"info", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    const std::string& out = run.out;
    for (const char* expected : {"LOD 0: LOD 1.000\n",
                                 "LOD 1: Geometry\n",
                                 "  Vertexes: 4\n",
                                 "  Unique: 4\n",
                                 "  Faces: 2\n",
                                 "  Textures: 1\n",
                                 "  MinPos: ( 0.000; 0.000; 0.000 )\n",
                                 "  MaxPos: ( 2.000; 3.000; 4.000 )\n",
                                 "    data\\stone.paa\n",
                                 "    top\n",
                                 "      Vertexes: 3, Faces: 1\n",
                                 "      Start: ( 0.500; -1.000; 0.000 )\n",
                                 "      End: ( 2.500; -1.000; 4.000 )\n",
                                 "      L/W/H: ( 2.000; 0.000; 4.000 )\n",
                                 "    nothing\n",
                                 "      Start: -\n",
                                 "      End: -\n",
                                 "    class= house\n",
                                 "Geometry LOD: 1 (4 masses)\n",
                                 "Complete Mass: 7.25\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << "missing: " << expected << "\n" << out;
    }
}

TEST_F(P3dToolTest, InfoMassUsesThreeDecimalsAtMost) {
    BModel model;
    model.totalMass = 2.0004f;
    const TRun run = Run({"info", Write("mass.p3d", model)});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Complete Mass: 2\n"), std::string::npos) << run.out;
}

TEST_F(P3dToolTest, BadArguments) {
    const std::string path = Write("ok.p3d", CompleteModel());
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", path},
        {"info"},
        {"info", "--json"},
        {"info", "--yaml", path},
        {"info", path, path},
        {"info", ""},
        {"log", "--json", path},
        {"log"},
    };
    for (const auto& args : cases) {
        const TRun run = Run(args);
        std::string shown;
        for (const auto& a : args) shown += "[" + a + "]";
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.out, "") << shown;
        EXPECT_NE(run.err.find("usage: p3dtool"), std::string::npos) << shown << ": " << run.err;
    }
}

TEST_F(P3dToolTest, OptionsAfterDoubleDashAreOperands) {
    const std::string path = Write("-dash.p3d", CompleteModel());
    const TRun run = Run({"info", "--json", "--", path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(ParseOut(run).at("file").get<std::string>(), path);
}

TEST_F(P3dToolTest, HelpExplainsCommandsAndExitStatus) {
    for (const char* flag : {"--help", "-h"}) {
        const TRun run = Run({flag});
        EXPECT_EQ(run.status, 0) << flag;
        EXPECT_EQ(run.err, "");
        for (const char* expected : {"info [--json] FILE", "log FILE", "Exit status", "  0  ", "  1  ", "  2  "})
            EXPECT_NE(run.out.find(expected), std::string::npos) << flag << " lacks " << expected;
    }
    const TRun info = Run({"info", "--help"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("--json"), std::string::npos);
    const TRun none = Run({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("Exit status"), std::string::npos);
}

}  // namespace
