// The PNG file of one theme's copy of one image: what extract writes and preview embeds.
#pragma once

#include <cstddef>
#include <string>

#include "common/byte_buffer.h"
#include "readback/build_scan.h"
#include "readback/image_pixels.h"

/// The pixels that preview decodes for one page, and extract writes for one theme, at most:
/// eight images of the largest size decoded. A build whose index names one slot thousands of
/// times, or names many of the largest images, then costs no more time or memory than that.
inline constexpr std::uint64_t kPixelBudget = 8 * kMaxImagePixels;

/// The pixels of copy k of theme (0 for a copy that is not valid).
std::uint64_t copyPixelCount(const ScannedBuild& build, int theme, std::size_t k);

/// Encodes copy k of theme, whose bytes build kept, as PNG. Returns false with the cause in
/// cause when the copy is not valid, too large to decode here or cannot be encoded.
bool copyPng(const ScannedBuild& build, int theme, std::size_t k, ByteBuffer& png,
             std::string& cause);
