// Folder, file and timing operations, on the standard library wherever it behaves the same on
// every OS. Process control and the executable's own folder need OS calls and live in
// process_<os>.cpp.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

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

bool getCurrentFolder(std::string& path) {
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    if (ec) {
        path.clear();
        return false;
    }
    path = current.string();
    return true;
}

bool setCurrentFolder(const std::string& path) {
    std::error_code ec;
    fs::current_path(path, ec);
    return !ec;
}

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

void sortFolderEntries(std::vector<FolderEntry>& entries) {
    std::sort(entries.begin(), entries.end(), listingOrder);
}

bool deleteFile(const std::string& path, std::string& error) {
    std::error_code ec;
    // The entry itself: a link is removed, not followed; remove() would take an empty folder.
    const fs::file_status status = fs::symlink_status(path, ec);
    if (status.type() == fs::file_type::not_found) {
        return true;
    }
    if (status.type() == fs::file_type::directory) {
        error = osErrorText(EISDIR);
        return false;
    }
    if (!ec) {
        fs::remove(path, ec);
    }
    if (ec) {
        error = ec.message();
        return false;
    }
    return true;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    return true;
}

void sleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
