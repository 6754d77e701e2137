// Theme folder discovery, the base theme's folder scan and the variant lists derived from it.
#include "source/file_list.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "source/theme_folders.h"
#include "support/temp_folder.h"

namespace {

// (folder relative to the root, group, file) of every entry, in list order.
using Listed = std::vector<std::tuple<std::string, std::string, std::string>>;

Listed listed(const ImageFileEntry& head, const std::string& root) {
    Listed out;
    std::int32_t seen = 0;
    for (const ImageFileEntry* e = head.next.get(); e != nullptr; e = e->next.get(), ++seen) {
        EXPECT_EQ(e->dirPath.compare(0, root.size(), root), 0) << e->dirPath;
        out.emplace_back(e->dirPath.substr(root.size() + 1), e->groupName, e->fileName);
    }
    EXPECT_EQ(seen, head.count);
    return out;
}

std::string p(std::initializer_list<const char*> parts) {
    std::string path;
    for (const char* part : parts) {
        path = path.empty() ? part : joinPath(path, part);
    }
    return path;
}

TEST(ThemeFoldersTest, CountsFoldersOnlyAndRestoresTheRootFolder) {
    TempFolder root;
    for (const char* n : {"0", "3", "7"}) {
        root.makeFolder(n);
    }
    root.writeFile("5", "a plain file is no theme");
    root.makeFolder("10");

    ThemeFlags present{};
    EXPECT_EQ(discoverThemeFolders(root.path(), present), 3);
    EXPECT_EQ(present, (ThemeFlags{1, 0, 0, 1, 0, 0, 0, 1, 0, 0}));
    std::string current;
    ASSERT_TRUE(getCurrentFolder(current));
    EXPECT_TRUE(std::filesystem::equivalent(current, root.path()));
}

TEST(FileListTest, ScanIsDepthFirstInNameOrderWithTheFolderNameAsGroup) {
    TempFolder root;
    root.writeFile("0/a.bmp", "");
    root.writeFile("0/menu/b.bmp", "");
    root.writeFile("0/menu/sub/c.bmp", "");
    root.writeFile("0/menu/z.bmp", "");
    root.writeFile("0/x/icon.bmp", "");
    root.writeFile("0/y/x/other.bmp", "");
    root.writeFile("0/photo.BMP", "");
    root.writeFile("0/readme.txt", "");
    root.writeFile("0/ab.bmp", "");
    root.writeFile("0/abmp", "");
    root.writeFile("0/mp", "");

    ImageFileEntry head;
    EXPECT_EQ(listBaseTheme(head, root.path(), 0), 1);
    EXPECT_EQ(head.dirPath, joinPath(root.path(), "0"));
    EXPECT_EQ(head.groupName, "0");
    EXPECT_EQ(listed(head, root.path()), (Listed{
                                             {"0", "0", "a.bmp"},
                                             {"0", "0", "ab.bmp"},
                                             {"0", "0", "abmp"},
                                             {p({"0", "menu"}), "menu", "b.bmp"},
                                             {p({"0", "menu", "sub"}), "sub", "c.bmp"},
                                             {p({"0", "menu"}), "menu", "z.bmp"},
                                             {p({"0", "x"}), "x", "icon.bmp"},
                                             {p({"0", "y", "x"}), "x", "other.bmp"},
                                         }));

    EXPECT_EQ(freeFileList(head), 1);
    EXPECT_EQ(head.next, nullptr);
    EXPECT_EQ(head.count, 8);
}

TEST(FileListTest, EmptyOrMissingThemeFolderGivesAnEmptyList) {
    TempFolder root;
    root.makeFolder("0");
    ImageFileEntry head;
    EXPECT_EQ(listBaseTheme(head, root.path(), 0), 1);
    EXPECT_EQ(head.count, 0);
    EXPECT_EQ(head.next, nullptr);

    ImageFileEntry missing;
    EXPECT_EQ(listBaseTheme(missing, root.path(), 4), 0);
    EXPECT_EQ(missing.count, 0);
}

TEST(FileListTest, LongListsAppendInOrderAndTearDownWithoutRecursion) {
    ImageFileEntry head;
    constexpr int kEntries = 200000;
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

class VariantListTest : public ::testing::Test {
protected:
    void SetUp() override {
        root.writeFile("0/a.bmp", "");
        root.writeFile("0/menu/b.bmp", "");
        root.writeFile("0/menu/0/c.bmp", "");
        root.writeFile("0/d.bmp", "");
        listBaseTheme(base, root.path(), 0);
    }
    Listed variant(int n) {
        ImageFileEntry head;
        EXPECT_EQ(listVariantTheme(head, root.path(), n, base), 1);
        EXPECT_EQ(head.dirPath, joinPath(root.path(), std::to_string(n)));
        EXPECT_EQ(head.groupName, std::to_string(n));
        return listed(head, root.path());
    }
    TempFolder root;
    ImageFileEntry base;
};

TEST_F(VariantListTest, TakesTheVariantsFileWhereItHasOneAndTheBaseFileElsewhere) {
    root.writeFile("2/menu/b.bmp", "");
    root.writeFile("2/menu/0/c.bmp", "");
    root.writeFile("2/menu/2/c.bmp", ""); // only the theme digit changes, not a later 0
    root.writeFile("2/new.bmp", "");      // no base counterpart: ignored
    root.makeFolder("2/d.bmp");           // a folder is not the file
    EXPECT_EQ(variant(2), (Listed{
                              {"0", "0", "a.bmp"},
                              {"0", "0", "d.bmp"},
                              {p({"2", "menu", "0"}), "0", "c.bmp"},
                              {p({"2", "menu"}), "menu", "b.bmp"},
                          }));
}

TEST_F(VariantListTest, AVariantWithoutOverridesPointsEveryEntryAtTheBase) {
    root.makeFolder("9");
    EXPECT_EQ(variant(9), listed(base, root.path()));
}

TEST(VariantListEmptyTest, AnEmptyBaseListGivesAnEmptyVariantList) {
    TempFolder root;
    root.writeFile("1/a.bmp", "");
    ImageFileEntry base;
    ImageFileEntry head;
    EXPECT_EQ(listVariantTheme(head, root.path(), 1, base), 1);
    EXPECT_EQ(head.count, 0);
    EXPECT_EQ(head.next, nullptr);
}

} // namespace
