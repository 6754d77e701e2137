// BMP reader: pixel values, row layouts of every accepted form, and refusals with their reasons.
#include "image/bmp_reader.h"

#include <gtest/gtest.h>

#include "common/byte_order.h"
#include "support/sample_forms.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Values = std::vector<std::uint32_t>;

// Known values of the rules that the forms' test below checks against the writer's own RGB565
// conversion, in one padded row; it checks the 5-5-5 rule against a model of its own.
TEST(BmpReaderTest, ConvertsPixelValuesToRgb565) {
    const std::tuple<std::uint16_t, std::uint32_t, Values, Values> cases[] = {
        {24, 0, {0x563412, 0xFFFFFF, 0x0000FF}, {0x51A2, 0xFFFF, 0x001F}},
        {32, 0, {0xFF563412, 0x7FFFFFFF, 0x000000FF}, {0x51A2, 0xFFFF, 0x001F}},
        {16, 3, {0xF800, 0x07E0, 0x1234}, {0xF800, 0x07E0, 0x1234}},
    };
    for (const auto& [bits, compression, source, expected] : cases) {
        const auto width = static_cast<std::int32_t>(source.size());
        const BmpForm form{.width = width, .bitsPerPixel = bits, .compression = compression};
        Bytes out(2 * source.size());
        ASSERT_EQ(convertBmpPixels(makeBmp(form, source), out), 1);
        for (std::size_t i = 0; i < source.size(); ++i) {
            EXPECT_EQ(loadU16Le(&out[2 * i]), expected[i]) << bits << " bits, " << i;
        }
    }
}

class BmpFormTest : public testing::TestWithParam<std::size_t> {};

// Widths 1 to 40 cross every row padding and every tail of the wide row converters, into an
// output exactly as large as the rows. (Copies cut short or with changed bytes are the
// bmp_round_trip fuzz target's business: it starts from one file of each form.)
TEST_P(BmpFormTest, ConvertsEveryPixelOfEveryWidth) {
    for (int width = 1; width <= 40; ++width) {
        for (int height = 1; height <= 3; ++height) {
            const auto [file, pixels] = sample(kSampleForms[GetParam()].second, width, height);
            Bytes out(pixels.size());
            ASSERT_EQ(convertBmpPixels(file, {out.data(), out.size() - 1}), 0) << "too small";
            ASSERT_EQ(convertBmpPixels(file, out), 1) << width << " x " << height;
            ASSERT_EQ(out, pixels) << width << " x " << height;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, BmpFormTest, testing::Range<std::size_t>(0, kSampleForms.size()),
                         [](const auto& c) { return std::string(kSampleForms[c.param].first); });

TEST(BmpReaderTest, RefusalsCarryTheirReason) {
    using R = ImageResult;
    const BmpForm palette{.bitsPerPixel = 8, .palette = samplePalette(256)};
    const std::size_t unread = 6; // reserved bytes
    // A 32-bit value written at an offset of a 3 x 2 sample, the reason, and whether
    // parseBmpHeader still accepts the file.
    const std::tuple<const char*, BmpForm, std::size_t, std::uint32_t, R, bool> cases[] = {
        {"SignatureB", {}, 0, 0x4D43, R::kBadSignature, false},
        {"SignatureM", {}, 0, 0x4E42, R::kBadSignature, false},
        {"Header64", {.infoHeaderSize = 64}, unread, 0, R::kUnsupportedHeaderSize, false},
        {"Header108", {.infoHeaderSize = 108}, unread, 0, R::kUnsupportedHeaderSize, false},
        {"Header124", {.infoHeaderSize = 124}, unread, 0, R::kUnsupportedHeaderSize, false},
        {"WidthZero", {}, 18, 0, R::kBadDimensions, false},
        {"WidthNegative", {}, 18, 0xFFFFFFFD, R::kBadDimensions, false},
        {"ShortWidthZero", {.infoHeaderSize = 12}, 18, 0x20000, R::kBadDimensions, false},
        {"HeightMinimum", {}, 22, 0x80000000, R::kBadDimensions, false},
        {"HeightZero", {}, 22, 0, R::kBadDimensions, true},
        {"OffsetInHeaders", {}, 10, 53, R::kPixelOffsetInHeaders, true},
        {"Depth2", {}, 28, 2, R::kUnsupportedDepth, true},
        {"Rle8", palette, 30, 1, R::kCompressedPalette, true},
        {"IndexBeyondColoursUsed", palette, 46, 1, R::kBadPaletteIndex, true},
        // The pixel array now starts after two table entries, which cuts the table there.
        {"IndexBeyondCutTable", palette, 10, 62, R::kBadPaletteIndex, true},
        {"PixelArrayBeyondFile", {}, 10, 0xFFFFFFF0, R::kTruncated, true},
        // 16 + 2 x width x 2 rows one past and right at the 32-bit limit.
        {"TooLargeByOneByte", {}, 18, 1073741820, R::kTooLarge, true},
        {"LargestButTruncated", {}, 18, 1073741819, R::kTruncated, true},
    };
    for (const auto& [name, form, offset, value, expected, headerAccepted] : cases) {
        Bytes file = sample(form, 3, 2).first;
        putU32Le(file, offset, value);
        BmpLayout layout;
        EXPECT_EQ(readBmpLayout(file, layout), expected) << name;
        std::int32_t width = -5, height = -5;
        EXPECT_EQ(parseBmpHeader(file, width, height), headerAccepted ? 1 : 0) << name;
        EXPECT_TRUE(headerAccepted || width == -5) << name << ": width set";
    }
}

} // namespace
