// The device reader on a small build with one fault planted at a time: every fault is the status
// it names, the same through memory and through a read callback, and the reader never reads or
// writes outside what it was given (AddressSanitizer watches the exact-size buffers).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "common/byte_order.h"
#include "device/reader_harness.h"
#include "device/theme_reader.h"
#include "output/bin_writer.h"
#include "support/group_tables.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kX = 0xF800, kY = 0x07E0, kZ = 0x001F;

// A group and an image whose names fill their fields (11 and 39 bytes) and go on.
const std::string kGroup = "panels_and_more";
const std::string kImage = "a_name_longer_than_the_thirty_nine_bytes_kept.bmp";

// Rows X X X X and Y Z Y Z as RLE4: a repeat run ending row 0, a literal run ending the image.
Bytes blob() {
    Bytes bytes(32);
    const std::uint32_t header[] = {0x34454C52, 4, 2, 16};
    const std::uint16_t units[] = {0x6004, kX, 0xC004, kY, kZ, kY, kZ, 0};
    for (std::size_t i = 0; i < 4; ++i) {
        storeU32Le(&bytes[4 * i], header[i]);
    }
    for (std::size_t i = 0; i < 8; ++i) {
        storeU16Le(&bytes[16 + 2 * i], units[i]);
    }
    return bytes;
}

// Index.bin (106 bytes: the directory entry at 16, the group at 32, the entry at 48, the end
// marker at 96) and Theme.bin (the slot at 16, its runs from 32), as the writer makes them.
struct Build {
    Bytes index;
    Bytes theme;
};

Build smallBuild() {
    TempFolder root;
    root.makeFolder("0");
    GroupTables tables;
    tables[0] = std::make_unique<ImageGroup>();
    fileRecord(*tables[0], kGroup, kImage, blob());
    ThemeFlags present{};
    present[0] = 1;
    std::string error;
    EXPECT_EQ(writeBinFiles(tables, present, root.path(), 1, error), 1) << error;
    return {root.readBytes("Index.bin"), root.readBytes("0/Theme.bin")};
}

int failRead(void*, std::uint32_t, void*, std::uint32_t) {
    return -1;
}

// Each step of reading one image: finding it by its names, then the image's own steps.
struct Outcome {
    theme_status index = THEME_OK;
    theme_status slot = THEME_OK;
    ReaderOutcome image;
    bool operator==(const Outcome&) const = default;
};

// Opens the index and finds the image in it, then reads the image (readImage) through memory
// (window 0) or a window of that size: drawn at (1, 1) with flags, clipped to it, its rows walked
// whole, reopened on slot reopen.
Outcome readBuild(const Build& build, std::uint32_t window, std::uint32_t flags,
                  theme_slot reopen) {
    ReaderFile index{build.index, window}, theme{build.theme, window};
    Outcome out;
    theme_index ix;
    out.index = index.openIndex(ix);
    theme_slot slot{};
    out.slot =
        theme_index_find(&ix, kGroup.substr(0, 11).c_str(), kImage.substr(0, 39).c_str(), &slot);
    out.image = readImage(theme, slot, {6, 4, {1, 1, 4, 2}, 1, 1, flags, 0, 4, reopen});
    out.image.lines.clear(); // a walk's pixels: readImage checks them against the draw's
    EXPECT_FALSE(index.outside);
    return out;
}

struct Fault {
    const char* name;
    std::function<void(Build&)> plant;
    Outcome expected;
    theme_slot reopen{}; // where the image is reopened during its walk
};

// The test list names each row by its fault.
void PrintTo(const Fault& fault, std::ostream* os) {
    *os << fault.name;
}

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    storeU32Le(&bytes[at], value);
}

void put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    storeU16Le(&bytes[at], value);
}

// The image read with open's status and rest's for every later step, drawn into a framebuffer of
// 6 x 4 pixels through row 0 (or not) and the first row1 pixels of row 1; guard values elsewhere.
Outcome outcome(theme_status index, theme_status slot, theme_status open, theme_status rest,
                bool row0, std::size_t row1) {
    Outcome out{index, slot, {open, rest, rest, rest, THEME_OK, guardedFrame({6, 4}), {}, true}};
    for (std::size_t x = 0; x < 4; ++x) {
        out.image.fb[2 * 6 + 1 + x] = row0 ? kX : out.image.fb[2 * 6 + 1 + x];
        out.image.fb[3 * 6 + 1 + x] = x >= row1 ? out.image.fb[3 * 6 + 1 + x] : x % 2 ? kZ : kY;
    }
    return out;
}

