// theme-packager, the real binary, on theme trees built in a temporary folder, plain and hostile:
// its console lines, its exit status, its peak memory and every byte it writes (the build checked
// by theme-inspect's reader, every copy decoded back and compared with its source picture), with
// no VOX_ZIP, the real one or a failing stand-in beside it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>

#include "codec/rle_decoder.h"
#include "common/version.h"
#include "output/bin_format.h"
#include "readback/build_scan.h"
#include "support/packager_run.h"
#include "support/row_name.h"
#include "support/test_os.h"

namespace fs = std::filesystem;

namespace {

struct RunCase {
    const char* name;
    std::vector<TreeFile> tree{};
    /// Makes the tree hostile; only the bins of such a tree are looked at.
    void (*hostile)(const TempFolder&) = nullptr;
    const char* tool = nullptr; // see LonePackager
    std::vector<std::string> arguments{};
    std::string result = kZipFailed; // between the banner and the completion line
    int status = -1;                 // the exit status, when not the result line's own
    /// The files a run adds: Index.bin first, then the themes' Theme.bin, each maybe compressed.
    std::vector<std::string> outputs{};
    /// Per image in index order: "group:image", then the tree file each theme's slot holds.
    std::vector<std::vector<std::string>> slots{};
    std::string err{};     // standard error; a run that finds no VOX_ZIP says so for every output
    bool asNobody = false; // run without the rights of root, which reads any folder
    const char* notOnWindows = nullptr; // why the case cannot be made on Windows
};

// A run may take this much memory at most: the trees are small, and what is hostile in them is
// never read.
constexpr long kPeakLimitKb = 64 * 1024;

// The bins in root: all that is read of a hostile tree, which holds files that must not be opened.
std::map<std::string, std::vector<std::uint8_t>> binFiles(const TempFolder& root) {
    std::map<std::string, std::vector<std::uint8_t>> found;
    for (int n = -1; n < kThemeSlots; ++n) {
        for (const std::string gz : {"", ".gz"}) {
            const std::string path = (n < 0 ? std::string(kIndexFileName) : themeBinName(n)) + gz;
            if (fs::is_regular_file(root.path(path))) {
                found[fs::path(path).generic_string()] = root.readBytes(path);
            }
        }
    }
    return found;
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
    const IndexLayout& layout = build.check.layout;
    ASSERT_EQ(layout.images.size(), c.slots.size());
    for (const IndexGroup& group : layout.groups) {
        for (std::size_t k = group.firstImage; k < group.firstImage + group.imageCount; ++k) {
            EXPECT_EQ(std::string(group.name) + ":" + std::string(layout.images[k].name),
                      c.slots[k].at(0));
            for (std::size_t t = 1; t < c.outputs.size(); ++t) {
                const std::string& path = c.slots[k].at(t);
                RleDecodeResult image;
                ASSERT_TRUE(decodeRleImage(copyBytes(build, c.outputs[t][0] - '0', k),
                                           RunMode::kRows, image))
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

// Why hostile trees of some kinds are POSIX's alone.
constexpr char kNoFifos[] = "Windows has no FIFOs or device files among a folder's files";
constexpr char kNoLinks[] = "Wine makes no symbolic links";
constexpr char kNoRights[] =
    "Wine enforces no Windows access rights, only Unix ones, which root passes";

// 0/a.bmp, 30 images cut short (r00 to r29), 0/z.bmp; theme 2's a.bmp and two files of its own.
std::vector<TreeFile> refusedTree() {
    std::vector<TreeFile> tree{"0/a.bmp", "0/z.bmp", "2/a.bmp", "2/app/x.bmp", "2/extra.bmp"};
    for (int i = 0; i < 30; ++i) {
        tree.emplace_back(("0/r" + std::to_string(100 + i).substr(1) + ".bmp").c_str(), 0);
    }
    return tree;
}

std::string refusedErr() {
    const auto refused = [](int i) {
        return "ROOT/0/r" + std::to_string(100 + i).substr(1) + ".bmp";
    };
    std::string err = "theme-packager: theme 2: 2 files have no image of theme 0 at their paths "
                      "and are not packed: ROOT/2/app/x.bmp, ROOT/2/extra.bmp\n"
                      "theme-packager: theme 0: " +
                      refused(0) + " is truncated; the rest of theme 0 is not packed\n";
    for (int i = 1; i < 20; ++i) {
        err +=
            "theme-packager: theme 0: " + refused(i) + " would be refused too: it is truncated\n";
    }
    return err +
           "theme-packager: theme 0: 10 more images would be refused too\n"
           "theme-packager: theme 2: " +
           refused(0) + " is truncated; the rest of theme 2 is not packed\n";
}

class RunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTest, ConsoleExitStatusAndEveryByteWritten) {
    const RunCase& c = GetParam();
    if (kWindows && c.notOnWindows != nullptr) {
        GTEST_SKIP() << c.notOnWindows;
    }
    TempFolder root;
    writeTree(root, c.tree);
    if (c.hostile != nullptr) {
        c.hostile(root);
        ASSERT_FALSE(HasFatalFailure());
    }
    const auto look = [&] { return c.hostile == nullptr ? snapshot(root) : binFiles(root); };
    const auto before = look();
    const LonePackager packager(c.tool);

    const auto start = std::chrono::steady_clock::now();
    const ProgramResult run =
        packager.run(root, c.arguments, c.asNobody ? asNobody(root) : std::vector<std::string>{});
    // With no tool started there is nothing to give the 5-second least wait to.
    EXPECT_TRUE(c.tool || std::chrono::steady_clock::now() - start < std::chrono::seconds(4))
        << "waited for no tool";
    EXPECT_TRUE(kWindows || (run.peakKb > 0 && run.peakKb < kPeakLimitKb)) << run.peakKb << " KiB";

    EXPECT_EQ(run.out, kBanner + c.result + kCompletion);
    const int lineStatus = c.result == kZipCreated ? 0 : c.result == kZipFailed ? 2 : 1;
    EXPECT_EQ(run.exitStatus, c.status >= 0 ? c.status : lineStatus);
    std::string err = c.err;
    // The lines quote the command lines as they were run: only Windows names the tool VOX_ZIP.exe.
    for (std::size_t i = 0; c.tool == nullptr && i < c.outputs.size(); ++i) {
        err += "theme-packager: cannot run \"VOX_ZIP" + std::string(i == 0 ? kExeSuffix : "") +
               " -c -9 " + c.outputs[i] + kNotFound;
    }
    EXPECT_EQ(rooted(run.err, root), nativePaths(err));
    std::vector<std::string> added;
    for (const auto& [path, bytes] : look()) {
        if (before.count(path) == 0) {
            added.push_back(path);
        }
    }
    std::vector<std::string> outputs = c.outputs;
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(added, outputs);
    if (outputs.empty()) {
        EXPECT_EQ(look(), before); // also every bin of an earlier run, byte for byte
        return;
    }
    expectSlots(root, c);
    if (c.tool != nullptr || c.hostile != nullptr) {
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

// A chain of folder names of 250 bytes: over 4096 bytes of path at 17 on POSIX; under Wine,
// which hands Linux whole paths, 5 levels, well over Windows' classic 260 characters.
constexpr int kChain = kWindows ? 5 : 17;
constexpr int kChainMiddle = kWindows ? 3 : 10;

std::string chainFolder(int level) {
    const std::string name = (level < 10 ? "c0" : "c") + std::to_string(level);
    return name + std::string(250 - name.size(), 'x');
}

std::string chain(int levels) {
    std::string path = chainFolder(1);
    for (int i = 2; i <= levels; ++i) {
        path += '/';
        path += chainFolder(i);
    }
    return path;
}

// Theme 2's icon is smaller and its background larger: each theme pads one copy.
const std::vector<TreeFile> kOverrides = {TreeFile("0/icon.bmp", 24, 24), "0/menu/bg.bmp",
                                          "0/menu/logo.bmp", "2/icon.bmp",
                                          TreeFile("2/menu/bg.bmp", 64, 40)};
// The tree's pictures as 32-bit images whose fourth bytes vary (an alpha channel, as ImageMagick
// writes with -define bmp3:alpha=true: fourth -1) or hold one value, with or without an alpha mask
// in a 56-byte header or after a 40-byte one (compression 6).
void writeFourthBytes(const TempFolder& root) {
    const BmpForm plain{.width = 6, .height = 5, .bitsPerPixel = 32};
    BmpForm masked56 = plain;
    masked56.infoHeaderSize = 56;
    masked56.compression = 3;
    masked56.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    BmpForm masked40 = masked56;
    masked40.infoHeaderSize = 40;
    masked40.compression = 6;
    const struct {
        const char* path;
        const BmpForm& form;
        int fourth;
    } files[] = {
        {"0/a.bmp", plain, -1},       {"0/m/b.bmp", masked56, 0x80}, {"0/m/c.bmp", plain, 0},
        {"0/m/d.bmp", masked56, 255}, {"0/m/e.bmp", masked40, 0x40}, {"0/m/f.bmp", plain, -1},
        {"0/m/g.bmp", plain, -1},     {"0/m/h.bmp", masked56, 0},    {"2/m/f.bmp", plain, -1}};
    for (const auto& f : files) {
        std::vector<std::uint32_t> pixels = makeUiLikePixels(6, 5, TreeFile(f.path).seed());
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] |= static_cast<std::uint32_t>(f.fourth < 0 ? i * 9 : f.fourth) << 24;
        }
        root.writeBytes(f.path, makeBmp(f.form, pixels));
    }
}

const std::string kPackedOpaque =
    " are packed opaque, in the colours their files store for them (the bins keep RGB565 only): ";
const std::string kColourKey =
    "; \"Transparent images\" in the README tells how to keep them with a colour key\n";

const std::vector<std::vector<std::string>> kOverrideSlots = {
    {"0:icon.bmp", "0/icon.bmp", "2/icon.bmp"},
    {"menu:bg.bmp", "0/menu/bg.bmp", "2/menu/bg.bmp"},
    {"menu:logo.bmp", "0/menu/logo.bmp", "0/menu/logo.bmp"}};

INSTANTIATE_TEST_SUITE_P(
    Trees, RunTest,
    ::testing::Values(
        // Files and folders interleaved, depth first, names that sort differently with and
        // without case, one folder name at two depths, group names that differ in case alone,
        // files that are no images (only the last three letters count: abmp is one), folder names
        // alike in the 29 bytes a group keeps (one group), and names cut to their index fields
        // that collide: one warning per pair of each, bytes as ever.
        RunCase{.name = "NestedGroups",
                .tree = {"0/B.bmp", "0/a.bmp", "0/image_name_that_is_longer_than_its_field_1.bmp",
                         "0/image_name_that_is_longer_than_its_field_2.bmp", "0/menu/bg.bmp",
                         "0/menu/sub/icon.bmp", "0/menu/z.bmp", "0/navigation_bar_A/back.bmp",
                         "0/navigation_bar_A/sub/next.bmp", "0/navigation_bar_B/x.bmp",
                         "0/navigation_bar_B/Menu/d.bmp", "0/readme.txt", "0/photo.BMP", "0/abmp",
                         "0/mp", "0/ggggggggggggggggggggggggggggg1/f.bmp",
                         "0/ggggggggggggggggggggggggggggg2/g.bmp"},
                .outputs = {"Index.bin", "0/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp"},
                          {"0:abmp", "0/abmp"},
                          {"0:B.bmp", "0/B.bmp"},
                          {"0:image_name_that_is_longer_than_its_fiel",
                           "0/image_name_that_is_longer_than_its_field_1.bmp"},
                          {"0:image_name_that_is_longer_than_its_fiel",
                           "0/image_name_that_is_longer_than_its_field_2.bmp"},
                          {"ggggggggggg:f.bmp", "0/ggggggggggggggggggggggggggggg1/f.bmp"},
                          {"ggggggggggg:g.bmp", "0/ggggggggggggggggggggggggggggg2/g.bmp"},
                          {"menu:bg.bmp", "0/menu/bg.bmp"},
                          {"menu:z.bmp", "0/menu/z.bmp"},
                          {"sub:icon.bmp", "0/menu/sub/icon.bmp"},
                          {"sub:next.bmp", "0/navigation_bar_A/sub/next.bmp"},
                          {"navigation_:back.bmp", "0/navigation_bar_A/back.bmp"},
                          {"Menu:d.bmp", "0/navigation_bar_B/Menu/d.bmp"},
                          {"navigation_:x.bmp", "0/navigation_bar_B/x.bmp"}},
                .err = "theme-packager: warning: ROOT/0/image_name_that_is_longer_than_its_"
                       "field_1.bmp and ROOT/0/image_name_that_is_longer_than_its_field_2.bmp "
                       "are both stored as \"image_name_that_is_longer_than_its_fiel\" in "
                       "Index.bin\n"
                       "theme-packager: warning: the folders ROOT/0/ggggggggggggggggggggggggggggg1 "
                       "and ROOT/0/ggggggggggggggggggggggggggggg2 make one group, "
                       "\"ggggggggggggggggggggggggggggg\": a group keeps the first 29 bytes of a "
                       "folder's name\n"
                       "theme-packager: warning: the groups of ROOT/0/navigation_bar_A/back.bmp "
                       "and ROOT/0/navigation_bar_B/x.bmp are both stored as \"navigation_\" in "
                       "Index.bin\n"},
        // Theme 0 stops at the first of 30 refused images, and the others are named up to 20
        // in all; a misspelt variant folder and an extra file are named once.
        RunCase{.name = "EveryRefusedImageNamed",
                .tree = refusedTree(),
                .status = 3,
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "2/a.bmp"}},
                .err = refusedErr()},
        // A file theme 2 may not read is no variant file.
        RunCase{.name = "VariantFileThatCannotBeOpened",
                .tree = {"0/a.bmp", "0/menu/bg.bmp", "2/menu/bg.bmp"},
                .hostile =
                    [](const TempFolder& root) {
                        fs::permissions(root.path("2/menu/bg.bmp"), fs::perms::none);
                    },
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "0/a.bmp"},
                          {"menu:bg.bmp", "0/menu/bg.bmp", "0/menu/bg.bmp"}},
                .err = "theme-packager: theme 2: ROOT/2/menu/bg.bmp cannot be opened: Permission "
                       "denied; ROOT/0/menu/bg.bmp is used in its place\n",
                .asNobody = true,
                .notOnWindows = kNoRights},
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
        // --help packs like any argument when it is not alone.
        RunCase{.name = "EmptyFolderArgumentsIgnored",
                .arguments = {"--help", "-x", "0"},
                .result = kNoFolder,
                .err = "theme-packager: takes no arguments; those given are ignored and the "
                       "current folder is packed (theme-packager --help alone tells how to use "
                       "it)\ntheme-packager: ROOT/0 does not exist; run theme-packager in the "
                       "folder that holds the theme folders 0 to 9 (theme-packager --help tells "
                       "more)\n"},
        RunCase{.name = "VariantWithoutBaseTheme",
                .tree = {"3/a.bmp"},
                .result = kNoFolder,
                .err = "theme-packager: ROOT/0 does not exist; variant themes are packed "
                       "together with the base theme in folder 0\n"},
        RunCase{.name = "BaseThemeFolderCannotBeEntered",
                .tree = {"0/a.bmp"},
                .hostile =
                    [](const TempFolder& root) {
                        fs::permissions(root.path("0"), static_cast<fs::perms>(0600));
                    },
                .result = kNoFolder,
                .err = "theme-packager: ROOT/0 cannot be entered: Permission denied; run "
                       "theme-packager in the folder that holds the theme folders 0 to 9 "
                       "(theme-packager --help tells more)\n",
                .asNobody = true,
                .notOnWindows = kNoRights},
        RunCase{.name = "BaseThemeFolderIsAFile",
                .tree = {"0", "2/a.bmp"},
                .result = kNoFolder,
                .err = "theme-packager: ROOT/0 is not a folder; variant themes are packed "
                       "together with the base theme in folder 0\n"},
        RunCase{.name = "NoImages",
                .tree = {"0/readme.txt", "0/photo.BMP", "0/menu/", "2/"},
                .result = "Error: There are no BMP images for packing\n",
                .err = "theme-packager: theme 0 has no image to pack: no file in ROOT/0 or its "
                       "folders has a name that ends in \"bmp\" (in lower case)\n"},
        // Refused images say what in them is refused; theme 2 has none left to pack.
        RunCase{.name = "RefusedImagesSayWhy",
                .tree = {"0/a.bmp", "0/b.bmp", "2/"},
                .hostile =
                    [](const TempFolder& root) {
                        std::vector<std::uint8_t> huge = root.readBytes("0/b.bmp");
                        putU32Le(huge, 18, 70000);
                        putU32Le(huge, 22, 40000);
                        root.writeBytes("0/b.bmp", huge);
                        root.writeBytes("2/a.bmp", makeBmp({.infoHeaderSize = 124}, {0x102030}));
                    },
                .result = "Error: There are no BMP images for packing\n",
                .err = "theme-packager: theme 0: ROOT/0/b.bmp is too large: 70000 x 40000 pixels; "
                       "an image may have at most 2,147,483,639 pixels (16 bytes and 2 a pixel "
                       "must fit in 32 bits); the rest of theme 0 is not packed\n"
                       "theme-packager: theme 2: ROOT/2/a.bmp has an unsupported BMP header "
                       "size: 124 bytes (12, 40 and 56 are read); a 124-byte header holds "
                       "colour-space information: save the image without it (GIMP: Export As, "
                       "Compatibility Options, \"Do not write color space information\"; "
                       "ImageMagick: convert IN.bmp BMP3:OUT.bmp); the rest of theme 2 is not "
                       "packed\n"
                       "theme-packager: theme 2 has no image to pack: it stopped at its first "
                       "image, ROOT/2/a.bmp\n"},
        // Theme 2 cannot fill theme 0's slots: the bins of an earlier run stay untouched.
        RunCase{.name = "VariantImageFails",
                .tree = {"0/a.bmp", "0/b.bmp", TreeFile("2/b.bmp", 0), "Index.bin", "0/Theme.bin",
                         "2/Theme.bin"},
                .result = kCannotWrite,
                .err = "theme-packager: theme 2: ROOT/2/b.bmp is truncated; the "
                       "rest of theme 2 is not packed\n"
                       "theme-packager: theme 2 stopped at ROOT/2/b.bmp, so it lacks images that "
                       "theme 0 has: every theme must fill every slot, and no bin file is written "
                       "(those of an earlier run stay)\n"},
        // Transparency the bins cannot keep is told once per file, the bytes are as ever.
        RunCase{.name = "LostTransparencyTold",
                .tree = {"0/a.bmp", "0/m/b.bmp", "0/m/c.bmp", "0/m/d.bmp", "0/m/e.bmp", "0/m/f.bmp",
                         "0/m/g.bmp", "0/m/h.bmp", "2/m/f.bmp"},
                .hostile = writeFourthBytes,
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "0/a.bmp"},
                          {"m:b.bmp", "0/m/b.bmp", "0/m/b.bmp"},
                          {"m:c.bmp", "0/m/c.bmp", "0/m/c.bmp"},
                          {"m:d.bmp", "0/m/d.bmp", "0/m/d.bmp"},
                          {"m:e.bmp", "0/m/e.bmp", "0/m/e.bmp"},
                          {"m:f.bmp", "0/m/f.bmp", "2/m/f.bmp"},
                          {"m:g.bmp", "0/m/g.bmp", "0/m/g.bmp"},
                          {"m:h.bmp", "0/m/h.bmp", "0/m/h.bmp"}},
                .err = "theme-packager: theme 0: transparent pixels in 5 images" + kPackedOpaque +
                       "ROOT/0/a.bmp, ROOT/0/m/b.bmp, ROOT/0/m/e.bmp and 2 more" + kColourKey +
                       "theme-packager: theme 2: transparent pixels in 1 image" + kPackedOpaque +
                       "ROOT/2/m/f.bmp" + kColourKey},
        // Hostile trees: FIFOs and devices where images are expected, folder chains beyond the
        // OS's path limit, links that lead out of the theme or fan out, and a folder that cannot
        // be listed. Each run ends, stays small, and says what it could not use.
        RunCase{
            .name = "FifoInBaseTheme",
            .tree = {"0/a.bmp", "0/z.bmp"},
            .hostile = [](const TempFolder& root) { ASSERT_TRUE(makeFifo(root.path("0/x.bmp"))); },
            .status = 3,
            .outputs = {"Index.bin", "0/Theme.bin"},
            .slots = {{"0:a.bmp", "0/a.bmp"}},
            .err = "theme-packager: theme 0: ROOT/0/x.bmp cannot be opened: not a regular "
                   "file; the rest of theme 0 is not packed\n",
            .notOnWindows = kNoFifos},
        // A name that would act on a terminal (an escape sequence, a line of its own, a C1
        // control, a right-to-left override) shows as its bytes in the line that names it.
        RunCase{
            .name = "NameThatWouldActOnATerminal",
            .tree = {"0/a.bmp", TreeFile("0/b\x1B]0;pwned\x07\nfake: \xC2\x9B\xE2\x80\xAE.bmp", 0)},
            .status = 3,
            .outputs = {"Index.bin", "0/Theme.bin"},
            .slots = {{"0:a.bmp", "0/a.bmp"}},
            .err =
                "theme-packager: theme 0: ROOT/0/b\\x1b]0;pwned\\x07\\x0afake: "
                "\\xc2\\x9b\\xe2\\x80\\xae.bmp is truncated; the rest of theme 0 is not packed\n",
            .notOnWindows = "Windows file names hold no control characters"},
        RunCase{.name = "FolderChainBeyondThePathLimit",
                .tree = {"pics/a.bmp", "pics/z.bmp", TreeFile("pics/v.bmp", 9, 4)},
                .hostile =
                    [](const TempFolder& root) {
                        writeFarFile(root, "0/" + chain(kChainMiddle) + "/a.bmp",
                                     root.readBytes("pics/a.bmp"));
                        writeFarFile(root, "0/" + chain(kChain) + "/z.bmp",
                                     root.readBytes("pics/z.bmp"));
                        writeFarFile(root, "2/" + chain(kChain) + "/z.bmp",
                                     root.readBytes("pics/v.bmp"));
                    },
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{chainFolder(kChainMiddle).substr(0, 11) + ":a.bmp", "pics/a.bmp",
                           "pics/a.bmp"},
                          {chainFolder(kChain).substr(0, 11) + ":z.bmp", "pics/z.bmp",
                           "pics/v.bmp"}}},
        // A folder outside the theme reached through two links is listed under both; every link
        // that is not followed is told.
        RunCase{.name = "LinksToRootAndThemeFoldersNotFollowed",
                .tree = {"0/a.bmp", "0/menu/b.bmp", "2/a.bmp", "shared/s.bmp"},
                .hostile =
                    [](const TempFolder& root) {
                        fs::create_directory_symlink("../..", root.path("0/menu/all"));
                        fs::create_directory_symlink("../../shared", root.path("0/menu/also"));
                        fs::create_directory_symlink(".", root.path("0/menu/self"));
                        fs::create_directory_symlink("../../shared", root.path("0/menu/shared"));
                        fs::create_directory_symlink("../../2", root.path("0/menu/two"));
                        fs::create_directory_symlink("..", root.path("0/menu/up"));
                    },
                .outputs = {"Index.bin", "0/Theme.bin", "2/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp", "2/a.bmp"},
                          {"also:s.bmp", "shared/s.bmp", "shared/s.bmp"},
                          {"menu:b.bmp", "0/menu/b.bmp", "0/menu/b.bmp"},
                          {"shared:s.bmp", "shared/s.bmp", "shared/s.bmp"}},
                .err = "theme-packager: ROOT/0/menu/all leads to the root folder ROOT; it is not "
                       "followed\n"
                       "theme-packager: ROOT/0/menu/self leads back to ROOT/0/menu, which is being "
                       "scanned; it is not followed\n"
                       "theme-packager: ROOT/0/menu/two leads to theme folder ROOT/2; it is not "
                       "followed\n"
                       "theme-packager: ROOT/0/menu/up leads back to ROOT/0, which is being "
                       "scanned; it is not followed\n",
                .notOnWindows = kNoLinks},
        // 18 levels, each with two links to the next: 2^18 ways down.
        RunCase{.name = "LinksThatFanOut",
                .tree = {"0/a.bmp"},
                .hostile =
                    [](const TempFolder& root) {
                        for (int i = 1; i <= 18; ++i) {
                            const std::string level = "levels/" + std::to_string(i);
                            const std::string next = "../" + std::to_string(i + 1);
                            root.writeBytes(level + "/a.bmp", root.readBytes("0/a.bmp"));
                            fs::create_directory_symlink(next, root.path(level + "/x"));
                            fs::create_directory_symlink(next, root.path(level + "/y"));
                        }
                        fs::create_directory_symlink("../levels/1", root.path("0/down"));
                    },
                .result = "Error: There are no BMP images for packing\n",
                .err = "theme-packager: ROOT/0/down/x/x/x/x/x/x/x/x/x/x/y/x/x/x/x/x/x is a folder "
                       "reached through links more than 64 times: the linked folders fan out; "
                       "ROOT/0 is not scanned and none of its images are packed\n"
                       "theme-packager: theme 0 has no image to pack: ROOT/0 could not be "
                       "scanned\n",
                .notOnWindows = kNoLinks},
        RunCase{.name = "FolderThatCannotBeListed",
                .tree = {"0/a.bmp", "0/secret/s.bmp", "0/z.bmp"},
                .hostile =
                    [](const TempFolder& root) {
                        fs::permissions(root.path("0/secret"), fs::perms::none);
                    },
                .status = 3,
                .outputs = {"Index.bin", "0/Theme.bin"},
                .slots = {{"0:a.bmp", "0/a.bmp"}, {"0:z.bmp", "0/z.bmp"}},
                .err = "theme-packager: cannot list ROOT/0/secret: Permission denied; its images "
                       "are not packed\n",
                .asNobody = true,
                .notOnWindows = kNoRights},
        // A theme folder the run may not write in: no bin is created, those of an earlier run stay.
        RunCase{.name = "ThemeFolderNotWritable",
                .tree = {"0/a.bmp", "2/a.bmp", "3/", "Index.bin", "0/Theme.bin", "3/Theme.bin"},
                .hostile =
                    [](const TempFolder& root) {
                        fs::permissions(root.path("2"), static_cast<fs::perms>(0555));
                    },
                .result = kCannotWrite,
                .err = "theme-packager: cannot create ROOT/2/Theme.bin: Permission denied\n",
                .asNobody = true,
                .notOnWindows = kNoRights},
        // The two runs with a VOX_ZIP wait out its 5-second least wait.
        RunCase{.name = "CompressedByVoxZip",
                .tree = kOverrides,
                .tool = "",
                .result = kZipCreated,
                .outputs = {"Index.bin.gz", "0/Theme.bin.gz", "2/Theme.bin.gz"},
                .slots = kOverrideSlots},
        // Tools that hand their work to background processes are accepted once it shows; a tool
        // still running 10 s after the first start is named once, and then waited for.
        RunCase{.name = "SlowToolsNamedOnceAndWaitedFor",
                .tree = {"0/a.bmp", "2/"},
                .tool = "2/Theme.bin sleep 12000\n* later 2000\n",
                .result = kZipCreated,
                .outputs = {"Index.bin.gz", "0/Theme.bin.gz", "2/Theme.bin.gz"},
                .slots = {{"0:a.bmp", "0/a.bmp", "0/a.bmp"}},
                .err = "theme-packager: still waiting for VOX_ZIP to finish ROOT/2/Theme.bin\n"},
        RunCase{.name = "VoxZipFailsForOneFile",
                .tree = kOverrides,
                .tool = "2/Theme.bin say refused exit 3\n",
                .outputs = {"Index.bin.gz", "0/Theme.bin.gz", "2/Theme.bin"},
                .slots = kOverrideSlots,
                .err = "refused\ntheme-packager: \"VOX_ZIP -c -9 2/Theme.bin\" failed with exit "
                       "status 3; 2/Theme.bin is kept\n"}),
    rowName);

