// theme-inspect, the real binary, on builds packed by the real theme-packager: random trees read
// back pixel for pixel, deliberate damage found at its file and offset, a command line refused as
// a user expects, and extraction that writes nowhere but its folder.
#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "common/byte_order.h"
#include "readback/readback_run.h"
#include "support/crafted_build.h"
#include "support/rle_check.h"
#include "support/row_name.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const TreeFile& sourceOf(const std::vector<TreeFile>& tree, int theme, const std::string& path) {
    const std::string variant = std::to_string(theme) + "/" + path;
    const auto found = std::find_if(tree.begin(), tree.end(),
                                    [&](const TreeFile& f) { return f.path == variant; });
    return found != tree.end() ? *found : sourceOf(tree, 0, path);
}

// The PNG that extract writes for a base image: group (the folder's name) / stem.png.
std::string pngOf(const std::string& basePath) {
    const fs::path relative = fs::path(basePath.substr(2));
    const std::string group =
        relative.has_parent_path() ? relative.parent_path().filename().string() : "0";
    return group + "/" + relative.stem().string() + ".png";
}

// Every base image of the tree, extracted from theme, has exactly its source's RGB565 pixels,
// widened by bit replication, and with key (>= 0) alpha 0 exactly at the key's pixels, which
// holes counts. (Images that share a group and a name are one index entry: left out.)
void expectExtracted(const std::vector<TreeFile>& tree, int theme, const TempFolder& out,
                     int key = -1, std::size_t* holes = nullptr) {
    std::map<std::string, int> named;
    for (const TreeFile& f : tree) {
        named[f.path.starts_with("0/") ? pngOf(f.path) : ""] += 1;
    }
    for (const TreeFile& base : tree) {
        if (!base.path.starts_with("0/") || named[pngOf(base.path)] != 1) {
            continue;
        }
        const std::string png = out.path(pngOf(base.path));
        const TreeFile& source = sourceOf(tree, theme, base.path.substr(2));
        const Bytes block = uiLikePri0Block(source.width, source.height, source.seed());
        const RgbPicture picture = readPng(png);
        ASSERT_EQ(picture.width, source.width) << png;
        ASSERT_EQ(picture.height, source.height) << png;
        if (kWindows) {
            continue; // the pixels of theme-inspect.exe's files: CrossBuildTest
        }
        for (int i = 0; i < source.width * source.height; ++i) {
            const std::uint16_t v = loadU16Le(&block[16 + 2 * static_cast<std::size_t>(i)]);
            ASSERT_EQ(picture.at(i % source.width, i / source.width), widened(v))
                << png << " pixel " << i;
            ASSERT_EQ(picture.alpha.size(), key < 0 ? 0 : picture.rgb.size() / 3) << png;
            ASSERT_TRUE(key < 0 ||
                        picture.alpha[static_cast<std::size_t>(i)] == (v == key ? 0 : 255))
                << png << " pixel " << i;
            if (holes != nullptr && v == key) {
                ++*holes;
            }
        }
    }
}

class RoundTripTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(RoundTripTest, VerifyPassesAndExtractGivesEverySourcePixel) {
    const std::vector<TreeFile> tree =
        randomTree(GetParam(), {"menu", "idle", "status"}, {"bg", "icon", "arrow"}, false);
    TempFolder root;
    writeTree(root, tree);
    // Odd seeds pack with the real VOX_ZIP (.gz files), even ones without it (plain bins).
    const LonePackager packager(GetParam() % 2 != 0 ? "" : nullptr);
    packager.run(root);
    ASSERT_EQ(root.exists("Index.bin.gz"), GetParam() % 2 != 0);

