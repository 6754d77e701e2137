// What a run has under way that must not outlive it when it is cut short: the temporary files
// that createTempFile made and that are still there, and the processes that startProcess started
// and that nobody has waited for. The layer notes them as they come and go; stopping clean takes
// them all, from a signal handler if need be. Internal to the platform layer.
#pragma once

#include <cstdint>
#include <string>

void noteTempFile(const std::string& path);
void forgetTempFile(const std::string& path);
void noteChild(std::uint64_t process);
void forgetChild(std::uint64_t process);

/// Removes every noted file and stops every noted child, each once, with only calls that a
/// signal handler may make. signal is what the process was told (0: nothing; memory ran out).
void stopNoted(int signal);

// The OS's part of stopNoted, one implementation per OS (stop_cleanly_<os>.cpp).

/// Removes the file at path.
void removeNotedFile(const char* path);

/// Stops the count processes (ids as startProcess gives them) and waits for them: where they
/// were told signal too, they are given a moment to clean up after themselves first.
void stopNotedChildren(const std::uint64_t* processes, std::size_t count, int signal);

/// Ends the process with status at once, without the runtime's exit steps, which could wait for
/// a lock that another thread holds.
[[noreturn]] void endProcessNow(int status);
