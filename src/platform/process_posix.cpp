// Process start, wait and poll, and the executable's own folder, on POSIX. Processes start through
// posix_spawn, which reports a failed exec to the caller itself and leaves no child behind.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr char kExeSuffix[] = ".exe";

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

// Command lines written for Windows name "TOOL.exe"; here the same program is "TOOL".
std::string withoutExeSuffix(const std::string& name) {
    const std::size_t n = sizeof kExeSuffix - 1;
    if (name.size() <= n) {
        return name;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = name[name.size() - n + i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kExeSuffix[i]) {
            return name;
        }
    }
    return name.substr(0, name.size() - n);
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
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
    for (std::string entry; std::getline(entries, entry, ':');) {
        if (!entry.empty() && entry[0] == '/') {
            folders.push_back(entry);
        }
    }
    return folders;
}

bool findProgram(const std::string& name, std::string& program, std::string& error) {
    if (name.find('/') != std::string::npos) {
        // A path names the program itself. It is made absolute now: the child's folder changes.
        std::error_code ec;
        program = std::filesystem::absolute(name, ec).string();
        if (ec) {
            error = "could not start '" + name + "': " + ec.message();
            return false;
        }
        return true;
    }
    std::string notExecutable;
    for (const std::string& folder : searchFolders()) {
        const std::string candidate = joinPath(folder, name);
        if (!isRegularFile(candidate)) {
            continue;
        }
        if (access(candidate.c_str(), X_OK) == 0) {
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

// Returns 0, or the error number of the step that failed.
int spawn(const std::string& program, std::vector<std::string>& words,
          const std::string& workingFolder, pid_t& pid) {
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    int rc = posix_spawn_file_actions_init(&actions);
    if (rc != 0) {
        return rc;
    }
    rc = posix_spawnattr_init(&attributes);
    if (rc != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return rc;
    }
    if (!workingFolder.empty()) {
        rc = posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    }
    // The child starts clean: nothing blocked, nothing ignored, whatever this process set up.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    if (rc == 0) {
        rc = posix_spawnattr_setsigmask(&attributes, &none);
    }
    if (rc == 0) {
        rc = posix_spawnattr_setsigdefault(&attributes, &all);
    }
    if (rc == 0) {
        rc = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    if (rc == 0) {
        rc = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc;
}

bool validPid(ProcessHandle handle, pid_t& pid, std::string& error) {
    pid = static_cast<pid_t>(handle.value);
    if (pid <= 0 || static_cast<std::uint64_t>(pid) != handle.value) {
        error = "no process to wait for";
        return false;
    }
    return true;
}

// waitpid with options; returns its result, retrying when a signal interrupts it.
pid_t waitFor(pid_t pid, int& status, int options, std::string& error) {
    pid_t rc = 0;
    do {
        rc = waitpid(pid, &status, options);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        error = "cannot wait for process " + std::to_string(pid) + ": " + std::strerror(errno);
    }
    return rc;
}

// A process ended by a signal reports 128 + the signal, as shells do: never 0.
int exitStatusOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

bool startProcess(const std::string& commandLine, const std::string& workingFolder,
                  ProcessHandle& handle, std::string& error) {
    handle = {};
    std::vector<std::string> words = splitOnBlanks(commandLine);
    if (words.empty()) {
        error = "could not start: empty command line";
        return false;
    }
    words[0] = withoutExeSuffix(words[0]);
    std::string program;
    if (!findProgram(words[0], program, error)) {
        return false;
    }
    if (!workingFolder.empty() && !isFolder(workingFolder)) {
        error = "could not start '" + program + "': working folder '" + workingFolder +
                "' does not exist";
        return false;
    }
    std::fflush(stdout);
    pid_t pid = 0;
    const int rc = spawn(program, words, workingFolder, pid);
    if (rc != 0) {
        error = "could not start '" + program + "'" +
                (workingFolder.empty() ? "" : " in '" + workingFolder + "'") + ": " +
                std::strerror(rc);
        return false;
    }
    handle.value = static_cast<std::uint64_t>(pid);
    return true;
}

bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error) {
    pid_t pid = 0;
    int status = 0;
    if (!validPid(handle, pid, error) || waitFor(pid, status, 0, error) < 0) {
        return false;
    }
    exitStatus = exitStatusOf(status);
    return true;
}

bool pollProcess(ProcessHandle handle, bool& ended, int& exitStatus, std::string& error) {
    ended = false;
    pid_t pid = 0;
    int status = 0;
    if (!validPid(handle, pid, error)) {
        return false;
    }
    const pid_t rc = waitFor(pid, status, WNOHANG, error);
    if (rc < 0) {
        return false;
    }
    if (rc == pid) {
        ended = true;
        exitStatus = exitStatusOf(status);
    }
    return true;
}

std::string executableFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? "" : self.parent_path().string();
}

void failWritesBeyondFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}
