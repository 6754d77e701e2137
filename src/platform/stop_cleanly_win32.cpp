// Stopping clean on Windows: the console's events (Ctrl+C, Ctrl+Break, closing the console,
// logoff, shutdown) end the process through the cleanup. A console event reaches the children in
// our console too: they are given a moment to remove their own temporary files, then ended.
#include "platform/processes.h"
#include "platform/stop_cleanly.h"

#include <mutex>

#include <windows.h>

#include "platform/wide_text_win32.h"

namespace {

// Children have 2 s to end after a console event.
constexpr DWORD kChildWaitMs = 2000;
// As a POSIX shell reports SIGINT and SIGHUP.
constexpr int kInterruptedStatus = 130;
constexpr int kHungUpStatus = 129;

// Held by holdStopSignals; a console event takes it before it acts, and keeps it: the process
// ends.
std::mutex held;

// Runs on a thread of its own while the others go on.
BOOL WINAPI onConsoleEvent(DWORD event) {
    held.lock();
    const bool interrupted = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
    stopNoted(interrupted ? 2 : 1);
    endProcessNow(interrupted ? kInterruptedStatus : kHungUpStatus);
}

} // namespace

void removeNotedFile(const char* path) {
    // The file may still be open here (created sharing its deletion): it goes when it closes.
    DeleteFileW(widePath(path).c_str());
}

void stopNotedChildren(const std::uint64_t* processes, std::size_t count, int signal) {
    HANDLE handles[MAXIMUM_WAIT_OBJECTS];
    DWORD children = 0;
    for (std::size_t i = 0; i < count && children < MAXIMUM_WAIT_OBJECTS; ++i) {
        handles[children++] = reinterpret_cast<HANDLE>(processes[i]);
    }
    if (signal != 0 && children != 0) {
        WaitForMultipleObjects(children, handles, TRUE, kChildWaitMs);
    }
    for (DWORD i = 0; i < children; ++i) {
        TerminateProcess(handles[i], 1); // fails harmlessly for one that has ended
    }
}

void stopCleanlyOnSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void holdStopSignals() {
    held.lock();
}

void releaseStopSignals() {
    held.unlock();
}

void endProcessNow(int status) {
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    // TerminateProcess on our own process does not return; this only tells the compiler so.
    ExitProcess(static_cast<UINT>(status));
}
