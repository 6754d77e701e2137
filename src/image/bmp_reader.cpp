// BMP header checks and pixel conversion. Every check lives in readBmpLayout so that a caller can
// learn why a file fails before it allocates the output; the conversion then cannot fail.
#include "image/bmp_reader.h"

#include <algorithm>
#include <limits>

#include "codec/image_format.h"
#include "common/byte_order.h"
#include "common/checked_size.h"
#include "image/rgb565_rows.h"

namespace {

constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint64_t kPixelOffsetField = 10;
constexpr std::uint64_t kInfoSizeField = 14;
constexpr std::uint64_t kColoursUsedField = 46;
constexpr std::uint64_t kMasksField = 54;
constexpr std::uint64_t kAlphaMaskField = 66;
constexpr std::uint32_t kAlphaBitfields = 6;
constexpr std::uint32_t kShortInfoSize = 12;
constexpr std::uint32_t kLongInfoSize = 40;
constexpr std::uint32_t kLongMasksInfoSize = 56;
constexpr std::uint64_t kMaxColourTableBytes = 256 * 4;

struct BmpHeader {
    std::uint32_t infoSize = 0;
    std::int32_t width = 0;
    std::int32_t height = 0; // rows, never negative
    bool topDown = false;
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
};

ImageResult readLongForm(std::span<const std::uint8_t> bytes, BmpHeader& header) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!readU32Le(bytes, 18, width) || !readU32Le(bytes, 22, height) ||
        !readU16Le(bytes, 28, header.bitsPerPixel) || !readU32Le(bytes, 30, header.compression)) {
        return ImageResult::kTruncated;
    }
    const auto signedWidth = static_cast<std::int32_t>(width);
    const auto signedHeight = static_cast<std::int32_t>(height);
    // A height of INT32_MIN has no row count: its absolute value does not exist.
    if (signedWidth <= 0 || signedHeight == std::numeric_limits<std::int32_t>::min()) {
        return ImageResult::kBadDimensions;
    }
    header.width = signedWidth;
    header.topDown = signedHeight < 0;
    header.height = header.topDown ? -signedHeight : signedHeight;
    return ImageResult::kOk;
}

ImageResult readShortForm(std::span<const std::uint8_t> bytes, BmpHeader& header) {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    if (!readU16Le(bytes, 18, width) || !readU16Le(bytes, 20, height) ||
        !readU16Le(bytes, 24, header.bitsPerPixel)) {
        return ImageResult::kTruncated;
    }
    if (width == 0) {
        return ImageResult::kBadDimensions;
    }
    header.width = width;
    header.height = height;
    header.compression = 0;
    return ImageResult::kOk;
}

/// The checks parseBmpHeader makes: signature, info header size, the fixed fields present, and a
/// width and height that stand for a row count.
ImageResult readBmpHeader(std::span<const std::uint8_t> bytes, BmpHeader& header) {
    if (bytes.size() < 2 || bytes[0] != 0x42 || bytes[1] != 0x4D) {
        return ImageResult::kBadSignature;
    }
    if (!readU32Le(bytes, kInfoSizeField, header.infoSize)) {
        return ImageResult::kTruncated;
    }
    if (header.infoSize == kLongInfoSize || header.infoSize == kLongMasksInfoSize) {
        return readLongForm(bytes, header);
    }
    if (header.infoSize == kShortInfoSize) {
        return readShortForm(bytes, header);
    }
    return ImageResult::kUnsupportedHeaderSize;
}

ImageResult pixelForm(const BmpHeader& header, BmpPixelForm& form) {
    const bool palette =
        header.bitsPerPixel == 1 || header.bitsPerPixel == 4 || header.bitsPerPixel == 8;
    if (palette && header.compression != 0) {
        return ImageResult::kCompressedPalette; // RLE8 and RLE4 are not read
    }
    switch (header.bitsPerPixel) {
    case 1:
        form = BmpPixelForm::kPalette1;
        return ImageResult::kOk;
    case 4:
        form = BmpPixelForm::kPalette4;
        return ImageResult::kOk;
    case 8:
        form = BmpPixelForm::kPalette8;
        return ImageResult::kOk;
    case 16:
        form = header.compression == 0 ? BmpPixelForm::kRgb555 : BmpPixelForm::kRgb565;
        return ImageResult::kOk;
    case 24:
        form = BmpPixelForm::kBgr24;
        return ImageResult::kOk;
    case 32:
        form = BmpPixelForm::kBgrx32;
        return ImageResult::kOk;
    default:
        return ImageResult::kUnsupportedDepth;
    }
}

