// Starting a program on POSIX for the benchmarks and the tests alike: fork, with the child's
// standard streams, folder, limits and signals set before it runs the program, and wait4, which
// also tells what the program cost.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct Launch {
    std::vector<std::string> command;     // command[0]: the program file, as a path
    std::string folder;                   // where it runs; any length
    std::vector<std::string> environment; // its whole environment, "NAME=value"
    // The files its standard output and error are appended to (created when missing); the same
    // file for both takes them in the order of their writes. Standard input is /dev/null.
    std::string out = "/dev/null";
    std::string err = "/dev/null";
    // Instead, the stream is a pipe whose reading end is closed: nobody reads it any more.
    bool outClosed = false;
    bool errClosed = false;
    // SIGCHLD ignored, as a parent that ignores it hands it on.
    bool childSignalIgnored = false;
    // Limits it starts with, 0 leaving ours: bytes of address space (RLIMIT_AS), open files
    // (RLIMIT_NOFILE) and bytes in a file (RLIMIT_FSIZE).
    std::uint64_t memoryLimit = 0;
    std::uint64_t openFiles = 0;
    std::uint64_t fileSize = 0;
};

/// Starts launch's program, with every signal at its default action (but SIGCHLD when asked) and
/// none blocked, without
/// waiting for it. Returns its pid, or 0 with the OS cause in error when it cannot be started (a
/// program file that cannot be run is found before the fork). A child that cannot set itself up
/// ends with status 127.
pid_t launchProgram(const Launch& launch, std::string& error);

/// Waits for the program pid to end; sets status to its exit status (128 + the signal when it
/// was killed) and usage to what it and the children it waited for cost. Returns false when it
/// cannot be waited for.
bool awaitProgram(pid_t pid, int& status, rusage& usage);
