// Benchmark processes on POSIX: posix_spawn to start them, wait4 for what each cost.
#include "bench_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

extern char** environ;

namespace {

struct Child {
    pid_t pid = 0;
};

double secondsOf(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Starts argv in folder with PATH leading nowhere, its output discarded.
Child start(const std::vector<std::string>& argv, const std::string& folder,
            const std::vector<std::string>& extraEnvironment) {
    std::vector<char*> args;
    std::vector<std::string> words = argv;
    for (std::string& word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);
    std::vector<std::string> envText{"PATH=/nonexistent"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("PATH=", 0) != 0) {
            envText.emplace_back(*e);
        }
    }
    envText.insert(envText.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> env;
    for (std::string& e : envText) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Child child;
    if (posix_spawn(&child.pid, args[0], &actions, nullptr, args.data(), env.data()) != 0) {
        child.pid = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

// Waits for child and adds its CPU time; the peak memory is the largest of the children's.
bool finish(Child child, Measure& measure, int& status) {
    rusage usage{};
    int raw = 0;
    if (child.pid <= 0 || wait4(child.pid, &raw, 0, &usage) != child.pid) {
        return false;
    }
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    measure.cpu += secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    measure.peakMiB = std::max(measure.peakMiB, static_cast<double>(usage.ru_maxrss) / 1024.0);
    return true;
}

} // namespace

bool runTogether(const std::vector<std::vector<std::string>>& commands, const std::string& folder,
                 Measure& measure, std::vector<int>& statuses,
                 const std::vector<std::string>& extraEnvironment) {
    const auto begin = std::chrono::steady_clock::now();
    std::vector<Child> children;
    for (const auto& command : commands) {
        children.push_back(start(command, folder, extraEnvironment));
    }
    bool ok = true;
    for (const Child& child : children) {
        int status = -1;
        ok = finish(child, measure, status) && ok;
        statuses.push_back(status);
    }
    measure.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return ok;
}
