// The encoder's exact output: unit by unit and byte by byte on small images, the split of
// runs longer than the length field, refused sources and the destination size bound.
#include "codec/rle_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "codec/rle_decoder.h"
#include "codec_test_support.h"

namespace {

using codec_test::Units;

constexpr std::uint32_t X = 0xF800, Y = 0x07E0, Z = 0x001F;
constexpr std::uint32_t X32 = 0xFF102030, Y32 = 0x00405060, Z32 = 0x0070A0B0;

struct ExactCase {
    std::string name;
    int width, height, bitsPerPixel, rowMode;
    Units pixels;  // units of bitsPerPixel / 8 bytes
    Units payload; // expected units, padding left out
};

ExactCase exact(std::string name, int width, int height, int bitsPerPixel, int rowMode,
                Units pixels, Units payload) {
    return {std::move(name), width, height, bitsPerPixel, rowMode, pixels, payload};
}

class EncoderExactTest : public ::testing::TestWithParam<ExactCase> {};

TEST_P(EncoderExactTest, WritesEveryUnitAndByte) {
    const ExactCase& c = GetParam();
    const auto block = codec_test::makePri0Block(c.width, c.height, c.bitsPerPixel, c.pixels);
    const bool rle4 = c.rowMode != 0 && c.bitsPerPixel == 16;
    const auto expected =
        codec_test::makeBlob({rle4 ? kRle4Magic : kRle5Magic, c.width, c.height, c.bitsPerPixel},
                             c.payload, rle4 ? 2 : 4);
    EXPECT_EQ(codec_test::encodeGuarded(block, c.rowMode), expected);

    RleDecodeResult decoded;
    ASSERT_TRUE(decodeRleImage(expected, c.rowMode, decoded))
        << rleDecodeFailureText(decoded.failure);
    EXPECT_EQ(decoded.pri0Block, block);
    EXPECT_EQ(decoded.blobSize, expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Images, EncoderExactTest,
    ::testing::Values(
        // One run of each kind, with and without flags, in RLE4 and RLE5.
        exact("XXXYZ", 5, 1, 16, 1, {X, X, X, Y, Z}, {0x2003, X, 0xC002, Y, Z}),
        exact("TwoRows", 4, 2, 16, 1, {X, X, X, X, Y, Z, Y, Z}, {0x6004, X, 0xC004, Y, Z, Y, Z}),
        exact("LiteralBeforeRepeat", 5, 1, 16, 1, {X, X, Y, Y, Y}, {0x0002, X, X, 0xE003, Y}),
        exact("WorstCaseRow", 5, 1, 16, 1, {X, Y, Y, Y, Z}, {0x0001, X, 0x2003, Y, 0xC001, Z}),
        exact("Rle5Rows", 5, 1, 32, 1, {X32, X32, X32, Y32, Z32},
              {0x02000003, X32, 0x0C000002, Y32, Z32}),
        // Boundaries of a repeat run, and the flags over several rows.
        exact("OnePixel", 1, 1, 16, 1, {X}, {0xC001, X}),
        exact("EqualPairStaysLiteral", 2, 1, 16, 1, {X, X}, {0xC002, X, X}),
        exact("ThreeEqualRepeat", 3, 1, 16, 1, {X, X, X}, {0xE003, X}),
        exact("PairsStayOneLiteral", 6, 1, 16, 1, {X, X, Y, Y, Z, Z}, {0xC006, X, X, Y, Y, Z, Z}),
        exact("AdjacentRepeats", 6, 1, 16, 1, {X, X, X, Y, Y, Y}, {0x2003, X, 0xE003, Y}),
        exact("OneColourRunPerRow", 4, 3, 16, 1, Units(12, X), {0x6004, X, 0x6004, X, 0xE004, X}),
        exact("LastRowLiteralBeforeRepeat", 4, 2, 16, 1, {X, Y, X, Y, Z, X, X, X},
              {0x4004, X, Y, X, Y, 0x0001, Z, 0xE003, X}),
        exact("SinglesAndTriples", 9, 1, 16, 1, {X, Y, Y, Y, Z, Y, Y, Y, X},
              {0x0001, X, 0x2003, Y, 0x0001, Z, 0x2003, Y, 0xC001, X}),
        exact("Rle5TwoRows", 2, 2, 32, 1, {X32, Y32, Y32, Y32},
              {0x04000002, X32, Y32, 0x0C000002, Y32, Y32}),
        // Word mode: one sequence over the whole pixel area, rows ignored.
        exact("WordsSpanRows", 2, 2, 32, 0, Units(4, X32), {0x0E000004, X32}),
        exact("WordsOfOddPixelCount", 3, 1, 16, 0, {X, Y, Z}, {0x0C000002, X | Y << 16, Z}),
        exact("WordsOf24BitPixels", 3, 1, 24, 0, Units(3, 0x0A0B0C),
              {0x0C000003, 0x0C0A0B0C, 0x0B0C0A0B, 0x0000000A}),
        // No pixels: a header-only blob.
        exact("Width0", 0, 1, 16, 1, {}, {}), exact("Height0", 1, 0, 16, 1, {}, {}),
        exact("NegativeWidth", -3, 2, 16, 1, {}, {}), exact("NegativeHeight", 2, -1, 32, 1, {}, {}),
        exact("WordsOfNothing", 0, 0, 32, 0, {}, {}), exact("WordsNegative", -2, -2, 16, 0, {}, {}),
        exact("WordsNegativeDepth", 4, 4, -16, 0, {}, {})),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(EncoderTest, Rle4BlobByteByByte) {
    const auto block = codec_test::makePri0Block(5, 1, 16, {X, X, X, Y, Z});
    const std::vector<std::uint8_t> expected{
        0x52, 0x4C, 0x45, 0x34, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00,
        0x00, 0x00, 0x03, 0x20, 0x00, 0xF8, 0x02, 0xC0, 0xE0, 0x07, 0x1F, 0x00, 0x00, 0x00};
    std::vector<std::uint8_t> out(28);
    EXPECT_EQ(encodeRleImage(block.data(), out.data(), 1), 7);
    EXPECT_EQ(out, expected);
}

TEST(EncoderTest, RefusesWithoutTouchingTheDestination) {
    // encodeGuarded checks that a refusal writes nothing.
    auto notPri0 = codec_test::makePri0Block(2, 1, 16, {X, Y});
    notPri0[3] = '1';
    EXPECT_TRUE(codec_test::encodeGuarded(notPri0, 1).empty());
    EXPECT_TRUE(codec_test::encodeGuarded(notPri0, 0).empty());
    for (int bitsPerPixel : {24, 8, 0}) {
        const auto block = codec_test::makePri0Block(2, 1, bitsPerPixel, {});
        EXPECT_TRUE(codec_test::encodeGuarded(block, 1).empty()) << bitsPerPixel;
    }
    // Sizes whose unit count an int cannot hold; the pixels are never read.
    const auto huge = codec_test::makePri0Block(65536, 65536, 32, {});
    EXPECT_TRUE(codec_test::encodeGuarded(huge, 1).empty());
    EXPECT_TRUE(codec_test::encodeGuarded(huge, 0).empty());
    EXPECT_EQ(rleImageSizeBound(65536, 65536, 16, 1), 0u);
}

struct LimitCase {
    int width;
    bool alternating; // X Y X Y ... instead of all X
    Units controls;
};

class EncoderLimitTest : public ::testing::TestWithParam<LimitCase> {};

TEST_P(EncoderLimitTest, SplitsRunsAtTheLengthField) {
    const LimitCase& c = GetParam();
    Units pixels(static_cast<std::size_t>(c.width), X);
    for (std::size_t i = 1; c.alternating && i < pixels.size(); i += 2) {
        pixels[i] = Y;
    }
    const auto block = codec_test::makePri0Block(c.width, 1, 16, pixels);
    const auto blob = codec_test::encodeGuarded(block, 1);
    Units controls;
    for (const auto& run : codec_test::readRuns(blob)) {
        controls.push_back(run.length | (run.repeat ? 0x2000 : 0) | (run.rowEnd ? 0x4000 : 0) |
                           (run.imageEnd ? 0x8000 : 0));
    }
    EXPECT_EQ(controls, c.controls);
    RleDecodeResult decoded;
    ASSERT_TRUE(decodeRleImage(blob, 1, decoded));
    EXPECT_EQ(decoded.pri0Block, block);
}

INSTANTIATE_TEST_SUITE_P(
    Rle4, EncoderLimitTest,
    ::testing::Values(
        LimitCase{1, false, {0xC001}}, LimitCase{2, false, {0xC002}}, LimitCase{3, false, {0xE003}},
        LimitCase{4095, false, {0xEFFF}}, LimitCase{4096, false, {0x2FFD, 0xE003}},
        LimitCase{4097, false, {0x2FFE, 0xE003}}, LimitCase{4098, false, {0x2FFF, 0xE003}},
        LimitCase{8191, false, {0x2FFF, 0x2FFD, 0xE003}}, LimitCase{4095, true, {0xCFFF}},
        LimitCase{4096, true, {0x0FFF, 0xC001}}, LimitCase{8191, true, {0x0FFF, 0x0FFF, 0xC001}}),
    [](const auto& testInfo) {
        return (testInfo.param.alternating ? "Literal" : "Equal") +
               std::to_string(testInfo.param.width);
    });

TEST(EncoderTest, Rle5SplitsRepeatRunsAtItsLengthField) {
    const std::size_t count = 0xFFFFFF + 3;
    const std::vector<std::uint8_t> words(count * 4, 0x5A);
    std::vector<std::uint8_t> out(16);
    EXPECT_EQ(encodeRuns32(out.data(), words.data(), static_cast<int>(count), 1), 4);
    std::vector<std::uint8_t> expected;
    codec_test::appendUnits(expected, {0x02FFFFFF, 0x5A5A5A5A, 0x0E000003, 0x5A5A5A5A}, 4);
    EXPECT_EQ(out, expected);
}

TEST(EncoderTest, BoundIsReachedByRowsWithoutRepeats) {
    struct Shape {
        int width, height, bitsPerPixel, rowMode;
    };
    const Shape shapes[] = {{1, 1, 16, 1},    {2, 3, 16, 1}, {4095, 2, 16, 1}, {4096, 2, 16, 1},
                            {8191, 1, 16, 1}, {7, 3, 32, 1}, {5, 3, 16, 0},    {9000, 1, 32, 0}};
    for (const Shape& s : shapes) {
        Units pixels(static_cast<std::size_t>(s.width * s.height));
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<std::uint32_t>(i); // neighbours always differ
        }
        const auto block = codec_test::makePri0Block(s.width, s.height, s.bitsPerPixel, pixels);
        const auto blob = codec_test::encodeGuarded(block, s.rowMode);
        EXPECT_EQ(blob.size(), rleImageSizeBound(s.width, s.height, s.bitsPerPixel, s.rowMode))
            << s.width << "x" << s.height << " mode " << s.rowMode;
        if (s.bitsPerPixel == 16 && s.rowMode != 0) {
            EXPECT_LE(blob.size(), 4 * block.size());
        }
    }
}

} // namespace
