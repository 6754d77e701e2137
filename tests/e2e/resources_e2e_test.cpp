// theme-packager, VOX_ZIP and theme-inspect, the real binaries, when what they need runs out or
// they are told to stop: memory (an address-space limit, which Windows has not), open files, a
// signal. Each ends with its failure status and one line that says why, leaves no temporary file
// behind and keeps an earlier build exactly as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>

#include "common/byte_order.h"
#include "support/crafted_build.h"
#include "support/packager_run.h"
#include "support/rle_check.h"
#include "support/row_name.h"
#include "support/test_os.h"

namespace {

namespace fs = std::filesystem;

// Signal numbers as POSIX has them; on Windows each is sent as Ctrl+Break and ends the program
// with 130.
constexpr int kHangUp = 1;
constexpr int kInterrupt = 2;
constexpr int kTerminate = 15;

int interruptedStatus(int signal) {
    return kWindows ? 130 : 128 + signal;
}

// A picture of width x height random colours: run-length encoding cannot shrink it, so that its
// bins take long to write and to compress.
std::vector<std::uint8_t> noiseBmp(int width, int height, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) *
                                      static_cast<std::size_t>(height));
    std::generate(pixels.begin(), pixels.end(), [&rng] { return rng() & 0xFFFFFF; });
    return makeBmp({width, height}, pixels);
}

// Waits until a file whose name holds part and ends in ".tmp" is under root: the point where the
// test wants the program. False after a minute.
bool awaitTemporary(const TempFolder& root, const std::string& part) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (std::chrono::steady_clock::now() < end) {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root.path(), ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.find(part) != std::string::npos && name.ends_with(".tmp")) {
                return true;
            }
        }
    }
    return false;
}

struct Interruption {
    const char* name;
    int signal;
    // The temporary file whose appearance the signal waits for: a bin's while the bins are
    // written, a .gz's while VOX_ZIP compresses.
    const char* when;
};

class InterruptTest : public ::testing::TestWithParam<Interruption> {};

