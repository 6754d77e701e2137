// Bin writer: the file layouts byte for byte, slot sizing and fill, the lock-step walk of
// variants, and the runs that must fail without leaving surprise output.
#include "output/bin_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "output/bin_format.h"
#include "output/group_tables.h"
#include "platform/platform.h"
#include "support/temp_folder.h"

namespace {

using Table = std::vector<GroupSpec>;

std::uint32_t u32At(const Bytes& bytes, std::size_t offset) {
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           static_cast<std::uint32_t>(bytes[offset + 3]) << 24;
}

Bytes asBytes(std::string_view text) {
    return {text.begin(), text.end()};
}

// Theme t's file as it must come out: its own copies, each padded with 'P' to its slot.
Bytes themeFile(const Table& table, int theme, const std::vector<std::uint32_t>& slots,
                bool compressed) {
    Bytes out;
    putText(out, "Theme", 16);
    std::size_t slot = 0;
    for (std::size_t g = 0; g < table.size(); ++g) {
        for (std::size_t k = 0; k < table[g].images.size(); ++k) {
            const std::uint32_t size = table[g].images[k].dataSize;
            const Bytes copy = imageBytes(size, imageSeed(theme, g, k), compressed);
            out.insert(out.end(), copy.begin(), copy.end());
            out.insert(out.end(), slots[slot++] - size, 'P');
        }
    }
    putText(out, "EndOfTheme", 10);
    return out;
}

struct PackRun {
    TempFolder root;
    GroupTables tables;
    ThemeFlags present{};
    std::string error;

