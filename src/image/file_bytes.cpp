// Reading image files head first. The bytes go straight from the OS into the buffer, in one read
// for the usual file.
#include "image/file_bytes.h"

#include <algorithm>

ImageResult readFileHead(const std::string& path, FileBytes& file, std::string& cause,
                         std::size_t headBytes) {
    file.buffer.size = 0;
    file.fileSize = 0;
    if (!openInputFile(path, file.input, file.fileSize, cause)) {
        return ImageResult::kCannotOpen;
    }
    return readFileRest(file, std::min<std::uint64_t>(file.fileSize, headBytes), cause);
}

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
        std::size_t got = 0;
        const bool read = readInputFile(file.input, buffer.data.get() + buffer.size,
                                        wanted - buffer.size, got, cause);
        buffer.size += got;
        if (buffer.size < wanted) {
            if (read) {
                cause = "it became shorter while it was read";
            }
            closeInputFile(file.input);
            return ImageResult::kReadError;
        }
    }
    if (buffer.size == file.fileSize) {
        closeInputFile(file.input);
    }
    return ImageResult::kOk;
}
