// LZSS block decoding throughput, in bytes of decoded output per second, on
// blocks that the encoder made from the arrays of a real-looking LOD (one
// LOD of the bench_load model), plus the two extremes: all literals and one
// long run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "BenchModels.h"
#include "Lzss.h"
#include "LzssEncoder.h"

namespace {

using namespace vistrel;
using namespace vistrel::bench;

struct Block {
    std::vector<uint8_t> raw;
    std::vector<uint8_t> packed;
};

Block Pack(std::vector<uint8_t> raw) {
    Block b;
    b.packed = LzssEncode(raw);
    b.raw = std::move(raw);
    return b;
}

void Decode(benchmark::State& state, const Block& block) {
    std::vector<uint8_t> out(block.raw.size());
    for (auto _ : state) {
        const LzssResult r =
            LzssDecode(block.packed.data(), block.packed.size(), out.data(), out.size(), LzssChecksum::Unsigned);
        if (r.status != LzssStatus::Ok) {
            state.SkipWithError("block did not decode");
            break;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    if (out != block.raw) state.SkipWithError("decoded bytes differ from the original");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(block.raw.size()));
    state.counters["decoded"] = static_cast<double>(block.raw.size());
    state.counters["ratio"] = static_cast<double>(block.packed.size()) / static_cast<double>(block.raw.size());
}

const Band kBand{};

void BM_VertexInfo(benchmark::State& state) {
    static const Block block = Pack(AsBytes(BandVertexInfo(kBand)));
    Decode(state, block);
}

void BM_UVPairs(benchmark::State& state) {
    static const Block block = Pack(AsBytes(BandUV(kBand)));
    Decode(state, block);
}

void BM_UniqueTable(benchmark::State& state) {
    static const Block block = [] {
        std::vector<int16_t> unique, link;
        BandTables(kBand, unique, link);
        return Pack(AsBytes(unique));
    }();
    Decode(state, block);
}

void BM_LinkTable(benchmark::State& state) {
    static const Block block = [] {
        std::vector<int16_t> unique, link;
        BandTables(kBand, unique, link);
        return Pack(AsBytes(link));
    }();
    Decode(state, block);
}

void BM_SelectionFaces(benchmark::State& state) {
    static const Block block = Pack(AsBytes(BandRows(kBand, "body", 0, kBand.h / 2).faces));
    Decode(state, block);
}

void BM_Masses(benchmark::State& state) {
    static const Block block = [] {
        std::vector<float> masses;
        for (int p = 0; p < kBand.h * (kBand.w - 1); ++p) masses.push_back(0.5f + 0.25f * static_cast<float>(p % 4));
        return Pack(AsBytes(masses));
    }();
    Decode(state, block);
}

// All the arrays of one LOD that the format compresses, as one stream of
// blocks decoded one after the other (what a LOD read does).
void BM_WholeLodArrays(benchmark::State& state) {
    static const std::vector<Block> blocks = [] {
        std::vector<int16_t> unique, link;
        BandTables(kBand, unique, link);
        std::vector<Block> b;
        b.push_back(Pack(AsBytes(BandVertexInfo(kBand))));
        b.push_back(Pack(AsBytes(BandUV(kBand))));
        b.push_back(Pack(AsBytes(unique)));
        b.push_back(Pack(AsBytes(link)));
        const BLod lod = BandLod(kBand, 1.0f);
        for (const BSelection& s : lod.selections) {
            if (s.faces.size() >= 512) b.push_back(Pack(AsBytes(s.faces)));
            if (s.vertexes.size() >= 512) b.push_back(Pack(AsBytes(s.vertexes)));
            if (s.entries3.size() >= 1024) b.push_back(Pack(s.entries3));
        }
        return b;
    }();
    std::size_t total = 0, packed = 0, largest = 0;
    for (const Block& b : blocks) {
        total += b.raw.size();
        packed += b.packed.size();
        if (b.raw.size() > largest) largest = b.raw.size();
    }
    std::vector<uint8_t> out(largest);
    for (auto _ : state) {
        for (const Block& b : blocks) {
            const LzssResult r =
                LzssDecode(b.packed.data(), b.packed.size(), out.data(), b.raw.size(), LzssChecksum::Unsigned);
            if (r.status != LzssStatus::Ok) {
                state.SkipWithError("block did not decode");
                return;
            }
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(total));
    state.counters["decoded"] = static_cast<double>(total);
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(total);
}

// Incompressible bytes: every item a literal (the slowest case per byte).
void BM_AllLiterals(benchmark::State& state) {
    static const Block block = [] {
        std::mt19937 rng(12345);
        std::vector<uint8_t> raw(256 * 1024);
        for (auto& b : raw) b = static_cast<uint8_t>(rng());
        return Pack(std::move(raw));
    }();
    Decode(state, block);
}

// One byte repeated: every item a run of 18 (the fastest case per byte).
void BM_LongRuns(benchmark::State& state) {
    static const Block block = Pack(std::vector<uint8_t>(256 * 1024, 0));
    Decode(state, block);
}

BENCHMARK(BM_VertexInfo);
BENCHMARK(BM_UVPairs);
BENCHMARK(BM_UniqueTable);
BENCHMARK(BM_LinkTable);
BENCHMARK(BM_SelectionFaces);
BENCHMARK(BM_Masses);
BENCHMARK(BM_WholeLodArrays);
BENCHMARK(BM_AllLiterals);
BENCHMARK(BM_LongRuns);

}  // namespace

BENCHMARK_MAIN();
