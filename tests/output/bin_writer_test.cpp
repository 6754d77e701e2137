// Bin writer: the files byte for byte, slot sizing and fill, the lock-step walk of variants, and
// the runs that must fail without leaving surprise output.
#include "output/bin_writer.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/byte_order.h"
#include "support/group_tables.h"
#include "support/row_name.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
// Groups in order, each with its images' names and sizes.
using Table =
    std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::uint32_t>>>>;

// The bytes of the layout, field by field, as the format describes them.
Bytes u32(std::uint32_t value) {
    Bytes bytes(4);
    storeU32Le(bytes.data(), value);
    return bytes;
}

Bytes text(std::string_view name, std::size_t width) {
    Bytes bytes(width, 0);
    std::copy_n(name.begin(), std::min(width, name.size()), bytes.begin());
    return bytes;
}

// Theme t's copy of image k of group g: bytes unlike those of any other copy. The writer copies
// them as they are, whatever they hold.
Bytes copyOf(int theme, std::size_t g, std::size_t k, std::uint32_t size) {
    Bytes bytes(size);
    for (std::uint32_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::size_t>(theme) * 97 + g * 31 +
                                             k * 13 + i * 7);
    }
    return bytes;
}

// Theme t's file as it must come out: its copies of theme 0's images (those of the theme's
// table at their places; extras beyond them are left out), each padded with 'P' to its slot.
Bytes themeFile(const Table& base, const Table& table, int theme,
                const std::vector<std::uint32_t>& slots) {
    Bytes out = text("Theme", 16);
    std::size_t slot = 0;
    for (std::size_t g = 0; g < base.size(); ++g) {
        for (std::size_t k = 0; k < base[g].second.size(); ++k) {
            const Bytes copy = copyOf(theme, g, k, table[g].second[k].second);
            out.insert(out.end(), copy.begin(), copy.end());
            out.insert(out.end(), slots[slot++] - copy.size(), 'P');
        }
    }
    return join({out, text("EndOfTheme", 10)});
}

struct PackRun {
    TempFolder root;
    GroupTables tables;
    ThemeFlags present{};
    std::string error;
    unsigned threads = 1;

    void addTheme(int theme, const Table& table) {
        root.makeFolder(std::to_string(theme));
        tables[theme] = std::make_unique<ImageGroup>();
        for (std::size_t g = 0; g < table.size(); ++g) {
            for (std::size_t k = 0; k < table[g].second.size(); ++k) {
                const auto& [name, size] = table[g].second[k];
                fileRecord(*tables[theme], table[g].first, name, copyOf(theme, g, k, size));
            }
        }
        present[theme] = 1;
    }
    int write(int compress = 1) {
        return writeBinFiles(tables, present, root.path(), compress, error, threads);
    }
    Bytes read(const std::string& file) const { return root.readBytes(file); }
};

// Every file byte for byte. A slot is the largest copy in whole 32-bit words, compressed or not
// (3 x 3 pixels: 34 -> 36 bytes; the check of a build rejects any other slot); a variant's image
// or group that theme 0 lacks is left out, and its later groups still line up by position; long
// names are cut to their fields. Each bin is written whole by one thread: the bytes are the same
// with any number of them.
TEST(BinWriterTest, LayoutsByteForByte) {
    const Table base = {{"idle", {{"bg.bmp", 1000}}},
                        {"menu", {{"logo.bmp", 400}, {"arrow.bmp", 96}}}};
    const Table extras = {{"idle", {{"bg.bmp", 1200}, {"extra.bmp", 500}}},
                          {"menu", {{"logo.bmp", 400}, {"arrow.bmp", 80}}},
                          {"more", {{"z.bmp", 80}}}};
    // clang-format off
    const Bytes worked = join({text("Index", 8), u32(2), u32(16),
                               text("idle", 11), {2}, u32(48), text("menu", 11), {2}, u32(112),
                               u32(1), u32(16), text("", 8),
                               text("bg.bmp", 39), {2}, u32(0), u32(1200),
                               u32(2), u32(1216), text("", 8),
                               text("logo.bmp", 39), {2}, u32(0), u32(400),
                               text("arrow.bmp", 39), {2}, u32(400), u32(96),
                               text("EndOfIndex", 10)});
    // One group of two images of one size, the first with long names.
    const std::string name = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMN";
    const auto two = [&](std::uint32_t size) { return Table{{name, {{name, size}, {"b", size}}}}; };
    const auto twoIndex = [&](std::uint32_t slot) {
        return join({text("Index", 8), u32(1), u32(16), text(name, 11), {2}, u32(32),
                     u32(2), u32(16), text("", 8),
                     text(name, 39), {2}, u32(0), u32(slot),
                     text("b", 39), {2}, u32(slot), u32(slot),
                     text("EndOfIndex", 10)});
    };
    // clang-format on
    const struct {
        std::vector<std::pair<int, Table>> themes; // theme 0's first
        int compress;
        std::vector<std::uint32_t> slots;
        Bytes index;
    } cases[] = {{{{0, base}, {1, extras}}, 1, {1200, 400, 96}, worked},
                 {{{0, two(34)}}, 0, {36, 36}, twoIndex(36)},
                 {{{0, two(34)}, {2, two(38)}}, 0, {40, 40}, twoIndex(40)},
                 {{{0, two(34)}, {9, two(26)}}, 1, {36, 36}, twoIndex(36)}};
    for (const unsigned threads : {1u, 2u, 3u}) {
        for (const auto& c : cases) {
            PackRun run;
            run.threads = threads;
            for (const auto& [theme, table] : c.themes) {
                run.addTheme(theme, table);
            }
            ASSERT_EQ(run.write(c.compress), 1) << run.error;
            EXPECT_EQ(run.read("Index.bin"), c.index) << threads << " threads";
            for (const auto& [theme, table] : c.themes) {
                EXPECT_EQ(run.read(std::to_string(theme) + "/Theme.bin"),
                          themeFile(c.themes[0].second, table, theme, c.slots))
                    << theme << ", " << threads << " threads";
            }
        }
    }
}

