// Whole-file reading into a reusable buffer, with the <cstdio> functions.
#include <cstdio>
#include <new>

#include "image/bmp_reader.h"
#include "platform/platform.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

/// Makes room for size bytes. The old storage goes first, so the peak is the new size alone.
bool reserveFileBytes(FileBytes& file, std::size_t size) {
    if (size <= file.capacity) {
        return true;
    }
    file.storage.reset();
    file.capacity = 0;
    file.storage.reset(new (std::nothrow) std::uint8_t[size]);
    if (!file.storage) {
        return false;
    }
    file.capacity = size;
    return true;
}

} // namespace

BmpResult readWholeFile(const std::string& path, FileBytes& file) {
    file.size = 0;
    // A folder opens on some systems and reports a meaningless length at its end.
    if (isFolder(path)) {
        return BmpResult::isFolder;
    }
    const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        return BmpResult::cannotOpen;
    }
    if (std::fseek(stream.get(), 0, SEEK_END) != 0) {
        return BmpResult::readError;
    }
    const long length = std::ftell(stream.get());
    if (length < 0 || std::fseek(stream.get(), 0, SEEK_SET) != 0) {
        return BmpResult::readError;
    }
    const auto size = static_cast<std::size_t>(length);
    if (!reserveFileBytes(file, size)) {
        return BmpResult::outOfMemory;
    }
    if (size != 0 && std::fread(file.storage.get(), 1, size, stream.get()) != size) {
        return BmpResult::readError;
    }
    file.size = size;
    return BmpResult::ok;
}
