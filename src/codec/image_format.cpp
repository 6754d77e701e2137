// Sizes of the pixel area of an image blob, computed in 64 bits so that no header can overflow
// them.
#include "codec/image_format.h"

#include <limits>

namespace {

constexpr std::uint64_t kTooLarge = std::numeric_limits<std::uint64_t>::max();

std::uint64_t pixelAreaBits(const ImageHeader& header) {
    if (header.width <= 0 || header.height <= 0 || header.bitsPerPixel <= 0) {
        return 0;
    }
    // width × height stays below 2^62; only the third factor can leave 64 bits.
    const std::uint64_t pixels =
        static_cast<std::uint64_t>(header.width) * static_cast<std::uint64_t>(header.height);
    const auto bits = static_cast<std::uint64_t>(header.bitsPerPixel);
    return pixels > kTooLarge / bits ? kTooLarge : pixels * bits;
}

std::uint64_t roundUpDivide(std::uint64_t value, std::uint64_t divisor) {
    return value == kTooLarge ? kTooLarge : value / divisor + (value % divisor != 0);
}

} // namespace

std::uint64_t pixelAreaBytes(const ImageHeader& header) {
    return roundUpDivide(pixelAreaBits(header), 8);
}

std::uint64_t pixelAreaWords(const ImageHeader& header) {
    return roundUpDivide(pixelAreaBits(header), 32);
}
