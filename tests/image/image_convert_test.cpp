// Image records and groups: filing order, group names, the stored image forms, failures that
// stop a theme, and conversions shared between themes.
#include "image/image_convert.h"

#include <gtest/gtest.h>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "image/name_field.h"
#include "platform/platform.h"
#include "support/bmp_writer.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A list built by hand, so the cases do not depend on the folder scan's order.
struct ListBuilder {
    ImageFileEntry head;
    void add(const std::string& dirPath, const std::string& group, const std::string& file) {
        auto entry = std::make_unique<ImageFileEntry>();
        entry->dirPath = dirPath;
        entry->groupName = group;
        entry->fileName = file;
        appendFileEntry(head, std::move(entry));
    }
};

// (group, names of its records) for every group of a table.
using Filed = std::vector<std::pair<std::string, std::vector<std::string>>>;

Filed filed(const ImageGroup& table) {
    Filed out;
    std::uint32_t groups = 0;
    for (const ImageGroup* g = table.next.get(); g != nullptr; g = g->next.get(), ++groups) {
        std::vector<std::string> names;
        for (const ImageRecord* r = g->images.get(); r != nullptr; r = r->next.get()) {
            names.emplace_back(nameFieldView(r->name.data(), kImageNameSize));
        }
        EXPECT_EQ(names.size(), g->count);
        out.emplace_back(std::string(nameFieldView(g->name.data(), kGroupNameSize)), names);
    }
    EXPECT_EQ(groups, table.count);
    return out;
}

class ImageRecordsTest : public ::testing::Test {
protected:
    std::string image(const std::string& relative, int width = 4, int height = 3,
                      std::uint32_t seed = 1) {
        root.writeBytes(relative, makeUiLikeBmp(width, height, seed));
        return root.path(relative);
    }
    int create(const ListBuilder& list, int compress = 1) {
        return createImageRecords(list.head, table, compress, converter, failure);
    }
    TempFolder root;
    ImageGroup table;
    ImageConverter converter;
    ImageFailure failure;
};

TEST_F(ImageRecordsTest, GroupsStandInFirstOccurrenceOrderAndNamesCompareExactly) {
    const std::string longGroup(40, 'g');
    for (const char* file : {"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp", "f.bmp"}) {
        image(file);
    }
    ListBuilder list;
    list.add(root.path(), "0", "a.bmp");
    list.add(root.path(), "menu", "b.bmp");
    list.add(root.path(), "0", "c.bmp");
    list.add(root.path(), "Menu", "d.bmp");
    list.add(root.path(), longGroup, "e.bmp");
    list.add(root.path(), longGroup + "-differs-after-the-cut", "f.bmp");

    EXPECT_EQ(create(list), 1);
    const std::string cut(29, 'g');
    EXPECT_EQ(filed(table), (Filed{{"0", {"a.bmp", "c.bmp"}},
                                   {"menu", {"b.bmp"}},
                                   {"Menu", {"d.bmp"}},
                                   {cut, {"e.bmp", "f.bmp"}}}));
}

TEST_F(ImageRecordsTest, AFailedImageStopsTheWalkAndKeepsWhatWasFiledBefore) {
    image("a.bmp");
    Bytes noRows = makeUiLikeBmp(4, 3, 2);
    putU32Le(noRows, kBmpHeightField, 0);
    root.writeBytes("b.bmp", noRows);
    image("c.bmp");
    ListBuilder list;
    for (const char* file : {"a.bmp", "b.bmp", "c.bmp"}) {
        list.add(root.path(), "0", file);
    }

    EXPECT_EQ(create(list), 0);
    EXPECT_EQ(filed(table), (Filed{{"0", {"a.bmp"}}}));
    EXPECT_EQ(failure.path, joinPath(root.path(), "b.bmp"));
    EXPECT_EQ(failure.result, BmpResult::badDimensions);
    EXPECT_EQ(converter.done.count(joinPath(root.path(), "c.bmp")), 0u) << "c.bmp was read";
}

