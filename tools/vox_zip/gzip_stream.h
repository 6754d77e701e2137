// Streams one file's bytes into the gzip format and back, through zlib's streaming interface:
// memory stays at a few fixed buffers whatever the size of the file. The caller owns the open
// files and what happens to them on failure.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

enum class GzipReason {
    None,
    ReadFailed,    // the input could not be read (osError set)
    WriteFailed,   // the output could not be written (osError set)
    CorruptData,   // the input is not gzip data, or its checks fail (zlibMessage set)
    TruncatedData, // the input ends before the gzip stream does
    OutOfMemory,
    ZlibFailed, // zlib refused an argument or state; a fault in this tool
};

struct GzipError {
    GzipReason reason = GzipReason::None;
    int osError = 0;                   // errno of a failed read or write, 0 when unknown
    const char* zlibMessage = nullptr; // zlib's static text for corrupt data
};

/// One line describing error, e.g. "read failed: Is a directory".
std::string describeGzipError(const GzipError& error);

/// Compresses everything from in into out as one gzip member at level 1..9. Returns false with
/// the cause in error; out then holds a partial stream.
bool gzipCompress(std::FILE* in, std::FILE* out, int level, GzipError& error);

/// Where restored bytes go. write takes each piece as it comes out; it returns false to stop the
/// restore, with errno's value for the cause in osError (0 when there is none).
struct GzipSink {
    bool (*write)(void* context, const unsigned char* bytes, std::size_t size, int& osError);
    void* context;
};

/// gzipDecompress with the restored bytes handed to sink instead of a file, e.g. to memory. A
/// sink that refuses stops the restore as a failed write (WriteFailed with its osError).
bool gzipDecompressTo(std::FILE* in, const GzipSink& sink, GzipError& error);

/// Restores the bytes of the gzip data in into out. Members written one after another are
/// restored one after another, as every gzip reader does. Returns false with the cause in error
/// when the data is not gzip, fails its checks or ends early; out then holds partial bytes.
bool gzipDecompress(std::FILE* in, std::FILE* out, GzipError& error);
