// BMP reader: pixel values, row layouts of every accepted form, refusals with their reasons, and
// broken files (truncated at every length, flipped header bytes) read without a stray access.
#include "image/bmp_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "image/rgb565_rows.h"
#include "support/bmp_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t fromBgr(std::uint32_t rgb) {
    const unsigned red = (rgb >> 16) & 0xFF;
    const unsigned green = (rgb >> 8) & 0xFF;
    const unsigned blue = rgb & 0xFF;
    return static_cast<std::uint16_t>((red >> 3) << 11 | (green >> 2) << 5 | blue >> 3);
}

std::uint16_t from555(std::uint32_t v) {
    return static_cast<std::uint16_t>(((v >> 10) & 31) << 11 | ((v >> 5) & 31) << 6 | (v & 31));
}

/// The expected output of a whole picture, computed pixel by pixel.
Bytes expectedPixels(const BmpForm& form, const std::vector<std::uint32_t>& pixels, bool as555) {
    Bytes out;
    for (const std::uint32_t v : pixels) {
        std::uint16_t p = 0;
        if (form.bitsPerPixel <= 8) {
            p = fromBgr(form.palette.at(v));
        } else if (form.bitsPerPixel == 16) {
            p = as555 ? from555(v) : static_cast<std::uint16_t>(v);
        } else {
            p = fromBgr(v);
        }
        out.push_back(static_cast<std::uint8_t>(p));
        out.push_back(static_cast<std::uint8_t>(p >> 8));
    }
    return out;
}

/// Converts through readBmpLayout into an output of exactly the announced size.
BmpResult convert(const Bytes& file, Bytes& out) {
    BmpLayout layout;
    const BmpResult result = readBmpLayout(file, layout);
    if (result == BmpResult::ok) {
        out.assign(layout.outputSize, 0xEE);
        EXPECT_EQ(convertBmpPixels(file, layout, out), 1);
    }
    return result;
}

std::vector<std::uint32_t> randomValues(std::size_t count, std::uint32_t limit, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> values(count);
    for (auto& v : values) {
        v = limit == 0 ? rng() : rng() % limit;
    }
    return values;
}

std::vector<std::uint32_t> paletteOf(std::size_t count) {
    return randomValues(count, 1u << 24, 7);
}

// Cases print as their names in test listings.
template <class Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

/// Names parameterised cases after their `name` field.
struct CaseName {
    template <class Case>
    std::string operator()(const testing::TestParamInfo<Case>& testCase) const {
        return testCase.param.name;
    }
};

// --- Single pixel values ---------------------------------------------------------------------

struct PixelCase {
    const char* name;
    std::uint16_t bits;
    std::uint32_t infoSize;
    std::uint32_t compression;
    std::array<std::uint32_t, 3> masks;
    bool masksAfterHeader;
    std::uint32_t source;
    std::uint16_t expected;
};

constexpr std::array<std::uint32_t, 3> k565Masks{0xF800, 0x07E0, 0x001F};
constexpr std::array<std::uint32_t, 3> k555Masks{0x7C00, 0x03E0, 0x001F};

class PixelValueTest : public testing::TestWithParam<PixelCase> {};

