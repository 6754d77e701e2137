// The RLE codec's properties on any blob, shared by its tests and its fuzz targets: what the
// decoder makes of bytes must agree with its own check, leave nothing behind when it refuses,
// and give a block that encodes and decodes to itself again when it accepts.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "codec/rle_encoder.h"

/// The header fields, then values, as little-endian units of unitBytes bytes; an odd RLE4 count
/// gets the zero padding unit.
inline std::vector<std::uint8_t> makeBlob(const ImageHeader& h, std::vector<std::uint32_t> values,
                                          std::size_t unitBytes) {
    if (h.magic == kRle4Magic && values.size() % 2 != 0) {
        values.push_back(0);
    }
    std::vector<std::uint8_t> blob(kImageHeaderSize + values.size() * unitBytes);
    writeImageHeader(blob.data(), h);
    for (std::size_t i = 0; i < values.size(); ++i) {
        std::uint8_t unit[4];
        storeU32Le(unit, values[i]);
        std::copy_n(unit, unitBytes,
                    blob.begin() + static_cast<std::ptrdiff_t>(kImageHeaderSize + i * unitBytes));
    }
    return blob;
}

/// A flat PRI0 block of pixels, units of bitsPerPixel / 8 bytes.
inline std::vector<std::uint8_t> makePri0Block(int width, int height, int bitsPerPixel,
                                               const std::vector<std::uint32_t>& pixels) {
    return makeBlob({kPri0Magic, width, height, bitsPerPixel}, pixels,
                    static_cast<std::size_t>(bitsPerPixel) / 8);
}

/// The flat PRI0 block encoded in mode, at its real size; empty when the encoder refuses it.
inline std::vector<std::uint8_t> encodeBlock(std::span<const std::uint8_t> block, RunMode mode) {
    const ImageHeader h = readImageHeader(block.data());
    std::vector<std::uint8_t> blob(rleImageSizeBound(h.width, h.height, h.bitsPerPixel, mode));
    const int words = encodeRleImage(block.data(), blob.data(), mode);
    blob.resize(words < 0 ? 0 : static_cast<std::size_t>(words) * 4);
    return blob;
}

/// "" when the decoder's answer for blob read in mode is sound, else the property it breaks.
inline std::string decodeProblem(std::span<const std::uint8_t> blob, RunMode mode,
                                 std::uint64_t maxPri0Bytes = kDefaultMaxPri0Bytes) {
    RleImageExtent extent;
    RleDecodeFailure expected = checkRleImage(blob, mode, extent);
    if (expected == RleDecodeFailure::kNone && extent.pri0Size > maxPri0Bytes) {
        expected = RleDecodeFailure::kOverLimit;
    }
    RleDecodeResult decoded;
    const bool accepted = decodeRleImage(blob, mode, decoded, maxPri0Bytes);
    if (decoded.failure != expected || accepted != (expected == RleDecodeFailure::kNone)) {
        return std::string("decoding and its check disagree: ") +
               rleDecodeFailureText(decoded.failure) + " / " + rleDecodeFailureText(expected);
    }
    if (!accepted) {
        return decoded.pri0Block.empty() && decoded.blobSize == 0 ? "" : "a refusal left output";
    }
    if (decoded.blobSize != extent.blobSize || decoded.blobSize > blob.size() ||
        decoded.pri0Block.size() != extent.pri0Size) {
        return "the decoded sizes disagree with the check";
    }
    // Encoded again the way the decoder read it: RLE4 and 32-bit RLE5 as rows, else as words.
    const ImageHeader header = readImageHeader(blob.data());
    const RunMode readAs =
        header.magic == kRle4Magic || (mode == RunMode::kRows && header.bitsPerPixel == 32)
            ? RunMode::kRows
            : RunMode::kWords;
    const std::vector<std::uint8_t> again = encodeBlock(decoded.pri0Block, readAs);
    RleDecodeResult redecoded;
    if (again.empty() || !decodeRleImage(again, readAs, redecoded, maxPri0Bytes) ||
        redecoded.pri0Block != decoded.pri0Block) {
        return "the decoded block does not encode and decode to itself";
    }
    return "";
}

/// 64 repeat runs of the longest RLE5 length cover 2^30 - 64 words: a valid word-mode blob of
/// 528 bytes that decodes to 4 GiB.
inline std::vector<std::uint8_t> hugeWordBlob() {
    std::vector<std::uint8_t> blob(kImageHeaderSize + 64 * 8);
    writeImageHeader(blob.data(), {kRle5Magic, 0xFFFFFF, 64, 32});
    for (std::size_t run = 0; run < 64; ++run) {
        storeU32Le(&blob[kImageHeaderSize + 8 * run], run < 63 ? 0x02FFFFFF : 0x0EFFFFFF);
        storeU32Le(&blob[kImageHeaderSize + 8 * run + 4], 0x00FF8800);
    }
    return blob;
}
