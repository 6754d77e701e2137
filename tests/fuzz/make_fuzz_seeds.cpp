// Writes the seed inputs of a fuzz target into a folder, at build time: BMP files of every form
// the reader accepts, RLE blobs of every mode from the encoder, gzip streams of encoded images,
// and a build the bin writer made, so that no opaque binary file needs to live in the repository.
//
//   make_fuzz_seeds TARGET FOLDER
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "examples/bmp_writer.h"
#include "gzip/gzip_stream.h"
#include "output/bin_format.h"
#include "output/bin_writer.h"
#include "support/group_tables.h"
#include "support/rle_check.h"
#include "support/sample_forms.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Seeds = std::vector<std::pair<std::string, Bytes>>;

Seeds bmpSeeds() {
    Seeds seeds;
    int size = 0;
    for (const auto& [name, form] : kSampleForms) {
        ++size;
        seeds.emplace_back(std::string(name) + ".bmp",
                           sample(form, 5 + 4 * size, 3 + size % 5).first);
    }
    return seeds;
}

// A flat PRI0 block of 32-bit pixels from a UI-like picture.
Bytes pri0Block32(int width, int height) {
    std::vector<std::uint32_t> pixels = makeUiLikePixels(width, height, 5);
    for (std::uint32_t& pixel : pixels) {
        pixel |= 0xFF000000;
    }
    return makePri0Block(width, height, 32, pixels);
}

Seeds rleSeeds() {
    Bytes flat(kImageHeaderSize + 2 * 5000, 0x11);
    writeImageHeader(flat.data(), {kPri0Magic, 5000, 1, 16});
    Bytes noRows(kImageHeaderSize);
    writeImageHeader(noRows.data(), {kPri0Magic, 0, 3, 16});
    return {
        {"rle4-ui", encodeBlock(uiLikePri0Block(24, 12, 1), RunMode::kRows)},
        {"rle4-one-row", encodeBlock(uiLikePri0Block(40, 1, 2), RunMode::kRows)},
        {"rle4-runs-cut-by-length", encodeBlock(flat, RunMode::kRows)},
        {"rle5-rows", encodeBlock(pri0Block32(12, 6), RunMode::kRows)},
        {"rle5-words-odd-pixels", encodeBlock(uiLikePri0Block(15, 7, 3), RunMode::kWords)},
        {"rle5-words-32", encodeBlock(pri0Block32(9, 4), RunMode::kWords)},
        {"header-only", encodeBlock(noRows, RunMode::kRows)},
        {"rle5-huge", hugeWordBlob()},
    };
}

bool append(void* context, const std::uint8_t* bytes, std::size_t size, int&) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
    return true;
}

Bytes gzip(const Bytes& data, int level) {
    MemoryBytes memory{data};
    Bytes member;
    GzipError error;
    return gzipCompress(memorySource(memory), {&member, append}, level, error) ? member : Bytes{};
}

Seeds gzipSeeds() {
    const Bytes member = gzip(encodeBlock(uiLikePri0Block(40, 24, 6), RunMode::kRows), 9);
    return {
        {"member", member},
        {"empty-member-and-member", join({gzip({}, 1), member})},
        {"zero-padded", join({member, Bytes(16, 0)})},
        {"trailing-garbage", join({member, {'j', 'u', 'n', 'k'}})},
    };
}

// Index.bin and the Theme.bin of themes 0 and 1 as the bin writer makes them, each given as a
// 2-byte little-endian length and its bytes, the framing the verify and device reader targets
// read. arrowMode: how theme 1's arrow is encoded (words: an RLE5 slot of 16-bit pixels, which
// no bin may hold).
Bytes framedBuild(const fs::path& folder, RunMode arrowMode = RunMode::kRows) {
    const fs::path root = folder / "build";
    GroupTables tables;
    ThemeFlags present{};
    for (int theme = 0; theme < 2; ++theme) {
        present[theme] = 1;
        std::error_code ec;
        fs::create_directories(root / std::to_string(theme), ec);
        tables[theme] = std::make_unique<ImageGroup>();
        fileRecord(*tables[theme], "0", "logo.bmp",
                   encodeBlock(uiLikePri0Block(12, 9, 1), RunMode::kRows));
        fileRecord(
            *tables[theme], "menu", "bg.bmp",
            encodeBlock(uiLikePri0Block(20, 6 + 3 * theme, 2u + static_cast<std::uint32_t>(theme)),
                        RunMode::kRows));
        fileRecord(*tables[theme], "menu", "arrow.bmp",
                   encodeBlock(uiLikePri0Block(4, 4, 4), theme == 1 ? arrowMode : RunMode::kRows));
    }
    std::string error;
    Bytes framed;
    if (writeBinFiles(tables, present, root.string(), 1, error) == 0) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.c_str());
        return {};
    }
    for (const std::string& name :
         {std::string(kIndexFileName), themeBinName(0), themeBinName(1)}) {
        std::ifstream in(root / name, std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
        std::uint8_t length[2];
        storeU16Le(length, static_cast<std::uint16_t>(bytes.size()));
        framed.insert(framed.end(), length, length + 2);
        framed.insert(framed.end(), bytes.begin(), bytes.end());
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    return framed;
}

// The build after the choices of the device reader target: a framebuffer of 32 x 24 pixels,
// whole and cut by a clip, with the image in it, partly off it and above it; plain, and keyed
// with the colour of the logo's first pixel.
Seeds themeReaderSeeds(const fs::path& folder) {
    const Bytes build = framedBuild(folder);
    const Bytes logo = uiLikePri0Block(12, 9, 1);
    Seeds seeds;
    for (const std::uint8_t place : {std::uint8_t{0}, std::uint8_t{5}, std::uint8_t{0xF8}}) {
        Bytes choices = {31, 23, 0, 0, 0, 0, 32, 24, 0, place, place, 0, 4, logo[16], logo[17], 0};
        seeds.emplace_back("draw-at-" + std::to_string(place), join({choices, build}));
        choices[3] = 2;
        seeds.emplace_back("keyed-at-" + std::to_string(place), join({choices, build}));
        choices[3] = 1, choices[4] = 3, choices[5] = 2, choices[6] = 9, choices[7] = 5;
        seeds.emplace_back("clipped-swapped-at-" + std::to_string(place), join({choices, build}));
        choices[3] = 3;
        seeds.emplace_back("clipped-swapped-keyed-at-" + std::to_string(place),
                           join({choices, build}));
    }
    return seeds;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_fuzz_seeds TARGET FOLDER\n");
        return 2;
    }
    const std::string target = argv[1];
    const fs::path folder = argv[2];
    std::error_code ec;
    fs::create_directories(folder, ec);
    const Seeds seeds = target == "bmp_round_trip" ? bmpSeeds()
                        : target == "rle_decode"   ? rleSeeds()
                        : target == "gzip_restore" ? gzipSeeds()
                        : target == "build_verify"
                            ? Seeds{{"two-themes", framedBuild(folder)},
                                    {"rle5-slot", framedBuild(folder, RunMode::kWords)}}
                        : target == "theme_reader" ? themeReaderSeeds(folder)
                                                   : Seeds{};
    if (seeds.empty()) {
        std::fprintf(stderr, "make_fuzz_seeds: no seeds for %s\n", target.c_str());
        return 1;
    }
    for (const auto& [name, bytes] : seeds) {
        const std::string path = (folder / name).string();
        if (bytes.empty() || !writeBytesFile(path, bytes)) {
            std::fprintf(stderr, "make_fuzz_seeds: cannot make %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
