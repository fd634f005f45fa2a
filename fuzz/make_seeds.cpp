// Writes the seed corpus of the model reader's fuzz target: a few dozen small,
// well-formed (and a few deliberately broken) model files that between them
// reach every field of the file, every array on both sides of its compression
// threshold, and every way the model-wide masses are taken or not.
//
// Usage: make_seeds OUTPUT_DIR
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MlodReader.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"

using namespace vistrel;

namespace {

// A w x h grid of vertices over the XZ plane with a gentle bump, its UVs,
// normals, tables and quads (or triangles) as a binarizer would write them.
BLod Grid(int w, int h, bool triangles = false) {
    BLod lod;
    const int n = w * h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            const float height = 0.25f * std::sin(fx * 0.4f) * std::cos(fy * 0.3f);
            lod.vertices.push_back({fx * 0.1f, height, fy * 0.1f});
            lod.normals.push_back({0.0f, 1.0f, 0.0f});
            lod.uv.push_back({fx / static_cast<float>(w > 1 ? w - 1 : 1), fy / static_cast<float>(h > 1 ? h - 1 : 1)});
            // hint bits as they typically come: a few flags in the high bits
            lod.vertexInfo.push_back(((x == 0 || y == 0) ? 0x02000000u : 0u) | 0x00000100u);
        }
    for (int k = 0; k < n; ++k) {
        lod.unique.push_back(static_cast<int16_t>(k));
        lod.link.push_back(static_cast<int16_t>(k));
    }
    for (int y = 0; y + 1 < h; ++y)
        for (int x = 0; x + 1 < w; ++x) {
            const auto a = static_cast<int16_t>(y * w + x);
            const auto b = static_cast<int16_t>(a + 1);
            const auto c = static_cast<int16_t>(a + w + 1);
            const auto d = static_cast<int16_t>(a + w);
            if (triangles) {
                lod.polygons.push_back({0, 0, {a, b, c}, {}});
                lod.polygons.push_back({0, 0, {a, c, d}, {}});
            } else {
                lod.polygons.push_back({0, 0, {a, b, c, d}, {}});
            }
        }
    lod.minPos = {0.0f, -0.25f, 0.0f};
    lod.maxPos = {(w - 1) * 0.1f, 0.25f, (h - 1) * 0.1f};
    lod.textures.push_back("data\\grid_co.paa");
    return lod;
}

// Points shared between vertices: every second vertex is a copy of the one
// before it, as on a hard edge.
void ShareEveryOther(BLod& lod) {
    lod.unique.clear();
    lod.link.clear();
    for (std::size_t k = 0; k < lod.vertices.size(); ++k) {
        if (k % 2 == 0) lod.unique.push_back(static_cast<int16_t>(k));
        lod.link.push_back(static_cast<int16_t>(lod.unique.size() - 1));
    }
}

std::vector<uint16_t> Range(int from, int to) {
    std::vector<uint16_t> r;
    for (int k = from; k < to; ++k) r.push_back(static_cast<uint16_t>(k));
    return r;
}

BModel OneLod(BLod lod) {
    BModel m;
    m.headerValue = 0x101;
    m.lods.push_back(std::move(lod));
    m.offset1 = {0.5f, 1.5f, -2.0f};
    m.offset2 = {1.0f, 2.0f, 3.0f};
    m.offset3 = {0.0f, 0.25f, 0.0f};
    m.bboxMin = {-1, -1, -1};
    m.bboxMax = {1, 1, 1};
    m.totalMass = 125.5f;
    return m;
}

// A geometry LOD with points shared and a mass per point.
BModel Geometry(int w, int h) {
    BLod lod = Grid(w, h);
    ShareEveryOther(lod);
    lod.resolution = kBuilderGeometryResolution;
    lod.textures.clear();
    for (auto& p : lod.polygons) p.texture = -1;
    lod.selections.push_back({"Component01",
                              Range(0, static_cast<int>(lod.polygons.size())),
                              {},
                              {},
                              Range(0, static_cast<int>(lod.vertices.size())),
                              {},
                              {},
                              {}});
    lod.properties = {{"class", "house"}, {"map", "building"}, {"damage", "tree"}};
    BModel m = OneLod(std::move(lod));
    const int points = m.lods[0].UniqueCount();
    for (int k = 0; k < points; ++k) m.masses.push_back(10.0f + static_cast<float>(k % 7));
    m.totalMass = 0;
    for (float f : m.masses) m.totalMass += f;
    return m;
}

int written = 0;

// How the reader takes a seed, printed beside its name so that a seed that no
// longer reaches what it was made for shows at once.
std::string Outcome(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string messages;
    try {
        TP3dModell m(name, bytes, {}, [&](const std::string& text) {
            messages += messages.empty() ? "" : " / ";
            for (char c : text) messages += c == '\n' ? ' ' : c;
        });
        std::string r = m.Complete() ? "complete" : "stopped";
        r += ", " + std::to_string(m.LODs.Count()) + " LODs";
        if (m.GeometryLOD) r += ", masses " + std::to_string(m.Masses.size());
        if (!messages.empty()) r += ": " + messages;
        return r;
    } catch (const EP3dError& e) {
        return std::string("raised: ") + e.what();
    }
}

