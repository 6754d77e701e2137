// Row converters to RGB565. Output bytes are written one at a time in little-endian order so the
// result is the same on any host; compilers merge the two stores.
#include "image/rgb565_rows.h"

#include <cstring>

namespace {

inline void storeU16Le(std::uint8_t* out, unsigned value) {
    out[0] = static_cast<std::uint8_t>(value);
    out[1] = static_cast<std::uint8_t>(value >> 8);
}

} // namespace

void convertRowBgr24Plain(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 3, out += 2) {
        storeU16Le(out, rgb565(source[0], source[1], source[2]));
    }
}

void convertRowBgr24(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    convertRowBgr24Plain(source, out, width);
}

void convertRowBgrx32(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 4, out += 2) {
        storeU16Le(out, rgb565(source[0], source[1], source[2]));
    }
}

void convertRowRgb555(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, source += 2, out += 2) {
        const unsigned v = source[0] | (source[1] << 8);
        storeU16Le(out, ((v & 0x7FE0u) << 1) | (v & 0x001Fu));
    }
}

void convertRowRgb565(const std::uint8_t* source, std::uint8_t* out, std::size_t width) {
    std::memcpy(out, source, 2 * width);
}

void convertRowPalette(const std::uint8_t* source, std::uint8_t* out, std::size_t width,
                       unsigned bitsPerPixel, const std::uint16_t* palette) {
    for (std::size_t x = 0; x < width; ++x, out += 2) {
        storeU16Le(out, palette[paletteIndex(source, x, bitsPerPixel)]);
    }
}
