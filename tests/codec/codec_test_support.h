// Shared by the codec tests: building flat PRI0 blocks and RLE blobs from unit values, encoding
// into a guarded buffer, and reading runs back with no help from the decoder under test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "codec/image_format.h"
#include "codec/rle_encoder.h"

namespace codec_test {

using Units = std::vector<std::uint32_t>;

/// Appends each value as a little-endian unit of unitBytes bytes.
inline void appendUnits(std::vector<std::uint8_t>& bytes, const Units& values,
                        std::size_t unitBytes) {
    for (std::uint32_t value : values) {
        for (std::size_t b = 0; b < unitBytes; ++b) {
            bytes.push_back(static_cast<std::uint8_t>(value >> (8 * b)));
        }
    }
}

/// A blob: the header, then values as units of unitBytes bytes (an odd RLE4 count is padded).
inline std::vector<std::uint8_t> makeBlob(const ImageHeader& header, const Units& values,
                                          std::size_t unitBytes) {
    std::vector<std::uint8_t> blob(kImageHeaderSize);
    writeImageHeader(blob.data(), header);
    appendUnits(blob, values, unitBytes);
    if (header.magic == kRle4Magic && values.size() % 2 != 0) {
        appendUnits(blob, {0}, 2);
    }
    return blob;
}

/// A flat PRI0 block, exactly as large as its pixels.
inline std::vector<std::uint8_t> makePri0Block(int width, int height, int bitsPerPixel,
                                               const Units& pixels) {
    return makeBlob({kPri0Magic, width, height, bitsPerPixel}, pixels,
                    static_cast<std::size_t>(bitsPerPixel) / 8);
}

/// Encodes block into a buffer of rleImageSizeBound bytes plus guard bytes, and checks that the
/// encoder kept within its result. Returns the blob, or an empty vector when it refused.
inline std::vector<std::uint8_t> encodeGuarded(const std::vector<std::uint8_t>& block,
                                               int rowMode) {
    const ImageHeader header = readImageHeader(block.data());
    const std::size_t bound =
        rleImageSizeBound(header.width, header.height, header.bitsPerPixel, rowMode);
    std::vector<std::uint8_t> out(bound + 64, 0xA5);
    const int words = encodeRleImage(block.data(), out.data(), rowMode);
    const std::size_t size = words < 0 ? 0 : static_cast<std::size_t>(words) * 4;
    EXPECT_LE(size, bound);
    EXPECT_EQ(std::vector<std::uint8_t>(out.begin() + std::min(size, out.size()), out.end()),
              std::vector<std::uint8_t>(out.size() - std::min(size, out.size()), 0xA5))
        << "written past the result";
    out.resize(size);
    return out;
}

struct Run {
    std::uint32_t length = 0;
    bool repeat = false;
    bool rowEnd = false;
    bool imageEnd = false;
    Units data;
};

/// The runs of an encoded blob, read by the layout alone; a trailing RLE4 unit is checked to
/// be the zero padding unit.
inline std::vector<Run> readRuns(const std::vector<std::uint8_t>& blob) {
    const bool rle4 = readImageHeader(blob.data()).magic == kRle4Magic;
    const std::size_t unitBytes = rle4 ? 2 : 4;
    const RunFormat& format = rle4 ? kRle4Runs : kRle5Runs;
    Units units;
    for (std::size_t at = kImageHeaderSize; at + unitBytes <= blob.size(); at += unitBytes) {
        units.push_back(rle4 ? loadU16Le(&blob[at]) : loadU32Le(&blob[at]));
    }
    std::vector<Run> runs;
    std::size_t next = 0;
    while (units.size() - next >= 2) {
        const std::uint32_t control = units[next++];
        Run run{control & format.lengthMask,
                (control & format.repeat) != 0,
                (control & format.rowEnd) != 0,
                (control & format.imageEnd) != 0,
                {}};
        EXPECT_EQ(control & format.reserved, 0u);
        const std::size_t count = run.repeat ? 1 : run.length;
        if (count > units.size() - next) {
            ADD_FAILURE() << "run data past the blob";
            break;
        }
        run.data.assign(units.begin() + next, units.begin() + next + count);
        next += count;
        runs.push_back(run);
    }
    if (next < units.size()) {
        EXPECT_TRUE(rle4 && next + 1 == units.size() && units[next] == 0) << "stray units";
    }
    return runs;
}

} // namespace codec_test
