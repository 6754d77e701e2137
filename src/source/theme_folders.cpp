// Finding the theme folders under the root folder.
#include "source/theme_folders.h"

#include "platform/files.h"
#include "platform/folders.h"

std::string themeFolderPath(const std::string& rootPath, int n) {
    return joinPath(rootPath, std::to_string(n));
}

int discoverThemeFolders(const std::string& rootPath, ThemeFlags& themePresent) {
    int count = 0;
    for (int n = 0; n < kThemeSlots; ++n) {
        // A plain file, or a folder that cannot be entered, is no theme.
        std::string error;
        if (canEnterFolder(themeFolderPath(rootPath, n), error)) {
            themePresent[n] = 1;
            ++count;
        }
    }
    return count;
}

std::string whyNoThemeFolder(const std::string& rootPath, int n) {
    const std::string path = themeFolderPath(rootPath, n);
    std::string error;
    if (canEnterFolder(path, error)) {
        return "";
    }
    switch (pathKind(path)) {
    case PathKind::kMissing:
        return "does not exist";
    case PathKind::kFolder:
        return "cannot be entered: " + error;
    default:
        return "is not a folder";
    }
}
