// Byte images of the Index.bin and Theme.bin records.
#include "output/bin_format.h"

#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "common/name_field.h"
#include "platform/files.h"

std::string themeBinName(int theme) {
    return joinPath(std::to_string(theme), kThemeFileName);
}

void serialize(const BinFileHeader& header, std::span<std::uint8_t, kBinFileHeaderSize> out) {
    std::memcpy(out.data(), header.tag.data(), kTagFieldWidth);
    out[6] = 0;
    out[7] = 0;
    storeU32Le(out.data() + 8, header.groupCount);
    storeU32Le(out.data() + 12, header.directoryOffset);
}

void serialize(const GroupDirectoryEntry& entry,
               std::span<std::uint8_t, kGroupDirectoryEntrySize> out) {
    std::memcpy(out.data(), entry.name.data(), kGroupNameFieldWidth);
    out[kGroupNameFieldWidth] = kNameFieldFill;
    storeU32Le(out.data() + 12, entry.groupOffset);
}

void serialize(const GroupHeader& header, std::span<std::uint8_t, kGroupHeaderSize> out) {
    storeU32Le(out.data(), header.imageCount);
    storeU32Le(out.data() + 4, header.dataOffset);
    std::fill(out.begin() + 8, out.end(), std::uint8_t{0});
}

void serialize(const ImageEntry& entry, std::span<std::uint8_t, kImageEntrySize> out) {
    std::memcpy(out.data(), entry.name.data(), kImageNameFieldWidth);
    out[kImageNameFieldWidth] = kNameFieldFill;
    storeU32Le(out.data() + 40, entry.slotOffset);
    storeU32Le(out.data() + 44, entry.slotSize);
}

void makeFileHeader(std::span<std::uint8_t, kBinFileHeaderSize> buffer, std::string_view tag,
                    std::uint32_t groupCount) {
    BinFileHeader header;
    copyNameField(header.tag.data(), header.tag.size(), tag);
    if (tag == kIndexTag) {
        header.groupCount = groupCount;
        header.directoryOffset = kBinFileHeaderSize;
    }
    serialize(header, buffer);
}

HeapBlock<std::uint8_t> allocGroupDirectory(std::uint32_t groupCount) {
    const std::uint64_t size = std::uint64_t{groupCount} * kGroupDirectoryEntrySize;
    if (size > SIZE_MAX) {
        return nullptr;
    }
    HeapBlock<std::uint8_t> directory = allocateBytes<std::uint8_t>(static_cast<std::size_t>(size));
    if (directory) {
        std::memset(directory.get(), kNameFieldFill, static_cast<std::size_t>(size));
    }
    return directory;
}

void makeEndMarker(std::span<std::uint8_t, kEndMarkerBufferSize> buffer, std::string_view tag) {
    constexpr std::string_view prefix = "EndOf";
    std::memcpy(buffer.data(), prefix.data(), prefix.size());
    copyNameField(reinterpret_cast<char*>(buffer.data() + prefix.size()), kTagFieldWidth, tag);
}

namespace {

// A name field holds the name, then zero bytes to its end, then the 0x02 fill byte.
RecordCheck checkNameField(std::span<const std::uint8_t> field) {
    const std::size_t width = field.size() - 1;
    if (field[0] == 0) {
        return {RecordFault::kEmptyName, 0};
    }
    const auto end = std::find(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(width),
                               std::uint8_t{0});
    const auto stray = std::find_if(end, field.begin() + static_cast<std::ptrdiff_t>(width),
                                    [](std::uint8_t b) { return b != 0; });
    if (stray != field.begin() + static_cast<std::ptrdiff_t>(width)) {
        return {RecordFault::kNameNotZeroFilled, static_cast<std::size_t>(stray - field.begin())};
    }
    if (field[width] != kNameFieldFill) {
        return {RecordFault::kNameFillNot02, width};
    }
    return {};
}

} // namespace

const char* recordFaultText(RecordFault fault) {
    switch (fault) {
    case RecordFault::kNone:
        return "no fault";
    case RecordFault::kTagNotTerminated:
        return "the tag is not followed by two zero bytes";
    case RecordFault::kEmptyName:
        return "the name field is empty";
    case RecordFault::kNameNotZeroFilled:
        return "the name field is not zero-filled after the name";
    case RecordFault::kNameFillNot02:
        return "the byte after the name field is not 0x02";
    case RecordFault::kReservedNotZero:
        return "the reserved bytes of the group header are not zero";
    }
    return "unknown fault";
}

RecordCheck parse(std::span<const std::uint8_t, kBinFileHeaderSize> in, BinFileHeader& header) {
    std::memcpy(header.tag.data(), in.data(), kTagFieldWidth);
    header.groupCount = loadU32Le(in.data() + 8);
    header.directoryOffset = loadU32Le(in.data() + 12);
    for (std::size_t at = kTagFieldWidth - 1; at <= kTagFieldWidth; ++at) {
        if (in[at] != 0) {
            return {RecordFault::kTagNotTerminated, at};
        }
    }
    return {};
}

RecordCheck parse(std::span<const std::uint8_t, kGroupDirectoryEntrySize> in,
                  GroupDirectoryEntry& entry) {
    std::memcpy(entry.name.data(), in.data(), kGroupNameFieldWidth);
    entry.groupOffset = loadU32Le(in.data() + 12);
    return checkNameField(in.first(kGroupNameFieldWidth + 1));
}

RecordCheck parse(std::span<const std::uint8_t, kGroupHeaderSize> in, GroupHeader& header) {
    header.imageCount = loadU32Le(in.data());
    header.dataOffset = loadU32Le(in.data() + 4);
    const auto stray =
        std::find_if(in.begin() + 8, in.end(), [](std::uint8_t b) { return b != 0; });
    if (stray != in.end()) {
        return {RecordFault::kReservedNotZero, static_cast<std::size_t>(stray - in.begin())};
    }
    return {};
}

RecordCheck parse(std::span<const std::uint8_t, kImageEntrySize> in, ImageEntry& entry) {
    std::memcpy(entry.name.data(), in.data(), kImageNameFieldWidth);
    entry.slotOffset = loadU32Le(in.data() + 40);
    entry.slotSize = loadU32Le(in.data() + 44);
    return checkNameField(in.first(kImageNameFieldWidth + 1));
}
