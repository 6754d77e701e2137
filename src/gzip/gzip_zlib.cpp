// gzip compression and restoration with zlib's deflate/inflate streams, over byte sources and
// sinks: the build for where libdeflate is not available (Windows).
#include "gzip/gzip_stream.h"

#include <algorithm>

#define ZLIB_CONST
#include <zlib.h>

#include "common/byte_buffer.h"
#include "gzip/gzip_backend.h"

namespace {

constexpr std::size_t kChunk = 128 * 1024;
// 15: the largest window, 32 KiB; +16: a gzip header and trailer instead of zlib's.
constexpr int kGzipWindowBits = 15 + 16;
constexpr int kMemLevel = 8; // zlib's default

// The two fixed buffers of a conversion, allocated so that a failure is a reason, not a throw.
struct Buffers {
    HeapBlock<std::uint8_t> input;
    HeapBlock<std::uint8_t> output;
};

bool allocate(Buffers& buffers, GzipError& error) {
    buffers.input = allocateBytes<std::uint8_t>(kChunk);
    buffers.output = allocateBytes<std::uint8_t>(kChunk);
    return buffers.input && buffers.output ? true : gzipFail(error, GzipReason::kOutOfMemory);
}

// Fills buffer from in; returns the bytes read (0 at the end) or -1 with error set.
std::ptrdiff_t readChunk(ByteSource in, std::uint8_t* buffer, GzipError& error) {
    int osError = 0;
    const std::ptrdiff_t got = in.read(in.context, buffer, kChunk, osError);
    if (got < 0) {
        gzipFail(error, GzipReason::kReadFailed, osError);
    }
    return got;
}

bool writeProduced(ByteSink out, const std::uint8_t* buffer, const z_stream& zs, GzipError& error) {
    const std::size_t produced = kChunk - zs.avail_out;
    if (produced != 0 && out.buffer != nullptr) {
        return appendBytes(*out.buffer, buffer, produced) ||
               gzipFail(error, GzipReason::kOutOfMemory);
    }
    int osError = 0;
    if (produced != 0 && !out.write(out.context, buffer, produced, osError)) {
        return gzipFail(error, GzipReason::kWriteFailed, osError);
    }
    return true;
}

bool initFailed(int rc, GzipError& error) {
    return gzipFail(error,
                    rc == Z_MEM_ERROR ? GzipReason::kOutOfMemory : GzipReason::kLibraryFailed);
}

bool deflateAll(ByteSource in, ByteSink out, z_stream& zs, const Buffers& buffers,
                GzipError& error) {
    for (;;) {
        const std::ptrdiff_t got = readChunk(in, buffers.input.get(), error);
        if (got < 0) {
            return false;
        }
        zs.next_in = buffers.input.get();
        zs.avail_in = static_cast<uInt>(got); // got <= kChunk
        const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
        // Drain until deflate leaves room in the output: then it has taken all the input, and
        // with Z_FINISH it has written the trailer.
        do {
            zs.next_out = buffers.output.get();
            zs.avail_out = static_cast<uInt>(kChunk);
            if (deflate(&zs, flush) == Z_STREAM_ERROR) {
                return gzipFail(error, GzipReason::kLibraryFailed);
            }
            if (!writeProduced(out, buffers.output.get(), zs, error)) {
                return false;
            }
        } while (zs.avail_out == 0);
        if (flush == Z_FINISH) {
            return true;
        }
    }
}

// Where a restore stands between two input bytes.
enum class Phase {
    kMember,      // inside a member
    kAfterMember, // right after a member's trailer
    kMagicSeen,   // after a member and the first magic byte of what may be the next one
    kZeros,       // after a member and only zero bytes since
    kGarbage,     // after a member and bytes that are neither a member nor padding
};

// A restore in progress. zs must stay where inflateInit2 saw it: zlib keeps its address.
struct Restore {
    z_stream zs{};
    ByteSink out;
    std::uint8_t* output = nullptr;
    Phase phase = Phase::kMember;
    std::uint64_t offset = 0; // input bytes before the chunk being taken
    std::uint64_t written = 0;
    GzipRestored restored;
};

// Feeds size bytes of a member to inflate and writes what comes out. Returns the bytes taken:
// all of them, or fewer when the member ends among them; -1 with error set on failure.
std::ptrdiff_t inflateSome(Restore& r, const std::uint8_t* data, std::size_t size,
                           GzipError& error) {
    r.zs.next_in = data;
    r.zs.avail_in = static_cast<uInt>(size); // size <= kChunk
    // Keep going while input is left, or while a full output buffer may hide more output.
    do {
        r.zs.next_out = r.output;
        r.zs.avail_out = static_cast<uInt>(kChunk);
        const int rc = inflate(&r.zs, Z_NO_FLUSH);
        if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT) {
            gzipFail(error, GzipReason::kCorruptData, 0, r.zs.msg);
            return -1;
        }
        if (rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR || (rc == Z_BUF_ERROR && r.zs.avail_in > 0)) {
            gzipFail(error,
                     rc == Z_MEM_ERROR ? GzipReason::kOutOfMemory : GzipReason::kLibraryFailed);
            return -1;
        }
        const std::size_t produced = kChunk - r.zs.avail_out;
        if (produced > r.out.limit - r.written) {
            gzipFail(error, GzipReason::kTooLarge);
            return -1;
        }
        r.written += produced;
        if (!writeProduced(r.out, r.output, r.zs, error)) {
            return -1;
        }
        if (rc == Z_STREAM_END) {
            ++r.restored.members;
            r.phase = Phase::kAfterMember;
            break;
        }
    } while (r.zs.avail_in > 0 || r.zs.avail_out == 0);
    return static_cast<std::ptrdiff_t>(size - r.zs.avail_in);
}

