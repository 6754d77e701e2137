// What `theme-inspect list` shows: the groups and images of a build with each slot and every
// theme's copy, and per theme the totals: the images as RGB565, as encoded, as the bin file and
// compressed.
#pragma once

#include <string>

#include "readback/build_scan.h"

/// The listing as aligned text. The build's index must be complete.
std::string listText(const ScannedBuild& build);

/// The same as one JSON document. Names are given as UTF-8 ("name", any byte that is not valid
/// UTF-8 as U+FFFD) and as their exact bytes ("nameHex"); the index's offsets as stored
/// ("groupOffset" and "dataOffset" of a group, "slotOffset" of an image) and the slot's place in
/// every Theme.bin ("offset", dataOffset + slotOffset); each valid copy's "crc32" (SlotCopy).
std::string listJson(const ScannedBuild& build);
