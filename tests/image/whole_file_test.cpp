// Whole-file reading: exact bytes, a buffer reused across files, folders and missing files.
#include <gtest/gtest.h>

#include "image/bmp_reader.h"
#include "support/temp_folder.h"

using namespace std::string_literals;

namespace {

std::vector<std::uint8_t> bytesOf(const FileBytes& file) {
    const auto view = file.view();
    return {view.begin(), view.end()};
}

TEST(WholeFileTest, ReusesItsBufferForSmallerFiles) {
    TempFolder root;
    root.writeFile("big.bmp", std::string(1000, 'x') + "end");
    root.writeFile("small.bmp", "BM\0\1"s);
    root.writeFile("empty.bmp", "");
    FileBytes file;
    ASSERT_EQ(readWholeFile(root.path("big.bmp"), file), BmpResult::ok);
    EXPECT_EQ(file.size, 1003u);
    const std::uint8_t* storage = file.storage.get();
    ASSERT_EQ(readWholeFile(root.path("small.bmp"), file), BmpResult::ok);
    EXPECT_EQ(bytesOf(file), (std::vector<std::uint8_t>{'B', 'M', 0, 1}));
    EXPECT_EQ(file.storage.get(), storage);
    ASSERT_EQ(readWholeFile(root.path("empty.bmp"), file), BmpResult::ok);
    EXPECT_EQ(file.size, 0u);
}

TEST(WholeFileTest, FoldersAndMissingFilesFailWithTheirReason) {
    TempFolder root;
    root.makeFolder("folder.bmp");
    root.writeFile("a.bmp", "abc");
    FileBytes file;
    ASSERT_EQ(readWholeFile(root.path("a.bmp"), file), BmpResult::ok);
    EXPECT_EQ(readWholeFile(root.path("folder.bmp"), file), BmpResult::isFolder);
    EXPECT_EQ(file.size, 0u);
    EXPECT_EQ(readWholeFile(root.path("missing.bmp"), file), BmpResult::cannotOpen);
    EXPECT_EQ(file.size, 0u);
}

} // namespace
