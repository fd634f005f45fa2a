// Texture decoding throughput in megapixels per second: a 1024 × 1024
// ARGB4444 texture (LZSS level) and a 1024 × 1024 DXT1 texture, both made by
// the test encoder from a real-looking picture (armour plates with seams,
// rivets, camouflage and grain), decoded as the viewer does it
// (DecodeTextureData and DestroyTextureData, allocation included).
//
// For comparison, in the same run: the model files' LZSS decoding of the same
// bytes (the 4444 level's 2 MiB of pixels as a model-file block), and the
// LZSS part alone of the texture decode.
//
//   cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVISTREL_GUI=OFF
//   cmake --build build-bench -j2 --target bench_texture
//   build-bench/bench/bench_texture
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "BenchNoise.h"
#include "Lzss.h"
#include "LzssEncoder.h"
#include "TextureData.h"
#include "TextureEncoder.h"

namespace {

using namespace vistrel;

constexpr int kSide = 1024;
constexpr int64_t kPixels = int64_t(kSide) * kSide;

using bench::Clamp;
using bench::Hash;
using bench::Noise;

// Camouflaged armour plates of 128 × 128 with dark seams and rivets, smooth
// shading and a little grain.
TexImage Picture() {
    const int camo[4][3] = {{60, 118, 112}, {30, 48, 62}, {40, 78, 52}, {110, 150, 160}};
    TexImage image(kSide, kSide);
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const int px = x % 128, py = y % 128;
            const int n = (Noise(x, y, 128, 1) * 3 + Noise(x, y, 32, 2)) / 4;
            const int* c = camo[n < 96 ? 1 : n < 128 ? 2 : n < 168 ? 0 : 3];
            int shade = Noise(x, y, 16, 3) / 12 - 10 + int(Hash(uint32_t(x), uint32_t(y), 4) % 9) - 4;
            if (px < 3 || py < 3)
                shade -= 60;
            else if ((px == 8 && py % 12 == 8) || (py == 8 && px % 12 == 8))
                shade -= 35;
            image.Set(x, y, {Clamp(c[0] + shade), Clamp(c[1] + shade), Clamp(c[2] + shade), 255});
        }
    return image;
}

const TexImage& ThePicture() {
    static const TexImage picture = Picture();
    return picture;
}

const std::vector<uint8_t>& File4444() {
    static const std::vector<uint8_t> file = EncodeTexture(ThePicture(), TexFormat::Argb4444);
    return file;
}

const std::vector<uint8_t>& FileDxt1() {
    static const std::vector<uint8_t> file = EncodeTexture(ThePicture(), TexFormat::Dxt1);
    return file;
}

void CountPixels(benchmark::State& state, int64_t pixelsPerIteration) {
    state.SetItemsProcessed(state.iterations() * pixelsPerIteration);
    state.counters["Mpx/s"] =
        benchmark::Counter(double(state.iterations()) * double(pixelsPerIteration) / 1e6, benchmark::Counter::kIsRate);
}

void DecodeFile(benchmark::State& state, const std::vector<uint8_t>& file) {
    TextureData record{};
    for (auto _ : state) {
        if (!DecodeTextureData(&record, file.data(), file.size())) {
            state.SkipWithError("texture did not decode");
            return;
        }
        benchmark::DoNotOptimize(record.pixels);
        benchmark::ClobberMemory();
        DestroyTextureData(&record);
    }
    CountPixels(state, kPixels);
    state.counters["file_bytes"] = double(file.size());
}

void BM_DecodeArgb4444(benchmark::State& state) { DecodeFile(state, File4444()); }

void BM_DecodeDxt1(benchmark::State& state) { DecodeFile(state, FileDxt1()); }

// The model files' LZSS (unsigned checksum) over the same 2 MiB that the
// 4444 level holds, into a buffer allocated once.
void BM_ModelLzssSameBytes(benchmark::State& state) {
    static const std::vector<uint8_t> raw = EncodePixels16(ThePicture(), TexFormat::Argb4444);
    static const std::vector<uint8_t> packed = LzssEncode(raw, LzssChecksum::Unsigned);
    std::vector<uint8_t> out(raw.size());
    for (auto _ : state) {
        const LzssResult r = LzssDecode(packed.data(), packed.size(), out.data(), out.size(), LzssChecksum::Unsigned);
        if (r.status != LzssStatus::Ok) {
            state.SkipWithError("block did not decode");
            return;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountPixels(state, kPixels);
    state.SetBytesProcessed(state.iterations() * int64_t(raw.size()));
    state.counters["ratio"] = double(packed.size()) / double(raw.size());
}

// The texture's own level block with the texture checksum (either sum
// accepted), without the conversion to 32 bits and the allocation.
void BM_Argb4444LzssPart(benchmark::State& state) {
    static const TexFile file = EncodeTextureFile(ThePicture(), TexFormat::Argb4444);
    std::vector<uint8_t> out(std::size_t(kPixels) * 2);
    const uint8_t* block = file.bytes.data() + file.firstData;
    for (auto _ : state) {
        const LzssResult r = LzssDecode(block, file.firstSize, out.data(), out.size(), LzssChecksum::SignedOrUnsigned);
        if (r.status != LzssStatus::Ok) {
            state.SkipWithError("block did not decode");
            return;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    CountPixels(state, kPixels);
    state.SetBytesProcessed(state.iterations() * int64_t(out.size()));
}

BENCHMARK(BM_DecodeArgb4444)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModelLzssSameBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Argb4444LzssPart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDxt1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
