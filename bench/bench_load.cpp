// Loading a whole model of about 50 MB and a million vertices (BenchModels.h:
// 32 LODs of 32041 vertices with normals, compressed UVs and tables, quads,
// selections and a geometry LOD with masses), from bytes already in memory
// and from a file. Throughput is in bytes of FILE per second.
//
// The model is built once per process. Destroying the loaded model is timed
// apart (BM_Destroy): the load figures cover reading only.
#include <benchmark/benchmark.h>

#include <unistd.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchModels.h"
#include "MlodReader.h"
#include "P3dmodell.h"

namespace {

using namespace vistrel;

const std::vector<uint8_t>& ModelBytes() {
    static const std::vector<uint8_t> bytes = BuildModel(bench::BigModel());
    return bytes;
}

// The model written once to /tmp, removed at exit.
const std::string& ModelFile() {
    struct File {
        std::string path;
        File() : path("/tmp/vistrel_bench_load_" + std::to_string(getpid()) + ".p3d") { WriteFile(path, ModelBytes()); }
        ~File() { std::remove(path.c_str()); }
    };
    static const File file;
    return file.path;
}

// What a load must give, checked once per benchmark so that a reader that
// stops early cannot look fast.
bool LoadedWhole(const TP3dModell& m) {
    if (!m.Complete() || m.LODs.Count() != bench::kLodCount || !m.GeometryLOD) return false;
    std::size_t vertexes = 0;
    for (const TP3dLOD* lod : m.LODs) vertexes += static_cast<std::size_t>(lod->Vertexes.Count());
    return vertexes == static_cast<std::size_t>(bench::kLodCount) * bench::kGridSide * bench::kGridSide;
}

void Finish(benchmark::State& state, std::size_t fileSize) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fileSize));
    state.counters["file_MB"] = static_cast<double>(fileSize) / 1e6;
}

// The bytes are copied outside the timing and moved into the model, as a
// caller that already holds the file does.
void BM_LoadFromMemory(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = ModelBytes();
    bool checked = false;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint8_t> copy = bytes;
        state.ResumeTiming();
        auto model = std::make_unique<TP3dModell>("bench.p3d", std::move(copy));
        state.PauseTiming();
        if (!checked && !LoadedWhole(*model)) state.SkipWithError("model not loaded whole");
        checked = true;
        model.reset();
        state.ResumeTiming();
    }
    Finish(state, bytes.size());
}

// The same with a log sink that takes every line, as with the viewer's
// "Debug" box ticked.
void BM_LoadFromMemoryLogged(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = ModelBytes();
    std::size_t lines = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint8_t> copy = bytes;
        state.ResumeTiming();
        auto model = std::make_unique<TP3dModell>("bench.p3d", std::move(copy),
                                                  [&](const std::string& line) { lines += !line.empty(); });
        state.PauseTiming();
        model.reset();
        state.ResumeTiming();
    }
    state.counters["log_lines"] = benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kAvgIterations);
    Finish(state, bytes.size());
}

// From the file (in the page cache after the first round): reading the file
// into memory is part of the load.
void BM_LoadFromFile(benchmark::State& state) {
    const std::string& path = ModelFile();
    bool checked = false;
    for (auto _ : state) {
        auto model = std::make_unique<TP3dModell>(path);
        state.PauseTiming();
        if (!checked && !LoadedWhole(*model)) state.SkipWithError("model not loaded whole");
        checked = true;
        model.reset();
        state.ResumeTiming();
    }
    Finish(state, ModelBytes().size());
}

// The same model in the editable format (as our writer writes it, about 2.5
// times the bytes), written once to /tmp and removed at exit. Throughput is in
// bytes of that file.
const std::string& EditableFile() {
    struct File {
        std::string path;
        File() : path("/tmp/vistrel_bench_editable_" + std::to_string(getpid()) + ".p3d") {
            TP3dModell("bench.p3d", ModelBytes()).WriteMLOD(path);
        }
        ~File() { std::remove(path.c_str()); }
    };
    static const File file;
    return file.path;
}

const std::vector<uint8_t>& EditableBytes() {
    static const std::vector<uint8_t> bytes = ReadFileBytes(EditableFile());
    return bytes;
}

bool EditableLoadedWhole(const TP3dModell& m) {
    return m.Complete() && m.LODs.Count() == bench::kLodCount && m.GeometryLOD;
}

void BM_LoadEditableFromMemory(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = EditableBytes();
    bool checked = false;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<uint8_t> copy = bytes;
        state.ResumeTiming();
        auto model = std::make_unique<TP3dModell>("bench.p3d", std::move(copy));
        state.PauseTiming();
        if (!checked && !EditableLoadedWhole(*model)) state.SkipWithError("editable model not loaded whole");
        checked = true;
        model.reset();
        state.ResumeTiming();
    }
    Finish(state, bytes.size());
}

// From the file, as p3dtool info and the pictures read it.
void BM_LoadEditableFromFile(benchmark::State& state) {
    const std::string& path = EditableFile();
    bool checked = false;
    for (auto _ : state) {
        auto model = std::make_unique<TP3dModell>(path);
        state.PauseTiming();
        if (!checked && !EditableLoadedWhole(*model)) state.SkipWithError("editable model not loaded whole");
        checked = true;
        model.reset();
        state.ResumeTiming();
    }
    Finish(state, EditableBytes().size());
}

// Releasing a loaded model, as the viewer does before it loads the next one.
void BM_Destroy(benchmark::State& state) {
    const std::vector<uint8_t>& bytes = ModelBytes();
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<TP3dModell>("bench.p3d", bytes);
        state.ResumeTiming();
        model.reset();
    }
    Finish(state, bytes.size());
}

BENCHMARK(BM_LoadFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromMemoryLogged)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadEditableFromMemory)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadEditableFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Destroy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
