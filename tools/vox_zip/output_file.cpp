// Temporary output files renamed into place, on <cstdio> and <filesystem>; only the exclusive
// creation of a new file needs an OS call.
#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

constexpr int kCreateAttempts = 16;

// Opens path for binary writing only if no file of that name exists yet, so that a name picked
// at random can never clobber someone else's file. errno tells why it failed.
std::FILE* createNewFile(const std::string& path) {
#ifdef _WIN32
    const int fd =
        _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* file = fd < 0 ? nullptr : _fdopen(fd, "wb");
    if (fd >= 0 && file == nullptr) {
        _close(fd);
    }
#else
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* file = fd < 0 ? nullptr : fdopen(fd, "wb");
    if (fd >= 0 && file == nullptr) {
        close(fd);
    }
#endif
    return file;
}

std::string randomSuffix(std::mt19937& rng) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::uniform_int_distribution<int> pick(0, 35);
    std::string suffix = ".";
    for (int i = 0; i < 8; ++i) {
        suffix += kDigits[pick(rng)];
    }
    return suffix + ".tmp";
}

std::string writeCause(int osError) {
    return std::string("cannot write: ") + std::strerror(osError);
}

} // namespace

bool beginOutput(const std::string& finalPath, PendingOutput& output, std::string& cause) {
    output = {};
    output.finalPath = finalPath;
    std::random_device seed;
    std::mt19937 rng(seed());
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        output.tempPath = finalPath + randomSuffix(rng);
        errno = 0;
        output.file = createNewFile(output.tempPath);
        if (output.file != nullptr) {
            return true;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    cause = writeCause(errno);
    return false;
}

bool commitOutput(PendingOutput& output, std::string& cause) {
    errno = 0;
    const bool closed = std::fclose(output.file) == 0;
    output.file = nullptr;
    if (!closed) {
        cause = writeCause(errno);
        abandonOutput(output);
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(output.tempPath, output.finalPath, ec);
    if (ec) {
        cause = "cannot write: " + ec.message();
        abandonOutput(output);
        return false;
    }
    return true;
}

void abandonOutput(PendingOutput& output) {
    if (output.file != nullptr) {
        std::fclose(output.file);
        output.file = nullptr;
    }
    std::remove(output.tempPath.c_str());
}
