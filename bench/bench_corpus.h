// The benchmark's theme trees: a base theme the size of a large real one and variants that each
// replace 30% of its images, written from generated UI-like pictures.
#pragma once

#include <string>

struct CorpusShape {
    int themes = 2;   // the base theme and themes - 1 variants
    int icons = 3000; // 64 x 64, in 20 folders
    int screens = 40; // 480 x 800
    /// How much of each picture is noisy photo, in percent of its height (a third of its width
    /// wide). The photo is what run-length encoding cannot shrink: at 92% the 2-theme corpus
    /// encodes to 44.3 MB of bins, as a real theme of this size does (44.5 MB); the sample
    /// theme's look, 25%, encodes to less than half of that.
    int photoPercent = 92;
};

/// Writes the tree below root unless a complete one of this shape is there already (a marker
/// file names the shape). Returns false with the cause in error.
bool ensureCorpus(const std::string& root, const CorpusShape& shape, std::string& error);
