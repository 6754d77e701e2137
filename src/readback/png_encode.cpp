// PNG encoding with libpng's simplified API, which reports failures as return values: no
// setjmp/longjmp crosses our frames. The output buffer is sized once from libpng's own bound.
#include "readback/png_encode.h"

#include <png.h>

#include <cstring>

#include "common/byte_order.h"

namespace {

constexpr std::size_t kChannels = 3;

bool widenPixels(const Rgb565Image& image, ByteBuffer& rgb) {
    const std::size_t count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    if (!reserveBytes(rgb, count * kChannels)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const Rgb8 pixel = widenRgb565(loadU16Le(image.pixels + 2 * i));
        rgb.data[kChannels * i] = pixel.r;
        rgb.data[kChannels * i + 1] = pixel.g;
        rgb.data[kChannels * i + 2] = pixel.b;
    }
    rgb.size = count * kChannels;
    return true;
}

} // namespace

bool encodePng(const Rgb565Image& image, ByteBuffer& png, std::string& error) {
    png = ByteBuffer{};
    ByteBuffer rgb;
    if (!widenPixels(image, rgb)) {
        error = "out of memory for the pixels";
        return false;
    }
    png_image header;
    std::memset(&header, 0, sizeof header);
    header.version = PNG_IMAGE_VERSION;
    header.width = static_cast<png_uint_32>(image.width);
    header.height = static_cast<png_uint_32>(image.height);
    header.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(header);
    if (!reserveBytes(png, size)) {
        error = "out of memory for the PNG data";
        return false;
    }
    if (png_image_write_to_memory(&header, png.data.get(), &size, 0, rgb.data.get(), 0, nullptr) ==
        0) {
        error = std::string("PNG encoding failed: ") + header.message;
        png_image_free(&header);
        png = ByteBuffer{};
        return false;
    }
    png.size = size;
    return true;
}
