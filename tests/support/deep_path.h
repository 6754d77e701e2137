// Files at paths longer than the OS's path limit, written one folder at a time: the paths a test
// cannot hand to the OS in one piece.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

/// Writes bytes to the file at the absolute path, making the folders on the way: the current
/// folder walks down the path, so that no call is given more than one name. Returns false when a
/// step fails.
inline bool writeDeepFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path back = fs::current_path(ec);
    const fs::path target = fs::path(path);
    fs::current_path(target.root_path(), ec);
    for (const fs::path& name : target.parent_path().relative_path()) {
        if (!ec) {
            fs::create_directory(name, ec);
        }
        if (!ec) {
            fs::current_path(name, ec);
        }
    }
    std::ofstream out;
    if (!ec) {
        out.open(target.filename(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    const bool written = !ec && !out.fail();
    fs::current_path(back, ec);
    return written;
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
