// VOX_ZIP's files on POSIX: UTF-8 names are the OS's own.
#include "os_files.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

std::vector<std::string> commandArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::FILE* openForReading(const std::string& path, std::string& cause) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        cause = std::strerror(errno);
    }
    return file;
}

std::FILE* createNewFile(const std::string& path, bool& taken, std::string& cause) {
    taken = false;
    // O_EXCL: an existing entry of that name, even a link that leads nowhere, makes the call fail.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (file == nullptr) {
        taken = errno == EEXIST;
        cause = std::strerror(errno);
        if (fd >= 0) {
            close(fd);
            unlink(path.c_str());
        }
    }
    return file;
}

bool renameOver(const std::string& from, const std::string& to, std::string& cause) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        cause = std::strerror(errno);
        return false;
    }
    return true;
}

void removeFile(const std::string& path) {
    unlink(path.c_str());
}
