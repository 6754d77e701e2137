// How the packer compares with the disk's floor, measured side by side in one run.
//
//   pack_bench [--themes N] [--icons N] [--photo P] [--runs N] [--zip] [FOLDER]
//
// Writes (once) a corpus of N themes in FOLDER: 3000 icons of 64 x 64 in 20 folders and 40
// screens of 480 x 800, 24-bit and UI-like, each variant replacing its own 30% of them. Then, in
// runs of rotating order, with every output removed before each, it times two floors and
// theme-packager with no VOX_ZIP to find:
//   pack_floor: open, one read and close of every input file, writes of 1 MiB into files of the
//     bins' sizes: the least I/O there is;
//   cat + dd: cat of every input file to /dev/null, then dd from /dev/zero into each file of a
//     bin's size: the same I/O by tools that owe nothing to this benchmark.
// pack_floor more than 10% slower than cat + dd is no floor: the benchmark says so and fails.
// It prints the medians of wall time, CPU time and peak memory, and the packer's ratios to the
// lower floor (in wall and in CPU each):
//   goal 1: packing wall <= 1.3 x the floor's wall, CPU <= 2 x the floor's CPU;
//   goal 3: peak memory <= themes x largest encoded image + 32 MiB + the encoded output;
// and the load average before and after, since other work on the machine shows in every figure.
// With --zip it also times normal runs (theme-packager with the real VOX_ZIP beside it) against
// pack_floor plus libdeflate-gzip -9 on the same bins, one process per bin, all started together
// (goal 2: <= 1.3), and VOX_ZIP -c -9 alone against libdeflate-gzip -9 alone on those bins, since
// the normal run's least wait of 5 s hides a compressor faster than that.
//
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_process.h"
#include "common/byte_order.h"
#include "platform/processes.h"

namespace fs = std::filesystem;

