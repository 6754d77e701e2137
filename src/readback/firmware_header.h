// `theme-inspect header`: a C header that gives firmware the ordinal of every image of a build
// (the order theme_index_slot counts in), the image count, and Index.bin's size and CRC-32, so
// that firmware can tell at start-up that the index in its flash is the one it was built with.
#pragma once

#include <string>

#include "readback/build_scan.h"

/// One C identifier per image: THEME_IMG_, the group's name, '_', the image's name, upper-cased,
/// every other byte than a letter or a digit made '_' (never two in a row, none at the end), and
/// _2, _3, ... where two images would share one. In index order.
std::vector<std::string> imageIdentifiers(const ScannedBuild& build);

/// The header's text for a build whose index is complete; guard names the file
/// ("theme_ids.h" -> THEME_IDS_H).
std::string firmwareHeader(const ScannedBuild& build, const std::string& fileName);

/// Writes firmwareHeader to outFile, which appears only when complete. Returns false with the
/// file and the cause in error when it cannot be written.
bool writeFirmwareHeader(const ScannedBuild& build, const std::string& outFile, std::string& error);
