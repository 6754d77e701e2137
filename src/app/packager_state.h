// The run's state, carried from the load phase to the build phase.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/image_record.h"
#include "source/file_list.h"
#include "source/theme_folders.h"

struct PackagerState {
    /// Non-zero: compress the bin files after they are written.
    std::int32_t zipAfterBuild = 0;
    /// Non-zero: run-length encode every image.
    std::int32_t compressImages = 0;
    /// Number of theme folders found.
    std::int32_t themeCount = 0;
    /// 1 once the load phase has run to its end.
    std::int32_t loaded = 0;
    /// Per theme number, the head of its file list; set for present themes only.
    PerTheme<std::unique_ptr<ImageFileEntry>> fileLists;
    /// False when folder 0 could not be scanned (a line on standard error said why).
    bool baseListed = true;
    /// What the folder scan and the variant lookups could not use, in the order met.
    std::vector<SourceProblem> sourceProblems;
    /// The root folder: the current folder when the run started.
    std::string rootPath;
    /// Per theme number, the head of its group table; set for present themes only.
    GroupTables groupTables;
    /// Per theme number, 1 when the theme folder exists.
    ThemeFlags themePresent{};
    /// Per theme number, the image at which the theme stopped, or "" when it did not.
    PerTheme<std::string> stoppedAt;
    /// Threads the run may use for its conversions and for writing the bins.
    unsigned threads = 1;
    /// Exit status told by the last result line printed (1 until one is printed).
    int exitStatus = 1;
    /// Set when a theme stopped at an image that failed, or a folder could not be listed: the
    /// bins, if written, lack images.
    bool incomplete = false;
    /// Set when the machine fell short (memory, open files, an I/O error) while a folder was
    /// listed or an image converted: the run writes nothing.
    bool machineShortage = false;
};
