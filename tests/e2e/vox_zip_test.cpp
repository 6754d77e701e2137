// VOX_ZIP, the real binary: round trips, levels, the gzip format, and failures that must leave
// every file as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "support/run_program.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

ProgramResult voxZip(const TempFolder& folder, const std::string& args) {
    return runProgram(TP_VOX_ZIP_BIN, folder.path(), args);
}

// What RLE bins look like to a compressor: 16-bit run counts and pixels from a limited set of
// neighbouring colours, literal stretches, and 'P' padding.
Bytes rleLike(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint16_t> palette(256);
    for (auto& colour : palette) {
        colour = static_cast<std::uint16_t>(rng());
    }
    Bytes bytes;
    const auto put16 = [&](unsigned v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    unsigned colour = 0;
    while (bytes.size() < size) {
        const unsigned kind = rng() % 8;
        const unsigned count = 1 + rng() % (kind < 4 ? 300 : 24);
        put16(kind < 4 ? 0x8000 | count : count);
        for (unsigned i = 0; i < (kind == 0 ? count : kind < 4 ? 1 : count); ++i) {
            colour = (colour + rng() % 5 + 254) % 256;
            kind == 0 ? put16('P' * 0x101) : put16(palette[colour]);
        }
    }
    bytes.resize(size);
    return bytes;
}

void expectGzipReadersAgree(const TempFolder& root, const std::string& gz, const Bytes& data) {
    const Bytes packed = root.readBytes(gz);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 3), (Bytes{0x1f, 0x8b, 8})); // gzip, deflate
    EXPECT_EQ(runShell(root.path(), "gzip -dc '" + gz + "' >from-gzip").exitStatus, 0);
    EXPECT_EQ(root.readBytes("from-gzip"), data);
    fs::remove(root.path("from-gzip"));
}

class VoxZipRoundTripTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(VoxZipRoundTripTest, CompressesAndRestoresKeepingTheInput) {
    TempFolder root;
    const Bytes data = rleLike(GetParam(), 7);
    root.writeBytes("Theme.bin", data);
    root.writeFile("Theme.bin.gz", "stale output of an earlier run");

    const ProgramResult packed = voxZip(root, "-c -9 Theme.bin");
    EXPECT_EQ(packed.exitStatus, 0);
    EXPECT_EQ(packed.err, "");
    EXPECT_EQ(root.readBytes("Theme.bin"), data);
    expectGzipReadersAgree(root, "Theme.bin.gz", data);

    root.writeFile("Theme.bin", "to be replaced");
    const ProgramResult restored = voxZip(root, "-d Theme.bin.gz");
    EXPECT_EQ(restored.exitStatus, 0);
    EXPECT_EQ(restored.err, "");
    EXPECT_EQ(root.readBytes("Theme.bin"), data);
    EXPECT_EQ(snapshot(root).size(), 2u); // no temporary file left
}

// Empty, small, around the 128 KiB I/O chunk, and several megabytes.
INSTANTIATE_TEST_SUITE_P(Sizes, VoxZipRoundTripTest,
                         ::testing::Values(0, 1, 100, 131072, 131073, 5 * 1024 * 1024 + 3));

TEST(VoxZipTest, LevelsTradeSizeAndDefaultIsSix) {
    TempFolder root;
    const Bytes data = rleLike(1 << 20, 11);
    std::map<std::string, Bytes> packed;
    for (const std::string level : {"-1", "-6", "-9", ""}) {
        root.writeBytes("a.bin", data);
        ASSERT_EQ(voxZip(root, "-c " + level + " a.bin").exitStatus, 0) << level;
        expectGzipReadersAgree(root, "a.bin.gz", data);
        packed[level] = root.readBytes("a.bin.gz");
    }
    EXPECT_LT(packed["-9"].size(), packed["-1"].size());
    EXPECT_EQ(packed[""], packed["-6"]);
}

TEST(VoxZipTest, RestoresMembersWrittenOneAfterAnother) {
    TempFolder root;
    root.writeFile("a", "first ");
    root.writeFile("b", "second");
    ASSERT_EQ(voxZip(root, "-c a").exitStatus + voxZip(root, "-c b").exitStatus, 0);
    ASSERT_EQ(runShell(root.path(), "cat a.gz b.gz >ab.gz").exitStatus, 0);
    EXPECT_EQ(voxZip(root, "-d ab.gz").exitStatus, 0);
    const std::string joined = "first second";
    EXPECT_EQ(root.readBytes("ab"), Bytes(joined.begin(), joined.end()));
}