// Starts the next member, whose first magic byte was taken already.
bool startMember(Restore& r, GzipError& error) {
    if (inflateReset(&r.zs) != Z_OK) {
        return gzipFail(error, GzipReason::kLibraryFailed);
    }
    r.phase = Phase::kMember;
    const std::ptrdiff_t taken = inflateSome(r, kGzipMagic.data(), 1, error);
    return taken == 1 || (taken == 0 && gzipFail(error, GzipReason::kLibraryFailed));
}

// Takes the bytes after a member, up to the end of data, as far as they decide anything: the
// next member's magic, padding, or garbage (after which nothing more is read). Returns the
// bytes taken.
std::size_t takeAfterMember(Restore& r, const std::uint8_t* data, std::size_t size) {
    switch (r.phase) {
    case Phase::kAfterMember:
        r.phase = data[0] == kGzipMagic[0] ? Phase::kMagicSeen
                  : data[0] == 0           ? Phase::kZeros
                                           : Phase::kGarbage;
        return 1;
    case Phase::kMagicSeen: // the byte is the next member's, if it is one
        r.phase = data[0] == kGzipMagic[1] ? Phase::kMember : Phase::kGarbage;
        return 0;
    case Phase::kZeros: {
        const std::uint8_t* nonZero =
            std::find_if(data, data + size, [](std::uint8_t b) { return b != 0; });
        if (nonZero != data + size) {
            r.phase = Phase::kGarbage;
        }
        return static_cast<std::size_t>(nonZero - data);
    }
    case Phase::kMember:
    case Phase::kGarbage:
        break;
    }
    return 0;
}

// Takes one chunk of input through the phases.
bool takeChunk(Restore& r, const std::uint8_t* data, std::size_t size, GzipError& error) {
    std::size_t at = 0;
    while (at < size && r.phase != Phase::kGarbage) {
        if (r.phase != Phase::kMember) {
            at += takeAfterMember(r, data + at, size - at);
            if (r.phase == Phase::kMember && !startMember(r, error)) {
                return false;
            }
            continue;
        }
        const std::ptrdiff_t taken = inflateSome(r, data + at, size - at, error);
        if (taken < 0) {
            return false;
        }
        at += static_cast<std::size_t>(taken);
        if (r.phase == Phase::kAfterMember) {
            r.restored.tailOffset = r.offset + at;
        }
    }
    r.offset += size;
    return true;
}

bool inflateAll(ByteSource in, Restore& r, const Buffers& buffers, GzipError& error) {
    while (r.phase != Phase::kGarbage) {
        const std::ptrdiff_t got = readChunk(in, buffers.input.get(), error);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!takeChunk(r, buffers.input.get(), static_cast<std::size_t>(got), error)) {
            return false;
        }
    }
    switch (r.phase) {
    case Phase::kMember:
    case Phase::kMagicSeen:
        return gzipFail(error, GzipReason::kTruncatedData);
    case Phase::kAfterMember:
        r.restored.tail = GzipTail::kNone;
        return true;
    case Phase::kZeros:
        r.restored.tail = GzipTail::kZeros;
        return true;
    case Phase::kGarbage:
        r.restored.tail = GzipTail::kGarbage;
        return true;
    }
    return gzipFail(error, GzipReason::kLibraryFailed);
}

} // namespace

bool gzipCompress(ByteSource in, ByteSink out, int level, GzipError& error) {
    error = {};
    Buffers buffers;
    if (!allocate(buffers, error)) {
        return false;
    }
    z_stream zs{};
    const int rc =
        deflateInit2(&zs, level, Z_DEFLATED, kGzipWindowBits, kMemLevel, Z_DEFAULT_STRATEGY);
    if (rc != Z_OK) {
        return initFailed(rc, error);
    }
    const bool ok = deflateAll(in, out, zs, buffers, error);
    deflateEnd(&zs);
    return ok;
}

bool gzipDecompress(ByteSource in, ByteSink out, GzipRestored& restored, GzipError& error) {
    error = {};
    restored = {};
    Buffers buffers;
    if (!allocate(buffers, error)) {
        return false;
    }
    Restore r;
    r.out = out;
    r.output = buffers.output.get();
    const int rc = inflateInit2(&r.zs, kGzipWindowBits);
    if (rc != Z_OK) {
        return initFailed(rc, error);
    }
    const bool ok = inflateAll(in, r, buffers, error);
    inflateEnd(&r.zs);
    restored = r.restored;
    return ok;
}

std::uint32_t crc32Of(std::span<const std::uint8_t> bytes) {
    uLong crc = crc32(0, Z_NULL, 0);
    // zlib takes at most 4 GiB - 1 bytes a call.
    for (std::size_t at = 0; at < bytes.size();) {
        const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
        crc = crc32(crc, bytes.data() + at, chunk);
        at += chunk;
    }
    return static_cast<std::uint32_t>(crc);
}
