// Random images in every form: the encoder keeps its size bounds and the row invariants, and
// decoding gives the source back exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "codec/rle_decoder.h"
#include "codec/rle_encoder.h"
#include "codec_test_support.h"

namespace {

using codec_test::Run;
using codec_test::Units;

// Pixels as runs of 1 to 5000 equal values from a three-value alphabet; equal neighbours
// merge, so every run length and every short pattern turns up.
Units randomPixels(std::mt19937& rng, std::size_t count, int bitsPerPixel) {
    const Units alphabet{static_cast<std::uint32_t>(rng()), static_cast<std::uint32_t>(rng()),
                         static_cast<std::uint32_t>(rng())};
    const std::uint32_t mask = bitsPerPixel == 16 ? 0xFFFF : 0xFFFFFFFF;
    const int longest[] = {3, 20, 500, 5000};
    Units pixels;
    while (pixels.size() < count) {
        const int reach = longest[std::discrete_distribution<int>({50, 30, 15, 5})(rng)];
        const std::size_t length = std::uniform_int_distribution<std::size_t>(1, reach)(rng);
        const std::uint32_t value = alphabet[rng() % alphabet.size()] & mask;
        pixels.insert(pixels.end(), std::min(length, count - pixels.size()), value);
    }
    return pixels;
}

// The units the encoder saw: pixels in row mode, the pixel area's words (zero-filled at the
// end) in word mode.
Units sourceUnits(const std::vector<std::uint8_t>& block, std::size_t unitBytes) {
    Units units;
    for (std::size_t at = kImageHeaderSize; at < block.size(); at += unitBytes) {
        std::uint32_t unit = 0;
        for (std::size_t b = 0; b < unitBytes && at + b < block.size(); ++b) {
            unit |= static_cast<std::uint32_t>(block[at + b]) << (8 * b);
        }
        units.push_back(unit);
    }
    return units;
}

// Checks the runs of one row of width pixels, starting at runs[next]; returns the next run.
std::size_t checkRow(const std::vector<Run>& runs, std::size_t next, const std::uint32_t* pixels,
                     std::size_t width, bool lastRow, std::uint32_t maxLength) {
    std::vector<bool> inRepeat(width);
    std::size_t covered = 0, units = 0, extraControls = 0;
    const std::size_t firstRun = next;
    while (covered < width) {
        if (next == runs.size()) {
            ADD_FAILURE() << "runs end inside a row";
            return next;
        }
        const Run& run = runs[next];
        EXPECT_GE(run.length, run.repeat ? 3u : 1u);
        EXPECT_LE(run.length, std::min<std::size_t>(maxLength, width - covered));
        const std::size_t end = std::min<std::size_t>(covered + run.length, width);
        for (std::size_t i = covered; i < end; ++i) {
            EXPECT_EQ(pixels[i], run.data[run.repeat ? 0 : i - covered]);
            inRepeat[i] = run.repeat;
        }
        // Literal runs, and repeat runs of one value, follow one another only where a run was
        // cut at the length field.
        const Run* before = next > firstRun ? &runs[next - 1] : nullptr;
        if (before && !before->repeat && !run.repeat) {
            EXPECT_EQ(before->length, maxLength);
            ++extraControls;
        } else if (before && before->repeat && run.repeat && before->data == run.data) {
            EXPECT_GE(before->length + 2, maxLength);
            ++extraControls;
        }
        EXPECT_EQ(run.rowEnd, end == width);
        EXPECT_EQ(run.imageEnd, lastRow && end == width);
        units += 1 + run.data.size();
        covered = end;
        ++next;
    }
    for (std::size_t i = 0; i + 1 < width; ++i) {
        if (pixels[i] == pixels[i + 1]) {
            EXPECT_EQ(inRepeat[i], inRepeat[i + 1]) << "repeat run not maximal at " << i;
            EXPECT_TRUE(i + 2 >= width || pixels[i + 2] != pixels[i] || inRepeat[i])
                << "three equal pixels in a literal at " << i;
        }
    }
    EXPECT_LE(units, width + 1 + extraControls);
    EXPECT_LE(units, width + (width + maxLength - 1) / maxLength);
    return next;
}

struct Form {
    int bitsPerPixel, rowMode;
};

class RlePropertyTest : public ::testing::TestWithParam<Form> {};

TEST_P(RlePropertyTest, RandomImagesKeepBoundsInvariantsAndRoundTrip) {
    const Form form = GetParam();
    const bool rle4 = form.rowMode != 0 && form.bitsPerPixel == 16;
    const std::uint32_t maxLength = rle4 ? kRle4Runs.lengthMask : kRle5Runs.lengthMask;
    const int edgeWidths[] = {0, 1, 2, 3, 4095, 4096, 4097, 5000};
    std::mt19937 rng(20240611u + static_cast<unsigned>(form.bitsPerPixel + form.rowMode));
    for (int image = 0; image < 400; ++image) {
        const int width =
            image < 16 ? edgeWidths[image % 8] : std::uniform_int_distribution<int>(0, 5000)(rng);
        const int height = std::uniform_int_distribution<int>(0, 4)(rng);
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const auto pixels =
            randomPixels(rng, static_cast<std::size_t>(width * height), form.bitsPerPixel);
        const auto block = codec_test::makePri0Block(width, height, form.bitsPerPixel, pixels);
        const auto blob = codec_test::encodeGuarded(block, form.rowMode);
        ASSERT_FALSE(blob.empty());
        if (rle4) {
            EXPECT_LE(blob.size(), 4 * block.size());
        }

        const auto runs = codec_test::readRuns(blob);
        const Units units = sourceUnits(block, form.rowMode != 0 ? form.bitsPerPixel / 8 : 4);
        const std::size_t rowUnits =
            form.rowMode != 0 ? static_cast<std::size_t>(width) : units.size();
        const std::size_t rows = form.rowMode != 0 ? static_cast<std::size_t>(height) : 1;
        std::size_t next = 0;
        for (std::size_t row = 0; row < rows && rowUnits > 0; ++row) {
            next = checkRow(runs, next, units.data() + row * rowUnits, rowUnits, row + 1 == rows,
                            maxLength);
        }
        EXPECT_EQ(next, runs.size());

        RleDecodeResult decoded;
        ASSERT_TRUE(decodeRleImage(blob, form.rowMode, decoded))
            << rleDecodeFailureText(decoded.failure);
        EXPECT_EQ(decoded.pri0Block, block);
        EXPECT_EQ(decoded.blobSize, blob.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, RlePropertyTest,
                         ::testing::Values(Form{16, 1}, Form{32, 1}, Form{16, 0}, Form{32, 0}),
                         [](const auto& testInfo) {
                             return (testInfo.param.rowMode != 0 ? "Rows" : "Words") +
                                    std::to_string(testInfo.param.bitsPerPixel);
                         });

} // namespace
