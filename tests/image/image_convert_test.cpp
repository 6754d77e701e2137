// Image files into records and groups (their order and names are pinned end to end by the
// packager's run table): the stored image forms, failures that stop a theme, conversions shared
// between themes, and files read head first, every limit checked on the headers before the pixel
// array is read or any buffer of the image's size is reserved, and a file cut anywhere refused.
#include "image/image_convert.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "common/name_field.h"
#include "examples/bmp_writer.h"
#include "image/bmp_reader.h"
#include "platform/files.h"
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
            out += ' ';
            out += nameFieldView(r->name.data(), kImageNameSize);
        }
    }
    return out;
}

class ImageRecordsTest : public testing::Test {
protected:
    ImageRecordsTest() {
        lists[0] = std::make_unique<ImageFileEntry>();
        lists[1] = std::make_unique<ImageFileEntry>();
    }
    /// Writes bytes to folder/file under the root and lists the file in theme 0, grouped by its
    /// folder's name.
    void add(const std::string& folder, const std::string& file,
             const Bytes& bytes = makeUiLikeBmp(4, 3, 1)) {
        root.writeBytes(folder + "/" + file, bytes);
        listFile(*lists[0], folder, folder.substr(folder.rfind('/') + 1), file);
    }
    void listFile(ImageFileEntry& list, const std::string& folder, const std::string& group,
                  const std::string& file) {
        auto entry = std::make_unique<ImageFileEntry>();
        entry->dirPath = root.path(folder);
        entry->groupName = group;
        entry->fileName = file;
        appendFileEntry(list, std::move(entry));
    }
    TempFolder root;
    PerTheme<std::unique_ptr<ImageFileEntry>> lists;
    ImageGroup table;
    ImageConverter converter;
    ImageFailure failure;
};

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

// The third of four images fails: the walk stops there, and on one thread the last file is never
// read, though the variant converts a file of its own afterwards. The variant shares theme 0's
// conversions and its remembered failure, though the files have changed on disk since.
TEST_F(ImageRecordsTest, AFailedImageStopsTheWalkAndEveryFileIsConvertedOnce) {
    Bytes noRows = makeUiLikeBmp(4, 3, 2);
    putU32Le(noRows, 22, 0); // height
    for (const std::string name : {"a.bmp", "b.bmp", "c.bmp", "d.bmp"}) {
        add("0", name, name == "c.bmp" ? noRows : makeUiLikeBmp(4, 3, 1));
        const bool own = name == "b.bmp";
        if (own) {
            root.writeBytes("1/" + name, makeUiLikeBmp(5, 3, 1));
        }
        listFile(*lists[1], own ? "1" : "0", "1", name);
    }
    planConversions(converter, lists, 0);
    planConversions(converter, lists, 1);
    finishPlanning(converter);
    ASSERT_EQ(converter.jobs.size(), 5u); // 0/a, 0/b, 0/c, 0/d, 1/b
    EXPECT_EQ(createImageRecords(*lists[0], table, 1, converter, failure), 0);
    EXPECT_EQ(filed(table), "1 groups; 0 (2): a.bmp b.bmp");
    EXPECT_EQ(failure.path, joinPath(root.path("0"), "c.bmp"));
    EXPECT_EQ(failure.result, ImageResult::kBadDimensions);

    root.writeBytes("0/a.bmp", makeUiLikeBmp(9, 9, 1));
    root.writeBytes("0/c.bmp", makeUiLikeBmp(4, 3, 1));
    ImageGroup variant;
    failure = {};
    EXPECT_EQ(createImageRecords(*lists[1], variant, 1, converter, failure), 0);
    EXPECT_EQ(failure.result, ImageResult::kBadDimensions);
    EXPECT_EQ(filed(variant), "1 groups; 1 (2): a.bmp b.bmp");
    EXPECT_EQ(variant.next->images->data, table.next->images->data);
    EXPECT_EQ(converter.jobs[4].done.load(), 1u);
    EXPECT_EQ(converter.jobs[3].done.load(), 0u) << "0/d.bmp was read";
}

// True once every job from first on is done, within a few seconds.
bool doneSoon(const ImageConverter& converter, std::size_t first) {
    for (int wait = 0; wait < 1000; ++wait) {
        bool done = true;
        for (std::size_t i = first; i < converter.jobs.size(); ++i) {
            done = done && converter.jobs[i].done.load() != 0;
        }
        if (done) {
            return true;
        }
        sleepMilliseconds(5);
    }
    return false;
}

// Workers start once theme 0 is planned and convert its files while a variant is still being
// listed: having run out of jobs, a worker waits for the variant's own file rather than stop, and
// stops when the planning is finished.
TEST_F(ImageRecordsTest, WorkersConvertTheJobsPlannedAfterTheyStarted) {
    for (const std::string name : {"a.bmp", "b.bmp"}) {
        add("0", name);
        listFile(*lists[1], name == "b.bmp" ? "1" : "0", "1", name);
    }
    root.writeBytes("1/b.bmp", makeUiLikeBmp(5, 3, 1));
    planConversions(converter, lists, 0);
    startConversionWorkers(converter, 2);
    ASSERT_EQ(converter.workers.size(), 1u);
    ASSERT_TRUE(doneSoon(converter, 0));
    planConversions(converter, lists, 1);
    finishPlanning(converter);
    ASSERT_EQ(converter.jobs.size(), 3u);
    EXPECT_TRUE(doneSoon(converter, 2)) << "the worker stopped before the variant was planned";
    ImageGroup variant;
    EXPECT_EQ(createImageRecords(*lists[0], table, 1, converter, failure), 1);
    EXPECT_EQ(createImageRecords(*lists[1], variant, 1, converter, failure), 1);
    EXPECT_EQ(variant.next->images->next->width, 5);
    stopConversionWorkers(converter);
}

