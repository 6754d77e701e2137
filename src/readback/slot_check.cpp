// The image rules of a slot. The runs are judged by the codec's own checkRleImage, which also
// tells where a stream fails, so that this tool and the decoder never disagree on what a valid
// stream is; this file adds the rules of the bins (16-bit pixels, at least one pixel, 'P' fill).
#include "readback/slot_check.h"

#include <algorithm>

#include "codec/rle_decoder.h"
#include "gzip/gzip_stream.h"
#include "output/bin_format.h"
#include "readback/text_forms.h"

namespace {

constexpr int kBinBitsPerPixel = 16;

void addFault(std::vector<Fault>& faults, int theme, std::uint64_t offset, std::string rule) {
    faults.push_back({theme, offset, std::move(rule)});
}

// The header rules that every image of a bin meets, whatever its form.
bool checkHeader(const ImageHeader& header, std::uint64_t slotStart, int theme,
                 std::vector<Fault>& faults) {
    if (header.bitsPerPixel != kBinBitsPerPixel) {
        addFault(faults, theme, slotStart + kBitsPerPixelAt,
                 "bitsPerPixel is " + std::to_string(header.bitsPerPixel) +
                     ", but the images of a bin have 16");
        return false;
    }
    if (header.width < 1 || header.height < 1) {
        const bool width = header.width < 1;
        addFault(faults, theme, slotStart + (width ? kWidthAt : kHeightAt),
                 std::string(width ? "width" : "height") + " is " +
                     std::to_string(width ? header.width : header.height) +
                     ", but an image is at least one pixel wide and high");
        return false;
    }
    return true;
}

bool checkPri0(std::span<const std::uint8_t> slot, std::uint64_t slotStart, int theme,
               SlotCopy& copy, std::vector<Fault>& faults) {
    const ImageHeader& header = copy.header;
    const std::uint64_t size = pri0BlockSize(header);
    if (size > slot.size()) {
        addFault(faults, theme, slotStart,
                 "a PRI0 image of " + std::to_string(header.width) + "x" +
                     std::to_string(header.height) + " pixels takes " + std::to_string(size) +
                     " bytes, more than its slot's " + std::to_string(slot.size()));
        return false;
    }
    copy.encodedSize = static_cast<std::uint32_t>(size);
    return true;
}

bool checkRle(std::span<const std::uint8_t> slot, std::uint64_t slotStart, int theme,
              SlotCopy& copy, std::vector<Fault>& faults) {
    RleImageExtent extent;
    const RleDecodeFailure failure = checkRleImage(slot, RunMode::kRows, extent);
    if (failure == RleDecodeFailure::kNone) {
        copy.encodedSize = static_cast<std::uint32_t>(extent.blobSize);
        return true;
    }
    const std::string where = failure == RleDecodeFailure::kTruncatedRuns ? " (its slot ends first)"
                              : failure == RleDecodeFailure::kImageTooLarge ? ""
                                                                            : " (this run)";
    addFault(faults, theme, slotStart + extent.faultOffset, rleDecodeFailureText(failure) + where);
    return false;
}

void checkFill(std::span<const std::uint8_t> slot, std::uint64_t slotStart, int theme,
               std::uint32_t imageSize, std::vector<Fault>& faults) {
    const auto stray = std::find_if(slot.begin() + imageSize, slot.end(),
                                    [](std::uint8_t b) { return b != kSlotFill; });
    if (stray != slot.end()) {
        addFault(faults, theme, slotStart + static_cast<std::uint64_t>(stray - slot.begin()),
                 "byte " + hexNumber(*stray, 2) +
                     " in the fill after the image, where only 'P' "
                     "bytes belong");
    }
}

} // namespace

SlotCopy checkSlot(std::span<const std::uint8_t> slot, std::uint64_t slotStart, int theme,
                   std::vector<Fault>& faults) {
    SlotCopy copy;
    copy.header = readImageHeader(slot.data());
    copy.state = CopyState::kInvalid;
    const std::size_t before = faults.size();
    const std::uint32_t magic = copy.header.magic;
    bool valid = false;
    // RLE5 is the codec's form of other depths: no bin holds it, and the device reader refuses it.
    if (magic != kPri0Magic && magic != kRle4Magic) {
        const std::string text(reinterpret_cast<const char*>(slot.data()), 4);
        addFault(faults, theme, slotStart,
                 "the magic \"" + displayName(text) + "\" is neither PRI0 nor RLE4");
    } else if (checkHeader(copy.header, slotStart, theme, faults)) {
        valid = magic == kPri0Magic ? checkPri0(slot, slotStart, theme, copy, faults)
                                    : checkRle(slot, slotStart, theme, copy, faults);
    }
    if (!valid) {
        copy.fault = faults[before].rule;
        return copy;
    }
    copy.state = CopyState::kValid;
    copy.crc32 = crc32Of(slot.first(copy.encodedSize));
    checkFill(slot, slotStart, theme, copy.encodedSize, faults);
    return copy;
}
