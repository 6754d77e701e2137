// Temporary output files renamed into place, on <cstdio> and <filesystem>.
#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr int kCreateAttempts = 16;

// Opens path for binary writing only if no file of that name exists yet ("x", exclusive
// creation), so that a name picked at random can never clobber someone else's file. errno
// tells why it failed.
std::FILE* createNewFile(const std::string& path) {
    return std::fopen(path.c_str(), "wbx");
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
