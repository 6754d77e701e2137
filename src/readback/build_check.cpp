// Index.bin is read in file order, each record where the previous one ends, and every stored
// offset is compared with where its record really is; a theme's slots are then looked up where
// the stored offsets put them, which is where a device reads them. So one wrong field gives one
// fault in the index, and not a fault in every slot after it.
#include "readback/build_check.h"

#include <algorithm>
#include <cstring>

#include "common/name_field.h"
#include "output/bin_format.h"
#include "readback/text_forms.h"

namespace {

// A file of no record but its header and end marker.
constexpr std::uint64_t kEnvelope = themeFileLength(0);

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

void addFault(BuildCheck& check, int file, std::uint64_t offset, std::string rule) {
    check.faults.push_back({file, offset, std::move(rule)});
}

void addRecordFault(BuildCheck& check, int file, std::uint64_t recordOffset,
                    const RecordCheck& record, const std::string& what) {
    if (record.fault != RecordFault::kNone) {
        addFault(check, file, recordOffset + record.offset,
                 what + ": " + recordFaultText(record.fault));
    }
}

template <std::size_t N>
std::span<const std::uint8_t, N> recordAt(std::span<const std::uint8_t> bytes, std::uint64_t at) {
    return bytes.subspan(static_cast<std::size_t>(at)).first<N>();
}

std::string_view nameAt(std::span<const std::uint8_t> index, std::uint64_t at, std::size_t width) {
    return nameFieldView(reinterpret_cast<const char*>(index.data() + at), width);
}

// The tag and its terminator, which both files share.
BinFileHeader checkFileHeader(std::span<const std::uint8_t> bytes, int file, std::string_view tag,
                              BuildCheck& check) {
    BinFileHeader header;
    const RecordCheck record = parse(recordAt<kBinFileHeaderSize>(bytes, 0), header);
    const std::string_view found(header.tag.data(), tag.size());
    if (found != tag) {
        addFault(check, file, 0,
                 "the tag is \"" + displayName(found) + "\", not \"" + std::string(tag) + "\"");
    }
    addRecordFault(check, file, 0, record, "file header");
    return header;
}

void checkEndMarker(std::span<const std::uint8_t> bytes, std::uint64_t at, int file,
                    std::string_view tag, BuildCheck& check) {
    std::array<std::uint8_t, kEndMarkerBufferSize> marker{};
    makeEndMarker(marker, tag);
    if (std::memcmp(bytes.data() + at, marker.data(), kEndMarkerSize) != 0) {
        std::string rule(1, '"');
        rule.append(marker.begin(), marker.begin() + kEndMarkerSize);
        addFault(check, file, at, rule + "\" does not stand here, where the end marker belongs");
    }
}

// The group count, bounded by the file's length before anything is sized by it.
bool checkIndexHeader(std::span<const std::uint8_t> index, BuildCheck& check,
                      std::uint32_t& groupCount) {
    const BinFileHeader header = checkFileHeader(index, kIndexFile, kIndexTag, check);
    if (header.directoryOffset != kBinFileHeaderSize) {
        addFault(check, kIndexFile, kDirectoryOffsetAt,
                 "directoryOffset is " + number(header.directoryOffset) +
                     ", but the group directory starts at " + number(kBinFileHeaderSize));
    }
    groupCount = header.groupCount;
    if (groupCount == 0) {
        addFault(check, kIndexFile, kGroupCountAt,
                 "groupCount is 0, but a build has at least one group");
        return false;
    }
    if (groupCount > (index.size() - kEnvelope) / kGroupDirectoryEntrySize) {
        addFault(check, kIndexFile, kGroupCountAt,
                 "groupCount is " + number(groupCount) +
                     ": its group directory would run past the end of the file");
        return false;
    }
    return true;
}

// One group's block at blockAt: its header and image entries. slotTotal is the length of all
// slots before the group's; both advance past the group.
bool checkGroup(std::span<const std::uint8_t> index, std::uint32_t g, std::uint64_t& blockAt,
                std::uint64_t& slotTotal, BuildCheck& check) {
    const std::uint64_t entryAt = kBinFileHeaderSize + std::uint64_t{g} * kGroupDirectoryEntrySize;
    GroupDirectoryEntry entry;
    addRecordFault(check, kIndexFile, entryAt,
                   parse(recordAt<kGroupDirectoryEntrySize>(index, entryAt), entry),
                   "group directory entry " + number(g));
    if (entry.groupOffset != blockAt) {
        addFault(check, kIndexFile, entryAt + kGroupOffsetAt,
                 "groupOffset is " + number(entry.groupOffset) + ", but the group's block is at " +
                     number(blockAt));
    }
    const std::uint64_t end = index.size() - kEndMarkerSize;
    if (end - blockAt < kGroupHeaderSize) {
        addFault(check, kIndexFile, blockAt,
                 "the block of group " + number(g) + " would run past the end of the file");
        return false;
    }
    GroupHeader header;
    addRecordFault(check, kIndexFile, blockAt,
                   parse(recordAt<kGroupHeaderSize>(index, blockAt), header), "group header");
    if (header.imageCount == 0) {
        addFault(check, kIndexFile, blockAt, "imageCount is 0, but a group has at least one image");
    }
    if (header.imageCount > (end - blockAt - kGroupHeaderSize) / kImageEntrySize) {
        addFault(check, kIndexFile, blockAt,
                 "imageCount is " + number(header.imageCount) +
                     ": the group's image entries would run past the end of the file");
        return false;
    }
    if (header.dataOffset != kBinFileHeaderSize + slotTotal) {
        addFault(check, kIndexFile, blockAt + kDataOffsetAt,
                 "dataOffset is " + number(header.dataOffset) +
                     ", but the group's first slot is at " +
                     number(kBinFileHeaderSize + slotTotal));
    }
    check.layout.groups.push_back({nameAt(index, entryAt, kGroupNameFieldWidth), entryAt,
                                   check.layout.images.size(), header.imageCount, entry.groupOffset,
                                   header.dataOffset});
    std::uint64_t inGroup = 0;
    for (std::uint32_t k = 0; k < header.imageCount; ++k) {
        const std::uint64_t at = blockAt + kGroupHeaderSize + std::uint64_t{k} * kImageEntrySize;
        ImageEntry image;
        addRecordFault(check, kIndexFile, at, parse(recordAt<kImageEntrySize>(index, at), image),
                       "image entry");
        if (image.slotOffset != inGroup) {
            addFault(check, kIndexFile, at + kSlotOffsetAt,
                     "slotOffset is " + number(image.slotOffset) + ", but the slot is at " +
                         number(inGroup) + ", after the group's earlier slots");
        }
        if (image.slotSize < kImageHeaderSize || slotSizeFor(image.slotSize) != image.slotSize) {
            addFault(check, kIndexFile, at + kSlotSizeAt,
                     "slotSize is " + number(image.slotSize) +
                         ", but a slot is whole 32-bit words and at least an image header long");
        }
        if (themeFileLength(slotTotal + image.slotSize) > kMaxStoredSize) {
            addFault(check, kIndexFile, at + kSlotSizeAt,
                     "the slots add up to more than a Theme.bin's 32-bit offsets reach");
            return false;
        }
        check.layout.images.push_back({nameAt(index, at, kImageNameFieldWidth), at,
                                       std::uint64_t{header.dataOffset} + image.slotOffset,
                                       image.slotSize, false, image.slotOffset});
        inGroup += image.slotSize;
        slotTotal += image.slotSize;
    }
    blockAt += kGroupHeaderSize + std::uint64_t{header.imageCount} * kImageEntrySize;
    return true;
}

// The slots lie one after another in index order: a slot that starts inside or before the one
// of the image before it is told, whatever the offsets that put it there (they are told too).
void checkSlotOrder(BuildCheck& check) {
    std::uint64_t end = kBinFileHeaderSize;
    for (const IndexImage& image : check.layout.images) {
        if (image.slotStart < end) {
            addFault(check, kIndexFile, image.entryOffset + kSlotOffsetAt,
                     "the slot starts at " + number(image.slotStart) +
                         ", inside or before the slot of the image before it (which ends at " +
                         number(end) + "): slots may not overlap nor leave index order");
        }
        end = std::max<std::uint64_t>(end, image.slotStart + image.slotSize);
    }
}

void markUsableSlots(IndexLayout& layout) {
    const std::uint64_t slotsEnd = layout.themeLength - kEndMarkerSize;
    for (IndexImage& image : layout.images) {
        image.slotUsable = image.slotSize >= kImageHeaderSize &&
                           image.slotStart >= kBinFileHeaderSize && image.slotStart <= slotsEnd &&
                           image.slotSize <= slotsEnd - image.slotStart;
    }
}

// Theme.bin's length: the one the index gives, or else theme 0's.
void checkThemeLength(std::span<const std::uint8_t> bytes, int theme, BuildCheck& check) {
    const IndexLayout& layout = check.layout;
    const std::uint64_t expected = layout.complete ? layout.themeLength : check.baseLength;
    if (expected == 0 || (!layout.complete && theme == 0) || bytes.size() == expected) {
        return;
    }
    addFault(check, theme, std::min<std::uint64_t>(bytes.size(), expected),
             "the file is " + number(bytes.size()) + " bytes long, but " +
                 (layout.complete
                      ? "the slots of Index.bin make every Theme.bin " + number(expected)
                      : "theme 0's Theme.bin is " + number(expected) +
                            ", and all themes have one length"));
}

void noteCopy(BuildCheck& check, int theme, std::size_t k, const SlotCopy& copy) {
    std::uint64_t& largest = check.largestCopy[k];
    if (copy.state != CopyState::kValid) {
        largest = kUnknownCopy;
        return;
    }
    if (largest != kUnknownCopy) {
        largest = std::max<std::uint64_t>(largest, copy.encodedSize);
    }
    const std::uint32_t family = copy.header.magic;
    if (check.imageFamily == 0) {
        check.imageFamily = family;
    } else if (family != check.imageFamily) {
        addFault(check, theme, check.layout.images[k].slotStart,
                 family == kPri0Magic ? "a PRI0 image among run-length encoded ones"
                                      : "a run-length encoded image among PRI0 ones");
    }
}

std::vector<SlotCopy> checkSlots(std::span<const std::uint8_t> bytes, int theme,
                                 BuildCheck& check) {
    const IndexLayout& layout = check.layout;
    std::vector<SlotCopy> copies(layout.images.size());
    const std::uint64_t slotsEnd =
        std::min<std::uint64_t>(bytes.size(), layout.themeLength - kEndMarkerSize);
    for (std::size_t k = 0; k < copies.size(); ++k) {
        const IndexImage& image = layout.images[k];
        // A slot that the file's end cuts is told by the length fault.
        if (image.slotUsable && image.slotStart + image.slotSize <= slotsEnd) {
            copies[k] =
                checkSlot(bytes.subspan(static_cast<std::size_t>(image.slotStart), image.slotSize),
                          image.slotStart, theme, check.faults);
        }
        noteCopy(check, theme, k, copies[k]);
    }
    return copies;
}

} // namespace

