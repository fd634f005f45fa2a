// The editable-format writer: byte layouts, point flags, corner orders, tags,
// the texts cut to fit, the refused saves and the atomic replacement.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MlodReader.h"
#include "P3dBuilder.h"
#include "P3dmodell.h"

namespace fs = std::filesystem;
using namespace vistrel;

namespace {

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "vistrel-mlod-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        path_ = ::mkdtemp(buf.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::size_t Entries() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), {})); }

private:
    fs::path path_;
};

struct Recorder {
    std::vector<std::string> messages;
    TMessageEvent Sink() {
        return [this](const std::string& m) { messages.push_back(m); };
    }
};

// A LOD made in memory: P points, one vertex per point unless told otherwise.
TP3dLOD* AddLod(TP3dModell& model, int points, float resolution = 1.0f) {
    auto* lod = new TP3dLOD();
    lod->Resolution = resolution;
    for (int k = 0; k < points; ++k) {
        auto* v = new AVertex{float(k), float(k) * 2, float(k) * 3, 0};
        lod->Vertexes.Add(v);
        lod->Normals.Add(new ANormal{0, float(k), 1});
        lod->VertexInfo.push_back(0);
        lod->UniqueVertexes.Items.push_back(int16_t(k));
        lod->LinkToUnique.Items.push_back(int16_t(k));
    }
    lod->UniqueVertexes.Count = points;
    lod->LinkToUnique.Count = points;
    model.LODs.Add(lod);
    return lod;
}

APolygon* AddFace(TP3dLOD& lod, std::vector<int> corners, int16_t texture = -1, uint32_t flags = 0) {
    auto* p = new APolygon();
    p->VertexCount = int32_t(corners.size());
    for (std::size_t c = 0; c < corners.size(); ++c) {
        p->Corners[c].VertexIndex = corners[c];
        p->Corners[c].NormalIndex = corners[c];
        p->Corners[c].U = 0.25f * float(c);
        p->Corners[c].V = 1.0f - 0.25f * float(c);
    }
    p->TextureIndex = texture;
    p->Flags = flags;
    lod.Polygons.Add(p);
    return p;
}

std::vector<uint8_t> Save(TP3dModell& model, const TempDir& dir, Recorder* rec = nullptr) {
    Recorder local;
    Recorder& r = rec ? *rec : local;
    model.OnMessage = r.Sink();
    const std::string path = dir.File("out.p3d");
    EXPECT_TRUE(model.WriteMLOD(path));
    return ReadFileBytes(path);
}

uint32_t U32At(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(MlodLayout, ModelWithoutLodsIsTwelveBytes) {
    TempDir dir;
    TP3dModell model("");
    Recorder rec;
    const auto bytes = Save(model, dir, &rec);
    const std::vector<uint8_t> expected = {'M', 'L', 'O', 'D', 0xCD, 0xCC, 0x8C, 0x3F, 0, 0, 0, 0};
    EXPECT_EQ(bytes, expected);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0], "MLOD saved");
}

TEST(MlodLayout, OneTriangleOverThreePointsIs304Bytes) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3, 2.5f);
    AddFace(*lod, {0, 1, 2});
    const auto b = Save(model, dir);
    ASSERT_EQ(b.size(), 304u);
    EXPECT_EQ(std::memcmp(b.data() + 12, "SP3X", 4), 0);
    EXPECT_EQ(U32At(b, 16), 28u);
    EXPECT_EQ(U32At(b, 20), 153u);
    EXPECT_EQ(U32At(b, 24), 3u);  // points
    EXPECT_EQ(U32At(b, 28), 3u);  // normals
    EXPECT_EQ(U32At(b, 32), 1u);  // faces
    EXPECT_EQ(U32At(b, 36), 0u);  // header flags
    const std::size_t tagg = 12 + 28 + 28 * 3 + 104;
    EXPECT_EQ(std::memcmp(b.data() + tagg, "TAGG", 4), 0);
    EXPECT_EQ(FieldText(b.data() + tagg + 4, 64), "#EndOfFile#");
    for (std::size_t k = tagg + 4 + 11; k < tagg + 4 + 64; ++k) EXPECT_EQ(b[k], 0) << k;
    EXPECT_EQ(U32At(b, tagg + 68), 0u);
    float res;
    std::memcpy(&res, b.data() + 300, 4);
    EXPECT_EQ(res, 2.5f);
}

