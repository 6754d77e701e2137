// Opening files for reading on POSIX without ever blocking, and looking at paths without opening
// them: the file is opened non-blocking and looked at through its descriptor, so that what is
// checked is what is read. Paths may be longer than the OS limit.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/path_walk_posix.h"

std::FILE* openRegularFile(const std::string& path, std::uint64_t& size, std::string& error) {
    size = 0;
    PathParent parent;
    int err = 0;
    if (!openPathParent(path, parent, err)) {
        error = osErrorText(err);
        return nullptr;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = openat(parent.folder, parent.leaf.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = osErrorText(errno);
        return nullptr;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        error = osErrorText(errno);
        close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        error = S_ISDIR(info.st_mode) ? "is a folder" : "not a regular file";
        close(fd);
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error = osErrorText(errno);
        close(fd);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) {
        error = osErrorText(errno);
        close(fd);
        return nullptr;
    }
    size = static_cast<std::uint64_t>(info.st_size);
    return file;
}

PathKind pathKind(const std::string& path, std::string& error) {
    error.clear();
    PathParent parent;
    int err = 0;
    struct stat info;
    if (!openPathParent(path, parent, err) ||
        fstatat(parent.folder, parent.leaf.c_str(), &info, 0) != 0) {
        err = err != 0 ? err : errno;
        // A folder on the way that is missing or no folder leaves nothing at path.
        if (err == ENOENT || err == ENOTDIR) {
            return PathKind::kMissing;
        }
        error = osErrorText(err);
        return PathKind::kOther;
    }
    if (S_ISREG(info.st_mode)) {
        return PathKind::kRegular;
    }
    return S_ISDIR(info.st_mode) ? PathKind::kFolder : PathKind::kOther;
}

PathKind pathKind(const std::string& path) {
    std::string ignored;
    return pathKind(path, ignored);
}

std::string osErrorText(int err) {
    return err != 0 ? std::strerror(err) : "unknown error";
}
