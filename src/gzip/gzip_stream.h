// Bytes into the gzip format and back. The bytes come from a ByteSource and go to a ByteSink, so
// the same code serves files and memory; the caller owns what they stand for and what happens to
// it on failure. Two builds of the same interface: libdeflate where it is available (it works on
// whole buffers: the input is held whole, and each restored member once), zlib's streams
// elsewhere (a few fixed buffers whatever the size).
//
// A gzip file is one or more members (RFC 1952), each a header starting 1f 8b, deflate data and
// a trailer of CRC-32 and size. Restoring reads members one after another as gzip(1) does:
// after a member, bytes that start 1f 8b begin the next member; zero bytes up to the end are
// padding (tape blocks, disk images) and ignored; anything else is trailing garbage, ignored
// too but reported, since the file was damaged or built wrongly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "common/byte_buffer.h"

/// Where the bytes come from. read fills buffer with up to capacity bytes and returns how many
/// it gave, 0 at the end; -1 when reading failed, with the errno value in osError (0 unknown).
struct ByteSource {
    void* context = nullptr;
    std::ptrdiff_t (*read)(void* context, std::uint8_t* buffer, std::size_t capacity,
                           int& osError) = nullptr;
    /// How many bytes the source is expected to give (a file's size when opened), so that they
    /// can be held without growing a buffer; 0 when unknown. A hint only: more or fewer is fine.
    std::uint64_t sizeHint = 0;
};

/// Where the bytes go. write takes all size bytes and returns true, or false with the errno
/// value in osError (0 unknown).
struct ByteSink {
    void* context = nullptr;
    bool (*write)(void* context, const std::uint8_t* bytes, std::size_t size,
                  int& osError) = nullptr;
    /// The most bytes a restore may give: more fails with kTooLarge before they are held.
    std::uint64_t limit = UINT64_MAX;
    /// When set, the bytes are appended to this buffer, grown as they come, instead of handed to
    /// write: restored bytes are then held once, not also in a buffer of the restore's own.
    ByteBuffer* buffer = nullptr;
};

/// A source and a sink over an open file, which stays the caller's; sizeHint as in ByteSource.
ByteSource fileSource(std::FILE* file, std::uint64_t sizeHint = 0);
ByteSink fileSink(std::FILE* file);

/// A sink that appends the bytes to buffer, at most limit of them; growing it fails with
/// kOutOfMemory.
ByteSink bufferSink(ByteBuffer& buffer, std::uint64_t limit);

/// Bytes in memory, handed out at most chunk bytes per read (chunk 0: all at once), so that a
/// test can put the read boundaries anywhere.
struct MemoryBytes {
    std::span<const std::uint8_t> bytes;
    std::size_t chunk = 0;
    std::size_t next = 0;
};

ByteSource memorySource(MemoryBytes& memory);

enum class GzipReason {
    kNone,
    kReadFailed,    // the input could not be read (osError set)
    kWriteFailed,   // the output could not be written (osError set)
    kCorruptData,   // the input is not gzip data, or its checks fail (detail set)
    kTruncatedData, // the input ends before the gzip stream does
    kOutOfMemory,
    kTooLarge,      // the restored bytes would exceed the sink's limit
    kLibraryFailed, // the deflate library refused an argument or state; a fault in this tool
};

struct GzipError {
    GzipReason reason = GzipReason::kNone;
    int osError = 0;              // errno of a failed read or write, 0 when unknown
    const char* detail = nullptr; // static text saying what is wrong with corrupt data
};

/// The CRC-32 of bytes, as gzip's trailer holds it (and zlib's crc32 gives it).
std::uint32_t crc32Of(std::span<const std::uint8_t> bytes);

/// One line describing error, e.g. "read failed: Is a directory".
std::string describeGzipError(const GzipError& error);

/// What followed the last member of a restored stream.
enum class GzipTail {
    kNone,    // the input ended with the member
    kZeros,   // only zero bytes followed
    kGarbage, // other bytes followed; they were not read to their end
};

struct GzipRestored {
    std::uint64_t members = 0;
    GzipTail tail = GzipTail::kNone;
    /// Offset in the input of the first byte after the last member.
    std::uint64_t tailOffset = 0;
};

/// Compresses everything from in into out as one gzip member at level 1..9. Returns false with
/// the cause in error; out then holds a partial stream.
bool gzipCompress(ByteSource in, ByteSink out, int level, GzipError& error);

/// Restores the members of the gzip data from in into out, one after another, and tells in
/// restored what followed the last one. Returns false with the cause in error when the data is
/// not gzip, a member fails its checks, or the input ends inside a member (or right after the
/// first byte of a next one); out then holds partial bytes. Trailing zeros or garbage are no
/// failure: the caller decides whether garbage deserves a warning.
bool gzipDecompress(ByteSource in, ByteSink out, GzipRestored& restored, GzipError& error);
