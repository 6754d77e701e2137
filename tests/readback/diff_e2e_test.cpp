// theme-inspect diff, the real binary, on two builds of one tree of solid pictures, whose encoded
// sizes are known (16 bytes and 4 a row): an icon repainted at its size, one resized, one added,
// one removed; then the same build twice, and a damaged one.
#include <gtest/gtest.h>

#include <algorithm>

#include "readback/readback_run.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Group 0: bg.bmp (40x30, 136 bytes); group icons: a, b (theme 2 has its own), c, d (12x7, 44).
void writeOldTree(const TempFolder& root) {
    writeSolid(root, "0/bg.bmp", 40, 30, 0x336699);
    for (const char* icon : {"0/icons/a.bmp", "0/icons/b.bmp", "0/icons/c.bmp", "0/icons/d.bmp"}) {
        writeSolid(root, icon, 12, 7, 0x102030);
    }
    writeSolid(root, "2/icons/b.bmp", 12, 7, 0xC0C0C0);
}

// Figures the test cannot know made "N": compressed sizes and CRCs.
std::string masked(std::string text) {
    for (const std::string prefix : {"compressed ", "CRC32 0x", "-> 0x"}) {
        std::string out;
        std::size_t from = 0;
        for (std::size_t at; (at = text.find(prefix, from)) != std::string::npos;) {
            at += prefix.size();
            out += text.substr(from, at - from) + "N";
            from = std::min(text.find_first_not_of("0123456789ABCDEF,", at), text.size());
        }
        text = out + text.substr(from);
    }
    return text;
}

// "kind name, " for each image change of the JSON, in order.
std::string jsonChanges(const std::string& json) {
    std::string changes;
    for (std::size_t at = 0; (at = json.find("{\"change\": \"", at)) != std::string::npos;) {
        at += 12;
        const std::size_t name = json.find("\"name\": \"", at) + 9;
        changes += json.substr(at, json.find('"', at) - at) + " " +
                   json.substr(name, json.find('"', name) - name) + ", ";
    }
    return changes;
}

ProgramResult diff(const TempFolder& oldRoot, const TempFolder& newRoot, const char* option = "") {
    return runInspect(oldRoot, "diff " + oldRoot.path() + " " + newRoot.path() + " " + option);
}

TEST(DiffTest, ListsExactlyWhatChangedAndSaysWhenNothingDidOrWhatKeepsItFromTelling) {
    TempFolder before;
    TempFolder after;
    writeOldTree(before);
    writeOldTree(after);
    writeSolid(after, "0/icons/a.bmp", 12, 7, 0x405060); // repainted: 44 bytes still
    writeSolid(after, "0/icons/b.bmp", 20, 9, 0x102030); // resized: 52 bytes, c moves
    std::remove(after.path("0/icons/d.bmp").c_str());
    writeSolid(after, "0/icons/e.bmp", 12, 7, 0x102030);
    LonePackager(nullptr).run(before);
    LonePackager(nullptr).run(after);
    for (const char* bin : {"Index.bin", "0/Theme.bin", "2/Theme.bin"}) { // OLD compressed
        runProgram(before.path(), {programPath("VOX_ZIP"), "-c", bin});
        std::remove(before.path(bin).c_str());
    }

    const ProgramResult text = diff(before, after);
    EXPECT_EQ(text.exitStatus, 1) << text.err;
    const std::string theme = ": 338 -> 346 bytes, compressed N -> -\n"
                              "  added    icons/e.bmp  -          44 B 12x7\n"
                              "  removed  icons/d.bmp  44 B 12x7  -\n"
                              "  changed  icons/a.bmp  44 B 12x7  44 B 12x7\n";
    EXPECT_EQ(masked(text.out),
              "Index.bin: 330 -> 330 bytes, compressed N -> -; 2 groups, 5 images -> 2 groups, 5 "
              "images\n"
              "  names: 1 image added, 1 removed; image IDs change (THEME_IDS_CRC32 0xN -> 0xN)\n"
              "  slots: 1 moved, from icons/c.bmp on\n" +
                  nativePaths("theme 0: 0/Theme.bin") + theme +
                  "  resized  icons/b.bmp  44 B 12x7  52 B 20x9\n" +
                  nativePaths("theme 2: 2/Theme.bin") + theme);

    const ProgramResult json = diff(before, after, "--json");
    EXPECT_EQ(json.exitStatus, 1) << json.err;
    EXPECT_EQ(jsonChanges(json.out), "added e.bmp, removed d.bmp, changed a.bmp, resized b.bmp, "
                                     "added e.bmp, removed d.bmp, changed a.bmp, ");
    EXPECT_NE(json.out.find("\"differ\": true,\n  \"index\": {\"file\": [\"Index.bin.gz\", "
                            "\"Index.bin\"], \"length\": [330, 330]"),
              std::string::npos)
        << json.out;

    const ProgramResult same = diff(after, after);
    EXPECT_EQ(same.exitStatus, 0) << same.err;
    EXPECT_EQ(same.out, "no difference: 2 groups, 5 images and 2 themes, the same names in the "
                        "same order, the same bytes in every copy\n");

    // bg.bmp's first row, one repeat run at 32: its row end flag cleared.
    Bytes theme0 = after.readBytes("0/Theme.bin");
    theme0[33] = 0x20;
    after.writeBytes("0/Theme.bin", theme0);
    const ProgramResult damaged = diff(before, after);
    EXPECT_EQ(damaged.exitStatus, 2);
    EXPECT_EQ(damaged.out, "");
    EXPECT_EQ(damaged.err,
              "theme-inspect: cannot compare a damaged build: " + after.path("0/Theme.bin") +
                  ": offset 32: the last run of a row lacks the row end flag (this "
                  "run) (theme-inspect verify " +
                  after.path() + " lists every fault)\n");
}

} // namespace
