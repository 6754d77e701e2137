// Reading BMP files and converting their pixels to the tool's RGB565 rows.
//
// Fields read, little-endian, offsets from the first byte of the file:
//   0   2 bytes  signature "BM"
//   10  u32      offset of the pixel array; it may not point into the headers
//   14  u32      info header size: 40 or 56 (long form) or 12 (short form); others are refused
//   long form   18 i32 width (> 0), 22 i32 height (negative: rows stored top row first),
//               28 u16 bits per pixel, 30 u32 compression (only 0 or not 0 matters),
//               46 u32 colours used (palette images only; 0 means all),
//               54, 58, 62 u32 red, green, blue masks (16-bit, compression not 0, when present:
//               inside a 56-byte header, or between a 40-byte header and the pixel array)
//               66 u32 alpha mask (32-bit: inside a 56-byte header, or after a 40-byte one with
//               compression 6); only told, never applied
//   short form  18 u16 width, 20 u16 height, 24 u16 bits per pixel; compression is 0
//
// Depths: 24 (blue, green, red), 32 (blue, green, red, a fourth byte that only tells whether the
// image had transparency), 16 (5-5-5 with compression 0 or with 5-5-5 masks, else 5-6-5 as
// stored), 1, 4 and 8 with compression 0 through the colour table. The colour table starts right
// after the info header, with 4-byte entries (blue, green, red, unused; 3-byte in the short form),
// and ends where the pixel array begins. Pixels of 1 and 4 bits are packed most significant bits
// first.
//
// Rows are stored bottom row first unless the height is negative; each starts
// ((width * bits per pixel + 31) / 32) * 4 bytes after the previous one. The last row in the
// file needs only its pixels, not its padding.
//
// Output: 2 * width * height bytes, one 16-bit value per pixel stored little-endian with red in
// bits 15..11, green in 10..5 and blue in 4..0 (channels cut by dropping low bits), top row
// first, rows without gaps.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "image/image_result.h"

/// Sets width and height (the number of rows, also for a top-down file) and returns 1 when the
/// signature, the info header size and the width are accepted. The height may be 0 here and the
/// depth is not examined; convertBmpPixels fails for those. Returns 0, with nothing set, else.
int parseBmpHeader(std::span<const std::uint8_t> fileBytes, std::int32_t& width,
                   std::int32_t& height);

enum class BmpPixelForm : std::uint8_t {
    kPalette1,
    kPalette4,
    kPalette8,
    kRgb555,
    kRgb565,
    kBgr24,
    kBgrx32,
};

/// Everything the conversion needs, checked against the file.
struct BmpLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;
    BmpPixelForm form = BmpPixelForm::kBgr24;
    std::uint16_t bitsPerPixel = 0;
    bool topDown = false;
    std::uint32_t pixelOffset = 0;
    /// Bytes from the start of one stored row to the next.
    std::uint64_t stride = 0;
    /// 2 * width * height: the size of the output.
    std::uint32_t outputSize = 0;
    /// 32 bits per pixel: the bits of the fourth byte that the header's alpha mask names; 0 when
    /// it names none.
    std::uint8_t alphaMask = 0;
    /// Colour table entries present; a pixel's colour index is always below it.
    std::uint32_t paletteCount = 0;
    std::array<std::uint16_t, 256> palette{};
};

/// What the headers alone tell of a file: enough to refuse it, and to size every buffer, before
/// its pixel array is read.
struct BmpFrame {
    std::int32_t width = 0;
    std::int32_t height = 0;
    /// Bytes from the start of the file to the end of the last pixel row: all that is read.
    std::uint64_t bytesNeeded = 0;
    /// Bytes from the start of the file that hold every header field and the colour table, as
    /// far as readBmpLayout reads them: what the head must hold before the layout is read.
    std::uint64_t headerBytes = 0;
};

/// The checks of readBmpLayout that need only the headers, at the start of head, and the size of
/// the file: header, depth, compression, pixel offset, the 32-bit size limit and that the pixel
/// array fits in fileSize. Returns ok with frame filled, or the first reason found.
ImageResult readBmpFrame(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                         BmpFrame& frame);

/// Checks everything the conversion depends on, without allocating: header, depth, compression,
/// pixel offset, size (16 + 2 * width * height must fit in 32 bits), colour table, that every
/// row is inside the file, and every colour index. Returns ok with layout filled, or the first
/// reason found. A file it accepts always converts.
ImageResult readBmpLayout(std::span<const std::uint8_t> fileBytes, BmpLayout& layout);

/// readBmpLayout's checks but the colour indices, from the first bytes of a file of fileSize
/// bytes: head must hold the frame's headerBytes (or the whole file). The rows are then converted
/// one by one with convertBmpRow, which checks their indices.
ImageResult readBmpLayout(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                          BmpLayout& layout);

/// Where the file's row k (k = 0 the first one stored) starts, from the start of the file.
std::uint64_t storedRowOffset(const BmpLayout& layout, std::int32_t k);

/// The bytes of a stored row's pixels, without its padding.
std::uint64_t storedRowBytes(const BmpLayout& layout);

/// The file's row that holds the picture's row y (y = 0 the top row).
inline std::int32_t storedRowOf(const BmpLayout& layout, std::int32_t y) {
    return layout.topDown ? y : layout.height - 1 - y;
}

/// Converts a stored row (storedRowBytes at source) into 2 * width bytes at out. Returns false,
/// with out partly written, when a colour index lies outside the colour table.
bool convertBmpRow(const BmpLayout& layout, const std::uint8_t* source, std::uint8_t* out);

/// What a refusal by readBmpFrame or readBmpLayout comes to in this file's numbers, to follow the
/// reason's text: the info header size that is not read (and how to save such a file so that
/// it is), the dimensions that are too large and the limit, or the depth that is not read; ""
/// for any other reason.
std::string bmpRefusalDetail(std::span<const std::uint8_t> head, ImageResult result);

/// "W x H pixels".
std::string bmpDimensions(std::int32_t width, std::int32_t height);

/// The lowest and highest fourth byte of a 32-bit image's pixels, gathered row by row.
struct FourthBytes {
    std::uint8_t lowest = 0xFF;
    std::uint8_t highest = 0;
};

/// Widens seen by the fourth bytes of a stored row (at source) of a 32-bit image; other depths
/// have none.
void noteFourthBytes(const BmpLayout& layout, const std::uint8_t* source, FourthBytes& seen);

/// True when a 32-bit image whose pixels had the fourth bytes seen held transparency, which its
/// RGB565 pixels lose: fourth bytes that differ (an alpha channel), or one value throughout that
/// the header's alpha mask calls not fully opaque. 0 or 255 throughout is no alpha: writers leave
/// 0 in a byte they do not use. False for every other depth.
bool losesTransparency(const BmpLayout& layout, FourthBytes seen);

/// Converts the pixels of a file accepted by readBmpLayout (with this layout) into pixels, which
/// holds at least layout.outputSize bytes. Returns 1, or 0 when pixels is too small or the layout
/// does not fit the file.
int convertBmpPixels(std::span<const std::uint8_t> fileBytes, const BmpLayout& layout,
                     std::span<std::uint8_t> pixels);

/// readBmpLayout and then the conversion. Returns 1, or 0 when the file is refused or pixels is
/// smaller than 2 * width * height bytes.
int convertBmpPixels(std::span<const std::uint8_t> fileBytes, std::span<std::uint8_t> pixels);
