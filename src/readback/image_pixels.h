// The pixels of a valid copy, as RGB565 values and widened to 8 bits a channel. Decoding is
// bounded: an image of more than kMaxImagePixels is refused before anything is allocated for it,
// since a few bytes of runs can claim millions of pixels.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "readback/slot_check.h"

/// 32 Mi pixels, e.g. 8192 x 4096: far beyond a device's screen.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 25;

struct Rgb565Image {
    std::int32_t width = 0;
    std::int32_t height = 0;
    /// width x height little-endian RGB565 values, top row first: in pri0Block or in the slot.
    const std::uint8_t* pixels = nullptr;
    /// The decoded block when the copy is run-length encoded.
    std::vector<std::uint8_t> pri0Block;
};

/// The pixels of copy, a valid copy whose image is at the start of slot. Returns false with the
/// cause in error when it is too large to decode here.
bool copyPixels(std::span<const std::uint8_t> slot, const SlotCopy& copy, Rgb565Image& image,
                std::string& error);

struct Rgb8 {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

/// An RGB565 value with each channel widened to 8 bits by repeating its top bits, so that 0
/// stays 0 and the largest value becomes 255.
inline Rgb8 widenRgb565(std::uint16_t value) {
    const unsigned r5 = value >> 11;
    const unsigned g6 = (value >> 5) & 0x3F;
    const unsigned b5 = value & 0x1F;
    return {static_cast<std::uint8_t>(r5 << 3 | r5 >> 2),
            static_cast<std::uint8_t>(g6 << 2 | g6 >> 4),
            static_cast<std::uint8_t>(b5 << 3 | b5 >> 2)};
}
