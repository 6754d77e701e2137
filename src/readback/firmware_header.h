// `theme-inspect header`: a C header that gives firmware the ordinal of every image of a build
// (the order theme_index_slot counts in), the image count, Index.bin's size and CRC-32, and the
// CRC-32 of the names the ordinals stand for, so that firmware can tell at start-up that the
// index in its flash is the one it was built with (theme_index_verify), or at least one whose
// ordinals still name the same images (theme_index_check_ids).
#pragma once

#include <cstdint>
#include <string>

#include "readback/build_scan.h"

/// THEME_IDS_CRC32: the CRC-32 (zlib's) of the stored name fields in index order, each group's
/// 11 bytes followed by its images' 39 bytes each. Art changes that move slots leave it as it is;
/// a name added, removed, renamed or moved changes it. layout is index's, and complete.
std::uint32_t imageIdsCrc32(std::span<const std::uint8_t> index, const IndexLayout& layout);

/// One C identifier per image: THEME_IMG_, the group's name, '_', the image's name, upper-cased,
/// every other byte than a letter or a digit made '_' (never two in a row, none at the end), and
/// _2, _3, ... where two images would share one. In index order.
std::vector<std::string> imageIdentifiers(const ScannedBuild& build);

/// The header's text for a build whose index is complete; guard names the file
/// ("theme_ids.h" -> THEME_IDS_H). An image whose stored names equal another's says in its
/// comment which of them it is.
std::string firmwareHeader(const ScannedBuild& build, const std::string& fileName);

/// Writes firmwareHeader to outFile, which appears only when complete. Returns false with the
/// file and the cause in error when it cannot be written.
bool writeFirmwareHeader(const ScannedBuild& build, const std::string& outFile, std::string& error);