TEST_P(PixelValueTest, ConvertsToRgb565LittleEndian) {
    const PixelCase& c = GetParam();
    BmpForm form;
    form.width = 3; // a padded row
    form.height = 1;
    form.bitsPerPixel = c.bits;
    form.infoHeaderSize = c.infoSize;
    form.compression = c.compression;
    form.masks = c.masks;
    form.masksAfterHeader = c.masksAfterHeader;
    Bytes out;
    ASSERT_EQ(convert(makeBmp(form, {c.source, c.source, c.source}), out), BmpResult::ok);
    for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(out[2 * x] | out[2 * x + 1] << 8, c.expected) << "pixel " << x;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PixelValueTest,
    testing::Values(
        PixelCase{"Bgr24", 24, 40, 0, k565Masks, false, 0x563412, 0x51A2},
        PixelCase{"Bgr24White", 24, 40, 0, k565Masks, false, 0xFFFFFF, 0xFFFF},
        PixelCase{"Bgr24Blue", 24, 40, 0, k565Masks, false, 0x0000FF, 0x001F},
        PixelCase{"Bgrx32", 32, 40, 0, k565Masks, false, 0x00563412, 0x51A2},
        PixelCase{"Bgrx32FourthByteIgnored", 32, 40, 0, k565Masks, false, 0xFF563412, 0x51A2},
        PixelCase{"Rgb555White", 16, 40, 0, k565Masks, false, 0x7FFF, 0xFFDF},
        PixelCase{"Rgb555Red", 16, 40, 0, k565Masks, false, 0x7C00, 0xF800},
        PixelCase{"Rgb555Green", 16, 40, 0, k565Masks, false, 0x03E0, 0x07C0},
        PixelCase{"Rgb555Mixed", 16, 40, 0, k565Masks, false, 0x1234, 0x2454},
        PixelCase{"Rgb555TopBitIgnored", 16, 40, 0, k565Masks, false, 0x8000, 0x0000},
        PixelCase{"ShortFormIs555", 16, 12, 0, k565Masks, false, 0x7FFF, 0xFFDF},
        PixelCase{"Compressed565Red", 16, 40, 3, k565Masks, false, 0xF800, 0xF800},
        PixelCase{"Compressed565Green", 16, 40, 3, k565Masks, false, 0x07E0, 0x07E0},
        PixelCase{"Compressed565Mixed", 16, 40, 3, k565Masks, false, 0x1234, 0x1234},
        PixelCase{"MasksOf565In56", 16, 56, 3, k565Masks, false, 0x1234, 0x1234},
        PixelCase{"MasksOf555In56", 16, 56, 3, k555Masks, false, 0x1234, 0x2454},
        PixelCase{"MasksOf555After40", 16, 40, 3, k555Masks, true, 0x7FFF, 0xFFDF},
        PixelCase{
            "OtherMasksNotConsulted", 16, 40, 3, {0x7C00, 0x03E0, 0x001E}, true, 0x1234, 0x1234}),
    CaseName());

// --- Row layout ------------------------------------------------------------------------------

TEST(BmpLayoutTest, TwoByTwoRowsArePaddedAndStoredBottomUp) {
    BmpForm form;
    form.width = 2;
    form.height = 2;
    const Bytes file = makeBmp(form, {0xFFFFFF, 0xFFFFFF, 0x0000FF, 0x563412});
    // The file itself: 6 pixel bytes and 2 padding bytes per row, the bottom row first.
    ASSERT_EQ(file.size(), 54u + 16u);
    EXPECT_EQ(Bytes(file.begin() + 54, file.begin() + 60),
              (Bytes{0xFF, 0x00, 0x00, 0x12, 0x34, 0x56}));
    EXPECT_EQ(Bytes(file.begin() + 62, file.begin() + 68), Bytes(6, 0xFF));
    Bytes out;
    ASSERT_EQ(convert(file, out), BmpResult::ok);
    EXPECT_EQ(out, (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x1F, 0x00, 0xA2, 0x51}));
}

struct FormCase {
    const char* name;
    BmpForm form;
};

BmpForm formOf(std::uint16_t bits, std::uint32_t infoSize = 40) {
    BmpForm form;
    form.bitsPerPixel = bits;
    form.infoHeaderSize = infoSize;
    if (bits <= 8) {
        form.palette = paletteOf(std::size_t{1} << bits);
    }
    return form;
}

BmpForm with(BmpForm form, void (*change)(BmpForm&)) {
    change(form);
    return form;
}

class BmpFormTest : public testing::TestWithParam<FormCase> {};

