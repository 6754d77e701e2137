// Starting programs from tests on POSIX: posix_spawnp with the standard streams in files, waited
// for with wait4, which also tells the largest resident set.
#include "support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
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

} // namespace

ProgramResult runProgram(const std::string& folder, const std::vector<std::string>& command,
                         const ProgramOptions& options) {
    TempFolder capture;
    const std::string out = capture.path("out");
    const std::string err = capture.path("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    // Both appending: one file takes both streams in the order of their writes.
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, (options.errToOut ? out : err).c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
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
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, words[0].c_str(), &actions, nullptr, pointers(words).data(),
                                pointers(variables).data());
    posix_spawn_file_actions_destroy(&actions);
    ProgramResult result;
    if (rc != 0) {
        result.err = words[0] + ": " + std::strerror(rc);
        return result;
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.peakKb = usage.ru_maxrss;
    result.out = capturedText(capture, "out");
    result.err = capturedText(capture, "err");
    return result;
}
