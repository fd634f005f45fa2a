// Writing texture files: a 1024 × 1024 picture (gradients, panels with seams
// and rivets, fine grain) written with every level, against the part that
// cannot be avoided.
//   DXT1, every level, into a file, against stb_dxt on the largest level alone
//   (goal: at most 2 ×: the levels, the tags and the writing add less than the
//   compression itself);
//   ARGB4444 (the same picture with smooth alpha), every level, into a file,
//   against our decoder reading that file (goal: at most 10 ×: the LZSS search
//   is the cost).
// The DXT1 file's PSNR (red, green, blue of the largest level) is printed too.
// The times are the thread's CPU time (the ratios hold on a shared machine).
//
//   cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DVISTREL_GUI=OFF
//   cmake --build build-rel -j2 --target bench_texture_write
//   build-rel/bench/bench_texture_write
#include <benchmark/benchmark.h>
#include <stb_dxt.h>

#include <time.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchNoise.h"
#include "BenchRatios.h"
#include "TextureData.h"
#include "TextureWriter.h"

namespace {

using namespace vistrel;

constexpr int kSide = 1024;

using bench::Clamp;
using bench::Hash;
using bench::Noise;

// A diagonal sky-to-earth gradient under panels of 64 × 64 with dark seams,
// rivets, shading by larger noise and a little grain; with alpha, a smooth
// vignette and the seams opaque.
TRgbaPicture Picture(bool alpha) {
    TRgbaPicture p{kSide, kSide, std::vector<uint8_t>(std::size_t(kSide) * kSide * 4)};
    uint8_t* o = p.Rgba.data();
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x, o += 4) {
            const int t = (x + y) * 255 / (2 * kSide);
            const int px = x % 64, py = y % 64;
            int shade =
                Noise(x, y, 128, 1) / 6 - 20 + Noise(x, y, 16, 2) / 16 + int(Hash(uint32_t(x), uint32_t(y), 3) % 7) - 3;
            if (px < 2 || py < 2) shade -= 70;
            if ((px == 6 || px == 57) && py % 8 == 4) shade += 40;
            o[0] = Clamp(60 + t / 2 + shade);
            o[1] = Clamp(140 - t / 3 + shade);
            o[2] = Clamp(200 - t + shade);
            const int dx = x - kSide / 2, dy = y - kSide / 2;
            const int fade = 255 - (dx * dx + dy * dy) / 1100;
            o[3] = alpha && px >= 2 && py >= 2 ? Clamp(fade + Noise(x, y, 32, 4) / 4 - 32) : 255;
        }
    return p;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Runs body once per iteration, timed by the thread's CPU time; a body that
// returns false stops the benchmark with error.
template <class Body>
void ByCpuTime(benchmark::State& state, const std::string& error, Body&& body) {
    for (auto _ : state) {
        const double start = CpuSeconds();
        if (!body()) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(CpuSeconds() - start);
    }
}

const TRgbaPicture& Opaque() {
    static const TRgbaPicture p = Picture(false);
    return p;
}

const TRgbaPicture& Translucent() {
    static const TRgbaPicture p = Picture(true);
    return p;
}

void Write(benchmark::State& state, const TRgbaPicture& picture, TextureFormat type) {
    bench::TScratchFolder folder("bench_texture_write");
    const std::string path = (folder.dir / "picture.paa").string();
    std::string error;
    ByCpuTime(state, "not written", [&] { return WriteTextureFile(path, picture, type, error); });
    state.counters["file_bytes"] = double(std::filesystem::file_size(path));
}

void BM_WriteDxt1EveryLevel(benchmark::State& state) { Write(state, Opaque(), TextureFormat::Dxt1); }

// stb_dxt over the blocks of the largest level, gathered from the rows.
void BM_StbDxtLargestLevel(benchmark::State& state) {
    const TRgbaPicture& p = Opaque();
    std::vector<uint8_t> blocks(std::size_t(kSide / 4) * (kSide / 4) * 8);
    alignas(4) uint8_t block[64];
    ByCpuTime(state, "", [&] {
        uint8_t* out = blocks.data();
        for (int by = 0; by < kSide / 4; ++by)
            for (int bx = 0; bx < kSide / 4; ++bx, out += 8) {
                for (int y = 0; y < 4; ++y)
                    std::copy_n(&p.Rgba[(std::size_t(by * 4 + y) * kSide + bx * 4) * 4], 16, block + 16 * y);
                stb_compress_dxt_block(out, block, 0, STB_DXT_HIGHQUAL);
            }
        benchmark::DoNotOptimize(blocks.data());
        benchmark::ClobberMemory();
        return true;
    });
}

void BM_WriteArgb4444EveryLevel(benchmark::State& state) { Write(state, Translucent(), TextureFormat::Argb4444); }

void BM_DecodeArgb4444(benchmark::State& state) {
    std::vector<uint8_t> file;
    std::string error;
    if (!EncodeTextureFile(Translucent(), TextureFormat::Argb4444, file, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    TextureData record{};
    ByCpuTime(state, "texture did not decode", [&] {
        if (!DecodeTextureData(&record, file.data(), file.size())) return false;
        benchmark::DoNotOptimize(record.pixels);
        DestroyTextureData(&record);
        return true;
    });
}

BENCHMARK(BM_WriteDxt1EveryLevel)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_StbDxtLargestLevel)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WriteArgb4444EveryLevel)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_DecodeArgb4444)->Unit(benchmark::kMillisecond)->UseManualTime();

// PSNR of the DXT1 file's largest level (red, green, blue) against the picture.
double Dxt1Psnr() {
    std::vector<uint8_t> file;
    std::string error;
    if (!EncodeTextureFile(Opaque(), TextureFormat::Dxt1, file, error)) return 0;
    const auto image = DecodeTexture(file.data(), file.size());
    if (!image) return 0;
    const std::vector<uint8_t> rgba = RgbaPixels(*image);
    double sum = 0;
    for (std::size_t i = 0; i < rgba.size(); ++i)
        if (i % 4 != 3) sum += std::pow(double(rgba[i]) - Opaque().Rgba[i], 2);
    return 10 * std::log10(255.0 * 255.0 * double(rgba.size() / 4 * 3) / sum);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    reporter.PrintRatio("DXT1 every level / stb_dxt largest:", "BM_WriteDxt1EveryLevel", "BM_StbDxtLargestLevel", 2.0,
                        false);
    reporter.PrintRatio("ARGB4444 every level / decode:", "BM_WriteArgb4444EveryLevel", "BM_DecodeArgb4444", 10.0,
                        false);
    std::printf("%-40s %.2f dB\n", "DXT1 PSNR (largest level):", Dxt1Psnr());
    benchmark::Shutdown();
    return 0;
}
