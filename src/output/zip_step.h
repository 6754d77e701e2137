// The compression step: hands every written bin file to VOX_ZIP and removes the uncompressed
// file once its compressed copy is made.
#pragma once

#include <string>
#include <vector>

#include "source/theme_folders.h"

/// The least time the tools are given before the packager looks at their results.
inline constexpr unsigned kZipLeastWaitMs = 5000;

/// Starts "VOX_ZIP.exe -c -9 Index.bin" and then "VOX_ZIP -c -9 <n>/Theme.bin" for every
/// present theme in increasing order, all with rootPath as their working folder. When any of
/// them started it waits at least kZipLeastWaitMs and until each has ended, then deletes, in
/// the same order, each bin file whose tool exited with status 0. Returns 1 when every file was
/// compressed and deleted; 0 otherwise, with one line per problem in problems (the files
/// concerned stay as they are).
int zipBinFiles(const ThemeFlags& themePresent, const std::string& rootPath,
                std::vector<std::string>& problems);