namespace {

struct Options {
    CorpusShape shape;
    int runs = 11;
    bool zip = false;
    std::string folder;
};

// Runs the commands together; true when every one ended with status 0.
bool runAll(const std::vector<std::vector<std::string>>& commands, const std::string& folder,
            Measure& measure) {
    std::vector<int> statuses;
    return runTogether(commands, folder, measure, statuses) &&
           std::all_of(statuses.begin(), statuses.end(), [](int s) { return s == 0; });
}

// Runs one command; its exit status, or -1 when it could not be run.
int runOne(const std::vector<std::string>& command, const std::string& folder, Measure& measure) {
    std::vector<int> statuses;
    return runTogether({command}, folder, measure, statuses) ? statuses.at(0) : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

Measure medians(const std::vector<Measure>& runs) {
    std::vector<double> wall;
    std::vector<double> cpu;
    std::vector<double> peak;
    for (const Measure& m : runs) {
        wall.push_back(m.wall);
        cpu.push_back(m.cpu);
        peak.push_back(m.peakMiB);
    }
    return {median(wall), median(cpu), median(peak)};
}

std::uint64_t sizeOf(const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

std::vector<std::uint8_t> bytesOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The largest slot Index.bin places: the largest encoded image of any theme.
std::uint64_t largestSlot(const std::vector<std::uint8_t>& index) {
    const auto u32 = [&](std::uint64_t at) -> std::uint64_t {
        return at + 4 <= index.size() ? loadU32Le(index.data() + at) : 0;
    };
    std::uint64_t largest = 0;
    for (std::uint64_t g = 0, groups = u32(8); g < groups && g < index.size(); ++g) {
        const std::uint64_t block = u32(16 + 16 * g + 12);
        for (std::uint64_t i = 0, n = u32(block); i < n && i < index.size(); ++i) {
            largest = std::max(largest, u32(block + 16 + 48 * i + 44));
        }
    }
    return largest;
}

struct Bins {
    std::vector<std::string> relative; // Index.bin, then <n>/Theme.bin
    std::uint64_t total = 0;
};

Bins binsOf(const fs::path& root, int themes) {
    Bins bins;
    bins.relative.push_back("Index.bin");
    for (int n = 0; n < themes; ++n) {
        bins.relative.push_back(std::to_string(n) + "/Theme.bin");
    }
    for (const std::string& bin : bins.relative) {
        bins.total += sizeOf(root / bin);
    }
    return bins;
}

// Every input file of the corpus once: what the floors read.
std::vector<std::string> inputFiles(const fs::path& root, int themes, std::uint64_t& bytes) {
    std::vector<std::string> files;
    bytes = 0;
    for (int n = 0; n < themes; ++n) {
        for (const auto& e : fs::recursive_directory_iterator(root / std::to_string(n))) {
            if (e.is_regular_file() && e.path().extension() == ".bmp") {
                files.push_back(e.path().string());
                bytes += e.file_size();
            }
        }
    }
    return files;
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--themes" && hasValue) {
            options.shape.themes = std::clamp(std::atoi(argv[++i]), 1, 10);
        } else if (arg == "--icons" && hasValue) {
            options.shape.icons = std::max(20, std::atoi(argv[++i]));
        } else if (arg == "--photo" && hasValue) {
            options.shape.photoPercent = std::clamp(std::atoi(argv[++i]), 1, 100);
        } else if (arg == "--runs" && hasValue) {
            options.runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--zip") {
            options.zip = true;
        } else if (!arg.empty() && arg[0] != '-' && options.folder.empty()) {
            options.folder = arg;
        } else {
            return false;
        }
    }
    if (options.folder.empty()) {
        options.folder =
            (fs::temp_directory_path() / ("tp-bench-" + std::to_string(options.shape.themes) + "-" +
                                          std::to_string(options.shape.icons) + "-" +
                                          std::to_string(options.shape.photoPercent)))
                .string();
    }
    return true;
}

void printMeasure(const char* what, const Measure& m) {
    std::printf("  %-28s wall %7.3f s   cpu %7.3f s   peak %7.1f MiB\n", what, m.wall, m.cpu,
                m.peakMiB);
}

// A copy of the listed programs in a folder of their own, so that the packager finds exactly the
// VOX_ZIP put beside it, or none.
fs::path privateCopy(const fs::path& scratch, const char* name,
                     const std::vector<std::string>& programs) {
    const fs::path folder = scratch / name;
    fs::create_directories(folder);
    for (const std::string& program : programs) {
        fs::copy_file(fs::path(executableFolder()) / program, folder / program,
                      fs::copy_options::overwrite_existing);
    }
    return folder;
}

// The floors' outputs: a file of each bin's size under scratch/floor.
struct FloorOutputs {
    std::vector<fs::path> paths;
    std::vector<std::uint64_t> sizes;
};

FloorOutputs floorOutputs(const fs::path& root, const fs::path& scratch, const Bins& bins) {
    FloorOutputs outputs;
    for (const std::string& bin : bins.relative) {
        outputs.paths.push_back(scratch / "floor" / bin);
        outputs.sizes.push_back(sizeOf(root / bin));
        fs::create_directories(outputs.paths.back().parent_path());
    }
    return outputs;
}

// Every run starts without the files it writes: replacing a file costs what its old pages cost
// to drop, which is no part of writing it.
void removeOutputs(const fs::path& root, const Bins& bins, const FloorOutputs& outputs) {
    std::error_code ec;
    for (const std::string& bin : bins.relative) {
        fs::remove(root / bin, ec);
    }
    for (const fs::path& path : outputs.paths) {
        fs::remove(path, ec);
    }
}

// pack_floor on the lists that floorCommands writes.
std::vector<std::string> packFloorCommand(const fs::path& scratch) {
    return {(fs::path(executableFolder()) / "pack_floor").string(),
            (scratch / "inputs.txt").string(), (scratch / "outputs.txt").string()};
}

// The two floors as commands: pack_floor's, and cat's followed by one dd per output, in turn.
struct Floors {
    std::vector<std::string> packFloor;
    std::vector<std::vector<std::string>> catAndDd;
};

Floors floorCommands(const fs::path& scratch, const std::vector<std::string>& inputs,
                     const FloorOutputs& outputs) {
    Floors floors;
    {
        std::ofstream list(scratch / "inputs.txt");
        for (const std::string& input : inputs) {
            list << input << '\n';
        }
        std::ofstream sizes(scratch / "outputs.txt");
        for (std::size_t i = 0; i < outputs.paths.size(); ++i) {
            sizes << outputs.sizes[i] << ' ' << outputs.paths[i].string() << '\n';
        }
    }
    floors.packFloor = packFloorCommand(scratch);
    std::vector<std::string> cat{"/usr/bin/cat", "--"};
    cat.insert(cat.end(), inputs.begin(), inputs.end());
    floors.catAndDd.push_back(std::move(cat));
    for (std::size_t i = 0; i < outputs.paths.size(); ++i) {
        floors.catAndDd.push_back({"/usr/bin/dd", "if=/dev/zero", "of=" + outputs.paths[i].string(),
                                   "bs=1M", "count=" + std::to_string(outputs.sizes[i]),
                                   "iflag=count_bytes", "status=none"});
    }
    return floors;
}

// For the tools of the second floor: cat takes a 128 KiB buffer for every file, and glibc would
// map and unmap a block that large each time, page faults that are no I/O. With these thresholds
// it keeps one.
const std::vector<std::string> kToolEnvironment{
    "GLIBC_TUNABLES=glibc.malloc.mmap_threshold=4194304:glibc.malloc.trim_threshold=67108864"};

// Runs the commands one after the other; true when every one ended with status 0.
bool runInTurn(const std::vector<std::vector<std::string>>& commands, const std::string& folder,
               Measure& measure) {
    for (const auto& command : commands) {
        std::vector<int> statuses;
        if (!runTogether({command}, folder, measure, statuses, kToolEnvironment) ||
            statuses.at(0) != 0) {
            return false;
        }
    }
    return true;
}

std::string loadAverage() {
    double load[3] = {};
    if (getloadavg(load, 3) != 3) {
        return "unknown";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
    return text;
}

int comparePacking(const Options& options, const fs::path& root, const fs::path& scratch,
                   Bins& bins) {
    const std::string loadBefore = loadAverage();
    std::uint64_t inputBytes = 0;
    const std::vector<std::string> inputs = inputFiles(root, options.shape.themes, inputBytes);
    const fs::path packer = privateCopy(scratch, "lone", {"theme-packager"}) / "theme-packager";
    const std::vector<std::string> packCommand{packer.string()};
    Measure warm;
    // The bins written, no VOX_ZIP to be found: "Success(1)", exit status 2.
    if (const int status = runOne(packCommand, root.string(), warm); status != 2) {
        std::fprintf(stderr, "pack_bench: theme-packager ended with %d\n", status);
        return 1;
    }
    bins = binsOf(root, options.shape.themes);
    const double largest = static_cast<double>(largestSlot(bytesOf(root / "Index.bin")));
    const FloorOutputs outputs = floorOutputs(root, scratch, bins);
    const Floors floors = floorCommands(scratch, inputs, outputs);
    if (!runAll({floors.packFloor}, root.string(), warm) ||
        !runInTurn(floors.catAndDd, root.string(), warm)) {
        std::fprintf(stderr, "pack_bench: a floor failed\n");
        return 1;
    }
    std::vector<Measure> packFloors;
    std::vector<Measure> catAndDds;
    std::vector<Measure> packs;
    for (int run = 0; run < options.runs; ++run) {
        Measure packFloor;
        Measure catAndDd;
        Measure pack;
        // Rotate the order, so that none always runs on another's warm cache.
        for (int turn = 0; turn < 3; ++turn) {
            removeOutputs(root, bins, outputs);
            switch ((run + turn) % 3) {
            case 0:
                runAll({floors.packFloor}, root.string(), packFloor);
                break;
            case 1:
                runInTurn(floors.catAndDd, root.string(), catAndDd);
                break;
            default:
                runOne(packCommand, root.string(), pack);
                break;
            }
        }
        packFloors.push_back(packFloor);
        catAndDds.push_back(catAndDd);
        packs.push_back(pack);
    }
    // The bins of a run stay, for --zip and for a look.
    removeOutputs(root, bins, outputs);
    runOne(packCommand, root.string(), warm);
    const Measure f = medians(packFloors);
    const Measure c = medians(catAndDds);
    const Measure p = medians(packs);
    const Measure lower{std::min(f.wall, c.wall), std::min(f.cpu, c.cpu), 0};
    const int listed = options.shape.themes * (options.shape.icons + options.shape.screens);
    const double budget =
        (options.shape.themes * largest + static_cast<double>(bins.total)) / (1024.0 * 1024.0) +
        32.0;
    std::printf("corpus: %d themes, %zu input files, %.1f MB; bins %.1f MB, largest encoded "
                "image %.2f MB\n",
                options.shape.themes, inputs.size(), static_cast<double>(inputBytes) / 1e6,
                static_cast<double>(bins.total) / 1e6, largest / 1e6);
    std::printf("packing without VOX_ZIP, medians of %d runs in rotating order, outputs removed "
                "before each:\n",
                options.runs);
    printMeasure("floor: pack_floor", f);
    printMeasure("floor: cat + dd", c);
    printMeasure("theme-packager", p);
    const double floorWall = f.wall / c.wall;
    const double floorCpu = f.cpu / c.cpu;
    std::printf("  pack_floor / cat + dd: wall %.2f, cpu %.2f (no floor above 1.10)\n", floorWall,
                floorCpu);
    std::printf("  goal 1, to the lower floor: wall ratio %.2f (<= 1.3), cpu ratio %.2f (<= 2.0); "
                "%.1f us per listed image (%d listed)\n",
                p.wall / lower.wall, p.cpu / lower.cpu, p.wall / listed * 1e6, listed);
    std::printf("  goal 3: peak %.1f MiB, budget themes x largest + 32 MiB + output = %.1f MiB "
                "(%.0f%%)\n",
                p.peakMiB, budget, 100.0 * p.peakMiB / budget);
    std::printf("  load average (1, 5, 15 min): %s before, %s after\n", loadBefore.c_str(),
                loadAverage().c_str());
    if (floorWall > 1.10 || floorCpu > 1.10) {
        std::fprintf(stderr,
                     "pack_bench: FAILED: pack_floor takes %.0f%% of the wall time and %.0f%% of "
                     "the CPU time of cat + dd doing the same I/O: it is no floor, and the ratios "
                     "above mean nothing\n",
                     100.0 * floorWall, 100.0 * floorCpu);
        return 1;
    }
    return 0;
}

int compareCompression(const Options& options, const fs::path& root, const fs::path& scratch,
                       const Bins& bins) {
    // The uncompressed bins of a packing run, for libdeflate-gzip to work on.
    const fs::path saved = scratch / "bins";
    for (const std::string& bin : bins.relative) {
        fs::create_directories((saved / bin).parent_path());
        fs::copy_file(root / bin, saved / bin, fs::copy_options::overwrite_existing);
    }
    const fs::path full = privateCopy(scratch, "full", {"theme-packager", "VOX_ZIP"});
    const FloorOutputs outputs = floorOutputs(root, scratch, bins);
    const std::vector<std::string> floorCommand = packFloorCommand(scratch);
    std::vector<std::vector<std::string>> gzipCommands;
    std::vector<std::vector<std::string>> voxZipCommands;
    for (const std::string& bin : bins.relative) {
        gzipCommands.push_back({"/usr/bin/libdeflate-gzip", "-9", "-k", "-f", bin});
        voxZipCommands.push_back({(full / "VOX_ZIP").string(), "-c", "-9", bin});
    }
    const int runs = std::min(options.runs, 3);
    std::vector<Measure> references;
    std::vector<Measure> normals;
    std::vector<Measure> gzips;
    std::vector<Measure> voxZips;
    for (int run = 0; run < runs; ++run) {
        Measure reference;
        Measure gzip;
        Measure voxZip;
        removeOutputs(root, {}, outputs);
        if (!runAll({floorCommand}, root.string(), reference) ||
            !runAll(gzipCommands, saved.string(), gzip) ||
            !runAll(voxZipCommands, saved.string(), voxZip)) {
            std::fprintf(stderr, "pack_bench: the reference failed (is libdeflate-gzip "
                                 "installed? Debian: libdeflate-tools)\n");
            return 1;
        }
        reference.wall += gzip.wall;
        reference.cpu += gzip.cpu;
        gzips.push_back(gzip);
        voxZips.push_back(voxZip);
        Measure normal;
        if (const int status = runOne({(full / "theme-packager").string()}, root.string(), normal);
            status != 0) {
            std::fprintf(stderr, "pack_bench: the normal run ended with %d\n", status);
            return 1;
        }
        references.push_back(reference);
        normals.push_back(normal);
    }
    const Measure r = medians(references);
    const Measure n = medians(normals);
    std::printf("normal runs with VOX_ZIP, medians of %d paired runs:\n", runs);
    printMeasure("floor + libdeflate-gzip -9", r);
    printMeasure("theme-packager + VOX_ZIP", n);
    std::printf("  goal 2: wall ratio %.2f (<= 1.3)\n", n.wall / r.wall);
    // The normal run waits at least 5 s for the compressors; below that, this is the comparison
    // that says how fast VOX_ZIP compresses.
    const Measure g = medians(gzips);
    const Measure v = medians(voxZips);
    printMeasure("libdeflate-gzip -9 alone", g);
    printMeasure("VOX_ZIP -c -9 alone", v);
    std::printf("  compressors: VOX_ZIP / libdeflate-gzip wall ratio %.2f, cpu ratio %.2f\n",
                v.wall / g.wall, v.cpu / g.cpu);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: pack_bench [--themes N] [--icons N] [--photo P] [--runs N] "
                             "[--zip] [FOLDER]\n");
        return 2;
    }
    std::string error;
    if (!ensureCorpus(options.folder, options.shape, error)) {
        std::fprintf(stderr, "pack_bench: %s\n", error.c_str());
        return 1;
    }
    const fs::path root = options.folder;
    const fs::path scratch = root / "bench";
    fs::create_directories(scratch);
    Bins bins;
    if (const int status = comparePacking(options, root, scratch, bins); status != 0) {
        return status;
    }
    return options.zip ? compareCompression(options, root, scratch, bins) : 0;
}
