// Writes the sample theme tree that `make demo` packs: a base theme in folder 0 with images in
// four groups, and a variant theme in folder 2 that replaces two of them. The pictures are
// generated, so the repository carries no opaque bitmaps.
#include <cstdio>
#include <filesystem>
#include <string>

#include "examples/bmp_writer.h"

namespace {

struct SampleImage {
    const char* path;
    int width;
    int height;
    std::uint32_t seed;
};

constexpr SampleImage kImages[] = {
    {"0/logo.bmp", 48, 48, 1},
    {"0/idle/bg.bmp", 240, 320, 2},
    {"0/idle/clock.bmp", 96, 32, 3},
    {"0/menu/bg.bmp", 240, 320, 4},
    {"0/menu/arrow.bmp", 16, 16, 5},
    {"0/menu/icons/call.bmp", 32, 32, 6},
    {"0/menu/icons/mail.bmp", 32, 32, 7},
    {"2/idle/bg.bmp", 240, 320, 22},
    {"2/menu/arrow.bmp", 16, 16, 25},
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-sample-themes FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const SampleImage& image : kImages) {
        const std::filesystem::path file = root / image.path;
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec ||
            !writeBytesFile(file.string(), makeUiLikeBmp(image.width, image.height, image.seed))) {
            std::fprintf(stderr, "make-sample-themes: cannot write %s\n", file.string().c_str());
            return 1;
        }
    }
    return 0;
}
