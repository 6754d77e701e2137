// PNG encoding on zlib alone, for builds without libpng (Windows: Debian has no MinGW libpng).
// The file written:
//   signature  89 50 4E 47 0D 0A 1A 0A
//   chunk      length of its data (4 bytes, big-endian), type (4), data, CRC-32 of type and data
//   IHDR       width, height (4 bytes each, big-endian), bit depth 8, colour type 2 (RGB),
//              compression 0, filter 0, interlace 0
//   IDAT       the zlib stream of the rows, top row first, each a filter byte 0 and its RGB bytes
//   IEND       no data
#include "readback/png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "codec/image_format.h"

namespace {

constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kChannels = 3;
constexpr std::size_t kHeaderSize = 13;
constexpr std::size_t kChunkOverhead = 12; // length, type, CRC

void putU32Be(std::uint8_t* out, std::uint32_t value) {
    out[0] = static_cast<std::uint8_t>(value >> 24);
    out[1] = static_cast<std::uint8_t>(value >> 16);
    out[2] = static_cast<std::uint8_t>(value >> 8);
    out[3] = static_cast<std::uint8_t>(value);
}

// Appends a chunk whose data is already in place after its length and type fields: at
// png.data[start + 8], size bytes.
void closeChunk(ByteBuffer& png, std::size_t start, const char* type, std::size_t size) {
    std::uint8_t* chunk = png.data.get() + start;
    putU32Be(chunk, static_cast<std::uint32_t>(size));
    for (int i = 0; i < 4; ++i) {
        chunk[4 + i] = static_cast<std::uint8_t>(type[i]);
    }
    const uLong crc = crc32(crc32(0, Z_NULL, 0), chunk + 4, static_cast<uInt>(4 + size));
    putU32Be(chunk + 8 + size, static_cast<std::uint32_t>(crc));
    png.size = start + kChunkOverhead + size;
}

// The rows as PNG filters them: a filter byte 0 (none), then each pixel widened to RGB.
bool filteredRows(const Rgb565Image& image, ByteBuffer& rows) {
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    const std::size_t stride = 1 + kChannels * width;
    if (!reserveBytes(rows, stride * height)) {
        return false;
    }
    std::uint8_t* out = rows.data.get();
    const std::uint8_t* in = image.pixels;
    for (std::size_t y = 0; y < height; ++y) {
        *out++ = 0;
        for (std::size_t x = 0; x < width; ++x, in += 2) {
            const Rgb8 pixel = widenRgb565(loadU16Le(in));
            *out++ = pixel.r;
            *out++ = pixel.g;
            *out++ = pixel.b;
        }
    }
    rows.size = stride * height;
    return true;
}

} // namespace

bool encodePng(const Rgb565Image& image, ByteBuffer& png, std::string& error) {
    png = ByteBuffer{};
    // The decoder's pixel limit keeps the rows far below what zlib's 32-bit sizes can take.
    const std::uint64_t rowBytes = static_cast<std::uint64_t>(image.height) *
                                   (1 + kChannels * static_cast<std::uint64_t>(image.width));
    if (image.width <= 0 || image.height <= 0 || rowBytes > UINT32_MAX / 2) {
        error = "the image is too large for a PNG here";
        return false;
    }
    ByteBuffer rows;
    if (!filteredRows(image, rows)) {
        error = "out of memory for the pixels";
        return false;
    }
    const uLong bound = compressBound(static_cast<uLong>(rows.size));
    const std::size_t idatAt = sizeof kSignature + kChunkOverhead + kHeaderSize;
    if (!reserveBytes(png, idatAt + kChunkOverhead + bound + kChunkOverhead)) {
        error = "out of memory for the PNG data";
        return false;
    }
    std::uint8_t* out = png.data.get();
    std::copy(std::begin(kSignature), std::end(kSignature), out);
    std::uint8_t* header = out + sizeof kSignature + 8;
    putU32Be(header, static_cast<std::uint32_t>(image.width));
    putU32Be(header + 4, static_cast<std::uint32_t>(image.height));
    const std::uint8_t rest[] = {8, 2, 0, 0, 0};
    std::copy(std::begin(rest), std::end(rest), header + 8);
    closeChunk(png, sizeof kSignature, "IHDR", kHeaderSize);

    uLongf packed = bound;
    const int rc = compress2(out + idatAt + 8, &packed, rows.data.get(),
                             static_cast<uLong>(rows.size), Z_DEFAULT_COMPRESSION);
    if (rc != Z_OK) {
        error = std::string("PNG encoding failed: ") + zError(rc);
        png = ByteBuffer{};
        return false;
    }
    closeChunk(png, idatAt, "IDAT", packed);
    closeChunk(png, png.size, "IEND", 0);
    return true;
}
