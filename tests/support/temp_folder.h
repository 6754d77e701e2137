// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes out of scope.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder() {
        std::random_device seed;
        std::mt19937_64 rng(seed());
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
    std::string path(const std::string& relative) const { return (path_ / relative).string(); }

    void makeFolder(const std::string& relative) const {
        std::filesystem::create_directories(path_ / relative);
    }
    void writeFile(const std::string& relative, const std::string& content) const {
        writeBytes(relative, std::vector<std::uint8_t>(content.begin(), content.end()));
    }
    void writeBytes(const std::string& relative, const std::vector<std::uint8_t>& bytes) const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> readBytes(const std::string& relative) const {
        std::ifstream in(path_ / relative, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(path_ / relative);
    }

private:
    std::filesystem::path path_;
};