// Bins of tens of megabytes (a theme and three variants that take its images), so that the
// signal comes while they are written or compressed. Stopped while writing, the run leaves the
// earlier build as it was; stopped while compressing, it leaves the new bins and stops VOX_ZIP,
// which removes its own temporary files: a .gz is there only when its VOX_ZIP had finished it
// (all four run at once, and on a busy machine some finish before the signal comes), whole.
// Neither leaves a process behind.
TEST_P(InterruptTest, LeavesNoTemporaryAndNoProcess) {
    if (kWindows) {
        GTEST_SKIP() << "Wine hands no console event to a program started without a console";
    }
    const Interruption& r = GetParam();
    TempFolder root;
    for (const char* name : {"0/a.bmp", "0/b.bmp", "0/c.bmp"}) {
        root.writeBytes(name, noiseBmp(1400, 1400, static_cast<std::uint32_t>(name[2])));
    }
    for (const char* variant : {"1/", "2/", "3/"}) {
        root.makeFolder(variant);
    }
    ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
    root.writeBytes("0/a.bmp", noiseBmp(1400, 1400, 99)); // the next bins differ
    const auto before = snapshot(root);
    const bool compressing = std::string(r.when) == ".gz.";
    const LonePackager packager(compressing ? "" : nullptr);

    StartedProgram run = packager.start(root);
    ASSERT_TRUE(awaitTemporary(root, r.when));
    signalProgram(run, r.signal);
    const ProgramResult result = finishProgram(run);

    EXPECT_EQ(result.exitStatus, interruptedStatus(r.signal)) << result.err;
    EXPECT_FALSE(anyTemporary(root));
    if (!compressing) {
        EXPECT_TRUE(snapshot(root) == before); // not printed: megabytes
    } else {
        for (const char* bin : {"Index.bin", "0/Theme.bin", "3/Theme.bin"}) {
            EXPECT_TRUE(root.exists(bin)) << bin;
            const std::string gz = std::string(bin) + ".gz";
            if (root.exists(gz)) {
                // A gzip member ends with the size of what it holds.
                const auto packed = root.readBytes(gz);
                ASSERT_GE(packed.size(), 18u) << gz;
                EXPECT_EQ(loadU32Le(packed.data() + packed.size() - 4),
                          static_cast<std::uint32_t>(root.readBytes(bin).size()))
                    << gz;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, InterruptTest,
    ::testing::Values(Interruption{"InterruptWhileWriting", kInterrupt, ".bin."},
                      Interruption{"HangUpWhileWriting", kHangUp, ".bin."},
                      Interruption{"TerminateWhileCompressing", kTerminate, ".gz."}),
    rowName);

#ifdef TP_PRELOAD_SEAM_LIBRARY
// A stop signal while the bins are put in place waits until every one is and the .gz files of the
// earlier run are gone: the build is all new, never new bins beside old ones nor beside an old
// .gz. The seam sends it right after the first rename, or right after the first VOX_ZIP (which
// blocks) starts.
TEST(PublishTest, AStopSignalLeavesNoMixedBuild) {
    const std::vector<std::string> bins = {"Index.bin", "0/Theme.bin", "3/Theme.bin"};
    for (const auto& [after, tool] : {std::pair<const char*, const char*>{"rename 1 stop", nullptr},
                                      {"posix_spawn 1 stop", "* sleep 60000\n"}}) {
        SCOPED_TRACE(after);
        TempFolder root;
        writeTree(root, {"0/a.bmp", "3/a.bmp"});
        ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
        std::map<std::string, std::vector<std::uint8_t>> earlier;
        for (const std::string& bin : bins) {
            earlier[bin] = root.readBytes(bin);
            root.writeBytes(bin + ".gz", gzipped(earlier[bin]));
        }
        writeTree(root, {"0/b.bmp"}); // every bin changes
        const LonePackager packager(tool, true);
        StartedProgram run =
            packager.start(root, {.variables = {"LD_PRELOAD=" TP_PRELOAD_SEAM_LIBRARY,
                                                "TP_AFTER=" + std::string(after)}});
        EXPECT_EQ(finishProgram(run).exitStatus, interruptedStatus(kTerminate));
        for (const std::string& bin : bins) {
            EXPECT_NE(root.readBytes(bin), earlier[bin]) << bin << " is the earlier run's";
            EXPECT_FALSE(root.exists(bin + ".gz")) << bin;
        }
        EXPECT_FALSE(anyTemporary(root));
    }
}
#endif

// Memory that runs out while images are converted says nothing of the images: the run writes
// nothing, and the earlier build stays whole instead of being replaced by one that lacks them.
// Under a limit that is enough, eight threads give what one gives, run after run: what they hold
// ahead of the filing is bounded, and none needs more than a band of rows.
TEST(ResourcesTest, UnderAMemoryLimitARunIsWholeOrWritesNothing) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has no address-space limit";
    }
    TempFolder root;
    for (int i = 0; i < 16; ++i) {
        root.writeBytes("0/i" + std::to_string(10 + i) + ".bmp",
                        noiseBmp(600, 600, static_cast<std::uint32_t>(i)));
    }
    const LonePackager packager(nullptr, true);
    ASSERT_EQ(packager.run(root).exitStatus, 2);
    root.writeBytes("0/i10.bmp", noiseBmp(600, 600, 99));
    const auto before = snapshot(root);
    const auto limited = [&](std::uint64_t memory, std::vector<std::string> variables = {}) {
        StartedProgram run = packager.start(root, {.memoryLimit = memory, .variables = variables});
        return finishProgram(run);
    };

    const ProgramResult starved = limited(16 << 20);
    EXPECT_EQ(starved.out, kBanner + kCannotWrite + kCompletion);
    EXPECT_EQ(starved.exitStatus, 1);
    // Which image finds the memory gone depends on the machine; that it is said, and once, not.
    EXPECT_TRUE(starved.err.starts_with("theme-packager: theme 0: ")) << starved.err;
    EXPECT_TRUE(starved.err.ends_with(
        ".bmp needs more memory than is available; the run stops and writes nothing\n"))
        << starved.err;
    EXPECT_EQ(std::count(starved.err.begin(), starved.err.end(), '\n'), 1);
    EXPECT_TRUE(snapshot(root) == before); // not printed: megabytes

    ASSERT_EQ(limited(0, {"TP_THREADS=1"}).exitStatus, 2);
    const auto packed = snapshot(root);
    // Eight threads reserve more address space than one (their stacks and read buffers: some
    // 30 MiB, little of it touched); what they hold of the images stays bounded.
    for (int run = 0; run < 3; ++run) {
        const ProgramResult result = limited(96 << 20, {"TP_THREADS=8"});
        EXPECT_EQ(result.exitStatus, 2) << result.err;
        EXPECT_TRUE(snapshot(root) == packed) << "run " << run;
    }
}

// Memory that runs out in a standard container or string, where no result can say so, ends each
// tool with one line and its failure status instead of an abort: the packager while it lists
// 3000 long names for ten themes, theme-inspect while it checks 200,000 image entries.
TEST(ResourcesTest, MemoryThatRunsOutInAContainerEndsWithOneLine) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has no address-space limit";
    }
    TempFolder root;
    for (int i = 0; i < 3000; ++i) {
        root.writeFile("0/" + std::to_string(10000 + i) + std::string(240, 'x') + ".bmp", "BM");
    }
    for (int theme = 1; theme < kThemeSlots; ++theme) {
        root.makeFolder(std::to_string(theme));
    }
    const LonePackager packager(nullptr, true);
    StartedProgram run = packager.start(root, {.memoryLimit = 12 << 20});
    const ProgramResult packed = finishProgram(run);
    EXPECT_EQ(packed.out, kBanner + kCannotWrite + kCompletion);
    EXPECT_EQ(packed.err, "theme-packager: out of memory; the run stops\n");
    EXPECT_EQ(packed.exitStatus, 1);

    TempFolder build;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> slots;
    CraftedBytes images;
    const CraftedBytes header = makeBlob({kRle4Magic, 1, 1, 16}, {}, 2); // runs not read
    for (std::uint32_t k = 0; k < 200000; ++k) {
        slots.emplace_back(16 * k, 16);
        images.insert(images.end(), header.begin(), header.end());
    }
    build.writeBytes("Index.bin", craftedIndex(slots));
    build.writeBytes("0/Theme.bin", craftedTheme(images));
    const ProgramResult verified = runProgram(
        build.path(), {plainProgramPath("theme-inspect"), "verify"}, {.memoryLimit = 40 << 20});
    EXPECT_EQ(verified.out, "");
    EXPECT_EQ(verified.err, "theme-inspect: out of memory\n");
    EXPECT_EQ(verified.exitStatus, 1);
}