TEST(MlodLayout, PropertiesSelectionsAndMassesAddTheirSizes) {
    TempDir dir;
    TP3dModell plain("");
    AddFace(*AddLod(plain, 4), {0, 1, 2, 3});
    const std::size_t base = Save(plain, dir).size();
    EXPECT_EQ(base, 12u + 28 + 28 * 4 + 104 + 4 + 68 + 4);

    TP3dModell rich("");
    TP3dLOD* lod = AddLod(rich, 4, kGeometryResolution);
    AddFace(*lod, {0, 1, 2, 3});
    lod->Properties = {"class= house", "map= tree"};
    auto* sel = new TRealSelection("door");
    sel->Vertexes.Add(lod->Vertexes[1]);
    lod->Selections.Add(sel);
    rich.GeometryLOD = lod;
    rich.Masses = {1, 2, 3, 4};
    const std::size_t size = Save(rich, dir).size();
    EXPECT_EQ(size, base + 2 * 196 + (68 + 4 + 1) + (68 + 4 * 4));
}

TEST(MlodPointFlags, FlagArithmeticFromVertexInfo) {
    // m = bits 20..23: nothing up to 7 (1..6 once set every bit from 4 up),
    // then m - 7 in bits 4..7, 10 and 11 swapped.
    const uint32_t expected[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0x10, 0x20, 0x40, 0x30, 0x50, 0x60, 0x70, 0x80};
    for (uint32_t m = 0; m < 16; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(MlodPointFlags(m << 20), expected[m]);
        EXPECT_EQ(MlodPointFlags(m << 20 | 0x0000F500u), expected[m] | 0x3305u);
    }
    EXPECT_EQ(MlodPointFlags(0x00000F00u), 0xFu);
    EXPECT_EQ(MlodPointFlags(0x0000F000u), 0x3300u);
    // bits other than 8..15 and 20..23 are dropped
    EXPECT_EQ(MlodPointFlags(0xFF0F00FFu), 0x0u);
}

TEST(MlodPointFlags, WrittenForEveryPointAndTheModelLeftAsItWas) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    lod->VertexInfo = {0x00A00000u, 0x00000F00u, 0x00400000u};
    lod->Vertexes[2]->PointFlags = 12345;  // not the writer's source, and kept
    const auto b = Save(model, dir);
    const auto file = ReadMlod(b);
    ASSERT_EQ(file.lods.size(), 1u);
    EXPECT_EQ(file.lods[0].points[0].flags, 0x40u);
    EXPECT_EQ(file.lods[0].points[1].flags, 0xFu);
    EXPECT_EQ(file.lods[0].points[2].flags, 0x0u);
    EXPECT_EQ(lod->Vertexes[0]->PointFlags, 0x0u);
    EXPECT_EQ(lod->Vertexes[2]->PointFlags, 12345u);
    // saving again writes the same values
    EXPECT_EQ(Save(model, dir), b);
}

TEST(MlodPoints, PointsAndNormalsFollowUniqueVertexes) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 4);
    // two points: vertexes 3 and 1 represent them
    lod->UniqueVertexes.Items = {3, 1};
    lod->UniqueVertexes.Count = 2;
    lod->LinkToUnique.Items = {1, 1, 0, 0};
    const auto file = ReadMlod(Save(model, dir));
    const MLod& m = file.lods[0];
    ASSERT_EQ(m.points.size(), 2u);
    EXPECT_EQ(m.points[0].x, 3.0f);
    EXPECT_EQ(m.points[0].z, 9.0f);
    EXPECT_EQ(m.points[1].y, 2.0f);
    EXPECT_EQ(m.normals[0].y, 3.0f);
    EXPECT_EQ(m.normals[1].y, 1.0f);
}

