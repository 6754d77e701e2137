// The two output files of a run: Index.bin in the root folder and one Theme.bin per theme
// folder. Every integer is an unsigned 32-bit little-endian value; offsets count from the start
// of their file; records follow each other with no gaps; there is no checksum or version.
//
// BinFileHeader (16 bytes, at offset 0 of both files)
//   0  5  tag              "Index" or "Theme"
//   5  1  0x00             the tag's terminator
//   6  1  0x00
//   7  1  padding          carries no meaning; we write 0 so that runs are reproducible
//   8  4  groupCount       Index.bin: G, the number of groups; Theme.bin: 0
//  12  4  directoryOffset  Index.bin: 16; Theme.bin: 0
//
// Index.bin
//   0             16                  BinFileHeader "Index"
//   16            16 * G              GroupDirectoryEntry per group, in group order
//   16 + 16 * G   16 + 48 * n(g)      per group g: GroupHeader, then n(g) ImageEntry
//   end           10                  "EndOfIndex"
//
// GroupDirectoryEntry (16 bytes)
//   0 11  name        group name, zero-filled; a name of 11 or more characters fills the field
//                     with no terminator
//  11  1  0x02
//  12  4  groupOffset offset of the group's GroupHeader in Index.bin
//
// GroupHeader (16 bytes)
//   0  4  imageCount  number of ImageEntry records that follow
//   4  4  dataOffset  offset, in every Theme.bin, of the slot of the group's first image
//   8  8  zero bytes
//
// ImageEntry (48 bytes)
//   0 39  name        image file name, zero-filled, no terminator when 39 or more characters
//  39  1  0x02
//  40  4  slotOffset  offset of the slot from the group's dataOffset
//  44  4  slotSize    length of the slot in every Theme.bin
//
// Theme.bin
//   0             16                  BinFileHeader "Theme"
//   16            sum of slotSize     the slots, group by group, image by image
//   end           10                  "EndOfTheme"
//
// A slot holds one theme's copy of an image: its 16-byte header (magic "PRI0" or "RLE4", width,
// height, bitsPerPixel), its payload, then 'P' bytes up to slotSize. A slot is as long as the
// largest copy among the themes in whole 32-bit words (a PRI0 copy with an odd pixel count is
// rounded up; run-length images are whole words already), so every Theme.bin of a run has the
// same layout and length and one Index.bin serves them all.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include <span>
#include <string>
#include <string_view>

#include "codec/image_format.h"
#include "common/byte_buffer.h"

inline constexpr std::size_t kBinFileHeaderSize = 16;
inline constexpr std::size_t kGroupDirectoryEntrySize = 16;
inline constexpr std::size_t kGroupHeaderSize = 16;
inline constexpr std::size_t kImageEntrySize = 48;
/// makeEndMarker builds this many bytes (the tag's terminator included) ...
inline constexpr std::size_t kEndMarkerBufferSize = 11;
/// ... of which the files hold this many.
inline constexpr std::size_t kEndMarkerSize = 10;

// Where each field lies in its record (every field name is used by one record only).
inline constexpr std::size_t kGroupCountAt = 8;       // BinFileHeader
inline constexpr std::size_t kDirectoryOffsetAt = 12; // BinFileHeader
inline constexpr std::size_t kGroupOffsetAt = 12;     // GroupDirectoryEntry
inline constexpr std::size_t kDataOffsetAt = 4;       // GroupHeader
inline constexpr std::size_t kReservedAt = 8;         // GroupHeader, up to its end
inline constexpr std::size_t kSlotOffsetAt = 40;      // ImageEntry
inline constexpr std::size_t kSlotSizeAt = 44;        // ImageEntry

/// The tag and its terminator; a zero byte and the padding byte follow, up to kGroupCountAt.
inline constexpr std::size_t kTagFieldWidth = 6;
inline constexpr std::size_t kGroupNameFieldWidth = 11;
inline constexpr std::size_t kImageNameFieldWidth = 39;
/// The byte after each name field.
inline constexpr std::uint8_t kNameFieldFill = 0x02;
/// The byte that pads a copy up to its slot's length.
inline constexpr std::uint8_t kSlotFill = 'P';

