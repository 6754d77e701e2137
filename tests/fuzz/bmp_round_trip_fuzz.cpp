// BMP bytes through the packager's whole image path: the header and layout checks, the
// conversion to RGB565, the RLE encoder in row mode (what the bins hold) and in word mode, and
// the decoder, which must give back exactly the converted pixels.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "image/bmp_reader.h"
#include "support/rle_check.h"

namespace {

void expectRoundTrip(const std::vector<std::uint8_t>& block, RunMode mode) {
    const ImageHeader header = readImageHeader(block.data());
    const std::vector<std::uint8_t> blob = encodeBlock(block, mode);
    FUZZ_CHECK(blob.size() >= kImageHeaderSize &&
               blob.size() <=
                   rleImageSizeBound(header.width, header.height, header.bitsPerPixel, mode));
    RleDecodeResult decoded;
    FUZZ_CHECK(decodeRleImage(blob, mode, decoded, block.size()));
    FUZZ_CHECK(decoded.blobSize == blob.size());
    FUZZ_CHECK(decoded.pri0Block == block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    BmpLayout layout;
    if (readBmpLayout(file, layout) != ImageResult::kOk) {
        return 0;
    }
    // Image conversion's flat PRI0 block: the header, then the converted rows.
    std::vector<std::uint8_t> block(kImageHeaderSize + layout.outputSize);
    writeImageHeader(block.data(), {kPri0Magic, layout.width, layout.height, 16});
    const std::span<std::uint8_t> pixels = std::span(block).subspan(kImageHeaderSize);
    FUZZ_CHECK(convertBmpPixels(file, layout, pixels) == 1); // an accepted layout converts
    std::vector<std::uint8_t> again(layout.outputSize);
    FUZZ_CHECK(convertBmpPixels(file, again) == 1);
    FUZZ_CHECK(std::equal(again.begin(), again.end(), pixels.begin()));
    expectRoundTrip(block, RunMode::kRows);
    expectRoundTrip(block, RunMode::kWords);
    return 0;
}