    const ProgramResult verify = runInspect(root, "verify");
    EXPECT_EQ(verify.exitStatus, 0) << verify.out << verify.err;
    EXPECT_NE(verify.out.find(": no fault in "), std::string::npos) << verify.out;
    for (int theme = 0; theme < kThemeSlots; ++theme) {
        if (!root.exists(std::to_string(theme))) {
            continue;
        }
        TempFolder out;
        const ProgramResult extract =
            runInspect(root, "extract --theme " + std::to_string(theme) + " --out", out.path());
        EXPECT_EQ(extract.exitStatus, 0) << extract.err;
        expectExtracted(tree, theme, out);
    }
    // The first colour of a picture extracted alone as the key, written #RRGGBB: a hole wherever
    // it is.
    const auto alone = [&tree](const TreeFile& f) {
        return f.path.starts_with("0/") &&
               std::count_if(tree.begin(), tree.end(), [&f](const TreeFile& g) {
                   return g.path.starts_with("0/") && pngOf(g.path) == pngOf(f.path);
               }) == 1;
    };
    const TreeFile& picked = *std::find_if(tree.begin(), tree.end(), alone);
    const Bytes first = uiLikePri0Block(picked.width, picked.height, picked.seed());
    const std::uint16_t key = loadU16Le(&first[16]);
    char colour[8];
    std::snprintf(colour, sizeof colour, "#%06X", widened(key));
    TempFolder keyed;
    const ProgramResult extract =
        runInspect(root, std::string("extract --theme 0 --key ") + colour + " --out", keyed.path());
    EXPECT_EQ(extract.exitStatus, 0) << extract.err;
    std::size_t holes = 0;
    expectExtracted(tree, 0, keyed, key, &holes);
    EXPECT_TRUE(kWindows || holes > 0); // Windows: the pixels are CrossBuildTest's
}

INSTANTIATE_TEST_SUITE_P(Trees, RoundTripTest, ::testing::Range(1u, 7u));

// A build whose layout is worked out by hand: group "0" holds a.bmp (8x2, one colour: two repeat
// runs, 24 bytes) and b.bmp (8x2 in theme 0, 12x3 in theme 2: 24 and 28 bytes).
//   Index.bin (154 bytes): directory entry at 16, group header at 32, image entries at 48 (a)
//     and 96 (b), "EndOfIndex" at 144.
//   Theme.bin (78 bytes): a's slot at 16 (24 bytes), b's at 40 (28 bytes; theme 0's copy is
//     followed by 4 'P' bytes at 64), "EndOfTheme" at 68.
void writeWorkedBuild(const TempFolder& root) {
    writeSolid(root, "0/a.bmp", 8, 2, 0x3366CC);
    writeSolid(root, "0/b.bmp", 8, 2, 0xCC6633);
    writeSolid(root, "2/b.bmp", 12, 3, 0x33CC66);
    LonePackager(nullptr).run(root);
}

// Puts values into file from offset at on; past its end, the file grows.
void setBytes(const TempFolder& root, const char* file, std::size_t at, const Bytes& values) {
    Bytes bytes = root.readBytes(file);
    bytes.resize(std::max(bytes.size(), at + values.size()));
    std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    root.writeBytes(file, bytes);
}

struct InspectCase {
    const char* name;
    std::string arguments;
    int exitStatus;
    std::string err;        // standard error; "" for a run that says nothing there
    std::string outStart{}; // verify's first line is a fault's, naming file, offset and rule
    // The damage done to the build first: bytes put into file from offset at on, then theme 2
    // compressed (gz: a restorer sees nothing else), then file cut to length.
    const char* file = nullptr;
    std::size_t at = 0;
    std::string bytes{};
    bool gz = false;
    std::size_t length = 0;
};

class InspectTest : public ::testing::TestWithParam<InspectCase> {};

