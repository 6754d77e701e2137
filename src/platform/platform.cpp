// Folder, file and timing operations, on the standard library wherever it behaves the same on
// every OS, and which program a command line starts. Process control and the executable's own
// folder need OS calls and live in process_<os>.cpp.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>

#include "platform/process_os.h"

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr char kSearchPathSeparator = ';';
#else
constexpr char kSearchPathSeparator = ':';
#endif

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

std::vector<std::string> splitOnBlanks(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : commandLine + ' ') {
        if (c != ' ' && c != '\t') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// Command lines written for Windows name "TOOL.exe"; elsewhere the same program is "TOOL".
std::string programName(const std::string& word) {
#ifdef _WIN32
    return word;
#else
    constexpr std::string_view kExeSuffix = ".exe";
    if (word.size() <= kExeSuffix.size()) {
        return word;
    }
    for (std::size_t i = 0; i < kExeSuffix.size(); ++i) {
        if (upperAscii(word[word.size() - kExeSuffix.size() + i]) != upperAscii(kExeSuffix[i])) {
            return word;
        }
    }
    return word.substr(0, word.size() - kExeSuffix.size());
#endif
}

// The running executable's folder, then PATH. Only absolute PATH entries count: an empty
// entry, "." or any relative one would resolve against the current folder, and a theme tree
// there must not be able to plant a program that we run.
std::vector<std::string> searchFolders() {
    std::vector<std::string> folders;
    const std::string own = executableFolder();
    if (!own.empty()) {
        folders.push_back(own);
    }
    const char* path = std::getenv("PATH");
    std::istringstream entries(path != nullptr ? path : "");
    for (std::string entry; std::getline(entries, entry, kSearchPathSeparator);) {
        if (fs::path(entry).is_absolute()) {
            folders.push_back(entry);
        }
    }
    return folders;
}

bool findProgram(const std::string& name, std::string& program, std::string& error) {
    if (fs::path(name).has_parent_path()) {
        // A path names the program itself. It is made absolute now: the child's folder changes.
        std::error_code ec;
        program = fs::absolute(name, ec).string();
        if (ec) {
            error = "could not start '" + name + "': " + ec.message();
            return false;
        }
        return true;
    }
    std::string notExecutable;
    for (const std::string& folder : searchFolders()) {
        const std::string candidate = joinPath(folder, name);
        if (pathKind(candidate) != PathKind::kRegular) {
            continue;
        }
        if (isExecutable(candidate)) {
            program = candidate;
            return true;
        }
        if (notExecutable.empty()) {
            notExecutable = candidate;
        }
    }
    error = notExecutable.empty()
                ? "could not start '" + name + "': not found beside this program nor on PATH"
                : "could not start '" + notExecutable + "': not executable";
    return false;
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

bool startProcess(const std::string& commandLine, const std::string& workingFolder,
                  ProcessHandle& handle, std::string& error) {
    handle = {};
    std::vector<std::string> words = splitOnBlanks(commandLine);
    if (words.empty()) {
        error = "could not start: empty command line";
        return false;
    }
    words[0] = programName(words[0]);
    std::string program;
    if (!findProgram(words[0], program, error)) {
        return false;
    }
    if (!workingFolder.empty() && !isFolder(workingFolder)) {
        error = "could not start '" + program + "': working folder '" + workingFolder +
                "' does not exist";
        return false;
    }
    // The process shares our standard output: what we printed comes first.
    std::fflush(stdout);
    const int rc = spawnProcess(program, words, workingFolder, handle);
    if (rc != 0) {
        handle = {};
        error = "could not start '" + program + "'" +
                (workingFolder.empty() ? "" : " in '" + workingFolder + "'") + ": " +
                osErrorText(rc);
        return false;
    }
    return true;
}
