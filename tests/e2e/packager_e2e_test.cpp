// theme-packager, the real binary, on theme trees built in a temporary folder: its console lines,
// its exit status and every byte it writes (the build checked by theme-inspect's reader, every
// copy decoded back and compared with its source picture), with no VOX_ZIP, the real one or a
// failing stand-in beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "codec/rle_decoder.h"
#include "inspect/build_scan.h"
#include "support/packager_run.h"

namespace {

struct RunCase {
    const char* name;
    std::vector<TreeFile> tree{};
    const char* tool = nullptr; // see LonePackager
    std::string arguments{};
    std::string result = kZipFailed; // between the banner and the completion line
    int status = -1;                 // the exit status, when not the result line's own
    /// The files a run adds: Index.bin first, then the themes' Theme.bin, each maybe compressed.
    std::vector<std::string> outputs{};
    /// Per image in index order: "group:image", then the tree file each theme's slot holds.
    std::vector<std::vector<std::string>> slots{};
    std::string err{}; // standard error; a run that finds no VOX_ZIP says so for every output
};

void PrintTo(const RunCase& c, std::ostream* out) {
    *out << c.name;
}

// The build keeps every rule of the formats (slot sizes, 'P' fill, lengths, markers), and each
// theme's copy of each image is its expected tree file's picture.
void expectSlots(const TempFolder& root, const RunCase& c) {
    ScannedBuild build;
    std::string error;
    ASSERT_EQ(scanBuild(root.path(), {.keepBytes = true}, {}, build, error), ScanFailure::kNone)
        << error;
    for (const Fault& fault : build.check.faults) {
        ADD_FAILURE() << faultLine(build, fault);
    }
    const auto index = build.index.bytes.view();
    const IndexLayout& layout = build.check.layout;
    ASSERT_EQ(layout.images.size(), c.slots.size());
    for (const IndexGroup& group : layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            EXPECT_EQ(std::string(groupName(index, group)) + ":" +
                          std::string(imageName(index, layout.images[k])),
                      c.slots[k].at(0));
            for (std::size_t t = 1; t < c.outputs.size(); ++t) {
                const std::string& path = c.slots[k].at(t);
                RleDecodeResult image;
                ASSERT_TRUE(decodeRleImage(copyBytes(build, c.outputs[t][0] - '0', k), 1, image))
                    << path;
                const TreeFile& source =
                    *std::find_if(c.tree.begin(), c.tree.end(),
                                  [&](const TreeFile& f) { return f.path == path; });
                EXPECT_EQ(image.pri0Block,
                          uiLikePri0Block(source.width, source.height, source.seed()))
                    << c.outputs[t] << ": " << path;
            }
        }
    }
}

class RunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTest, ConsoleExitStatusAndEveryByteWritten) {
    const RunCase& c = GetParam();
    TempFolder root;
    writeTree(root, c.tree);
    const auto before = snapshot(root);
    const LonePackager packager(c.tool);

    const auto start = std::chrono::steady_clock::now();
    const ProgramResult run = packager.run(root, c.arguments);
    // With no tool started there is nothing to give the 5-second least wait to.
    EXPECT_TRUE(c.tool || std::chrono::steady_clock::now() - start < std::chrono::seconds(4))
        << "waited for no tool";

    EXPECT_EQ(run.out, kBanner + c.result + kCompletion);
    const int lineStatus = c.result == kZipCreated ? 0 : c.result == kZipFailed ? 2 : 1;
    EXPECT_EQ(run.exitStatus, c.status >= 0 ? c.status : lineStatus);
    std::string err = c.err;
    for (std::size_t i = 0; c.tool == nullptr && i < c.outputs.size(); ++i) {
        err += "theme-packager: cannot run \"VOX_ZIP" + std::string(i == 0 ? ".exe" : "") +
               " -c -9 " + c.outputs[i] + kNotFound;
    }
    EXPECT_EQ(rooted(run.err, root), err);
    if (c.outputs.empty()) {
        EXPECT_EQ(snapshot(root), before);
        return;
    }
    std::vector<std::string> added;
    for (const std::string& path : names(root)) {
        if (before.count(path) == 0) {
            added.push_back(path);
        }
    }
    std::vector<std::string> outputs = c.outputs;
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(added, outputs);
    expectSlots(root, c);
    if (c.tool != nullptr) {
        return;
    }
    // The tree written in the other order gives the same bytes, and so does a second run.
    TempFolder again;
    writeTree(again, {c.tree.rbegin(), c.tree.rend()});
    packager.run(again);
    const auto packed = snapshot(root);
    EXPECT_EQ(snapshot(again), packed);
    packager.run(root);
    EXPECT_EQ(snapshot(root), packed);
}

