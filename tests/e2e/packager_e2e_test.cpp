// theme-packager on theme trees built in a temporary folder: its console lines, its exit status and
// every byte it writes, each slot decoded back and compared with its source picture. The packager
// runs as a lone copy that finds no VOX_ZIP, so its bins stay as written.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "support/bin_files.h"
#include "support/packager_runs.h"
#include "support/theme_tree.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Snapshot = std::map<std::string, Bytes>;

// Expected diagnostics name paths below "ROOT", the root folder as the packager finds it (with
// links resolved).
std::string withRoot(const std::string& text, const TempFolder& root) {
    const std::string real = std::filesystem::canonical(root.path()).string();
    std::string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("ROOT", from)) != std::string::npos; from = at + 4) {
        out += text.substr(from, at - from) + real;
    }
    return out + text.substr(from);
}

// Standard error without the lines about the tools that a lone packager cannot start.
std::string withoutToolLines(const std::string& err) {
    std::istringstream lines(err);
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("theme-packager: cannot run \"VOX_ZIP", 0) != 0) {
            kept += line + "\n";
        }
    }
    return kept;
}

// Paths whose entry differs between two snapshots, or that only one of them has.
std::vector<std::string> changedPaths(const Snapshot& before, const Snapshot& after) {
    std::set<std::string> paths;
    for (const auto& [path, bytes] : before) {
        const auto other = after.find(path);
        if (other == after.end() || other->second != bytes) {
            paths.insert(path);
        }
    }
    for (const auto& [path, bytes] : after) {
        if (before.count(path) == 0) {
            paths.insert(path);
        }
    }
    return {paths.begin(), paths.end()};
}

// One image of the index: its group and name as Index.bin holds them, and per present theme the
// tree file whose picture its slot holds.
struct ExpectedSlot {
    std::string group;
    std::string name;
    std::map<int, std::string> sources;
};

// Index.bin names exactly the expected images, in order; every theme's Theme.bin holds in each
// slot the expected picture, followed only by 'P' bytes; each slot is as long as its largest
// copy; and nothing but the bins was added to the tree.
void expectPacked(const TempFolder& root, const std::vector<TreeFile>& tree,
                  const std::vector<ExpectedSlot>& expected) {
    std::map<std::string, const TreeFile*> sources;
    for (const TreeFile& file : tree) {
        sources[file.path] = &file;
    }
    std::set<std::string> bins = {"Index.bin"};
    for (const auto& [theme, path] : expected.at(0).sources) {
        bins.insert(std::to_string(theme) + "/Theme.bin");
    }
    std::set<std::string> added;
    for (const auto& [path, bytes] : snapshot(root)) {
        if (path.back() != '/' && sources.count(path) == 0) {
            added.insert(path);
        }
    }
    EXPECT_EQ(added, bins);

    std::string error;
    std::vector<IndexedGroup> groups;
    ASSERT_TRUE(readIndexFile(root.readBytes("Index.bin"), groups, error)) << error;
    std::vector<std::pair<std::string, std::string>> names;
    std::vector<std::uint32_t> slotSizes;
    for (const IndexedGroup& group : groups) {
        for (const IndexedImage& image : group.images) {
            names.emplace_back(group.name, image.name);
            slotSizes.push_back(image.slotSize);
        }
    }
    std::vector<std::pair<std::string, std::string>> expectedNames;
    for (const ExpectedSlot& slot : expected) {
        expectedNames.emplace_back(slot.group, slot.name);
    }
    ASSERT_EQ(names, expectedNames);

    std::vector<std::size_t> largest(expected.size());
    for (const auto& [theme, unused] : expected[0].sources) {
        std::vector<Bytes> slots;
        ASSERT_TRUE(readThemeSlots(root.readBytes(std::to_string(theme) + "/Theme.bin"), groups,
                                   slots, error))
            << "theme " << theme << ": " << error;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const std::string& path = expected[i].sources.at(theme);
            SlotImage image;
            ASSERT_TRUE(readSlotImage(slots[i], image, error))
                << "theme " << theme << ", " << path << ": " << error;
            const TreeFile& source = *sources.at(path);
            EXPECT_TRUE(image.pri0Block ==
                        pri0BlockOf(source.width, source.height, pixelsOf(source)))
                << "theme " << theme << " does not hold the pixels of " << path;
            largest[i] = std::max(largest[i], image.encodedSize);
        }
    }
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(slotSizes[i], largest[i]) << expected[i].name;
    }
}

