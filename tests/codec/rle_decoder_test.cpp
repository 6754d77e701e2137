// The decoder on malformed blobs: each defect gets its own reason, and no truncation or flipped
// bit makes it read outside the blob (AddressSanitizer watches the exact-size buffers).
#include "codec/rle_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "codec_test_support.h"

namespace {

using codec_test::Units;

constexpr std::uint32_t X = 0xF800, Y = 0x07E0;

struct FailureCase {
    std::string name;
    ImageHeader header;
    Units units;
    RleDecodeFailure failure;
    int rowMode = 1;
};

class DecoderFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(DecoderFailureTest, NamesTheDefect) {
    const FailureCase& c = GetParam();
    auto blob = codec_test::makeBlob(c.header, c.units, c.header.magic == kRle4Magic ? 2 : 4);
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
        FailureCase{"BadMagic", {kPri0Magic, 4, 2, 16}, {}, RleDecodeFailure::kBadMagic},
        FailureCase{"Rle4Of32Bits", {kRle4Magic, 4, 2, 32}, {}, RleDecodeFailure::kBadBitsPerPixel},
        FailureCase{
            "TooLarge", {kRle5Magic, 65535, 65535, 32}, {}, RleDecodeFailure::kImageTooLarge},
        FailureCase{"HugeImageFewUnits",
                    {kRle4Magic, 4000, 4000, 16},
                    {0x2003, X},
                    RleDecodeFailure::kTruncatedRuns},
        FailureCase{"NoRuns", kRle4x2, {}, RleDecodeFailure::kTruncatedRuns},
        FailureCase{"RunsStopEarly",
                    kRle4x2,
                    {0x6004, X, 0x0002, X, Y, 0x0001},
                    RleDecodeFailure::kTruncatedRuns},
        FailureCase{"LiteralDataCut",
                    kRle4x2,
                    {0x6004, X, 0xC004, X, Y, X},
                    RleDecodeFailure::kTruncatedRuns},
        FailureCase{"Rle4Bit12", kRle4x2, {0x7004, X, 0xE004, Y}, RleDecodeFailure::kReservedBits},
        FailureCase{
            "Rle5Bit24", kRle5x2, {0x07000004, X, 0x0E000004, Y}, RleDecodeFailure::kReservedBits},
        FailureCase{
            "Rle5Bit31", kRle5x2, {0x86000004, X, 0x0E000004, Y}, RleDecodeFailure::kReservedBits},
        FailureCase{"ZeroLength", kRle4x2, {0x6000, X, 0xE004, Y}, RleDecodeFailure::kZeroLength},
        FailureCase{
            "RunPastRowEnd", kRle4x2, {0x6005, X, 0xE003, Y}, RleDecodeFailure::kRunPastRowEnd},
        FailureCase{
            "RunAcrossRows", kRle4x2, {0x2003, X, 0x2002, Y}, RleDecodeFailure::kRunPastRowEnd},
        FailureCase{
            "MissingRowEnd", kRle4x2, {0x2004, X, 0xE004, Y}, RleDecodeFailure::kMissingRowEnd},
        FailureCase{"EarlyRowEnd",
                    kRle4x2,
                    {0x6003, X, 0x6001, Y, 0xE004, Y},
                    RleDecodeFailure::kEarlyRowEnd},
        FailureCase{
            "MissingImageEnd", kRle4x2, {0x6004, X, 0x6004, Y}, RleDecodeFailure::kMissingImageEnd},
        FailureCase{"ImageEndOnFirstRow",
                    kRle4x2,
                    {0xE004, X, 0xE004, Y},
                    RleDecodeFailure::kMisplacedImageEnd},
        FailureCase{"ImageEndWithoutRowEnd",
                    kRle4x2,
                    {0x6004, X, 0xA002, Y, 0xE002, Y},
                    RleDecodeFailure::kMisplacedImageEnd},
        FailureCase{"WordModeRowEndPerRow",
                    kRle5x2,
                    {0x06000004, X, 0x0E000004, Y},
                    RleDecodeFailure::kEarlyRowEnd,
                    0}),
    [](const auto& info) { return info.param.name; });

TEST(DecoderTest, ShortHeaderAndMissingPaddingAreTruncations) {
    RleDecodeResult result;
    const std::vector<std::uint8_t> header(15, 0);
    EXPECT_FALSE(decodeRleImage(header, 1, result));
    EXPECT_EQ(result.failure, RleDecodeFailure::kTruncatedHeader);

    auto blob = codec_test::makeBlob({kRle4Magic, 2, 1, 16}, {0xC002, X, Y}, 2);
    blob.resize(blob.size() - 2); // keeps the run, drops the padding unit
    EXPECT_FALSE(decodeRleImage(blob, 1, result));
    EXPECT_EQ(result.failure, RleDecodeFailure::kTruncatedRuns);
}

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

TEST(DecoderTest, Rle5Of32BitsFollowsTheGivenMode) {
    const auto block = codec_test::makePri0Block(2, 2, 32, {X, X, X, Y});
    for (int rowMode : {1, 0}) {
        const auto blob = codec_test::encodeGuarded(block, rowMode);
        RleDecodeResult result;
        ASSERT_TRUE(decodeRleImage(blob, rowMode, result));
        EXPECT_EQ(result.pri0Block, block);
        EXPECT_FALSE(decodeRleImage(blob, 1 - rowMode, result));
    }
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
