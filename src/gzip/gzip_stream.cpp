// What both builds of the gzip streams share: the file and memory ends, and the error texts.
#include "gzip/gzip_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

std::ptrdiff_t readFile(void* context, std::uint8_t* buffer, std::size_t capacity, int& osError) {
    auto* file = static_cast<std::FILE*>(context);
    errno = 0;
    const std::size_t got = std::fread(buffer, 1, capacity, file);
    if (got < capacity && std::ferror(file)) {
        osError = errno;
        return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
}

bool writeFile(void* context, const std::uint8_t* bytes, std::size_t size, int& osError) {
    errno = 0;
    if (std::fwrite(bytes, 1, size, static_cast<std::FILE*>(context)) != size) {
        osError = errno;
        return false;
    }
    return true;
}

std::ptrdiff_t readMemory(void* context, std::uint8_t* buffer, std::size_t capacity, int&) {
    auto& memory = *static_cast<MemoryBytes*>(context);
    std::size_t size = std::min(capacity, memory.bytes.size() - memory.next);
    if (memory.chunk != 0) {
        size = std::min(size, memory.chunk);
    }
    if (size != 0) {
        std::memcpy(buffer, memory.bytes.data() + memory.next, size);
    }
    memory.next += size;
    return static_cast<std::ptrdiff_t>(size);
}

} // namespace

ByteSource fileSource(std::FILE* file, std::uint64_t sizeHint) {
    return {file, readFile, sizeHint};
}

ByteSink fileSink(std::FILE* file) {
    return {file, writeFile};
}

ByteSink bufferSink(ByteBuffer& buffer, std::uint64_t limit) {
    return {nullptr, nullptr, limit, &buffer};
}

ByteSource memorySource(MemoryBytes& memory) {
    return {&memory, readMemory, memory.bytes.size()};
}

std::string describeGzipError(const GzipError& error) {
    const auto withOs = [&](const char* what) {
        return error.osError != 0 ? std::string(what) + ": " + std::strerror(error.osError)
                                  : std::string(what);
    };
    switch (error.reason) {
    case GzipReason::kNone:
        return "no error";
    case GzipReason::kReadFailed:
        return withOs("read failed");
    case GzipReason::kWriteFailed:
        return withOs("write failed");
    case GzipReason::kCorruptData:
        return std::string("not valid gzip data (") +
               (error.detail != nullptr ? error.detail : "corrupt") + ")";
    case GzipReason::kTruncatedData:
        return "gzip data ends early (truncated file)";
    case GzipReason::kOutOfMemory:
        return "out of memory";
    case GzipReason::kTooLarge:
        return "restores to more bytes than allowed";
    case GzipReason::kLibraryFailed:
        return "internal error in the compression library";
    }
    return "unknown error";
}
