// The operations that are the same on every OS. The rest live in the files of each OS:
// process_<os>.cpp (processes, the executable's own folder), file_<os>.cpp (files) and
// folder_<os>.cpp (folders, the current folder).
#include "platform/platform.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

unsigned char upperAscii(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

// Letters compare upper-cased (the order a case-insensitive file system returns), then the raw
// bytes break ties so that names differing only in case still have a fixed order.
bool listingOrder(const FolderEntry& a, const FolderEntry& b) {
    const std::string& x = a.name;
    const std::string& y = b.name;
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char l = upperAscii(x[i]);
        const unsigned char r = upperAscii(y[i]);
        if (l != r) {
            return l < r;
        }
    }
    if (x.size() != y.size()) {
        return x.size() < y.size();
    }
    return x < y; // std::string compares bytes as unsigned char
}

} // namespace

std::string joinPath(const std::string& folder, const std::string& name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    path += kPathSeparator;
    path += name;
    return path;
}

bool isFolder(const std::string& path) {
    return pathKind(path) == PathKind::kFolder;
}

void sortFolderEntries(std::vector<FolderEntry>& entries) {
    std::sort(entries.begin(), entries.end(), listingOrder);
}

void sleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

PathKind pathKind(const std::string& path) {
    std::string ignored;
    return pathKind(path, ignored);
}

std::string osErrorText(int err) {
    return err != 0 ? std::strerror(err) : "unknown error";
}
