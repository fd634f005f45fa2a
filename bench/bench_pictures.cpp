// Pictures from files. A model of the shape of the largest real ones
// (BenchModels.h: 13 LODs, 10 609 faces in LOD 0, about 3.4 MB) with three
// textures under a data folder, drawn at 800 x 600:
//
// - the phases of one headless picture, in this process: the context, the
//   load, then the rest as RenderPicture makes it, with the times of its
//   steps (the texture decode with the upload, the draw, the read-back and
//   the PNG encode);
// - whole programs, file to PNG, each a process of its own: `vistrel
//   --screenshot`, `vistrel-thumbnailer -s 256`, f3d drawing LOD 0 written
//   as binary STL (when f3d is installed; it needs a display), and, with
//   --reference=PROGRAM, another build's `--screenshot` (for example the
//   one before the pictures went headless; run it where it has a display).
//
// At the end it prints the ratios the goals are set in: screenshot / f3d
// (goal 0.5 at most) and thumbnail / reference screenshot (goal 0.3 at most).
//   xvfb-run -a -s "-screen 0 1280x1024x24" build-bench/bench/bench_pictures [--reference=PROGRAM]
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "BenchModels.h"
#include "BenchRatios.h"
#include "Camera.h"
#include "Headless.h"
#include "P3dmodell.h"
#include "Picture.h"
#include "RealShapedFiles.h"

namespace {

using namespace vistrel;
namespace fs = std::filesystem;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

std::string gReference;  // --reference=PROGRAM

void WriteBinaryStl(const std::string& path, const TP3dLOD& lod) {
    std::vector<uint8_t> bytes(84, 0);
    uint32_t count = 0;
    auto put = [&bytes](const void* data, std::size_t size) {
        const auto* p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
    };
    auto vertex = [&lod, &put](int index) {
        const AVertex* v = lod.Vertexes.Items(index);
        const float xyz[3] = {v->X, v->Y, v->Z};
        put(xyz, sizeof xyz);
    };
    for (const APolygon* polygon : lod.Polygons) {
        for (int k = 1; k + 1 < polygon->VertexCount; ++k) {
            const float normal[3] = {0, 0, 0};
            put(normal, sizeof normal);
            vertex(polygon->Corners[0].VertexIndex);
            vertex(polygon->Corners[k].VertexIndex);
            vertex(polygon->Corners[k + 1].VertexIndex);
            const uint16_t attributes = 0;
            put(&attributes, sizeof attributes);
            ++count;
        }
    }
    std::memcpy(bytes.data() + 80, &count, sizeof count);
    WriteFile(path, bytes);
}

// The files, made once per process in a folder of their own, removed at exit.
struct TFiles {
    bench::TScratchFolder scratch{"vistrel_bench_pictures"};
    fs::path dir = scratch.dir, model, data, stl, out;
    TFiles() {
        // where the content lives: the model in the data folder, under which
        // its textures are named (the thumbnailer finds them beside it)
        data = dir / "data";
        model = bench::WriteRealShapedContent(data);
        stl = dir / "lod0.stl";
        out = dir / "out.png";
        TP3dModell loaded(model.string());
        WriteBinaryStl(stl.string(), *loaded.LODs.Items(0));
    }
};

const TFiles& Files() {
    static const TFiles files;
    return files;
}

int Run(std::vector<std::string> arguments) { return bench::RunQuietly(std::move(arguments)); }

void RunProgram(benchmark::State& state, const std::vector<std::string>& arguments) {
    const TFiles& files = Files();
    for (auto _ : state) {
        const int status = Run(arguments);
        if (status != 0) {
            state.SkipWithError((arguments[0] + " ended with status " + std::to_string(status)).c_str());
            return;
        }
    }
    fs::remove(files.out);
}

// The phases of one picture, in this process.

void BM_Phase1_Context(benchmark::State& state) {
    for (auto _ : state) {
        THeadlessContext context(kWidth, kHeight);
        if (!context.Ok()) {
            state.SkipWithError(context.Error().c_str());
            return;
        }
    }
}

void BM_Phase2_Load(benchmark::State& state) {
    const std::string path = Files().model.string();
    for (auto _ : state) {
        TP3dModell model(path);
        benchmark::DoNotOptimize(model.LODs.Count());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(Files().model)));
}