bool isPaletteForm(BmpPixelForm form) {
    return form == BmpPixelForm::kPalette1 || form == BmpPixelForm::kPalette4 ||
           form == BmpPixelForm::kPalette8;
}

/// Sets end to one past the last byte the conversion reads. Returns false when that is beyond
/// 64 bits, which no file reaches.
bool pixelArrayEnd(const BmpLayout& layout, std::uint64_t& end) {
    return layout.height > 0 &&
           mulAddU64(layout.stride, static_cast<std::uint64_t>(layout.height - 1),
                     layout.pixelOffset + storedRowBytes(layout), end);
}

/// True when the pixel array lies inside the first fileSize bytes of the file.
bool pixelArrayFits(const BmpLayout& layout, std::uint64_t fileSize) {
    std::uint64_t end = 0;
    return pixelArrayEnd(layout, end) && end <= fileSize;
}

/// The k-th row in file order.
const std::uint8_t* storedRow(std::span<const std::uint8_t> bytes, const BmpLayout& layout,
                              std::int32_t k) {
    return bytes.data() + storedRowOffset(layout, k);
}

/// Image editors write 5-5-5 pixels with a non-zero compression code and the masks that say so;
/// only then are the masks looked at.
bool hasRgb555Masks(std::span<const std::uint8_t> bytes, const BmpHeader& header,
                    std::uint32_t pixelOffset) {
    const bool present = header.infoSize == kLongMasksInfoSize ||
                         (header.infoSize == kLongInfoSize && pixelOffset >= kMasksField + 12);
    std::uint32_t red = 0;
    std::uint32_t green = 0;
    std::uint32_t blue = 0;
    return present && readU32Le(bytes, kMasksField, red) &&
           readU32Le(bytes, kMasksField + 4, green) && readU32Le(bytes, kMasksField + 8, blue) &&
           red == 0x7C00 && green == 0x03E0 && blue == 0x001F;
}

/// The alpha mask's bits in the fourth byte of a 32-bit pixel, where the header gives one.
std::uint8_t alphaMaskOf(std::span<const std::uint8_t> bytes, const BmpHeader& header,
                         std::uint32_t pixelOffset) {
    const bool present =
        header.infoSize == kLongMasksInfoSize ||
        (header.infoSize == kLongInfoSize && header.compression == kAlphaBitfields &&
         pixelOffset >= kAlphaMaskField + 4);
    std::uint32_t mask = 0;
    return present && readU32Le(bytes, kAlphaMaskField, mask)
               ? static_cast<std::uint8_t>(mask >> 24)
               : 0;
}

/// Fills the converted colour table. The table runs from the end of the info header up to the
/// pixel array at most, so it is inside the file whenever the pixel array is.
void readColourTable(std::span<const std::uint8_t> bytes, const BmpHeader& header,
                     BmpLayout& layout) {
    const std::uint64_t tableStart = kFileHeaderSize + header.infoSize;
    const bool shortForm = header.infoSize == kShortInfoSize;
    const std::uint64_t entrySize = shortForm ? 3 : 4;
    const std::uint32_t fullCount = 1u << header.bitsPerPixel;
    std::uint32_t count = fullCount;
    std::uint32_t coloursUsed = 0;
    if (!shortForm && readU32Le(bytes, kColoursUsedField, coloursUsed) && coloursUsed != 0 &&
        coloursUsed <= fullCount) {
        count = coloursUsed;
    }
    const std::uint64_t room = (layout.pixelOffset - tableStart) / entrySize;
    if (room < count) {
        count = static_cast<std::uint32_t>(room);
    }
    layout.paletteCount = count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = bytes.data() + tableStart + i * entrySize;
        layout.palette[i] = rgb565(entry[0], entry[1], entry[2]);
    }
}

bool paletteRowFits(const BmpLayout& layout, const std::uint8_t* row) {
    for (std::int32_t x = 0; x < layout.width; ++x) {
        if (paletteIndex(row, static_cast<std::size_t>(x), layout.bitsPerPixel) >=
            layout.paletteCount) {
            return false;
        }
    }
    return true;
}

// A full colour table holds every index a pixel can have: its rows need no check.
bool indicesChecked(const BmpLayout& layout) {
    return !isPaletteForm(layout.form) || layout.paletteCount >= (1u << layout.bitsPerPixel);
}

