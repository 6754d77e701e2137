// Reading Index.bin and Theme.bin back. Every read is checked against the file's length, so a
// broken file gives a message, never a crash in the test.
#include "support/bin_files.h"

#include <algorithm>
#include <string_view>

#include "codec/image_format.h"
#include "codec/rle_decoder.h"
#include "output/bin_format.h"

namespace {

// The byte values of the layout are spelled out here rather than taken from the writer's
// headers, so that a wrong value there shows.
constexpr std::uint8_t kFieldFill = 0x02;
constexpr std::uint8_t kPadding = 'P';
constexpr std::string_view kIndex = "Index";
constexpr std::string_view kTheme = "Theme";

using Span = std::span<const std::uint8_t>;

std::string at(std::uint64_t offset) {
    return "at " + std::to_string(offset) + ": ";
}

bool has(Span bytes, std::uint64_t offset, std::uint64_t size) {
    return offset <= bytes.size() && size <= bytes.size() - offset;
}

bool textAt(Span bytes, std::uint64_t offset, std::string_view text) {
    return has(bytes, offset, text.size()) &&
           std::equal(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

bool zeroAt(Span bytes, std::uint64_t offset, std::size_t size) {
    return has(bytes, offset, size) &&
           std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                       bytes.begin() + static_cast<std::ptrdiff_t>(offset + size),
                       [](std::uint8_t b) { return b == 0; });
}

// A bounded name field: the name, then only zero bytes; the fill byte right after the field.
bool readNameField(Span bytes, std::uint64_t offset, std::size_t width, std::string& name,
                   std::string& error) {
    const auto* field = bytes.data() + offset;
    const auto* end = std::find(field, field + width, std::uint8_t{0});
    name.assign(field, end);
    if (!zeroAt(bytes, offset + name.size(), width - name.size())) {
        error = at(offset) + "name field \"" + name + "\" has bytes after its end";
        return false;
    }
    if (bytes[offset + width] != kFieldFill) {
        error = at(offset + width) + "fill byte after name \"" + name + "\" is not 0x02";
        return false;
    }
    return true;
}

// The 16-byte file header: the tag, its terminator, a zero byte, the free padding byte.
bool checkTag(Span bytes, std::string_view tag, std::string& error) {
    if (!has(bytes, 0, kBinFileHeaderSize + kEndMarkerSize)) {
        error = "only " + std::to_string(bytes.size()) + " bytes";
        return false;
    }
    if (!textAt(bytes, 0, tag) || bytes[5] != 0 || bytes[6] != 0) {
        error = at(0) + "tag is not \"" + std::string(tag) + "\" with two zero bytes";
        return false;
    }
    return true;
}

bool checkEndMarker(Span bytes, std::uint64_t offset, std::string_view tag, std::string& error) {
    const std::string marker = "EndOf" + std::string(tag);
    if (!textAt(bytes, offset, marker)) {
        error = at(offset) + "no \"" + marker + "\"";
        return false;
    }
    if (bytes.size() != offset + marker.size()) {
        error = std::to_string(bytes.size()) + " bytes, but \"" + marker + "\" ends at " +
                std::to_string(offset + marker.size());
        return false;
    }
    return true;
}

bool readImageEntry(Span bytes, std::uint64_t offset, std::uint32_t slotOffset, IndexedImage& image,
                    std::string& error) {
    if (!readNameField(bytes, offset, kImageNameFieldWidth, image.name, error)) {
        return false;
    }
    image.slotOffset = loadU32Le(bytes.data() + offset + 40);
    image.slotSize = loadU32Le(bytes.data() + offset + 44);
    if (image.slotOffset != slotOffset) {
        error = at(offset) + image.name + ": slotOffset " + std::to_string(image.slotOffset) +
                ", expected " + std::to_string(slotOffset);
        return false;
    }
    if (image.slotSize < kImageHeaderSize) {
        error = at(offset) + image.name + ": slotSize " + std::to_string(image.slotSize) +
                " cannot hold an image";
        return false;
    }
    return true;
}

// The group's header at offset, then its image entries. dataOffset is where its first slot
// must start; it comes back as the end of its last slot.
bool readGroupBlock(Span bytes, std::uint64_t offset, std::uint64_t& dataOffset,
                    IndexedGroup& group, std::string& error) {
    if (!has(bytes, offset, kGroupHeaderSize)) {
        error = at(offset) + "group " + group.name + " lies past the end";
        return false;
    }
    const std::uint32_t imageCount = loadU32Le(bytes.data() + offset);
    group.dataOffset = loadU32Le(bytes.data() + offset + 4);
    if (imageCount == 0 || group.dataOffset != dataOffset || !zeroAt(bytes, offset + 8, 8)) {
        error = at(offset) + "group " + group.name + ": " + std::to_string(imageCount) +
                " images at dataOffset " + std::to_string(group.dataOffset) + " (expected " +
                std::to_string(dataOffset) +
                "), reserved bytes zero: " + (zeroAt(bytes, offset + 8, 8) ? "yes" : "no");
        return false;
    }
    offset += kGroupHeaderSize;
    if (!has(bytes, offset, std::uint64_t{imageCount} * kImageEntrySize)) {
        error = at(offset) + "the " + std::to_string(imageCount) + " entries of group " +
                group.name + " lie past the end";
        return false;
    }
    std::uint64_t slotOffset = 0;
    group.images.resize(imageCount);
    for (IndexedImage& image : group.images) {
        if (!readImageEntry(bytes, offset, static_cast<std::uint32_t>(slotOffset), image, error)) {
            return false;
        }
        slotOffset += image.slotSize;
        offset += kImageEntrySize;
    }
    dataOffset += slotOffset;
    return true;
}

} // namespace

bool readIndexFile(Span bytes, std::vector<IndexedGroup>& groups, std::string& error) {
    groups.clear();
    if (!checkTag(bytes, kIndex, error)) {
        return false;
    }
    const std::uint32_t groupCount = loadU32Le(bytes.data() + 8);
    if (groupCount == 0 || loadU32Le(bytes.data() + 12) != kBinFileHeaderSize) {
        error = at(8) + "groupCount " + std::to_string(groupCount) + ", directoryOffset " +
                std::to_string(loadU32Le(bytes.data() + 12));
        return false;
    }
    const std::uint64_t directory = kBinFileHeaderSize;
    if (!has(bytes, directory, std::uint64_t{groupCount} * kGroupDirectoryEntrySize)) {
        error = at(directory) + "the directory of " + std::to_string(groupCount) +
                " groups lies past the end";
        return false;
    }
    // Blocks follow the directory in directory order, slots follow each other in that order.
    std::uint64_t blockOffset = directory + std::uint64_t{groupCount} * kGroupDirectoryEntrySize;
    std::uint64_t dataOffset = kBinFileHeaderSize;
    groups.resize(groupCount);
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        const std::uint64_t entry = directory + std::uint64_t{g} * kGroupDirectoryEntrySize;
        IndexedGroup& group = groups[g];
        if (!readNameField(bytes, entry, kGroupNameFieldWidth, group.name, error)) {
            return false;
        }
        const std::uint32_t groupOffset = loadU32Le(bytes.data() + entry + 12);
        if (groupOffset != blockOffset) {
            error = at(entry) + "group " + group.name + ": groupOffset " +
                    std::to_string(groupOffset) + ", expected " + std::to_string(blockOffset);
            return false;
        }
        if (!readGroupBlock(bytes, blockOffset, dataOffset, group, error)) {
            return false;
        }
        blockOffset += kGroupHeaderSize + group.images.size() * kImageEntrySize;
    }
    return checkEndMarker(bytes, blockOffset, kIndex, error);
}

