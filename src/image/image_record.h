// Converted images and the groups that file them. A theme's group table is a head record of
// type ImageGroup whose `next` is the first group and whose `count` is the number of groups;
// each group links its records through `images` and `next`. Groups stand in the order their
// names first occurred, records in the order they were filed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "common/theme_slots.h"

inline constexpr std::size_t kImageNameSize = 50;
inline constexpr std::size_t kGroupNameSize = 30;

struct ImageRecord {
    std::int32_t width = 0;
    std::int32_t height = 0;
    /// Bytes of `data`, its 16-byte header included; a multiple of 4 when run-length encoded.
    std::uint32_t dataSize = 0;
    /// Full path of the source file.
    std::string path;
    /// The file held transparency (an alpha channel) that the stored pixels do not keep.
    bool transparencyLost = false;
    /// The file name, bounded to the field (no terminator when it fills it).
    std::array<char, kImageNameSize> name{};
    std::unique_ptr<ImageRecord> next;
    /// The image as it is stored in a slot: the 16-byte header (magic, width, height, bits per
    /// pixel, each 32-bit little-endian), then the pixel rows ("PRI0") or the runs ("RLE4").
    /// Shared by every theme whose list names the same file.
    std::shared_ptr<const std::uint8_t[]> data;

    ImageRecord() = default;
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;
    ~ImageRecord();
};

struct ImageGroup {
    /// The group name, at most kGroupNameSize - 1 characters and zero-terminated; empty in the
    /// table head.
    std::array<char, kGroupNameSize> name{};
    /// Records in the group; in the table head, the number of groups.
    std::uint32_t count = 0;
    /// First record of the group; unused in the table head.
    std::unique_ptr<ImageRecord> images;
    /// Next group; in the table head, the first group.
    std::unique_ptr<ImageGroup> next;
    /// The last record (in a group) or the last group (in the head), so filing does not walk.
    ImageRecord* lastImage = nullptr;
    ImageGroup* lastGroup = nullptr;

    ImageGroup() = default;
    ImageGroup(const ImageGroup&) = delete;
    ImageGroup& operator=(const ImageGroup&) = delete;
    ~ImageGroup();
};

/// Per theme number, the head of that theme's group table; null for absent themes.
using GroupTables = PerTheme<std::unique_ptr<ImageGroup>>;
