// Byte images of the Index.bin and Theme.bin records.
#include "output/bin_format.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "codec/image_format.h"
#include "image/name_field.h"

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

std::unique_ptr<std::uint8_t[]> allocGroupDirectory(std::uint32_t groupCount) {
    const std::uint64_t size = std::uint64_t{groupCount} * kGroupDirectoryEntrySize;
    if (size > SIZE_MAX) {
        return nullptr;
    }
    std::unique_ptr<std::uint8_t[]> directory(new (std::nothrow)
                                                  std::uint8_t[static_cast<std::size_t>(size)]);
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
