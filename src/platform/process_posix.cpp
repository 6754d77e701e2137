// Process start, wait and poll, and the executable's own folder, on POSIX: the OS calls only;
// which program a command line names is decided in platform.cpp. Processes start through
// posix_spawn, which reports a failed exec to the caller itself and leaves no child behind.
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/process_os.h"
#include "platform/processes.h"
#include "platform/stop_cleanly.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

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

bool isExecutable(const std::string& path) {
    return access(path.c_str(), X_OK) == 0;
}

bool spawnProcess(const std::string& program, std::vector<std::string>& words,
                  const std::string& workingFolder, ProcessHandle& handle, std::string& cause) {
    pid_t pid = 0;
    // A child started and noted meanwhile is among those a stop signal finds. (A signal that came
    // while posix_spawn ran is handled as it returns, before the child could be noted.)
    holdStopSignals();
    const int rc = spawn(program, words, workingFolder, pid);
    if (rc == 0) {
        handle.value = static_cast<std::uint64_t>(pid);
        noteChild(handle.value);
    }
    releaseStopSignals();
    if (rc != 0) {
        cause = osErrorText(rc);
        return false;
    }
    return true;
}

std::string searchPathVariable() {
    const char* path = std::getenv("PATH");
    return path != nullptr ? path : "";
}

bool isAbsolutePath(const std::string& path) {
    return !path.empty() && path[0] == '/';
}

bool absolutePath(const std::string& path, std::string& absolute, std::string& cause) {
    std::error_code ec;
    absolute = std::filesystem::absolute(path, ec).string();
    if (ec) {
        cause = ec.message();
        return false;
    }
    return true;
}

bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error) {
    pid_t pid = 0;
    int status = 0;
    if (!validPid(handle, pid, error) || waitFor(pid, status, 0, error) < 0) {
        return false;
    }
    forgetChild(handle.value);
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
        forgetChild(handle.value);
        ended = true;
        exitStatus = exitStatusOf(status);
    }
    return true;
}

std::vector<std::string> commandArguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
}

std::string executableFolder() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? "" : self.parent_path().string();
}

long peakResidentKilobytes() {
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : -1;
}

void failWritesBeyondFileSizeLimit() {
    std::signal(SIGXFSZ, SIG_IGN);
}

void failWritesToClosedPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

void keepChildrenForWaiting() {
    std::signal(SIGCHLD, SIG_DFL);
}
