// Platform layer: folder listing order and folder operations.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace {

TEST(PlatformTest, ListingSortsLettersUpperCasedThenByRawBytes) {
    TempFolder root;
    for (const char* name : {"B.bmp", "a.bmp", "_z.bmp"}) {
        root.writeFile(name, "x");
    }
    root.makeFolder("Menu");
    root.makeFolder("menu");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(root.path(), entries));
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.name + (e.isFolder ? "/" : ""));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a.bmp", "B.bmp", "Menu/", "menu/", "_z.bmp"}));
}

TEST(PlatformTest, DeleteFileNeverDeletesAFolder) {
    TempFolder root;
    root.makeFolder("dir");
    EXPECT_FALSE(deleteFile(joinPath(root.path(), "dir")));
    EXPECT_TRUE(isFolder(joinPath(root.path(), "dir")));
}

} // namespace