TEST(MlodFaces, CornerOrdersReverseTheWinding) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 4);
    lod->LinkToUnique.Items = {3, 2, 1, 0};  // vertex k is point 3 - k
    AddFace(*lod, {0, 1, 2}, -1, 0x01000010u);
    AddFace(*lod, {0, 1, 2, 3});
    const auto file = ReadMlod(Save(model, dir));
    const MFace& tri = file.lods[0].faces[0];
    EXPECT_EQ(tri.cornerCount, 3);
    const int triOrder[3] = {0, 2, 1};
    for (int c = 0; c < 3; ++c) {
        const int k = triOrder[c];
        EXPECT_EQ(tri.corners[c].point, 3 - k);
        EXPECT_EQ(tri.corners[c].normal, 3 - k);
        EXPECT_EQ(tri.corners[c].u, 0.25f * float(k));
        EXPECT_EQ(tri.corners[c].v, 1.0f - 0.25f * float(k));
    }
    EXPECT_EQ(tri.corners[3].point, 0);
    EXPECT_EQ(tri.corners[3].normal, 0);
    EXPECT_EQ(tri.corners[3].u, 0.0f);
    EXPECT_EQ(tri.corners[3].v, 0.0f);
    EXPECT_EQ(tri.flags, 0x01000010u);

    const MFace& quad = file.lods[0].faces[1];
    EXPECT_EQ(quad.cornerCount, 4);
    const int quadOrder[4] = {1, 0, 3, 2};
    for (int c = 0; c < 4; ++c) EXPECT_EQ(quad.corners[c].point, 3 - quadOrder[c]);
}

TEST(MlodFaces, TextureFieldHoldsTheNameOrNothing) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    lod->Textures = {"data\\wall.paa", "data\\roof.paa"};
    AddFace(*lod, {0, 1, 2}, 1);
    AddFace(*lod, {0, 1, 2}, -1);
    AddFace(*lod, {0, 1, 2}, 2);  // one past the list
    AddFace(*lod, {0, 1, 2}, 0);
    const auto file = ReadMlod(Save(model, dir));
    const auto& faces = file.lods[0].faces;
    EXPECT_EQ(faces[0].texture, "data\\roof.paa");
    EXPECT_EQ(faces[3].texture, "data\\wall.paa");
    for (int f : {1, 2})
        for (uint8_t b : faces[static_cast<std::size_t>(f)].textureField) EXPECT_EQ(b, 0);
    for (std::size_t k = 14; k < 32; ++k) EXPECT_EQ(faces[0].textureField[k], 0);
}

TEST(MlodTags, SelectionMasksByIdentityAndThroughPoints) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 4);
    // vertexes 2 and 3 share point 2
    lod->LinkToUnique.Items = {0, 1, 2, 2};
    lod->UniqueVertexes.Items = {0, 1, 2};
    lod->UniqueVertexes.Count = 3;
    AddFace(*lod, {0, 1, 2});
    APolygon* second = AddFace(*lod, {1, 2, 3});
    auto* sel = new TRealSelection("wheel");
    sel->Vertexes.Add(lod->Vertexes[3]);
    sel->Vertexes.Add(lod->Vertexes[3]);  // listed twice: changes nothing
    sel->Vertexes.Add(lod->Vertexes[1]);
    sel->Polygons.Add(second);
    lod->Selections.Add(sel);
    lod->Selections.Add(new TRealSelection("empty"));
    const auto file = ReadMlod(Save(model, dir));
    const auto& tags = file.lods[0].tags;
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].name, "wheel");
    EXPECT_EQ(tags[0].length, 3u + 2u);
    EXPECT_EQ(tags[0].data, (std::vector<uint8_t>{0, 1, 1, 0, 1}));
    EXPECT_EQ(tags[1].name, "empty");
    EXPECT_EQ(tags[1].data, (std::vector<uint8_t>{0, 0, 0, 0, 0}));
    EXPECT_EQ(tags[2].name, "#EndOfFile#");
}

