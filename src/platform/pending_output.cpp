// Temporary output files renamed into place, through the platform layer's own temporary files:
// one way to make them for the packager, VOX_ZIP and theme-inspect alike.
#include "platform/pending_output.h"

#include <cerrno>

#include "platform/platform.h"

namespace {

std::string writeCause(const std::string& error) {
    return "cannot write: " + error;
}

} // namespace

bool beginOutput(const std::string& finalPath, PendingOutput& output, std::string& cause) {
    output.finalPath = finalPath;
    std::string error;
    output.file = createTempFile(finalPath, output.tempPath, error, output.ownerOnly);
    if (output.file == nullptr) {
        cause = writeCause(error);
        return false;
    }
    return true;
}

bool commitOutput(PendingOutput& output, std::string& cause) {
    std::string error;
    const bool synced = !output.durable || syncFile(output.file, error);
    errno = 0;
    const bool closed = std::fclose(output.file) == 0;
    output.file = nullptr;
    if (synced && !closed) {
        error = osErrorText(errno);
    }
    if (!synced || !closed ||
        !replaceFile(output.tempPath, output.finalPath, error, output.durable)) {
        cause = writeCause(error);
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
    std::string ignored;
    deleteFile(output.tempPath, ignored);
}