TEST_P(InspectTest, DamageFoundAtItsFileAndOffsetAndCommandLinesAnsweredInOneClearLine) {
    const InspectCase& c = GetParam();
    TempFolder root;
    writeWorkedBuild(root);
    ASSERT_EQ(root.readBytes("Index.bin").size(), 154u);
    ASSERT_EQ(root.readBytes("2/Theme.bin").size(), 78u);
    if (!c.bytes.empty()) {
        setBytes(root, c.file, c.at, {c.bytes.begin(), c.bytes.end()});
    }
    if (c.gz) {
        runProgram(root.path(), {programPath("VOX_ZIP"), "-c", "2/Theme.bin"});
        fs::remove(root.path("2/Theme.bin"));
    }
    if (c.length != 0) {
        fs::resize_file(root.path(c.file), c.length);
    }
    const ProgramResult run = runInspect(root, c.arguments);
    EXPECT_EQ(run.exitStatus, c.exitStatus) << run.out << run.err;
    EXPECT_EQ(run.err, nativePaths(c.err));
    EXPECT_TRUE(run.out.starts_with(nativePaths(c.outStart))) << run.out;
}

const std::string kHelp = " (theme-inspect --help for help)\n";
const std::string kNoFault = "Index.bin: no fault in 1 group, 2 images, 2 themes\n";

