// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes out of scope.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        std::mt19937_64 rng(std::random_device{}());
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ = base / ("tp-test-" + std::to_string(rng()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string path() const { return path_.string(); }
    /// path() joined with relative, whose '/' become the OS's separator.
    std::string path(const std::string& relative) const {
        return (path_ / relative).make_preferred().string();
    }

    void makeFolder(const std::string& relative) const {
        std::filesystem::create_directories(path_ / relative);
    }
    void writeFile(const std::string& relative, const std::string& content) const {
        writeBytes(relative, {content.begin(), content.end()});
    }
    void writeBytes(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
        std::filesystem::create_directories((path_ / relative).parent_path());
        std::ofstream(path_ / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> readBytes(const std::string& relative) const {
        return readFile(path_ / relative);
    }
    static std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(path_ / relative);
    }

private:
    std::filesystem::path path_;
};

/// Everything below folder by relative path: a file with its bytes, a folder with a trailing '/'
/// and no bytes, anything else (never read) with a trailing '|'. Equal snapshots mean that nothing
/// was added, removed or changed.
inline std::map<std::string, std::vector<std::uint8_t>> snapshot(const TempFolder& folder) {
    std::map<std::string, std::vector<std::uint8_t>> entries;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder.path())) {
        const std::string name =
            std::filesystem::relative(e.path(), folder.path()).generic_string();
        if (e.is_directory()) {
            entries[name + "/"];
        } else if (e.is_regular_file()) {
            entries[name] = folder.readBytes(name);
        } else {
            entries[name + "|"]; // a FIFO or device: reading it could block
        }
    }
    return entries;
}

/// The relative paths of snapshot(folder), in its order.
inline std::vector<std::string> names(const TempFolder& folder) {
    std::vector<std::string> paths;
    for (const auto& [path, bytes] : snapshot(folder)) {
        paths.push_back(path);
    }
    return paths;
}

/// True when a temporary file (a name ending in ".tmp") is anywhere below folder.
inline bool anyTemporary(const TempFolder& folder) {
    const std::vector<std::string> all = names(folder);
    return std::any_of(all.begin(), all.end(),
                       [](const std::string& name) { return name.ends_with(".tmp"); });
}