// Files and folders of the base theme interleaved, names that sort differently with and without
// case, a folder name at two depths, names longer than their fields, and files that are no
// images.
const std::vector<TreeFile> kNestedTree = {
    {"0/B.bmp", 5, 3, 1},
    {"0/a.bmp", 1, 1, 2},
    {"0/a_very_long_image_name_that_fills_the_field.bmp", 3, 2, 3},
    {"0/menu/bg.bmp", 48, 32, 4},
    {"0/menu/sub/icon.bmp", 16, 16, 5},
    {"0/menu/z.bmp", 7, 5, 6},
    {"0/navigation_bar/back.bmp", 9, 9, 7},
    {"0/navigation_bar/sub/next.bmp", 12, 9, 8},
    textFile("0/readme.txt"),
    textFile("0/photo.BMP"),
};

std::map<int, std::string> only0(const std::string& path) {
    return {{0, path}};
}

struct PackCase {
    const char* name;
    std::vector<TreeFile> tree;
    std::vector<ExpectedSlot> slots;
    /// Standard error besides the tool lines, paths below "ROOT".
    std::string err;
};

// A base theme whose third image fails, with a variant that overrides one image before it and
// one after it: both themes stop at the shared failing file and hold what came before.
PackCase stopCase(const char* name, TreeContent broken, const std::string& cause) {
    const std::string line = "cannot convert ROOT/0/n.bmp: " + cause + "; the rest of theme ";
    return {name,
            {{"0/a.bmp", 6, 4, 1},
             {"0/m/x.bmp", 5, 5, 2},
             {"0/n.bmp", 8, 8, 3, broken},
             {"0/z.bmp", 4, 4, 4},
             {"2/a.bmp", 9, 7, 5},
             {"2/z.bmp", 3, 3, 6}},
            {{"0", "a.bmp", {{0, "0/a.bmp"}, {2, "2/a.bmp"}}},
             {"m", "x.bmp", {{0, "0/m/x.bmp"}, {2, "0/m/x.bmp"}}}},
            "theme-packager: theme 0: " + line + "0 is not packed\n" +
                "theme-packager: theme 2: " + line + "2 is not packed\n"};
}

void PrintTo(const PackCase& c, std::ostream* out) {
    *out << c.name;
}

class PackTreeTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackTreeTest, EverySlotHoldsItsThemesPicture) {
    const PackCase& c = GetParam();
    TempFolder root;
    writeTree(root, c.tree);

    const ProgramResult run = LonePackager().run(root);

    EXPECT_EQ(run.out, kBanner + kZipFailed + kCompletion);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(withoutToolLines(run.err), withRoot(c.err, root));
    expectPacked(root, c.tree, c.slots);
}

INSTANTIATE_TEST_SUITE_P(
    Trees, PackTreeTest,
    ::testing::Values(PackCase{"NestedGroups",
                               kNestedTree,
                               {{"0", "a.bmp", only0("0/a.bmp")},
                                {"0", "a_very_long_image_name_that_fills_the_f",
                                 only0("0/a_very_long_image_name_that_fills_the_field.bmp")},
                                {"0", "B.bmp", only0("0/B.bmp")},
                                {"menu", "bg.bmp", only0("0/menu/bg.bmp")},
                                {"menu", "z.bmp", only0("0/menu/z.bmp")},
                                {"sub", "icon.bmp", only0("0/menu/sub/icon.bmp")},
                                {"sub", "next.bmp", only0("0/navigation_bar/sub/next.bmp")},
                                {"navigation_", "back.bmp", only0("0/navigation_bar/back.bmp")}},
                               ""},
                      // Theme 2's icon is smaller and its background larger than theme 0's: each
                      // theme has one copy padded with 'P'.
                      PackCase{
                          "OverridesOfDifferentSizes",
                          {{"0/icon.bmp", 24, 24, 1},
                           {"0/menu/bg.bmp", 20, 12, 2},
                           {"0/menu/logo.bmp", 10, 10, 3},
                           {"2/icon.bmp", 6, 4, 4},
                           {"2/menu/bg.bmp", 64, 40, 5}},
                          {{"0", "icon.bmp", {{0, "0/icon.bmp"}, {2, "2/icon.bmp"}}},
                           {"menu", "bg.bmp", {{0, "0/menu/bg.bmp"}, {2, "2/menu/bg.bmp"}}},
                           {"menu", "logo.bmp", {{0, "0/menu/logo.bmp"}, {2, "0/menu/logo.bmp"}}}},
                          ""},
                      // A folder where a variant's file would be does not replace the base image.
                      PackCase{"VariantOnlyFilesIgnored",
                               {{"0/a.bmp", 4, 3, 1},
                                {"0/b.bmp", 3, 4, 2},
                                {"3/extra.bmp", 5, 5, 3},
                                {"3/menu/new.bmp", 6, 6, 4},
                                {"3/b.bmp/a.bmp", 7, 7, 5}},
                               {{"0", "a.bmp", {{0, "0/a.bmp"}, {3, "0/a.bmp"}}},
                                {"0", "b.bmp", {{0, "0/b.bmp"}, {3, "0/b.bmp"}}}},
                               ""},
                      // Only the theme digit right after the root changes; the decoys sit where
                      // replacing every component named 0 would look.
                      PackCase{"LaterComponentNamedZeroStays",
                               {{"0/0/y.bmp", 4, 4, 1},
                                {"0/menu/0/x.bmp", 5, 3, 2},
                                {"2/0/y.bmp", 6, 2, 3},
                                {"2/2/y.bmp", 2, 2, 4},
                                {"2/menu/0/x.bmp", 3, 5, 5},
                                {"2/menu/2/x.bmp", 2, 3, 6}},
                               {{"0", "y.bmp", {{0, "0/0/y.bmp"}, {2, "2/0/y.bmp"}}},
                                {"0", "x.bmp", {{0, "0/menu/0/x.bmp"}, {2, "2/menu/0/x.bmp"}}}},
                               ""},
                      stopCase("StopsAtTruncatedImage", TreeContent::truncated, "is truncated"),
                      stopCase("StopsAtUnsupportedHeader", TreeContent::header108,
                               "has an unsupported BMP header size")),
    [](const auto& test) { return std::string(test.param.name); });

