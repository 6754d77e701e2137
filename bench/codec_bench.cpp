// RLE4 row-mode encoding speed on UI-like 16-bit content: 64 × 64 icons and 480 × 800 screens
// with flat areas, gradients, text-like strokes and a noisy photo region. Rates are bytes of
// 16-bit pixel input per second.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"

namespace {

std::uint16_t rgb565(int red, int green, int blue) {
    return static_cast<std::uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

struct Picture {
    int width, height;
    std::vector<std::uint16_t> pixels;

    std::uint16_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A round icon on a flat background: a vertical gradient fill, a dark outline, an
// anti-aliased rim and a diagonal highlight.
Picture makeIcon(int seed) {
    Picture icon{64, 64, std::vector<std::uint16_t>(64 * 64, rgb565(0, 0, 0))};
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const double distance = std::hypot(x - 31.5, y - 31.5);
            if (distance < 26) {
                icon.at(x, y) = rgb565(40 + seed * 20, 80 + y * 2, 200 - y);
                if (x < 32 && y < 32 && x + y > 30 && x + y < 40) {
                    icon.at(x, y) = rgb565(200 + (x + y) % 4 * 8, 220, 255);
                }
            } else if (distance < 28) {
                icon.at(x, y) = rgb565(20, 20, 30);
            } else if (distance < 29) {
                icon.at(x, y) = rgb565(static_cast<int>(60 * (29 - distance)), 20, 40);
            }
        }
    }
    return icon;
}

// A phone screen: status bar with small icons, a vertical background gradient, a card with a
// horizontal gradient, lines of text-like strokes, flat buttons and a noisy photo.
Picture makeScreen() {
    Picture screen{480, 800, std::vector<std::uint16_t>(480 * 800)};
    std::mt19937 rng(7);
    for (int y = 0; y < 800; ++y) {
        for (int x = 0; x < 480; ++x) {
            screen.at(x, y) = y < 48 ? rgb565(24, 24, 32) : rgb565(30, 60 + y / 8, 120 + y / 10);
        }
    }
    const Picture icon = makeIcon(1);
    for (int i = 0; i < 6; ++i) {
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                screen.at(300 + i * 30 + x % 28, 8 + y) = icon.pixels[y * 2 * 64 + x * 2];
            }
        }
    }
    for (int y = 80; y < 240; ++y) {
        for (int x = 24; x < 456; ++x) {
            screen.at(x, y) = rgb565(255 - x / 2, 180, 60 + x / 3);
        }
    }
    for (int line = 0; line < 8; ++line) {
        for (int y = 260 + line * 22; y < 276 + line * 22; ++y) {
            for (int x = 24; x < 440;) {
                const int stroke = 1 + static_cast<int>(rng() % 3);
                for (int s = 0; s < stroke && x < 440; ++s, ++x) {
                    screen.at(x, y) = rgb565(240, 240, 240);
                }
                x += 1 + static_cast<int>(rng() % 5);
            }
        }
    }
    for (int y = 440; y < 480; ++y) {
        for (int x = 24; x < 456; ++x) {
            screen.at(x, y) = x < 232 ? rgb565(0, 120, 255) : rgb565(255, 255, 255);
        }
    }
    for (int y = 500; y < 780; ++y) {
        for (int x = 40; x < 440; ++x) {
            const int noise = static_cast<int>(rng() % 24);
            screen.at(x, y) = rgb565((x + noise) % 256, (y / 2 + noise) % 256, (x + y) / 4 % 256);
        }
    }
    return screen;
}

std::vector<std::uint8_t> flatBlock(const Picture& picture) {
    std::vector<std::uint8_t> block(kImageHeaderSize + picture.pixels.size() * 2);
    writeImageHeader(block.data(), {kPri0Magic, picture.width, picture.height, 16});
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
        storeU16Le(&block[kImageHeaderSize + i * 2], picture.pixels[i]);
    }
    return block;
}

void encodeRle4(benchmark::State& state, const std::vector<Picture>& pictures) {
    std::vector<std::vector<std::uint8_t>> blocks;
    std::size_t pixels = 0;
    std::size_t largest = 0;
    for (const Picture& picture : pictures) {
        blocks.push_back(flatBlock(picture));
        pixels += picture.pixels.size();
        largest =
            std::max<std::size_t>(largest, rleImageSizeBound(picture.width, picture.height, 16, 1));
    }
    std::vector<std::uint8_t> destination(largest);
    std::size_t encodedWords = 0;
    for (auto _ : state) {
        for (const auto& block : blocks) {
            const int words = encodeRleImage(block.data(), destination.data(), 1);
            benchmark::DoNotOptimize(destination.data());
            encodedWords += static_cast<std::size_t>(words);
        }
    }
    const auto iterations = static_cast<std::int64_t>(state.iterations());
    state.SetBytesProcessed(iterations * static_cast<std::int64_t>(pixels * 2));
    state.counters["pixels/s"] =
        benchmark::Counter(static_cast<double>(pixels) * iterations, benchmark::Counter::kIsRate);
    state.counters["ratio"] =
        static_cast<double>(encodedWords * 4) / static_cast<double>(pixels * 2 * iterations);
}

void BM_Rle4Icons(benchmark::State& state) {
    std::vector<Picture> icons;
    for (int seed = 0; seed < 8; ++seed) {
        icons.push_back(makeIcon(seed));
    }
    encodeRle4(state, icons);
}

void BM_Rle4Screen(benchmark::State& state) {
    encodeRle4(state, {makeScreen()});
}

BENCHMARK(BM_Rle4Icons);
BENCHMARK(BM_Rle4Screen);

} // namespace

BENCHMARK_MAIN();
