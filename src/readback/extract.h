// `theme-inspect extract`: every image of one theme as a PNG file under an output folder, at
// <group>/<name>.png with names made safe (safe_names.h). Nothing is written outside that folder:
// group folders that are links are not followed, and each file appears under its name only when
// complete, replacing (never writing through) whatever link or file had that name.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "readback/build_scan.h"
#include "readback/copy_png.h"

struct ExtractReport {
    std::size_t written = 0;
    /// "IMAGE written as PATH" for each image whose file name differs from its own name.
    std::vector<std::string> renamed;
    /// "IMAGE: CAUSE" for each image that could not be written.
    std::vector<std::string> failures;
};

/// Extracts theme, whose bytes build holds, into outDir, creating outDir when it is missing; with
/// key, as RGBA PNG files whose key pixels are transparent. Returns false with the cause in error
/// when outDir cannot be made or is not a folder; images that fail are listed in report and do
/// not stop the others.
bool extractTheme(const ScannedBuild& build, int theme, const std::string& outDir, ColourKey key,
                  const Progress& progress, ExtractReport& report, std::string& error);
