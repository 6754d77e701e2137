// The number of conversion threads changes nothing a user sees: random theme trees, with broken
// images, folders at variant paths and groups whose files are scattered over the tree, give the
// same bins, the same console lines and the same exit status with one thread and with several.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "common/theme_slots.h"
#include "support/packager_run.h"
#include "support/test_os.h"

namespace {

// A tree of a base theme and a few variants. Folder names repeat at different depths and files
// stand between sub-folders, so that groups are filled out of listing order; some images are cut
// short and some variant paths hold folders, so that themes stop at different images.
std::vector<TreeFile> randomTree(unsigned seed) {
    std::mt19937 rng(seed);
    const auto pick = [&rng](unsigned n) { return static_cast<int>(rng() % n); };
    const std::vector<std::string> folders = {"",        "menu/", "icons/", "menu/icons/",
                                              "a/menu/", "z/"};
    std::vector<std::string> images;
    for (int i = 0, count = 20 + pick(30); i < count; ++i) {
        images.push_back(folders[static_cast<std::size_t>(pick(6))] + "f" + std::to_string(i) +
                         ".bmp");
    }
    std::vector<TreeFile> tree;
    std::vector<int> themes = {0};
    for (int n = 1; n < kThemeSlots; ++n) {
        if (pick(3) == 0) {
            themes.push_back(n);
        }
    }
    for (const int theme : themes) {
        for (const std::string& image : images) {
            const bool present = theme == 0 || pick(3) == 0;
            const std::string path = std::to_string(theme) + "/" + image;
            if (!present) {
                continue;
            }
            const int kind = pick(40);
            if (kind == 0) {
                tree.emplace_back(path.c_str(), 0); // cut short
            } else if (kind == 1 && theme != 0) {
                tree.emplace_back((path + "/").c_str()); // a folder at a variant path
            } else {
                tree.emplace_back(path.c_str(), 6 + pick(90), 1 + pick(40));
            }
        }
    }
    return tree;
}

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

TEST_P(ThreadsTest, OneThreadAndSeveralGiveTheSameBytesLinesAndStatus) {
    TempFolder root;
    writeTree(root, randomTree(GetParam()));
    const Outcome one = packWithThreads(root, "1");
    ASSERT_NE(one.run.out.find(kCompletion), std::string::npos) << one.run.err;
    for (const char* threads : {"2", "3"}) {
        const Outcome several = packWithThreads(root, threads);
        EXPECT_EQ(several.run.exitStatus, one.run.exitStatus) << threads;
        EXPECT_EQ(several.run.out, one.run.out) << threads;
        EXPECT_EQ(several.run.err, one.run.err) << threads;
        EXPECT_TRUE(several.files == one.files) << threads << " threads wrote other bytes";
    }
}

INSTANTIATE_TEST_SUITE_P(RandomTrees, ThreadsTest, ::testing::Range(1u, 13u));

TEST(ThreadsSettingTest, ASettingThatIsNoNumberOfThreadsIsSaidAndIgnored) {
    TempFolder root;
    writeTree(root, randomTree(1));
    const Outcome one = packWithThreads(root, "1");
    for (const char* setting : {"0", "two", "2x", "-1"}) {
        const Outcome odd = packWithThreads(root, setting);
        EXPECT_EQ(odd.run.err, "theme-packager: TP_THREADS=" + std::string(setting) +
                                   " is not a number of threads of at least 1; it is ignored\n" +
                                   one.run.err);
        EXPECT_EQ(odd.run.exitStatus, one.run.exitStatus) << setting;
        EXPECT_TRUE(odd.files == one.files) << setting;
    }
}

} // namespace
