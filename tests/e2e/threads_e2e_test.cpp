// The number of conversion threads changes nothing a user sees: random theme trees, with broken
// images, folders at variant paths and groups whose files are scattered over the tree, give the
// same bins, the same console lines and the same exit status with one thread and with several.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/packager_run.h"
#include "support/test_os.h"

namespace {

// What a run shows and leaves: its console, its exit status and every file of the tree.
struct Outcome {
    ProgramResult run;
    std::map<std::string, std::vector<std::uint8_t>> files;
};

Outcome packWithThreads(const TempFolder& root, const char* threads) {
    setVariable("TP_THREADS", threads);
    const LonePackager packager(nullptr);
    Outcome outcome{packager.run(root), snapshot(root)};
    setVariable("TP_THREADS", "");
    for (int n = -1; n < kThemeSlots; ++n) {
        std::filesystem::remove(root.path(n < 0 ? "Index.bin" : std::to_string(n) + "/Theme.bin"));
    }
    return outcome;
}

class ThreadsTest : public ::testing::TestWithParam<unsigned> {};

// A setting that is no number of threads of at least 1 is said and ignored; each tree tries one.
TEST_P(ThreadsTest, OneThreadAndSeveralGiveTheSameBytesLinesAndStatus) {
    TempFolder root;
    // Folder names that differ in more than case: Windows cannot hold two that do not.
    writeTree(root, randomTree(GetParam(), {"menu", "icons", "a", "z"}, {"f", "g", "h"}, true));
    const Outcome one = packWithThreads(root, "1");
    ASSERT_NE(one.run.out.find(kCompletion), std::string::npos) << one.run.err;
    const std::string odd = std::vector<std::string>{"0", "two", "2x", "-1"}[GetParam() % 4];
    for (const std::string& threads : {std::string("2"), std::string("3"), odd}) {
        const Outcome several = packWithThreads(root, threads.c_str());
        const std::string said = threads != odd ? ""
                                                : "theme-packager: TP_THREADS=" + odd +
                                                      " is not a number of threads of at least 1; "
                                                      "it is ignored\n";
        EXPECT_EQ(several.run.exitStatus, one.run.exitStatus) << threads;
        EXPECT_EQ(several.run.out, one.run.out) << threads;
        EXPECT_EQ(several.run.err, said + one.run.err) << threads;
        EXPECT_TRUE(several.files == one.files) << threads << " threads wrote other bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(RandomTrees, ThreadsTest, ::testing::Range(1u, 13u));

} // namespace
