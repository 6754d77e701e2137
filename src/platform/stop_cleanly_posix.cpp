// Stopping clean on POSIX: SIGINT, SIGTERM and SIGHUP end the process through the cleanup. Children
// are sent the same signal (SIGTERM when memory ran out), given a moment to remove their own
// temporary files, then killed.
#include "platform/processes.h"
#include "platform/stop_cleanly.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <ctime>

#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Steps of 10 ms: a child has 2 s to end after it was told to.
constexpr int kChildWaitSteps = 200;
constexpr long kChildWaitStepNs = 10'000'000;

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The mask that releaseStopSignals gives back.
thread_local sigset_t heldFrom;

void onSignal(int signal) {
    stopNoted(signal);
    endProcessNow(128 + signal);
}

// True once pid has ended, or cannot be waited for (someone else waited for it).
bool hasEnded(pid_t pid) {
    int status = 0;
    const pid_t rc = waitpid(pid, &status, WNOHANG);
    return rc == pid || (rc < 0 && errno != EINTR);
}

} // namespace

void removeNotedFile(const char* path) {
    unlink(path);
}

void stopNotedChildren(const std::uint64_t* processes, std::size_t count, int signal) {
    std::array<bool, 64> ended{};
    const std::size_t children = count < ended.size() ? count : ended.size();
    for (std::size_t i = 0; i < children; ++i) {
        kill(static_cast<pid_t>(processes[i]), signal != 0 ? signal : SIGTERM);
    }
    for (int step = 0; step < kChildWaitSteps; ++step) {
        bool all = true;
        for (std::size_t i = 0; i < children; ++i) {
            ended[i] = ended[i] || hasEnded(static_cast<pid_t>(processes[i]));
            all = all && ended[i];
        }
        if (all) {
            return;
        }
        const timespec pause{0, kChildWaitStepNs};
        nanosleep(&pause, nullptr);
    }
    for (std::size_t i = 0; i < children; ++i) {
        if (!ended[i]) {
            kill(static_cast<pid_t>(processes[i]), SIGKILL);
            waitpid(static_cast<pid_t>(processes[i]), nullptr, 0);
        }
    }
}

void stopCleanlyOnSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    // A second signal waits: the cleanup runs once.
    sigfillset(&action.sa_mask);
    for (const int signal : kStopSignals) {
        struct sigaction current {};
        // A signal ignored when the process started (nohup, a background job) stays ignored.
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaction(signal, &action, nullptr);
        }
    }
}

void holdStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (const int signal : kStopSignals) {
        sigaddset(&stops, signal);
    }
    pthread_sigmask(SIG_BLOCK, &stops, &heldFrom);
}

void releaseStopSignals() {
    pthread_sigmask(SIG_SETMASK, &heldFrom, nullptr);
}

void endProcessNow(int status) {
    _exit(status);
}
