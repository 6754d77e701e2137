// What the device reader costs on this machine, against the least work that drawing needs.
//
//   device_bench [--runs N] [--icons N] [--screens N]
//
// Encodes theme 0 of pack_bench's corpus (3000 icons of 64 x 64 and 40 screens of 480 x 800,
// UI-like with a noisy photo in 92% of their height) as the packer does, in memory, and times,
// in interleaved runs whose medians it prints: memcpy of each image's decoded RGB565 bytes into
// a framebuffer (the floor: no drawing can do less), theme_draw of each image whole, from memory
// and through a read callback that copies from memory (windows of 4096 and 64 bytes), and
// theme_draw clipped to the bottom quarter of each image. Goals: a whole draw from memory
// <= 2 x memcpy; a bottom-quarter draw <= 40% of a whole one. Then prints the bytes the read
// callback gives a row walk of every row and a draw of the bottom quarter through windows of 64,
// 256 and 4096 bytes, and fails when an image takes more than its slot and one window.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "device/theme_reader.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Image {
    int width = 0;
    int height = 0;
    Bytes rgb565;
    theme_slot slot{};
    bool screen = false;
};

// Theme 0 of the corpus as one Theme.bin in memory: each image RLE4-encoded in its own slot.
struct Build {
    std::vector<Image> images;
    Bytes theme;
};

Build encodeCorpus(const CorpusShape& shape) {
    Build build;
    build.theme.assign(16, 0);
    std::memcpy(build.theme.data(), "Theme", 5);
    for (const CorpusImage& source : corpusImages(shape, 0)) {
        Image image{source.width, source.height, {}, {}, source.height > 64};
        Bytes blob;
        encodeCorpusImage(source, shape.photoPercent, blob, image.rgb565);
        image.slot = {static_cast<std::uint32_t>(build.theme.size()),
                      static_cast<std::uint32_t>(blob.size())};
        build.theme.insert(build.theme.end(), blob.begin(), blob.end());
        build.images.push_back(std::move(image));
    }
    const char end[] = "EndOfTheme";
    build.theme.insert(build.theme.end(), end, end + 10);
    return build;
}

int readMemory(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
    std::memcpy(dst, static_cast<const Bytes*>(ctx)->data() + offset, len);
    return 0;
}

// Storage that counts what it gives.
struct CountingFlash {
    const Bytes* bytes = nullptr;
    std::uint64_t given = 0;
};

int readCounting(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
    auto& flash = *static_cast<CountingFlash*>(ctx);
    flash.given += len;
    return readMemory(const_cast<Bytes*>(flash.bytes), offset, dst, len);
}

// The bytes a row walk of every row and a draw of the bottom quarter read through _io, beside
// the slots' size, per window; false when an image took more than its slot and one window.
bool printBytesRead(const Build& build, std::vector<std::uint16_t>& fb) {
    bool bounded = true;
    std::uint64_t slots = 0;
    for (const Image& image : build.images) {
        slots += image.slot.size;
    }
    std::printf("bytes read through _io, for %llu bytes of slots (each image at most its slot and "
                "one window):\n",
                static_cast<unsigned long long>(slots));
    for (const std::uint32_t window : {64u, 256u, 4096u}) {
        Bytes buffer(window);
        std::uint64_t walked = 0, drawn = 0;
        for (const Image& image : build.images) {
            const auto size = static_cast<std::uint32_t>(build.theme.size());
            const auto w = static_cast<std::uint32_t>(image.width);
            const std::int32_t top = image.height - image.height / 4;
            CountingFlash flash{&build.theme};
            theme_image ti;
            theme_rows rows;
            theme_status st = theme_image_open_io(&ti, readCounting, &flash, size, image.slot,
                                                  buffer.data(), window);
            st = st == THEME_OK ? theme_rows_begin(&rows, &ti, 0) : st;
            for (std::int32_t y = 0; st == THEME_OK && y < image.height; ++y) {
                st = theme_rows_next(&rows, fb.data(), 0, image.width);
            }
            const std::uint64_t walk = flash.given;
            flash.given = 0;
            if (st == THEME_OK) {
                st = theme_image_open_io(&ti, readCounting, &flash, size, image.slot, buffer.data(),
                                         window);
            }
            if (st == THEME_OK) {
                st = theme_draw(&ti, fb.data(), w, {0, top, image.width, image.height - top}, 0, 0,
                                0);
            }
            bounded &= st == THEME_OK && walk <= image.slot.size + window &&
                       flash.given <= image.slot.size + window;
            walked += walk;
            drawn += flash.given;
        }
        std::printf(
            "  window of %4u: a walk of every row %llu, a draw of the bottom quarter %llu\n",
            window, static_cast<unsigned long long>(walked),
            static_cast<unsigned long long>(drawn));
    }
    if (!bounded) {
        std::fprintf(stderr, "device_bench: an image read more than its slot and one window\n");
    }
    return bounded;
}

