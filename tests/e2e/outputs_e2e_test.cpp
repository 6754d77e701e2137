// theme-packager, the real binary, where its outputs must be trusted: VOX_ZIP stand-ins that say
// yes without doing the work, a .gz left by an earlier run, slow tools, and a bin that cannot be
// created. A run that fails must leave an earlier run's files exactly as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/packager_run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "theme-packager: ";
// The packager runs with a PATH that leads nowhere; its tools' scripts need one.
constexpr char kToolPath[] = "PATH=/usr/bin:/bin\n";

// A stand-in's way to hand its file to the real VOX_ZIP in a background process that starts 2 s
// after the stand-in has exited 0.
std::string handOffLater() {
    return "(sleep 2; exec " + shellQuote(TP_VOX_ZIP_BIN) +
           " \"$@\") </dev/null >/dev/null 2>&1 & exit 0";
}

std::string sizeOf(const TempFolder& root, const std::string& file) {
    return std::to_string(fs::file_size(root.path(file)));
}

// One tool per file, each lying in its own way; the .gz of theme 4 is a folder that cannot be
// removed, so its tool must never start. Theme 5's tool hands the work to a background process
// that finishes after the tool has exited, which the least wait covers.
TEST(OutputsTest, KeepsEveryBinWhoseGzDoesNotCheckOut) {
    TempFolder root;
    TempFolder logFolder;
    writeTree(root, {"0/a.bmp", "2/", "3/", "4/Theme.bin.gz/x", "5/"});
    ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
    // A .gz that an identical earlier run made: it would pass every check, but is not this run's.
    ASSERT_EQ(runShell(root.path(), "gzip -k Index.bin").exitStatus, 0);

    const std::string logPath = logFolder.path("calls");
    const std::string tool = kToolPath + std::string("echo \"$3\" >>") + shellQuote(logPath) + R"(
case "$3" in
Index.bin) exit 0 ;;
0/Theme.bin) printf x | gzip -c >"$3.gz"; exit 0 ;;
2/Theme.bin) mkfifo "$3.gz"; exit 0 ;;
3/Theme.bin) echo "plain text, long enough for a gzip file" >"$3.gz"; exit 0 ;;
5/Theme.bin) )" + handOffLater() +
                             R"( ;;
esac)";
    const LonePackager packager(tool.c_str());
    const ProgramResult run = packager.run(root);

    EXPECT_EQ(run.out, kBanner + kZipFailed + kCompletion);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(rooted(run.err, root),
              kPrefix +
                  std::string("cannot remove ROOT/4/Theme.bin.gz, left by an earlier run: "
                              "Is a directory; 4/Theme.bin is kept and not compressed\n") +
                  kPrefix +
                  "VOX_ZIP reported success, but ROOT/Index.bin.gz cannot be opened: No such "
                  "file or directory; Index.bin is kept\n" +
                  kPrefix + "ROOT/0/Theme.bin.gz restores to 1 bytes, not the " +
                  sizeOf(root, "0/Theme.bin") + " of the bin file; 0/Theme.bin is kept\n" +
                  kPrefix +
                  "VOX_ZIP reported success, but ROOT/2/Theme.bin.gz cannot be opened: not a "
                  "regular file; 2/Theme.bin is kept\n" +
                  kPrefix + "ROOT/3/Theme.bin.gz is not a gzip file; 3/Theme.bin is kept\n");
    // The tools run side by side, so their lines come in any order.
    const auto log = logFolder.readBytes("calls");
    std::vector<std::string> calls;
    std::istringstream lines(std::string(log.begin(), log.end()));
    for (std::string line; std::getline(lines, line);) {
        calls.push_back(line);
    }
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"0/Theme.bin", "2/Theme.bin", "3/Theme.bin",
                                               "5/Theme.bin", "Index.bin"}));
    for (const char* kept :
         {"Index.bin", "0/Theme.bin", "2/Theme.bin", "3/Theme.bin", "4/Theme.bin"}) {
        EXPECT_TRUE(root.exists(kept)) << kept;
    }
    EXPECT_FALSE(root.exists("Index.bin.gz"));
    EXPECT_FALSE(root.exists("5/Theme.bin"));
    EXPECT_EQ(gunzip(root.path(), "5/Theme.bin.gz"), root.readBytes("0/Theme.bin"));
}

// Tools that hand their work to background processes are accepted once it shows; a tool still
// running 10 s after the first start is named once, and then waited for.
TEST(OutputsTest, WaitsForSlowToolsAndSaysForWhichOnce) {
    TempFolder root;
    writeTree(root, {"0/a.bmp", "2/"});
    const std::string tool = kToolPath + std::string(R"(case "$3" in
2/Theme.bin) sleep 12 ;;
*) )") + handOffLater() + R"( ;;
esac)";
    const LonePackager packager(tool.c_str());
    const ProgramResult run = packager.run(root);

    EXPECT_EQ(run.out, kBanner + kZipCreated + kCompletion);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(rooted(run.err, root),
              kPrefix + std::string("still waiting for VOX_ZIP to finish ROOT/2/Theme.bin\n"));
    for (const char* bin : {"Index.bin", "0/Theme.bin", "2/Theme.bin"}) {
        EXPECT_FALSE(root.exists(bin)) << bin;
        EXPECT_FALSE(gunzip(root.path(), bin + std::string(".gz")).empty()) << bin;
    }
}

// A first run leaves its bins; the second, on a changed tree with a variant folder it may not
// write in, fails to create that theme's bin and must leave the earlier bins byte for byte, with
// no temporary file behind.
TEST(OutputsTest, AFolderThatCannotBeWrittenLeavesTheEarlierRunsBinsAsTheyWere) {
    TempFolder root;
    writeTree(root, {"0/a.bmp", "3/"});
    const LonePackager packager(nullptr);
    ASSERT_EQ(packager.run(root).exitStatus, 2);
    writeTree(root, {"2/a.bmp", TreeFile("0/a.bmp", 120, 90)});
    // Permission bits do not stop root: the run is made by a user that owns the tree.
    const std::string user = asNobody(root);
    fs::permissions(root.path("2"), fs::perms::owner_read | fs::perms::owner_exec);
    const auto before = snapshot(root);

    const ProgramResult run = packager.run(root, "", user);

    EXPECT_EQ(run.out, kBanner + kCannotWrite + kCompletion);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(rooted(run.err, root),
              kPrefix + std::string("cannot create ROOT/2/Theme.bin: Permission denied\n"));
    fs::permissions(root.path("2"), fs::perms::owner_all, fs::perm_options::add);
    EXPECT_EQ(snapshot(root), before);
}

} // namespace
