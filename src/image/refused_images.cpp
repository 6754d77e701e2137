// Only the headers are read: a few bytes a file, whatever its size, and no buffer of its pixels.
#include "image/refused_images.h"

#include "platform/files.h"

namespace {

// The headers read of each file: those of every accepted BMP form.
constexpr std::size_t kHeaderBytes = 70;

bool liesIn(const std::string& path, const std::string& folder) {
    return path.starts_with(folder) &&
           (path.size() == folder.size() || path[folder.size()] == kPathSeparator);
}

} // namespace

RefusedImages findRefusedImages(const ImageFileEntry* first, const std::string& themeFolder,
                                int compress, std::size_t named) {
    RefusedImages refused;
    FileBytes file;
    for (const ImageFileEntry* entry = first; entry != nullptr; entry = entry->next.get()) {
        if (!liesIn(entry->dirPath, themeFolder)) {
            continue;
        }
        ImageFailure failure;
        failure.path = joinPath(entry->dirPath, entry->fileName);
        BmpFrame frame;
        failure.result =
            checkImageHeaders(failure.path, compress, kHeaderBytes, file, frame, failure.cause);
        closeInputFile(file.input);
        if (isMachineFailure(failure.result, file)) {
            refused.stoppedAt = std::move(failure);
            break;
        }
        if (failure.result != ImageResult::kOk && refused.named.size() < named) {
            refused.named.push_back(std::move(failure));
        } else if (failure.result != ImageResult::kOk) {
            ++refused.more;
        }
    }
    return refused;
}
