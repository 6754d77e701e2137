// The RLE4/RLE5 decoder. Every unit is read through a bounds check against the blob. The runs
// are checked in a first pass that writes nothing, so that the output, sized from the header, is
// allocated only for a blob whose runs really cover it, and only up to the caller's limit: a few
// bytes of header cannot make the decoder allocate gigabytes, and neither can a few hundred bytes
// of long repeat runs that really do cover a huge image.
#include "codec/rle_decoder.h"

#include <cstring>

#include "codec/image_format.h"
#include "common/checked_size.h"

namespace {

// How the runs cover the pixel area: rows of rowUnits units each; word mode is one row.
struct RunLayout {
    std::size_t unitBytes = 0;
    const RunFormat* format = nullptr;
    std::uint64_t rowUnits = 0;
    std::uint64_t rows = 0;
};

std::uint32_t loadControl(const std::uint8_t* bytes, std::size_t unitBytes) {
    return unitBytes == 2 ? loadU16Le(bytes) : loadU32Le(bytes);
}

// Checks the runs of every row and, when out is not null, writes their pixels to it. unitsRead
// gets the payload units the runs took, or on a fault the units before the run it is in.
RleDecodeFailure decodeRuns(std::span<const std::uint8_t> payload, const RunLayout& layout,
                            std::uint8_t* out, std::size_t& unitsRead) {
    const RunFormat& format = *layout.format;
    const std::size_t unitBytes = layout.unitBytes;
    const std::size_t available = payload.size() / unitBytes;
    std::size_t next = 0;
    for (std::uint64_t row = 0; row < layout.rows; ++row) {
        const bool lastRow = row + 1 == layout.rows;
        std::uint64_t covered = 0;
        bool rowEnd = false;
        while (!rowEnd) {
            unitsRead = next;
            if (next >= available) {
                return RleDecodeFailure::kTruncatedRuns;
            }
            const std::uint32_t control = loadControl(payload.data() + next * unitBytes, unitBytes);
            ++next;
            const std::uint32_t length = control & format.lengthMask;
            const bool repeat = (control & format.repeat) != 0;
            rowEnd = (control & format.rowEnd) != 0;
            const bool imageEnd = (control & format.imageEnd) != 0;
            if ((control & format.reserved) != 0) {
                return RleDecodeFailure::kReservedBits;
            }
            if (length == 0) {
                return RleDecodeFailure::kZeroLength;
            }
            if (length > layout.rowUnits - covered) {
                return RleDecodeFailure::kRunPastRowEnd;
            }
            const std::size_t dataUnits = repeat ? 1 : length;
            if (dataUnits > available - next) {
                return RleDecodeFailure::kTruncatedRuns;
            }
            if (out != nullptr) {
                const std::uint8_t* data = payload.data() + next * unitBytes;
                if (repeat) {
                    for (std::uint32_t i = 0; i < length; ++i) {
                        std::memcpy(out + i * unitBytes, data, unitBytes);
                    }
                } else {
                    std::memcpy(out, data, length * unitBytes);
                }
                out += length * unitBytes;
            }
            next += dataUnits;
            covered += length;
            const bool rowDone = covered == layout.rowUnits;
            if (rowEnd != rowDone) {
                return rowDone ? RleDecodeFailure::kMissingRowEnd : RleDecodeFailure::kEarlyRowEnd;
            }
            if (imageEnd != (rowEnd && lastRow)) {
                return imageEnd ? RleDecodeFailure::kMisplacedImageEnd
                                : RleDecodeFailure::kMissingImageEnd;
            }
        }
    }
    unitsRead = next;
    return RleDecodeFailure::kNone;
}

// Reads the header, picks the run layout and checks every run without writing anything.
RleDecodeFailure checkBlob(std::span<const std::uint8_t> blob, RunMode mode, RunLayout& layout,
                           RleImageExtent& extent) {
    extent.faultOffset = blob.size();
    if (blob.size() < kImageHeaderSize) {
        return RleDecodeFailure::kTruncatedHeader;
    }
    const RleImage image{readImageHeader(blob.data()), blob.subspan(kImageHeaderSize)};
    const ImageHeader& header = image.header;
    const bool hasRows = header.width > 0 && header.height > 0;
    if (header.magic == kRle4Magic) {
        if (header.bitsPerPixel != 16) {
            extent.faultOffset = kBitsPerPixelAt;
            return RleDecodeFailure::kBadBitsPerPixel;
        }
        layout = {2, &kRle4Runs, hasRows ? static_cast<std::uint64_t>(header.width) : 0,
                  hasRows ? static_cast<std::uint64_t>(header.height) : 0};
    } else if (header.magic == kRle5Magic && mode == RunMode::kRows && header.bitsPerPixel == 32) {
        layout = {4, &kRle5Runs, hasRows ? static_cast<std::uint64_t>(header.width) : 0,
                  hasRows ? static_cast<std::uint64_t>(header.height) : 0};
    } else if (header.magic == kRle5Magic) {
        const std::uint64_t words = pixelAreaWords(header);
        layout = {4, &kRle5Runs, words, words > 0 ? 1u : 0u};
    } else {
        extent.faultOffset = 0;
        return RleDecodeFailure::kBadMagic;
    }

    // Slot sizes in the bins are 32-bit, so no stored image can decode to more than that.
    const std::uint64_t pri0Size = pri0BlockSize(header);
    std::uint64_t rowBytes = 0;
    std::uint64_t decodedBytes = 0;
    if (pri0Size > kMaxStoredSize || !mulAddU64(layout.rowUnits, layout.unitBytes, 0, rowBytes) ||
        !mulAddU64(layout.rows, rowBytes, 0, decodedBytes) ||
        decodedBytes > kMaxStoredSize - kImageHeaderSize) {
        extent.faultOffset = kWidthAt;
        return RleDecodeFailure::kImageTooLarge;
    }
    std::size_t unitsRead = 0;
    const RleDecodeFailure failure = decodeRuns(image.payload, layout, nullptr, unitsRead);
    if (failure != RleDecodeFailure::kNone) {
        if (failure != RleDecodeFailure::kTruncatedRuns) {
            extent.faultOffset = kImageHeaderSize + unitsRead * layout.unitBytes;
        }
        return failure;
    }
    std::size_t payloadBytes = unitsRead * layout.unitBytes;
    if (payloadBytes % 4 != 0) {
        payloadBytes += 2; // the RLE4 padding unit
        if (payloadBytes > image.payload.size()) {
            return RleDecodeFailure::kTruncatedRuns;
        }
    }
    extent.blobSize = kImageHeaderSize + payloadBytes;
    extent.runBytes = decodedBytes;
    extent.pri0Size = pri0Size;
    extent.faultOffset = 0;
    return RleDecodeFailure::kNone;
}

RleDecodeFailure decodeInto(std::span<const std::uint8_t> blob, RunMode mode,
                            std::uint64_t maxPri0Bytes, RleDecodeResult& result) {
    RunLayout layout;
    RleImageExtent extent;
    const RleDecodeFailure failure = checkBlob(blob, mode, layout, extent);
    if (failure != RleDecodeFailure::kNone) {
        return failure;
    }
    if (extent.pri0Size > maxPri0Bytes) {
        return RleDecodeFailure::kOverLimit;
    }
    const ImageHeader header = readImageHeader(blob.data());
    std::size_t unitsRead = 0;
    // Word mode decodes whole words: up to 3 bytes past the pixel area, cut off below.
    result.pri0Block.resize(static_cast<std::size_t>(kImageHeaderSize + extent.runBytes));
    decodeRuns(blob.subspan(kImageHeaderSize), layout, result.pri0Block.data() + kImageHeaderSize,
               unitsRead);
    result.pri0Block.resize(static_cast<std::size_t>(extent.pri0Size));
    writeImageHeader(result.pri0Block.data(),
                     {kPri0Magic, header.width, header.height, header.bitsPerPixel});
    result.blobSize = extent.blobSize;
    return RleDecodeFailure::kNone;
}

} // namespace

