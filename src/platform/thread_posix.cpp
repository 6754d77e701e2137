// Threads on POSIX: pthread_create, whose refusal is an error number to report, not an abort.
#include "platform/platform.h"

#include <cerrno>
#include <new>

#include <pthread.h>

namespace {

struct ThreadStart {
    void (*run)(void*);
    void* context;
};

void* runThread(void* start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    s.run(s.context);
    return nullptr;
}

} // namespace

bool startThread(void (*run)(void* context), void* context, ThreadHandle& handle,
                 std::string& error) {
    auto* start = new (std::nothrow) ThreadStart{run, context};
    if (start == nullptr) {
        error = osErrorText(ENOMEM);
        return false;
    }
    pthread_t thread;
    const int rc = pthread_create(&thread, nullptr, runThread, start);
    if (rc != 0) {
        delete start;
        error = osErrorText(rc);
        return false;
    }
    static_assert(sizeof(pthread_t) <= sizeof(handle.value));
    handle.value = static_cast<std::uint64_t>(thread);
    return true;
}

void joinThread(ThreadHandle handle) {
    pthread_join(static_cast<pthread_t>(handle.value), nullptr);
}
