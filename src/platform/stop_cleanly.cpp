// The notes of what a run has under way. Each note is a slot that a signal handler can take with
// one atomic exchange; noting and forgetting take a lock, so that no note is read while it is
// released.
#include "platform/stop_cleanly.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/processes.h"

namespace {

// A run has at most eleven bins under way, or one file of each tool's, and as many children.
constexpr std::size_t kSlots = 64;

std::mutex notesLock;
std::array<std::atomic<char*>, kSlots> tempFiles{};
std::array<std::atomic<std::uint64_t>, kSlots> children{};

void (*outOfMemoryReport)() = nullptr;
int outOfMemoryStatus = 1;

void onOutOfMemory() {
    if (outOfMemoryReport != nullptr) {
        outOfMemoryReport();
    }
    stopNoted(0);
    endProcessNow(outOfMemoryStatus);
}

} // namespace

void noteTempFile(const std::string& path) {
    char* copy = static_cast<char*>(std::malloc(path.size() + 1));
    if (copy == nullptr) {
        return; // the file is still removed on every path but a signal's
    }
    std::memcpy(copy, path.c_str(), path.size() + 1);
    const std::lock_guard<std::mutex> lock(notesLock);
    for (std::atomic<char*>& slot : tempFiles) {
        char* empty = nullptr;
        if (slot.compare_exchange_strong(empty, copy)) {
            return;
        }
    }
    std::free(copy);
}

void forgetTempFile(const std::string& path) {
    const std::lock_guard<std::mutex> lock(notesLock);
    for (std::atomic<char*>& slot : tempFiles) {
        char* noted = slot.load();
        if (noted != nullptr && path == noted && slot.compare_exchange_strong(noted, nullptr)) {
            std::free(noted);
            return;
        }
    }
}

void noteChild(std::uint64_t process) {
    const std::lock_guard<std::mutex> lock(notesLock);
    for (std::atomic<std::uint64_t>& slot : children) {
        std::uint64_t empty = 0;
        if (slot.compare_exchange_strong(empty, process)) {
            return;
        }
    }
}

void forgetChild(std::uint64_t process) {
    const std::lock_guard<std::mutex> lock(notesLock);
    for (std::atomic<std::uint64_t>& slot : children) {
        std::uint64_t noted = process;
        if (slot.compare_exchange_strong(noted, 0)) {
            return;
        }
    }
}

void stopNoted(int signal) {
    // Taken, not read: a note is acted on once, whichever thread gets to it. The copies of the
    // paths are not released; the process is ending.
    for (std::atomic<char*>& slot : tempFiles) {
        if (char* path = slot.exchange(nullptr); path != nullptr) {
            removeNotedFile(path);
        }
    }
    std::array<std::uint64_t, kSlots> running{};
    std::size_t count = 0;
    for (std::atomic<std::uint64_t>& slot : children) {
        if (const std::uint64_t process = slot.exchange(0); process != 0) {
            running[count++] = process;
        }
    }
    stopNotedChildren(running.data(), count, signal);
}

void stopCleanlyOnOutOfMemory(void (*report)(), int status) {
    outOfMemoryReport = report;
    outOfMemoryStatus = status;
    std::set_new_handler(onOutOfMemory);
}
