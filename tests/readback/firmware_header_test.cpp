// theme-inspect header, the real binary, on a build whose names clash once made C identifiers
// and hold bytes a C comment cannot: the whole header, byte for byte.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdio>

#include "common/byte_order.h"
#include "output/bin_writer.h"
#include "readback/readback_run.h"
#include "support/group_tables.h"

namespace {

TEST(FirmwareHeaderTest, NamesEveryImageOnceInIndexOrderWithTheIndexsSizeAndCrc) {
    TempFolder root;
    root.makeFolder("0");
    std::vector<std::uint8_t> pixel(18);
    const std::uint32_t header[] = {0x30495250, 1, 1, 16};
    for (std::size_t i = 0; i < 4; ++i) {
        storeU32Le(&pixel[4 * i], header[i]);
    }
    GroupTables tables;
    tables[0] = std::make_unique<ImageGroup>();
    for (const auto& [group, name] :
         std::vector<std::pair<std::string, std::string>>{{"menu", "a-b.bmp"},
                                                          {"menu", "a_b.bmp"},
                                                          {"menu", "A.B.bmp"},
                                                          {"caf\xC3\xA9", "x*/y/*.bmp"},
                                                          {"caf\xC3\xA9", "9.bmp"}}) {
        fileRecord(*tables[0], group, name, pixel);
    }
    ThemeFlags present{};
    present[0] = 1;
    std::string error;
    ASSERT_EQ(writeBinFiles(tables, present, root.path(), 0, error), 1) << error;

    const ProgramResult run = runInspect(root, "header --out", root.path("ids-v2.h"));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, root.path("ids-v2.h") + " written: 5 image IDs\n");
    const std::vector<std::uint8_t> index = root.readBytes("Index.bin");
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08lXu",
                  crc32(0, index.data(), static_cast<uInt>(index.size())));
    const std::vector<std::uint8_t> written = root.readBytes("ids-v2.h");
    EXPECT_EQ(std::string(written.begin(), written.end()),
              "/* The images of a theme build, as theme-inspect header wrote them: the ordinal of "
              "each\n * in index order (theme_index_slot), and the Index.bin they were read from. "
              "*/\n#ifndef IDS_V2_H\n#define IDS_V2_H\n\n#define THEME_IMAGE_COUNT 5u\n"
              "#define THEME_INDEX_SIZE " +
                  std::to_string(index.size()) +
                  "u\n"
                  "#define THEME_INDEX_CRC32 " +
                  crc +
                  "\n\n/* group menu */\n"
                  "#define THEME_IMG_MENU_A_B_BMP 0u /* a-b.bmp */\n"
                  "#define THEME_IMG_MENU_A_B_BMP_2 1u /* a_b.bmp */\n"
                  "#define THEME_IMG_MENU_A_B_BMP_3 2u /* A.B.bmp */\n\n/* group caf\xC3\xA9 */\n"
                  "#define THEME_IMG_CAF_X_Y_BMP 3u /* x*\\/y/\\*.bmp */\n"
                  "#define THEME_IMG_CAF_9_BMP 4u /* 9.bmp */\n\n#endif\n");
}

} // namespace
