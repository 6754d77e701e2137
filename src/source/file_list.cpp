// Theme file lists: the folder scan of the base theme and the lists derived from it for the
// variant themes.
#include "source/file_list.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/platform.h"
#include "source/linked_chain.h"
#include "source/theme_folders.h"

namespace {

// Only the last three characters count, case-sensitively: "ab.bmp" and "abmp" are images,
// "photo.BMP" is not.
bool isImageName(const std::string& name) {
    return name.size() >= 3 && name.compare(name.size() - 3, 3, "bmp") == 0;
}

} // namespace

ImageFileEntry::~ImageFileEntry() {
    releaseChain(next);
}

int appendFileEntry(ImageFileEntry& list, std::unique_ptr<ImageFileEntry> entry) {
    ImageFileEntry* added = entry.get();
    if (list.tail == nullptr) {
        list.next = std::move(entry);
    } else {
        list.tail->next = std::move(entry);
    }
    list.tail = added;
    ++list.count;
    return 1;
}

int freeFileList(ImageFileEntry& head) {
    releaseChain(head.next);
    head.tail = nullptr;
    return 1;
}

namespace {

// The scan proper. ancestors holds the resolved folders from the theme folder down to
// folderPath: a linked folder that leads back to one of them would repeat the scan forever.
int scanFolder(ImageFileEntry& list, const std::string& folderPath, const std::string& groupName,
               std::vector<std::string>& ancestors) {
    std::vector<FolderEntry> entries;
    if (!listFolder(folderPath, entries)) {
        return 0;
    }
    for (const FolderEntry& e : entries) {
        if (e.isFolder) {
            const std::string path = joinPath(folderPath, e.name);
            const std::string resolved = canonicalFolder(path);
            if (!resolved.empty() &&
                std::find(ancestors.begin(), ancestors.end(), resolved) != ancestors.end()) {
                continue;
            }
            // A folder that cannot be enumerated contributes nothing; its siblings go on.
            ancestors.push_back(resolved);
            scanFolder(list, path, e.name, ancestors);
            ancestors.pop_back();
            continue;
        }
        if (!isImageName(e.name)) {
            continue;
        }
        auto entry = std::make_unique<ImageFileEntry>();
        entry->dirPath = folderPath;
        entry->groupName = groupName;
        entry->fileName = e.name;
        appendFileEntry(list, std::move(entry));
    }
    return 1;
}

} // namespace

int scanImageFolder(ImageFileEntry& list, const std::string& folderPath,
                    const std::string& groupName) {
    std::vector<std::string> ancestors{canonicalFolder(folderPath)};
    return scanFolder(list, folderPath, groupName, ancestors);
}

int listBaseTheme(ImageFileEntry& head, const std::string& rootPath, int n) {
    head.dirPath = themeFolderPath(rootPath, n);
    head.groupName = std::to_string(n);
    return scanImageFolder(head, head.dirPath, head.groupName);
}

int fileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    // fopen opens folders on POSIX; a folder where a file is expected is not that file, and
    // reading one byte tells them apart without another look-up of the path.
    std::setvbuf(file, nullptr, _IONBF, 0);
    char byte = 0;
    const bool readable = std::fread(&byte, 1, 1, file) == 1 || !std::ferror(file);
    std::fclose(file);
    return readable ? 1 : 0;
}

int listVariantTheme(ImageFileEntry& head, const std::string& rootPath, int n,
                     const ImageFileEntry& baseList) {
    head.dirPath = themeFolderPath(rootPath, n);
    head.groupName = std::to_string(n);
    // Every base path starts with rootPath, a separator and the base theme's digit; only that
    // digit changes, so later components named 0 stay as they are.
    const std::size_t digitAt = rootPath.size() + 1;
    const char digit = static_cast<char>('0' + n);
    const ImageFileEntry* base = baseList.next.get();
    for (std::int32_t i = 0; i < baseList.count && base != nullptr; ++i, base = base->next.get()) {
        auto entry = std::make_unique<ImageFileEntry>();
        entry->fileName = base->fileName;
        entry->groupName = base->groupName;
        std::string candidate = base->dirPath;
        if (digitAt < candidate.size()) {
            candidate[digitAt] = digit;
        }
        entry->dirPath =
            fileExists(joinPath(candidate, base->fileName)) ? candidate : base->dirPath;
        appendFileEntry(head, std::move(entry));
    }
    return 1;
}
