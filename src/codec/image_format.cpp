// Sizes of the pixel area of an image blob, computed in 64 bits so that no header can overflow
// them.
#include "codec/image_format.h"

#include <limits>

#include "common/checked_size.h"

namespace {

constexpr std::uint64_t kTooLarge = std::numeric_limits<std::uint64_t>::max();

std::uint64_t pixelAreaBits(const ImageHeader& header) {
    if (header.width <= 0 || header.height <= 0 || header.bitsPerPixel <= 0) {
        return 0;
    }
    std::uint64_t pixels = 0;
    std::uint64_t bits = 0;
    if (!mulAddU64(static_cast<std::uint64_t>(header.width),
                   static_cast<std::uint64_t>(header.height), 0, pixels) ||
        !mulAddU64(pixels, static_cast<std::uint64_t>(header.bitsPerPixel), 0, bits)) {
        return kTooLarge;
    }
    return bits;
}

std::uint64_t roundUpDivide(std::uint64_t value, std::uint64_t divisor) {
    return value == kTooLarge ? kTooLarge : value / divisor + (value % divisor != 0);
}

} // namespace

std::uint64_t pixelAreaBytes(const ImageHeader& header) {
    return roundUpDivide(pixelAreaBits(header), 8);
}

std::uint64_t pri0BlockSize(const ImageHeader& header) {
    const std::uint64_t area = pixelAreaBytes(header);
    return area > kTooLarge - kImageHeaderSize ? kTooLarge : kImageHeaderSize + area;
}

std::uint64_t pixelAreaWords(const ImageHeader& header) {
    return roundUpDivide(pixelAreaBits(header), 32);
}