INSTANTIATE_TEST_SUITE_P(
    Runs, InspectTest,
    ::testing::Values(
        // The worked build as it was written has no fault.
        InspectCase{"NoFault", "verify", 0, "", kNoFault},
        // Row 0 of a.bmp is one repeat run, 0x6008, at 32: its row end flag cleared.
        InspectCase{"FlippedFlagBit", "verify", 1, "",
                    "0/Theme.bin: offset 32: the last run of a row lacks the row end flag (this "
                    "run)\n",
                    "0/Theme.bin", 33, "\x20"},
        InspectCase{"WrongSlotSize", "verify", 1, "",
                    "Index.bin: offset 92: slotSize is 28, but the largest copy of the image takes "
                    "24 bytes, and a slot is as long as that in whole 32-bit words\n",
                    "Index.bin", 92, "\x1c"},
        InspectCase{"TruncatedFile", "verify", 1, "",
                    "2/Theme.bin: offset 70: the file is 70 bytes long, but the slots of Index.bin "
                    "make every Theme.bin 78\n",
                    "2/Theme.bin", 0, "", false, 70},
        InspectCase{"WrongEndMarker", "verify", 1, "",
                    "Index.bin: offset 144: \"EndOfIndex\" does not stand here, where the end "
                    "marker belongs\n",
                    "Index.bin", 153, "y"},
        InspectCase{"UnequalThemeLengths", "verify", 1, "",
                    "2/Theme.bin: offset 78: the file is 82 bytes long, but the slots of Index.bin "
                    "make every Theme.bin 78\n",
                    "2/Theme.bin", 78, "PPPP"},
        InspectCase{"FillByteNotP", "verify", 1, "",
                    "0/Theme.bin: offset 65: byte 0x51 in the fill after the image, where only "
                    "'P' bytes belong\n",
                    "0/Theme.bin", 65, "Q"},
        InspectCase{"NameFieldFill", "verify", 1, "",
                    "Index.bin: offset 27: group directory entry 0: the byte after the name field "
                    "is not 0x02\n",
                    "Index.bin", 27, std::string(1, '\0')},
        InspectCase{"SlotMagic", "verify", 1, "",
                    "2/Theme.bin: offset 40: the magic \"XLE4\" is neither PRI0 nor RLE4\n",
                    "2/Theme.bin", 40, "X"},
        InspectCase{"GroupCountBeyondFile", "verify", 1, "",
                    "Index.bin: offset 8: groupCount is 268435457: its group directory would run "
                    "past the end of the file\n",
                    "Index.bin", 11, "\x10"},
        InspectCase{"CompressedThemeCutShort", "verify", 1, "",
                    "2/Theme.bin.gz: gzip data ends early (truncated file)\n", "2/Theme.bin.gz", 0,
                    "", true, 8},
        InspectCase{"CompressedThemeBeyondTheIndex", "verify", 1, "",
                    "2/Theme.bin.gz: restores to more than 78 bytes\n", "2/Theme.bin", 78, "P",
                    true},
        // b.bmp's copy in theme 2 made a PRI0 image of 2x3 pixels, which fills its slot.
        InspectCase{"Pri0AmongRle", "verify", 1, "",
                    "2/Theme.bin: offset 40: a PRI0 image among run-length encoded ones\n",
                    "2/Theme.bin", 40, std::string("PRI0\2\0\0\0\3", 9)},
        InspectCase{"BytesAfterTheEndMarker", "verify", 1, "",
                    "Index.bin: offset 154: 2 bytes follow the end marker\n", "Index.bin", 154,
                    "xy"},
        InspectCase{"NoImageInGroup", "verify", 1, "",
                    "Index.bin: offset 32: imageCount is 0, but a group has at least one image\n",
                    "Index.bin", 32, std::string(1, '\0')},
        InspectCase{"ThemeWithGroups", "verify", 1, "",
                    "2/Theme.bin: offset 8: groupCount is 1, not 0\n", "2/Theme.bin", 8, "\1"},
        // Budgets: a Theme.bin one byte over its budget, then both files at exactly theirs.
        // (The largest images, "0/b.bmp 28 B, 0/a.bmp 24 B", are no paths: Windows keeps '/'.)
        InspectCase{"ThemeOverItsBudget", "verify --max-theme 77", 1, "",
                    "0/Theme.bin: 78 bytes, over the budget of 77 by 1 byte; the largest images, "
                    "by their slots: "},
        InspectCase{"IndexOverItsBudget", "verify --max-index 153", 1, "",
                    "Index.bin: 154 bytes, over the budget of 153 by 1 byte (it holds 1 group, 2 "
                    "images)\n"},
        InspectCase{"WithinTheBudgets", "verify --max-theme 78 --max-index 154", 0, "", kNoFault},
        // The words themselves: InspectArgumentsTest.
        InspectCase{"UnknownCommand", "show", 2, "theme-inspect: unknown command 'show'" + kHelp},
        InspectCase{"MissingRoot", "verify nowhere", 2, "theme-inspect: nowhere: no such folder\n"},
        InspectCase{"NoBuildInRoot", "verify 0", 2,
                    "theme-inspect: 0/Index.bin: not found, nor Index.bin.gz: no build here\n"},
        InspectCase{"ThemeNotInBuild", "extract --theme 5 --out x", 2,
                    "theme-inspect: 5/Theme.bin: not found, nor 5/Theme.bin.gz: theme 5 is not in "
                    "this build\n"},
        // list --json: ListJsonTest.
        InspectCase{
            "ListsTheWorkedBuildAsText", "list", 0, "",
            "Index.bin: 154 bytes; 1 group, 2 images\n\n"
            "  image  offset  slot size  theme 0   theme 2\n"
            "group 0: 2 images\n"
            "  a.bmp      16         24  24 B 8x2  = theme 0\n"
            "  b.bmp      40         28  24 B 8x2  28 B 12x3 *\n\n"
            "(offset: of the slot in every Theme.bin; = theme 0: the same bytes as theme "
            "0's copy; *: other dimensions than theme 0's)\n\n"
            "theme  file         images  RGB565  encoded  of RGB565  bin  compressed  of bin\n"
            "0      0/Theme.bin       2      96       48      50.0%   78           -       -\n"
            "2      2/Theme.bin       2     136       52      38.2%   78           -       "
            "-\n"}),
    rowName);