void Write(const std::filesystem::path& dir, const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFile((dir / (name + ".p3d")).string(), bytes);
    std::printf("  %-28s %6zu bytes  %s\n", name.c_str(), bytes.size(), Outcome(name, bytes).c_str());
    ++written;
}

// Seeds of fuzz_editable: files without their magic, which the target puts
// in front. Each binarized seed that reads completely is written in the
// editable format too, once as our writer writes it and once as the
// editor's own files are (version 257, one normal more than points, a tag of
// another kind first).
std::filesystem::path editableDir;

void WriteEditable(const std::string& name, const std::vector<uint8_t>& mlod) {
    WriteFile((editableDir / (name + ".mlod")).string(), std::vector<uint8_t>(mlod.begin() + 4, mlod.end()));
    ++written;
}

void WriteEditableForms(const std::string& name, const std::vector<uint8_t>& binarized) {
    try {
        TP3dModell model(name, binarized);
        if (!model.Complete()) return;
        const std::string path = (editableDir / (name + ".tmp")).string();
        if (!model.WriteMLOD(path)) return;
        const std::vector<uint8_t> mlod = ReadFileBytes(path);
        std::filesystem::remove(path);
        WriteEditable(name, mlod);
        MFile file = ReadMlod(mlod);
        file.version = 0x101;
        for (MLod& lod : file.lods) {
            lod.normals.push_back({0, 0, 1});
            lod.normalCount = static_cast<int32_t>(lod.normals.size());
            MTag sharp;
            sharp.name = "#SharpEdges#";
            sharp.data = {0, 0, 0, 0, 1, 0, 0, 0};
            sharp.length = static_cast<uint32_t>(sharp.data.size());
            lod.tags.insert(lod.tags.begin(), sharp);
        }
        WriteEditable(name + "_editor", BuildMlod(file));
    } catch (const std::exception&) {
    }
}

