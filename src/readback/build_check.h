// The structural rules of a build, checked on bytes in memory: Index.bin on its own, then each
// Theme.bin against it, then what only all themes together tell. The checks read every field
// through bounds that the file's length gives, allocate only in proportion to the records that
// are really there, and never decode pixels. Faults are collected, not printed.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "readback/slot_check.h"

// The names are the raw bytes of their fields (cut at the first zero byte), viewed in the index's
// bytes, which must outlive the layout.
struct IndexGroup {
    std::string_view name;
    std::uint64_t entryOffset = 0; // its GroupDirectoryEntry
    /// Its images: IndexLayout::images[firstImage, firstImage + imageCount).
    std::size_t firstImage = 0;
    std::size_t imageCount = 0;
    /// The fields as stored, right or wrong.
    std::uint32_t groupOffset = 0;
    std::uint32_t dataOffset = 0;
};

struct IndexImage {
    std::string_view name;
    std::uint64_t entryOffset = 0; // its ImageEntry
    /// dataOffset + slotOffset as stored: where a device reads the slot.
    std::uint64_t slotStart = 0;
    std::uint32_t slotSize = 0;
    /// At least an image header long and inside the slot area: the themes' slots are checked.
    bool slotUsable = false;
    /// The field as stored, right or wrong.
    std::uint32_t slotOffset = 0;
};

/// What Index.bin says, read record by record in file order.
struct IndexLayout {
    std::vector<IndexGroup> groups;
    std::vector<IndexImage> images;
    /// Every record could be read, so the slots can be looked up.
    bool complete = false;
    /// 16 + the sum of the slot sizes + 10: the length of every Theme.bin, when complete.
    std::uint64_t themeLength = 0;
};

/// The state of one verification, carried from the index through the themes to the end.
struct BuildCheck {
    IndexLayout layout;
    std::vector<Fault> faults;
    /// Per image, the largest valid copy so far; kUnknownCopy once a theme's copy is not valid.
    std::vector<std::uint64_t> largestCopy;
    /// The magic of the first valid copy: kPri0Magic or kRle4Magic.
    std::uint32_t imageFamily = 0;
    /// Theme 0's length, which the others must have when the index cannot tell it.
    std::uint64_t baseLength = 0;
};

inline constexpr std::uint64_t kUnknownCopy = UINT64_MAX;

/// Reads and checks Index.bin; check.layout gets what it says, its names viewed in index. Call it
/// first.
void checkIndex(std::span<const std::uint8_t> index, BuildCheck& check);

/// Checks theme's Theme.bin against the index (and against theme 0's length when the index is not
/// complete): header, length, end marker and every slot. Check theme 0 first. Returns each
/// image's copy, in index order (empty when the index is not complete).
std::vector<SlotCopy> checkTheme(std::span<const std::uint8_t> bytes, int theme, BuildCheck& check);

/// Notes that theme's Theme.bin could not be read at all: its copies are unknown.
void skipTheme(BuildCheck& check);

/// After every theme: each slot must be as long as its largest copy, in whole 32-bit words.
/// Then puts the faults in file order (Index.bin, then theme 0 to 9) and offset order.
void finishCheck(BuildCheck& check);