void checkIndex(std::span<const std::uint8_t> index, BuildCheck& check) {
    check.layout = IndexLayout{};
    if (index.size() < kEnvelope) {
        addFault(check, kIndexFile, index.size(),
                 "the file is " + number(index.size()) +
                     " bytes long, too short for a header and an end marker");
        return;
    }
    std::uint32_t groupCount = 0;
    if (!checkIndexHeader(index, check, groupCount)) {
        return;
    }
    check.layout.groups.reserve(groupCount);
    std::uint64_t blockAt =
        kBinFileHeaderSize + std::uint64_t{groupCount} * kGroupDirectoryEntrySize;
    std::uint64_t slotTotal = 0;
    for (std::uint32_t g = 0; g < groupCount; ++g) {
        if (!checkGroup(index, g, blockAt, slotTotal, check)) {
            return;
        }
    }
    checkEndMarker(index, blockAt, kIndexFile, kIndexTag, check);
    if (index.size() > blockAt + kEndMarkerSize) {
        addFault(check, kIndexFile, blockAt + kEndMarkerSize,
                 number(index.size() - blockAt - kEndMarkerSize) + " bytes follow the end marker");
    }
    checkSlotOrder(check);
    check.layout.complete = true;
    check.layout.themeLength = themeFileLength(slotTotal);
    markUsableSlots(check.layout);
    check.largestCopy.assign(check.layout.images.size(), 0);
}

