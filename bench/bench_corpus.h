// The benchmark's theme trees: a base theme the size of a large real one and variants that each
// replace 30% of its images, written from generated UI-like pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

/// One picture of the corpus: where it lies below the root, its size and the seed of its content
/// (makeUiLikeBmp with the shape's photoPercent).
struct CorpusImage {
    std::string path; // "0/group_3/icon_0042.bmp", "1/screens/screen_7.bmp"
    int width = 0;
    int height = 0;
    std::uint32_t seed = 0;
};

/// The pictures theme has of its own (every image for theme 0), in the order they are written.
std::vector<CorpusImage> corpusImages(const CorpusShape& shape, int theme);

/// image's picture as the packer stores it, RLE4-encoded (its blob, header included), and its
/// RGB565 pixels, little-endian, top row first.
void encodeCorpusImage(const CorpusImage& image, int photoPercent, std::vector<std::uint8_t>& blob,
                       std::vector<std::uint8_t>& rgb565);
