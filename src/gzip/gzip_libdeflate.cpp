// gzip compression and restoration with libdeflate, which works on whole buffers: the input is
// read whole, compressed in one call, and restored member by member into one buffer each. The
// gzip wrapper of a member is read here (RFC 1952), so that a cut file, a bad check and what
// follows the last member are told apart as zlib's streams tell them; libdeflate restores the
// deflate data between header and trailer.
//
// Memory: compressing holds the input and its compressed form; restoring holds the input and
// the largest restored member, or, into a sink's buffer, the restored bytes alone. A member's
// size is never taken from the file's last four bytes (ISIZE, when it has one member) alone:
// the first room for it is no more than a few times its compressed size, and it grows by
// doubling (to ISIZE exactly when a step passes it), never beyond what deflate can restore from
// the bytes there nor beyond the sink's limit.
#include "gzip/gzip_stream.h"

#include <algorithm>

#include <libdeflate.h>

#include "common/byte_buffer.h"
#include "common/byte_order.h"
#include "gzip/gzip_backend.h"

namespace {

constexpr std::size_t kFirstReadSize = 128 * 1024;
// Deflate restores at most 258 bytes from a 2-bit code: 1032 bytes per input byte, plus slack.
constexpr std::uint64_t kMaxDeflateRatio = 1032;
constexpr std::uint64_t kRestoreSlack = 64 * 1024;
// The first room for a member, per compressed byte: bins compress to about half.
constexpr std::uint64_t kFirstRoomRatio = 8;

constexpr std::uint8_t kMethodDeflate = 8;
constexpr std::size_t kFixedHeaderSize = 10;
constexpr std::size_t kTrailerSize = 8;
// FLG bits.
constexpr std::uint8_t kFlagHeaderCrc = 0x02;
constexpr std::uint8_t kFlagExtra = 0x04;
constexpr std::uint8_t kFlagName = 0x08;
constexpr std::uint8_t kFlagComment = 0x10;
constexpr std::uint8_t kFlagsReserved = 0xE0;

// Reads everything in gives into buffer, in one read when the size hint is right.
bool readAll(ByteSource in, ByteBuffer& buffer, GzipError& error) {
    // One byte more than expected, so that the read that finds the end needs no growth.
    const std::uint64_t expected = in.sizeHint < SIZE_MAX ? in.sizeHint + 1 : SIZE_MAX;
    if (!reserveBytes(buffer, static_cast<std::size_t>(std::max<std::uint64_t>(expected, 1)))) {
        return gzipFail(error, GzipReason::kOutOfMemory);
    }
    for (;;) {
        if (buffer.size == buffer.capacity) {
            const std::size_t grown = std::max(buffer.capacity, kFirstReadSize);
            if (grown > SIZE_MAX - buffer.capacity ||
                !reserveBytes(buffer, buffer.capacity + grown)) {
                return gzipFail(error, GzipReason::kOutOfMemory);
            }
        }
        int osError = 0;
        const std::ptrdiff_t got = in.read(in.context, buffer.data.get() + buffer.size,
                                           buffer.capacity - buffer.size, osError);
        if (got < 0) {
            return gzipFail(error, GzipReason::kReadFailed, osError);
        }
        if (got == 0) {
            return true;
        }
        buffer.size += static_cast<std::size_t>(got);
    }
}

bool writeAll(ByteSink out, const std::uint8_t* bytes, std::size_t size, GzipError& error) {
    if (size != 0 && out.buffer != nullptr) {
        return appendBytes(*out.buffer, bytes, size) || gzipFail(error, GzipReason::kOutOfMemory);
    }
    int osError = 0;
    if (size != 0 && !out.write(out.context, bytes, size, osError)) {
        return gzipFail(error, GzipReason::kWriteFailed, osError);
    }
    return true;
}

// The length of the member header at the start of bytes, checked in the order zlib reads it, so
// that a wrong byte is told before a missing one.
bool readHeader(std::span<const std::uint8_t> bytes, std::size_t& length, GzipError& error) {
    const auto at = [&](std::size_t i) { return i < bytes.size() ? bytes[i] : -1; };
    if ((at(0) >= 0 && at(0) != kGzipMagic[0]) || (at(1) >= 0 && at(1) != kGzipMagic[1])) {
        return gzipFail(error, GzipReason::kCorruptData, 0, "incorrect header check");
    }
    if (at(2) >= 0 && at(2) != kMethodDeflate) {
        return gzipFail(error, GzipReason::kCorruptData, 0, "unknown compression method");
    }
    if (at(3) >= 0 && (at(3) & kFlagsReserved) != 0) {
        return gzipFail(error, GzipReason::kCorruptData, 0, "unknown header flags set");
    }
    if (bytes.size() < kFixedHeaderSize) {
        return gzipFail(error, GzipReason::kTruncatedData);
    }
    const std::uint8_t flags = bytes[3];
    std::size_t pos = kFixedHeaderSize;
    if ((flags & kFlagExtra) != 0) {
        if (bytes.size() - pos < 2 || bytes.size() - pos - 2 < loadU16Le(bytes.data() + pos)) {
            return gzipFail(error, GzipReason::kTruncatedData);
        }
        pos += 2 + loadU16Le(bytes.data() + pos);
    }
    for (const std::uint8_t flag : {kFlagName, kFlagComment}) {
        if ((flags & flag) != 0) {
            const auto end = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                       bytes.end(), std::uint8_t{0});
            if (end == bytes.end()) {
                return gzipFail(error, GzipReason::kTruncatedData);
            }
            pos = static_cast<std::size_t>(end - bytes.begin()) + 1;
        }
    }
    if ((flags & kFlagHeaderCrc) != 0) {
        if (bytes.size() - pos < 2) {
            return gzipFail(error, GzipReason::kTruncatedData);
        }
        if ((libdeflate_crc32(0, bytes.data(), pos) & 0xFFFF) != loadU16Le(bytes.data() + pos)) {
            return gzipFail(error, GzipReason::kCorruptData, 0, "header crc mismatch");
        }
        pos += 2;
    }
    length = pos;
    return true;
}