TEST(MlodTags, PropertiesKeepTheirOwnValues) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 1);
    lod->Properties = {"lod= 1", "lod= 2", "empty= ", "map= tree"};
    const auto file = ReadMlod(Save(model, dir));
    const auto& tags = file.lods[0].tags;
    ASSERT_EQ(tags.size(), 5u);
    const char* names[] = {"lod", "lod", "empty", "map"};
    const char* values[] = {"1", "2", "", "tree"};
    for (std::size_t k = 0; k < 4; ++k) {
        EXPECT_EQ(tags[k].name, "#Property#");
        EXPECT_EQ(tags[k].length, 128u);
        EXPECT_EQ(FieldText(tags[k].data.data(), 64), names[k]);
        EXPECT_EQ(FieldText(tags[k].data.data() + 64, 64), values[k]);
    }
}

TEST(MlodTags, MassTagOnlyInTheGeometryLodWithItsByteCount) {
    TempDir dir;
    TP3dModell model("");
    AddLod(model, 2, kGeometryResolution);  // same resolution, not the geometry LOD
    TP3dLOD* geo = AddLod(model, 3, kGeometryResolution);
    geo->Properties = {"a= b"};
    model.GeometryLOD = geo;
    model.Masses = {10, 20, 30};
    const auto file = ReadMlod(Save(model, dir));
    ASSERT_EQ(file.lods.size(), 2u);
    ASSERT_EQ(file.lods[0].tags.size(), 1u);
    const auto& tags = file.lods[1].tags;
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0].name, "#Property#");
    EXPECT_EQ(tags[1].name, "#Mass#");
    EXPECT_EQ(tags[1].length, 12u);
    float masses[3];
    std::memcpy(masses, tags[1].data.data(), 12);
    EXPECT_EQ(masses[0], 10.0f);
    EXPECT_EQ(masses[2], 30.0f);
    EXPECT_EQ(tags[2].name, "#EndOfFile#");
    for (std::size_t k = 6; k < 64; ++k) EXPECT_EQ(tags[1].nameField[k], 0);
}

TEST(MlodTexts, LongTextsAreCutAndReportedOnce) {
    TempDir dir;
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    const std::string longTexture(40, 't');
    const std::string longName(70, 'n');
    const std::string longValue(64, 'v');
    lod->Textures = {longTexture, std::string(31, 'k')};
    AddFace(*lod, {0, 1, 2}, 0);
    AddFace(*lod, {0, 1, 2}, 0);
    AddFace(*lod, {0, 1, 2}, 1);
    lod->Selections.Add(new TRealSelection(longName));
    lod->Properties = {longName + "= " + longValue};
    Recorder rec;
    const auto file = ReadMlod(Save(model, dir, &rec));
    const auto& m = file.lods[0];
    EXPECT_EQ(m.faces[0].texture, std::string(31, 't'));
    EXPECT_EQ(m.faces[2].texture, std::string(31, 'k'));
    EXPECT_EQ(m.tags[0].name, std::string(63, 'n'));
    EXPECT_EQ(FieldText(m.tags[1].data.data(), 64), std::string(63, 'n'));
    EXPECT_EQ(FieldText(m.tags[1].data.data() + 64, 64), std::string(63, 'v'));
    ASSERT_EQ(rec.messages.size(), 2u);
    EXPECT_EQ(rec.messages[1], "MLOD saved");
    const std::string& cut = rec.messages[0];
    EXPECT_NE(cut.find("too long"), std::string::npos);
    EXPECT_NE(cut.find(longTexture), std::string::npos);
    EXPECT_NE(cut.find("selection name"), std::string::npos);
    EXPECT_NE(cut.find("property value"), std::string::npos);
    EXPECT_EQ(cut.find(std::string(31, 'k') + "\""), std::string::npos);  // 31 fits
}

namespace {

void ExpectRefused(TP3dModell& model, const std::string& table) {
    TempDir dir;
    const std::string path = dir.File("out.p3d");
    {
        std::ofstream old(path, std::ios::binary);
        old << "old contents";
    }
    Recorder rec;
    model.OnMessage = rec.Sink();
    EXPECT_FALSE(model.WriteMLOD(path));
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_NE(rec.messages[0].find("LOD 0"), std::string::npos) << rec.messages[0];
    EXPECT_NE(rec.messages[0].find(table), std::string::npos) << rec.messages[0];
    const auto bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old contents");
    EXPECT_EQ(dir.Entries(), 1u);
}

}  // namespace