    void addTheme(int theme, const Table& table, bool compressed = true) {
        root.makeFolder(std::to_string(theme));
        tables[theme] = makeGroupTable(table, theme, compressed);
        present[theme] = 1;
    }
    int write(bool compressed = true) {
        return writeBinFiles(tables, present, root.path(), compressed ? 1 : 0, error);
    }
    Bytes index() const { return root.readBytes("Index.bin"); }
    Bytes theme(int n) const { return root.readBytes(std::to_string(n) + "/Theme.bin"); }
};

TEST(BinWriterTest, WorkedLayoutByteForByte) {
    const Table base = {{"idle", {{"bg.bmp", 1000}}},
                        {"menu", {{"logo.bmp", 400}, {"arrow.bmp", 96}}}};
    const Table variant = {{"idle", {{"bg.bmp", 1200}}},
                           {"menu", {{"logo.bmp", 400}, {"arrow.bmp", 80}}}};
    PackRun run;
    run.addTheme(0, base);
    run.addTheme(1, variant);
    ASSERT_EQ(run.write(), 1) << run.error;

    Bytes index;
    putText(index, "Index", 8);
    putU32(index, 2), putU32(index, 16);
    putText(index, "idle", 11), index.push_back(2), putU32(index, 48);
    putText(index, "menu", 11), index.push_back(2), putU32(index, 112);
    putU32(index, 1), putU32(index, 16), putText(index, "", 8);
    putText(index, "bg.bmp", 39), index.push_back(2), putU32(index, 0), putU32(index, 1200);
    putU32(index, 2), putU32(index, 1216), putText(index, "", 8);
    putText(index, "logo.bmp", 39), index.push_back(2), putU32(index, 0), putU32(index, 400);
    putText(index, "arrow.bmp", 39), index.push_back(2), putU32(index, 400), putU32(index, 96);
    putText(index, "EndOfIndex", 10);
    ASSERT_EQ(index.size(), 234u);
    EXPECT_EQ(run.index(), index);

    EXPECT_EQ(run.theme(0), themeFile(base, 0, {1200, 400, 96}, true));
    EXPECT_EQ(run.theme(1), themeFile(variant, 1, {1200, 400, 96}, true));
    EXPECT_EQ(run.theme(1).size(), 1722u);
}

struct SlotCase {
    const char* label;
    bool compressed;
    std::vector<std::pair<int, std::uint32_t>> copies; // theme, dataSize
    std::uint32_t slot;
};

class SlotTest : public testing::TestWithParam<SlotCase> {};

// Each present theme has two images of its size in one group: the second slot starts one slot
// after the first, "EndOfTheme" follows the last fill directly, and only present themes get a
// Theme.bin.
TEST_P(SlotTest, SlotIsLargestCopyRoundedOnlyWhenUncompressed) {
    const SlotCase& c = GetParam();
    PackRun run;
    for (int t = 0; t < kThemeSlots; ++t) {
        run.root.makeFolder(std::to_string(t));
    }
    for (auto [theme, size] : c.copies) {
        run.addTheme(theme, {{"g", {{"a.bmp", size}, {"b.bmp", size}}}}, c.compressed);
    }
    ASSERT_EQ(run.write(c.compressed), 1) << run.error;
    const Bytes index = run.index();
    EXPECT_EQ(u32At(index, 48 + 44), c.slot);
    EXPECT_EQ(u32At(index, 96 + 40), c.slot);
    for (auto [theme, size] : c.copies) {
        EXPECT_EQ(run.theme(theme), themeFile({{"g", {{"a.bmp", size}, {"b.bmp", size}}}}, theme,
                                              {c.slot, c.slot}, c.compressed));
    }
    for (int t = 0; t < kThemeSlots; ++t) {
        EXPECT_EQ(run.root.exists(std::to_string(t) + "/Theme.bin"), run.present[t] != 0) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SlotTest,
    testing::Values(SlotCase{"Uncompressed3x3OnlyTheme0", false, {{0, 34}}, 36},
                    SlotCase{"Uncompressed15x11", false, {{0, 346}, {1, 346}}, 348},
                    SlotCase{"UncompressedThemes0And2", false, {{0, 34}, {2, 38}}, 40},
                    SlotCase{"CompressedLargerVariant", true, {{0, 1000}, {1, 1200}}, 1200},
                    SlotCase{"CompressedNeverRounds", true, {{0, 34}, {3, 30}, {9, 26}}, 34}),
    [](const auto& test) { return std::string(test.param.label); });

class LongNameTest : public testing::TestWithParam<std::size_t> {};

TEST_P(LongNameTest, NamesAreCutToTheirFieldsAndTheFillByteStays) {
    const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMN";
    const std::string group = letters.substr(0, std::min<std::size_t>(GetParam(), 29));
    const std::string image = letters.substr(0, GetParam() + 28);
    PackRun run;
    run.addTheme(0, {{group, {{image, 20}}}});
    ASSERT_EQ(run.write(), 1) << run.error;
    const Bytes index = run.index();
    Bytes expected;
    putText(expected, group, 11), expected.push_back(2);
    EXPECT_EQ(Bytes(index.begin() + 16, index.begin() + 28), expected);
    expected.clear();
    putText(expected, image, 39), expected.push_back(2);
    EXPECT_EQ(Bytes(index.begin() + 48, index.begin() + 88), expected);
}

INSTANTIATE_TEST_SUITE_P(AroundTheWidths, LongNameTest, testing::Values(10, 11, 12, 22));

TEST(BinWriterTest, VariantExtrasAreLeftOutAndLaterGroupsStillMatchByPosition) {
    const Table base = {{"a", {{"x", 40}}}, {"b", {{"y", 60}}}};
    const Table variant = {{"a", {{"x", 44}}}, {"b", {{"y", 56}}}};
    PackRun plain;
    plain.addTheme(0, base);
    plain.addTheme(1, variant);
    ASSERT_EQ(plain.write(), 1) << plain.error;

    PackRun extras;
    extras.addTheme(0, base);
    extras.addTheme(1,
                    {{"a", {{"x", 44}, {"extra", 500}}}, {"b", {{"y", 56}}}, {"c", {{"z", 80}}}});
    ASSERT_EQ(extras.write(), 1) << extras.error;
    EXPECT_EQ(extras.index(), plain.index());
    EXPECT_EQ(extras.theme(1), themeFile(variant, 1, {44, 60}, true));
}

struct RefusalCase {
    const char* label;
    void (*setUp)(PackRun&);
    const char* reason;
};

class RefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, RefusesBeforeCreatingOrTruncatingAnything) {
    PackRun run;
    for (const char* file : {"Index.bin", "0/Theme.bin", "1/Theme.bin"}) {
        run.root.writeFile(file, "old");
    }
    GetParam().setUp(run);
    EXPECT_EQ(run.write(), 0);
    EXPECT_NE(run.error.find(GetParam().reason), std::string::npos) << run.error;
    for (const char* file : {"Index.bin", "0/Theme.bin", "1/Theme.bin"}) {
        EXPECT_EQ(run.root.readBytes(file), asBytes("old")) << file;
    }
}

const Table kTwoGroups = {{"a", {{"x", 20}}}, {"b", {{"y", 20}, {"z", 20}}}};

INSTANTIATE_TEST_SUITE_P(
    Tables, RefusalTest,
    testing::Values(
        RefusalCase{"VariantWithFewerGroups",
                    [](PackRun& r) { r.addTheme(0, kTwoGroups), r.addTheme(1, {kTwoGroups[0]}); },
                    "Theme.bin: theme 1 has fewer groups than theme 0"},
        RefusalCase{"VariantWithFewerImages",
                    [](PackRun& r) {
                        r.addTheme(0, kTwoGroups);
                        r.addTheme(1, {kTwoGroups[0], {"b", {{"y", 20}}}});
                    },
                    "theme 1 has fewer images in group b than theme 0"},
        RefusalCase{"VariantWithoutTable",
                    [](PackRun& r) { r.addTheme(0, kTwoGroups), r.present[1] = 1; },
                    "theme 1 has fewer groups"},
        RefusalCase{"NoThemeZero", [](PackRun& r) { r.addTheme(1, kTwoGroups); },
                    "Index.bin: theme 0 is missing"},
        RefusalCase{"ThemeZeroWithoutGroups", [](PackRun& r) { r.addTheme(0, {}); },
                    "theme 0 has no images"},
        RefusalCase{"ImageWithoutData",
                    [](PackRun& r) {
                        r.addTheme(0, kTwoGroups);
                        r.tables[0]->next->images->data.reset();
                    },
                    "no image data for x"},
        RefusalCase{"BeyondFourGiB",
                    [](PackRun& r) {
                        r.addTheme(0, kTwoGroups); // the sizes are checked before any data is read
                        r.tables[0]->next->images->dataSize = 0x80000000u;
                        r.tables[0]->next->next->images->dataSize = 0x80000000u;
                    },
                    "beyond the 4 GiB"}),
    [](const auto& test) { return std::string(test.param.label); });

struct OpenFailureCase {
    const char* label;
    std::string blocked; // a folder stands where this output file belongs
    std::vector<std::string> emptied;
};

class OpenFailureTest : public testing::TestWithParam<OpenFailureCase> {};

// Files open in the order Index.bin, 0, 2, 3; the first that cannot be created stops the run.
// Those opened before it are left empty, later ones keep their old bytes.
TEST_P(OpenFailureTest, StopsAtTheFileThatCannotBeCreated) {
    const OpenFailureCase& c = GetParam();
    PackRun run;
    for (int theme : {0, 2, 3}) {
        run.addTheme(theme, kTwoGroups);
    }
    const std::vector<std::string> files = {"Index.bin", "0/Theme.bin", "2/Theme.bin",
                                            "3/Theme.bin"};
    for (const std::string& file : files) {
        if (file != c.blocked) {
            run.root.writeFile(file, "old");
        }
    }
    run.root.makeFolder(c.blocked);
    EXPECT_EQ(run.write(), 0);
    const std::string prefix = "cannot create " + run.root.path(c.blocked) + ": ";
    EXPECT_TRUE(run.error.starts_with(prefix) && run.error.size() > prefix.size()) << run.error;
    for (const std::string& file : files) {
        const bool emptied = std::find(c.emptied.begin(), c.emptied.end(), file) != c.emptied.end();
        if (file != c.blocked) {
            EXPECT_EQ(run.root.readBytes(file), emptied ? Bytes{} : asBytes("old")) << file;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, OpenFailureTest,
    testing::Values(OpenFailureCase{"Index", "Index.bin", {}},
                    OpenFailureCase{"Theme0", "0/Theme.bin", {"Index.bin"}},
                    OpenFailureCase{"Theme2", "2/Theme.bin", {"Index.bin", "0/Theme.bin"}}),
    [](const auto& test) { return std::string(test.param.label); });

class WriteFailureTest : public testing::TestWithParam<std::pair<std::uint32_t, const char*>> {};

// A full disk shows in the write itself for a large image and only at the close for a small one
// (buffered); either way the run fails.
TEST_P(WriteFailureTest, FullDiskFailsTheRun) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "needs /dev/full";
    }
    const auto [size, failingCall] = GetParam();
    PackRun run;
    run.addTheme(0, {{"a", {{"x", size}}}});
    const std::string path = joinPath(run.root.path("0"), "Theme.bin");
    std::filesystem::create_symlink("/dev/full", path);
    EXPECT_EQ(run.write(), 0);
    EXPECT_EQ(run.error, std::string(failingCall) + " " + path + ": No space left on device");
}

INSTANTIATE_TEST_SUITE_P(Sizes, WriteFailureTest,
                         testing::Values(std::pair{20u, "cannot close"},
                                         std::pair{1u << 20, "cannot write"}));

} // namespace
