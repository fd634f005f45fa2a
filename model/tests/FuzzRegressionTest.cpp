// Inputs that the fuzzer found interesting (broken files that reach deep
// error paths of the reader). Each must end in a model, complete or not, or in
// one of the reader's own errors (EP3dError): no other exception, no crash,
// and what the model holds must keep the reader's promises.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_set>
#include <vector>

#include "P3dmodell.h"

namespace {

namespace fs = std::filesystem;
using namespace vistrel;

fs::path RegressionDir() { return fs::path(VISTREL_SOURCE_DIR) / "model/tests/fuzz-regressions"; }

std::vector<fs::path> RegressionFiles() {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(RegressionDir(), ec))
        if (entry.is_regular_file() && entry.path().extension() == ".p3d") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void ExpectConsistent(const TP3dModell& m, const std::string& name) {
    SCOPED_TRACE(name);
    for (const TP3dLOD* lod : m.LODs) {
        std::unordered_set<const void*> vertexes(lod->Vertexes.begin(), lod->Vertexes.end());
        std::unordered_set<const void*> polygons(lod->Polygons.begin(), lod->Polygons.end());
        for (const APolygon* p : lod->Polygons) {
            ASSERT_TRUE(p->VertexCount == 3 || p->VertexCount == 4);
            for (int c = 0; c < p->VertexCount; ++c) {
                const ACorner& k = p->Corners[c];
                EXPECT_EQ(k.NormalIndex, k.VertexIndex);
                ASSERT_GE(k.VertexIndex, 0);
                ASSERT_LT(static_cast<std::size_t>(k.VertexIndex), lod->UVData.size());
            }
        }
        EXPECT_EQ(static_cast<std::size_t>(lod->UniqueVertexes.Count), lod->UniqueVertexes.Items.size());
        EXPECT_EQ(static_cast<std::size_t>(lod->LinkToUnique.Count), lod->LinkToUnique.Items.size());
        for (const TRealSelection* sel : lod->Selections) {
            for (const AVertex* v : sel->Vertexes) EXPECT_EQ(vertexes.count(v), 1u);
            for (const APolygon* p : sel->Polygons) EXPECT_EQ(polygons.count(p), 1u);
        }
    }
    if (m.GeometryLOD)
        EXPECT_EQ(m.Masses.size(), static_cast<std::size_t>(m.GeometryLOD->UniqueVertexes.Count));
    else
        EXPECT_TRUE(m.Masses.empty());
}

// How each input ends: the messages shown, in order, or a raised reader error
// (raised = true). Inputs that are not listed are held to the general rules
// only.
struct Expected {
    const char* file;
    bool raised;
    std::vector<std::string> messages;
};

const char* const kCompleteFailed = "Complete loading of P3d failed!\nSorry ;)";

const std::vector<Expected>& ExpectedOutcomes() {
    static const std::vector<Expected> outcomes = {
        {"vertex_info_block_fails.p3d", false, {"Error reading VertexInfo!"}},
        {"uv_block_fails.p3d", false, {"Error reading UV_Data!"}},
        {"link_table_block_fails.p3d", false, {"Error reading Link_to_Unique_Count!"}},
        {"polygon_corner_count.p3d", false, {"Error! Invalid number of vertexes in Poly!"}},
        {"selection_faces_bad_checksum.p3d", false, {"Error reading Sel_Face_Count!"}},
        {"selection_entries1_block_fails.p3d", false, {"Unknown Count1!"}},
        {"selection_vertexes_zero_distance.p3d", false, {"Error reading Sel_Vertexes_Count!"}},
        {"selection_entries3_block_fails.p3d", false, {"Error reading UnknownCount3!"}},
        {"property_records_skip_past_end.p3d", false, {kCompleteFailed}},
        {"trailing_items_count.p3d", false, {kCompleteFailed}},
        {"proxy_count.p3d", false, {kCompleteFailed}},
        {"masses_bad_checksum.p3d", false, {"Error reading Masses!"}},
        {"nan_offsets_complete.p3d", false, {}},
        {"negative_lod_count.p3d", true, {}},
        {"editable_not_sp3x.p3d", false, {"Error! LOD is not SP3X!"}},
        {"editable_no_tagg.p3d", false, {"Error! No TAGG after the faces!"}},
        {"editable_property_then_past_end.p3d", false, {kCompleteFailed}},
        {"editable_geometry_lod.p3d", false, {}},
    };
    return outcomes;
}

TEST(FuzzRegression, ListedInputsEndAsBefore) {
    for (const Expected& e : ExpectedOutcomes()) {
        SCOPED_TRACE(e.file);
        const fs::path path = RegressionDir() / e.file;
        ASSERT_TRUE(fs::exists(path));
        const std::vector<uint8_t> bytes = ReadAll(path);
        std::vector<std::string> messages;
        bool raised = false;
        try {
            TP3dModell model(e.file, bytes, {}, [&](const std::string& text) { messages.push_back(text); });
            EXPECT_EQ(model.Complete(), e.messages.empty());
        } catch (const EP3dError&) {
            raised = true;
        }
        EXPECT_EQ(raised, e.raised);
        EXPECT_EQ(messages, e.messages);
    }
}

TEST(FuzzRegression, FolderHoldsInputs) {
    EXPECT_GE(RegressionFiles().size(), 5u) << "no inputs in " << RegressionDir();
}

TEST(FuzzRegression, EveryInputEndsInAModelOrAReaderError) {
    for (const fs::path& path : RegressionFiles()) {
        const std::string name = path.filename().string();
        const std::vector<uint8_t> bytes = ReadAll(path);
        ASSERT_LT(bytes.size(), 4096u) << name;
        for (const bool withLog : {true, false}) {
            std::size_t lines = 0;
            std::vector<std::string> messages;
            TLogEvent onLog;
            if (withLog) onLog = [&](const std::string&) { ++lines; };
            try {
                TP3dModell model(name, bytes, onLog, [&](const std::string& text) { messages.push_back(text); });
                ExpectConsistent(model, name);
                if (model.FileFormat() != TP3dModell::Format::Unknown) {
                    EXPECT_EQ(model.Complete(), messages.empty()) << name;
                }
            } catch (const EP3dError&) {
                // one of the reader's own errors: an accepted end
            } catch (const std::exception& e) {
                ADD_FAILURE() << name << ": unexpected exception: " << e.what();
            } catch (...) {
                ADD_FAILURE() << name << ": unexpected exception of unknown type";
            }
            if (!withLog) {
                EXPECT_EQ(lines, 0u) << name;
            }
        }
    }
}

}  // namespace
