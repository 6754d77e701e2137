// The PNG file of one theme's copy of one image: what extract writes and preview embeds. A PRI0
// copy is read where it lies, a run-length encoded one decoded by the codec; its RGB565 pixels
// are widened to 8 bits a channel and written as an 8-bit RGB PNG, or RGBA with a colour key.
// Decoding is bounded: an image of more than kMaxImagePixels is refused before anything is
// allocated for it, since a few bytes of runs can claim millions of pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/byte_buffer.h"
#include "readback/build_scan.h"

/// 32 Mi pixels, e.g. 8192 x 4096: far beyond a device's screen.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 25;

/// The pixels that preview decodes for one page, and extract writes for one theme, at most:
/// eight images of the largest size decoded. A build whose index names one slot thousands of
/// times, or names many of the largest images, then costs no more time or memory than that.
inline constexpr std::uint64_t kPixelBudget = 8 * kMaxImagePixels;

/// A colour key: the RGB565 value whose pixels are transparent (alpha 0, every other pixel 255);
/// none for an opaque RGB PNG.
using ColourKey = std::optional<std::uint16_t>;

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

/// The pixels of copy k of theme (0 for a copy that is not valid).
std::uint64_t copyPixelCount(const ScannedBuild& build, int theme, std::size_t k);

/// Encodes copy k of theme, whose bytes build kept, as PNG, with key when given. Returns false
/// with the cause in cause when the copy is not valid, too large to decode here or cannot be
/// encoded.
bool copyPng(const ScannedBuild& build, int theme, std::size_t k, ColourKey key, ByteBuffer& png,
             std::string& cause);
