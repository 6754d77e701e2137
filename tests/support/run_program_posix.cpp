// Starting programs from tests on POSIX: fork, with the standard streams in files and the limits
// set in the child before it runs the program, and wait4, which also tells the largest resident
// set.
#include "support/run_program.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "support/temp_folder.h"

extern char** environ;

namespace {

std::vector<char*> pointers(std::vector<std::string>& words) {
    std::vector<char*> list;
    for (std::string& word : words) {
        list.push_back(word.data());
    }
    list.push_back(nullptr);
    return list;
}

// The program file of name as execvp would find it; looked up before the fork, since the child
// may only make calls that are safe after it.
std::string programFile(const std::string& name) {
    const char* variable = std::getenv("PATH");
    if (name.find('/') != std::string::npos || variable == nullptr) {
        return name;
    }
    const std::string path = variable;
    for (std::size_t begin = 0;;) {
        const std::size_t end = path.find(':', begin);
        const std::string folder = path.substr(begin, end - begin);
        const std::string file = (folder.empty() ? "." : folder) + "/" + name;
        if (access(file.c_str(), X_OK) == 0) {
            return file;
        }
        if (end == std::string::npos) {
            return name;
        }
        begin = end + 1;
    }
}

void setLimit(int resource, std::uint64_t value) {
    if (value != 0) {
        const rlimit limit{value, value};
        setrlimit(resource, &limit);
    }
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

[[noreturn]] void runChild(const std::string& folder, const std::vector<std::string>& components,
                           const std::string& out, const std::string& err,
                           const ProgramOptions& options, const std::string& file,
                           char* const* argv, char* const* envp) {
    const int in = open("/dev/null", O_RDONLY);
    // Both appending: one file takes both streams in the order of their writes.
    const std::string& outName = options.outFile.empty() ? out : options.outFile;
    const int outFd = open(outName.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int errFd =
        options.errToOut ? outFd : open(err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (in < 0 || outFd < 0 || errFd < 0 || dup2(in, 0) < 0 || dup2(outFd, 1) < 0 ||
        dup2(errFd, 2) < 0 || !enter(folder, components)) {
        _exit(127);
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal) {
        sigaction(signal, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    setLimit(RLIMIT_AS, options.memoryLimit);
    setLimit(RLIMIT_NOFILE, options.openFiles);
    setLimit(RLIMIT_FSIZE, options.fileSize);
    execve(file.c_str(), argv, envp);
    _exit(127);
}

} // namespace

StartedProgram startProgram(const std::string& folder, const std::vector<std::string>& command,
                            const ProgramOptions& options) {
    StartedProgram program;
    program.capture = std::make_shared<TempFolder>();
    const std::string out = program.capture->path("out");
    const std::string err = program.capture->path("err");
    std::vector<std::string> variables;
    for (char** v = environ; *v != nullptr; ++v) {
        if (options.path.empty() || std::strncmp(*v, "PATH=", 5) != 0) {
            variables.emplace_back(*v);
        }
    }
    if (!options.path.empty()) {
        variables.push_back("PATH=" + options.path);
    }
    std::vector<std::string> words = command;
    const std::string file = programFile(words[0]);
    if (access(file.c_str(), X_OK) != 0) {
        program.startError = words[0] + ": " + std::strerror(errno);
        return program;
    }
    const std::vector<char*> argv = pointers(words);
    const std::vector<char*> envp = pointers(variables);
    // Made now: after the fork, the child may only make calls that are safe there.
    std::vector<std::string> components = {"/"};
    for (std::size_t begin = 1, end; begin < folder.size(); begin = end + 1) {
        end = std::min(folder.find('/', begin), folder.size());
        components.push_back(folder.substr(begin, end - begin));
    }
    const pid_t pid = fork();
    if (pid == 0) {
        runChild(folder, components, out, err, options, file, argv.data(), envp.data());
    }
    if (pid < 0) {
        program.startError = words[0] + ": " + std::strerror(errno);
        return program;
    }
    program.process = static_cast<std::uint64_t>(pid);
    return program;
}

void signalProgram(const StartedProgram& program, int signal) {
    kill(static_cast<pid_t>(program.process), signal);
}

ProgramResult finishProgram(StartedProgram& program) {
    ProgramResult result;
    if (program.process == 0) {
        result.err = program.startError;
        return result;
    }
    int status = 0;
    rusage usage{};
    while (wait4(static_cast<pid_t>(program.process), &status, 0, &usage) < 0 && errno == EINTR) {
    }
    program.process = 0;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.peakKb = usage.ru_maxrss;
    result.out = capturedText(*program.capture, "out");
    result.err = capturedText(*program.capture, "err");
    return result;
}
