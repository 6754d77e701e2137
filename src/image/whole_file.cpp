// Whole-file reading into a reusable buffer, with the <cstdio> functions.
#include <cstdio>
#include <cstring>
#include <new>

#include "image/bmp_reader.h"
#include "platform/platform.h"

namespace {

constexpr std::size_t kMinCapacity = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Room for at least `needed` bytes, keeping the first `kept` bytes. Storage only grows, so
// reading thousands of files allocates only for a file larger than all before it.
bool growFileBytes(FileBytes& file, std::size_t needed, std::size_t kept) {
    if (needed <= file.capacity) {
        return true;
    }
    std::size_t capacity = file.capacity < kMinCapacity ? kMinCapacity : file.capacity;
    while (capacity < needed) {
        capacity *= 2;
    }
    std::unique_ptr<std::uint8_t[]> grown(new (std::nothrow) std::uint8_t[capacity]);
    if (!grown) {
        return false;
    }
    if (kept != 0) {
        std::memcpy(grown.get(), file.storage.get(), kept);
    }
    file.storage = std::move(grown);
    file.capacity = capacity;
    return true;
}

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
        if (!growFileBytes(file, size + 1, size)) {
            return BmpResult::outOfMemory;
        }
        const std::size_t wanted = file.capacity - size;
        const std::size_t got = std::fread(file.storage.get() + size, 1, wanted, stream.get());
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
