// VOX_ZIP, the real binary: round trips that gzip agrees with, levels, failures that must leave
// every file as it was, and restores of several members and of what may follow them, compared
// with gzip itself where it is installed. (Reads cut anywhere are the gzip_restore fuzz target's
// business.)
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The Linux build restores with libdeflate, which tells bad deflate data and deflate data cut
// short alike; the Windows build with zlib, which tells them apart. A file cut in its header or
// trailer is told as cut by both.
constexpr const char* kTruncated = "gzip data ends early (truncated file)";
constexpr const char* kCutInDeflate =
    kWindows ? kTruncated : "not valid gzip data (invalid deflate data, or the file is cut short)";
constexpr const char* kBadDeflate =
    kWindows ? "not valid gzip data (invalid block type)"
             : "not valid gzip data (invalid deflate data, or the file is cut short)";

// VOX_ZIP's exit status and standard error, as "status: err".
std::string voxZip(const TempFolder& folder, const std::string& args) {
    std::vector<std::string> command = words(args);
    command.insert(command.begin(), programPath("VOX_ZIP"));
    const ProgramResult run = runProgram(folder.path(), command);
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
    EXPECT_EQ(gunzip(root.readBytes("Theme.bin.gz")), data);

    root.writeFile("Theme.bin", "to be replaced");
    EXPECT_EQ(voxZip(root, "-d Theme.bin.gz"), "0: ");
    EXPECT_EQ(root.readBytes("Theme.bin"), data);
    EXPECT_EQ(snapshot(root).size(), 2u); // no temporary file left
}

// Empty, small, either side of the 128 KiB I/O chunk, and several megabytes.
INSTANTIATE_TEST_SUITE_P(Sizes, VoxZipRoundTripTest,
                         ::testing::Values(0, 1, 131072, 131073, 5 * 1024 * 1024 + 3));

struct Failure {
    const char* name;
    void (*setup)(const TempFolder&); // beside data.bin, its good data.bin.gz and data
    const char* args;
    std::string message; // standard error after "VOX_ZIP: "
    int status;
};

void PrintTo(const Failure& f, std::ostream* out) {
    *out << f.name;
}

// data.gz: data.bin.gz cut as head -c length cuts it (length < 0: all but the last -length
// bytes), then tail.
void cutGz(const TempFolder& root, long length, const std::string& tail = "") {
    Bytes gz = root.readBytes("data.bin.gz");
    gz.resize(
        static_cast<std::size_t>(length < 0 ? static_cast<long>(gz.size()) + length : length));
    gz.insert(gz.end(), tail.begin(), tail.end());
    root.writeBytes("data.gz", gz);
}

class VoxZipFailureTest : public ::testing::TestWithParam<Failure> {};

TEST_P(VoxZipFailureTest, NamesFileAndCauseAndLeavesEverythingAsItWas) {
    const Failure& f = GetParam();
    TempFolder root;
    root.writeBytes("data.bin", sample(400000, 3));
    ASSERT_EQ(voxZip(root, "-c data.bin"), "0: ");
    root.writeFile("data", "precious");
    if (f.setup != nullptr) {
        f.setup(root);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
    }
    const auto before = snapshot(root);

    EXPECT_EQ(voxZip(root, f.args), std::to_string(f.status) + ": VOX_ZIP: " + f.message + "\n");
    EXPECT_EQ(snapshot(root), before);
}

const auto kFolderGz = [](const TempFolder& root) { root.makeFolder("data.gz/x"); };

INSTANTIATE_TEST_SUITE_P(
    Causes, VoxZipFailureTest,
    ::testing::Values(
        Failure{"Missing", nullptr, "-c missing.bin",
                std::string("missing.bin: cannot open: ") +
                    osText("No such file or directory", "File not found."),
                1},
        Failure{"InputIsAFolder", kFolderGz, "-c data.gz", "data.gz: cannot open: is a folder", 1},
        // A FIFO is refused at once instead of waiting for a writer that never comes.
        Failure{"InputIsAFifo",
                [](const TempFolder& root) {
                    if (kWindows) {
                        GTEST_SKIP() << "Windows has no FIFOs";
                    }
                    ASSERT_TRUE(makeFifo(root.path("pipe.gz")));
                },
                "-d pipe.gz", "pipe.gz: cannot open: not a regular file", 1},
        Failure{"OutputIsAFolder", kFolderGz, "-c data",
                std::string("data.gz: cannot write: ") + osText("Is a directory", "Access denied."),
                1},
        Failure{"NotGz", nullptr, "-d data.bin", "data.bin: name does not end in .gz", 1},
        Failure{"CutInDeflateData", [](const TempFolder& root) { cutGz(root, -9); }, "-d data.gz",
                std::string("data.gz: ") + kCutInDeflate, 1},
        Failure{"CutInTrailer", [](const TempFolder& root) { cutGz(root, -4); }, "-d data.gz",
                "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"CutInHeader", [](const TempFolder& root) { cutGz(root, 5); }, "-d data.gz",
                "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"Empty", [](const TempFolder& root) { root.writeFile("data.gz", ""); },
                "-d data.gz", "data.gz: gzip data ends early (truncated file)", 1},
        Failure{"WrongCheck", [](const TempFolder& root) { cutGz(root, -8, "12345678"); },
                "-d data.gz", "data.gz: not valid gzip data (incorrect data check)", 1},
        Failure{"UnknownOption", nullptr, "-x data.bin",
                "unknown option '-x' (VOX_ZIP -h for help)", 2},
        Failure{"LevelZero", nullptr, "-c -0 data.bin", "unknown option '-0' (VOX_ZIP -h for help)",
                2},
        Failure{"NoMode", nullptr, "data.bin",
                "give -c to compress or -d to restore (VOX_ZIP -h for help)", 2},
        Failure{"TwoFiles", nullptr, "-c a b",
                "more than one FILE given ('a', 'b') (VOX_ZIP -h for help)", 2}),
    [](const auto& test) { return std::string(test.param.name); });

