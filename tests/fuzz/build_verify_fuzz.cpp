// libFuzzer target: theme-inspect's verify on arbitrary bytes. The input is cut into Index.bin
// and up to three Theme.bin files (themes 0, 1 and 2), each given as a 2-byte little-endian
// length and then its bytes; the last part takes what is left. Besides not crashing, verify must
// name offsets inside the files, every copy it calls valid must decode to the size that its
// header gives, and the device reader must agree with it on every slot it judged: the reader
// opens and walks every copy verify calls valid, and refuses every other one unless that breaks
// only a rule the reader leaves out (breaksOnlyARuleTheReaderLeavesOut).
#include <cstddef>
#include <cstdint>
#include <span>

#include "codec/rle_decoder.h"
#include "device/theme_reader.h"
#include "fuzz_check.h"
#include "readback/build_check.h"
#include "readback/copy_png.h"

namespace {

// What the device reader makes of the slot: THEME_OK when it opens and walks the whole image.
theme_status readerVerdict(std::span<const std::uint8_t> theme, const IndexImage& image) {
    const theme_slot slot{static_cast<std::uint32_t>(image.slotStart), image.slotSize};
    theme_image opened;
    const theme_status status =
        theme_image_open(&opened, theme.data(), static_cast<std::uint32_t>(theme.size()), slot);
    return status != THEME_OK ? status : theme_image_check(&opened);
}

// Two rules of the format that verify applies and the reader does not need for drawing: the
// padding unit that makes an RLE4 image whole 32-bit words (a slot that ends before it is also a
// fault of its index entry), and the 4 GiB an image may decode to at most. True when slot breaks
// one of them and no other rule.
bool breaksOnlyARuleTheReaderLeavesOut(std::span<const std::uint8_t> slot) {
    RleImageExtent extent;
    if (checkRleImage(slot, RunMode::kRows, extent) == RleDecodeFailure::kImageTooLarge) {
        return true;
    }
    std::vector<std::uint8_t> padded(slot.begin(), slot.end());
    padded.resize(padded.size() + 2);
    return checkRleImage(padded, RunMode::kRows, extent) == RleDecodeFailure::kNone;
}

void checkCopies(const BuildCheck& check, std::span<const std::uint8_t> theme,
                 const std::vector<SlotCopy>& copies) {
    for (std::size_t k = 0; k < copies.size(); ++k) {
        const IndexImage& image = check.layout.images[k];
        Rgb565Image pixels;
        std::string error;
        const SlotCopy& copy = copies[k];
        if (copy.state == CopyState::kUnchecked) {
            continue;
        }
        const auto slot = theme.subspan(static_cast<std::size_t>(image.slotStart), image.slotSize);
        const bool drawn = readerVerdict(theme, image) == THEME_OK;
        FUZZ_CHECK((copy.state == CopyState::kValid) == drawn ||
                   (drawn && breaksOnlyARuleTheReaderLeavesOut(slot)));
        if (copy.state != CopyState::kValid ||
            std::uint64_t(copy.header.width) * std::uint64_t(copy.header.height) >
                kMaxImagePixels) {
            continue;
        }
        FUZZ_CHECK(copyPixels(slot, copy, pixels, error));
        FUZZ_CHECK(pixels.pri0Block.empty() ||
                   pixels.pri0Block.size() == 16 + 2 * std::uint64_t(copy.header.width) *
                                                       std::uint64_t(copy.header.height));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> input(data, size);
    const auto index = takePart(input);
    std::size_t lengths[4] = {index.size(), 0, 0, 0};
    BuildCheck check;
    checkIndex(index, check);
    for (int theme = 0; theme < 3 && !input.empty(); ++theme) {
        const auto bytes = takePart(input);
        lengths[theme + 1] = bytes.size();
        checkCopies(check, bytes, checkTheme(bytes, theme, check));
    }
    finishCheck(check);
    for (const Fault& fault : check.faults) {
        FUZZ_CHECK(fault.file >= kIndexFile && fault.file < 3);
        FUZZ_CHECK(fault.offset <= lengths[fault.file + 1]);
    }
    return 0;
}
