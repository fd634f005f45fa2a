// p3dtool mlod: one file and whole folder trees converted to the editable
// format, with progress, a summary and the exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "MlodReader.h"
#include "P3dBuilder.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TScratchDir;

namespace {

vistrel::BModel TriangleModel(float resolution = 1.0f) {
    vistrel::BModel m;
    vistrel::BLod lod;
    lod.vertexInfo = {0, 0, 0};
    lod.uv = {{0, 0}, {1, 0}, {0, 1}};
    lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    lod.unique = {0, 1, 2};
    lod.link = {0, 1, 2};
    vistrel::BPolygon p;
    p.corners = {0, 1, 2};
    lod.polygons = {p};
    lod.resolution = resolution;
    m.lods = {lod};
    return m;
}

void WriteText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void WriteModel(const fs::path& path, const vistrel::BModel& model) {
    fs::create_directories(path.parent_path());
    vistrel::WriteFile(path.string(), vistrel::BuildModel(model));
}

}  // namespace

TEST(MlodCommand, ConvertsOneFile) {
    TScratchDir dir;
    const std::string in = dir.File("tank.p3d");
    const std::string out = dir.File("tank_MLOD.p3d");
    vistrel::WriteFile(in, vistrel::BuildModel(TriangleModel(2.0f)));
    const auto run = RunTool(P3DTOOL_EXE, {"mlod", in, out}, dir.Path());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "MLOD saved\n");
    const auto file = vistrel::ReadMlod(vistrel::ReadFileBytes(out));
    ASSERT_EQ(file.lods.size(), 1u);
    EXPECT_EQ(file.lods[0].faces.size(), 1u);
    EXPECT_EQ(file.lods[0].resolution, 2.0f);
}

TEST(MlodCommand, WritesNothingForAPartialOrEditableOrMissingFile) {
    TScratchDir dir;
    const std::string out = dir.File("out.p3d");

    auto bytes = vistrel::BuildModel(TriangleModel());
    bytes.resize(40);  // inside the first LOD body
    const std::string partial = dir.File("partial.p3d");
    vistrel::WriteFile(partial, bytes);
    auto run = RunTool(P3DTOOL_EXE, {"mlod", partial, out}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("Complete loading of P3d failed!"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));

    const std::string editable = dir.File("editable.p3d");
    WriteText(editable, std::string("MLOD\xCD\xCC\x8C\x3F\0\0\0\0", 12));
    run = RunTool(P3DTOOL_EXE, {"mlod", editable, out}, dir.Path());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("already in the editable format"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(out));

    run = RunTool(P3DTOOL_EXE, {"mlod", dir.File("missing.p3d"), out}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Cannot open file " + dir.File("missing.p3d")), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
}

TEST(MlodCommand, UnwritableTargetIsAnError) {
    TScratchDir dir;
    const std::string in = dir.File("tank.p3d");
    vistrel::WriteFile(in, vistrel::BuildModel(TriangleModel()));
    const std::string out = dir.File("no/folder/out.p3d");
    const auto run = RunTool(P3DTOOL_EXE, {"mlod", in, out}, dir.Path());
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("Cannot create file " + out), std::string::npos) << run.err;
}

TEST(MlodCommand, RecursiveConvertsTheTreeAndNeverStops) {
    TScratchDir dir;
    const fs::path in = dir.Path() / "in";
    const fs::path out = dir.Path() / "out";
    WriteModel(in / "a" / "b" / "TANK.P3D", TriangleModel(1));
    WriteModel(in / "car.p3d", TriangleModel(2));
    WriteText(in / "edit.p3d", std::string("MLOD\xCD\xCC\x8C\x3F\0\0\0\0", 12));
    WriteText(in / "a" / "junk.p3d", "not a model");
    auto broken = vistrel::BuildModel(TriangleModel());
    broken.resize(50);
    vistrel::WriteFile((in / "a" / "broken.p3d").string(), broken);
    WriteText(in / "notes.txt", "BMDL is not enough");

    const auto run = RunTool(P3DTOOL_EXE, {"mlod", "--recursive", in.string(), out.string()}, dir.Path());
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    // one progress line per model file, in order
    EXPECT_NE(run.out.find("[1/5] a/b/TANK.P3D: converted"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("a/broken.p3d: failed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("a/junk.p3d: failed, not a binarized model"), std::string::npos);
    EXPECT_NE(run.out.find("car.p3d: converted"), std::string::npos);
    EXPECT_NE(run.out.find("[5/5] edit.p3d: skipped, already editable"), std::string::npos);
    EXPECT_EQ(run.out.find("notes.txt"), std::string::npos);
    EXPECT_NE(run.out.find("2 converted, 1 skipped as already editable, 2 failed"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  a/broken.p3d: not read completely, nothing written "
                           "(Complete loading of P3d failed! Sorry ;))"),
              std::string::npos)
        << run.out;

    EXPECT_EQ(vistrel::ReadMlod(vistrel::ReadFileBytes((out / "a" / "b" / "TANK.P3D").string())).lods[0].resolution,
              1.0f);
    EXPECT_EQ(vistrel::ReadMlod(vistrel::ReadFileBytes((out / "car.p3d").string())).lods[0].resolution, 2.0f);
    EXPECT_FALSE(fs::exists(out / "edit.p3d"));
    EXPECT_FALSE(fs::exists(out / "a" / "broken.p3d"));
    EXPECT_FALSE(fs::exists(out / "a" / "junk.p3d"));
}

TEST(MlodCommand, RecursiveWithEverythingFineExitsZero) {
    TScratchDir dir;
    const fs::path in = dir.Path() / "in";
    WriteModel(in / "x.p3d", TriangleModel());
    const auto run = RunTool(P3DTOOL_EXE, {"mlod", "-r", in.string(), (dir.Path() / "o").string()}, dir.Path());
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("1 converted, 0 skipped as already editable, 0 failed"), std::string::npos);
}

TEST(MlodCommand, BadArguments) {
    TScratchDir dir;
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"mlod", "one"}, dir.Path()).status, 2);
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"mlod", "--bogus", "a", "b"}, dir.Path()).status, 2);
    EXPECT_EQ(RunTool(P3DTOOL_EXE, {"mlod", "-r", dir.File("none"), dir.File("o")}, dir.Path()).status, 2);
}
