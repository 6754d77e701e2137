// VOX_ZIP, the real binary: round trips that gzip agrees with, levels, failures that must leave
// every file as it was, and restores of several members and of what may follow them, compared
// with gzip itself. (Reads cut anywhere are the gzip_restore fuzz target's business.)
#include <gtest/gtest.h>

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

// The deflate library tells bad deflate data and deflate data cut short alike; a file cut in its
// header or trailer is told as cut.
constexpr const char* kCutInDeflateData =
    "data.gz: not valid gzip data (invalid deflate data, or the file is cut short)";

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
        Failure{"mkdir -p data.gz/x", "-c data.gz", "data.gz: cannot open: is a folder", 1},
        // A FIFO is refused at once instead of waiting for a writer that never comes.
        Failure{"mkfifo pipe.gz", "-d pipe.gz", "pipe.gz: cannot open: not a regular file", 1},
        Failure{"mkdir -p data.gz/x", "-c data", "data.gz: cannot write: Is a directory", 1},
        Failure{":", "-d data.bin", "data.bin: name does not end in .gz", 1},
        Failure{"head -c -9 data.bin.gz >data.gz", "-d data.gz", kCutInDeflateData, 1},
        Failure{"head -c -4 data.bin.gz >data.gz", "-d data.gz",
                "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"head -c 5 data.bin.gz >data.gz", "-d data.gz",
                "data.gz: gzip data ends early (truncated file)", 1},
        Failure{": >data.gz", "-d data.gz", "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"head -c -8 data.bin.gz >data.gz; printf 12345678 >>data.gz", "-d data.gz",
                "data.gz: not valid gzip data (incorrect data check)", 1},
        Failure{":", "-x data.bin", "unknown option '-x' (VOX_ZIP -h for help)", 2},
        Failure{":", "-c -0 data.bin", "unknown option '-0' (VOX_ZIP -h for help)", 2},
        Failure{":", "data.bin", "give -c to compress or -d to restore (VOX_ZIP -h for help)", 2},
        Failure{":", "-c a b", "more than one FILE given ('a', 'b') (VOX_ZIP -h for help)", 2}));

struct Members {
    const char* name;
    const char* members; // shell command writing members.gz, run beside a.gz and b.gz
    const char* tail;    // shell command whose output follows them in data.gz
    int status;          // gzip's as well
    const char* message; // standard error after "VOX_ZIP: data.gz: "; OFFSET: members.gz's size
};

std::ostream& operator<<(std::ostream& out, const Members& m) {
    return out << m.name;
}

class VoxZipMembersTest : public ::testing::TestWithParam<Members> {};

// a.gz is one member of 400 kB of data, more than one 128 KiB read; b.gz a small one from gzip.
TEST_P(VoxZipMembersTest, RestoresWhatGzipRestoresAndFailsWhereItFails) {
    const Members& m = GetParam();
    TempFolder root;
    root.writeBytes("a", sample(400000, 5));
    ASSERT_EQ(voxZip(root, "-c a"), "0: ");
    root.writeBytes("b", sample(3000, 6));
    ASSERT_EQ(runShell(root.path(), "gzip -n b").exitStatus, 0);
    ASSERT_EQ(runShell(root.path(), std::string("(") + m.members + ") >members.gz && (cat " +
                                        "members.gz; " + m.tail + ") >data.gz")
                  .exitStatus,
              0);
    const ProgramResult gzip = runShell(root.path(), "gzip -dc data.gz");
    ASSERT_EQ(gzip.exitStatus, m.status) << gzip.err;
    root.writeFile("data", "precious");
    const auto before = snapshot(root);

    std::string message = m.message;
    const std::size_t offset = message.find("OFFSET");
    if (offset != std::string::npos) {
        message.replace(offset, 6, std::to_string(root.readBytes("members.gz").size()));
    }
    EXPECT_EQ(voxZip(root, "-d data.gz"), std::to_string(m.status) + ": " +
                                              (message.empty() ? "" : "VOX_ZIP: data.gz: ") +
                                              message + (message.empty() ? "" : "\n"));
    if (m.status == 1) {
        EXPECT_EQ(snapshot(root), before);
    } else {
        EXPECT_EQ(root.readBytes("data"), Bytes(gzip.out.begin(), gzip.out.end()));
        EXPECT_EQ(snapshot(root).size(), before.size()); // no temporary file left
    }
}

constexpr const char* kGarbage = "decompression OK, trailing garbage ignored (from byte OFFSET on)";

INSTANTIATE_TEST_SUITE_P(
    Streams, VoxZipMembersTest,
    ::testing::Values(
        Members{"OneMember", "cat a.gz", ":", 0, ""},
        Members{"ThreeMembers", "cat a.gz b.gz a.gz", ":", 0, ""},
        Members{"EmptyMemberBetween", "cat b.gz; : | gzip -n; cat b.gz", ":", 0, ""},
        Members{"ZeroPadded", "cat a.gz b.gz", "head -c 512 /dev/zero", 0, ""},
        Members{"ZeroPaddedPastOneRead", "cat b.gz", "head -c 300000 /dev/zero", 0, ""},
        Members{"Garbage", "cat a.gz b.gz", "printf junk", 2, kGarbage},
        Members{"ZerosThenGarbage", "cat b.gz", "head -c 200000 /dev/zero; printf x", 2, kGarbage},
        Members{"ZerosThenMember", "cat b.gz", "printf '\\0'; cat b.gz", 2, kGarbage},
        Members{"HalfAMagic", "cat a.gz", "printf '\\37x'", 2, kGarbage},
        Members{"FirstMagicByteOnly", "cat a.gz", "printf '\\37'", 1,
                "gzip data ends early (truncated file)"},
        Members{"SecondMemberCut", "cat b.gz", "head -c 30 a.gz", 1,
                "not valid gzip data (invalid deflate data, or the file is cut short)"},
        Members{"SecondMemberHeaderCut", "cat b.gz", "head -c 6 a.gz", 1,
                "gzip data ends early (truncated file)"},
        Members{"SecondMemberCorrupt", "cat b.gz", "head -c 10 b.gz; printf garbage", 1,
                "not valid gzip data (invalid deflate data, or the file is cut short)"}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