void Write(const std::filesystem::path& dir, const std::string& name, const BModel& m) {
    const std::vector<uint8_t> bytes = BuildModel(m);
    Write(dir, name, bytes);
    if (!editableDir.empty()) WriteEditableForms(name, bytes);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [EDITABLE_OUTPUT_DIR]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path dir = argv[1];
    std::filesystem::create_directories(dir);
    if (argc == 3) {
        editableDir = argv[2];
        std::filesystem::create_directories(editableDir);
    }

    // a model without LODs, and one with an empty LOD (every count 0)
    {
        BModel m;
        Write(dir, "no_lods", m);
        Write(dir, "empty_lod", OneLod(BLod{}));
    }

    // one triangle, one quad
    {
        BLod lod;
        lod.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        lod.normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
        lod.uv = {{0, 0}, {1, 0}, {0, 1}};
        lod.vertexInfo = {0, 0, 0};
        lod.unique = {0, 1, 2};
        lod.link = {0, 1, 2};
        lod.polygons.push_back({0x10000020u, -1, {0, 1, 2}, {}});
        lod.maxPos = {1, 1, 0};
        Write(dir, "one_triangle", OneLod(lod));

        lod.vertices.push_back({1, 1, 0});
        lod.normals.push_back({0, 0, 1});
        lod.uv.push_back({1, 1});
        lod.vertexInfo.push_back(0);
        lod.unique.push_back(3);
        lod.link.push_back(3);
        lod.polygons[0] = {0x0FFE00F0u, 0, {0, 1, 3, 2}, {}};
        lod.textures = {"ca\\data\\quad_co.paa", ""};
        Write(dir, "one_quad", OneLod(lod));
    }

    // small meshes of quads and of triangles, every array raw
    Write(dir, "quads_raw", OneLod(Grid(6, 5)));
    Write(dir, "triangles_raw", OneLod(Grid(5, 5, true)));

    // arrays just below and at their thresholds: vertex info 255/256 (4 bytes),
    // UV 127/128 (8 bytes), unique and link tables 511/512 (2 bytes)
    {
        BLod below = Grid(1, 1);
        below.vertexInfo.assign(255, 0x00000100u);
        below.uv.assign(127, BUV{0.5f, 0.25f});
        below.unique = std::vector<int16_t>(511, 0);
        below.link = std::vector<int16_t>(511, 0);
        Write(dir, "thresholds_below", OneLod(below));

        BLod at = Grid(1, 1);
        at.vertexInfo.assign(256, 0x00000100u);
        at.uv.assign(128, BUV{0.5f, 0.25f});
        at.unique = std::vector<int16_t>(512, 0);
        at.link = std::vector<int16_t>(512, 0);
        Write(dir, "thresholds_at", OneLod(at));
    }

    // a mesh big enough that every per-vertex array is compressed
    Write(dir, "mesh_compressed", OneLod(Grid(24, 24)));

    // selections: face and vertex indices raw and compressed (511/512), the
    // dropped entry arrays on both sides (255/256 and 1023/1024), a vertex
    // listed twice, an empty selection
    {
        BLod lod = Grid(24, 24, true);  // 1058 triangles, 576 vertices
        const int nf = static_cast<int>(lod.polygons.size());
        lod.selections.push_back({"raw",
                                  Range(0, 511),
                                  std::vector<uint32_t>(255, 7),
                                  std::vector<uint32_t>(255, 9),
                                  Range(0, 511),
                                  std::vector<uint8_t>(1023, 1),
                                  {},
                                  {}});
        lod.selections.push_back({"compressed",
                                  Range(0, 600),
                                  std::vector<uint32_t>(256, 7),
                                  std::vector<uint32_t>(256, 9),
                                  Range(0, 512),
                                  std::vector<uint8_t>(1024, 1),
                                  {},
                                  {}});
        lod.selections.push_back({"twice", {0, 0, static_cast<uint16_t>(nf - 1)}, {}, {}, {3, 3, 575}, {}, {}, {}});
        lod.selections.push_back({"", {}, {}, {}, {}, {}, {}, {}});
        Write(dir, "selections", OneLod(lod));
    }

    // named properties, property records, trailing entries, proxies
    {
        BLod lod = Grid(3, 3);
        lod.propertyRecords = 3;
        lod.properties = {{"abc", "x"}, {"empty", ""}, {"autocenter", "0"}};
        lod.trailing.push_back({0x11223344u, {{1, 2, 3}, {4, 5, 6}}});
        lod.trailing.push_back({0, {}});
        BProxy proxy;
        proxy.name = "proxy:\\ca\\weapons\\ak74.01";
        for (std::size_t k = 0; k < proxy.data.size(); ++k) proxy.data[k] = uint8_t(k);
        lod.proxies.push_back(proxy);
        lod.proxies.push_back(BProxy{});
        Write(dir, "extras", OneLod(lod));
    }

    // a texture name of 255 characters
    {
        BLod lod = Grid(2, 2);
        lod.textures = {std::string(255, 't'), "b.paa"};
        Write(dir, "long_texture", OneLod(lod));
    }

    // geometry LODs: masses raw (200 points), compressed (300 points), a count
    // that does not match, two geometry LODs
    {
        BModel raw = Geometry(20, 20);  // 400 vertices, 200 points
        Write(dir, "geometry_masses_raw", raw);

        BModel packed = Geometry(30, 20);  // 600 vertices, 300 points
        Write(dir, "geometry_masses_compressed", packed);

        BModel mismatch = Geometry(10, 10);
        mismatch.massCountOverride = static_cast<int32_t>(mismatch.masses.size()) + 1;
        Write(dir, "geometry_mass_mismatch", mismatch);

        BModel two = Geometry(4, 4);
        BLod first = two.lods[0];
        first.vertices[0] = {-1.0f, -1.0f, -1.0f};
        two.lods.insert(two.lods.begin(), first);
        Write(dir, "geometry_twice", two);
    }

    // several LODs as a real model has them: resolutions, memory, geometry
    {
        BModel m = Geometry(8, 8);
        BLod lod0 = Grid(10, 10);
        lod0.resolution = 1.0f;
        BLod lod1 = Grid(5, 5, true);
        lod1.resolution = 2.5f;
        BLod memory = Grid(2, 2);
        memory.resolution = kBuilderMemoryResolution;
        memory.polygons.clear();
        memory.selections.push_back({"gunnerview", {}, {}, {}, {0}, {}, {}, {}});
        m.lods.insert(m.lods.begin(), {lod0, lod1, memory});
        Write(dir, "model_lods", m);
    }

    // broken on purpose: a polygon of 5 corners, a bad checksum, a selection
    // index outside its list, a negative count, the editable magic, a bad magic
    {
        BLod lod = Grid(3, 3);
        lod.polygons[1].corners.push_back(0);
        Write(dir, "bad_corner_count", OneLod(lod));

        BModel m = OneLod(Grid(24, 24));
        BModelLayout ml;
        std::vector<uint8_t> bytes = BuildModel(m, &ml);
        // the vertex info block's checksum is the 4 bytes before the UV count
        const std::size_t uvCountAt = ml.lodStart[0] + ml.lodLayouts[0].uvCount;
        bytes[uvCountAt - 1] ^= 0x40;
        Write(dir, "bad_checksum", bytes);

        BLod sel = Grid(3, 3);
        sel.selections.push_back({"out", {0, 99}, {}, {}, {}, {}, {}, {}});
        Write(dir, "selection_outside", OneLod(sel));

        BLod neg = Grid(2, 2);
        neg.selectionCountOverride = -1;
        Write(dir, "negative_count", OneLod(neg));

        std::vector<uint8_t> mlod = {'M', 'L', 'O', 'D', 1, 1, 0, 0};
        Write(dir, "editable_magic", mlod);
        std::vector<uint8_t> lower = BuildModel(OneLod(Grid(2, 2)));
        std::memcpy(lower.data(), "bmdl", 4);
        Write(dir, "lower_magic", lower);
    }

    std::printf("make_seeds: %d files in %s\n", written, dir.string().c_str());
    return 0;
}
