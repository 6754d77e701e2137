// The images of a theme after the one it stopped at, looked at by their headers alone: a theme
// stops at its first image that fails, and the user learns of the others that would fail too in
// the same run, without any of them being converted or packed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/image_convert.h"

struct RefusedImages {
    /// The first ones a conversion would refuse by their headers, in list order.
    std::vector<ImageFailure> named;
    /// How many more it would refuse.
    std::uint64_t more = 0;
    /// The file at which the look ended because the machine fell short (memory, open files, an
    /// I/O error), with why; path empty when it looked at every file. A shortage says nothing of
    /// the file.
    ImageFailure stoppedAt;
};

/// Looks at the entries from first on that lie in themeFolder (the files of a variant's other
/// entries are theme 0's, which theme 0 looks at) as a conversion with compress would before it
/// reads a pixel; names up to named of those it would refuse and counts the others.
RefusedImages findRefusedImages(const ImageFileEntry* first, const std::string& themeFolder,
                                int compress, std::size_t named);
