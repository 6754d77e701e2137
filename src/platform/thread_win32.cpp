// Threads on Windows: _beginthreadex, which sets up the C runtime for the thread, and whose
// refusal is an error number to report, not an abort.
#include "platform/os_error.h"
#include "platform/threads.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include <process.h>
#include <windows.h>

namespace {

struct ThreadStart {
    void (*run)(void*);
    void* context;
};

unsigned __stdcall runThread(void* start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    std::free(start);
    s.run(s.context);
    return 0;
}

} // namespace

bool startThread(void (*run)(void* context), void* context, ThreadHandle& handle,
                 std::string& error) {
    // From the C heap: running out of memory here is a result, not the end of the process.
    auto* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
    if (start == nullptr) {
        error = osErrorText(ENOMEM);
        return false;
    }
    *start = ThreadStart{run, context};
    const std::uintptr_t thread =
        _beginthreadex(nullptr, static_cast<unsigned>(kThreadStackBytes), runThread, start,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == 0) {
        const int err = errno;
        std::free(start);
        error = osErrorText(err);
        return false;
    }
    handle.value = static_cast<std::uint64_t>(thread);
    return true;
}

void joinThread(ThreadHandle handle) {
    const HANDLE thread = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle.value));
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
