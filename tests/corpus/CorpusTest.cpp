// Every command on every model of the corpus of real-shaped models: the
// exit statuses the commands document, what they write read back, and glTF
// files checked by tinygltf's loader (per LOD node the triangles of that
// LOD's faces, a quad counting two, and every primitive under its LOD's
// node), the other formats by readers other than their writer's.
#include <gtest/gtest.h>

#include <QImage>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Corpus.h"
#include "EditableRecord.h"
#include "FormatReadBack.h"
#include "GltfReadBack.h"
#include "P3dmodell.h"
#include "ToolRunner.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::TRun;
using tooltest::TScratchDir;

namespace {

const fs::path kCorpus = VISTREL_CORPUS_DIR;
const std::string kData = (kCorpus / "data").string();

struct TCase {
    std::string name;
    std::string file;
    std::vector<std::size_t> triangles;  // per LOD
};

const std::vector<TCase>& Cases() {
    static const std::vector<TCase> cases = [] {
        std::vector<TCase> out;
        for (const vistrel::TCorpusModel& m : vistrel::CorpusModels()) {
            TCase c{m.name, (kCorpus / m.file).string(), {}};
            for (const vistrel::BLod& lod : m.model.lods) {
                std::size_t n = 0;
                for (const vistrel::BPolygon& p : lod.polygons) n += p.corners.size() == 4 ? 2 : 1;
                c.triangles.push_back(n);
            }
            out.push_back(std::move(c));
        }
        return out;
    }();
    return cases;
}

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

std::string Say(const TRun& run) { return "status " + std::to_string(run.status) + "\n" + run.err; }

// The editable file that the editable record of a .glb (docs/gltf-extras.md)
// makes, written here from the record's columns alone.
struct TRecordIn {
    std::vector<uint8_t> b;
    std::size_t at = 4;
    const uint8_t* Take(std::size_t n) {
        if (n > b.size() - at) throw std::out_of_range("record too short");
        return b.data() + (at += n) - n;
    }
    static uint32_t U32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }
    uint32_t U() { return U32(Take(4)); }
    std::vector<std::string> Texts(uint32_t n) {
        std::vector<std::string> texts;
        for (uint32_t k = 0, size = 0; k < n; ++k)
            size = U(), texts.emplace_back(reinterpret_cast<const char*>(Take(size)), size);
        return texts;
    }
};

std::string MlodFromRecord(const tinygltf::Model& g) {
    const auto& view = g.bufferViews.at(std::size_t(g.nodes.at(0).extras.Get("editable").Get("bufferView").Get<int>()));
    std::string error;
    TRecordIn r{vistrel::exporting::UnpackRecord(g.buffers.at(0).data.data() + view.byteOffset, view.byteLength,
                                                 1u << 26, error)};
    if (r.b.empty()) return error;
    std::string m = "MLOD";
    auto u32 = [&](uint32_t v) { m.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); };
    auto field = [&](std::string t, std::size_t w) { t.resize(w - 1), m += t + '\0'; };
    u32(0x3F8CCCCD), u32(r.U());
    for (uint32_t lods = r.U32(r.b.data() + 4); lods--;) {
        const uint32_t resolution = r.U(), p = r.U(), f = r.U(), nt = r.U(), ns = r.U(), nq = r.U(), masses = r.U();
        const std::vector<std::string> textures = r.Texts(nt), selections = r.Texts(ns), properties = r.Texts(nq);
        const uint8_t *xyz = r.Take(12 * p), *flags = r.Take(4 * p), *normals = r.Take(12 * p);
        const uint8_t *counts = r.Take(4 * f), *faceFlags = r.Take(4 * f), *texture = r.Take(2 * f);
        std::size_t corners = 0;
        for (uint32_t i = 0; i < f; ++i) corners += r.U32(counts + 4 * i) == 4 ? 4 : 3;
        const uint8_t *points = r.Take(2 * corners), *uvs = r.Take(8 * corners);
        m += "SP3X";
        for (const uint32_t v : {28u, 153u, p, p, f, 0u}) u32(v);
        for (uint32_t k = 0; k < p; ++k)
            m.append(reinterpret_cast<const char*>(xyz) + 12 * k, 12), u32(r.U32(flags + 4 * k));
        m.append(reinterpret_cast<const char*>(normals), 12 * p);
        for (uint32_t i = 0, c = 0, n = 0; i < f; ++i, c += n) {
            const uint16_t t = uint16_t(texture[2 * i] | texture[2 * i + 1] << 8);
            n = r.U32(counts + 4 * i), field(t < nt ? textures[t] : "", 32), u32(n), n = n == 4 ? 4 : 3;
            for (uint32_t k = c; k < c + n; ++k)
                u32(points[2 * k] | points[2 * k + 1] << 8), u32(points[2 * k] | points[2 * k + 1] << 8),
                    m.append(reinterpret_cast<const char*>(uvs) + 8 * k, 8);
            m.append(n == 3 ? 16 : 0, '\0'), u32(r.U32(faceFlags + 4 * i));
        }
        m += "TAGG";
        for (const std::string& name : selections) {
            field(name, 64), u32(p + f);
            const uint8_t* bits = r.Take((p + 7) / 8 + (f + 7) / 8);
            for (uint32_t k = 0; k < p; ++k) m += char(bits[k / 8] >> k % 8 & 1);
            for (uint32_t k = 0; k < f; ++k) m += char(bits[(p + 7) / 8 + k / 8] >> k % 8 & 1);
        }
        for (const std::string& line : properties) {
            const std::size_t eq = line.find('=');
            field("#Property#", 64), u32(128), field(line.substr(0, eq), 64);
            field(eq == std::string::npos || eq + 1 >= line.size() ? "" : line.substr(eq + 2), 64);
        }
        if (masses) field("#Mass#", 64), u32(4 * p), m.append(reinterpret_cast<const char*>(r.Take(4 * p)), 4 * p);
        field("#EndOfFile#", 64), u32(0), u32(resolution);
    }
    return r.at == r.b.size() ? m : "record too long";
}

}  // namespace