// Widths from 1 to 40 cross every row padding and every tail of the wide row converters.
TEST_P(BmpFormTest, EveryPixelLandsInItsPlace) {
    for (int width = 1; width <= 40; ++width) {
        for (int height = 1; height <= 3; ++height) {
            BmpForm form = GetParam().form;
            form.width = width;
            form.height = height;
            const std::uint32_t limit = form.bitsPerPixel <= 8
                                            ? static_cast<std::uint32_t>(form.palette.size())
                                        : form.bitsPerPixel == 16 ? 0x10000
                                                                  : 0;
            const auto values = randomValues(static_cast<std::size_t>(width) * height, limit,
                                             static_cast<unsigned>(width * 7 + height));
            const bool as555 = form.compression == 0 || form.masks == k555Masks;
            Bytes out;
            ASSERT_EQ(convert(makeBmp(form, values), out), BmpResult::ok);
            ASSERT_EQ(out, expectedPixels(form, values, as555)) << width << " x " << height;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BmpFormTest,
    testing::Values(
        FormCase{"Bgr24", formOf(24)},
        FormCase{"Bgr24TopDown", with(formOf(24), [](BmpForm& f) { f.topDown = true; })},
        FormCase{"Bgr24Header56WithGap", with(formOf(24, 56), [](BmpForm& f) { f.gap = 13; })},
        FormCase{"Bgr24ShortForm", formOf(24, 12)}, FormCase{"Bgrx32", formOf(32)},
        FormCase{"Rgb555", formOf(16)},
        FormCase{"Rgb565TopDown", with(formOf(16),
                                       [](BmpForm& f) {
                                           f.compression = 3;
                                           f.masksAfterHeader = true;
                                           f.topDown = true;
                                       })},
        FormCase{"Rgb555Masks56", with(formOf(16, 56),
                                       [](BmpForm& f) {
                                           f.compression = 3;
                                           f.masks = k555Masks;
                                       })},
        FormCase{"Palette1", formOf(1)},
        FormCase{"Palette4TopDown", with(formOf(4), [](BmpForm& f) { f.topDown = true; })},
        FormCase{"Palette8", formOf(8)}, FormCase{"Palette1ShortForm", formOf(1, 12)},
        FormCase{"Palette8ShortFormWithGap", with(formOf(8, 12), [](BmpForm& f) { f.gap = 5; })},
        FormCase{"Palette4ColoursUsed", with(formOf(4),
                                             [](BmpForm& f) {
                                                 f.palette.resize(5);
                                                 f.coloursUsed = 5;
                                             })},
        FormCase{"Palette8TableCutByPixelArray",
                 with(formOf(8), [](BmpForm& f) { f.palette.resize(3); })}),
    CaseName());

// The fast 24-bit row path against the pixel-at-a-time one, on exactly sized rows so that any
// read past the row shows under AddressSanitizer.
TEST(Rgb565RowsTest, WideBgr24PathMatchesPlainLoop) {
    for (std::size_t width = 0; width <= 100; ++width) {
        const auto values = randomValues(3 * width, 256, static_cast<unsigned>(width));
        const Bytes source(values.begin(), values.end());
        Bytes fast(2 * width, 0xEE);
        Bytes plain(2 * width, 0xDD);
        convertRowBgr24(source.data(), fast.data(), width);
        convertRowBgr24Plain(source.data(), plain.data(), width);
        ASSERT_EQ(fast, plain) << "width " << width;
    }
}

// --- Refused files ---------------------------------------------------------------------------

struct Patch {
    std::size_t offset;
    std::uint32_t value;
};

struct RefusalCase {
    const char* name;
    std::uint16_t bits;
    std::uint32_t infoSize;
    std::vector<Patch> patches; // 32-bit values written over a valid 3 x 2 picture
    std::size_t cutBytes;       // then removed from the end
    BmpResult expected;
    bool headerAccepted;
};

class BmpRefusalTest : public testing::TestWithParam<RefusalCase> {};

TEST_P(BmpRefusalTest, FailsWithItsReason) {
    const RefusalCase& c = GetParam();
    BmpForm form = formOf(c.bits, c.infoSize);
    form.width = 3;
    form.height = 2;
    const std::uint32_t limit =
        c.bits <= 8 ? static_cast<std::uint32_t>(form.palette.size()) : 0x10000;
    Bytes file = makeBmp(form, randomValues(6, limit, 5));
    for (const Patch& patch : c.patches) {
        putU32Le(file, patch.offset, patch.value);
    }
    file.resize(file.size() - c.cutBytes);

    BmpLayout layout;
    EXPECT_EQ(readBmpLayout(file, layout), c.expected) << bmpResultText(c.expected);
    std::int32_t width = -5;
    std::int32_t height = -5;
    EXPECT_EQ(parseBmpHeader(file, width, height), c.headerAccepted ? 1 : 0);
    if (!c.headerAccepted) {
        EXPECT_EQ(width, -5); // nothing set
    }
    Bytes out(1 << 16, 0);
    EXPECT_EQ(convertBmpPixels(file, out), 0);
}

constexpr std::size_t kWidth = kBmpWidthField;
constexpr std::size_t kHeight = kBmpHeightField;
constexpr std::size_t kOffset = kBmpPixelOffsetField;
constexpr std::size_t kBits = kBmpBitsField;
using R = BmpResult;

INSTANTIATE_TEST_SUITE_P(
    Cases, BmpRefusalTest,
    testing::Values(
        // Header refused: parseBmpHeader fails too.
        RefusalCase{"OneByte", 24, 40, {}, 77, R::badSignature, false},
        RefusalCase{"SignatureB", 24, 40, {{0, 0x4D43}}, 0, R::badSignature, false},
        RefusalCase{"SignatureM", 24, 40, {{0, 0x4E42}}, 0, R::badSignature, false},
        RefusalCase{"CutInHeader", 24, 40, {}, 48, R::truncated, false},
        RefusalCase{"Header64", 24, 64, {}, 0, R::unsupportedHeaderSize, false},
        RefusalCase{"Header108", 24, 108, {}, 0, R::unsupportedHeaderSize, false},
        RefusalCase{"Header124", 24, 124, {}, 0, R::unsupportedHeaderSize, false},
        RefusalCase{"WidthZero", 24, 40, {{kWidth, 0}}, 0, R::badDimensions, false},
        RefusalCase{"WidthNegative", 24, 40, {{kWidth, 0xFFFFFFFD}}, 0, R::badDimensions, false},
        RefusalCase{"ShortWidthZero", 24, 12, {{kWidth, 0x00020000}}, 0, R::badDimensions, false},
        RefusalCase{"HeightMinimum", 24, 40, {{kHeight, 0x80000000}}, 0, R::badDimensions, false},
        // Header accepted, conversion refused.
        RefusalCase{"HeightZero", 24, 40, {{kHeight, 0}}, 0, R::badDimensions, true},
        RefusalCase{"OffsetInHeaders", 24, 40, {{kOffset, 53}}, 0, R::pixelOffsetInHeaders, true},
        RefusalCase{
            "OffsetInShortHeaders", 24, 12, {{kOffset, 25}}, 0, R::pixelOffsetInHeaders, true},
        RefusalCase{"Depth2", 24, 40, {{kBits, 2}}, 0, R::unsupportedDepth, true},
        RefusalCase{"Depth64", 24, 40, {{kBits, 64}}, 0, R::unsupportedDepth, true},
        RefusalCase{"Rle8", 8, 40, {{kBmpCompressionField, 1}}, 0, R::compressedPalette, true},
        RefusalCase{"Rle4", 4, 40, {{kBmpCompressionField, 2}}, 0, R::compressedPalette, true},
        RefusalCase{"IndexBeyondColoursUsed",
                    8,
                    40,
                    {{kBmpColoursUsedField, 1}},
                    0,
                    R::badPaletteIndex,
                    true},
        // The pixel array now starts after two table entries, which cuts the table there.
        RefusalCase{"IndexBeyondCutTable", 8, 40, {{kOffset, 62}}, 0, R::badPaletteIndex, true},
        // Three padding bytes and one pixel byte of the last row missing.
        RefusalCase{"LastRowShortOfPixels", 24, 40, {}, 4, R::truncated, true},
        RefusalCase{"PixelArrayBeyondFile", 24, 40, {{kOffset, 0xFFFFFFF0}}, 0, R::truncated, true},
        // Refused before anything is allocated, though the file is only 78 bytes long.
        RefusalCase{"TooLarge", 24, 40, {{kWidth, 40000}, {kHeight, 60000}}, 0, R::tooLarge, true},
        // 16 + 2 x width x 2 rows one past and right at the 32-bit limit.
        RefusalCase{"TooLargeByOneByte", 24, 40, {{kWidth, 1073741820}}, 0, R::tooLarge, true},
        RefusalCase{"LargestButTruncated", 24, 40, {{kWidth, 1073741819}}, 0, R::truncated, true}),
    CaseName());

TEST(BmpHeaderTest, TopDownHeightIsTheRowCount) {
    BmpForm form = formOf(24);
    form.width = 4;
    form.height = 3;
    form.topDown = true;
    std::int32_t width = 0;
    std::int32_t height = 0;
    ASSERT_EQ(parseBmpHeader(makeBmp(form, std::vector<std::uint32_t>(12)), width, height), 1);
    EXPECT_EQ(width, 4);
    EXPECT_EQ(height, 3);
}

TEST(BmpConvertTest, RefusesAnOutputSmallerThanThePicture) {
    const Bytes file = makeUiLikeBmp(5, 4, 1);
    Bytes out(39);
    EXPECT_EQ(convertBmpPixels(file, out), 0);
    out.resize(40);
    EXPECT_EQ(convertBmpPixels(file, out), 1);
}

TEST(BmpResultTest, EveryReasonHasItsOwnText) {
    std::set<std::string> texts;
    for (int r = 0; r <= static_cast<int>(BmpResult::tooLarge); ++r) {
        texts.insert(bmpResultText(static_cast<BmpResult>(r)));
    }
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(BmpResult::tooLarge) + 1);
}

// --- Broken files ----------------------------------------------------------------------------

std::vector<FormCase> brokenFileForms() {
    BmpForm palette = formOf(8);
    palette.coloursUsed = 200;
    palette.palette.resize(200);
    palette.gap = 3;
    BmpForm masks = formOf(16);
    masks.compression = 3;
    masks.masksAfterHeader = true;
    masks.masks = k555Masks;
    return {{"Bgr24", formOf(24)},
            {"Palette8", palette},
            {"Rgb565Masks", masks},
            {"Palette1Short", formOf(1, 12)},
            {"Bgrx32TopDown", with(formOf(32), [](BmpForm& f) { f.topDown = true; })}};
}

Bytes brokenFileBase(BmpForm form) {
    form.width = 5;
    form.height = 3;
    const std::uint32_t limit =
        form.bitsPerPixel <= 8 ? static_cast<std::uint32_t>(form.palette.size()) : 0x10000;
    return makeBmp(form, randomValues(15, limit, 3));
}

class BrokenFileTest : public testing::TestWithParam<FormCase> {};

// Only the last row's padding may be missing; every shorter file is refused. Each cut is copied
// into a buffer of its own size so that a read past it shows under AddressSanitizer.
TEST_P(BrokenFileTest, TruncatedAtEveryLength) {
    const Bytes full = brokenFileBase(GetParam().form);
    Bytes whole;
    ASSERT_EQ(convert(full, whole), BmpResult::ok);
    BmpLayout layout;
    ASSERT_EQ(readBmpLayout(full, layout), BmpResult::ok);
    const std::size_t lastRowPadding =
        layout.stride - (static_cast<std::size_t>(layout.width) * layout.bitsPerPixel + 7) / 8;
    for (std::size_t length = 0; length < full.size(); ++length) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
        Bytes out;
        const BmpResult result = convert(cut, out);
        if (length >= full.size() - lastRowPadding) {
            ASSERT_EQ(result, BmpResult::ok) << length;
            ASSERT_EQ(out, whole);
        } else {
            ASSERT_NE(result, BmpResult::ok) << length;
        }
    }
}

// Every header, colour table and mask byte set to telling values: never a crash, and whatever
// readBmpLayout accepts converts and agrees with parseBmpHeader.
TEST_P(BrokenFileTest, FlippedHeaderBytes) {
    const Bytes full = brokenFileBase(GetParam().form);
    BmpLayout layout;
    ASSERT_EQ(readBmpLayout(full, layout), BmpResult::ok);
    for (std::size_t i = 0; i < layout.pixelOffset; ++i) {
        for (const int value : {0x00, 0x01, 0x7F, 0x80, 0xFF, full[i] ^ 0x01}) {
            Bytes file = full;
            file[i] = static_cast<std::uint8_t>(value);
            Bytes out;
            if (convert(file, out) == BmpResult::ok) {
                std::int32_t width = 0;
                std::int32_t height = 0;
                ASSERT_EQ(parseBmpHeader(file, width, height), 1);
                ASSERT_EQ(out.size(), 2 * static_cast<std::size_t>(width) * height);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, BrokenFileTest, testing::ValuesIn(brokenFileForms()), CaseName());

} // namespace