// list --json gives the index's file, the offsets as they are stored, a wrong one too, beside the
// slot's place that they make, and each copy's CRC-32 of its image's bytes (a.bmp's: 24 at 16).
TEST(ListJsonTest, GivesTheStoredOffsetsAndEachCopysCrc) {
    TempFolder root;
    writeWorkedBuild(root);
    setBytes(root, "Index.bin", 136, {99}); // b.bmp's slotOffset
    const Bytes theme = root.readBytes("0/Theme.bin");
    const std::string crc = "\"crc32\": " + std::to_string(crc32(0, &theme[16], 24)) + ", ";
    const ProgramResult run = runInspect(root, "list . --json");
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    for (const std::string& expected :
         {nativePaths(std::string("{\n  \"index\": {\"file\": \"") + osText(".", ".\\") +
                      "/Index.bin\", \"length\": 154, \"compressedLength\": null},\n"),
          std::string(
              "\"nameHex\": \"30\", \"groupOffset\": 32, \"dataOffset\": 16, \"images\": ["),
          std::string("\"slotOffset\": 0, \"offset\": 16, \"slotSize\": 24"),
          "\"theme\": 0, \"state\": \"valid\", \"encodedSize\": 24, \"width\": 8, "
          "\"height\": 2, " +
              crc,
          "\"theme\": 2, \"state\": \"valid\", \"encodedSize\": 24, \"width\": 8, "
          "\"height\": 2, " +
              crc,
          std::string("\"slotOffset\": 99, \"offset\": 115, \"slotSize\": 28")}) {
        EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
    }
}

TEST(ExtractTest, WritesNothingOutsideItsFolderAndKeepsCollidingNamesApart) {
    TempFolder root;
    // Group names that agree in the 11 bytes the index keeps, with one image name in both.
    for (const char* path : {"0/long_group_A/icon.bmp", "0/long_group_B/icon.bmp"}) {
        root.writeBytes(path, makeUiLikeBmp(8, 4, 1));
    }
    root.writeBytes("0/menu/pic.bmp", makeUiLikeBmp(8, 4, 2));
    if (!kWindows) { // where CON is a device, not a file name
        root.writeBytes("0/menu/CON.bmp", makeUiLikeBmp(8, 4, 3));
    }
    LonePackager(nullptr).run(root);
    TempFolder out;
    TempFolder elsewhere;
    elsewhere.writeFile("victim.png", "keep");
    out.makeFolder("menu");
    if (!kWindows) { // Wine makes no links
        fs::create_directory_symlink(elsewhere.path(), out.path("long_group_"));
        fs::create_symlink(elsewhere.path("victim.png"), out.path("menu/pic.png"));
    }

    const ProgramResult run = runInspect(root, "extract --theme 0 --out", out.path());
    // The planted folder link is refused for both images of the cut group, the planted file
    // link replaced by the file, and the device name changed.
    const std::string refused =
        ": " + out.path("long_group_") + " is a link, which is not followed\n";
    EXPECT_EQ(run.exitStatus, kWindows ? 0 : 1);
    EXPECT_EQ(run.err, kWindows ? ""
                                : "theme-inspect: long_group_/icon.bmp" + refused +
                                      "theme-inspect: long_group_/icon.bmp" + refused);
    EXPECT_EQ(elsewhere.readBytes("victim.png"), Bytes({'k', 'e', 'e', 'p'}));
    EXPECT_EQ(snapshot(elsewhere).size(), 1u);
    EXPECT_FALSE(fs::is_symlink(out.path("menu/pic.png")));
    EXPECT_EQ(readPng(out.path("menu/pic.png")).width, 8);
    if (!kWindows) {
        EXPECT_EQ(readPng(out.path("menu/_CON.png")).width, 8);
        EXPECT_NE(run.out.find("menu/CON.bmp written as " + out.path("menu/_CON.png")),
                  std::string::npos)
            << run.out;
        fs::remove(out.path("long_group_"));
    }
    ASSERT_EQ(runInspect(root, "extract --theme 0 --out", out.path()).exitStatus, 0);
    EXPECT_EQ(readPng(out.path("long_group_/icon.png")).width, 8);
    EXPECT_EQ(readPng(out.path("long_group_/icon~2.png")).width, 8);
}

