// Exporting every LOD of a model of the shape of the largest real ones
// (RealShapedFiles.h: 13 LODs, 3.4 MB, three textures beside it) to .glb with
// its textures embedded, against loading the same model. The goal: the export
// takes less than three times the load.
//   build-bench/bench/bench_export
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "ModelExport.h"
#include "RealShapedFiles.h"

namespace {

using namespace vistrel;
namespace fs = std::filesystem;

struct TFiles {
    fs::path dir, model, out;
    TFiles() {
        dir = fs::temp_directory_path() / ("vistrel_bench_export_" + std::to_string(getpid()));
        model = bench::WriteRealShapedContent(dir / "data");
        out = dir / "tank.glb";
    }
    ~TFiles() {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
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
void Export(benchmark::State& state, bool textured) {
    const TP3dModell model(Files().model.string());
    const std::vector<TExportFormat> formats = ExportFormats();
    const TExportFormat* glb = FindExportFormat(formats, "glb2", {});
    TExportOptions options;
    options.AllLods = true;
    if (!textured) options.DataDir = Files().dir.string();  // no texture under it
    for (auto _ : state) {
        const TExportResult result = ExportModel(model, Files().model.string(), Files().out, *glb, options);
        if (!result.Ok || result.Warnings.empty() == !textured)
            return state.SkipWithError("the export failed, or the textures were not as meant");
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(Files().out));
}

void BM_ExportAllLodsToGlb(benchmark::State& state) { Export(state, true); }
void BM_ExportAllLodsToGlbUntextured(benchmark::State& state) { Export(state, false); }

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLodsToGlb)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExportAllLodsToGlbUntextured)->Unit(benchmark::kMillisecond)->UseRealTime();

class TRatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> Seconds;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.iterations > 0)
                Seconds[run.run_name.function_name] = run.real_accumulated_time / static_cast<double>(run.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto load = reporter.Seconds.find("BM_Load");
    const auto out = reporter.Seconds.find("BM_ExportAllLodsToGlb");
    if (load != reporter.Seconds.end() && out != reporter.Seconds.end() && load->second > 0) {
        const double ratio = out->second / load->second;
        std::printf("\nexport / load: %.2f (goal below 3: %s)\n", ratio, ratio < 3 ? "met" : "NOT met");
    }
    benchmark::Shutdown();
    return 0;
}