const Outcome kValid = outcome(THEME_OK, THEME_OK, THEME_OK, THEME_OK, true, 4);

// A failed open: the image is not there for any later step, and nothing is drawn.
Outcome failing(theme_status index, theme_status slot, theme_status image) {
    return outcome(index, slot, image, THEME_E_ARGUMENT, false, 0);
}

// A stream fault found after row0 and row1 pixels were drawn: runs are drawn as they come, and
// their row and image ends are checked once they are.
Outcome broken(bool row0, std::size_t row1) {
    return outcome(THEME_OK, THEME_OK, THEME_OK, THEME_E_STREAM, row0, row1);
}

// An index that did not open finds nothing; the empty slot holds no image.
const Outcome kIndexFault = failing(THEME_E_INDEX, THEME_E_ARGUMENT, THEME_E_IMAGE);

const std::vector<Fault> kFaults = {
    {"Valid", [](Build&) {}, kValid},
    {"Tag", [](Build& b) { b.index[0] = 'i'; }, kIndexFault},
    {"ByteAfterTagTerminator", [](Build& b) { b.index[6] = 1; }, kIndexFault},
    {"EndMarker", [](Build& b) { b.index.back() = 'y'; }, kIndexFault},
    {"IndexCutByOneByte", [](Build& b) { b.index.pop_back(); }, kIndexFault},
    {"IndexOfHeaderAndMarkerOnly",
     [](Build& b) { b.index.erase(b.index.begin() + 16, b.index.end() - 10); }, kIndexFault},
    {"DirectoryInsideHeader", [](Build& b) { put32(b.index, 12, 8); }, kIndexFault},
    {"DirectoryPastEnd", [](Build& b) { put32(b.index, 12, 100); }, kIndexFault},
    {"GroupCountPastEnd", [](Build& b) { put32(b.index, 8, 6); }, kIndexFault},
    {"GroupCountHuge", [](Build& b) { put32(b.index, 8, 0x40000000); }, kIndexFault},
    {"GroupOffsetInsideHeader", [](Build& b) { put32(b.index, 28, 4); }, kIndexFault},
    {"GroupOffsetPastEnd", [](Build& b) { put32(b.index, 28, 90); }, kIndexFault},
    {"ImageCountPastEnd", [](Build& b) { put32(b.index, 32, 2); }, kIndexFault},
    {"ImageCountHuge", [](Build& b) { put32(b.index, 32, 0xFFFFFFFF); }, kIndexFault},
    {"SlotOffsetWraps", [](Build& b) { put32(b.index, 36, 0xFFFFFFF0), put32(b.index, 88, 0x20); },
     failing(THEME_OK, THEME_E_INDEX, THEME_E_IMAGE)},
    {"SlotPastTheme", [](Build& b) { put32(b.index, 92, 43); },
     failing(THEME_OK, THEME_OK, THEME_E_SLOT)},
    {"SlotTooShortForHeader", [](Build& b) { put32(b.index, 92, 15); },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"Rle5", [](Build& b) { b.theme[19] = '5'; }, failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"ThirtyTwoBits", [](Build& b) { put32(b.theme, 28, 32); },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"WidthZero", [](Build& b) { put32(b.theme, 20, 0); },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"HeightNegative", [](Build& b) { put32(b.theme, 24, 0xFFFFFFFE); },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"MoreRowsThanTheSlotHolds", [](Build& b) { put32(b.theme, 24, 5); },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"Pri0LargerThanItsSlot",
     [](Build& b) {
         b.theme[19] = '0', b.theme[18] = 'I', b.theme[17] = 'R', b.theme[16] = 'P';
         put32(b.theme, 24, 3);
     },
     failing(THEME_OK, THEME_OK, THEME_E_IMAGE)},
    {"ReservedBit", [](Build& b) { put16(b.theme, 32, 0x7004); }, broken(false, 0)},
    {"ZeroLength", [](Build& b) { put16(b.theme, 32, 0x6000); }, broken(false, 0)},
    {"RunPastRowEnd", [](Build& b) { put16(b.theme, 32, 0x6005); }, broken(false, 0)},
    {"MissingRowEnd", [](Build& b) { put16(b.theme, 32, 0x2004); }, broken(true, 0)},
    {"ImageEndInFirstRow", [](Build& b) { put16(b.theme, 32, 0xE004); }, broken(true, 0)},
    {"RowEndTooEarly", [](Build& b) { put16(b.theme, 36, 0xC002); }, broken(true, 2)},
    {"MissingImageEnd", [](Build& b) { put16(b.theme, 36, 0x4004); }, broken(true, 4)},
    {"RunsCutShort",
     [](Build& b) {
         put32(b.index, 92, 28);
         b.theme.erase(b.theme.begin() + 44, b.theme.begin() + 48);
     },
     broken(true, 3)},
    {"MoreRowsThanRuns", [](Build& b) { put32(b.theme, 24, 3); }, broken(true, 4)},
    // The walk reads its own copy of the image: a slot that is another one ends it; the same slot
    // again is the same image.
    {"WalkOfAnImageReopenedOnASmallerSlot",
     [](Build&) {},
     [] {
         Outcome out = kValid;
         out.image.walk = THEME_E_ARGUMENT;
         return out;
     }(),
     {16, 28}},
    {"WalkOfAnImageReopenedOnItsOwnSlot", [](Build&) {}, kValid, {16, 32}},
};

