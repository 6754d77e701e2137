// The RLE encoder and decoder: exact output unit by unit on small images and at the run limits,
// refused sources, random images of every form, malformed blobs, blobs cut at every length and
// with every bit flipped, and images too large to decode.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "codec/rle_encoder.h"

namespace {

using F = RleDecodeFailure;
using Bytes = std::vector<std::uint8_t>;
using Units = std::vector<std::uint32_t>;

constexpr std::uint32_t X = 0xF800, Y = 0x07E0, Z = 0x001F;
constexpr std::uint32_t X32 = 0xFF102030, Y32 = 0x00405060, Z32 = 0x0070A0B0;

// The header fields, then values, as little-endian units of unitBytes bytes; an odd RLE4 count
// gets the zero padding unit.
Bytes makeBlob(const ImageHeader& h, Units values, std::size_t unitBytes) {
    if (h.magic == kRle4Magic && values.size() % 2 != 0) {
        values.push_back(0);
    }
    Bytes blob;
    const auto put = [&blob](auto value, std::size_t bytes) {
        for (std::size_t b = 0; b < bytes; ++b) {
            blob.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * b)));
        }
    };
    put(h.magic, 4), put(h.width, 4), put(h.height, 4), put(h.bitsPerPixel, 4);
    for (std::uint32_t value : values) {
        put(value, unitBytes);
    }
    return blob;
}

Bytes makePri0Block(int width, int height, int bitsPerPixel, const Units& pixels) {
    return makeBlob({kPri0Magic, width, height, bitsPerPixel}, pixels,
                    static_cast<std::size_t>(bitsPerPixel) / 8);
}

// Encodes into a buffer of rleImageSizeBound bytes plus guard bytes and checks that nothing was
// written past the result. Returns the blob, or nothing when the encoder refused.
Bytes encodeGuarded(const Bytes& block, int rowMode) {
    const ImageHeader header = readImageHeader(block.data());
    const std::size_t bound =
        rleImageSizeBound(header.width, header.height, header.bitsPerPixel, rowMode);
    Bytes out(bound + 64, 0xA5);
    const int words = encodeRleImage(block.data(), out.data(), rowMode);
    const std::size_t size = words < 0 ? 0 : static_cast<std::size_t>(words) * 4;
    EXPECT_LE(size, bound);
    const auto end = out.begin() + static_cast<std::ptrdiff_t>(std::min(size, out.size()));
    EXPECT_EQ(std::count(end, out.end(), 0xA5), out.end() - end) << "written past the result";
    out.resize(size);
    return out;
}

struct Exact {
    const char* name;
    int width, height;
    Units pixels;  // units of bitsPerPixel / 8 bytes
    Units payload; // expected units, padding left out
    int bitsPerPixel = 16, rowMode = 1;
};

class EncoderExactTest : public ::testing::TestWithParam<Exact> {};

TEST_P(EncoderExactTest, WritesEveryUnitAndByte) {
    const Exact& c = GetParam();
    const Bytes block = makePri0Block(c.width, c.height, c.bitsPerPixel, c.pixels);
    const bool rle4 = c.rowMode != 0 && c.bitsPerPixel == 16;
    const Bytes expected =
        makeBlob({rle4 ? kRle4Magic : kRle5Magic, c.width, c.height, c.bitsPerPixel}, c.payload,
                 rle4 ? 2 : 4);
    EXPECT_EQ(encodeGuarded(block, c.rowMode), expected);
}

