// What the views of a scanned build (list, list --json, preview, header, verify's last line) all
// tell, worked out once: which themes were read, each theme's totals, how a copy stands beside
// theme 0's, and the words and numbers for them. The views only lay these out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "readback/build_scan.h"

/// The themes whose Theme.bin was read, in increasing order.
std::vector<int> readThemes(const ScannedBuild& build);

struct ThemeTotals {
    std::uint64_t images = 0;
    /// The valid copies as PRI0 would store them: header and 2 bytes a pixel.
    std::uint64_t rgb565Bytes = 0;
    /// The valid copies as they are stored, headers included.
    std::uint64_t encodedBytes = 0;
};

ThemeTotals themeTotals(const ThemeScan& scan);

/// part as a percentage of whole with one decimal ("31.4%"), "-" when whole is 0.
std::string percent(std::uint64_t part, std::uint64_t whole);

/// "valid", "invalid" or "unchecked".
const char* copyStateText(CopyState state);

/// How copy k of theme stands beside theme 0's copy of the image (kNone when the themes were not
/// compared: a scan of one theme).
enum class CopyMark : std::uint8_t {
    kNone,            // theme 0's own copy, one that is not valid, or one of its own
    kSameAsBase,      // the same bytes as theme 0's
    kOtherDimensions, // both valid, with other dimensions than theme 0's
};

CopyMark copyMark(const ScannedBuild& build, int theme, std::size_t k);

/// The copy's width and height joined by times ("16x8", or "16&times;8" for a page).
std::string dimensions(const SlotCopy& copy, std::string_view times);

/// "N groups, M images" of the build's index.
std::string indexCounts(const ScannedBuild& build);

/// The group that holds image k.
const IndexGroup& groupOfImage(const ScannedBuild& build, std::size_t k);

/// "group/name" of image k, as the console shows names.
std::string imageLabel(const ScannedBuild& build, std::size_t k);

/// Where image k stands among the images stored with its group and image names (which are cut
/// to their fields, so several may be alike): the nth of count, in index order.
struct NamesAlike {
    std::size_t nth = 1;
    std::size_t count = 1;
};

/// Per image of the build's index.
std::vector<NamesAlike> namesAlike(const ScannedBuild& build);