class DeviceFaultTest : public ::testing::TestWithParam<Fault> {};

// Plain, and keyed with Z: the Z pixels of row 1 stay as they were.
TEST_P(DeviceFaultTest, IsItsStatusThroughMemoryAndEveryWindow) {
    Build build = smallBuild();
    GetParam().plant(build);
    for (const std::uint32_t flags : {0u, THEME_COLOR_KEY(kZ)}) {
        Outcome expected = GetParam().expected;
        const std::vector<std::uint16_t> guards = guardedFrame({6, 4});
        for (std::size_t i = 0; flags != 0 && i < guards.size(); ++i) {
            expected.image.fb[i] = expected.image.fb[i] == kZ ? guards[i] : expected.image.fb[i];
        }
        for (const std::uint32_t window : {0u, 64u, 65u, 1024u}) {
            const Outcome out = readBuild(build, window, flags, GetParam().reopen);
            EXPECT_EQ(out, expected)
                << "flags " << flags << " window " << window << ": index " << out.index << " slot "
                << out.slot << " image " << out.image.open << " check " << out.image.check
                << " draw " << out.image.draw << " walk " << out.image.walk << " reopen "
                << out.image.reopen << " sound " << out.image.sound;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Faults, DeviceFaultTest, ::testing::ValuesIn(kFaults),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(DeviceReaderTest, NamesAreMatchedAsStoredAndOrdinalsEndAtTheCount) {
    const Build build = smallBuild();
    theme_index ix;
    ASSERT_EQ(
        theme_index_open(&ix, build.index.data(), static_cast<std::uint32_t>(build.index.size())),
        THEME_OK);
    theme_slot slot{};
    EXPECT_EQ(theme_index_find(&ix, kGroup.c_str(), kImage.substr(0, 39).c_str(), &slot),
              THEME_E_NOT_FOUND);
    EXPECT_EQ(theme_index_find(&ix, kGroup.substr(0, 11).c_str(), kImage.c_str(), &slot),
              THEME_E_NOT_FOUND);
    EXPECT_EQ(
        theme_index_find(&ix, kGroup.substr(0, 10).c_str(), kImage.substr(0, 39).c_str(), &slot),
        THEME_E_NOT_FOUND);
    EXPECT_EQ(theme_index_slot(&ix, 0, &slot), THEME_OK);
    EXPECT_EQ(slot.offset, 16u);
    EXPECT_EQ(slot.size, 32u);
    EXPECT_EQ(theme_index_slot(&ix, 1, &slot), THEME_E_NOT_FOUND);
    EXPECT_EQ(theme_index_find(&ix, nullptr, "a", &slot), THEME_E_ARGUMENT);
}

TEST(DeviceReaderTest, ReadFailuresAndBadArgumentsAreTheirStatus) {
    const Build build = smallBuild();
    const auto size = static_cast<std::uint32_t>(build.index.size());
    Bytes window(64);
    theme_index ix;
    EXPECT_EQ(theme_index_open_io(&ix, failRead, nullptr, size, window.data(), 64), THEME_E_READ);
    EXPECT_EQ(theme_index_open_io(&ix, ReaderFile::read, nullptr, size, window.data(), 63),
              THEME_E_ARGUMENT);
    EXPECT_EQ(theme_index_open(&ix, nullptr, size), THEME_E_ARGUMENT);
    theme_image image;
    const auto themeSize = static_cast<std::uint32_t>(build.theme.size());
    EXPECT_EQ(
        theme_image_open_io(&image, failRead, nullptr, themeSize, {16, 32}, window.data(), 64),
        THEME_E_READ);
    ASSERT_EQ(theme_image_open(&image, build.theme.data(), themeSize, {16, 32}), THEME_OK);
    std::vector<std::uint16_t> fb(16, 0x1234);
    const std::vector<std::uint16_t> untouched = fb;
    for (const theme_rect clip :
         {theme_rect{-1, 0, 2, 2}, theme_rect{0, -1, 2, 2}, theme_rect{0, 0, -1, 2},
          theme_rect{0, 0, 2, -1}, theme_rect{1, 0, 4, 4},
          theme_rect{0x7FFFFFFF, 0, 0x7FFFFFFF, 1}}) {
        EXPECT_EQ(theme_draw(&image, fb.data(), 4, clip, 0, 0, 0), THEME_E_ARGUMENT) << clip.x;
    }
    for (const std::uint32_t flags : {4u, 0x10000u, THEME_COLOR_KEY(kX) | 8u}) {
        EXPECT_EQ(theme_draw(&image, fb.data(), 4, {0, 0, 4, 4}, 0, 0, flags), THEME_E_ARGUMENT);
        theme_rows rows;
        EXPECT_EQ(theme_rows_begin(&rows, &image, flags), THEME_E_ARGUMENT);
    }
    EXPECT_EQ(theme_draw(&image, nullptr, 4, {0, 0, 4, 4}, 0, 0, 0), THEME_E_ARGUMENT);
    EXPECT_EQ(fb, untouched);
    // Placed where no pixel of it meets the clip, or with an empty clip: nothing to do.
    EXPECT_EQ(theme_draw(&image, fb.data(), 4, {0, 0, 4, 4}, -4, 0, 0), THEME_OK);
    EXPECT_EQ(theme_draw(&image, fb.data(), 4, {0, 0, 4, 4}, 0x7FFFFFFF, 0x7FFFFFFF, 0), THEME_OK);
    EXPECT_EQ(theme_draw(&image, fb.data(), 4, {2, 2, 0, 2}, 0, 0, 0), THEME_OK);
    EXPECT_EQ(fb, untouched);
    theme_rows rows;
    ASSERT_EQ(theme_rows_begin(&rows, &image, 0), THEME_OK);
    std::uint16_t line[4];
    EXPECT_EQ(theme_rows_next(&rows, line, -1, 2), THEME_E_ARGUMENT);
    EXPECT_EQ(theme_rows_next(&rows, line, 3, 2), THEME_E_ARGUMENT);
    EXPECT_EQ(theme_rows_skip(&rows, 3), THEME_E_ARGUMENT);
    EXPECT_EQ(theme_rows_skip(&rows, 2), THEME_OK);
    EXPECT_EQ(theme_rows_skip(&rows, 1), THEME_E_ARGUMENT);
}

TEST(DeviceReaderTest, RowsBelowTheClipAreNotReadAndRowsAboveItNotDrawn) {
    Build build = smallBuild();
    std::fill(build.theme.begin() + 36, build.theme.end(), 0xFF); // row 1 and on: garbage
    theme_image image;
    ASSERT_EQ(theme_image_open(&image, build.theme.data(),
                               static_cast<std::uint32_t>(build.theme.size()), {16, 32}),
              THEME_OK);
    std::vector<std::uint16_t> fb(4, 0);
    EXPECT_EQ(theme_draw(&image, fb.data(), 4, {0, 0, 4, 1}, 0, 0, 0), THEME_OK);
    EXPECT_EQ(fb, std::vector<std::uint16_t>(4, kX));
    EXPECT_EQ(theme_image_check(&image), THEME_E_STREAM);
}

TEST(DeviceReaderTest, EveryStatusHasItsOwnText) {
    std::set<std::string> texts;
    for (int s = THEME_OK; s <= THEME_E_READ; ++s) {
        texts.insert(theme_status_text(static_cast<theme_status>(s)));
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(THEME_E_READ + 1));
}

} // namespace
