// The decoder on malformed blobs: each defect gets its own reason, and no truncation or flipped
// bit makes it read outside the blob (AddressSanitizer watches the exact-size buffers).
#include "codec/rle_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "codec_test_support.h"

namespace {

using codec_test::Units;

constexpr std::uint32_t X = 0xF800, Y = 0x07E0;

using F = RleDecodeFailure;

struct FailureCase {
    std::string name;
    F failure;
    ImageHeader header;
    Units units;
    int rowMode;
    std::size_t cutBytes; // taken off the end of the blob
};

FailureCase fails(std::string name, F failure, ImageHeader header, Units units, int rowMode = 1,
                  std::size_t cutBytes = 0) {
    return {std::move(name), failure, header, std::move(units), rowMode, cutBytes};
}

class DecoderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DecoderFailureTest, NamesTheDefect) {
    const FailureCase& c = GetParam();
    auto blob = codec_test::makeBlob(c.header, c.units, c.header.magic == kRle4Magic ? 2 : 4);
    blob.resize(blob.size() - c.cutBytes);
    RleDecodeResult result;
    EXPECT_FALSE(decodeRleImage(blob, c.rowMode, result));
    EXPECT_EQ(result.failure, c.failure) << rleDecodeFailureText(result.failure);
    EXPECT_TRUE(result.pri0Block.empty());
}

constexpr ImageHeader kRle4x2{kRle4Magic, 4, 2, 16};
constexpr ImageHeader kRle5x2{kRle5Magic, 4, 2, 32};

INSTANTIATE_TEST_SUITE_P(
    Blobs, DecoderFailureTest,
    ::testing::Values(
        fails("ShortHeader", F::kTruncatedHeader, kRle4x2, {}, 1, 1),
        fails("BadMagic", F::kBadMagic, {kPri0Magic, 4, 2, 16}, {}),
        fails("Rle4Of32Bits", F::kBadBitsPerPixel, {kRle4Magic, 4, 2, 32}, {}),
        fails("TooLarge", F::kImageTooLarge, {kRle5Magic, 65535, 65535, 32}, {}),
        fails("HugeImageFewUnits", F::kTruncatedRuns, {kRle4Magic, 4000, 4000, 16}, {0x2003, X}),
        fails("NoRuns", F::kTruncatedRuns, kRle4x2, {}),
        fails("RunsStopEarly", F::kTruncatedRuns, kRle4x2, {0x6004, X, 0x0002, X, Y, 0x0001}),
        fails("LiteralDataCut", F::kTruncatedRuns, kRle4x2, {0x6004, X, 0xC004, X, Y, X}),
        fails("MissingPadding", F::kTruncatedRuns, {kRle4Magic, 2, 1, 16}, {0xC002, X, Y}, 1, 2),
        fails("Rle4Bit12", F::kReservedBits, kRle4x2, {0x7004, X, 0xE004, Y}),
        fails("Rle5Bit24", F::kReservedBits, kRle5x2, {0x07000004, X, 0x0E000004, Y}),
        fails("Rle5Bit31", F::kReservedBits, kRle5x2, {0x86000004, X, 0x0E000004, Y}),
        fails("ZeroLength", F::kZeroLength, kRle4x2, {0x6000, X, 0xE004, Y}),
        fails("RunPastRowEnd", F::kRunPastRowEnd, kRle4x2, {0x6005, X, 0xE003, Y}),
        fails("RunAcrossRows", F::kRunPastRowEnd, kRle4x2, {0x2003, X, 0x2002, Y}),
        fails("MissingRowEnd", F::kMissingRowEnd, kRle4x2, {0x2004, X, 0xE004, Y}),
        fails("EarlyRowEnd", F::kEarlyRowEnd, kRle4x2, {0x6003, X, 0x6001, Y, 0xE004, Y}),
        fails("MissingImageEnd", F::kMissingImageEnd, kRle4x2, {0x6004, X, 0x6004, Y}),
        fails("ImageEndOnFirstRow", F::kMisplacedImageEnd, kRle4x2, {0xE004, X, 0xE004, Y}),
        fails("ImageEndWithoutRowEnd", F::kMisplacedImageEnd, kRle4x2,
              {0x6004, X, 0xA002, Y, 0xE002, Y}),
        // Row-mode runs of 32-bit pixels read as word mode.
        fails("RowsReadAsWords", F::kEarlyRowEnd, kRle5x2, {0x06000004, X, 0x0E000004, Y}, 0)),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(DecoderTest, IgnoresSlotFillerAfterTheImage) {
    // The padding unit's value carries no meaning.
    auto blob = codec_test::makeBlob({kRle4Magic, 2, 1, 16}, {0xC002, X, Y, 0x1234}, 2);
    const std::size_t size = blob.size();
    blob.insert(blob.end(), 12, 'P');
    RleDecodeResult result;
    ASSERT_TRUE(decodeRleImage(blob, 1, result)) << rleDecodeFailureText(result.failure);
    EXPECT_EQ(result.blobSize, size);
    EXPECT_EQ(result.pri0Block, codec_test::makePri0Block(2, 1, 16, {X, Y}));
}

TEST(DecoderTest, SurvivesEveryTruncationAndBitFlip) {
    Units pixels;
    for (int i = 0; i < 40; ++i) {
        pixels.push_back(i % 7 < 4 ? X : static_cast<std::uint32_t>(i));
    }
    for (const auto& [bitsPerPixel, rowMode] : {std::pair{16, 1}, {32, 1}, {16, 0}}) {
        const auto blob = codec_test::encodeGuarded(
            codec_test::makePri0Block(8, 5, bitsPerPixel, pixels), rowMode);
        RleDecodeResult result;
        for (std::size_t size = 0; size < blob.size(); ++size) {
            const std::vector<std::uint8_t> cut(blob.begin(), blob.begin() + size);
            EXPECT_FALSE(decodeRleImage(cut, rowMode, result)) << size;
        }
        for (std::size_t bit = 0; bit < blob.size() * 8; ++bit) {
            auto flipped = blob;
            flipped[bit / 8] ^= static_cast<std::uint8_t>(1 << bit % 8);
            if (decodeRleImage(flipped, rowMode, result)) {
                const ImageHeader header = readImageHeader(flipped.data());
                EXPECT_EQ(result.pri0Block.size(), kImageHeaderSize + pixelAreaBytes(header));
            } else {
                EXPECT_NE(result.failure, RleDecodeFailure::kNone);
            }
        }
    }
}

} // namespace