struct RefusedCase {
    const char* name;
    std::vector<TreeFile> tree;
    /// Standard error, paths below "ROOT".
    std::string err;
    /// Files that the run leaves empty; everything else stays as it was.
    std::vector<std::string> emptied;
};

void PrintTo(const RefusedCase& c, std::ostream* out) {
    *out << c.name;
}

class WriteRefusedTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(WriteRefusedTest, SaysSoAndWritesNoBin) {
    const RefusedCase& c = GetParam();
    TempFolder root;
    writeTree(root, c.tree);
    Snapshot expected = snapshot(root);
    for (const std::string& path : c.emptied) {
        expected[path].clear();
    }

    const ProgramResult run = LonePackager().run(root);

    EXPECT_EQ(run.out, kBanner + kCannotWriteBin + kCompletion);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, withRoot(c.err, root));
    EXPECT_EQ(changedPaths(expected, snapshot(root)), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Trees, WriteRefusedTest,
    ::testing::Values(
        // Theme 2 stops before its last image, so it cannot fill theme 0's slots: the bins of
        // an earlier run stay untouched.
        RefusedCase{"VariantImageFails",
                    {{"0/a.bmp", 4, 4, 1},
                     {"0/b.bmp", 5, 5, 2},
                     {"2/b.bmp", 6, 6, 3, TreeContent::truncated},
                     textFile("Index.bin"),
                     textFile("0/Theme.bin"),
                     textFile("2/Theme.bin")},
                    "theme-packager: theme 2: cannot convert ROOT/2/b.bmp: is truncated; the rest "
                    "of theme 2 is not packed\n"
                    "theme-packager: cannot write ROOT/2/Theme.bin: theme 2 has fewer images in "
                    "group 0 than theme 0\n",
                    {}},
        // The files opened before the one that cannot be created are left empty; theme 3's,
        // later in the order, is not touched.
        RefusedCase{"ThemeBinIsAFolder",
                    {{"0/a.bmp", 4, 4, 1},
                     {"2/a.bmp", 5, 5, 2},
                     folderEntry("2/Theme.bin"),
                     textFile("3/Theme.bin"),
                     textFile("Index.bin")},
                    "theme-packager: cannot create ROOT/2/Theme.bin: Is a directory\n",
                    {"Index.bin", "0/Theme.bin"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(PackagerOutputTest, SameTreeGivesSameBytesWhateverItsCreationOrder) {
    std::vector<TreeFile> tree = kNestedTree;
    tree.push_back({"2/menu/z.bmp", 9, 4, 9});
    std::vector<TreeFile> reversed(tree.rbegin(), tree.rend());
    TempFolder first;
    TempFolder second;
    writeTree(first, tree);
    writeTree(second, reversed);
    const LonePackager packager;
    ASSERT_EQ(packager.run(first).exitStatus, 2);
    const Snapshot firstRun = snapshot(first);
    ASSERT_EQ(packager.run(second).exitStatus, 2);
    // A second run over the first run's bins writes them anew.
    ASSERT_EQ(packager.run(first).exitStatus, 2);

    for (const std::string name : {"Index.bin", "0/Theme.bin", "2/Theme.bin"}) {
        const Bytes bytes = first.readBytes(name);
        EXPECT_FALSE(bytes.empty()) << name;
        EXPECT_TRUE(second.readBytes(name) == bytes) << name;
    }
    EXPECT_EQ(changedPaths(firstRun, snapshot(first)), std::vector<std::string>{});
}

} // namespace