const char* rleDecodeFailureText(RleDecodeFailure failure) {
    switch (failure) {
    case RleDecodeFailure::kNone:
        return "no failure";
    case RleDecodeFailure::kTruncatedHeader:
        return "the blob is shorter than its 16-byte header";
    case RleDecodeFailure::kBadMagic:
        return "the magic is neither RLE4 nor RLE5";
    case RleDecodeFailure::kBadBitsPerPixel:
        return "an RLE4 image must have 16 bits per pixel";
    case RleDecodeFailure::kImageTooLarge:
        return "the image would decode to more than 4 GiB";
    case RleDecodeFailure::kOverLimit:
        return "the image would decode to more bytes than the reader allows";
    case RleDecodeFailure::kTruncatedRuns:
        return "the runs end before the image is complete";
    case RleDecodeFailure::kReservedBits:
        return "a control unit has reserved bits set";
    case RleDecodeFailure::kZeroLength:
        return "a run has length 0";
    case RleDecodeFailure::kRunPastRowEnd:
        return "a run goes past the end of its row";
    case RleDecodeFailure::kMissingRowEnd:
        return "the last run of a row lacks the row end flag";
    case RleDecodeFailure::kEarlyRowEnd:
        return "a run flagged as row end stops before its row does";
    case RleDecodeFailure::kMissingImageEnd:
        return "the last run of the image lacks the image end flag";
    case RleDecodeFailure::kMisplacedImageEnd:
        return "a run other than the image's last has the image end flag";
    }
    return "unknown failure";
}

RleDecodeFailure checkRleImage(std::span<const std::uint8_t> blob, RunMode mode,
                               RleImageExtent& extent) {
    extent = RleImageExtent{};
    RunLayout layout;
    const RleDecodeFailure failure = checkBlob(blob, mode, layout, extent);
    if (failure != RleDecodeFailure::kNone) {
        extent = RleImageExtent{.faultOffset = extent.faultOffset};
    }
    return failure;
}

bool decodeRleImage(std::span<const std::uint8_t> blob, RunMode mode, RleDecodeResult& result,
                    std::uint64_t maxPri0Bytes) {
    result = RleDecodeResult{};
    result.failure = decodeInto(blob, mode, maxPri0Bytes, result);
    if (result.failure != RleDecodeFailure::kNone) {
        result.pri0Block.clear();
        return false;
    }
    return true;
}