const std::vector<Exact> kExact = {
    {"XXXYZ", 5, 1, {X, X, X, Y, Z}, {0x2003, X, 0xC002, Y, Z}},
    {"TwoRows", 4, 2, {X, X, X, X, Y, Z, Y, Z}, {0x6004, X, 0xC004, Y, Z, Y, Z}},
    {"LiteralBeforeRepeat", 5, 1, {X, X, Y, Y, Y}, {0x0002, X, X, 0xE003, Y}},
    {"WorstCaseRow", 5, 1, {X, Y, Y, Y, Z}, {0x0001, X, 0x2003, Y, 0xC001, Z}},
    {"Rle5Rows", 5, 1, {X32, X32, X32, Y32, Z32}, {0x02000003, X32, 0x0C000002, Y32, Z32}, 32},
    // Run limits: a cut repeat run's last piece keeps 3 pixels (random images cut literal runs).
    {"Equal1", 1, 1, {X}, {0xC001, X}},
    {"Equal2", 2, 1, {X, X}, {0xC002, X, X}},
    {"Equal3", 3, 1, {X, X, X}, {0xE003, X}},
    {"Equal4095", 4095, 1, Units(4095, X), {0xEFFF, X}},
    {"Equal4096", 4096, 1, Units(4096, X), {0x2FFD, X, 0xE003, X}},
    {"Equal8191", 8191, 1, Units(8191, X), {0x2FFF, X, 0x2FFD, X, 0xE003, X}},
    // Word mode: the pixel area's words, the last one zero-filled.
    {"WordsOf24Bits", 3, 1, Units(3, 0x0A0B0C), {0x0C000003, 0x0C0A0B0C, 0x0B0C0A0B, 0x0A}, 24, 0},
};

