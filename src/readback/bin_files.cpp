// Reading bins: the size of a plain bin is known before its buffer is allocated; a .gz is
// restored into one buffer that stops at the limit, so neither a size field nor a small file
// that restores to gigabytes can make it take more memory than the limit.
#include "readback/bin_files.h"

#include <cerrno>
#include <cstdio>

#include "gzip/gzip_format.h"
#include "gzip/gzip_stream.h"
#include "platform/files.h"

namespace {

// The bin is restored straight into file.bytes, which grows as the data comes: its bytes are
// held once, and never more of them than limit.
LoadFailure restore(std::FILE* in, BinFile& file, std::uint64_t limit, std::string& error) {
    GzipRestored restored;
    GzipError gzipError;
    // Bytes after the last member do not change what it restores to, as for any gzip reader.
    if (gzipDecompress(fileSource(in, file.storedSize), bufferSink(file.bytes, limit), restored,
                       gzipError)) {
        return LoadFailure::kNone;
    }
    switch (gzipError.reason) {
    case GzipReason::kTooLarge:
        error = "restores to more than " + std::to_string(limit) + " bytes";
        return LoadFailure::kTooLarge;
    case GzipReason::kOutOfMemory:
        error = "out of memory while restoring it";
        return LoadFailure::kOutOfMemory;
    default:
        error = describeGzipError(gzipError);
        return gzipError.reason == GzipReason::kReadFailed ? LoadFailure::kUnreadable
                                                           : LoadFailure::kBadGzip;
    }
}

LoadFailure readPlain(std::FILE* in, BinFile& file, std::uint64_t limit, std::string& error) {
    if (file.storedSize > limit) {
        error = "is " + std::to_string(file.storedSize) + " bytes long, more than the " +
                std::to_string(limit) + " a bin can be";
        return LoadFailure::kTooLarge;
    }
    const auto size = static_cast<std::size_t>(file.storedSize);
    if (!reserveBytes(file.bytes, size)) {
        error = "out of memory for its " + std::to_string(size) + " bytes";
        return LoadFailure::kOutOfMemory;
    }
    errno = 0;
    file.bytes.size = std::fread(file.bytes.data.get(), 1, size, in);
    if (file.bytes.size != size || std::fgetc(in) != EOF) {
        error = std::ferror(in) ? "cannot be read: " + osErrorText(errno)
                                : std::string("changed its length while being read");
        return LoadFailure::kUnreadable;
    }
    return LoadFailure::kNone;
}

} // namespace

bool findBinFile(const std::string& root, const std::string& binName, BinFile& file) {
    for (const std::string& name : {binName, binName + kGzipSuffix}) {
        const std::string path = root.empty() ? name : joinPath(root, name);
        if (pathKind(path) != PathKind::kMissing) {
            file.name = name;
            file.path = path;
            file.compressed = name.size() != binName.size();
            return true;
        }
    }
    return false;
}

LoadFailure loadBinFile(BinFile& file, std::uint64_t limit, std::string& error) {
    file.bytes = ByteBuffer{};
    std::FILE* in = openRegularFile(file.path, file.storedSize, error);
    if (in == nullptr) {
        return LoadFailure::kUnreadable;
    }
    const LoadFailure failure =
        file.compressed ? restore(in, file, limit, error) : readPlain(in, file, limit, error);
    std::fclose(in);
    if (failure != LoadFailure::kNone) {
        file.bytes = ByteBuffer{};
    }
    return failure;
}
