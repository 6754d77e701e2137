// `theme-inspect preview`: one self-contained HTML page that shows every image of a build in
// every theme side by side, per group: sizes and dimensions, the copies equal to theme 0's
// marked, an override whose dimensions differ from theme 0's flagged. Images are embedded as PNG
// data, each distinct copy once (equal copies share it through a CSS class); no script.
#pragma once

#include <string>
#include <vector>

#include "readback/build_scan.h"
#include "readback/copy_png.h"

/// Writes the page for build, scanned with every theme's bytes kept, to outFile; title names the
/// build. With key, the key's pixels show as holes over a checkerboard. The file appears only
/// when complete. Returns false with the cause in error when it cannot be written. Copies that
/// cannot be shown are marked in the page and listed in failures ("IMAGE, theme N: CAUSE").
bool writePreview(const ScannedBuild& build, const std::string& title, const std::string& outFile,
                  ColourKey key, const Progress& progress, std::vector<std::string>& failures,
                  std::string& error);
