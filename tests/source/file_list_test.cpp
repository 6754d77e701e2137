// Theme folder discovery and the base theme's folder scan.
#include "source/file_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/platform.h"
#include "source/theme_folders.h"
#include "support/temp_folder.h"

namespace {

// Every entry as "folder group file", the folder relative to root with '/' between components.
std::vector<std::string> listed(const ImageFileEntry& head, const std::string& root) {
    std::vector<std::string> out;
    for (const ImageFileEntry* e = head.next.get(); e != nullptr; e = e->next.get()) {
        std::string folder = e->dirPath.substr(std::min(root.size() + 1, e->dirPath.size()));
        std::replace(folder.begin(), folder.end(), kPathSeparator, '/');
        out.push_back(folder + " " + e->groupName + " " + e->fileName);
    }
    EXPECT_EQ(head.count, static_cast<std::int32_t>(out.size()));
    return out;
}

TEST(ThemeFoldersTest, CountsFoldersOnlyAndRestoresTheRootFolder) {
    TempFolder root;
    for (const char* n : {"0", "3", "7", "10"}) {
        root.makeFolder(n);
    }
    root.writeFile("5", "a plain file is no theme");

    ThemeFlags present{};
    EXPECT_EQ(discoverThemeFolders(root.path(), present), 3);
    EXPECT_EQ(present, (ThemeFlags{1, 0, 0, 1, 0, 0, 0, 1, 0, 0}));
    std::string current;
    ASSERT_TRUE(getCurrentFolder(current));
    EXPECT_TRUE(std::filesystem::equivalent(current, root.path()));
    setCurrentFolder(std::filesystem::temp_directory_path().string()); // root is removed next
}

TEST(FileListTest, ScanIsDepthFirstInNameOrderWithTheFolderNameAsGroup) {
    TempFolder root;
    for (const char* file :
         {"0/a.bmp", "0/menu/b.bmp", "0/menu/sub/c.bmp", "0/menu/z.bmp", "0/x/icon.bmp",
          "0/y/x/other.bmp", "0/photo.BMP", "0/readme.txt", "0/ab.bmp", "0/abmp", "0/mp"}) {
        root.writeFile(file, "");
    }
    ImageFileEntry head;
    EXPECT_EQ(listBaseTheme(head, root.path(), 0), 1);
    EXPECT_EQ(head.dirPath, joinPath(root.path(), "0"));
    EXPECT_EQ(head.groupName, "0");
    EXPECT_EQ(listed(head, root.path()),
              (std::vector<std::string>{"0 0 a.bmp", "0 0 ab.bmp", "0 0 abmp", "0/menu menu b.bmp",
                                        "0/menu/sub sub c.bmp", "0/menu menu z.bmp",
                                        "0/x x icon.bmp", "0/y/x x other.bmp"}));
    EXPECT_EQ(freeFileList(head), 1);
    EXPECT_EQ(head.next, nullptr);
}

TEST(FileListTest, LinkedFoldersAreScannedUnlessTheyLeadBackIntoTheScan) {
    TempFolder root;
    root.writeFile("0/menu/a.bmp", "");
    root.writeFile("shared/s.bmp", "");
    std::filesystem::create_directory_symlink("..", root.path("0/menu/up"));
    std::filesystem::create_directory_symlink("../../shared", root.path("0/menu/shared"));
    ImageFileEntry head;
    EXPECT_EQ(listBaseTheme(head, root.path(), 0), 1);
    EXPECT_EQ(listed(head, root.path()),
              (std::vector<std::string>{"0/menu menu a.bmp", "0/menu/shared shared s.bmp"}));
}

TEST(FileListTest, EmptyOrMissingThemeFolderGivesAnEmptyList) {
    TempFolder root;
    root.makeFolder("0");
    ImageFileEntry head;
    EXPECT_EQ(listBaseTheme(head, root.path(), 0), 1);
    EXPECT_EQ(head.next, nullptr);
    ImageFileEntry missing;
    EXPECT_EQ(listBaseTheme(missing, root.path(), 4), 0);
    EXPECT_EQ(missing.next, nullptr);
}

TEST(FileListTest, LongListsAppendInOrderAndTearDownWithoutRecursion) {
    constexpr int kEntries = 200000;
    ImageFileEntry head;
    for (int i = 0; i < kEntries; ++i) {
        auto entry = std::make_unique<ImageFileEntry>();
        entry->fileName = std::to_string(i);
        appendFileEntry(head, std::move(entry));
    }
    ASSERT_EQ(head.count, kEntries);
    EXPECT_EQ(head.next->fileName, "0");
    EXPECT_EQ(head.tail->fileName, std::to_string(kEntries - 1));
    // The head's destructor releases the chain; a recursive teardown would overflow the stack.
}

} // namespace
