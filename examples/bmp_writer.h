// Writes BMP files of every form the reader accepts, and broken ones, for the sample theme, the
// benchmarks and the tests; and UI-like picture content (flat areas, gradients, text marks, a
// noisy photo) from a seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// How makeBmp lays a picture out.
struct BmpForm {
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t bitsPerPixel = 24;
    std::uint32_t infoHeaderSize = 40; // 12 (the short form), 40, 56, 108 or 124
    bool topDown = false;              // told by a negative height; not in the short form
    std::uint32_t compression = 0;
    /// Written from offset 54: inside a header of 56 bytes or more, right after a 40-byte one.
    std::vector<std::uint32_t> masks{};
    std::vector<std::uint32_t> palette{}; // colour table entries as 0xRRGGBB
    std::uint32_t coloursUsed = 0;
    std::uint32_t gap = 0; // extra bytes before the pixel array
};

/// The BMP bytes of a picture given top row first, width * height values: 0xRRGGBB (24),
/// 0xXXRRGGBB with XX the fourth byte (32), the raw 16-bit value (16) or the colour index
/// (1, 4, 8). Gap and row padding bytes are 0xA5, so that reading them shows. Width and height
/// must be positive; break fields afterwards with putU32Le.
std::vector<std::uint8_t> makeBmp(const BmpForm& form, const std::vector<std::uint32_t>& pixels);

void putU32Le(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

/// Writes bytes to path. Returns false when any step fails.
bool writeBytesFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

/// A UI-like picture of 0xRRGGBB values, top row first, the same for the same arguments: flat
/// background, gradient title bar, bordered buttons, rows of text marks and a noisy photo a
/// third of the width wide and photoPercent percent of the height high. The photo is
/// what run-length encoding cannot shrink, so its size sets how much a picture encodes to.
std::vector<std::uint32_t> makeUiLikePixels(int width, int height, std::uint32_t seed,
                                            int photoPercent = 25);

/// makeUiLikePixels as a 24-bit bottom-up BMP with a 40-byte header.
std::vector<std::uint8_t> makeUiLikeBmp(int width, int height, std::uint32_t seed,
                                        int photoPercent = 25);

/// What the packager makes of a 0xRRGGBB colour: RGB565, each channel cut to its top bits.
std::uint16_t rgb565Of(std::uint32_t rgb);

/// What makeUiLikeBmp's picture converts to: the flat PRI0 block, a 16-byte header ("PRI0",
/// width, height, 16) and the RGB565 pixels, little-endian, top row first.
std::vector<std::uint8_t> uiLikePri0Block(int width, int height, std::uint32_t seed,
                                          int photoPercent = 25);
