// Opening files for reading on POSIX without ever blocking: the file is opened non-blocking and
// looked at through its descriptor, so that what is checked is what is read.
#include "platform/platform.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::FILE* openRegularFile(const std::string& path, std::uint64_t& size, std::string& error) {
    size = 0;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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

std::string osErrorText(int err) {
    return err != 0 ? std::strerror(err) : "unknown error";
}
