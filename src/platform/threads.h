// Threads, the processors that run them, and waiting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

void sleepMilliseconds(unsigned milliseconds);

/// The stack of a thread that startThread starts: a few of them must not take the address space
/// that the data needs (8 MiB each is the usual default on Linux).
inline constexpr std::size_t kThreadStackBytes = std::size_t{2} << 20;

/// A thread started by startThread, as an opaque value (a pthread_t on POSIX, a HANDLE on
/// Windows).
struct ThreadHandle {
    std::uint64_t value = 0;
};

/// Starts run(context) on a new thread, with a stack of kThreadStackBytes: the work given to
/// threads recurses nowhere. Returns false with the OS cause in error when the OS refuses one (no
/// memory, too many threads); nothing is left to join then. Unlike std::thread,
/// whose refusal is an exception that a build without exceptions turns into an abort, the caller
/// can go on without it. Every started thread must be joined once with joinThread.
bool startThread(void (*run)(void* context), void* context, ThreadHandle& handle,
                 std::string& error);

/// Waits until the thread has ended and releases it.
void joinThread(ThreadHandle handle);

/// How many threads the machine runs at once (logical processors), at least 1.
unsigned processorCount();