// Theme 2's icon is smaller and its background larger: each theme pads one copy.
const std::vector<TreeFile> kOverrides = {TreeFile("0/icon.bmp", 24, 24), "0/menu/bg.bmp",
                                          "0/menu/logo.bmp", "2/icon.bmp",
                                          TreeFile("2/menu/bg.bmp", 64, 40)};
const std::vector<std::vector<std::string>> kOverrideSlots = {
    {"0:icon.bmp", "0/icon.bmp", "2/icon.bmp"},
    {"menu:bg.bmp", "0/menu/bg.bmp", "2/menu/bg.bmp"},
    {"menu:logo.bmp", "0/menu/logo.bmp", "0/menu/logo.bmp"}};

INSTANTIATE_TEST_SUITE_P(
    Trees, RunTest,
    ::testing::Values(
        // Files and folders interleaved, names that sort differently with and without case, one
        // folder name at two depths, files that are no images, and names cut to their index
        // fields that collide: one warning per pair, bytes as ever.
        RunCase{.name = "NestedGroups",
                .tree = {"0/B.bmp", "0/a.bmp", "0/image_name_that_is_longer_than_its_field_1.bmp",
                         "0/image_name_that_is_longer_than_its_field_2.bmp", "0/menu/bg.bmp",
                         "0/menu/sub/icon.bmp", "0/menu/z.bmp", "0/navigation_bar_A/back.bmp",
                         "0/navigation_bar_A/sub/next.bmp", "0/navigation_bar_B/x.bmp",
                         "0/readme.txt", "0/photo.BMP"},
                .outputs = {"Index.bin", "0/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp"},
                          {"0:B.bmp", "0/B.bmp"},
                          {"0:image_name_that_is_longer_than_its_fiel",
                           "0/image_name_that_is_longer_than_its_field_1.bmp"},
                          {"0:image_name_that_is_longer_than_its_fiel",
                           "0/image_name_that_is_longer_than_its_field_2.bmp"},
                          {"menu:bg.bmp", "0/menu/bg.bmp"},
                          {"menu:z.bmp", "0/menu/z.bmp"},
                          {"sub:icon.bmp", "0/menu/sub/icon.bmp"},
                          {"sub:next.bmp", "0/navigation_bar_A/sub/next.bmp"},
                          {"navigation_:back.bmp", "0/navigation_bar_A/back.bmp"},
                          {"navigation_:x.bmp", "0/navigation_bar_B/x.bmp"}},
                .err = "theme-packager: warning: ROOT/0/image_name_that_is_longer_than_its_"
                       "field_1.bmp and ROOT/0/image_name_that_is_longer_than_its_field_2.bmp "
                       "are both stored as \"image_name_that_is_longer_than_its_fiel\" in "
                       "Index.bin\n"
                       "theme-packager: warning: the groups of ROOT/0/navigation_bar_A/back.bmp "
                       "and ROOT/0/navigation_bar_B/x.bmp are both stored as \"navigation_\" in "
                       "Index.bin\n"},
        RunCase{.name = "OverridesOfDifferentSizes",
                .tree = kOverrides,
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = kOverrideSlots},
        // A folder where a variant's file would be does not replace the base image either.
        RunCase{.name = "VariantOnlyFilesIgnored",
                .tree = {"0/a.bmp", "0/b.bmp", "3/extra.bmp", "3/menu/new.bmp", "3/b.bmp/a.bmp"},
                .outputs = {"Index.bin", "0/Theme.bin", "3/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "0/a.bmp"}, {"0:b.bmp", "0/b.bmp", "0/b.bmp"}},
                .err = "theme-packager: theme 3: ROOT/3/b.bmp is a folder; ROOT/0/b.bmp is used "
                       "in its place\n"},
        // Both themes stop at the shared broken file and keep what came before it; the exit
        // status tells a script that images are missing.
        RunCase{.name = "StopsAtBrokenImage",
                .tree = {"0/a.bmp", "0/m/x.bmp", TreeFile("0/n.bmp", 0), "0/z.bmp", "2/a.bmp",
                         "2/z.bmp"},
                .status = 3,
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "2/a.bmp"}, {"m:x.bmp", "0/m/x.bmp", "0/m/x.bmp"}},
                .err = "theme-packager: theme 0: ROOT/0/n.bmp is truncated; the "
                       "rest of theme 0 is not packed\n"
                       "theme-packager: theme 2: ROOT/0/n.bmp is truncated; the "
                       "rest of theme 2 is not packed\n"},
        RunCase{
            .name = "EmptyFolderArgumentsIgnored", .arguments = "--help -x 0", .result = kNoFolder},
        RunCase{.name = "VariantWithoutBaseTheme",
                .tree = {"3/a.bmp"},
                .result = kNoFolder,
                .err = "theme-packager: ROOT/0 is missing: variant themes are packed together "
                       "with the base theme in folder 0\n"},
        RunCase{.name = "NoImages",
                .tree = {"0/readme.txt", "0/photo.BMP", "0/menu/", "2/"},
                .result = "Error: There are no BMP images for packing\n"},
        // Theme 2 cannot fill theme 0's slots: the bins of an earlier run stay untouched.
        RunCase{.name = "VariantImageFails",
                .tree = {"0/a.bmp", "0/b.bmp", TreeFile("2/b.bmp", 0), "Index.bin", "0/Theme.bin",
                         "2/Theme.bin"},
                .result = kCannotWrite,
                .err = "theme-packager: theme 2: ROOT/2/b.bmp is truncated; the "
                       "rest of theme 2 is not packed\n"
                       "theme-packager: cannot write ROOT/2/Theme.bin: theme 2 has fewer images "
                       "in group 0 than theme 0\n"},
        // The two runs with a VOX_ZIP wait out its 5-second least wait.
        RunCase{.name = "CompressedByVoxZip",
                .tree = kOverrides,
                .tool = "",
                .result = kZipCreated,
                .outputs = {"Index.bin.gz", "0/Theme.bin.gz", "2/Theme.bin.gz"},
                .slots = kOverrideSlots},
        RunCase{.name = "VoxZipFailsForOneFile",
                .tree = kOverrides,
                .tool = "[ \"$3\" = 2/Theme.bin ] && { echo refused >&2; exit 3; }",
                .outputs = {"Index.bin.gz", "0/Theme.bin.gz", "2/Theme.bin"},
                .slots = kOverrideSlots,
                .err = "refused\ntheme-packager: \"VOX_ZIP -c -9 2/Theme.bin\" failed with exit "
                       "status 3; 2/Theme.bin is kept\n"}),
    [](const auto& test) { return std::string(test.param.name); });

// With both streams in one log, every line stands where it happened: the banner before the
// diagnostics of the load phase, the result line after them.
TEST(ConsoleTest, OneLogKeepsTheOrderOfEvents) {
    TempFolder root;
    writeTree(root, {"0/a.bmp", TreeFile("0/b.bmp", 0)});
    const LonePackager packager(nullptr);
    const ProgramResult run = packager.run(root, "2>&1");
    const std::string failed = "theme-packager: theme 0: ";
    const std::string notFound = "theme-packager: cannot run \"VOX_ZIP.exe";
    ASSERT_EQ(run.out.rfind(kBanner, 0), 0u) << run.out;
    EXPECT_LT(run.out.find(failed), run.out.find(notFound)) << run.out;
    EXPECT_LT(run.out.find(notFound), run.out.find(kZipFailed)) << run.out;
    EXPECT_EQ(run.exitStatus, 3);
}

} // namespace
