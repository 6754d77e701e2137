// Reading image files head first. The stream is unbuffered: the bytes go straight into the
// buffer, in one read for the usual file.
#include "image/file_bytes.h"

#include <algorithm>
#include <cerrno>

#include "platform/platform.h"

ImageResult readFileHead(const std::string& path, FileBytes& file, std::string& cause,
                         std::size_t headBytes) {
    file.buffer.size = 0;
    file.fileSize = 0;
    file.machineShortage = false;
    file.stream.reset(openRegularFile(path, file.fileSize, cause, &file.machineShortage));
    if (!file.stream) {
        return ImageResult::kCannotOpen;
    }
    std::setvbuf(file.stream.get(), nullptr, _IONBF, 0);
    return readFileRest(file, std::min<std::uint64_t>(file.fileSize, headBytes), cause);
}

namespace {

// Reads count bytes from the file's position into bytes; a short read is a failure.
ImageResult readExactly(FileBytes& file, std::uint8_t* bytes, std::size_t count,
                        std::string& cause) {
    errno = 0;
    const std::size_t got = std::fread(bytes, 1, count, file.stream.get());
    const int err = errno;
    if (got < count) {
        const bool failed = std::ferror(file.stream.get()) != 0;
        cause = failed ? osErrorText(err) : "it became shorter while it was read";
        file.machineShortage = failed && isMachineShortage(err);
        file.stream.reset();
        return ImageResult::kReadError;
    }
    return ImageResult::kOk;
}

} // namespace

ImageResult readFileRest(FileBytes& file, std::uint64_t end, std::string& cause) {
    ByteBuffer& buffer = file.buffer;
    if (end > buffer.size) {
        if (end > file.fileSize || !file.stream) {
            cause = "it holds fewer bytes than asked for";
            return ImageResult::kReadError;
        }
        if (end > SIZE_MAX) {
            return ImageResult::kOutOfMemory;
        }
        const auto wanted = static_cast<std::size_t>(end);
        if (!reserveBytes(buffer, wanted)) {
            return ImageResult::kOutOfMemory;
        }
        const ImageResult result =
            readExactly(file, buffer.data.get() + buffer.size, wanted - buffer.size, cause);
        if (result != ImageResult::kOk) {
            return result;
        }
        buffer.size = wanted;
    }
    if (buffer.size == file.fileSize) {
        file.stream.reset();
    }
    return ImageResult::kOk;
}

ImageResult readFileRange(FileBytes& file, std::uint64_t offset, std::size_t size, ByteBuffer& into,
                          std::string& cause) {
    if (!file.stream || offset > file.fileSize || size > file.fileSize - offset) {
        cause = "it holds fewer bytes than asked for";
        return ImageResult::kReadError;
    }
    if (!reserveBytes(into, size)) {
        return ImageResult::kOutOfMemory;
    }
    into.size = 0;
    if (!seekFile(file.stream.get(), offset, cause)) {
        file.stream.reset();
        return ImageResult::kReadError;
    }
    const ImageResult result = readExactly(file, into.data.get(), size, cause);
    into.size = result == ImageResult::kOk ? size : 0;
    return result;
}