// The rest of one picture in a ready context, as vistrel --screenshot makes
// it (RenderPicture): the textures decoded and uploaded, the frame drawn,
// read back and encoded as PNG; each step's time is a counter.
void BM_Phase3to6_Picture(benchmark::State& state) {
    THeadlessContext context(kWidth, kHeight);
    if (!context.Ok()) return state.SkipWithError(context.Error().c_str());
    const TP3dModell model(Files().model.string());
    TPictureRequest request;
    request.Lod = model.LODs.Items(0);
    request.Camera = FitCamera(request.Lod->MinPos, request.Lod->MaxPos, model.Offset2);
    request.Width = kWidth;
    request.Height = kHeight;
    request.TextureRoots = {Files().data.string()};
    request.Context = [&context] { return &context; };
    request.Output = Files().out.string();
    TPictureTimes sum;
    for (auto _ : state) {
        const TPicture picture = RenderPicture(request);
        if (!picture.Ok || !picture.TextureProblems.empty())
            return state.SkipWithError(("the picture failed: " + picture.Error + picture.TextureProblems).c_str());
        sum.Textures += picture.Times.Textures;
        sum.Draw += picture.Times.Draw;
        sum.ReadBack += picture.Times.ReadBack;
        sum.Png += picture.Times.Png;
    }
    const auto perPicture = [&state](double seconds) {
        return benchmark::Counter(seconds * 1e3 / static_cast<double>(state.iterations()));
    };
    state.counters["textures_ms"] = perPicture(sum.Textures);
    state.counters["draw_ms"] = perPicture(sum.Draw);
    state.counters["readback_ms"] = perPicture(sum.ReadBack);
    state.counters["png_ms"] = perPicture(sum.Png);
}

// Whole programs, file to PNG.

void BM_Program_Screenshot(benchmark::State& state) {
    const TFiles& f = Files();
    RunProgram(state, {VISTREL_EXE, "--screenshot", f.out.string(), "--data", f.data.string(), f.model.string()});
}

void BM_Program_Thumbnail(benchmark::State& state) {
    const TFiles& f = Files();
    RunProgram(state, {THUMBNAILER_EXE, "-s", "256", f.model.string(), f.out.string()});
}

void BM_Program_F3d(benchmark::State& state) {
    const TFiles& f = Files();
    if (Run({"f3d", "--version"}) != 0) return state.SkipWithError("f3d is not installed");
    if (!std::getenv("DISPLAY")) return state.SkipWithError("f3d needs a display (run under xvfb-run)");
    RunProgram(state, {"f3d", "--output=" + f.out.string(), "--resolution=800,600", f.stl.string()});
}

void BM_Program_Reference(benchmark::State& state) {
    const TFiles& f = Files();
    if (gReference.empty()) return state.SkipWithError("no --reference=PROGRAM given");
    RunProgram(state, {gReference, "--screenshot", f.out.string(), "--data", f.data.string(), f.model.string()});
}

BENCHMARK(BM_Phase1_Context)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Phase2_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Phase3to6_Picture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Program_Screenshot)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Program_Thumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Program_F3d)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Program_Reference)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Keeps each benchmark's time per iteration for the ratios at the end.
}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--reference=", 12) == 0)
            gReference = argv[i] + 12;
        else
            rest.push_back(argv[i]);
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    Files();
    std::printf("model: %ju bytes, LOD 0 of %d faces\n", static_cast<uintmax_t>(fs::file_size(Files().model)),
                TP3dModell(Files().model.string()).LODs.Items(0)->Polygons.Count());
    bench::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    reporter.PrintRatio("screenshot / f3d:", "BM_Program_Screenshot", "BM_Program_F3d", 0.5, false);
    reporter.PrintRatio("thumbnail / reference screenshot:", "BM_Program_Thumbnail", "BM_Program_Reference", 0.3,
                        false);
    benchmark::Shutdown();
    return 0;
}