bool paletteIndicesFit(std::span<const std::uint8_t> bytes, const BmpLayout& layout) {
    for (std::int32_t k = 0; !indicesChecked(layout) && k < layout.height; ++k) {
        if (!paletteRowFits(layout, storedRow(bytes, layout, k))) {
            return false;
        }
    }
    return true;
}

void convertRow(const BmpLayout& layout, const std::uint8_t* source, std::uint8_t* out) {
    const auto width = static_cast<std::size_t>(layout.width);
    switch (layout.form) {
    case BmpPixelForm::kBgr24:
        convertRowBgr24(source, out, width);
        break;
    case BmpPixelForm::kBgrx32:
        convertRowBgrx32(source, out, width);
        break;
    case BmpPixelForm::kRgb555:
        convertRowRgb555(source, out, width);
        break;
    case BmpPixelForm::kRgb565:
        convertRowRgb565(source, out, width);
        break;
    case BmpPixelForm::kPalette1:
    case BmpPixelForm::kPalette4:
    case BmpPixelForm::kPalette8:
        convertRowPalette(source, out, width, layout.bitsPerPixel, layout.palette.data());
        break;
    }
}

/// The layout as far as the headers tell it, checked against a file of fileSize bytes whose
/// first bytes head holds.
ImageResult readLayoutFromHeaders(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                                  BmpHeader& header, BmpLayout& layout) {
    if (const ImageResult result = readBmpHeader(head, header); result != ImageResult::kOk) {
        return result;
    }
    if (header.height == 0) {
        return ImageResult::kBadDimensions;
    }
    if (const ImageResult result = pixelForm(header, layout.form); result != ImageResult::kOk) {
        return result;
    }
    if (!readU32Le(head, kPixelOffsetField, layout.pixelOffset)) {
        return ImageResult::kTruncated;
    }
    if (layout.pixelOffset < kFileHeaderSize + header.infoSize) {
        return ImageResult::kPixelOffsetInHeaders;
    }
    const std::uint64_t width = static_cast<std::uint64_t>(header.width);
    const std::uint64_t pri0Size = pri0BlockSize({kPri0Magic, header.width, header.height, 16});
    if (pri0Size > kMaxStoredSize) {
        return ImageResult::kTooLarge;
    }
    layout.width = header.width;
    layout.height = header.height;
    layout.topDown = header.topDown;
    layout.bitsPerPixel = header.bitsPerPixel;
    layout.outputSize = static_cast<std::uint32_t>(pri0Size - kImageHeaderSize);
    layout.stride = (width * header.bitsPerPixel + 31) / 32 * 4;
    if (!pixelArrayFits(layout, fileSize)) {
        return ImageResult::kTruncated;
    }
    return ImageResult::kOk;
}

} // namespace

int parseBmpHeader(std::span<const std::uint8_t> fileBytes, std::int32_t& width,
                   std::int32_t& height) {
    BmpHeader header;
    if (readBmpHeader(fileBytes, header) != ImageResult::kOk) {
        return 0;
    }
    width = header.width;
    height = header.height;
    return 1;
}

ImageResult readBmpFrame(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                         BmpFrame& frame) {
    BmpHeader header;
    BmpLayout layout;
    const ImageResult result = readLayoutFromHeaders(head, fileSize, header, layout);
    if (result == ImageResult::kOk) {
        frame = {layout.width, layout.height, 0, 0};
        pixelArrayEnd(layout, frame.bytesNeeded);
        // The masks end at 66 and the colour table at most 1024 bytes after the info header,
        // both before the pixel array.
        const std::uint64_t end = kFileHeaderSize + header.infoSize + kMaxColourTableBytes;
        frame.headerBytes = std::min<std::uint64_t>(layout.pixelOffset, end);
    }
    return result;
}

ImageResult readBmpLayout(std::span<const std::uint8_t> head, std::uint64_t fileSize,
                          BmpLayout& layout) {
    layout = BmpLayout{};
    BmpHeader header;
    const ImageResult result = readLayoutFromHeaders(head, fileSize, header, layout);
    if (result != ImageResult::kOk) {
        return result;
    }
    if (layout.form == BmpPixelForm::kRgb565 && hasRgb555Masks(head, header, layout.pixelOffset)) {
        layout.form = BmpPixelForm::kRgb555;
    }
    if (isPaletteForm(layout.form)) {
        readColourTable(head, header, layout);
    }
    if (layout.form == BmpPixelForm::kBgrx32) {
        layout.alphaMask = alphaMaskOf(head, header, layout.pixelOffset);
    }
    return ImageResult::kOk;
}

