// Reading image files head first: every limit is checked on the headers before the pixel array
// is read or any buffer of the image's size is reserved, and a file cut anywhere is refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "codec/image_format.h"
#include "image/bmp_reader.h"
#include "image/image_convert.h"
#include "examples/bmp_writer.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

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
            root.writeBytes("a.bmp", Bytes(full.begin(), full.begin() + length));
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
                    EXPECT_EQ(converter.file.buffer.size, head < length ? needed : length);
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
        EXPECT_LE(converter.file.buffer.capacity, kFileHeadBytes) << c.name;
        EXPECT_EQ(converter.flatBlock.capacity + converter.encoded.capacity, 0u) << c.name;
    }
}

} // namespace
