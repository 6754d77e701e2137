// Files at paths longer than the OS's path limit, written one folder at a time relative to the
// last: the paths a test cannot hand to the OS in one piece.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

/// Writes bytes to the file at the absolute path, making the folders on the way. Returns false
/// when a step fails.
inline bool writeDeepFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    int folder = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t begin = 1;
    for (std::size_t end; folder >= 0 && (end = path.find('/', begin)) != std::string::npos;
         begin = end + 1) {
        const std::string name = path.substr(begin, end - begin);
        mkdirat(folder, name.c_str(), 0755); // an existing folder is fine
        const int next = openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(folder);
        folder = next;
    }
    if (folder < 0) {
        return false;
    }
    const int file =
        openat(folder, path.substr(begin).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    close(folder);
    const bool written =
        file >= 0 && write(file, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return file >= 0 && close(file) == 0 && written;
}

/// A chain of count folder names of 250 bytes, each starting with its number from 1 ("c01..."),
/// joined by '/': with a 10-character prefix of its own, 17 of them exceed 4096 bytes.
inline std::string longFolderChain(int count) {
    std::string chain;
    for (int i = 1; i <= count; ++i) {
        std::string name = (i < 10 ? "c0" : "c") + std::to_string(i);
        chain += (chain.empty() ? "" : "/") + name + std::string(250 - name.size(), 'x');
    }
    return chain;
}
