// Image records and groups: filing order, group names, the stored image forms, failures that
// stop a theme, and conversions shared between themes.
#include "image/image_convert.h"

#include <gtest/gtest.h>

#include "codec/rle_decoder.h"
#include "common/name_field.h"
#include "platform/platform.h"
#include "examples/bmp_writer.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

/// Every group of table as "name (count): record names", counts as the table holds them.
std::string filed(const ImageGroup& table) {
    std::string out = std::to_string(table.count) + " groups";
    for (const ImageGroup* g = table.next.get(); g != nullptr; g = g->next.get()) {
        out += "; " + std::string(nameFieldView(g->name.data(), kGroupNameSize)) + " (" +
               std::to_string(g->count) + "):";
        for (const ImageRecord* r = g->images.get(); r != nullptr; r = r->next.get()) {
            out += " " + std::string(nameFieldView(r->name.data(), kImageNameSize));
        }
    }
    return out;
}

class ImageRecordsTest : public testing::Test {
protected:
    /// Writes bytes to folder/file under the root and lists the file, grouped by its folder's name.
    void add(const std::string& folder, const std::string& file,
             const Bytes& bytes = makeUiLikeBmp(4, 3, 1)) {
        root.writeBytes(folder + "/" + file, bytes);
        auto entry = std::make_unique<ImageFileEntry>();
        entry->dirPath = root.path(folder);
        entry->groupName = folder.substr(folder.rfind('/') + 1);
        entry->fileName = file;
        appendFileEntry(list, std::move(entry));
    }
    TempFolder root;
    ImageFileEntry list;
    ImageGroup table;
    ImageConverter converter;
    ImageFailure failure;
};

TEST_F(ImageRecordsTest, GroupsStandInFirstOccurrenceOrderAndNamesCompareAsCut) {
    const std::string longName = std::string(56, 'n') + ".bmp";
    const std::string longGroup(40, 'g');
    add("0", "a.bmp");
    add("0/menu", "b.bmp");
    add("0", longName);
    add("0/Menu", "d.bmp");
    add("0/y/menu", "e.bmp");
    add("0/" + longGroup, "f.bmp");
    add("0/" + longGroup + "x", "g.bmp");
    ASSERT_EQ(createImageRecords(list, table, 1, converter, failure), 1);
    EXPECT_EQ(filed(table), "4 groups; 0 (2): a.bmp " + longName.substr(0, 50) +
                                "; menu (2): b.bmp e.bmp; Menu (1): d.bmp; " +
                                std::string(29, 'g') + " (2): f.bmp g.bmp");
}

TEST_F(ImageRecordsTest, RecordsHoldThePri0BlockOrItsRle4Encoding) {
    add("0", "wide.bmp", makeUiLikeBmp(10, 4, 1));
    const Bytes pri0 = uiLikePri0Block(10, 4, 1);
    ImageRecord plain;
    ImageRecord packed;
    plain.path = packed.path = joinPath(root.path("0"), "wide.bmp");
    ImageConverter other;
    ASSERT_EQ(convertImage(plain, 0, converter, failure), 1);
    ASSERT_EQ(convertImage(packed, 1, other, failure), 1);
    EXPECT_EQ(plain.dataSize, 96u);
    EXPECT_EQ(Bytes(plain.data.get(), plain.data.get() + plain.dataSize), pri0);

    EXPECT_EQ(packed.dataSize % 4, 0u);
    EXPECT_EQ(Bytes(packed.data.get(), packed.data.get() + 4), (Bytes{'R', 'L', 'E', '4'}));
    RleDecodeResult decoded;
    ASSERT_TRUE(decodeRleImage({packed.data.get(), packed.dataSize}, 1, decoded));
    EXPECT_EQ(decoded.blobSize, packed.dataSize);
    EXPECT_EQ(decoded.pri0Block, pri0);
}

// The second of three images fails: the walk stops there, the third file is never read. A second
// theme naming the same files gets the first conversion and the remembered failure, though the
// files have changed on disk since.
TEST_F(ImageRecordsTest, AFailedImageStopsTheWalkAndEveryFileIsConvertedOnce) {
    Bytes noRows = makeUiLikeBmp(4, 3, 2);
    putU32Le(noRows, 22, 0); // height
    add("0", "a.bmp");
    add("0", "b.bmp", noRows);
    add("0", "c.bmp");
    EXPECT_EQ(createImageRecords(list, table, 1, converter, failure), 0);
    EXPECT_EQ(filed(table), "1 groups; 0 (1): a.bmp");
    EXPECT_EQ(failure.path, joinPath(root.path("0"), "b.bmp"));
    EXPECT_EQ(failure.result, ImageResult::kBadDimensions);
    EXPECT_EQ(converter.convertedByPath.count(joinPath(root.path("0"), "c.bmp")), 0u)
        << "c.bmp was read";

    root.writeBytes("0/a.bmp", makeUiLikeBmp(9, 9, 1));
    root.writeBytes("0/b.bmp", makeUiLikeBmp(4, 3, 1));
    ImageGroup variant;
    failure = {};
    EXPECT_EQ(createImageRecords(list, variant, 1, converter, failure), 0);
    EXPECT_EQ(failure.result, ImageResult::kBadDimensions);
    EXPECT_EQ(variant.next->images->data, table.next->images->data);
}

} // namespace
