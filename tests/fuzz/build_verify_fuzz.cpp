// libFuzzer target: theme-inspect's verify on arbitrary bytes. The input is cut into Index.bin
// and up to three Theme.bin files (themes 0, 1 and 2), each given as a 2-byte little-endian
// length and then its bytes; the last part takes what is left. Besides not crashing, verify must
// name offsets inside the files, and every copy it calls valid must decode to the size that its
// header gives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/byte_order.h"
#include "fuzz_check.h"
#include "readback/build_check.h"
#include "readback/copy_png.h"

namespace {

std::span<const std::uint8_t> takePart(std::span<const std::uint8_t>& input) {
    if (input.size() < 2) {
        const auto rest = input;
        input = {};
        return rest;
    }
    const std::size_t length = std::min<std::size_t>(loadU16Le(input.data()), input.size() - 2);
    input = input.subspan(2);
    const auto part = input.first(length);
    input = input.subspan(length);
    return part;
}

void checkCopies(const BuildCheck& check, std::span<const std::uint8_t> theme,
                 const std::vector<SlotCopy>& copies) {
    for (std::size_t k = 0; k < copies.size(); ++k) {
        const IndexImage& image = check.layout.images[k];
        Rgb565Image pixels;
        std::string error;
        const SlotCopy& copy = copies[k];
        if (copy.state != CopyState::kValid ||
            std::uint64_t(copy.header.width) * std::uint64_t(copy.header.height) >
                kMaxImagePixels) {
            continue;
        }
        FUZZ_CHECK(
            copyPixels(theme.subspan(static_cast<std::size_t>(image.slotStart), image.slotSize),
                       copy, pixels, error));
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
