// The RLE decoder on any bytes, in both modes: it must agree with its non-allocating check,
// leave nothing behind when it refuses, and what it accepts must encode and decode to the same
// pixels again.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "codec/rle_encoder.h"
#include "fuzz_check.h"

namespace {

// Larger images take longer to write out and reach no code that smaller ones do not.
constexpr std::uint64_t kMaxPri0Bytes = 1u << 20;

// The mode the decoder read the blob in: RLE4 and 32-bit RLE5 rows, else word mode.
int modeOf(const ImageHeader& header, int rowMode) {
    const bool rows = header.magic == kRle4Magic || (rowMode != 0 && header.bitsPerPixel == 32);
    return rows ? 1 : 0;
}

void expectReencodes(const std::vector<std::uint8_t>& block, std::uint32_t magic, int rowMode) {
    const ImageHeader header = readImageHeader(block.data());
    const int mode = modeOf({magic, header.width, header.height, header.bitsPerPixel}, rowMode);
    const std::uint64_t bound =
        rleImageSizeBound(header.width, header.height, header.bitsPerPixel, mode);
    FUZZ_CHECK(bound >= kImageHeaderSize);
    std::vector<std::uint8_t> encoded(static_cast<std::size_t>(bound));
    const int words = encodeRleImage(block.data(), encoded.data(), mode);
    FUZZ_CHECK(words >= 4);
    RleDecodeResult again;
    const std::span<const std::uint8_t> blob(encoded.data(), static_cast<std::size_t>(words) * 4);
    FUZZ_CHECK(decodeRleImage(blob, mode, again, kMaxPri0Bytes));
    FUZZ_CHECK(again.pri0Block == block);
}

void decodeInMode(std::span<const std::uint8_t> blob, int rowMode) {
    RleImageExtent extent;
    const RleDecodeFailure checked = checkRleImage(blob, rowMode, extent);
    RleDecodeResult decoded;
    const bool accepted = decodeRleImage(blob, rowMode, decoded, kMaxPri0Bytes);
    FUZZ_CHECK(accepted == (decoded.failure == RleDecodeFailure::kNone));
    if (checked == RleDecodeFailure::kNone && extent.pri0Size > kMaxPri0Bytes) {
        FUZZ_CHECK(decoded.failure == RleDecodeFailure::kOverLimit);
    } else {
        FUZZ_CHECK(decoded.failure == checked);
    }
    if (!accepted) {
        FUZZ_CHECK(decoded.pri0Block.empty() && decoded.blobSize == 0);
        return;
    }
    FUZZ_CHECK(decoded.blobSize == extent.blobSize && decoded.blobSize <= blob.size());
    FUZZ_CHECK(decoded.pri0Block.size() == extent.pri0Size);
    expectReencodes(decoded.pri0Block, readImageHeader(blob.data()).magic, rowMode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decodeInMode({data, size}, 0);
    decodeInMode({data, size}, 1);
    return 0;
}
