// Writes the group tables of all present themes into rootPath/Index.bin and
// rootPath/<n>/Theme.bin (layout in bin_format.h).
#pragma once

#include <string>

#include "common/theme_slots.h"
#include "image/image_record.h"

/// Writes Index.bin and the Theme.bin of every present theme: a slot per image position of theme
/// 0's table, as long as the longest copy of the image at that position in any theme's table,
/// each theme's table walked by position, in whole 32-bit words (slotSizeFor). compress, the flag
/// the images were encoded with, does not change the layout: run-length images are whole words
/// already, and a PRI0 copy is rounded up like any other. Up to threads
/// threads write different bins at once; the bytes are the same with any number.
///
/// Each file is written to a new temporary file beside its final name (createTempFile); only when
/// every one of them is complete and closed are they renamed over their final names, Index.bin
/// first, then the themes' in increasing order, and the <file>.gz an earlier run left beside each
/// is removed (where it can be), all with the stop signals held. A link at a final name is
/// replaced, never written through.
///
/// Returns 1 when every file is in place. Returns 0 with one line in error, naming the file and the
/// cause (the first such file in that order when several fail), and with every temporary file
/// removed, when:
/// - theme 0 is absent or has no group, a variant has fewer groups than theme 0 or fewer images
///   in one of them, or the files would outgrow 32-bit offsets: nothing is created;
/// - a temporary file cannot be created, a seek, write or close fails, memory runs out, or a
///   final name is a folder: every file already there is left as it was;
/// - the OS refuses a rename after the checks: the files renamed before it hold this run's bytes,
///   the others their earlier ones, and error names those already replaced.
int writeBinFiles(const GroupTables& groupTables, const ThemeFlags& themePresent,
                  const std::string& rootPath, int compress, std::string& error,
                  unsigned threads = 1);
