// Platform layer: folder listing order and folder operations.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace {

TEST(PlatformTest, ListingSortsLettersUpperCasedThenByRawBytes) {
    TempFolder root;
    for (const char* name : {"B.bmp", "a.bmp", "_z.bmp"}) {
        root.writeFile(name, "x");
    }
    root.makeFolder("Menu");
    root.makeFolder("menu");
    std::filesystem::create_directory_symlink("Menu", root.path("link"));
    FolderHandle folder;
    std::string error;
    ASSERT_TRUE(openFolder(root.path(), folder, error)) << error;
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(folder, entries, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.name + (e.isFolder ? "/" : ""));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"a.bmp", "B.bmp", "link/", "Menu/", "menu/", "_z.bmp"}));
}

TEST(PlatformTest, DeleteFileNeverDeletesAFolder) {
    TempFolder root;
    root.makeFolder("dir");
    EXPECT_FALSE(deleteFile(joinPath(root.path(), "dir")));
    EXPECT_TRUE(isFolder(joinPath(root.path(), "dir")));
}

// Only regular files open, links followed; a FIFO is refused at once instead of waiting for a
// writer that never comes.
TEST(PlatformTest, OpensOnlyRegularFilesAndNeverBlocks) {
    TempFolder root;
    root.writeFile("a.bmp", "12345");
    root.makeFolder("dir");
    ASSERT_EQ(mkfifo(root.path("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink(root.path("a.bmp"), root.path("link"));
    std::filesystem::create_symlink(root.path("gone"), root.path("dangling"));
    struct Case {
        const char* name;
        PathKind kind;
        const char* error; // "" when it opens
    };
    for (const Case& c :
         {Case{"a.bmp", PathKind::kRegular, ""}, Case{"link", PathKind::kRegular, ""},
          Case{"dir", PathKind::kFolder, "is a folder"},
          Case{"fifo", PathKind::kOther, "not a regular file"},
          Case{"dangling", PathKind::kMissing, "No such file or directory"},
          Case{"none", PathKind::kMissing, "No such file or directory"}}) {
        EXPECT_EQ(pathKind(root.path(c.name)), c.kind) << c.name;
        std::uint64_t size = 99;
        std::string error;
        std::FILE* file = openRegularFile(root.path(c.name), size, error);
        EXPECT_EQ(file != nullptr, *c.error == '\0') << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(size, file ? 5u : 0u) << c.name;
        if (file) {
            char bytes[8] = {};
            EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, file), 5u) << c.name;
            std::fclose(file);
        }
    }
}

} // namespace
