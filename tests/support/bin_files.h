// Reads back what a run writes, the way a device would: Index.bin, with every relation between its
// records checked on the way, the slots of each Theme.bin, and the image inside a slot. Also the
// exact block a source picture must come back as.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct IndexedImage {
    /// The name field up to its first zero byte (all 39 bytes when it has none).
    std::string name;
    std::uint32_t slotOffset = 0;
    std::uint32_t slotSize = 0;
};

struct IndexedGroup {
    /// The name field up to its first zero byte (all 11 bytes when it has none).
    std::string name;
    std::uint32_t dataOffset = 0;
    std::vector<IndexedImage> images;
};

/// Parses Index.bin into its groups. Returns false with error naming the offset and the fault
/// when the file breaks the layout: the header, a name field with bytes after its end, a fill
/// byte other than 0x02, a group or slot offset other than the running sum, an empty group,
/// nonzero reserved bytes, a missing end marker or bytes after it.
bool readIndexFile(std::span<const std::uint8_t> bytes, std::vector<IndexedGroup>& groups,
                   std::string& error);

/// Cuts a Theme.bin into the slots that groups place, group by group and image by image. Returns
/// false with error when its header is wrong, its length is not header + slots + end marker, or
/// the end marker is missing.
bool readThemeSlots(std::span<const std::uint8_t> bytes, const std::vector<IndexedGroup>& groups,
                    std::vector<std::vector<std::uint8_t>>& slots, std::string& error);

struct SlotImage {
    /// The image decoded to a flat PRI0 block.
    std::vector<std::uint8_t> pri0Block;
    /// Bytes the encoded image takes at the slot's start; 'P' bytes fill the rest.
    std::size_t encodedSize = 0;
};

/// Decodes the RLE4 image at the start of slot. Returns false with error when it is not an RLE4
/// image or anything but 'P' bytes follows it.
bool readSlotImage(std::span<const std::uint8_t> slot, SlotImage& image, std::string& error);

/// The flat PRI0 block that a picture of 0xRRGGBB values, top row first, converts to: the header
/// ("PRI0", width, height, 16), then every pixel as little-endian RGB565.
std::vector<std::uint8_t> pri0BlockOf(int width, int height,
                                      const std::vector<std::uint32_t>& pixels);
