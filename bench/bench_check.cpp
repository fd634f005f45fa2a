// p3dtool check over a generated tree of models of the median real shape
// (the corpus' middle model: 10 LODs, 3 626 faces in LOD 0, 50 textures of
// which two are found, 0.47 MB; textures shared between the models), each
// run a process of its own: models per second, and the peak resident size
// of the process (wait4), with and without the catalogue's pictures. And
// without --data: the same model naming 100 textures, in a tree that lies in
// the data folder as real ones do, so that each name is looked up beside the
// model and in each of the eight folders above it.
// Goals: at least 100 models a second without pictures, 20 with them, 300
// without --data, and the peak size the same for 100 and 1 000 models.
//   build-bench/bench/bench_check
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "BenchRatios.h"
#include "Corpus.h"
#include "P3dBuilder.h"

namespace {

using namespace vistrel;
namespace fs = std::filesystem;

struct TTree {
    bench::TScratchFolder scratch{"vistrel_bench_check"};
    fs::path data = scratch.dir / "data";
    std::map<int, fs::path> trees;            // by model count
    std::map<int, fs::path> treesInsideData;  // the same, of the model of 100 textures

    TTree() {
        for (const TCorpusTexture& texture : CorpusTextures()) {
            const fs::path path = scratch.dir / texture.path;
            fs::create_directories(path.parent_path());
            WriteFile(path.string(), texture.bytes);
        }
    }
    // count models, ten to a folder
    const fs::path& Of(int count) {
        if (const auto it = trees.find(count); it != trees.end()) return it->second;
        const fs::path tree = scratch.dir / ("tree" + std::to_string(count));
        Fill(tree, count, BuildModel(Middle()));
        return trees.emplace(count, tree).first->second;
    }
    // count models of 100 textures at data/vx/trees/N/
    const fs::path& InsideDataOf(int count) {
        if (const auto it = treesInsideData.find(count); it != treesInsideData.end()) return it->second;
        BModel model = Middle();
        BLod& lod = model.lods.front();
        for (int i = 0; lod.textures.size() < 100; ++i)
            lod.textures.push_back("vx\\wheeled\\data\\part " + std::to_string(i) + (i % 2 ? "_co.paa" : "#1.pac"));
        // every name on some faces, as in a real LOD
        for (std::size_t f = 0; f < lod.polygons.size(); f += 3)
            lod.polygons[f].texture = static_cast<int16_t>(f / 3 % lod.textures.size());
        const fs::path tree = data / "vx" / "trees" / std::to_string(count);
        Fill(tree, count, BuildModel(model));
        return treesInsideData.emplace(count, tree).first->second;
    }

private:
    static BModel Middle() {
        for (const TCorpusModel& m : CorpusModels())
            if (m.name == "middle") return m.model;
        return {};
    }
    static void Fill(const fs::path& tree, int count, const std::vector<uint8_t>& bytes) {
        for (int k = 0; k < count; ++k) {
            const fs::path folder = tree / ("f" + std::to_string(k / 10));
            fs::create_directories(folder);
            WriteFile((folder / ("m" + std::to_string(k) + ".p3d")).string(), bytes);
        }
    }
};

TTree& Tree() {
    static TTree tree;
    return tree;
}

// The peak resident size in MiB of the command run to its end, or a
// negative number when it did not run or failed.
double Run(std::vector<std::string> arguments) {
    double peak = -1;
    const int status = bench::RunQuietly(std::move(arguments), &peak);
    return status < 0 || status > 1 ? -1 : peak;
}

void Check(benchmark::State& state, bool pictures, bool withData = true) {
    const int count = static_cast<int>(state.range(0));
    const fs::path tree = withData ? Tree().Of(count) : Tree().InsideDataOf(count);
    const fs::path html = Tree().scratch.dir / "catalogue";
    std::vector<std::string> arguments{P3DTOOL_EXE, "check", tree.string()};
    if (withData) arguments.insert(arguments.end(), {"--data", Tree().data.string()});
    if (pictures) arguments.insert(arguments.end(), {"--html", html.string()});
    double peak = 0;
    for (auto _ : state) {
        peak = Run(arguments);
        if (peak < 0) return state.SkipWithError("p3dtool check failed");
    }
    state.counters["models_per_s"] = benchmark::Counter(
        static_cast<double>(count) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["peak_MiB"] = peak;
}

void BM_Check(benchmark::State& state) { Check(state, false); }
void BM_CheckWithPictures(benchmark::State& state) { Check(state, true); }
void BM_CheckWithoutData(benchmark::State& state) { Check(state, false, false); }

BENCHMARK(BM_Check)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CheckWithoutData)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_CheckWithPictures)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
