// Row converters from BMP pixel forms to RGB565, each output pixel stored little-endian. Every
// converter reads exactly the row's pixel bytes and writes exactly 2 * width bytes.
#pragma once

#include <cstddef>
#include <cstdint>

/// One pixel of 8-bit channels cut to RGB565 by dropping low bits.
inline std::uint16_t rgb565(unsigned blue, unsigned green, unsigned red) {
    // Each channel lands in its own bits of 16: the narrowing loses nothing.
    return static_cast<std::uint16_t>(((red & 0xF8u) << 8) | ((green & 0xFCu) << 3) | (blue >> 3));
}

/// Blue, green, red bytes per pixel. Uses SSSE3 when the processor has it.
void convertRowBgr24(const std::uint8_t* source, std::uint8_t* out, std::size_t width);

/// The portable one-pixel-at-a-time form of convertRowBgr24; the fast path must match it.
void convertRowBgr24Plain(const std::uint8_t* source, std::uint8_t* out, std::size_t width);

/// Blue, green, red and an ignored fourth byte per pixel.
void convertRowBgrx32(const std::uint8_t* source, std::uint8_t* out, std::size_t width);

/// 16-bit 5-5-5 pixels (bit 15 ignored) widened to 5-6-5 with the low green bit 0.
void convertRowRgb555(const std::uint8_t* source, std::uint8_t* out, std::size_t width);

/// 16-bit 5-6-5 pixels, copied as they are.
void convertRowRgb565(const std::uint8_t* source, std::uint8_t* out, std::size_t width);

/// The colour index of pixel x in a row of 1, 4 or 8 bits per pixel, most significant bits
/// first.
inline unsigned paletteIndex(const std::uint8_t* row, std::size_t x, unsigned bitsPerPixel) {
    const std::size_t bit = x * bitsPerPixel;
    const unsigned shift = 8 - bitsPerPixel - static_cast<unsigned>(bit % 8);
    return (row[bit / 8] >> shift) & ((1u << bitsPerPixel) - 1);
}

/// 1, 4 or 8 bits per pixel through palette, which has 2^bitsPerPixel entries.
void convertRowPalette(const std::uint8_t* source, std::uint8_t* out, std::size_t width,
                       unsigned bitsPerPixel, const std::uint16_t* palette);