// With both streams in one log, every line stands where it happened: the banner before the
// diagnostics of the load phase, the result line after them.
TEST(ConsoleTest, OneLogKeepsTheOrderOfEvents) {
    TempFolder root;
    writeTree(root, {"0/a.bmp", TreeFile("0/b.bmp", 0)});
    const LonePackager packager(nullptr);
    const ProgramResult run = packager.run(root, {}, {}, true);
    const std::string failed = "theme-packager: theme 0: ";
    const std::string notFound = std::string("theme-packager: cannot run \"VOX_ZIP") + kExeSuffix;
    ASSERT_EQ(run.out.rfind(kBanner, 0), 0u) << run.out;
    EXPECT_LT(run.out.find(failed), run.out.find(notFound)) << run.out;
    EXPECT_LT(run.out.find(notFound), run.out.find(kZipFailed)) << run.out;
    EXPECT_EQ(run.exitStatus, 3);
}

// Alone, --help and --version are answered by every tool; the packager then packs nothing, not
// even the theme tree in the folder it runs in.
TEST(ConsoleTest, EveryToolAnswersHelpAndVersionAndThePackagerPacksNothing) {
    TempFolder root;
    writeTree(root, {"0/a.bmp"});
    const auto before = snapshot(root);
    for (const std::string tool : {"theme-packager", "VOX_ZIP", "theme-inspect"}) {
        std::vector<std::string> requests = {"--help", "-h", "--version"};
        if (kWindows && tool == "theme-packager") {
            requests.push_back("/?");
        }
        for (const std::string& request : requests) {
            const ProgramResult run = runProgram(root.path(), {programPath(tool), request});
            const std::string expected =
                request == "--version" ? tool + " " + kVersion + "\n" : "Usage: " + tool;
            EXPECT_TRUE(run.out.starts_with(expected)) << tool << " " << request << ": " << run.out;
            EXPECT_EQ(run.exitStatus, 0) << tool << " " << request;
            EXPECT_EQ(run.err, "") << tool << " " << request;
        }
    }
    EXPECT_EQ(snapshot(root), before);
}

} // namespace
