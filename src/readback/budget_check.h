// `theme-inspect verify --max-theme SIZE --max-index SIZE`: the sizes a build may take where it
// will lie (a flash partition), checked as faults of the build, so that a build script learns
// from verify's exit status that a theme outgrew its room.
#pragma once

#include <cstdint>

#include "readback/build_scan.h"

/// How many of a theme's largest images a fault over its budget names.
inline constexpr std::size_t kLargestImagesNamed = 5;

/// Adds a fault for each Theme.bin longer (restored) than maxTheme bytes, naming its length, the
/// budget, the excess and the theme's largest images, and for an Index.bin longer than maxIndex.
void checkBudgets(ScannedBuild& build, std::uint64_t maxTheme, std::uint64_t maxIndex);