TEST_F(ImageRecordsTest, AnEmptyListFilesNothing) {
    ListBuilder list;
    EXPECT_EQ(create(list), 0);
    EXPECT_EQ(table.count, 0u);
    EXPECT_TRUE(failure.path.empty());
}

TEST_F(ImageRecordsTest, UncompressedRecordsHoldTheFlatPri0Block) {
    const std::string path = image("wide.bmp", 10, 4);
    ImageRecord record;
    record.path = path;
    BmpResult result = BmpResult::ok;
    ASSERT_EQ(convertImage(record, 0, converter, result), 1);

    EXPECT_EQ(record.width, 10);
    EXPECT_EQ(record.height, 4);
    EXPECT_EQ(record.dataSize, 96u);
    const ImageHeader header = readImageHeader(record.data.get());
    EXPECT_EQ(header.magic, kPri0Magic);
    EXPECT_EQ(header.width, 10);
    EXPECT_EQ(header.height, 4);
    EXPECT_EQ(header.bitsPerPixel, 16);
    const auto pixels = makeUiLikePixels(10, 4, 1);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint32_t rgb = pixels[i];
        const auto expected = static_cast<std::uint16_t>(
            ((rgb >> 16) & 0xF8) << 8 | ((rgb >> 8) & 0xFC) << 3 | (rgb & 0xFF) >> 3);
        ASSERT_EQ(loadU16Le(record.data.get() + 16 + 2 * i), expected) << "pixel " << i;
    }
}

TEST_F(ImageRecordsTest, CompressedRecordsHoldTheRle4ImageAtItsRealSize) {
    ImageRecord plain;
    plain.path = image("screen.bmp", 120, 90, 7);
    ImageRecord packed;
    packed.path = image("copy.bmp", 120, 90, 7);
    BmpResult result = BmpResult::ok;
    ASSERT_EQ(convertImage(plain, 0, converter, result), 1);
    ASSERT_EQ(convertImage(packed, 1, converter, result), 1);

    EXPECT_EQ(packed.dataSize % 4, 0u);
    EXPECT_LT(packed.dataSize, plain.dataSize);
    EXPECT_EQ(readImageHeader(packed.data.get()).magic, kRle4Magic);
    RleDecodeResult decoded;
    ASSERT_TRUE(decodeRleImage({packed.data.get(), packed.dataSize}, 1, decoded));
    EXPECT_EQ(decoded.blobSize, packed.dataSize);
    EXPECT_EQ(Bytes(decoded.pri0Block.begin() + 16, decoded.pri0Block.end()),
              Bytes(plain.data.get() + 16, plain.data.get() + plain.dataSize));
}

TEST_F(ImageRecordsTest, NamesKeepTheirFirstFiftyBytesAndPathsJoinFolderAndFile) {
    const std::string longName = std::string(56, 'n') + ".bmp";
    image(longName);
    ListBuilder list;
    list.add(root.path(), "0", longName);
    ASSERT_EQ(create(list), 1);

    const ImageRecord& record = *table.next->images;
    EXPECT_EQ(std::string(record.name.begin(), record.name.end()), longName.substr(0, 50));
    EXPECT_EQ(record.path, joinPath(root.path(), longName));
}

TEST_F(ImageRecordsTest, AFileNamedByTwoThemesIsConvertedOnceAndShared) {
    image("shared.bmp");
    ListBuilder list;
    list.add(root.path(), "0", "shared.bmp");
    list.add(root.path(), "0", "missing.bmp");
    ASSERT_EQ(create(list), 0);

    // The file changes on disk: a second theme still gets the first conversion, and the
    // remembered failure, exactly as if it had converted them itself at the same moment.
    image("shared.bmp", 9, 9);
    image("missing.bmp");
    ImageGroup variant;
    ImageFailure variantFailure;
    EXPECT_EQ(createImageRecords(list.head, variant, 1, converter, variantFailure), 0);
    EXPECT_EQ(variantFailure.result, BmpResult::cannotOpen);
    EXPECT_EQ(variant.next->images->data, table.next->images->data);
    EXPECT_EQ(variant.next->images->width, 4);
}

} // namespace