/// The files a run writes: Index.bin in the root folder, Theme.bin in every theme folder.
inline constexpr char kIndexFileName[] = "Index.bin";
inline constexpr char kThemeFileName[] = "Theme.bin";
inline constexpr std::string_view kIndexTag = "Index";
inline constexpr std::string_view kThemeTag = "Theme";

/// The slot of an image whose largest copy among the themes takes largestCopy bytes: that many,
/// rounded up to whole 32-bit words.
constexpr std::uint64_t slotSizeFor(std::uint64_t largestCopy) {
    return (largestCopy + 3) / 4 * 4;
}

/// The length of every Theme.bin whose slots add up to slotTotal bytes: header, slots, end marker.
constexpr std::uint64_t themeFileLength(std::uint64_t slotTotal) {
    return kBinFileHeaderSize + slotTotal + kEndMarkerSize;
}

/// Theme n's Theme.bin as a path relative to the root folder: n, a separator, kThemeFileName.
std::string themeBinName(int theme);

struct BinFileHeader {
    /// Five letters and a terminator.
    std::array<char, kTagFieldWidth> tag{};
    std::uint32_t groupCount = 0;
    std::uint32_t directoryOffset = 0;
};

struct GroupDirectoryEntry {
    std::array<char, kGroupNameFieldWidth> name{};
    std::uint32_t groupOffset = 0;
};

struct GroupHeader {
    std::uint32_t imageCount = 0;
    std::uint32_t dataOffset = 0;
};

struct ImageEntry {
    std::array<char, kImageNameFieldWidth> name{};
    std::uint32_t slotOffset = 0;
    std::uint32_t slotSize = 0;
};

// Each record's bytes as they stand in the file.
void serialize(const BinFileHeader& header, std::span<std::uint8_t, kBinFileHeaderSize> out);
void serialize(const GroupDirectoryEntry& entry,
               std::span<std::uint8_t, kGroupDirectoryEntrySize> out);
void serialize(const GroupHeader& header, std::span<std::uint8_t, kGroupHeaderSize> out);
void serialize(const ImageEntry& entry, std::span<std::uint8_t, kImageEntrySize> out);

/// Fills buffer with the file header for tag: groupCount and a directory right after the header
/// when tag is "Index", zero counts for any other tag.
void makeFileHeader(std::span<std::uint8_t, kBinFileHeaderSize> buffer, std::string_view tag,
                    std::uint32_t groupCount);

/// groupCount directory entries, every byte set to 0x02; null when the memory cannot be had.
HeapBlock<std::uint8_t> allocGroupDirectory(std::uint32_t groupCount);

/// Fills buffer with "EndOf", the tag and its terminator; the files hold the first 10 bytes.
void makeEndMarker(std::span<std::uint8_t, kEndMarkerBufferSize> buffer, std::string_view tag);

/// Why a record's bytes are not bytes that serialize could have written for a real build.
enum class RecordFault : std::uint8_t {
    kNone,
    kTagNotTerminated,  // BinFileHeader: byte 5 or 6 is not 0
    kEmptyName,         // names are file and folder names, never empty
    kNameNotZeroFilled, // a byte after the name's end is not 0
    kNameFillNot02,     // the byte after a name field is not 0x02
    kReservedNotZero,   // GroupHeader: bytes 8 to 15 are not all 0
};

/// The first fault of a record and the offset of its byte from the record's start.
struct RecordCheck {
    RecordFault fault = RecordFault::kNone;
    std::size_t offset = 0;
};

/// A short English description of fault, for diagnostics.
const char* recordFaultText(RecordFault fault);

// Each record read back from its bytes, the inverse of serialize: the fields are filled whatever
// the bytes hold, and the result tells the first byte that serialize would not have written.
// The padding byte of BinFileHeader is not looked at; the tag is copied, not judged.
RecordCheck parse(std::span<const std::uint8_t, kBinFileHeaderSize> in, BinFileHeader& header);
RecordCheck parse(std::span<const std::uint8_t, kGroupDirectoryEntrySize> in,
                  GroupDirectoryEntry& entry);
RecordCheck parse(std::span<const std::uint8_t, kGroupHeaderSize> in, GroupHeader& header);
RecordCheck parse(std::span<const std::uint8_t, kImageEntrySize> in, ImageEntry& entry);
