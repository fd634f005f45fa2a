// Importing the .glb that `p3dtool export --all-lods --editable` makes of the
// corpus' largest model (tests/builder/Corpus.h) and writing it in the
// editable format, against converting the same binarized model to the
// editable format as `p3dtool mlod` does. The goals: the import at most
// twice the conversion; its peak memory (the resident set's high-water mark,
// reset before it) at most 4 times the .glb plus the heap the model keeps.
//   build-bench/bench/bench_import
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "BenchRatios.h"
#include "Corpus.h"
#include "ModelExport.h"
#include "ModelImport.h"
#include "P3dBuilder.h"
#include "RealShapedFiles.h"

namespace {

using namespace vistrel;
namespace fs = std::filesystem;

struct TFiles {
    bench::TScratchFolder scratch{"vistrel_bench_import"};
    fs::path model = scratch.dir / "large.p3d";
    fs::path glb = scratch.dir / "large.glb";
    fs::path out = scratch.dir / "out.p3d";
    bool ok = false;
    TFiles() {
        std::vector<uint8_t> largest;
        for (const TCorpusModel& m : CorpusModels()) {
            std::vector<uint8_t> bytes = BuildModel(m.model);
            if (bytes.size() > largest.size()) largest = std::move(bytes);
        }
        WriteFile(model.string(), largest);
        const TP3dModell loaded(model.string());
        const std::vector<TExportFormat> formats = ExportFormats();
        TExportOptions options;
        options.AllLods = true;
        options.EditableRecord = true;
        options.DataDir = scratch.dir.string();  // no texture under it
        ok = ExportModel(loaded, model.string(), glb, *FindExportFormat(formats, "glb2", {}), options).Ok;
    }
};

const TFiles& Files() {
    static const TFiles files;
    return files;
}

void BM_MlodFromBinarized(benchmark::State& state) {
    for (auto _ : state) {
        const TP3dModell model(Files().model.string());
        if (!model.WriteMLOD(Files().out.string())) return state.SkipWithError("the conversion failed");
    }
}

void BM_ImportFromGlb(benchmark::State& state) {
    if (!Files().ok) return state.SkipWithError("the export failed");
    for (auto _ : state) {
        const importing::TImportResult result = importing::ImportModel(Files().glb.string(), {});
        if (!result.Model || !result.Warnings.empty() || !result.Model->WriteMLOD(Files().out.string()))
            return state.SkipWithError("the import failed, or took the meshes");
    }
    state.counters["glb_bytes"] = static_cast<double>(fs::file_size(Files().glb));
}

BENCHMARK(BM_MlodFromBinarized)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ImportFromGlb)->Unit(benchmark::kMillisecond)->UseRealTime();

// A line of /proc/self/status, in bytes ("VmHWM:", "VmRSS:").
double StatusBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stod(line.substr(std::string(key).size())) * 1024;
    return 0;
}

// The import's peak over the resident set before it; false when the
// high-water mark cannot be reset here.
bool ImportPeak(double& growth, double& model) {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusBytes("VmRSS:");
    if (StatusBytes("VmHWM:") > before * 1.01 + 65536) return false;
    const struct mallinfo2 heap = mallinfo2();
    const importing::TImportResult result = importing::ImportModel(Files().glb.string(), {});
    if (!result.Model) return false;
    const struct mallinfo2 after = mallinfo2();
    growth = StatusBytes("VmHWM:") - before;
    model = static_cast<double>(after.uordblks + after.hblkhd) - static_cast<double>(heap.uordblks + heap.hblkhd);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    reporter.PrintRatio("import / mlod:", "BM_ImportFromGlb", "BM_MlodFromBinarized", 2.0, false);
    double growth = 0, model = 0;
    if (Files().ok && ImportPeak(growth, model)) {
        const double glb = static_cast<double>(fs::file_size(Files().glb)), mb = 1024.0 * 1024.0;
        std::printf(
            "import peak memory:                %.1f MB for a %.1f MB .glb and a %.1f MB model "
            "(goal at most 4 x file + model = %.1f MB: %s)\n",
            growth / mb, glb / mb, model / mb, (4 * glb + model) / mb, growth <= 4 * glb + model ? "met" : "NOT met");
    } else {
        std::printf("import peak memory: not measured (no resettable high-water mark here)\n");
    }
    benchmark::Shutdown();
    return 0;
}