// A .gz is restored into one buffer, grown as the data comes: a bin of 128 MiB is verified
// within 200 MiB of address space (the bytes once, not twice), and VOX_ZIP restores 4 MB whose
// last four bytes, not a trailer, claim 2 GiB, without reserving them.
TEST(ResourcesTest, RestoringHoldsTheBytesOnce) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has no address-space limit";
    }
    TempFolder build;
    CraftedBytes slot = makePri0Block(8192, 8192, 16, {});
    slot.resize(slot.size() + std::size_t{2} * 8192 * 8192);
    build.writeBytes("Index.bin", craftedIndex({{0, static_cast<std::uint32_t>(slot.size())}}));
    build.writeBytes("0/Theme.bin.gz", gzipped(craftedTheme(slot)));
    const ProgramResult verified = runProgram(
        build.path(), {plainProgramPath("theme-inspect"), "verify"}, {.memoryLimit = 200 << 20});
    EXPECT_EQ(verified.out, "Index.bin: no fault in 1 group, 1 image, 1 theme\n");
    EXPECT_EQ(verified.err, "");

    TempFolder data;
    std::mt19937 rng(4);
    CraftedBytes noise(4 << 20);
    std::generate(noise.begin(), noise.end(), [&rng] { return static_cast<std::uint8_t>(rng()); });
    CraftedBytes gz = gzipped(noise);
    const std::size_t members = gz.size();
    appendText(gz, "\xFF\xFF\xFF\x7F");
    data.writeBytes("a.gz", gz);
    const ProgramResult restored = runProgram(
        data.path(), {plainProgramPath("VOX_ZIP"), "-d", "a.gz"}, {.memoryLimit = 256 << 20});
    EXPECT_EQ(restored.err,
              "VOX_ZIP: a.gz: decompression OK, trailing garbage ignored (from byte " +
                  std::to_string(members) + " on)\n");
    EXPECT_EQ(restored.exitStatus, 2);
    EXPECT_TRUE(data.readBytes("a") == noise);
}

// The scan holds few folders open whatever the depth: 300 levels under a limit of 64 open files
// lose no image, and give the bytes of an unlimited run. Descriptors that still run out while
// folder 0 is listed (40 levels under 24) say nothing of its images: the run stops and writes
// nothing, instead of replacing the earlier build by one that lacks the deeper images. Nor is a
// root folder whose path is longer than one call of the OS takes a limit.
TEST(ResourcesTest, OpenFilesDepthAndTheRootsPath) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has no limit of open files, and enters no folder that deep";
    }
    for (const auto& [levels, openFiles, runsOut] : {std::tuple{300, 64, false}, {40, 24, true}}) {
        TempFolder root;
        std::string deep = "0";
        for (int level = 0; level < levels; ++level) {
            deep += "/d";
            root.writeBytes(deep + "/i.bmp",
                            makeUiLikeBmp(6, 5, static_cast<std::uint32_t>(level)));
        }
        const LonePackager packager(nullptr);
        ASSERT_EQ(packager.run(root).exitStatus, 2);
        const auto before = snapshot(root);
        StartedProgram run =
            packager.start(root, {.openFiles = static_cast<std::uint64_t>(openFiles)});
        const ProgramResult listed = finishProgram(run);
        EXPECT_EQ(listed.out, kBanner + (runsOut ? kCannotWrite : kZipFailed) + kCompletion);
        EXPECT_EQ(listed.exitStatus, runsOut ? 1 : 2) << listed.err;
        EXPECT_EQ(listed.err.find(": Too many open files; the run stops and writes nothing\n") !=
                      std::string::npos,
                  runsOut)
            << listed.err;
        EXPECT_TRUE(snapshot(root) == before) << levels << " levels";
    }

    TempFolder far;
    std::string beyond;
    while (beyond.size() <= 4096) {
        beyond += std::string(beyond.empty() ? "" : "/") + std::string(200, 'f');
    }
    writeFarFile(far, beyond + "/0/a.bmp", makeUiLikeBmp(6, 5, 1));
    const ProgramResult farRun = runProgram(far.path(beyond), {programPath("theme-packager")});
    EXPECT_EQ(farRun.out, kBanner + kZipCreated + kCompletion) << farRun.err;
    EXPECT_EQ(farRun.exitStatus, 0);
}

} // namespace
