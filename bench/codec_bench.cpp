// RLE4 row-mode encoding speed on UI-like 16-bit content (flat areas, gradients, text marks, a
// noisy photo region): 64 × 64 icons and 480 × 800 screens. Rates are bytes of 16-bit pixel
// input per second.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/rle_encoder.h"
#include "examples/bmp_writer.h"

namespace {

void encodeRle4(benchmark::State& state, int width, int height, int pictures) {
    std::vector<std::vector<std::uint8_t>> blocks;
    for (int seed = 0; seed < pictures; ++seed) {
        blocks.push_back(uiLikePri0Block(width, height, static_cast<std::uint32_t>(seed)));
    }
    const auto pixels = static_cast<std::int64_t>(width) * height * pictures;
    std::vector<std::uint8_t> destination(rleImageSizeBound(width, height, 16, RunMode::kRows));
    std::int64_t encodedBytes = 0;
    for (auto _ : state) {
        encodedBytes = 0;
        for (const auto& block : blocks) {
            encodedBytes += 4 * encodeRleImage(block.data(), destination.data(), RunMode::kRows);
            benchmark::DoNotOptimize(destination.data());
        }
    }
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    state.SetBytesProcessed(iterations * pixels * 2);
    state.counters["pixels/s"] =
        benchmark::Counter(static_cast<double>(pixels * iterations), benchmark::Counter::kIsRate);
    state.counters["ratio"] = static_cast<double>(encodedBytes) / static_cast<double>(pixels * 2);
}

void BM_Rle4Icons(benchmark::State& state) {
    encodeRle4(state, 64, 64, 8);
}
void BM_Rle4Screen(benchmark::State& state) {
    encodeRle4(state, 480, 800, 1);
}

} // namespace

BENCHMARK(BM_Rle4Icons);
BENCHMARK(BM_Rle4Screen);

BENCHMARK_MAIN();
