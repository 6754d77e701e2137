// Writes BMP files of every form the reader accepts, and broken ones, for tests and benchmarks;
// and UI-like picture content (flat areas, gradients, text marks, a noisy photo) from a seed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Header field offsets, for breaking files on purpose.
inline constexpr std::size_t kBmpFileSizeField = 2;
inline constexpr std::size_t kBmpPixelOffsetField = 10;
inline constexpr std::size_t kBmpInfoSizeField = 14;
inline constexpr std::size_t kBmpWidthField = 18;
inline constexpr std::size_t kBmpHeightField = 22;
inline constexpr std::size_t kBmpBitsField = 28;
inline constexpr std::size_t kBmpCompressionField = 30;
inline constexpr std::size_t kBmpColoursUsedField = 46;
inline constexpr std::size_t kBmpMasksField = 54;

/// How makeBmp lays a picture out.
struct BmpForm {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitsPerPixel = 24;
    /// 12 (short form: 16-bit width and height, 3-byte colour entries), 40, 56, 108 or 124.
    std::uint32_t infoHeaderSize = 40;
    /// Rows stored top row first, told by a negative height (40 bytes and more).
    bool topDown = false;
    std::uint32_t compression = 0;
    /// Red, green and blue masks: always written inside headers of 56 bytes and more; written
    /// right after a 40-byte header only when masksAfterHeader is set.
    std::array<std::uint32_t, 3> masks{0xF800, 0x07E0, 0x001F};
    bool masksAfterHeader = false;
    /// Colour table entries as 0xRRGGBB, written after the info header (and masks).
    std::vector<std::uint32_t> palette;
    /// The colours-used field (40 bytes and more).
    std::uint32_t coloursUsed = 0;
    /// Extra bytes between the headers (or the colour table) and the pixel array.
    std::uint32_t gap = 0;
    /// The value of gap and row padding bytes; non-zero so that reading them shows.
    std::uint8_t fill = 0xA5;
};

/// The BMP bytes of a picture given top row first, width * height values: 0xRRGGBB (24),
/// 0xXXRRGGBB with XX the fourth byte (32), the raw 16-bit value (16) or the colour index
/// (1, 4, 8). Width and height must be positive here; break fields afterwards with putU32Le.
std::vector<std::uint8_t> makeBmp(const BmpForm& form, const std::vector<std::uint32_t>& pixels);

/// Where makeBmp puts the pixel array of form.
std::size_t bmpPixelOffset(const BmpForm& form);

void putU16Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);
void putU32Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

/// Writes bytes to path. Returns false when any step fails.
bool writeBytesFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// A UI-like picture of 0xRRGGBB values, top row first, the same for the same arguments: a flat
/// background, a gradient title bar, bordered buttons (some with gradients), rows of small text
/// marks and a noisy photo region.
std::vector<std::uint32_t> makeUiLikePixels(int width, int height, std::uint32_t seed);

/// makeUiLikePixels as a 24-bit bottom-up BMP with a 40-byte header.
std::vector<std::uint8_t> makeUiLikeBmp(int width, int height, std::uint32_t seed);