struct Decompressor {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    Decompressor() = default;
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;
    ~Decompressor() { libdeflate_free_decompressor(d); }
};

// A restore in progress over the whole input.
struct Restore {
    std::span<const std::uint8_t> input;
    ByteSink out;
    ByteBuffer member; // the current member's bytes, when the sink has no buffer of its own
    std::uint64_t written = 0;
    GzipRestored restored;
};

// Where the members are restored: behind what the sink's buffer holds, or in member.
ByteBuffer& restoreBuffer(Restore& r) {
    return r.out.buffer != nullptr ? *r.out.buffer : r.member;
}

// Restores the deflate data at the start of data behind what the restore buffer holds (its size
// stays); sets used to its length in data and produced to the bytes it gave.
bool inflateMember(Restore& r, Decompressor& decompressor, std::span<const std::uint8_t> data,
                   std::size_t& used, std::size_t& produced, GzipError& error) {
    ByteBuffer& into = restoreBuffer(r);
    const std::uint64_t room = r.out.limit - r.written;
    const std::uint64_t ratioBound = data.size() * kMaxDeflateRatio + kRestoreSlack;
    const std::uint64_t bound = std::min({room, ratioBound, std::uint64_t{SIZE_MAX - into.size}});
    const std::uint64_t hint =
        r.input.size() >= 4 ? loadU32Le(r.input.data() + r.input.size() - 4) : 0;
    const std::uint64_t guess = std::min(hint, data.size() * kFirstRoomRatio + kRestoreSlack);
    std::uint64_t capacity = std::min(std::max(guess, kRestoreSlack), bound);
    for (;;) {
        if (!reserveBytes(into, into.size + static_cast<std::size_t>(capacity))) {
            return gzipFail(error, GzipReason::kOutOfMemory);
        }
        const libdeflate_result result = libdeflate_deflate_decompress_ex(
            decompressor.d, data.data(), data.size(), into.data.get() + into.size,
            static_cast<std::size_t>(capacity), &used, &produced);
        if (result == LIBDEFLATE_SUCCESS) {
            return true;
        }
        if (result != LIBDEFLATE_INSUFFICIENT_SPACE) {
            // libdeflate tells no more; a stream cut short fails the same way.
            return gzipFail(error, GzipReason::kCorruptData, 0,
                            "invalid deflate data, or the file is cut short");
        }
        if (capacity == bound) {
            return bound == room ? gzipFail(error, GzipReason::kTooLarge)
                                 : gzipFail(error, GzipReason::kCorruptData, 0,
                                            "restores to more than deflate can");
        }
        const std::uint64_t next = capacity > bound / 2 ? bound : capacity * 2;
        capacity = hint > capacity && hint < next ? hint : next;
    }
}