// A variant short of theme 0's groups or images (one of its images failed), or files beyond
// 32-bit offsets: no file is created.
TEST(BinWriterTest, RefusesBeforeTouchingAnyFile) {
    const Table two = {{"a", {{"x", 20}}}, {"b", {{"y", 20}, {"z", 20}}}};
    const struct {
        Table variant;
        std::uint32_t baseSize; // of x and y, set after the copies are made
        const char* reason;
    } cases[] = {{{two[0]}, 20, "theme 1 has fewer groups than theme 0"},
                 {{two[0], {"b", {{"y", 20}}}}, 20, "theme 1 has fewer images in group b"},
                 {two, 0x80000000u, "beyond the 4 GiB"}};
    for (const auto& c : cases) {
        PackRun run;
        run.addTheme(0, two);
        run.addTheme(1, c.variant);
        run.tables[0]->next->images->dataSize = c.baseSize;
        run.tables[0]->next->next->images->dataSize = c.baseSize;
        const auto before = snapshot(run.root);
        EXPECT_EQ(run.write(), 0);
        EXPECT_NE(run.error.find(c.reason), std::string::npos) << run.error;
        EXPECT_EQ(snapshot(run.root), before);
    }
}

struct FailedRun {
    const char* name;
    const char* folder;         // at this bin's name
    std::uint32_t size;         // of the image, in every theme
    std::uint64_t limit;        // on the file size, 0: none
    const char *call, *failing; // what the message says
};

class FailedRunTest : public testing::TestWithParam<FailedRun> {};

// One failed run, its bins written on up to threads threads.
void changesNoFile(const FailedRun& c, unsigned threads) {
    PackRun run;
    run.threads = threads;
    for (int theme : {0, 2, 3}) {
        run.addTheme(theme, {{"a", {{"x", c.size}}}});
    }
    for (const char* file : {"Index.bin", "0/Theme.bin", "2/Theme.bin", "3/Theme.bin"}) {
        if (c.folder == nullptr || std::string(c.folder) != file) {
            run.root.writeFile(file, "old");
        }
    }
    if (c.folder != nullptr) {
        run.root.makeFolder(std::string(c.folder) + "/x");
    }
    const auto before = snapshot(run.root);
    {
        FileSizeLimit limit(c.limit);
        EXPECT_EQ(run.write(), 0);
    }
    EXPECT_EQ(run.error, std::string(c.call) + " " + run.root.path(c.failing) + ": " +
                             (c.folder ? "Is a directory" : "File too large"))
        << threads << " threads";
    EXPECT_EQ(snapshot(run.root), before) << threads << " threads";
}

// A run that fails while writing or before its first rename leaves every file of an earlier run
// as it was, whichever file fails, and removes its temporary files. Bins that grow past the
// file-size limit fail as on a full disk: at the close, where the buffered end marker goes out,
// or in the write of the slots. When several bins fail at once, the first of them is told,
// however many threads write them.
TEST_P(FailedRunTest, ChangesNoFile) {
    const FailedRun& c = GetParam();
    if (kWindows && c.limit != 0) {
        GTEST_SKIP() << "Windows has no file-size limit for a process";
    }
    for (const unsigned threads : {1u, 3u}) {
        changesNoFile(c, threads);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FailedRunTest,
    testing::Values(
        FailedRun{"FolderAtTheme", "2/Theme.bin", 20, 0, "cannot replace", "2/Theme.bin"},
        FailedRun{"FolderAtIndex", "Index.bin", 20, 0, "cannot replace", "Index.bin"},
        FailedRun{"FullAtClose", nullptr, 100, 120, "cannot close", "0/Theme.bin"},
        FailedRun{"FullInSlot", nullptr, 300, 200, "cannot write", "0/Theme.bin"},
        FailedRun{"FullInLargeSlot", nullptr, 1u << 20, 512 * 1024, "cannot write", "0/Theme.bin"}),
    rowName);

// The new bins replace the old ones, a link at a bin's name included, whose target is never
// written; and nothing else is left beside them.
TEST(BinWriterTest, ReplacesEarlierFilesAndLinksAndLeavesNoTemporary) {
    if (kWindows) {
        GTEST_SKIP() << "Wine makes no symbolic links";
    }
    PackRun run;
    TempFolder elsewhere;
    elsewhere.writeFile("precious", "old");
    const Table table = {{"a", {{"x", 20}}}};
    run.addTheme(0, table);
    run.root.writeFile("Index.bin", "old");
    std::filesystem::create_symlink(elsewhere.path("precious"), run.root.path("0/Theme.bin"));
    ASSERT_EQ(run.write(), 1) << run.error;
    EXPECT_EQ(run.read("0/Theme.bin"), themeFile(table, table, 0, {20}));
    EXPECT_EQ(elsewhere.readBytes("precious"), Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(names(run.root), (std::vector<std::string>{"0/", "0/Theme.bin", "Index.bin"}));
}

} // namespace