struct Members {
    const char* name;
    // data.gz, piece by piece: a (a.gz), b (b.gz) and e (an empty member) are members; after
    // them come z (512 zero bytes), Z (300000), y (200000), 0 (one), j ("junk"), x ("x"),
    // h ("\37x"), f ("\37"), c and C (a.gz cut to 30 and 6 bytes), g (b.gz cut to 10, then
    // "garbage")
    const char* pieces;
    int status;          // gzip's as well
    const char* message; // standard error after "VOX_ZIP: data.gz: "; OFFSET: the members' size
};

std::ostream& operator<<(std::ostream& out, const Members& m) {
    return out << m.name;
}

class VoxZipMembersTest : public ::testing::TestWithParam<Members> {};

// a.gz is VOX_ZIP's one member of 400 kB of data, more than one 128 KiB read; b.gz and the empty
// member are zlib's.
TEST_P(VoxZipMembersTest, RestoresWhatGzipRestoresAndFailsWhereItFails) {
    const Members& m = GetParam();
    TempFolder root;
    const Bytes a = sample(400000, 5);
    const Bytes b = sample(3000, 6);
    root.writeBytes("a", a);
    ASSERT_EQ(voxZip(root, "-c a"), "0: ");
    const Bytes aGz = root.readBytes("a.gz");
    const Bytes bGz = gzipped(b);
    const std::map<char, std::string> tails = {
        {'z', std::string(512, '\0')},
        {'Z', std::string(300000, '\0')},
        {'y', std::string(200000, '\0')},
        {'0', std::string(1, '\0')},
        {'j', "junk"},
        {'x', "x"},
        {'h', "\37x"},
        {'f', "\37"},
        {'c', std::string(aGz.begin(), aGz.begin() + 30)},
        {'C', std::string(aGz.begin(), aGz.begin() + 6)},
        {'g', std::string(bGz.begin(), bGz.begin() + 10) + "garbage"}};
    Bytes data;
    Bytes restored;
    std::size_t members = 0;
    for (const char* piece = m.pieces; *piece != '\0'; ++piece) {
        const auto tail = tails.find(*piece);
        const Bytes bytes = tail != tails.end() ? Bytes(tail->second.begin(), tail->second.end())
                            : *piece == 'a'     ? aGz
                            : *piece == 'b'     ? bGz
                                                : gzipped({});
        data.insert(data.end(), bytes.begin(), bytes.end());
        if (tail == tails.end() && members + bytes.size() == data.size()) { // a leading member
            members = data.size();
            const Bytes& source = *piece == 'a' ? a : *piece == 'b' ? b : Bytes();
            restored.insert(restored.end(), source.begin(), source.end());
        }
    }
    root.writeBytes("data.gz", data);
    if (!kWindows) {
        const ProgramResult gzip = runProgram(root.path(), {"gzip", "-dc", "data.gz"});
        ASSERT_EQ(gzip.exitStatus, m.status) << gzip.err;
        ASSERT_TRUE(m.status == 1 || gzip.out == std::string(restored.begin(), restored.end()));
    }
    root.writeFile("data", "precious");
    const auto before = snapshot(root);

    std::string message = m.message;
    const std::size_t offset = message.find("OFFSET");
    if (offset != std::string::npos) {
        message.replace(offset, 6, std::to_string(members));
    }
    EXPECT_EQ(voxZip(root, "-d data.gz"), std::to_string(m.status) + ": " +
                                              (message.empty() ? "" : "VOX_ZIP: data.gz: ") +
                                              message + (message.empty() ? "" : "\n"));
    if (m.status == 1) {
        EXPECT_EQ(snapshot(root), before);
    } else {
        EXPECT_EQ(root.readBytes("data"), restored);
        EXPECT_EQ(snapshot(root).size(), before.size()); // no temporary file left
    }
}

constexpr const char* kGarbage = "decompression OK, trailing garbage ignored (from byte OFFSET on)";

INSTANTIATE_TEST_SUITE_P(Streams, VoxZipMembersTest,
                         ::testing::Values(Members{"OneMember", "a", 0, ""},
                                           Members{"ThreeMembers", "aba", 0, ""},
                                           Members{"EmptyMemberBetween", "beb", 0, ""},
                                           Members{"ZeroPadded", "abz", 0, ""},
                                           Members{"ZeroPaddedPastOneRead", "bZ", 0, ""},
                                           Members{"Garbage", "abj", 2, kGarbage},
                                           Members{"ZerosThenGarbage", "byx", 2, kGarbage},
                                           Members{"ZerosThenMember", "b0b", 2, kGarbage},
                                           Members{"HalfAMagic", "ah", 2, kGarbage},
                                           Members{"FirstMagicByteOnly", "af", 1, kTruncated},
                                           Members{"SecondMemberCut", "bc", 1, kCutInDeflate},
                                           Members{"SecondMemberHeaderCut", "bC", 1, kTruncated},
                                           Members{"SecondMemberCorrupt", "bg", 1, kBadDeflate}),
                         [](const auto& test) { return std::string(test.param.name); });

} // namespace
