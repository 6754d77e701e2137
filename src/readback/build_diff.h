// What changed from one build to another (`theme-inspect diff`): images are matched by their
// stored group and image names, the n-th of several images stored alike with the n-th, so that a
// change of one image's size, which moves every later slot, shows as that one change. Copies are
// compared by their dimensions, their length and their CRC-32.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "readback/build_scan.h"

/// No image: one side of an image that is only in the other build.
inline constexpr std::size_t kNoImage = SIZE_MAX;

enum class ImageChangeKind : std::uint8_t {
    kAdded,   // only in NEW
    kRemoved, // only in OLD
    kChanged, // other bytes, the same dimensions
    kResized, // other dimensions
};

/// One image of one theme that differs; its place in OLD's and NEW's index.
struct ImageChange {
    ImageChangeKind kind = ImageChangeKind::kChanged;
    std::size_t oldImage = kNoImage;
    std::size_t newImage = kNoImage;
};

struct ThemeDiff {
    int theme = 0;
    bool inOld = false;
    bool inNew = false;
    /// For a theme in both: added, removed, changed, resized, each kind in index order.
    std::vector<ImageChange> changes;
};

struct BuildDiff {
    /// Per image of OLD, the image of NEW that has its names, or kNoImage; and the other way.
    std::vector<std::size_t> newOf;
    std::vector<std::size_t> oldOf;
    std::uint64_t added = 0;
    std::uint64_t removed = 0;
    /// The images in both do not stand in the same order.
    bool orderChanged = false;
    std::uint32_t oldIdsCrc32 = 0;
    std::uint32_t newIdsCrc32 = 0;
    /// Images in both whose slot starts elsewhere, and the first of them in NEW's order.
    std::uint64_t moved = 0;
    std::size_t firstMoved = kNoImage;
    /// Every theme of either build, in increasing order.
    std::vector<ThemeDiff> themes;

    /// Names, order, a theme or a copy's bytes differ.
    bool differ() const;
};

/// Compares two builds that were scanned whole (every theme) and have no fault.
BuildDiff diffBuilds(const ScannedBuild& oldBuild, const ScannedBuild& newBuild);
