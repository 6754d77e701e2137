// The files of a packed build under its root folder: Index.bin and n/Theme.bin, each either as
// it was written or as the .gz the compression step left, read whole into memory with their size
// known and bounded first.
#pragma once

#include <cstdint>
#include <string>

#include "common/byte_buffer.h"

struct BinFile {
    /// The path from the root folder ("Index.bin", "2/Theme.bin.gz"), as messages show it.
    std::string name;
    /// The path opened: name under the root folder.
    std::string path;
    bool compressed = false;
    /// Bytes on disk: the .gz file's size when compressed.
    std::uint64_t storedSize = 0;
    /// The bin's bytes, restored when compressed.
    ByteBuffer bytes;
};

enum class LoadFailure : std::uint8_t {
    kNone,
    kMissing,    // neither the bin nor its .gz is there
    kUnreadable, // not a regular file, or opening or reading it failed (the OS cause given)
    kTooLarge,   // the bin is, or restores to, more than the limit
    kBadGzip,    // the .gz cannot be restored
    kOutOfMemory,
};

/// Finds the bin named binName ("Index.bin", "2/Theme.bin") under root: the bin itself when
/// anything is at its path, else its .gz when anything is there. Fills file's name and path;
/// returns false when neither exists. root "" means the current folder.
bool findBinFile(const std::string& root, const std::string& binName, BinFile& file);

/// Reads file.path into file.bytes, restoring it when compressed; a bin longer than limit bytes
/// is refused. Returns kNone, or the failure with a cause for a message in error.
LoadFailure loadBinFile(BinFile& file, std::uint64_t limit, std::string& error);
