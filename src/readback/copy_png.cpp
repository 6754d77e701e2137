// The PNG container, its filters and its chunks come from stb_image_write.h (Debian's
// libstb-dev), its deflate stream from zlib: both builds (Linux and MinGW) compile the same code,
// and neither needs libpng, which Debian has no MinGW build of.
#include "readback/copy_png.h"

#include <zlib.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "codec/rle_decoder.h"
#include "common/byte_order.h"

namespace {

// stb frees what this returns with free().
unsigned char* zlibCompress(unsigned char* data, int size, int* packedSize, int /*quality*/) {
    uLongf packed = compressBound(static_cast<uLong>(size));
    auto* out = static_cast<unsigned char*>(std::malloc(packed));
    if (out == nullptr ||
        compress2(out, &packed, data, static_cast<uLong>(size), Z_DEFAULT_COMPRESSION) != Z_OK) {
        std::free(out);
        return nullptr;
    }
    *packedSize = static_cast<int>(packed);
    return out;
}

} // namespace

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STBIW_ZLIB_COMPRESS zlibCompress
#include <stb_image_write.h>

namespace {

// stb picks each row's filter by summing its filtered bytes in an int: wider rows get filter 0
// (none) instead, which needs no sum.
std::int64_t widestFilteredRow(int channels) {
    return INT_MAX / (channels * 128);
}

int channelsOf(ColourKey key) {
    return key ? 4 : 3;
}

std::uint8_t widen(unsigned value, unsigned bits) {
    return static_cast<std::uint8_t>(value << (8 - bits) | value >> (2 * bits - 8));
}

// The pixels as 8-bit RGB, each channel widened by repeating its top bits, so that 0 stays 0 and
// the largest value becomes 255; with a key, RGBA whose alpha is 0 exactly at the key's pixels.
bool widenPixels(const Rgb565Image& image, ColourKey key, ByteBuffer& rgb) {
    const std::size_t count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    const auto step = static_cast<std::size_t>(channelsOf(key));
    if (!reserveBytes(rgb, count * step)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned value = loadU16Le(image.pixels + 2 * i);
        std::uint8_t* out = rgb.data.get() + step * i;
        out[0] = widen(value >> 11, 5);
        out[1] = widen((value >> 5) & 0x3F, 6);
        out[2] = widen(value & 0x1F, 5);
        if (key) {
            out[3] = value == *key ? 0 : 255;
        }
    }
    rgb.size = count * step;
    return true;
}

// stb hands over the whole file in one call.
void takePng(void* context, void* data, int size) {
    auto& png = *static_cast<ByteBuffer*>(context);
    if (reserveBytes(png, static_cast<std::size_t>(size))) {
        std::memcpy(png.data.get(), data, static_cast<std::size_t>(size));
        png.size = static_cast<std::size_t>(size);
    }
}

bool encodePng(const Rgb565Image& image, ColourKey key, ByteBuffer& png, std::string& error) {
    png = ByteBuffer{};
    const int channels = channelsOf(key);
    ByteBuffer rgb;
    if (!widenPixels(image, key, rgb)) {
        error = "out of memory for the pixels";
        return false;
    }
    stbi_write_force_png_filter = image.width > widestFilteredRow(channels) ? 0 : -1;
    if (stbi_write_png_to_func(takePng, &png, image.width, image.height, channels, rgb.data.get(),
                               0) == 0 ||
        png.size == 0) {
        error = "out of memory for the PNG data";
        png = ByteBuffer{};
        return false;
    }
    return true;
}

} // namespace

bool copyPixels(std::span<const std::uint8_t> slot, const SlotCopy& copy, Rgb565Image& image,
                std::string& error) {
    image = Rgb565Image{};
    const std::uint64_t pixels = static_cast<std::uint64_t>(copy.header.width) *
                                 static_cast<std::uint64_t>(copy.header.height);
    if (copy.state != CopyState::kValid || pixels > kMaxImagePixels) {
        error = copy.state != CopyState::kValid
                    ? "invalid image"
                    : std::to_string(copy.header.width) + "x" + std::to_string(copy.header.height) +
                          " pixels: more than this tool decodes (" +
                          std::to_string(kMaxImagePixels) + ")";
        return false;
    }
    image.width = copy.header.width;
    image.height = copy.header.height;
    if (copy.header.magic == kPri0Magic) {
        image.pixels = slot.data() + kImageHeaderSize;
        return true;
    }
    RleDecodeResult decoded;
    if (!decodeRleImage(slot, RunMode::kRows, decoded)) {
        error = rleDecodeFailureText(decoded.failure);
        return false;
    }
    image.pri0Block = std::move(decoded.pri0Block);
    image.pixels = image.pri0Block.data() + kImageHeaderSize;
    return true;
}

std::uint64_t copyPixelCount(const ScannedBuild& build, int theme, std::size_t k) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    return copy.state != CopyState::kValid ? 0
                                           : static_cast<std::uint64_t>(copy.header.width) *
                                                 static_cast<std::uint64_t>(copy.header.height);
}

bool copyPng(const ScannedBuild& build, int theme, std::size_t k, ColourKey key, ByteBuffer& png,
             std::string& cause) {
    const SlotCopy& copy = build.themes[theme].copies[k];
    if (copy.state != CopyState::kValid) {
        cause = copy.state == CopyState::kInvalid ? copy.fault : "its slot was not checked";
        return false;
    }
    Rgb565Image pixels;
    return copyPixels(copyBytes(build, theme, k), copy, pixels, cause) &&
           encodePng(pixels, key, png, cause);
}
