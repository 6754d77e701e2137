// What `theme-inspect diff` prints: the differences of two builds as text for people, or as one
// JSON document for scripts, in which every figure of both builds is a pair [OLD, NEW] (null
// where a build has none).
#pragma once

#include <string>

#include "readback/build_diff.h"

/// The differences as lines: one that says there is none, or the index's (sizes, names, slots
/// that moved), then per theme its bin's sizes and a table of the images added, removed, changed
/// and resized, with each copy's encoded size and dimensions in OLD and NEW.
std::string diffText(const ScannedBuild& oldBuild, const ScannedBuild& newBuild,
                     const BuildDiff& diff);

std::string diffJson(const ScannedBuild& oldBuild, const ScannedBuild& newBuild,
                     const BuildDiff& diff);
