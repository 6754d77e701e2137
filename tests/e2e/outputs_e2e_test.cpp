// theme-packager, the real binary, where its compressed outputs must be trusted: VOX_ZIP
// stand-ins that say yes without doing the work, and a .gz left by an earlier run. (Slow tools
// and bins that cannot be written are rows of the packager's run table.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/packager_run.h"

namespace fs = std::filesystem;

namespace {

constexpr char kPrefix[] = "theme-packager: ";

// One tool per file, each lying in its own way (theme 2's makes its .gz a FIFO; on Windows,
// which has none, a folder); the .gz of theme 4 is a folder that cannot be removed, so its tool
// must never start. Theme 5's tool hands the work to a background process
// that finishes after the tool has exited, which the least wait covers.
TEST(OutputsTest, KeepsEveryBinWhoseGzDoesNotCheckOut) {
    TempFolder root;
    TempFolder logFolder;
    writeTree(root, {"0/a.bmp", "2/", "3/", "4/Theme.bin.gz/x", "5/"});
    ASSERT_EQ(LonePackager(nullptr).run(root).exitStatus, 2);
    // A .gz that an identical earlier run made: it would pass every check, but is not this run's.
    root.writeBytes("Index.bin.gz", gzipped(root.readBytes("Index.bin")));

    const std::string logged = " log " + logFolder.path("calls");
    const std::string plan = "Index.bin" + logged + " exit 0\n0/Theme.bin" + logged +
                             " gz x exit 0\n2/Theme.bin" + logged + " odd exit 0\n3/Theme.bin" +
                             logged +
                             " write plain-text-long-enough-for-a-gzip-file exit 0\n5/Theme.bin" +
                             logged + " later 2000\n";
    const LonePackager packager(plan.c_str());
    const ProgramResult run = packager.run(root);

    EXPECT_EQ(run.out, kBanner + kZipFailed + kCompletion);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(rooted(run.err, root),
              nativePaths(
                  kPrefix +
                  std::string("cannot remove ROOT/4/Theme.bin.gz, left by an earlier run: "
                              "Is a directory; 4/Theme.bin is kept and not compressed\n") +
                  kPrefix +
                  "VOX_ZIP reported success, but ROOT/Index.bin.gz cannot be "
                  "opened: " +
                  osText("No such file or directory", "File not found.") + "; Index.bin is kept\n" +
                  kPrefix + "ROOT/0/Theme.bin.gz restores to 1 bytes, not the " +
                  std::to_string(fs::file_size(root.path("0/Theme.bin"))) +
                  " of the bin file; 0/Theme.bin is kept\n" + kPrefix +
                  "VOX_ZIP reported success, but ROOT/2/Theme.bin.gz cannot be "
                  "opened: " +
                  osText("not a regular file", "is a folder") + "; 2/Theme.bin is kept\n" +
                  kPrefix + "ROOT/3/Theme.bin.gz is not a gzip file; 3/Theme.bin is kept\n"));
    // The tools run side by side, so their lines come in any order.
    const auto log = logFolder.readBytes("calls");
    std::vector<std::string> calls = words({log.begin(), log.end()});
    std::sort(calls.begin(), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"0/Theme.bin", "2/Theme.bin", "3/Theme.bin",
                                               "5/Theme.bin", "Index.bin"}));
    for (const char* kept :
         {"Index.bin", "0/Theme.bin", "2/Theme.bin", "3/Theme.bin", "4/Theme.bin"}) {
        EXPECT_TRUE(root.exists(kept)) << kept;
    }
    EXPECT_FALSE(root.exists("Index.bin.gz"));
    EXPECT_FALSE(root.exists("5/Theme.bin"));
    EXPECT_EQ(gunzip(root.readBytes("5/Theme.bin.gz")), root.readBytes("0/Theme.bin"));
}

} // namespace