bool readThemeSlots(Span bytes, const std::vector<IndexedGroup>& groups,
                    std::vector<std::vector<std::uint8_t>>& slots, std::string& error) {
    slots.clear();
    if (!checkTag(bytes, kTheme, error)) {
        return false;
    }
    if (!zeroAt(bytes, 8, 8)) {
        error = at(8) + "groupCount and directoryOffset are not zero";
        return false;
    }
    std::uint64_t offset = kBinFileHeaderSize;
    for (const IndexedGroup& group : groups) {
        for (const IndexedImage& image : group.images) {
            if (!has(bytes, offset, image.slotSize)) {
                error = at(offset) + "slot of " + image.name + " lies past the end";
                return false;
            }
            const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(offset);
            slots.emplace_back(begin, begin + image.slotSize);
            offset += image.slotSize;
        }
    }
    return checkEndMarker(bytes, offset, kTheme, error);
}

bool readSlotImage(Span slot, SlotImage& image, std::string& error) {
    if (!textAt(slot, 0, "RLE4") || !has(slot, 0, kImageHeaderSize)) {
        error = "the slot does not start with an RLE4 header";
        return false;
    }
    RleDecodeResult decoded;
    if (!decodeRleImage(slot, 1, decoded)) {
        error =
            std::string("the RLE4 image does not decode: ") + rleDecodeFailureText(decoded.failure);
        return false;
    }
    const auto fill = std::find_if(slot.begin() + static_cast<std::ptrdiff_t>(decoded.blobSize),
                                   slot.end(), [](std::uint8_t b) { return b != kPadding; });
    if (fill != slot.end()) {
        error = at(static_cast<std::uint64_t>(fill - slot.begin())) +
                "a byte other than 'P' after the image";
        return false;
    }
    image.pri0Block = std::move(decoded.pri0Block);
    image.encodedSize = decoded.blobSize;
    return true;
}

std::vector<std::uint8_t> pri0BlockOf(int width, int height,
                                      const std::vector<std::uint32_t>& pixels) {
    std::vector<std::uint8_t> block(kImageHeaderSize + pixels.size() * 2);
    writeImageHeader(block.data(), {kPri0Magic, width, height, 16});
    std::uint8_t* out = block.data() + kImageHeaderSize;
    for (const std::uint32_t rgb : pixels) {
        const std::uint32_t r = (rgb >> 16) & 0xFF;
        const std::uint32_t g = (rgb >> 8) & 0xFF;
        const std::uint32_t b = rgb & 0xFF;
        storeU16Le(out, static_cast<std::uint16_t>((r & 0xF8) << 8 | (g & 0xFC) << 3 | b >> 3));
        out += 2;
    }
    return block;
}
