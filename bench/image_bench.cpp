// Throughput of BMP reading, and of reading plus RLE4 encoding: 24-bit UI-like pictures to
// RGB565, file already in memory, in bytes of BMP input per second.
#include <benchmark/benchmark.h>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"
#include "examples/bmp_writer.h"
#include "image/bmp_reader.h"
#include "image/rgb565_rows.h"

namespace {

// Header checks and conversion, as the packager does them for every image.
void BM_Bgr24ToRgb565(benchmark::State& state) {
    const auto file =
        makeUiLikeBmp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 1);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(2 * state.range(0) * state.range(1)));
    for (auto _ : state) {
        BmpLayout layout;
        if (readBmpLayout(file, layout) != ImageResult::kOk ||
            convertBmpPixels(file, layout, pixels) != 1) {
            state.SkipWithError("conversion failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}

// Conversion into a flat PRI0 block and its RLE4 encoding: the work the packager does for every
// image once the file is read.
void BM_Bgr24ToRle4(benchmark::State& state) {
    const auto file =
        makeUiLikeBmp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 1);
    BmpLayout probe;
    readBmpLayout(file, probe);
    std::vector<std::uint8_t> flat(kImageHeaderSize + probe.outputSize);
    std::vector<std::uint8_t> encoded(
        rleImageSizeBound(probe.width, probe.height, 16, RunMode::kRows));
    std::int64_t encodedBytes = 0;
    for (auto _ : state) {
        BmpLayout layout;
        if (readBmpLayout(file, layout) != ImageResult::kOk) {
            state.SkipWithError("conversion failed");
            break;
        }
        writeImageHeader(flat.data(), {kPri0Magic, layout.width, layout.height, 16});
        convertBmpPixels(file, layout, {flat.data() + kImageHeaderSize, layout.outputSize});
        encodedBytes = 4 * encodeRleImage(flat.data(), encoded.data(), RunMode::kRows);
        benchmark::DoNotOptimize(encoded.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
    state.counters["rle/bmp"] =
        static_cast<double>(encodedBytes) / static_cast<double>(file.size());
}

// The pixel-at-a-time row loop alone, for comparison with the row path the reader uses.
void BM_Bgr24RowsPlain(benchmark::State& state) {
    const auto file =
        makeUiLikeBmp(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)), 1);
    BmpLayout layout;
    readBmpLayout(file, layout);
    std::vector<std::uint8_t> pixels(layout.outputSize);
    const std::size_t width = static_cast<std::size_t>(layout.width);
    for (auto _ : state) {
        const auto height = static_cast<std::size_t>(layout.height);
        for (std::size_t k = 0; k < height; ++k) {
            convertRowBgr24Plain(file.data() + layout.pixelOffset + k * layout.stride,
                                 pixels.data() + (height - 1 - k) * 2 * width, width);
        }
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
}

} // namespace

BENCHMARK(BM_Bgr24ToRgb565)->Args({64, 64})->Args({480, 800});
BENCHMARK(BM_Bgr24ToRle4)->Args({64, 64})->Args({480, 800});
BENCHMARK(BM_Bgr24RowsPlain)->Args({64, 64})->Args({480, 800});

BENCHMARK_MAIN();
