// Reading image files head first, straight from the OS: the size is known before the first read,
// the headers are checked before the rest is read, and nothing past what they describe is ever
// read or allocated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "common/byte_buffer.h"
#include "image/image_result.h"
#include "platform/files.h"

/// Bytes read first from an image file: enough for the headers of any BMP file and, for a
/// typical image, the whole file in a single read.
inline constexpr std::size_t kFileHeadBytes = 64 * 1024;

/// A file read head first: its size is known before anything is read, and no more is read than
/// the headers describe. Keep one across files: its buffer only grows.
struct FileBytes {
    /// The bytes read so far.
    ByteBuffer buffer;
    /// The file's size when it was opened.
    std::uint64_t fileSize = 0;
    /// Open while there is more to read.
    InputFile input;
    /// Set when the last failure to open or read was the machine's (isMachineShortage), not the
    /// file's.
    bool machineShortage = false;

    std::span<const std::uint8_t> view() const { return buffer.view(); }
};

/// Opens path when it is a regular file (links followed; nothing else is ever opened) and reads
/// its first min(file size, headBytes) bytes into file; headBytes must cover the largest BMP
/// headers accepted (70 bytes). Fails with kCannotOpen, kReadError (cause says why) or
/// kOutOfMemory.
ImageResult readFileHead(const std::string& path, FileBytes& file, std::string& cause,
                         std::size_t headBytes = kFileHeadBytes);

/// Reads file on up to byte end, which must not lie past fileSize, and closes it once all of it
/// is read. Fails with kReadError (cause says why) or kOutOfMemory.
ImageResult readFileRest(FileBytes& file, std::uint64_t end, std::string& cause);

/// Reads the size bytes at offset, which must lie within fileSize, into into (replacing what it
/// held), while the file is open (readFileRest has not read all of it). Fails with kReadError
/// (cause says why) or kOutOfMemory.
ImageResult readFileRange(FileBytes& file, std::uint64_t offset, std::size_t size, ByteBuffer& into,
                          std::string& cause);
