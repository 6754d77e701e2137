// Why turning an image file into a record failed: the file could not be read, memory ran out,
// or the BMP data is refused. One reason per failure, with one text for each.
#pragma once

#include <cstdint>

/// Why reading or converting an image failed; kOk when it did not.
enum class ImageResult : std::uint8_t {
    kOk,
    kCannotOpen,
    kReadError,
    kOutOfMemory,
    kBadSignature,
    kUnsupportedHeaderSize,
    kBadDimensions,
    kPixelOffsetInHeaders,
    kUnsupportedDepth,
    kCompressedPalette,
    kTruncated,
    kBadPaletteIndex,
    kTooLarge,
};

/// A short lower-case description of result, for diagnostics ("is truncated").
const char* imageResultText(ImageResult result);
