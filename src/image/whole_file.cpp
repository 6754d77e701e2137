// Whole-file reading into a reusable buffer, with the <cstdio> functions.
#include <cstdio>

#include "image/bmp_reader.h"
#include "platform/platform.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

BmpResult readWholeFile(const std::string& path, FileBytes& file) {
    file.size = 0;
    const std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        return BmpResult::cannotOpen;
    }
    // Read straight into the buffer until the end of the file: no stdio buffer, no seeks, and
    // usually a single read. A folder, which opens on some systems, fails the first read.
    std::setvbuf(stream.get(), nullptr, _IONBF, 0);
    std::size_t size = 0;
    for (;;) {
        if (!reserveScratch(file.buffer, size + 1, size)) {
            return BmpResult::outOfMemory;
        }
        const std::size_t wanted = file.buffer.capacity - size;
        const std::size_t got =
            std::fread(file.buffer.storage.get() + size, 1, wanted, stream.get());
        size += got;
        if (got < wanted) {
            break;
        }
    }
    if (std::ferror(stream.get())) {
        return isFolder(path) ? BmpResult::isFolder : BmpResult::readError;
    }
    file.size = size;
    return BmpResult::ok;
}