Bytes convertedInMemory(const Bytes& file) {
    BmpLayout layout;
    EXPECT_EQ(readBmpLayout(file, layout), ImageResult::kOk);
    Bytes block(16 + layout.outputSize);
    writeImageHeader(block.data(), {kPri0Magic, layout.width, layout.height, 16});
    EXPECT_EQ(convertBmpPixels(file, layout, {block.data() + 16, layout.outputSize}), 1);
    return block;
}

// A picture with a padded last row and a palette picture with a gap before its pixels, cut at
// every length and read with heads that end inside the headers, the table and the pixels, and
// beyond the file. Only the complete pixel array converts, and nothing past it is read.
TEST(ImageFileTest, CutFilesAreRefusedAtEveryLengthWhateverTheHead) {
    TempFolder root;
    // Each with the padding its last row needs not have.
    const std::pair<Bytes, std::size_t> files[] = {
        {makeUiLikeBmp(9, 4, 3), 1},
        {makeBmp({.width = 5,
                  .height = 3,
                  .bitsPerPixel = 8,
                  .infoHeaderSize = 12,
                  .palette = {0x102030, 0xFFFFFF, 0x0000FF},
                  .gap = 7},
                 {0, 1, 2, 2, 1, 0, 0, 0, 1, 1, 2, 2, 0, 1, 2}),
         3},
    };
    for (const auto& [full, padding] : files) {
        const Bytes expected = convertedInMemory(full);
        const std::size_t needed = full.size() - padding;
        for (std::size_t length = 0; length <= full.size(); ++length) {
            root.writeBytes(
                "a.bmp", Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
            for (const std::size_t head : {std::size_t{70}, std::size_t{100}, kFileHeadBytes}) {
                ImageConverter converter;
                converter.headBytes = head;
                ImageRecord record;
                record.path = root.path("a.bmp");
                ImageFailure failure;
                const int converted = convertImage(record, 0, converter, failure);
                ASSERT_EQ(converted, length >= needed ? 1 : 0) << head << " head, " << length;
                if (converted == 1) {
                    EXPECT_EQ(Bytes(record.data.get(), record.data.get() + record.dataSize),
                              expected);
                    // The rows beyond the head are read a band at a time, none past needed.
                    EXPECT_EQ(converter.scratch.file.buffer.size, std::min(head, length));
                    EXPECT_LE(converter.scratch.band.size, needed);
                }
            }
        }
    }
}

struct LimitCase {
    const char* name;
    BmpForm form;
    std::uint64_t fileSize; // the file is the form's headers, then a hole up to this size
    ImageResult result;
};

// Files far larger than what is read, or headers that describe more than the file holds or the
// encoder can count: refused after reading the head alone, with no buffer of the image's size.
TEST(ImageFileTest, LimitsAreCheckedBeforeAnythingOfTheImagesSizeIsReadOrReserved) {
    const LimitCase cases[] = {
        {"TwoGigabytesOfZeros", {.width = 0}, std::uint64_t{2} << 30, ImageResult::kBadSignature},
        {"OneBitBeyondTheEncoder",
         {.width = 65535, .height = 32767, .bitsPerPixel = 1, .palette = {0, 0xFFFFFF}},
         62 + std::uint64_t{8192} * 32767,
         ImageResult::kTooLarge},
        {"LargePictureInASmallFile",
         {.width = 30000, .height = 30000},
         100,
         ImageResult::kTruncated},
    };
    TempFolder root;
    for (const LimitCase& c : cases) {
        Bytes headers;
        if (c.form.width > 0) {
            headers = makeBmp({.width = 1,
                               .height = 1,
                               .bitsPerPixel = c.form.bitsPerPixel,
                               .palette = c.form.palette},
                              {0});
            headers.resize(headers.size() - 4); // the one pixel row
            putU32Le(headers, 18, static_cast<std::uint32_t>(c.form.width));
            putU32Le(headers, 22, static_cast<std::uint32_t>(c.form.height));
        }
        root.writeBytes(c.name, headers);
        std::filesystem::resize_file(root.path(c.name), c.fileSize);
        ImageConverter converter;
        ImageRecord record;
        record.path = root.path(c.name);
        ImageFailure failure;
        EXPECT_EQ(convertImage(record, 1, converter, failure), 0) << c.name;
        EXPECT_EQ(failure.result, c.result) << c.name;
        EXPECT_LE(converter.scratch.file.buffer.capacity, kFileHeadBytes) << c.name;
        const ConversionScratch& scratch = converter.scratch;
        EXPECT_EQ(scratch.band.capacity + scratch.row.capacity + scratch.kept.capacity, 0u)
            << c.name;
    }
}

} // namespace