// Restores the member at the start of data; sets length to its size in the input.
bool restoreMember(Restore& r, Decompressor& decompressor, std::span<const std::uint8_t> data,
                   std::size_t& length, GzipError& error) {
    ByteBuffer& into = restoreBuffer(r);
    if (r.out.buffer == nullptr) {
        into.size = 0; // one member at a time
    }
    std::size_t header = 0;
    std::size_t deflated = 0;
    std::size_t produced = 0;
    if (!readHeader(data, header, error) ||
        !inflateMember(r, decompressor, data.subspan(header), deflated, produced, error)) {
        return false;
    }
    const std::span<const std::uint8_t> rest = data.subspan(header + deflated);
    if (rest.size() < kTrailerSize) {
        return gzipFail(error, GzipReason::kTruncatedData);
    }
    const std::uint8_t* member = into.data.get() + into.size;
    if (libdeflate_crc32(0, member, produced) != loadU32Le(rest.data())) {
        return gzipFail(error, GzipReason::kCorruptData, 0, "incorrect data check");
    }
    if (static_cast<std::uint32_t>(produced) != loadU32Le(rest.data() + 4)) {
        return gzipFail(error, GzipReason::kCorruptData, 0, "incorrect length check");
    }
    length = header + deflated + kTrailerSize;
    r.written += produced;
    ++r.restored.members;
    if (r.out.buffer != nullptr) {
        into.size += produced;
        return true;
    }
    return writeAll(r.out, member, produced, error);
}

// What follows a member at pos: true when another member starts there.
bool nextMemberStarts(Restore& r, std::size_t pos, GzipError& error) {
    const std::span<const std::uint8_t> rest = r.input.subspan(pos);
    r.restored.tailOffset = pos;
    if (rest.empty()) {
        r.restored.tail = GzipTail::kNone;
        return false;
    }
    if (rest[0] == kGzipMagic[0]) {
        if (rest.size() == 1) {
            return gzipFail(error, GzipReason::kTruncatedData);
        }
        if (rest[1] == kGzipMagic[1]) {
            return true;
        }
    }
    const bool zeros = std::all_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b == 0; });
    r.restored.tail = zeros ? GzipTail::kZeros : GzipTail::kGarbage;
    return false;
}

} // namespace

bool gzipCompress(ByteSource in, ByteSink out, int level, GzipError& error) {
    error = {};
    ByteBuffer input;
    if (!readAll(in, input, error)) {
        return false;
    }
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(level);
    if (compressor == nullptr) {
        return gzipFail(error, level >= 1 && level <= 9 ? GzipReason::kOutOfMemory
                                                        : GzipReason::kLibraryFailed);
    }
    ByteBuffer output;
    const std::size_t bound = libdeflate_gzip_compress_bound(compressor, input.size);
    bool ok = reserveBytes(output, bound) || gzipFail(error, GzipReason::kOutOfMemory);
    if (ok) {
        output.size = libdeflate_gzip_compress(compressor, input.data.get(), input.size,
                                               output.data.get(), bound);
        ok = output.size != 0 || gzipFail(error, GzipReason::kLibraryFailed);
    }
    libdeflate_free_compressor(compressor);
    return ok && writeAll(out, output.data.get(), output.size, error);
}

bool gzipDecompress(ByteSource in, ByteSink out, GzipRestored& restored, GzipError& error) {
    error = {};
    restored = {};
    ByteBuffer input;
    if (!readAll(in, input, error)) {
        return false;
    }
    Decompressor decompressor;
    if (decompressor.d == nullptr) {
        return gzipFail(error, GzipReason::kOutOfMemory);
    }
    Restore r{input.view(), out, {}, 0, {}};
    std::size_t pos = 0;
    bool more = true;
    while (more) {
        std::size_t length = 0;
        if (!restoreMember(r, decompressor, r.input.subspan(pos), length, error)) {
            restored = r.restored;
            return false;
        }
        pos += length;
        more = nextMemberStarts(r, pos, error);
        if (error.reason != GzipReason::kNone) {
            restored = r.restored;
            return false;
        }
    }
    restored = r.restored;
    return true;
}

std::uint32_t crc32Of(std::span<const std::uint8_t> bytes) {
    return libdeflate_crc32(0, bytes.data(), bytes.size());
}
