// Exporting every LOD of a model of the shape of the largest real ones
// (RealShapedFiles.h: 13 LODs, 3.4 MB, three textures beside it) to .glb,
// against loading the same model. The goals: without textures at most 1.5
// times the load, with the three textures embedded at most 3 times. With
// detailed textures (noise everywhere) deflating the largest picture is the
// floor; that case is reported beside them.
//   build-bench/bench/bench_export
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchRatios.h"
#include "ModelExport.h"
#include "RealShapedFiles.h"

namespace {

using namespace vistrel;
namespace fs = std::filesystem;

struct TFiles {
    bench::TScratchFolder scratch{"vistrel_bench_export"};
    fs::path dir = scratch.dir;
    fs::path model = bench::WriteRealShapedContent(dir / "data");
    fs::path detailed = bench::WriteRealShapedContent(dir / "detailed", true);
    fs::path out = dir / "tank.glb";
};

const TFiles& Files() {
    static const TFiles files;
    return files;
}

void BM_Load(benchmark::State& state) {
    for (auto _ : state) {
        TP3dModell model(Files().model.string());
        benchmark::DoNotOptimize(model.LODs.Count());
    }
}

// textured: the three textures decoded and embedded; else none is found.
void Export(benchmark::State& state, bool textured, const fs::path& file = Files().model) {
    const TP3dModell model(file.string());
    const std::vector<TExportFormat> formats = ExportFormats();
    const TExportFormat* glb = FindExportFormat(formats, "glb2", {});
    TExportOptions options;
    options.AllLods = true;
    if (!textured) options.DataDir = Files().dir.string();  // no texture under it
    for (auto _ : state) {
        const TExportResult result = ExportModel(model, file.string(), Files().out, *glb, options);
        if (!result.Ok || result.Warnings.empty() == !textured)
            return state.SkipWithError("the export failed, or the textures were not as meant");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(Files().out));
}

void BM_ExportAllLodsToGlb(benchmark::State& state) { Export(state, true); }
void BM_ExportAllLodsToGlbUntextured(benchmark::State& state) { Export(state, false); }
void BM_ExportAllLodsToGlbDetailedTextures(benchmark::State& state) { Export(state, true, Files().detailed); }

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLodsToGlb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLodsToGlbUntextured)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLodsToGlbDetailedTextures)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    reporter.PrintRatio("export untextured / load:", "BM_ExportAllLodsToGlbUntextured", "BM_Load", 1.5, false);
    reporter.PrintRatio("export textured / load:", "BM_ExportAllLodsToGlb", "BM_Load", 3.0, false);
    reporter.PrintRatio("export detailed textures / load:", "BM_ExportAllLodsToGlbDetailedTextures", "BM_Load", 3.0,
                        false);
    benchmark::Shutdown();
    return 0;
}
