// theme-inspect header, the real binary, on a build whose names clash once made C identifiers,
// are stored alike and hold bytes a C comment cannot: the whole header, byte for byte. Then the
// image IDs' CRC across art changes, and the device reader's check of it.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "common/byte_order.h"
#include "device/theme_reader.h"
#include "output/bin_writer.h"
#include "readback/readback_run.h"
#include "support/group_tables.h"
#include "support/rle_check.h"
#include "support/row_name.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// THEME_IDS_CRC32 worked out from Index.bin's bytes: each group's name field, then its images'.
std::uint32_t idsCrc(const Bytes& index) {
    uLong crc = crc32(0, nullptr, 0);
    for (std::uint32_t g = 0; g < loadU32Le(&index[8]); ++g) {
        const std::uint8_t* entry = &index[16 + 16 * g];
        crc = crc32(crc, entry, 11);
        const std::uint32_t block = loadU32Le(entry + 12);
        for (std::uint32_t k = 0; k < loadU32Le(&index[block]); ++k) {
            crc = crc32(crc, &index[block + 16 + 48 * k], 39);
        }
    }
    return static_cast<std::uint32_t>(crc);
}

std::string hexCrc(std::uint32_t crc) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08Xu", crc);
    return text;
}

TEST(FirmwareHeaderTest, NamesEveryImageOnceInIndexOrderWithTheIndexsSizeAndCrc) {
    TempFolder root;
    root.makeFolder("0");
    const Bytes pixel = makePri0Block(1, 1, 16, {0});
    GroupTables tables;
    tables[0] = std::make_unique<ImageGroup>();
    for (const auto& [group, name] :
         std::vector<std::pair<std::string, std::string>>{{"menu", "a-b.bmp"},
                                                          {"menu", "a_b.bmp"},
                                                          {"menu", "A.B.bmp"},
                                                          {"caf\xC3\xA9", "x*/y/*.bmp"},
                                                          {"caf\xC3\xA9", "9.bmp"},
                                                          {"long_group_A", "x.bmp"},
                                                          {"long_group_B", "x.bmp"}}) {
        fileRecord(*tables[0], group, name, pixel);
    }
    ThemeFlags present{};
    present[0] = 1;
    std::string error;
    ASSERT_EQ(writeBinFiles(tables, present, root.path(), 0, error), 1) << error;

    const ProgramResult run = runInspect(root, "header --out", root.path("ids-v2.h"));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, root.path("ids-v2.h") + " written: 7 image IDs\n");
    const Bytes index = root.readBytes("Index.bin");
    const Bytes written = root.readBytes("ids-v2.h");
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "/* The images of a theme build, as theme-inspect header wrote them: the ordinal of "
              "each\n * in index order (theme_index_slot), the Index.bin they were read from\n"
              " * (theme_index_verify), and the CRC-32 of the names the ordinals stand for\n"
              " * (theme_index_check_ids). */\n#ifndef IDS_V2_H\n#define IDS_V2_H\n\n"
              "#define THEME_IMAGE_COUNT 7u\n#define THEME_INDEX_SIZE " +
                  std::to_string(index.size()) + "u\n#define THEME_INDEX_CRC32 " +
                  hexCrc(static_cast<std::uint32_t>(
                      crc32(0, index.data(), static_cast<uInt>(index.size())))) +
                  "\n#define THEME_IDS_CRC32 " + hexCrc(idsCrc(index)) +
                  "\n\n/* group menu */\n"
                  "#define THEME_IMG_MENU_A_B_BMP 0u /* a-b.bmp */\n"
                  "#define THEME_IMG_MENU_A_B_BMP_2 1u /* a_b.bmp */\n"
                  "#define THEME_IMG_MENU_A_B_BMP_3 2u /* A.B.bmp */\n\n/* group caf\xC3\xA9 */\n"
                  "#define THEME_IMG_CAF_X_Y_BMP 3u /* x*\\/y/\\*.bmp */\n"
                  "#define THEME_IMG_CAF_9_BMP 4u /* 9.bmp */\n\n/* group long_group_ */\n"
                  "#define THEME_IMG_LONG_GROUP_X_BMP 5u /* x.bmp (1 of 2 stored alike) */\n\n"
                  "/* group long_group_ */\n"
                  "#define THEME_IMG_LONG_GROUP_X_BMP_2 6u /* x.bmp (2 of 2 stored alike) */\n\n"
                  "#endif\n");
}

// THEME_IDS_CRC32 of a build before and after one change to its tree.
struct IdsCase {
    const char* name;
    void (*change)(const TempFolder&);
    bool idsHold;
};

int readIndex(void* ctx, std::uint32_t offset, void* dst, std::uint32_t len) {
    std::memcpy(dst, static_cast<const Bytes*>(ctx)->data() + offset, len);
    return 0;
}

class IdsTest : public ::testing::TestWithParam<IdsCase> {};

// Slots that move leave the IDs (as the header gives them, above) as they are; names that change
// do not. The reader, from memory and through a window, takes the new index exactly when they hold.
TEST_P(IdsTest, FollowNamesAndOrderOnlyAndTheReaderAgrees) {
    TempFolder root;
    for (const char* path : {"0/a.bmp", "0/menu/b.bmp", "0/menu/c.bmp", "2/menu/b.bmp"}) {
        root.writeBytes(path, makeUiLikeBmp(12, 7, static_cast<std::uint32_t>(std::strlen(path))));
    }
    LonePackager(nullptr).run(root);
    const std::uint32_t before = idsCrc(root.readBytes("Index.bin"));
    GetParam().change(root);
    LonePackager(nullptr).run(root);
    Bytes index = root.readBytes("Index.bin");
    const std::uint32_t after = idsCrc(index);
    EXPECT_EQ(before == after, GetParam().idsHold);
    const auto size = static_cast<std::uint32_t>(index.size());
    Bytes window(64);
    theme_index fromMemory;
    theme_index throughWindow;
    ASSERT_EQ(theme_index_open(&fromMemory, index.data(), size), THEME_OK);
    ASSERT_EQ(theme_index_open_io(&throughWindow, readIndex, &index, size, window.data(), 64),
              THEME_OK);
    for (const theme_index* ix : {&fromMemory, &throughWindow}) {
        EXPECT_EQ(theme_index_check_ids(ix, after), THEME_OK);
        EXPECT_EQ(theme_index_check_ids(ix, before), GetParam().idsHold ? THEME_OK : THEME_E_INDEX);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, IdsTest,
    ::testing::Values(
        IdsCase{"Repainted",
                [](const TempFolder& r) { r.writeBytes("0/menu/b.bmp", makeUiLikeBmp(12, 7, 99)); },
                true},
        IdsCase{"Resized",
                [](const TempFolder& r) { r.writeBytes("0/a.bmp", makeUiLikeBmp(40, 3, 5)); },
                true},
        IdsCase{"Added",
                [](const TempFolder& r) { r.writeBytes("0/menu/d.bmp", makeUiLikeBmp(5, 5, 5)); },
                false},
        IdsCase{"Removed", [](const TempFolder& r) { std::remove(r.path("0/menu/c.bmp").c_str()); },
                false},
        IdsCase{"Renamed",
                [](const TempFolder& r) {
                    std::rename(r.path("0/menu/c.bmp").c_str(), r.path("0/menu/e.bmp").c_str());
                },
                false}),
    rowName);

} // namespace
