// Writes the group tables of all present themes into rootPath/Index.bin and
// rootPath/<n>/Theme.bin (layout in bin_format.h).
#pragma once

#include <string>

#include "image/image_record.h"
#include "source/theme_folders.h"

/// Writes Index.bin and the Theme.bin of every present theme in one pass over theme 0's table,
/// walking each variant's table in step with it by position. compress is the flag the images
/// were encoded with; it decides whether slots are rounded up to a multiple of 4 (uncompressed
/// only).
///
/// Returns 1 when every file was written and closed. Returns 0 with one line in error, naming
/// the file and the cause, when:
/// - theme 0 is absent or has no group, a variant has fewer groups than theme 0 or fewer images
///   in one of them, or the files would outgrow 32-bit offsets: no file is created or touched;
/// - a file cannot be created: the files opened before it are left empty, later ones untouched;
/// - a seek, write or close fails, or memory runs out: the files are left as far as written.
int writeBinFiles(const GroupTables& groupTables, const ThemeFlags& themePresent,
                  const std::string& rootPath, int compress, std::string& error);
