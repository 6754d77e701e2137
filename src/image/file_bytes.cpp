// Reading image files head first. The bytes go straight from the OS into the buffer, in one read
// for the usual file.
#include "image/file_bytes.h"
#include "platform/files.h"

#include <algorithm>

ImageResult readFileHead(const std::string& path, FileBytes& file, std::string& cause,
                         std::size_t headBytes) {
    file.buffer.size = 0;
    file.fileSize = 0;
    file.machineShortage = false;
    if (!openInputFile(path, file.input, file.fileSize, cause, &file.machineShortage)) {
        return ImageResult::kCannotOpen;
    }
    return readFileRest(file, std::min<std::uint64_t>(file.fileSize, headBytes), cause);
}

namespace {

// Reads count bytes from the file's position into bytes; a short read is a failure.
ImageResult readExactly(FileBytes& file, std::uint8_t* bytes, std::size_t count,
                        std::string& cause) {
    std::size_t got = 0;
    const bool read = readInputFile(file.input, bytes, count, got, cause, &file.machineShortage);
    if (!read || got < count) {
        if (read) {
            cause = "it became shorter while it was read";
            file.machineShortage = false;
        }
        closeInputFile(file.input);
        return ImageResult::kReadError;
    }
    return ImageResult::kOk;
}

} // namespace

ImageResult readFileRest(FileBytes& file, std::uint64_t end, std::string& cause) {
    ByteBuffer& buffer = file.buffer;
    if (end > buffer.size) {
        if (end > file.fileSize || file.input.value == -1) {
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
        closeInputFile(file.input);
    }
    return ImageResult::kOk;
}

ImageResult readFileRange(FileBytes& file, std::uint64_t offset, std::size_t size, ByteBuffer& into,
                          std::string& cause) {
    if (file.input.value == -1 || offset > file.fileSize || size > file.fileSize - offset) {
        cause = "it holds fewer bytes than asked for";
        return ImageResult::kReadError;
    }
    if (!reserveBytes(into, size)) {
        return ImageResult::kOutOfMemory;
    }
    into.size = 0;
    if (!seekInputFile(file.input, offset, cause)) {
        closeInputFile(file.input);
        return ImageResult::kReadError;
    }
    const ImageResult result = readExactly(file, into.data.get(), size, cause);
    into.size = result == ImageResult::kOk ? size : 0;
    return result;
}