TEST(Corpus, InfoJsonLogAndMlodReadBack) {
    ASSERT_EQ(Cases().size(), 6u);
    TScratchDir dir;
    for (const TCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const TRun info = RunTool(P3DTOOL_EXE, {"info", c.file}, dir.Path());
        EXPECT_EQ(info.status, 0) << Say(info);
        EXPECT_NE(info.out.find("read completely"), std::string::npos) << info.out;

        const TRun json = RunTool(P3DTOOL_EXE, {"info", "--json", c.file}, dir.Path());
        ASSERT_EQ(json.status, 0) << Say(json);
        const nlohmann::json doc = nlohmann::json::parse(json.out);  // throws on anything but one strict JSON value
        EXPECT_EQ(doc.at("lods").size(), c.triangles.size());

        const TRun log = RunTool(P3DTOOL_EXE, {"log", c.file}, dir.Path());
        EXPECT_EQ(log.status, 0) << Say(log);
        EXPECT_NE(log.out.find("************************* /End of Lod *************************"), std::string::npos);

        const std::string mlod = dir.File(c.name + "_MLOD.p3d");
        const TRun write = RunTool(P3DTOOL_EXE, {"mlod", c.file, mlod}, dir.Path());
        ASSERT_EQ(write.status, 0) << Say(write);
        const vistrel::TP3dModell back(mlod), original(c.file);
        EXPECT_TRUE(back.Complete());
        ASSERT_EQ(static_cast<std::size_t>(back.LODs.Count()), c.triangles.size());
        for (std::size_t l = 0; l < c.triangles.size(); ++l) {
            std::size_t triangles = 0;
            for (const vistrel::APolygon* p : back.LODs[l]->Polygons) triangles += p->VertexCount == 4 ? 2 : 1;
            EXPECT_EQ(triangles, c.triangles[l]) << "LOD " << l;
            // the textures the faces name in order of first use, "" for the untextured: as many as the
            // binarized LOD lists (the corpus lists the empty name where faces are untextured)
            const std::vector<std::string>& listed = original.LODs[l]->Textures;
            std::vector<std::string> used;
            for (const vistrel::APolygon* p : original.LODs[l]->Polygons)
                if (const auto name = p->TextureIndex < 0 ? "" : listed.at(std::size_t(p->TextureIndex));
                    std::ranges::find(used, name) == used.end())
                    used.push_back(name);
            EXPECT_EQ(back.LODs[l]->Textures, used) << "LOD " << l;
            EXPECT_EQ(back.LODs[l]->Textures.size(), listed.size()) << "LOD " << l;
        }
    }
}