TEST(MlodRefused, UniqueVertexesOutsideTheVertexes) {
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    lod->UniqueVertexes.Items[1] = 3;
    ExpectRefused(model, "UniqueVertexes");
    lod->UniqueVertexes.Items[1] = -1;
    ExpectRefused(model, "UniqueVertexes");
}

TEST(MlodRefused, UniqueVertexesOutsideTheVertexInfo) {
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    lod->VertexInfo.resize(2);
    ExpectRefused(model, "UniqueVertexes");
}

TEST(MlodRefused, LinkToUniqueOutsideThePoints) {
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    lod->LinkToUnique.Items[2] = 3;
    ExpectRefused(model, "LinkToUnique");
}

TEST(MlodRefused, CornerWithoutLink) {
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3);
    AddFace(*lod, {0, 1, 5});
    ExpectRefused(model, "LinkToUnique");
}

TEST(MlodRefused, MassesShorterThanThePoints) {
    TP3dModell model("");
    TP3dLOD* lod = AddLod(model, 3, kGeometryResolution);
    model.GeometryLOD = lod;
    model.Masses = {1, 2};
    ExpectRefused(model, "Masses");
}

TEST(MlodAbort, ForeignSelectionEntriesAbortWithoutTouchingTheFile) {
    for (bool vertex : {true, false}) {
        TempDir dir;
        const std::string path = dir.File("out.p3d");
        {
            std::ofstream old(path, std::ios::binary);
            old << "old contents";
        }
        TP3dModell model("");
        TP3dLOD* lod = AddLod(model, 3);
        lod->VertexInfo[0] = 0x00A00000u;
        AddFace(*lod, {0, 1, 2});
        AVertex stranger;
        APolygon strangerFace;
        auto* sel = new TRealSelection("s");
        if (vertex)
            sel->Vertexes.Add(&stranger);
        else
            sel->Polygons.Add(&strangerFace);
        lod->Selections.Add(sel);
        Recorder rec;
        model.OnMessage = rec.Sink();
        EXPECT_FALSE(model.WriteMLOD(path));
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0], vertex ? "Index of Vertex in Selection not found! Abort!"
                                          : "Index of Polygon in Selection not found! Abort!");
        const auto bytes = ReadFileBytes(path);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old contents");
        EXPECT_EQ(dir.Entries(), 1u);
        // the writer leaves the model as it was
        EXPECT_EQ(lod->Vertexes[0]->PointFlags, 0x0u);
        sel->Vertexes.Clear();
        sel->Polygons.Clear();
    }
}

TEST(MlodAtomic, FailedWriteLeavesTheOldFileAndNoTemporary) {
    TempDir dir;
    const std::string path = dir.File("out.p3d");
    {
        std::ofstream old(path, std::ios::binary);
        old << "old contents";
    }
    TP3dModell model("");
    AddLod(model, 30000);  // about 1.3 MB
    Recorder rec;
    model.OnMessage = rec.Sink();

    // a file-size limit stands in for a full disk
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    ::setrlimit(RLIMIT_FSIZE, &small);
    std::string error;
    try {
        model.WriteMLOD(path);
    } catch (const EP3dError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(error, "Stream write error");
    EXPECT_TRUE(rec.messages.empty());
    const auto bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old contents");
    EXPECT_EQ(dir.Entries(), 1u);
}

TEST(MlodAtomic, MissingFolderCannotBeCreated) {
    TempDir dir;
    const std::string path = dir.File("no/such/folder/out.p3d");
    TP3dModell model("");
    try {
        model.WriteMLOD(path);
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + path);
    }
}

TEST(MlodAtomic, ReplacesAnExistingFile) {
    TempDir dir;
    const std::string path = dir.File("out.p3d");
    {
        std::ofstream old(path, std::ios::binary);
        old << std::string(5000, 'x');
    }
    TP3dModell model("");
    model.OnMessage = [](const std::string&) {};
    EXPECT_TRUE(model.WriteMLOD(path));
    EXPECT_EQ(ReadFileBytes(path).size(), 12u);
    EXPECT_EQ(dir.Entries(), 1u);
}