#ifdef TP_PRELOAD_SEAM_LIBRARY
// Whoever may write in the output folder may swap a group folder for a link right after extract
// makes it: nothing is written through the link.
TEST(ExtractTest, AGroupFolderSwappedForALinkLeadsNowhere) {
    TempFolder root;
    root.writeBytes("0/menu/a.bmp", makeUiLikeBmp(8, 4, 1));
    LonePackager(nullptr).run(root);
    TempFolder out;
    TempFolder elsewhere;
    runProgram(
        root.path(),
        {plainProgramPath("theme-inspect"), "extract", "--theme", "0", "--out", out.path()},
        {.variables = {"LD_PRELOAD=" TP_PRELOAD_SEAM_LIBRARY,
                       "TP_AFTER=mkdirat 1 swap " + out.path("menu") + " " + elsewhere.path()}});
    EXPECT_TRUE(snapshot(elsewhere).empty());
}
#endif

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = text.find(part, at)) != std::string::npos; at += part.size()) {
        ++count;
    }
    return count;
}

// A slot of width x height pixels of colour: two repeat runs a row, 8 bytes a row.
CraftedBytes repeatSlot(int width, int height, std::uint32_t colour) {
    std::vector<std::uint32_t> units;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t end = y + 1 == height ? 0xE003 : 0x6003; // 3 pixels, row (image) end
        units.insert(units.end(),
                     {0x2000u | static_cast<std::uint32_t>(width - 3), colour, end, colour});
    }
    return makeBlob({kRle4Magic, width, height, 16}, units, 2);
}

// 45 images in 7 KB of index and 590 KB of bins: 9 slots of 4096 x 8192 pixels, each named five
// times. verify tells every slot that overlaps the one before it. preview decodes a slot once and
// no more than its budget of pixels (eight such slots), showing the rest as over it; extract
// writes files up to the same budget, encoding a slot once. Their time and their output are
// bounded by the budget, not by how often the index names a slot. Neither clutters its log with
// a progress line.
TEST(CraftedBuildTest, ASlotNamedManyTimesCostsNoMoreThanTheBudget) {
    TempFolder build;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    CraftedBytes slots;
    for (std::uint16_t s = 0; s < 9; ++s) {
        const CraftedBytes slot = repeatSlot(4096, 8192, 0x0841u * s);
        for (int name = 0; name < 5; ++name) {
            entries.emplace_back(static_cast<std::uint32_t>(slots.size()),
                                 static_cast<std::uint32_t>(slot.size()));
        }
        slots.insert(slots.end(), slot.begin(), slot.end());
    }
    build.writeBytes("Index.bin", craftedIndex(entries));
    build.writeBytes("0/Theme.bin", craftedTheme(slots));
    const auto inspect = [&build](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), plainProgramPath("theme-inspect"));
        return runProgram(build.path(), arguments);
    };
    const ProgramResult verified = inspect({"verify"});
    const std::string faults =
        "theme-inspect: the build has " +
        std::to_string(std::count(verified.out.begin(), verified.out.end(), '\n')) +
        " faults (theme-inspect verify lists them)\n";
    EXPECT_EQ(occurrences(verified.out, "inside or before the slot"), 36u) << verified.out;
    EXPECT_EQ(verified.exitStatus, 1);

    const ProgramResult previewed = inspect({"preview", "--out", "page.html"});
    EXPECT_EQ(previewed.err, "theme-inspect: 5 copies not shown: over the page's budget of "
                             "268,435,456 pixels decoded\n" +
                                 faults);
    EXPECT_EQ(previewed.exitStatus, 1);
    const auto page = build.readBytes("page.html");
    const std::string text(page.begin(), page.end());
    EXPECT_LT(page.size(), 2u << 20); // eight PNG files of one colour, and the rows
    EXPECT_EQ(occurrences(text, "not shown: over the page&#39;s budget"), 5u);

    const ProgramResult extracted = inspect({"extract", "--theme", "0", "--out", "out"});
    EXPECT_EQ(extracted.out, "8 images of theme 0 written to out\n");
    EXPECT_EQ(extracted.err, "theme-inspect: 37 images not written: over extract's budget of "
                             "268,435,456 pixels\n" +
                                 faults);
    EXPECT_EQ(readPng(build.path("out/g/i7.png")).height, 8192);
}

} // namespace