std::vector<SlotCopy> checkTheme(std::span<const std::uint8_t> bytes, int theme,
                                 BuildCheck& check) {
    if (bytes.size() < kEnvelope) {
        addFault(check, theme, bytes.size(),
                 "the file is " + number(bytes.size()) +
                     " bytes long, too short for a header and an end marker");
        skipTheme(check);
        return {};
    }
    const BinFileHeader header = checkFileHeader(bytes, theme, kThemeTag, check);
    if (header.groupCount != 0) {
        addFault(check, theme, kGroupCountAt,
                 "groupCount is " + number(header.groupCount) + ", not 0");
    }
    if (header.directoryOffset != 0) {
        addFault(check, theme, kDirectoryOffsetAt,
                 "directoryOffset is " + number(header.directoryOffset) + ", not 0");
    }
    checkThemeLength(bytes, theme, check);
    if (theme == 0) {
        check.baseLength = bytes.size();
    }
    const IndexLayout& layout = check.layout;
    const std::uint64_t markerAt =
        layout.complete ? layout.themeLength - kEndMarkerSize : bytes.size() - kEndMarkerSize;
    if (markerAt + kEndMarkerSize <= bytes.size()) {
        checkEndMarker(bytes, markerAt, theme, kThemeTag, check);
    }
    if (!layout.complete) {
        return {};
    }
    return checkSlots(bytes, theme, check);
}

void skipTheme(BuildCheck& check) {
    std::fill(check.largestCopy.begin(), check.largestCopy.end(), kUnknownCopy);
}

void finishCheck(BuildCheck& check) {
    const IndexLayout& layout = check.layout;
    for (std::size_t k = 0; k < check.largestCopy.size(); ++k) {
        const std::uint64_t largest = check.largestCopy[k];
        if (largest != kUnknownCopy && largest != 0 &&
            layout.images[k].slotSize != slotSizeFor(largest)) {
            addFault(check, kIndexFile, layout.images[k].entryOffset + kSlotSizeAt,
                     "slotSize is " + number(layout.images[k].slotSize) +
                         ", but the largest copy of the image takes " + number(largest) +
                         " bytes, and a slot is as long as that in whole 32-bit words");
        }
    }
    std::stable_sort(check.faults.begin(), check.faults.end(), [](const Fault& a, const Fault& b) {
        return a.file != b.file ? a.file < b.file : a.offset < b.offset;
    });
}