struct Bench {
    const Build* build = nullptr;
    std::vector<std::uint16_t> fb;
    Bytes window;

    // Draws (or copies) every image of one kind; returns the pixels drawn.
    std::uint64_t pass(bool screens, std::uint32_t window_size, int mode) {
        std::uint64_t pixels = 0;
        for (const Image& image : build->images) {
            if (image.screen != screens) {
                continue;
            }
            const auto w = static_cast<std::uint32_t>(image.width);
            if (mode == 0) {
                std::memcpy(fb.data(), image.rgb565.data(), image.rgb565.size());
                pixels += image.rgb565.size() / 2;
                continue;
            }
            theme_image ti;
            const auto size = static_cast<std::uint32_t>(build->theme.size());
            const theme_status opened =
                window_size == 0
                    ? theme_image_open(&ti, build->theme.data(), size, image.slot)
                    : theme_image_open_io(&ti, readMemory, const_cast<Bytes*>(&build->theme), size,
                                          image.slot, window.data(), window_size);
            const std::int32_t top = mode == 2 ? image.height - image.height / 4 : 0;
            const theme_rect clip{0, top, image.width, image.height - top};
            if (opened != THEME_OK || theme_draw(&ti, fb.data(), w, clip, 0, 0, 0) != THEME_OK) {
                std::fprintf(stderr, "device_bench: cannot draw an image\n");
                std::exit(1);
            }
            pixels += static_cast<std::uint64_t>(clip.w) * static_cast<std::uint64_t>(clip.h);
        }
        return pixels;
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Measurement {
    const char* name;
    std::uint32_t window;
    int mode; // 0 memcpy, 1 whole draw, 2 bottom quarter
    std::vector<double> seconds[2] = {};
    std::uint64_t pixels[2] = {0, 0};
};

} // namespace

int main(int argc, char** argv) {
    CorpusShape shape;
    int runs = 9;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string arg = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (arg == "--runs" && value > 0) {
            runs = value;
        } else if (arg == "--icons" && value >= 0) {
            shape.icons = value;
        } else if (arg == "--screens" && value >= 0) {
            shape.screens = value;
        } else {
            std::fprintf(stderr, "usage: device_bench [--runs N] [--icons N] [--screens N]\n");
            return 2;
        }
    }
    const Build build = encodeCorpus(shape);
    Bench bench{&build, std::vector<std::uint16_t>(480 * 800), Bytes(4096)};
    std::vector<Measurement> ms = {{"memcpy of the RGB565 (floor)", 0, 0},
                                   {"draw, memory-mapped", 0, 1},
                                   {"draw, _io window 4096", 4096, 1},
                                   {"draw, _io window 64", 64, 1},
                                   {"bottom quarter, memory-mapped", 0, 2}};
    for (int run = 0; run < runs; ++run) {
        for (std::size_t k = 0; k < ms.size(); ++k) {
            Measurement& m = ms[(k + static_cast<std::size_t>(run)) % ms.size()];
            for (const int kind : {0, 1}) {
                const auto start = std::chrono::steady_clock::now();
                m.pixels[kind] = bench.pass(kind == 1, m.window, m.mode);
                m.seconds[kind].push_back(
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                        .count());
            }
        }
    }
    std::printf("theme 0 of the corpus: %d icons of 64 x 64, %d screens of 480 x 800, photo %d%%; "
                "medians of %d runs\n",
                shape.icons, shape.screens, shape.photoPercent, runs);
    std::printf("  %-32s %12s %12s %10s %10s\n", "", "icons ns/px", "screens ns/px", "x memcpy",
                "x whole");
    const auto perPixel = [](const Measurement& m, int kind) {
        return m.pixels[kind] == 0
                   ? 0.0
                   : 1e9 * median(m.seconds[kind]) / static_cast<double>(m.pixels[kind]);
    };
    for (const Measurement& m : ms) {
        const double both = median(m.seconds[0]) + median(m.seconds[1]);
        const double floor = median(ms[0].seconds[0]) + median(ms[0].seconds[1]);
        const double whole = median(ms[1].seconds[0]) + median(ms[1].seconds[1]);
        std::printf("  %-32s %12.3f %12.3f %10.2f %10.2f\n", m.name, perPixel(m, 0), perPixel(m, 1),
                    both / floor, both / whole);
    }
    std::printf("  (x memcpy, x whole: the time for all images against the floor's and the whole "
                "memory-mapped draw's)\n  fb checksum %u\n",
                static_cast<unsigned>(bench.fb[12345] + bench.fb[0]));
    return printBytesRead(build, bench.fb) ? 0 : 1;
}
