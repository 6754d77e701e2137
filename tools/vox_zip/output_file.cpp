// Temporary output files renamed into place, on <cstdio> and the tool's OS part.
#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <random>

#include "os_files.h"

namespace {

constexpr int kCreateAttempts = 16;

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
        // A new name only, so that a name picked at random can never clobber someone else's file.
        bool taken = false;
        std::string why;
        output.file = createNewFile(output.tempPath, taken, why);
        if (output.file != nullptr) {
            return true;
        }
        cause = "cannot write: " + why;
        if (!taken) {
            break;
        }
    }
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
    std::string why;
    if (!renameOver(output.tempPath, output.finalPath, why)) {
        cause = "cannot write: " + why;
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
    removeFile(output.tempPath);
}
