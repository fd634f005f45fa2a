// Writing the editable format: a model of 1 million vertices with 10 named
// selections of 100 000 vertices each. The index tables are 16-bit, so the
// vertices are spread over 32 LODs of 31 250, and each named selection over
// the same 32 LODs (3 125 vertices and their faces in each), as the LODs of
// a real model repeat their selections.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "P3dmodell.h"

using namespace vistrel;

namespace {

constexpr int kLods = 32;
constexpr int kVertexesPerLod = 31250;
constexpr int kSelections = 10;

std::unique_ptr<TP3dModell> MakeModel() {
    auto model = std::make_unique<TP3dModell>("");
    for (int l = 0; l < kLods; ++l) {
        auto* lod = new TP3dLOD();
        lod->Resolution = float(l + 1);
        lod->Textures = {"data\\hull.paa", "data\\wheel.paa"};
        for (int v = 0; v < kVertexesPerLod; ++v) {
            lod->Vertexes.Add(new AVertex{float(v % 100), float(v / 100), float(l), 0});
            lod->Normals.Add(new ANormal{0, 1, 0});
            lod->VertexInfo.push_back(uint32_t(v % 16) << 20);
            lod->UniqueVertexes.Items.push_back(int16_t(v));
            lod->LinkToUnique.Items.push_back(int16_t(v));
        }
        lod->UniqueVertexes.Count = kVertexesPerLod;
        lod->LinkToUnique.Count = kVertexesPerLod;
        for (int v = 0; v + 2 < kVertexesPerLod; v += 2) {
            auto* p = new APolygon();
            p->VertexCount = 3;
            for (int c = 0; c < 3; ++c) {
                p->Corners[c].VertexIndex = v + c;
                p->Corners[c].NormalIndex = v + c;
            }
            p->TextureIndex = int16_t(v % 2);
            lod->Polygons.Add(p);
        }
        const int perSelection = kVertexesPerLod / kSelections;
        for (int s = 0; s < kSelections; ++s) {
            auto* sel = new TRealSelection("selection_" + std::to_string(s));
            for (int v = s * perSelection; v < (s + 1) * perSelection; ++v)
                sel->Vertexes.Add(lod->Vertexes[std::size_t(v)]);
            for (int f = s * perSelection / 2; f < (s + 1) * perSelection / 2 && f < lod->Polygons.Count(); ++f)
                sel->Polygons.Add(lod->Polygons[std::size_t(f)]);
            lod->Selections.Add(sel);
        }
        lod->Properties = {"class= vehicle"};
        model->LODs.Add(lod);
    }
    model->OnMessage = [](const std::string&) {};
    return model;
}

void BM_WriteMLOD(benchmark::State& state) {
    static std::unique_ptr<TP3dModell> model = MakeModel();
    const std::string path =
        (std::filesystem::temp_directory_path() / ("vistrel-bench-" + std::to_string(::getpid()) + ".p3d")).string();
    for (auto _ : state) {
        if (!model->WriteMLOD(path)) state.SkipWithError("save refused");
    }
    const auto size = std::filesystem::file_size(path);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
    state.counters["file_MB"] = double(size) / 1e6;
    std::remove(path.c_str());
}
BENCHMARK(BM_WriteMLOD)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