TEST(VoxZipTest, HelpGoesToStandardOutput) {
    TempFolder root;
    const ProgramResult help = voxZip(root, "-h");
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("usage: VOX_ZIP -c"), std::string::npos);
    EXPECT_EQ(help.err, "");
}

// What each failure starts from: data.bin (several chunks), its good data.bin.gz, and a
// precious "data" that a failed restore must not touch.
void damage(const TempFolder& root, const std::string& how) {
    Bytes gz = root.readBytes("data.bin.gz");
    if (how == "truncate") {
        gz.resize(gz.size() - 9);
    } else if (how == "crc") {
        gz[gz.size() - 8] ^= 1;
    } else if (how == "length") {
        gz[gz.size() - 1] ^= 1;
    } else if (how == "body") {
        gz[gz.size() / 2] ^= 0xff;
    } else if (how == "trailing") {
        gz.insert(gz.end(), {'j', 'u', 'n', 'k'});
    } else if (how == "empty") {
        gz.clear();
    } else if (how == "folder") {
        root.makeFolder("data.bin.gz.d/x");
        fs::rename(root.path("data.bin.gz.d"), root.path("data.gz"));
        return;
    }
    root.writeBytes("data.gz", gz);
}

struct Failure {
    const char* damage; // how data.gz is made from data.bin.gz
    const char* args;
    const char* named;
    const char* cause;
    int status;
};

std::ostream& operator<<(std::ostream& out, const Failure& failure) {
    return out << failure.args << (*failure.damage != '\0' ? " after " : "") << failure.damage;
}

class VoxZipFailureTest : public ::testing::TestWithParam<Failure> {};

TEST_P(VoxZipFailureTest, NamesFileAndCauseAndLeavesEverythingAsItWas) {
    TempFolder root;
    root.writeBytes("data.bin", rleLike(400000, 3));
    ASSERT_EQ(voxZip(root, "-c data.bin").exitStatus, 0);
    root.writeFile("data", "precious");
    damage(root, GetParam().damage);
    const auto before = snapshot(root);

    const ProgramResult run = voxZip(root, GetParam().args);
    EXPECT_EQ(run.exitStatus, GetParam().status);
    EXPECT_EQ(run.err.find("VOX_ZIP: "), 0u) << run.err;
    EXPECT_NE(run.err.find(GetParam().named), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(GetParam().cause), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_EQ(snapshot(root), before);
}

INSTANTIATE_TEST_SUITE_P(
    Causes, VoxZipFailureTest,
    ::testing::Values(
        Failure{"", "-c missing.bin", "missing.bin: cannot open", "No such file", 1},
        Failure{"folder", "-c data.gz", "data.gz: read failed", "Is a directory", 1},
        Failure{"folder", "-c data", "data.gz: cannot write", "Is a directory", 1},
        Failure{"", "-d data.bin", "data.bin: name does not end in .gz", "", 1},
        Failure{"", "-d .gz", ".gz: no file name before .gz", "", 1},
        Failure{"", "-d data.bin.gz.", "data.bin.gz.: name does not end in .gz", "", 1},
        Failure{"truncate", "-d data.gz", "data.gz: gzip data ends early", "", 1},
        Failure{"empty", "-d data.gz", "data.gz: gzip data ends early", "", 1},
        Failure{"crc", "-d data.gz", "data.gz: not valid gzip data", "incorrect data check", 1},
        Failure{"length", "-d data.gz", "data.gz: not valid", "incorrect length check", 1},
        Failure{"body", "-d data.gz", "data.gz: not valid gzip data", "", 1},
        Failure{"trailing", "-d data.gz", "data.gz: not valid", "incorrect header check", 1},
        Failure{"", "-x data.bin", "'-x'", "unknown option", 2},
        Failure{"", "-c -0 data.bin", "'-0'", "unknown option", 2},
        Failure{"", "-c", "no FILE", "", 2}, Failure{"", "data.bin", "-c", "-d", 2},
        Failure{"", "-c -d data.bin", "-c and -d", "", 2},
        Failure{"", "-c data.bin data", "'data.bin', 'data'", "more than one", 2}));

} // namespace