// Every LOD to .glb and .gltf: one line for the missing textures at most
// (and for the largest model's box of UVs that are not numbers, kept, one
// line more), and read back, each LOD node holds its LOD's triangles.
TEST(Corpus, GltfHoldsEveryLodsTrianglesInItsNode) {
    TScratchDir dir;
    for (const TCase& c : Cases()) {
        for (const char* extension : {".glb", ".gltf"}) {
            SCOPED_TRACE(c.name + extension);
            const std::string out = dir.File(c.name + extension);
            const TRun run =
                RunTool(P3DTOOL_EXE, {"export", "--all-lods", "--editable", "--data", kData, c.file, out}, dir.Path());
            ASSERT_EQ(run.status, 0) << Say(run);
            const bool box = c.name == "large";
            const auto warning = run.err.find("\nwarning: 6 faces with UVs that are not numbers: UVs set to 0\n");
            EXPECT_EQ(warning != std::string::npos, box) << run.err;
            EXPECT_LE(Lines(run.err), box ? 2u : 1u) << run.err;
            const tooltest::TGltfReadBack back = tooltest::ReadGltf(out);
            ASSERT_EQ(back.error, "");
            ASSERT_EQ(back.lods.size(), c.triangles.size());
            for (std::size_t l = 0; l < c.triangles.size(); ++l) EXPECT_EQ(back.lods[l].triangles, c.triangles[l]) << l;
            // the editable file whole from the record, for at most 15 % more
            const TRun mlod = RunTool(P3DTOOL_EXE, {"mlod", c.file, out + ".p3d"}, dir.Path());
            ASSERT_EQ(mlod.status, 0) << Say(mlod);
            EXPECT_TRUE(MlodFromRecord(back.model) == tooltest::ReadAll(out + ".p3d"));
            // and the importer makes that file of it
            const TRun imported = RunTool(P3DTOOL_EXE, {"import", out, out + ".imported.p3d"}, dir.Path());
            EXPECT_EQ(imported.status, 0) << Say(imported);
            EXPECT_TRUE(tooltest::ReadAll(out + ".imported.p3d") == tooltest::ReadAll(out + ".p3d"));
            if (c.name == "middle" && std::string(extension) == ".glb") {  // as the first files held it
                std::string old = tooltest::ReadAll(out), error;
                const uint32_t json = *reinterpret_cast<const uint32_t*>(old.data() + 12);
                const auto& view = back.model.bufferViews.back();
                const auto* bytes = reinterpret_cast<const uint8_t*>(old.data()) + 28 + json + view.byteOffset;
                const auto size =
                    uint32_t(vistrel::exporting::UnpackRecord(bytes, view.byteLength, 1u << 26, error).size());
                old.replace(28 + json + view.byteOffset, 4, reinterpret_cast<const char*>(&size), 4);
                std::ofstream(out + ".old.glb", std::ios::binary) << old;
                EXPECT_EQ(RunTool(P3DTOOL_EXE, {"import", out + ".old.glb", out + ".old.p3d"}, dir.Path()).err, "");
                EXPECT_TRUE(tooltest::ReadAll(out + ".old.p3d") == tooltest::ReadAll(out + ".p3d"));
            }
            if (c.name == "large" && std::string(extension) == ".glb") {  // in parts, each with its CRC
                std::string damaged = tooltest::ReadAll(out);
                const uint32_t json = *reinterpret_cast<const uint32_t*>(damaged.data() + 12);
                damaged[28 + json + back.model.bufferViews.back().byteOffset + 14] ^= 1;  // the first part's
                std::ofstream(out + ".damaged.glb", std::ios::binary) << damaged;
                const TRun warned = RunTool(P3DTOOL_EXE, {"import", out + ".damaged.glb", out + ".m.p3d"}, dir.Path());
                EXPECT_NE(warned.err.find(": the editable record does not unpack: the meshes are imported instead\n"),
                          std::string::npos)
                    << Say(warned);
            }
            if (std::string(extension) != ".glb") continue;  // base64 in a .gltf costs a third more
            tinygltf::Model without = back.model, whole = back.model;
            without.nodes[0].extras =
                tinygltf::Value(tinygltf::Value::Object{{"mass", without.nodes[0].extras.Get("mass")}});
            without.buffers[0].data.resize(without.bufferViews.back().byteOffset);
            without.bufferViews.pop_back();
            std::ostringstream with, old;
            tinygltf::TinyGLTF writer;
            writer.SetImageWriter(nullptr, nullptr);
            writer.WriteGltfSceneToStream(&whole, with, false, true);
            writer.WriteGltfSceneToStream(&without, old, false, true);
            EXPECT_LE(double(with.str().size()), 1.15 * double(old.str().size())) << old.str().size();
        }
    }
}

