// The child's setup between fork and exec makes only calls that are safe there: everything it
// needs is made before the fork.
#include "bench/launch_posix.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> list;
    for (std::string& word : words) {
        list.push_back(word.data());
    }
    list.push_back(nullptr);
    return list;
}

void setLimit(int resource, std::uint64_t value) {
    if (value != 0) {
        const rlimit limit{value, value};
        setrlimit(resource, &limit);
    }
}

// Makes fd a pipe whose reading end is closed.
bool closedPipe(int fd) {
    int ends[2];
    return pipe(ends) == 0 && close(ends[0]) == 0 && dup2(ends[1], fd) >= 0;
}

// Enters folder, one component at a time when it is longer than one call may name.
bool enter(const std::string& folder, const std::vector<std::string>& components) {
    if (chdir(folder.c_str()) == 0) {
        return true;
    }
    for (const std::string& component : components) {
        if (chdir(component.c_str()) != 0) {
            return false;
        }
    }
    return true;
}

[[noreturn]] void runChild(const Launch& launch, const std::vector<std::string>& components,
                           char* const* argv, char* const* envp) {
    const int in = open("/dev/null", O_RDONLY);
    // Appending: one file takes both streams in the order of their writes.
    const int outFd = open(launch.out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int errFd = launch.err == launch.out
                          ? outFd
                          : open(launch.err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 ||
        dup2(errFd, 2) < 0 || (launch.outClosed && !closedPipe(1)) ||
        (launch.errClosed && !closedPipe(2)) || !enter(launch.folder, components)) {
        _exit(127);
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        sigaction(signal, &standard, nullptr);
    }
    if (launch.childSignalIgnored) {
        standard.sa_handler = SIG_IGN;
        sigaction(SIGCHLD, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    setLimit(RLIMIT_AS, launch.memoryLimit);
    setLimit(RLIMIT_NOFILE, launch.openFiles);
    setLimit(RLIMIT_FSIZE, launch.fileSize);
    execve(argv[0], argv, envp);
    _exit(127);
}

} // namespace

pid_t launchProgram(const Launch& launch, std::string& error) {
    if (launch.command.empty() || access(launch.command[0].c_str(), X_OK) != 0) {
        error = std::strerror(launch.command.empty() ? ENOENT : errno);
        return 0;
    }
    std::vector<std::string> words = launch.command;
    std::vector<std::string> variables = launch.environment;
    const std::vector<char*> argv = pointers(words);
    const std::vector<char*> envp = pointers(variables);
    std::vector<std::string> components = {"/"};
    for (std::size_t begin = 1, end; begin < launch.folder.size(); begin = end + 1) {
        end = std::min(launch.folder.find('/', begin), launch.folder.size());
        components.push_back(launch.folder.substr(begin, end - begin));
    }
    const pid_t pid = fork();
    if (pid == 0) {
        runChild(launch, components, argv.data(), envp.data());
    }
    if (pid < 0) {
        error = std::strerror(errno);
        return 0;
    }
    return pid;
}

bool awaitProgram(pid_t pid, int& status, rusage& usage) {
    int raw = 0;
    pid_t got = -1;
    while ((got = wait4(pid, &raw, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (got != pid) {
        return false;
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}
