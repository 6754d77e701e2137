// One slot of a Theme.bin: the image at its start (PRI0 or RLE4, of 16-bit pixels) and
// the 'P' fill after it. A fault is reported at the byte where it shows.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "codec/image_format.h"

/// Fault::file of Index.bin; themes are 0 to 9.
inline constexpr int kIndexFile = -1;
/// Fault::offset of a fault that has no place in the bin's bytes (a .gz that cannot be restored).
inline constexpr std::uint64_t kNoOffset = UINT64_MAX;

struct Fault {
    int file = kIndexFile;
    /// From the start of the bin, in its restored bytes when it was read from a .gz.
    std::uint64_t offset = kNoOffset;
    std::string rule;
};

enum class CopyState : std::uint8_t {
    kUnchecked, // its slot could not be looked at: a fault of the file or the index says why
    kInvalid,
    kValid,
};

/// One theme's copy of one image, as its slot holds it.
struct SlotCopy {
    CopyState state = CopyState::kUnchecked;
    ImageHeader header;
    /// The image's bytes at the slot's start, header included.
    std::uint32_t encodedSize = 0;
    /// The CRC-32 (zlib's) of those bytes, the fill excluded: a change of the same size shows.
    std::uint32_t crc32 = 0;
    /// Why it is invalid.
    std::string fault;
};

/// Checks the slot that starts at slotStart in theme's Theme.bin and is at least an image
/// header long. Faults of the image and of the fill are appended to faults; the copy tells what
/// the slot holds.
SlotCopy checkSlot(std::span<const std::uint8_t> slot, std::uint64_t slotStart, int theme,
                   std::vector<Fault>& faults);
