// Temporary output files renamed into place, through the platform layer's own temporary files:
// one way to make them for the packager, VOX_ZIP and theme-inspect alike.
#include "platform/pending_output.h"

#include <cerrno>

#include "platform/files.h"

bool beginOutput(const std::string& finalPath, PendingOutput& output, std::string& error) {
    output.finalPath = finalPath;
    output.file =
        createTempFile(finalPath, output.tempPath, error, output.ownerOnly, output.folder);
    return output.file != nullptr;
}

bool writeOutput(PendingOutput& output, const void* bytes, std::size_t size, std::string& error) {
    return writeFileBytes(output.file, bytes, size, error);
}

bool closeOutput(PendingOutput& output, std::string& error) {
    const bool synced = !output.durable || syncFile(output.file, error);
    errno = 0;
    const bool closed = std::fclose(output.file) == 0;
    output.file = nullptr;
    if (synced && !closed) {
        error = osErrorText(errno);
    }
    return synced && closed;
}

std::size_t publishOutputs(std::span<PendingOutput* const> outputs, std::string& error) {
    std::size_t published = 0;
    for (PendingOutput* output : outputs) {
        if (!replaceFile(output->tempPath, output->finalPath, error, output->durable,
                         output->folder)) {
            break;
        }
        output->tempPath.clear();
        ++published;
    }
    return published;
}

bool commitOutput(PendingOutput& output, std::string& error) {
    PendingOutput* const one[] = {&output};
    if (!closeOutput(output, error) || publishOutputs(one, error) != 1) {
        abandonOutput(output);
        return false;
    }
    return true;
}

bool abandonOutput(PendingOutput& output, std::string* error) {
    if (output.file != nullptr) {
        std::fclose(output.file);
        output.file = nullptr;
    }
    std::string cause;
    const bool removed =
        output.tempPath.empty() || deleteFile(output.tempPath, cause, output.folder);
    output.tempPath.clear();
    if (!removed && error != nullptr) {
        *error = cause;
    }
    return removed;
}

bool writeWholeFile(const std::string& path, const void* bytes, std::size_t size,
                    std::string& error, const FolderHandle* in) {
    PendingOutput output;
    output.folder = in;
    if (beginOutput(path, output, error) && writeOutput(output, bytes, size, error) &&
        commitOutput(output, error)) {
        return true;
    }
    abandonOutput(output);
    return false;
}