ImageResult readBmpLayout(std::span<const std::uint8_t> fileBytes, BmpLayout& layout) {
    const ImageResult result = readBmpLayout(fileBytes, fileBytes.size(), layout);
    if (result == ImageResult::kOk && !paletteIndicesFit(fileBytes, layout)) {
        return ImageResult::kBadPaletteIndex;
    }
    return result;
}

std::uint64_t storedRowOffset(const BmpLayout& layout, std::int32_t k) {
    return layout.pixelOffset + static_cast<std::uint64_t>(k) * layout.stride;
}

std::uint64_t storedRowBytes(const BmpLayout& layout) {
    return (static_cast<std::uint64_t>(layout.width) * layout.bitsPerPixel + 7) / 8;
}

bool convertBmpRow(const BmpLayout& layout, const std::uint8_t* source, std::uint8_t* out) {
    if (!indicesChecked(layout) && !paletteRowFits(layout, source)) {
        return false;
    }
    convertRow(layout, source, out);
    return true;
}

int convertBmpPixels(std::span<const std::uint8_t> fileBytes, const BmpLayout& layout,
                     std::span<std::uint8_t> pixels) {
    if (pixels.size() < layout.outputSize || !pixelArrayFits(layout, fileBytes.size())) {
        return 0;
    }
    const std::size_t outRow = 2 * static_cast<std::size_t>(layout.width);
    for (std::int32_t k = 0; k < layout.height; ++k) {
        const std::int32_t y = layout.topDown ? k : layout.height - 1 - k;
        convertRow(layout, storedRow(fileBytes, layout, k),
                   pixels.data() + static_cast<std::size_t>(y) * outRow);
    }
    return 1;
}

int convertBmpPixels(std::span<const std::uint8_t> fileBytes, std::span<std::uint8_t> pixels) {
    BmpLayout layout;
    if (readBmpLayout(fileBytes, layout) != ImageResult::kOk) {
        return 0;
    }
    return convertBmpPixels(fileBytes, layout, pixels);
}

void noteFourthBytes(const BmpLayout& layout, const std::uint8_t* source, FourthBytes& seen) {
    if (layout.form != BmpPixelForm::kBgrx32) {
        return;
    }
    const std::uint8_t* end = source + 4 * static_cast<std::size_t>(layout.width);
    for (const std::uint8_t* pixel = source; pixel != end; pixel += 4) {
        seen.lowest = std::min(seen.lowest, pixel[3]);
        seen.highest = std::max(seen.highest, pixel[3]);
    }
}

bool losesTransparency(const BmpLayout& layout, FourthBytes seen) {
    if (layout.form != BmpPixelForm::kBgrx32) {
        return false;
    }
    const std::uint8_t mask = layout.alphaMask;
    return seen.lowest != seen.highest ||
           (mask != 0 && seen.lowest != 0 && (seen.lowest & mask) != mask);
}

std::string bmpRefusalDetail(std::span<const std::uint8_t> head, ImageResult result) {
    BmpHeader header;
    const bool headerRead = readBmpHeader(head, header) == ImageResult::kOk;
    switch (result) {
    case ImageResult::kUnsupportedHeaderSize: {
        const std::string size = std::to_string(header.infoSize);
        std::string detail = size + " bytes (12, 40 and 56 are read)";
        // Image editors write the larger headers by default; the pixels would be read alike.
        if (header.infoSize == 108 || header.infoSize == 124) {
            detail += "; a " + size +
                      "-byte header holds colour-space information: save the image without it "
                      "(GIMP: Export As, Compatibility Options, \"Do not write color space "
                      "information\"; ImageMagick: convert IN.bmp BMP3:OUT.bmp)";
        }
        return detail;
    }
    case ImageResult::kTooLarge:
        return headerRead ? bmpDimensions(header.width, header.height) +
                                "; an image may have at most 2,147,483,639 pixels (16 bytes "
                                "and 2 a pixel must fit in 32 bits)"
                          : "";
    case ImageResult::kUnsupportedDepth:
        return headerRead
                   ? std::to_string(header.bitsPerPixel) + " bits (1, 4, 8, 16, 24 and 32 are read)"
                   : "";
    default:
        return "";
    }
}

std::string bmpDimensions(std::int32_t width, std::int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}
