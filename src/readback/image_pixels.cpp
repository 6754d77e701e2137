// A PRI0 copy is read where it lies; a run-length encoded one is decoded by the codec, after its
// size is bounded here.
#include "readback/image_pixels.h"

#include "codec/rle_decoder.h"

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
    if (!decodeRleImage(slot, 1, decoded)) {
        error = rleDecodeFailureText(decoded.failure);
        return false;
    }
    image.pri0Block = std::move(decoded.pri0Block);
    image.pixels = image.pri0Block.data() + kImageHeaderSize;
    return true;
}
