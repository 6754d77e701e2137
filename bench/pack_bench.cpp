// Packs a generated theme tree the size of a large real one and compares the load and build
// phases with the floor: opening, reading and closing every input file once. Also reports the
// time per file and the process's peak memory.
//
//   pack_bench [FOLDER] [RUNS]
//
// The tree (3000 icons of 64 x 64 in 20 folders and 40 screens of 480 x 800, 24-bit, UI-like;
// variant theme 1 replaces 30% of them) is written to FOLDER (default: a folder under /tmp) the
// first time and reused afterwards.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <set>

#include "app/packager.h"
#include "examples/bmp_writer.h"
#include "platform/platform.h"
#include "source/file_list.h"

namespace fs = std::filesystem;

namespace {

constexpr int kIconFolders = 20;
constexpr int kIconsPerFolder = 150;
constexpr int kScreens = 40;

bool overriddenByVariant(int index) {
    return index % 10 < 3;
}

bool writeImage(const fs::path& file, int width, int height, std::uint32_t seed) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    return !ec && writeBytesFile(file.string(), makeUiLikeBmp(width, height, seed));
}

bool generateTree(const fs::path& root) {
    int index = 0;
    for (int theme : {0, 1}) {
        index = 0;
        const fs::path themeFolder = root / std::to_string(theme);
        for (int f = 0; f < kIconFolders; ++f) {
            for (int i = 0; i < kIconsPerFolder; ++i, ++index) {
                if (theme == 1 && !overriddenByVariant(index)) {
                    continue;
                }
                char name[32];
                std::snprintf(name, sizeof name, "icon_%04d.bmp", i);
                const fs::path file = themeFolder / ("group_" + std::to_string(f)) / name;
                if (!writeImage(file, 64, 64, static_cast<std::uint32_t>(index + 7919 * theme))) {
                    return false;
                }
            }
        }
        for (int s = 0; s < kScreens; ++s, ++index) {
            if (theme == 1 && !overriddenByVariant(index)) {
                continue;
            }
            const fs::path file =
                themeFolder / "screens" / ("screen_" + std::to_string(s) + ".bmp");
            if (!writeImage(file, 480, 800, static_cast<std::uint32_t>(index + 7919 * theme))) {
                return false;
            }
        }
    }
    std::FILE* marker = std::fopen((root / "complete").string().c_str(), "wb");
    return marker != nullptr && std::fclose(marker) == 0;
}

// Every file that a theme's list names, theme by theme: what a packer that converts each
// theme's images reads. A variant entry without its own file names the base theme's file.
std::vector<std::string> themeInputFiles(const std::string& root) {
    std::vector<std::string> files;
    std::vector<SourceProblem> problems;
    ImageFileEntry base;
    listBaseTheme(base, root, 0, problems);
    ImageFileEntry variant;
    listVariantTheme(variant, root, 1, base, problems);
    for (const ImageFileEntry* list : {&base, &variant}) {
        for (const ImageFileEntry* e = list->next.get(); e != nullptr; e = e->next.get()) {
            files.push_back(joinPath(e->dirPath, e->fileName));
        }
    }
    return files;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The least any packer must do: open, read and close every input file once.
double floorSeconds(const std::vector<std::string>& files, std::uint64_t& bytes) {
    std::vector<char> buffer(1 << 20);
    bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& path : files) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            continue;
        }
        std::size_t got = 0;
        while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
            bytes += got;
        }
        std::fclose(file);
    }
    return secondsSince(start);
}

double packSeconds() {
    PackagerState state;
    initSettings(state);
    state.zipAfterBuild = 0;
    const auto start = std::chrono::steady_clock::now();
    loadThemes(state);
    buildBinFiles(state);
    const double seconds = secondsSince(start);
    std::fputc('\n', stdout);
    return state.exitStatus == 0 ? seconds : -1.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Sizes shown with one decimal: a double is exact enough for that.
double megabytes(std::uint64_t bytes) {
    return static_cast<double>(bytes) / 1e6;
}

std::uint64_t fileSize(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

} // namespace

int main(int argc, char** argv) {
    const fs::path root =
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tp-pack-bench";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    if (!fs::exists(root / "complete")) {
        std::printf("generating the tree in %s ...\n", root.string().c_str());
        if (!generateTree(root)) {
            std::fprintf(stderr, "pack_bench: cannot write the tree in %s\n",
                         root.string().c_str());
            return 1;
        }
    }
    const std::vector<std::string> files = themeInputFiles(root.string());
    const std::set<std::string> distinctSet(files.begin(), files.end());
    const std::vector<std::string> distinct(distinctSet.begin(), distinctSet.end());
    std::uint64_t inputBytes = 0;
    std::uint64_t distinctBytes = 0;
    std::uint64_t largestInput = 0;
    for (const std::string& file : distinct) {
        largestInput = std::max(largestInput, fileSize(file));
    }
    if (!setCurrentFolder(root.string())) {
        std::fprintf(stderr, "pack_bench: cannot enter %s\n", root.string().c_str());
        return 1;
    }
    const long baseKilobytes = peakResidentKilobytes();

    std::vector<double> floors;
    std::vector<double> distinctFloors;
    std::vector<double> packs;
    for (int run = 0; run < runs; ++run) {
        floors.push_back(floorSeconds(files, inputBytes));
        distinctFloors.push_back(floorSeconds(distinct, distinctBytes));
        const double seconds = packSeconds();
        if (seconds < 0) {
            std::fprintf(stderr, "pack_bench: the packager failed\n");
            return 1;
        }
        packs.push_back(seconds);
    }
    const double floorTime = median(floors);
    const double distinctFloorTime = median(distinctFloors);
    const double packTime = median(packs);
    const std::uint64_t output = fileSize(root / "Index.bin") + fileSize(root / "0" / "Theme.bin") +
                                 fileSize(root / "1" / "Theme.bin");
    const double mib = 1024.0 * 1024.0;
    std::printf("input: %zu files named by the themes' lists, %.1f MB of BMP; %zu distinct files, "
                "%.1f MB (largest %.2f MB); output %.1f MB of bins\n",
                files.size(), megabytes(inputBytes), distinct.size(), megabytes(distinctBytes),
                megabytes(largestInput), megabytes(output));
    std::printf("floor (open, read, close every file of every list): %.1f ms  (median of %d)\n",
                floorTime * 1e3, runs);
    std::printf("floor over the distinct files only:                 %.1f ms\n",
                distinctFloorTime * 1e3);
    std::printf("load + build phases:                                %.1f ms  (median of %d)\n",
                packTime * 1e3, runs);
    std::printf("ratio to the floor: %.2f (to the distinct-file floor: %.2f); time per listed "
                "file: %.1f us\n",
                packTime / floorTime, packTime / distinctFloorTime,
                packTime / static_cast<double>(files.size()) * 1e6);
    std::printf("peak memory: %.1f MiB (%.1f MiB before packing); budget: output + 2 x largest "
                "input + 32 MiB = %.1f MiB\n",
                static_cast<double>(peakResidentKilobytes()) / 1024.0,
                static_cast<double>(baseKilobytes) / 1024.0,
                static_cast<double>(output + 2 * largestInput) / mib + 32.0);
    return 0;
}
