// Threads on POSIX: pthread_create, whose refusal is an error number to report, not an abort.
#include "platform/os_error.h"
#include "platform/threads.h"

#include <cerrno>
#include <cstdlib>

#include <malloc.h>
#include <pthread.h>

namespace {

struct ThreadStart {
    void (*run)(void*);
    void* context;
};

void* runThread(void* start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    std::free(start);
    s.run(s.context);
    return nullptr;
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
#ifdef M_ARENA_MAX
    // One malloc arena for every thread: the threads allocate little, and an arena of its own
    // reserves 64 MiB of address space, which an address-space limit counts (glibc).
    mallopt(M_ARENA_MAX, 1);
#endif
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kThreadStackBytes);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attributes, runThread, start);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        std::free(start);
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