INSTANTIATE_TEST_SUITE_P(Images, EncoderExactTest, ::testing::ValuesIn(kExact),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(EncoderTest, RefusesWithoutTouchingTheDestination) {
    Bytes notPri0 = makePri0Block(2, 1, 16, {X, Y});
    notPri0[3] = '1';
    const Bytes huge = makePri0Block(65536, 65536, 32, {}); // units beyond an int; never read
    for (int rowMode : {0, 1}) {
        EXPECT_TRUE(encodeGuarded(notPri0, rowMode).empty());
        EXPECT_TRUE(encodeGuarded(huge, rowMode).empty());
    }
    EXPECT_TRUE(encodeGuarded(makePri0Block(2, 1, 24, {}), 1).empty());
}

// Stretches of 1 to 5000 pixels, each one of three values or a ramp whose neighbours all differ:
// every run length, literal runs longer than the length field, and every short pattern turn up.
Units randomPixels(std::mt19937& rng, std::size_t count, std::uint32_t mask) {
    const std::uint32_t seed = static_cast<std::uint32_t>(rng());
    const int longest[] = {3, 20, 500, 5000};
    Units pixels;
    while (pixels.size() < count) {
        const int reach = longest[std::discrete_distribution<int>({50, 30, 15, 5})(rng)];
        const std::size_t length = std::uniform_int_distribution<std::size_t>(1, reach)(rng);
        const auto value = static_cast<std::uint32_t>(seed * (1 + rng() % 3));
        const auto step = static_cast<std::uint32_t>(rng() % 2);
        for (std::uint32_t i = 0; i < length && pixels.size() < count; ++i) {
            pixels.push_back((value + i * step) & mask);
        }
    }
    return pixels;
}

// The little-endian units after the header, a partial last one zero-filled as word mode reads it.
Units unitsOf(const Bytes& bytes, std::size_t unitBytes) {
    Units units((bytes.size() - kImageHeaderSize + unitBytes - 1) / unitBytes);
    for (std::size_t i = 0; i + kImageHeaderSize < bytes.size(); ++i) {
        units[i / unitBytes] |= std::uint32_t{bytes[kImageHeaderSize + i]} << (8 * (i % unitBytes));
    }
    return units;
}

// What decoding cannot see, for runs that decode to pixels in rows of rowLength: repeat runs
// are maximal and hold 3 or more pixels, literal runs hold no three equal pixels, runs of one
// kind follow one another only where the length field cut them, and no row takes more units
// than its pixels plus one control unit per started block of the longest run.
void checkRuns(const Units& runs, const Units& pixels, std::size_t rowLength, const RunFormat& f) {
    std::vector<bool> inRepeat(pixels.size());
    std::size_t next = 0, rowUnits = 0;
    bool previousRepeat = false;
    std::uint32_t previousLength = 0;
    for (std::size_t at = 0; at < pixels.size();) {
        const std::uint32_t length = runs[next] & f.lengthMask;
        const bool repeat = (runs[next] & f.repeat) != 0;
        if (at % rowLength == 0) {
            rowUnits = 0;
        } else if (repeat ? previousRepeat && pixels[at - 1] == pixels[at] : !previousRepeat) {
            EXPECT_GE(previousLength + (repeat ? 2 : 0), f.lengthMask) << "needless cut at " << at;
        }
        EXPECT_GE(length, repeat ? 3u : 1u);
        std::fill_n(inRepeat.begin() + static_cast<std::ptrdiff_t>(at), length, repeat);
        const std::size_t units = 1 + (repeat ? 1 : length);
        next += units, rowUnits += units, at += length;
        EXPECT_LE(rowUnits, rowLength + (rowLength + f.lengthMask - 1) / f.lengthMask);
        previousRepeat = repeat, previousLength = length;
    }
    for (std::size_t i = 0; i + 1 < pixels.size(); ++i) {
        if ((i + 1) % rowLength != 0 && pixels[i] == pixels[i + 1]) {
            EXPECT_EQ(inRepeat[i], inRepeat[i + 1]) << "repeat run not maximal at " << i;
            EXPECT_TRUE(inRepeat[i] || (i + 2) % rowLength == 0 || pixels[i + 2] != pixels[i])
                << "three equal pixels in a literal at " << i;
        }
    }
}

class RlePropertyTest : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RlePropertyTest, RandomImagesKeepBoundsInvariantsAndRoundTrip) {
    const auto [bitsPerPixel, rowMode] = GetParam();
    const bool rle4 = rowMode != 0 && bitsPerPixel == 16;
    const int edgeWidths[] = {0, 1, 2, 3, 4095, 4096, 4097, 5000};
    std::mt19937 rng(20240611u + static_cast<unsigned>(bitsPerPixel + rowMode));
    for (int image = 0; image < 400; ++image) {
        const int width =
            image < 16 ? edgeWidths[image % 8] : std::uniform_int_distribution<int>(0, 5000)(rng);
        const int height = std::uniform_int_distribution<int>(0, 4)(rng);
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const Units pixels = randomPixels(rng, static_cast<std::size_t>(width * height),
                                          bitsPerPixel == 16 ? 0xFFFF : 0xFFFFFFFF);
        const Bytes block = makePri0Block(width, height, bitsPerPixel, pixels);
        const Bytes blob = encodeGuarded(block, rowMode);
        ASSERT_FALSE(blob.empty());
        EXPECT_TRUE(!rle4 || blob.size() <= 4 * block.size()); // image conversion's buffer
        RleDecodeResult decoded;
        ASSERT_TRUE(decodeRleImage(blob, rowMode, decoded))
            << rleDecodeFailureText(decoded.failure);
        EXPECT_EQ(decoded.pri0Block, block);
        EXPECT_EQ(decoded.blobSize, blob.size());
        RleImageExtent extent;
        EXPECT_EQ(checkRleImage(blob, rowMode, extent), F::kNone);
        EXPECT_EQ(extent.blobSize, blob.size());
        EXPECT_EQ(extent.pri0Size, block.size());
        const Units source = unitsOf(block, rowMode != 0 ? bitsPerPixel / 8 : 4);
        checkRuns(unitsOf(blob, rle4 ? 2 : 4), source,
                  rowMode != 0 ? static_cast<std::size_t>(width) : source.size(),
                  rle4 ? kRle4Runs : kRle5Runs);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, RlePropertyTest,
                         ::testing::Combine(::testing::Values(16, 32), ::testing::Values(0, 1)));

struct Defect {
    const char* name;
    F failure;
    ImageHeader header;
    Units units;
    std::size_t cutBytes = 0; // taken off the end of the blob
};

class DecoderFailureTest : public ::testing::TestWithParam<Defect> {};

TEST_P(DecoderFailureTest, NamesTheDefect) {
    const Defect& c = GetParam();
    Bytes blob = makeBlob(c.header, c.units, c.header.magic == kRle4Magic ? 2 : 4);
    blob.resize(blob.size() - c.cutBytes);
    RleDecodeResult result;
    EXPECT_FALSE(decodeRleImage(blob, 1, result));
    EXPECT_EQ(result.failure, c.failure) << rleDecodeFailureText(result.failure);
    EXPECT_TRUE(result.pri0Block.empty());
    RleImageExtent extent;
    EXPECT_EQ(checkRleImage(blob, 1, extent), c.failure);
    EXPECT_EQ(extent.blobSize, 0u);
}

constexpr ImageHeader kRle4x2{kRle4Magic, 4, 2, 16};

const std::vector<Defect> kDefects = {
    {"ShortHeader", F::kTruncatedHeader, kRle4x2, {}, 1},
    {"BadMagic", F::kBadMagic, {kPri0Magic, 4, 2, 16}, {}},
    {"Rle4Of32Bits", F::kBadBitsPerPixel, {kRle4Magic, 4, 2, 32}, {}},
    {"TooLarge", F::kImageTooLarge, {kRle5Magic, 65535, 65535, 32}, {}},
    {"RunsStopEarly", F::kTruncatedRuns, kRle4x2, {0x6004, X, 0x0002, X, Y, 0x0001}},
    {"LiteralDataCut", F::kTruncatedRuns, kRle4x2, {0x6004, X, 0xC004, X, Y, X}},
    {"MissingPadding", F::kTruncatedRuns, {kRle4Magic, 2, 1, 16}, {0xC002, X, Y}, 2},
    {"Rle4Bit12", F::kReservedBits, kRle4x2, {0x7004, X, 0xE004, Y}},
    {"Rle5Bit31", F::kReservedBits, {kRle5Magic, 4, 2, 32}, {0x86000004, X, 0x0E000004, Y}},
    {"ZeroLength", F::kZeroLength, kRle4x2, {0x6000, X, 0xE004, Y}},
    {"RunPastRowEnd", F::kRunPastRowEnd, kRle4x2, {0x6005, X, 0xE003, Y}},
    {"MissingRowEnd", F::kMissingRowEnd, kRle4x2, {0x2004, X, 0xE004, Y}},
    {"EarlyRowEnd", F::kEarlyRowEnd, kRle4x2, {0x6003, X, 0x6001, Y, 0xE004, Y}},
    {"MissingImageEnd", F::kMissingImageEnd, kRle4x2, {0x6004, X, 0x6004, Y}},
    {"ImageEndOnFirstRow", F::kMisplacedImageEnd, kRle4x2, {0xE004, X, 0xE004, Y}},
};

INSTANTIATE_TEST_SUITE_P(Blobs, DecoderFailureTest, ::testing::ValuesIn(kDefects),
                         [](const auto& test) { return std::string(test.param.name); });

// Blobs that take every path of the decoder: literal, repeat and cut runs over several rows, the
// RLE4 padding unit, RLE5 rows, and word mode with a last word the pixel area ends inside.
struct Damaged {
    const char* name;
    int width, height, bitsPerPixel, rowMode;
    Units pixels;
};

std::ostream& operator<<(std::ostream& out, const Damaged& d) {
    return out << d.name;
}

class DecoderDamageTest : public ::testing::TestWithParam<Damaged> {
protected:
    // What the decoder makes of blob: refused with no output, exactly as checkRleImage judges
    // it, or decoded to a whole flat PRI0 block that encodes and decodes to itself again.
    static void expectRefusedOrSound(std::span<const std::uint8_t> blob, int rowMode) {
        RleDecodeResult decoded;
        RleImageExtent extent;
        const bool accepted = decodeRleImage(blob, rowMode, decoded);
        ASSERT_EQ(checkRleImage(blob, rowMode, extent), decoded.failure);
        ASSERT_EQ(accepted, decoded.failure == F::kNone);
        if (!accepted) {
            EXPECT_TRUE(decoded.pri0Block.empty());
            return;
        }
        EXPECT_LE(decoded.blobSize, blob.size());
        EXPECT_EQ(decoded.blobSize, extent.blobSize);
        ASSERT_EQ(decoded.pri0Block.size(), extent.pri0Size);
        const Bytes again = encodeGuarded(decoded.pri0Block, rowMode);
        RleDecodeResult redecoded;
        if (!again.empty()) { // the flip may have made a depth that row mode refuses
            ASSERT_TRUE(decodeRleImage(again, rowMode, redecoded));
            EXPECT_EQ(redecoded.pri0Block, decoded.pri0Block);
        }
    }
};

TEST_P(DecoderDamageTest, EveryCutIsRefusedAndEveryFlipRefusedOrDecodedWhole) {
    const Damaged& c = GetParam();
    const Bytes blob =
        encodeGuarded(makePri0Block(c.width, c.height, c.bitsPerPixel, c.pixels), c.rowMode);
    ASSERT_GT(blob.size(), kImageHeaderSize);
    for (std::size_t length = 0; length < blob.size(); ++length) {
        SCOPED_TRACE("cut to " + std::to_string(length));
        RleDecodeResult decoded;
        EXPECT_FALSE(decodeRleImage(std::span(blob).first(length), c.rowMode, decoded));
        expectRefusedOrSound(std::span(blob).first(length), c.rowMode);
    }
    Bytes flipped = blob;
    for (std::size_t bit = 0; bit < 8 * blob.size(); ++bit) {
        SCOPED_TRACE("bit " + std::to_string(bit) + " flipped");
        flipped[bit / 8] ^= static_cast<std::uint8_t>(1u << bit % 8);
        expectRefusedOrSound(flipped, c.rowMode);
        flipped[bit / 8] = blob[bit / 8];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Blobs, DecoderDamageTest,
    ::testing::Values(
        Damaged{"Rle4Rows", 7, 3, 16, 1, {X, X, Y, Y, Y, Y, Z, Z, Z, Z, Z,
                                          Z, Z, X, X, Y, Z, Z, Z, Y, X}},
        Damaged{"Rle4RunCutByLengthField", 4097, 1, 16, 1, Units(4097, Y)},
        Damaged{"Rle5Rows", 4, 2, 32, 1, {X32, Y32, Y32, Y32, Z32, Z32, X32, Y32}},
        Damaged{"WordsOf24Bits", 5, 1, 24, 0, {0x0A0B0C, 0x0A0B0C, 0x0A0B0C, 0x0A0B0C, 0x10203}}),
    [](const auto& test) { return std::string(test.param.name); });

// 64 repeat runs of the longest RLE5 length cover 2^30 - 64 words: 528 valid bytes that decode
// to 4 GiB. The check accepts them; decoding refuses them unless the caller allows that much.
TEST(DecoderLimitTest, RefusesImagesBeyondTheLimitWithoutAllocating) {
    Units runs;
    for (int i = 0; i < 64; ++i) {
        runs.push_back(i < 63 ? 0x02FFFFFF : 0x0EFFFFFF);
        runs.push_back(X32);
    }
    const Bytes huge = makeBlob({kRle5Magic, 0xFFFFFF, 64, 32}, runs, 4);
    ASSERT_EQ(huge.size(), 528u);
    RleImageExtent extent;
    ASSERT_EQ(checkRleImage(huge, 0, extent), F::kNone);
    EXPECT_EQ(extent.pri0Size, kImageHeaderSize + 4ull * 0xFFFFFF * 64);
    RleDecodeResult decoded;
    EXPECT_FALSE(decodeRleImage(huge, 0, decoded));
    EXPECT_EQ(decoded.failure, F::kOverLimit);
    EXPECT_TRUE(decoded.pri0Block.empty());

    const Bytes block = makePri0Block(3, 1, 16, {X, Y, Z});
    const Bytes small = encodeGuarded(block, 1);
    EXPECT_FALSE(decodeRleImage(small, 1, decoded, block.size() - 1));
    EXPECT_EQ(decoded.failure, F::kOverLimit);
    ASSERT_TRUE(decodeRleImage(small, 1, decoded, block.size()));
    EXPECT_EQ(decoded.pri0Block, block);
}

} // namespace
