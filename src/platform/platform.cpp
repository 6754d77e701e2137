// The operations that are the same on every OS, and which program a command line starts. The
// rest live in the files of each OS: process_<os>.cpp (processes, the executable's own folder),
// file_<os>.cpp (files) and folder_<os>.cpp (folders, the current folder).
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/processes.h"
#include "platform/threads.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string_view>
#include <thread>

#include "common/ascii_case.h"
#include "platform/process_os.h"

namespace {

#ifdef _WIN32
constexpr char kSearchPathSeparator = ';';
constexpr char kPathSeparators[] = "\\/:";
#else
constexpr char kSearchPathSeparator = ':';
constexpr char kPathSeparators[] = "/";
#endif

// Letters compare upper-cased (the order a case-insensitive file system returns), then the raw
// bytes break ties so that names differing only in case still have a fixed order.
bool listingOrder(const FolderEntry& a, const FolderEntry& b) {
    const std::string& x = a.name;
    const std::string& y = b.name;
    const std::size_t common = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto l = static_cast<unsigned char>(upperAscii(x[i]));
        const auto r = static_cast<unsigned char>(upperAscii(y[i]));
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

bool endsWithExe(const std::string& word) {
    constexpr std::string_view kExeSuffix = ".exe";
    if (word.size() <= kExeSuffix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < kExeSuffix.size(); ++i) {
        if (upperAscii(word[word.size() - kExeSuffix.size() + i]) != upperAscii(kExeSuffix[i])) {
            return false;
        }
    }
    return true;
}

// Command lines are written for Windows, where some name "TOOL.exe" and others "TOOL": there the
// program file is always TOOL.exe; elsewhere it is TOOL.
std::string programName(const std::string& word) {
#ifdef _WIN32
    return endsWithExe(word) ? word : word + ".exe";
#else
    return endsWithExe(word) ? word.substr(0, word.size() - 4) : word;
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
    std::istringstream entries(searchPathVariable());
    for (std::string entry; std::getline(entries, entry, kSearchPathSeparator);) {
        // Windows allows an entry in quotes, as "C:\Program Files\Tool".
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        if (isAbsolutePath(entry)) {
            folders.push_back(entry);
        }
    }
    return folders;
}

bool findProgram(const std::string& name, std::string& program, std::string& error) {
    if (name.find_first_of(kPathSeparators) != std::string::npos) {
        // A path names the program itself. It is made absolute now: the child's folder changes.
        std::string cause;
        if (!absolutePath(name, program, cause)) {
            error = "could not start '" + name + "': " + cause;
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
    if (folder.empty() || std::strchr(kPathSeparators, folder.back()) == nullptr ||
        folder.back() == ':') {
        path += kPathSeparator;
    }
    path += name;
    return path;
}

bool isFolder(const std::string& path) {
    return pathKind(path) == PathKind::kFolder;
}

bool makeFolders(const std::string& path, std::string& error) {
    if (isFolder(path)) {
        return true;
    }
    const std::size_t cut = path.find_last_of(kPathSeparators);
    if (cut != std::string::npos && cut != 0 && !makeFolders(path.substr(0, cut), error)) {
        return false;
    }
    // Made meanwhile by someone else is as good.
    return makeFolder(path, error) || isFolder(path);
}

void sortFolderEntries(std::vector<FolderEntry>& entries) {
    std::sort(entries.begin(), entries.end(), listingOrder);
}

void sleepMilliseconds(unsigned milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

unsigned processorCount() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : count;
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
    std::string cause;
    if (!spawnProcess(program, words, workingFolder, handle, cause)) {
        handle = {};
        error = "could not start '" + program + "'" +
                (workingFolder.empty() ? "" : " in '" + workingFolder + "'") + ": " + cause;
        return false;
    }
    return true;
}

bool writeFileBytes(std::FILE* file, const void* bytes, std::size_t size, std::string& error) {
    errno = 0;
    if (size != 0 && std::fwrite(bytes, 1, size, file) != size) {
        error = osErrorText(errno);
        return false;
    }
    return true;
}

bool isMachineShortage(int err) {
    return err == ENOMEM || err == EMFILE || err == ENFILE || err == EIO;
}

std::string osErrorText(int err) {
    if (err == ENOMEM) {
        return "out of memory"; // "Cannot allocate memory" tells a user less
    }
    return err != 0 ? std::strerror(err) : "unknown error";
}
