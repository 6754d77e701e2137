// The inverse of the encoder: an RLE4 or RLE5 image back to a flat PRI0 block. The packager
// does not need it; tests and inspection tools do. It trusts nothing in the blob.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/image_format.h"

/// The largest flat PRI0 block decodeRleImage makes unless the caller allows more: 256 MiB, a
/// 16-bit image of 8192 x 16384 pixels, far beyond any screen a theme is drawn for. A valid blob
/// of a few hundred bytes can describe an image of 4 GiB.
inline constexpr std::uint64_t kDefaultMaxPri0Bytes = 256u << 20;

enum class RleDecodeFailure {
    kNone,
    kTruncatedHeader,
    kBadMagic,
    kBadBitsPerPixel,
    kImageTooLarge,
    kOverLimit,
    kTruncatedRuns,
    kReservedBits,
    kZeroLength,
    kRunPastRowEnd,
    kMissingRowEnd,
    kEarlyRowEnd,
    kMissingImageEnd,
    kMisplacedImageEnd,
};

/// A short English description of failure, for diagnostics.
const char* rleDecodeFailureText(RleDecodeFailure failure);

struct RleDecodeResult {
    /// The flat PRI0 block: header ("PRI0" and the blob's width, height and bitsPerPixel), then
    /// the pixel area (pixelAreaBytes of those fields; in word mode the decoded words cut to it).
    std::vector<std::uint8_t> pri0Block;
    /// Bytes of the blob that the image takes, header and padding unit included. Bytes after it
    /// (the filler of a slot) are not looked at.
    std::size_t blobSize = 0;
    RleDecodeFailure failure = RleDecodeFailure::kNone;
};

/// How much of a blob an image takes and what it decodes to.
struct RleImageExtent {
    /// Bytes of the blob that the image takes, header and padding unit included.
    std::size_t blobSize = 0;
    /// Bytes the runs decode to (in word mode whole words, which may pass the pixel area).
    std::uint64_t runBytes = 0;
    /// Bytes of the flat PRI0 block the image decodes to, header included.
    std::uint64_t pri0Size = 0;
    /// Where the first fault shows, in bytes from the blob's start: the control unit of the run
    /// it is in, the header field it is in, or the blob's end for runs that end early.
    std::size_t faultOffset = 0;
};

/// Checks the image at the start of blob by the rules of decodeRleImage, without allocating or
/// writing any pixel: a reader can check images of any claimed size. Returns kNone with extent
/// filled, or the first fault found with only extent.faultOffset set.
RleDecodeFailure checkRleImage(std::span<const std::uint8_t> blob, RunMode mode,
                               RleImageExtent& extent);

/// Decodes the image at the start of blob. mode tells how an RLE5 image of 32 bits per pixel
/// was encoded; RLE4 is always rows of 16-bit pixels and RLE5 of any other depth always word
/// mode. Returns true with result filled, or false
/// with result.failure set and pri0Block empty when the blob is not an image the encoder
/// could have written: every run must lie inside its row, every row must end with the run
/// flagged rowEnd, exactly the last one with imageEnd, and reserved bits must be 0. The
/// padding unit's value is not checked. Never reads outside blob. Nothing is allocated before
/// the whole blob has been checked; an image whose flat PRI0 block would take more than
/// maxPri0Bytes is refused with kOverLimit without allocating (see checkRleImage for its size).
bool decodeRleImage(std::span<const std::uint8_t> blob, RunMode mode, RleDecodeResult& result,
                    std::uint64_t maxPri0Bytes = kDefaultMaxPri0Bytes);
