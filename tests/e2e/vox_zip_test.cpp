// VOX_ZIP, the real binary: round trips that gzip agrees with, failures that must leave every
// file as it was, and restores of several members and of what may follow them, with gzip's
// outcomes. (Reads cut anywhere are the gzip_restore fuzz target's business.)
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "support/row_name.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The VOX_ZIP builds under test, named as built: the shipped one and, where that one restores
// with libdeflate (Linux), one on zlib's streams, the Windows build's backend. libdeflate tells
// bad deflate data and deflate data cut short alike; zlib tells them apart. A file cut in its
// header or trailer is told as cut by both.
struct Backend {
    const char* program;
    bool zlib;
};
const std::vector<Backend> kBackends =
    kWindows ? std::vector<Backend>{{"VOX_ZIP", true}}
             : std::vector<Backend>{{"VOX_ZIP", false}, {"VOX_ZIP-zlib", true}};

constexpr const char* kTruncated = "gzip data ends early (truncated file)";
constexpr const char* kLibdeflateBad =
    "not valid gzip data (invalid deflate data, or the file is cut short)";

// VOX_ZIP's exit status and standard error, as "status: err".
std::string voxZip(const TempFolder& folder, const std::string& args,
                   const ProgramOptions& options = {}, const char* program = "VOX_ZIP") {
    std::vector<std::string> command = words(args);
    command.insert(command.begin(), programPath(program));
    const ProgramResult run = runProgram(folder.path(), command, options);
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

constexpr std::size_t kMembersSize = 400000;

// A restore of data.gz, or another VOX_ZIP command beside it, that gzip restores or fails alike.
struct Restore {
    const char* name;
    // data.gz, piece by piece (null: none): a (a.gz) and b (b.gz) and e (an empty member) are
    // members; after them come z (512 zero bytes), Z (300000), y (200000), 0 (one), j ("junk"),
    // x ("x"), h ("\37x"), f ("\37"), c and C (a.gz cut to 30 and 6 bytes), t (a.gz without its
    // last 4 bytes), w (a.gz with "12345678" as its trailer), g (b.gz cut to 10, then "garbage")
    const char* pieces;
    int status; // VOX_ZIP's, as gzip's for a restore of data.gz
    // Standard error after "VOX_ZIP: "; OFFSET: the members' size, CUT and BAD: the backend's
    // words for deflate data cut short and for bad deflate data.
    std::string message;
    const char* args = "-d data.gz";
    void (*setup)(const TempFolder&) = nullptr; // after data.gz and data ("precious") are written
    std::size_t size = kMembersSize; // of a, which the stale a.gz of an earlier run lies beside
    std::uint64_t fileSize = 0;      // the file-size limit VOX_ZIP runs under; 0: none
};

std::ostream& operator<<(std::ostream& out, const Backend& b) {
    return out << b.program;
}

class VoxZipRestoreTest : public ::testing::TestWithParam<std::tuple<Restore, Backend>> {};

// Each text that stands for another in message replaced.
std::string expanded(std::string message, const std::map<std::string, std::string>& texts) {
    for (const auto& [word, text] : texts) {
        const std::size_t at = message.find(word);
        if (at != std::string::npos) {
            message.replace(at, word.size(), text);
        }
    }
    return message;
}

// a.gz is VOX_ZIP's one member of 400 kB of data, more than one 128 KiB read, unless a round trip
// asks for another size; b.gz and the empty member are zlib's. A command that fails leaves every
// file as it was.
TEST_P(VoxZipRestoreTest, RestoresWhatGzipRestoresAndFailsWhereItFails) {
    const auto& [r, backend] = GetParam();
    const bool restore = std::string(r.args) == "-d data.gz";
    TempFolder root;
    const Bytes a = sample(r.size, 5);
    const Bytes b = sample(3000, 6);
    root.writeBytes("a", a);
    root.writeFile("a.gz", "stale output of an earlier run");
    // Round trips at the level the packager asks for, the members at VOX_ZIP's default.
    ASSERT_EQ(voxZip(root, r.size == kMembersSize ? "-c a" : "-c -9 a", {}, backend.program),
              "0: ");
    EXPECT_EQ(names(root), (std::vector<std::string>{"a", "a.gz"})); // no temporary file left
    EXPECT_EQ(root.readBytes("a"), a);
    const Bytes aGz = root.readBytes("a.gz");
    ASSERT_EQ(gunzip(aGz), a);
    const Bytes bGz = gzipped(b);
    const std::string aText(aGz.begin(), aGz.end()); // at least its 18 bytes of header and trailer
    const std::map<char, std::string> tails = {
        {'z', std::string(512, '\0')},
        {'Z', std::string(300000, '\0')},
        {'y', std::string(200000, '\0')},
        {'0', std::string(1, '\0')},
        {'j', "junk"},
        {'x', "x"},
        {'h', "\37x"},
        {'f', "\37"},
        {'c', aText.substr(0, 30)},
        {'C', aText.substr(0, 6)},
        {'t', aText.substr(0, aText.size() - 4)},
        {'w', aText.substr(0, aText.size() - 8) + "12345678"},
        {'g', std::string(bGz.begin(), bGz.begin() + 10) + "garbage"}};
    Bytes data;
    Bytes restored;
    std::size_t members = 0;
    for (const char* piece = r.pieces; piece != nullptr && *piece != '\0'; ++piece) {
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
    if (r.pieces != nullptr) {
        root.writeBytes("data.gz", data);
    }
    root.writeFile("data", "precious");
    if (r.setup != nullptr) {
        r.setup(root);
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
    }
    const auto before = snapshot(root);

    const std::string message = expanded(
        r.message,
        {{"OFFSET", std::to_string(members)},
         {"CUT", backend.zlib ? kTruncated : kLibdeflateBad},
         {"BAD", backend.zlib ? "not valid gzip data (invalid block type)" : kLibdeflateBad}});
    EXPECT_EQ(voxZip(root, r.args, {.fileSize = r.fileSize}, backend.program),
              std::to_string(r.status) + ": " + (message.empty() ? "" : "VOX_ZIP: ") + message +
                  (message.empty() ? "" : "\n"));
    if (!restore || r.status == 1) {
        EXPECT_EQ(snapshot(root), before);
    } else {
        EXPECT_EQ(root.readBytes("data"), restored);
        EXPECT_EQ(snapshot(root).size(), before.size()); // no temporary file left
    }
}

const std::string kGarbage =
    "data.gz: decompression OK, trailing garbage ignored (from byte OFFSET on)";
const std::string kEarly = std::string("data.gz: ") + kTruncated;
const auto kFolderGz = [](const TempFolder& root) { root.makeFolder("data.gz/x"); };
const auto kPosixOnly = [](const TempFolder&) {
    if (kWindows) {
        GTEST_SKIP() << "Windows has no file-size limit";
    }
};

// A case's name, and the backend's where it is not the shipped one.
std::string testName(const ::testing::TestParamInfo<std::tuple<Restore, Backend>>& info) {
    const auto& [r, backend] = info.param;
    return std::string(r.name) + (backend.program == kBackends[0].program ? "" : "OnZlib");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Streams, VoxZipRestoreTest,
    ::testing::Combine(::testing::Values(
        // Empty, small, either side of the 128 KiB I/O chunk, and several megabytes.
        Restore{"RoundTripOfNothing", "a", 0, "", "-d data.gz", nullptr, 0},
        Restore{"RoundTripOfOneByte", "a", 0, "", "-d data.gz", nullptr, 1},
        Restore{"RoundTripOfOneChunk", "a", 0, "", "-d data.gz", nullptr, 131072},
        Restore{"RoundTripPastOneChunk", "a", 0, "", "-d data.gz", nullptr, 131073},
        Restore{"RoundTripOfMegabytes", "a", 0, "", "-d data.gz", nullptr, 5 * 1024 * 1024 + 3},
        Restore{"ThreeMembers", "aba", 0, ""},
        Restore{"EmptyMemberBetween", "beb", 0, ""},
        Restore{"ZeroPadded", "abz", 0, ""},
        Restore{"ZeroPaddedPastOneRead", "bZ", 0, ""},
        Restore{"Garbage", "abj", 2, kGarbage},
        Restore{"ZerosThenGarbage", "byx", 2, kGarbage},
        Restore{"ZerosThenMember", "b0b", 2, kGarbage},
        Restore{"HalfAMagic", "ah", 2, kGarbage},
        Restore{"Empty", "", 1, kEarly},
        Restore{"CutInHeader", "C", 1, kEarly},
        Restore{"CutInDeflateData", "c", 1, "data.gz: CUT"},
        Restore{"CutInTrailer", "t", 1, kEarly},
        Restore{"WrongCheck", "w", 1, "data.gz: not valid gzip data (incorrect data check)"},
        Restore{"FirstMagicByteOnly", "af", 1, kEarly},
        Restore{"SecondMemberCut", "bc", 1, "data.gz: CUT"},
        Restore{"SecondMemberHeaderCut", "bC", 1, kEarly},
        Restore{"SecondMemberCorrupt", "bg", 1, "data.gz: BAD"}),
        ::testing::ValuesIn(kBackends)),
    testName);
// clang-format on

INSTANTIATE_TEST_SUITE_P(
    Failures, VoxZipRestoreTest,
    ::testing::Combine(
        ::testing::Values(
            Restore{"Missing", nullptr, 1,
                    std::string("missing.bin: cannot open: ") +
                        osText("No such file or directory", "File not found."),
                    "-c missing.bin"},
            Restore{"InputIsAFolder", nullptr, 1, "data.gz: cannot open: is a folder", "-c data.gz",
                    kFolderGz},
            // A FIFO is refused at once instead of waiting for a writer that never comes.
            Restore{"InputIsAFifo", nullptr, 1, "pipe.gz: cannot open: not a regular file",
                    "-d pipe.gz",
                    [](const TempFolder& root) {
                        if (kWindows) {
                            GTEST_SKIP() << "Windows has no FIFOs";
                        }
                        ASSERT_TRUE(makeFifo(root.path("pipe.gz")));
                    }},
            Restore{"OutputIsAFolder", nullptr, 1,
                    std::string("data.gz: cannot write: ") +
                        osText("Is a directory", "Access denied."),
                    "-c data", kFolderGz},
            // Not ended by SIGXFSZ, which the packager does not ignore in the tools it starts.
            Restore{"BeyondFileSizeLimit", nullptr, 1, "a.gz: write failed: File too large", "-c a",
                    kPosixOnly, kMembersSize, 4096},
            Restore{"NotGz", nullptr, 1, "a: name does not end in .gz", "-d a"},
            Restore{"UnknownOption", nullptr, 2, "unknown option '-x' (VOX_ZIP -h for help)",
                    "-x a"},
            Restore{"LevelZero", nullptr, 2, "unknown option '-0' (VOX_ZIP -h for help)",
                    "-c -0 a"},
            Restore{"NoMode", nullptr, 2,
                    "give -c to compress or -d to restore (VOX_ZIP -h for help)", "a"},
            Restore{"TwoFiles", nullptr, 2,
                    "more than one FILE given ('a', 'b') (VOX_ZIP -h for help)", "-c a b"}),
        ::testing::ValuesIn(kBackends)),
    testName);

#ifdef TP_PRELOAD_SEAM_LIBRARY
// The output gets the input's permission bits, as gzip's does, both ways: a private file gives a
// private .gz. Before VOX_ZIP exits 0, its output is on disk under its name: the packager deletes
// the input then.
TEST(VoxZipTest, OutputHasTheInputsPermissionsAndIsOnDiskBeforeTheToolEnds) {
    namespace fs = std::filesystem;
    TempFolder root;
    TempFolder logFolder;
    root.writeBytes("a", sample(1000, 7));
    fs::permissions(root.path("a"), fs::perms::owner_read | fs::perms::owner_write);
    const ProgramResult run = runProgram(root.path(), {plainProgramPath("VOX_ZIP"), "-c", "a"},
                                         {.variables = {"LD_PRELOAD=" TP_PRELOAD_SEAM_LIBRARY,
                                                        "TP_SYNC_LOG=" + logFolder.path("log")}});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(fs::status(root.path("a.gz")).permissions(), fs::perms(0600));
    const auto log = logFolder.readBytes("log");
    std::string calls(log.begin(), log.end());
    // The temporary file's random letters.
    for (std::size_t at = 0; (at = calls.find("a.gz.", at)) != std::string::npos; at += 8) {
        calls.replace(at + 5, 8, "XXXXXXXX");
    }
    const std::string folder = fs::canonical(root.path()).string();
    EXPECT_EQ(calls, "sync " + folder + "/a.gz.XXXXXXXX.tmp\nrename a.gz.XXXXXXXX.tmp a.gz\nsync " +
                         folder + "\n");

    fs::remove(root.path("a"));
    fs::permissions(root.path("a.gz"), fs::perms(0754));
    ASSERT_EQ(voxZip(root, "-d a.gz"), "0: ");
    EXPECT_EQ(fs::status(root.path("a")).permissions(), fs::perms(0754));
}
#endif

} // namespace