// Every format offered, and no other: each export of every LOD, read back by
// a reader other than its writer's library where one is at hand, holds
// every triangle.
TEST(Corpus, EveryOfferedFormatReadsBackWithEveryTriangle) {
    const std::vector<std::pair<std::string, std::string>> formats = {
        {"glb2", ".glb"}, {"gltf2", ".gltf"}, {"collada", ".dae"}, {"obj", ".obj"},  {"objnomtl", ".obj"},
        {"stl", ".stl"},  {"stlb", ".stl"},   {"ply", ".ply"},     {"plyb", ".ply"},
    };
    TScratchDir dir;
    const TRun listed = RunTool(P3DTOOL_EXE, {"export", "--formats"}, dir.Path());
    ASSERT_EQ(listed.status, 0);
    std::istringstream lines(listed.out);
    std::vector<std::pair<std::string, std::string>> offered;
    for (std::string id, extension, rest; lines >> id >> extension && std::getline(lines, rest);)
        offered.emplace_back(id, extension);
    EXPECT_EQ(offered, formats);
    for (const TCase& c : Cases()) {
        std::size_t triangles = 0;
        for (std::size_t n : c.triangles) triangles += n;
        for (const auto& [id, extension] : formats) {
            SCOPED_TRACE(c.name + " " + id);
            fs::create_directories(dir.Path() / id);
            const fs::path out = dir.Path() / id / (c.name + extension);
            const TRun run =
                RunTool(P3DTOOL_EXE, {"export", "--all-lods", "--format", id, "--data", kData, c.file, out.string()},
                        dir.Path());
            ASSERT_EQ(run.status, 0) << Say(run);
            const tooltest::TReadBack back = tooltest::ReadExport(id, out.string());
            EXPECT_EQ(back.error, "");
            EXPECT_EQ(back.triangles, triangles);
        }
    }
}

// A picture of every model, in the window's way and as a thumbnail: written,
// never empty (the flat model's faces look away from the thumbnail's view).
TEST(Corpus, ScreenshotsAndThumbnailsShowEveryModel) {
    TScratchDir dir;
    for (const TCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const std::string shot = dir.File(c.name + ".png");
        const TRun run = RunTool(VISTREL_EXECUTABLE,
                                 {"--screenshot", shot, "--size", "160x120", "--data", kData, c.file}, dir.Path());
        EXPECT_EQ(run.status, 0) << Say(run);
        EXPECT_LE(Lines(run.err), 1u) << run.err;
        EXPECT_EQ(QImage(QString::fromStdString(shot)).size(), QSize(160, 120));

        const std::string thumb = dir.File(c.name + "_thumb.png");
        const TRun thumbnail = RunTool(VISTREL_THUMBNAILER, {"-s", "64", c.file, thumb}, dir.Path());
        EXPECT_EQ(thumbnail.status, 0) << Say(thumbnail);
        const QImage picture(QString::fromStdString(thumb));
        ASSERT_EQ(picture.size(), QSize(64, 64));
        int covered = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) covered += qAlpha(picture.pixel(x, y)) > 0;
        EXPECT_GT(covered, 64 * 64 / 20) << "an empty thumbnail";
    }
}

// --data that is no folder stops every program that takes it: what and
// where on the first line of standard error, status 2, nothing written.
TEST(Corpus, DataThatIsNoFolderStopsEveryProgram) {
    TScratchDir dir;
    const std::string model = Cases().front().file, out = dir.File("out");
    vistrel::WriteFile(dir.File("file"), {1});
    fs::create_symlink("loop", dir.Path() / "loop");
    for (const auto& [data, problem] : {std::pair{dir.File("gone"), "no such folder"},
                                        {dir.File("file"), "not a folder"},
                                        {dir.File("loop"), "Too many levels of symbolic links"}})
        for (const std::vector<std::string>& run :
             {std::vector<std::string>{P3DTOOL_EXE, "p3dtool: check: ", "check", kCorpus.string(), "--json", out},
              {P3DTOOL_EXE, "p3dtool: export: ", "export", model, out + ".glb"},
              {P3DTOOL_EXE, "p3dtool: export: ", "export", "-r", kCorpus.string(), out},
              {VISTREL_EXECUTABLE, "vistrel: ", "--screenshot", out, model},
              {VISTREL_THUMBNAILER, "vistrel-thumbnailer: ", "-s", "64", model, out}}) {
            std::vector<std::string> args(run.begin() + 2, run.end());
            args.insert(args.end(), {"--data", data});
            const TRun result = RunTool(run[0], args, dir.Path());
            EXPECT_EQ(result.status, 2) << run[2];
            EXPECT_EQ(result.err.substr(0, result.err.find('\n')), run[1] + "--data " + data + ": " + problem);
            EXPECT_FALSE(fs::exists(out) || fs::exists(out + ".glb")) << run[2];
        }
}
