// Benchmark processes on POSIX, through the launcher the tests share: wait4 tells what each cost.
#include "bench_process.h"

#include <algorithm>
#include <chrono>

#include "bench/launch_posix.h"

extern char** environ;

namespace {

double secondsOf(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Starts argv in folder with PATH leading nowhere, its output discarded; 0 when it cannot start.
pid_t start(const std::vector<std::string>& argv, const std::string& folder,
            const std::vector<std::string>& extraEnvironment) {
    Launch launch;
    launch.command = argv;
    launch.folder = folder;
    launch.environment = {"PATH=/nonexistent"};
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string(*e).rfind("PATH=", 0) != 0) {
            launch.environment.emplace_back(*e);
        }
    }
    launch.environment.insert(launch.environment.end(), extraEnvironment.begin(),
                              extraEnvironment.end());
    std::string ignored;
    return launchProgram(launch, ignored);
}

// Waits for child and adds its CPU time; the peak memory is the largest of the children's.
bool finish(pid_t child, Measure& measure, int& status) {
    rusage usage{};
    if (child <= 0 || !awaitProgram(child, status, usage)) {
        return false;
    }
    measure.cpu += secondsOf(usage.ru_utime) + secondsOf(usage.ru_stime);
    measure.peakMiB = std::max(measure.peakMiB, static_cast<double>(usage.ru_maxrss) / 1024.0);
    return true;
}

} // namespace

bool runTogether(const std::vector<std::vector<std::string>>& commands, const std::string& folder,
                 Measure& measure, std::vector<int>& statuses,
                 const std::vector<std::string>& extraEnvironment) {
    const auto begin = std::chrono::steady_clock::now();
    std::vector<pid_t> children;
    for (const auto& command : commands) {
        children.push_back(start(command, folder, extraEnvironment));
    }
    bool ok = true;
    for (const pid_t child : children) {
        int status = -1;
        ok = finish(child, measure, status) && ok;
        statuses.push_back(status);
    }
    measure.wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    return ok;
}
