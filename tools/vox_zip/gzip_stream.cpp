// gzip compression and restoration of whole files with zlib's deflate/inflate streams.
#include "gzip_stream.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <zlib.h>

namespace {

constexpr std::size_t kChunk = 128 * 1024;
// 15: the largest window, 32 KiB; +16: a gzip header and trailer instead of zlib's.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemLevel = 8; // zlib's default

bool fail(GzipError& error, GzipReason reason, int osError = 0, const char* zlibMessage = nullptr) {
    error.reason = reason;
    error.osError = osError;
    error.zlibMessage = zlibMessage;
    return false;
}

bool readChunk(std::FILE* in, std::vector<unsigned char>& buffer, z_stream& zs, GzipError& error) {
    errno = 0;
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got < buffer.size() && std::ferror(in)) {
        return fail(error, GzipReason::ReadFailed, errno);
    }
    zs.next_in = buffer.data();
    zs.avail_in = static_cast<uInt>(got); // got <= kChunk
    return true;
}

bool writeProduced(std::FILE* out, const std::vector<unsigned char>& buffer, const z_stream& zs,
                   GzipError& error) {
    const std::size_t produced = buffer.size() - zs.avail_out;
    errno = 0;
    if (produced != 0 && std::fwrite(buffer.data(), 1, produced, out) != produced) {
        return fail(error, GzipReason::WriteFailed, errno);
    }
    return true;
}

bool writeRestored(const GzipSink& sink, const std::vector<unsigned char>& buffer,
                   const z_stream& zs, GzipError& error) {
    const std::size_t produced = buffer.size() - zs.avail_out;
    int osError = 0;
    if (produced != 0 && !sink.write(sink.context, buffer.data(), produced, osError)) {
        return fail(error, GzipReason::WriteFailed, osError);
    }
    return true;
}

bool writeToFile(void* context, const unsigned char* bytes, std::size_t size, int& osError) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, static_cast<std::FILE*>(context)) != size) {
        osError = errno;
        return false;
    }
    return true;
}

bool initFailed(int rc, GzipError& error) {
    return fail(error, rc == Z_MEM_ERROR ? GzipReason::OutOfMemory : GzipReason::ZlibFailed);
}

bool deflateAll(std::FILE* in, std::FILE* out, z_stream& zs, GzipError& error) {
    std::vector<unsigned char> input(kChunk);
    std::vector<unsigned char> output(kChunk);
    int flush = Z_NO_FLUSH;
    while (flush != Z_FINISH) {
        if (!readChunk(in, input, zs, error)) {
            return false;
        }
        flush = std::feof(in) ? Z_FINISH : Z_NO_FLUSH;
        // Drain until deflate leaves room in the output: then it has taken all the input, and
        // with Z_FINISH it has written the trailer.
        do {
            zs.next_out = output.data();
            zs.avail_out = static_cast<uInt>(output.size());
            if (deflate(&zs, flush) == Z_STREAM_ERROR) {
                return fail(error, GzipReason::ZlibFailed);
            }
            if (!writeProduced(out, output, zs, error)) {
                return false;
            }
        } while (zs.avail_out == 0);
    }
    return true;
}

// Feeds the input that zs holds to inflate, writing what comes out. A new member may start
// after the end of one, as gzip allows.
bool inflateHeld(const GzipSink& out, z_stream& zs, std::vector<unsigned char>& output,
                 bool& memberOpen, bool& memberDone, GzipError& error) {
    // Keep going while input is left, or while a full output buffer may hide more output.
    do {
        if (!memberOpen) {
            if (zs.avail_in == 0) {
                return true;
            }
            if (memberDone && inflateReset(&zs) != Z_OK) {
                return fail(error, GzipReason::ZlibFailed);
            }
            memberOpen = true;
        }
        zs.next_out = output.data();
        zs.avail_out = static_cast<uInt>(output.size());
        const int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
            return fail(error, GzipReason::CorruptData, 0, zs.msg);
        }
        if (rc == Z_MEM_ERROR) {
            return fail(error, GzipReason::OutOfMemory);
        }
        if (rc == Z_STREAM_ERROR || (rc == Z_BUF_ERROR && zs.avail_in > 0)) {
            return fail(error, GzipReason::ZlibFailed);
        }
        if (!writeRestored(out, output, zs, error)) {
            return false;
        }
        if (rc == Z_STREAM_END) {
            memberOpen = false;
            memberDone = true;
        }
    } while (zs.avail_in > 0 || zs.avail_out == 0);
    return true;
}

bool inflateAll(std::FILE* in, const GzipSink& out, z_stream& zs, GzipError& error) {
    std::vector<unsigned char> input(kChunk);
    std::vector<unsigned char> output(kChunk);
    bool memberOpen = false; // inside a member whose trailer has not been read yet
    bool memberDone = false; // at least one whole member restored
    for (;;) {
        if (!readChunk(in, input, zs, error)) {
            return false;
        }
        if (zs.avail_in == 0) {
            return (memberOpen || !memberDone) ? fail(error, GzipReason::TruncatedData) : true;
        }
        if (!inflateHeld(out, zs, output, memberOpen, memberDone, error)) {
            return false;
        }
    }
}

} // namespace

std::string describeGzipError(const GzipError& error) {
    const auto withOs = [&](const char* what) {
        return error.osError != 0 ? std::string(what) + ": " + std::strerror(error.osError)
                                  : std::string(what);
    };
    switch (error.reason) {
    case GzipReason::None:
        return "no error";
    case GzipReason::ReadFailed:
        return withOs("read failed");
    case GzipReason::WriteFailed:
        return withOs("write failed");
    case GzipReason::CorruptData:
        return std::string("not valid gzip data (") +
               (error.zlibMessage != nullptr ? error.zlibMessage : "corrupt") + ")";
    case GzipReason::TruncatedData:
        return "gzip data ends early (truncated file)";
    case GzipReason::OutOfMemory:
        return "out of memory";
    case GzipReason::ZlibFailed:
        return "internal error in zlib";
    }
    return "unknown error";
}

bool gzipCompress(std::FILE* in, std::FILE* out, int level, GzipError& error) {
    error = {};
    z_stream zs{};
    const int rc =
        deflateInit2(&zs, level, Z_DEFLATED, kGzipWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) {
        return initFailed(rc, error);
    }
    const bool ok = deflateAll(in, out, zs, error);
    deflateEnd(&zs);
    return ok;
}

bool gzipDecompress(std::FILE* in, std::FILE* out, GzipError& error) {
    return gzipDecompressTo(in, GzipSink{writeToFile, out}, error);
}

bool gzipDecompressTo(std::FILE* in, const GzipSink& sink, GzipError& error) {
    error = {};
    z_stream zs{};
    const int rc = inflateInit2(&zs, kGzipWindowBits);
    if (rc != Z_OK) {
        return initFailed(rc, error);
    }
    const bool ok = inflateAll(in, sink, zs, error);
    inflateEnd(&zs);
    return ok;
}
