// The image blobs stored in Theme.bin slots: the 16-byte header shared by all of them, the
// uncompressed PRI0 form and the run-length encoded RLE4/RLE5 forms.
//
// Header, four 32-bit little-endian fields:
//   offset 0   magic         "PRI0" 0x30495250, "RLE4" 0x34454C52 or "RLE5" 0x35454C52
//   offset 4   width         pixels per row, signed
//   offset 8   height        rows, signed
//   offset 12  bitsPerPixel  16 or 32 in PRI0 (image conversion makes 16); kept as it is in
//                            RLE4/RLE5, also in word mode
//
// PRI0 (the "flat PRI0 block"): the header, then `height` rows of `width` pixels, top row
// first, packed without gaps; each pixel is one little-endian unit of `bitsPerPixel` bits.
//
// RLE4 / RLE5: the header, then the runs of every row, top row first, without separators.
// RLE4 units are 16-bit, RLE5 units 32-bit, both little-endian. Row mode encodes each row on
// its own (RLE4 for 16-bit pixels, RLE5 for 32-bit ones); word mode (always RLE5) encodes the
// pixel area as one sequence of 32-bit words. An RLE4 payload with an odd number of units ends
// with one padding unit, written 0 and meaning nothing, so every blob is whole 32-bit words.
//
// A run is a control unit and its data: a repeat run has one data unit, repeated `length`
// times; a literal run has `length` data units, the pixels in order.
//
//   RLE4 control unit   bit 15     bit 14  bit 13  bit 12  bits 11-0
//                       imageEnd   rowEnd  repeat  0       length 1..4095
//   RLE5 control unit   bits 31-28  bit 27    bit 26  bit 25  bit 24  bits 23-0
//                       0           imageEnd  rowEnd  repeat  0       length 1..16,777,215
//
// rowEnd marks the last run of each row; imageEnd marks the last run of the last row and comes
// only together with rowEnd. A row of width 0 or less has no runs at all. A run longer than
// the length field holds is stored as several runs of the same kind, one after the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_order.h"

inline constexpr std::uint32_t kPri0Magic = 0x30495250; // "PRI0"
inline constexpr std::uint32_t kRle4Magic = 0x34454C52; // "RLE4"
inline constexpr std::uint32_t kRle5Magic = 0x35454C52; // "RLE5"
inline constexpr std::size_t kImageHeaderSize = 16;
// Where the header's fields lie.
inline constexpr std::size_t kWidthAt = 4;
inline constexpr std::size_t kHeightAt = 8;
inline constexpr std::size_t kBitsPerPixelAt = 12;

/// Every size and offset the formats store is a 32-bit field: no blob, slot total or bin file is
/// longer than this.
inline constexpr std::uint64_t kMaxStoredSize = 0xFFFFFFFF;

/// How the runs cover the pixels: each row on its own (RLE4 for 16-bit pixels, RLE5 for 32-bit
/// ones), or the whole pixel area as one sequence of 32-bit words (always RLE5).
enum class RunMode : std::uint8_t { kWords, kRows };

/// The fields of a control unit, for one unit width.
struct RunFormat {
    std::uint32_t lengthMask;
    std::uint32_t repeat;
    std::uint32_t rowEnd;
    std::uint32_t imageEnd;
    /// Bits that are always 0.
    std::uint32_t reserved;
};

inline constexpr RunFormat kRle4Runs{0x0FFF, 0x2000, 0x4000, 0x8000, 0x1000};
inline constexpr RunFormat kRle5Runs{0x00FFFFFF, 0x02000000, 0x04000000, 0x08000000, 0xF1000000};

struct ImageHeader {
    std::uint32_t magic = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 0;
};

/// Reads the four header fields from bytes[0..16), which the caller guarantees to be readable.
inline ImageHeader readImageHeader(const std::uint8_t* bytes) {
    return {loadU32Le(bytes), static_cast<std::int32_t>(loadU32Le(bytes + kWidthAt)),
            static_cast<std::int32_t>(loadU32Le(bytes + kHeightAt)),
            static_cast<std::int32_t>(loadU32Le(bytes + kBitsPerPixelAt))};
}

/// Writes the four header fields to bytes[0..16).
inline void writeImageHeader(std::uint8_t* bytes, const ImageHeader& header) {
    storeU32Le(bytes, header.magic);
    storeU32Le(bytes + kWidthAt, static_cast<std::uint32_t>(header.width));
    storeU32Le(bytes + kHeightAt, static_cast<std::uint32_t>(header.height));
    storeU32Le(bytes + kBitsPerPixelAt, static_cast<std::uint32_t>(header.bitsPerPixel));
}

/// A PRI0 image as the encoder reads it: the header of a flat PRI0 block and its pixel rows,
/// which start right after the header.
struct Pri0Image {
    ImageHeader header;
    const std::uint8_t* pixels = nullptr;
};

/// An RLE4 or RLE5 image as the decoder reads it: the header and the bytes after it.
struct RleImage {
    ImageHeader header;
    std::span<const std::uint8_t> payload;
};

/// Bytes that hold width × height pixels of bitsPerPixel bits, rounded up to whole bytes: the
/// pixel area of a flat PRI0 block. 0 when any of the three is 0 or less; UINT64_MAX when the
/// count does not fit 64 bits.
std::uint64_t pixelAreaBytes(const ImageHeader& header);

/// The size of the flat PRI0 block of an image with these header fields: the header and its
/// pixel area. UINT64_MAX when that does not fit 64 bits.
std::uint64_t pri0BlockSize(const ImageHeader& header);

/// The same area counted in 32-bit words, rounded up: the units that word mode encodes.
std::uint64_t pixelAreaWords(const ImageHeader& header);
