// Decoding and encoding in one step, so that both users bound the decoded size the same way.
#include "readback/copy_png.h"

#include "readback/png_encode.h"

bool copyPng(const ScannedBuild& build, int theme, std::size_t k, ByteBuffer& png,
             std::string& cause) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    if (copy.state != CopyState::kValid) {
        cause = copy.state == CopyState::kInvalid ? copy.fault : "its slot was not checked";
        return false;
    }
    Rgb565Image pixels;
    return copyPixels(copyBytes(build, theme, k), copy, pixels, cause) &&
           encodePng(pixels, png, cause);
}

std::uint64_t copyPixelCount(const ScannedBuild& build, int theme, std::size_t k) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    return copy.state != CopyState::kValid ? 0
                                           : static_cast<std::uint64_t>(copy.header.width) *
                                                 static_cast<std::uint64_t>(copy.header.height);
}
