// VOX_ZIP, the real binary: round trips that gzip agrees with, levels, and failures that must
// leave every file as it was.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "support/run_program.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// VOX_ZIP's exit status and standard error, as "status: err".
std::string voxZip(const TempFolder& folder, const std::string& args) {
    const ProgramResult run = runShell(folder.path(), shellQuote(TP_VOX_ZIP_BIN) + " " + args);
    return std::to_string(run.exitStatus) + ": " + run.err;
}

// Runs of a few byte values, as in RLE bins: compressible, but not trivially.
Bytes sample(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    Bytes bytes;
    while (bytes.size() < size) {
        bytes.insert(bytes.end(), 1 + rng() % 9, static_cast<std::uint8_t>(rng() % 24));
    }
    bytes.resize(size);
    return bytes;
}

class VoxZipRoundTripTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(VoxZipRoundTripTest, CompressesAndRestoresKeepingTheInput) {
    TempFolder root;
    const Bytes data = sample(GetParam(), 7);
    root.writeBytes("Theme.bin", data);
    root.writeFile("Theme.bin.gz", "stale output of an earlier run");

    EXPECT_EQ(voxZip(root, "-c -9 Theme.bin"), "0: ");
    EXPECT_EQ(root.readBytes("Theme.bin"), data);
    EXPECT_EQ(gunzip(root.path(), "Theme.bin.gz"), data);

    root.writeFile("Theme.bin", "to be replaced");
    EXPECT_EQ(voxZip(root, "-d Theme.bin.gz"), "0: ");
    EXPECT_EQ(root.readBytes("Theme.bin"), data);
    EXPECT_EQ(snapshot(root).size(), 2u); // no temporary file left
}

// Empty, small, either side of the 128 KiB I/O chunk, and several megabytes.
INSTANTIATE_TEST_SUITE_P(Sizes, VoxZipRoundTripTest,
                         ::testing::Values(0, 1, 131072, 131073, 5 * 1024 * 1024 + 3));

TEST(VoxZipTest, LevelsTradeSizeAndDefaultIsSix) {
    TempFolder root;
    const Bytes data = sample(1 << 20, 11);
    root.writeBytes("a.bin", data);
    std::map<std::string, std::size_t> sizes;
    for (const std::string level : {"-1", "-6", "-9", ""}) {
        ASSERT_EQ(voxZip(root, "-c " + level + " a.bin"), "0: ");
        EXPECT_EQ(gunzip(root.path(), "a.bin.gz"), data) << level;
        sizes[level] = root.readBytes("a.bin.gz").size();
    }
    EXPECT_LT(sizes["-9"], sizes["-1"]);
    EXPECT_EQ(sizes[""], sizes["-6"]);
    EXPECT_EQ(runShell(root.path(), shellQuote(TP_VOX_ZIP_BIN) + " -h").out.find("usage: VOX_ZIP"),
              0u);
}

struct Failure {
    const char* setup; // shell command run next to data.bin, its good data.bin.gz and data
    const char* args;
    const char* message; // standard error after "VOX_ZIP: "
    int status;
};

std::ostream& operator<<(std::ostream& out, const Failure& f) {
    return out << f.setup << "; VOX_ZIP " << f.args;
}

class VoxZipFailureTest : public ::testing::TestWithParam<Failure> {};

TEST_P(VoxZipFailureTest, NamesFileAndCauseAndLeavesEverythingAsItWas) {
    const Failure& f = GetParam();
    TempFolder root;
    root.writeBytes("data.bin", sample(400000, 3));
    ASSERT_EQ(voxZip(root, "-c data.bin"), "0: ");
    root.writeFile("data", "precious");
    ASSERT_EQ(runShell(root.path(), f.setup).exitStatus, 0);
    const auto before = snapshot(root);

    EXPECT_EQ(voxZip(root, f.args), std::to_string(f.status) + ": VOX_ZIP: " + f.message + "\n");
    EXPECT_EQ(snapshot(root), before);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, VoxZipFailureTest,
    ::testing::Values(
        Failure{":", "-c missing.bin", "missing.bin: cannot open: No such file or directory", 1},
        Failure{"mkdir -p data.gz/x", "-c data.gz", "data.gz: read failed: Is a directory", 1},
        Failure{"mkdir -p data.gz/x", "-c data", "data.gz: cannot write: Is a directory", 1},
        Failure{":", "-d data.bin", "data.bin: name does not end in .gz", 1},
        Failure{"head -c -9 data.bin.gz >data.gz", "-d data.gz",
                "data.gz: gzip data ends early (truncated file)", 1},
        Failure{": >data.gz", "-d data.gz", "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"head -c -8 data.bin.gz >data.gz; printf 12345678 >>data.gz", "-d data.gz",
                "data.gz: not valid gzip data (incorrect data check)", 1},
        Failure{"cp data.bin.gz data.gz; printf junk >>data.gz", "-d data.gz",
                "data.gz: not valid gzip data (incorrect header check)", 1},
        Failure{":", "-x data.bin", "unknown option '-x' (VOX_ZIP -h for help)", 2},
        Failure{":", "-c -0 data.bin", "unknown option '-0' (VOX_ZIP -h for help)", 2},
        Failure{":", "data.bin", "give -c to compress or -d to restore (VOX_ZIP -h for help)", 2},
        Failure{":", "-c a b", "more than one FILE given ('a', 'b') (VOX_ZIP -h for help)", 2}));

} // namespace
