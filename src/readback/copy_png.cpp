// Decoding and encoding in one step, so that both users bound the decoded size the same way.
#include "readback/copy_png.h"

#include "readback/image_pixels.h"
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
