// Reading image files head first, with the <cstdio> functions: the size is known before the first
// read, the headers are checked before the rest is read, and nothing past what they describe is
// ever read or allocated.
#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "image/bmp_reader.h"
#include "platform/platform.h"

BmpResult readFileHead(const std::string& path, FileBytes& file, std::string& cause,
                       std::size_t headBytes) {
    file.buffer.size = 0;
    file.fileSize = 0;
    file.stream.reset(openRegularFile(path, file.fileSize, cause));
    if (!file.stream) {
        return BmpResult::cannotOpen;
    }
    // Straight into the buffer: no stdio buffer, and one read for the usual file.
    std::setvbuf(file.stream.get(), nullptr, _IONBF, 0);
    return readFileRest(file, std::min<std::uint64_t>(file.fileSize, headBytes), cause);
}

BmpResult readFileRest(FileBytes& file, std::uint64_t end, std::string& cause) {
    ByteBuffer& buffer = file.buffer;
    if (end > buffer.size) {
        if (end > file.fileSize || !file.stream) {
            cause = "it holds fewer bytes than asked for";
            return BmpResult::readError;
        }
        if (end > SIZE_MAX) {
            return BmpResult::outOfMemory;
        }
        const auto wanted = static_cast<std::size_t>(end);
        if (!reserveBytes(buffer, wanted)) {
            return BmpResult::outOfMemory;
        }
        errno = 0;
        const std::size_t got =
            std::fread(buffer.data.get() + buffer.size, 1, wanted - buffer.size, file.stream.get());
        const int err = errno;
        buffer.size += got;
        if (buffer.size < wanted) {
            cause = std::ferror(file.stream.get()) ? osErrorText(err)
                                                   : "it became shorter while it was read";
            file.stream.reset();
            return BmpResult::readError;
        }
    }
    if (buffer.size == file.fileSize) {
        file.stream.reset();
    }
    return BmpResult::ok;
}
