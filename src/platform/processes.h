// Processes: this one's arguments and folder, the programs it starts and follows, and ending a
// run that is cut short without leaving anything behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
/// What ends the file name of a program: TOOL.exe on Windows, TOOL elsewhere.
inline constexpr char kProgramSuffix[] = ".exe";
#else
inline constexpr char kProgramSuffix[] = "";
#endif

/// The program's arguments after its name, as UTF-8 on every OS (Windows hands main its
/// arguments in the ANSI code page; they are taken from the UTF-16 command line instead).
std::vector<std::string> commandArguments(int argc, char** argv);

/// The folder that holds the running executable, or "" when it cannot be found.
std::string executableFolder();

/// An OS process handle as an opaque value (a pid on POSIX, a HANDLE on Windows).
struct ProcessHandle {
    std::uint64_t value = 0;
};

/// Starts commandLine without waiting for it, with workingFolder as its current folder ("" keeps
/// ours). The command line is split on blanks, with no quoting; its first word is the program.
/// A program name without a path is looked up first in executableFolder() and then in the
/// absolute folders of the search path (PATH); never in the current folder, so an empty, "." or
/// other relative PATH entry is skipped. A name with a path in it is used as that path. On
/// POSIX a trailing ".exe" on the program name is dropped; on Windows the program file is
/// NAME.exe (PATH entries separated by ';'), and a window it opens is shown (SW_SHOW). The
/// process shares our standard output and error; what we printed is flushed first so that lines
/// keep their order. Returns false
/// when the program could not be started (not found, not executable, working folder missing), with
/// the cause in error; no process is left behind then. Every started process must be waited for
/// once with waitProcess.
bool startProcess(const std::string& commandLine, const std::string& workingFolder,
                  ProcessHandle& handle, std::string& error);

/// Waits until the process ends and stores its exit status (non-zero also when it was killed:
/// 128 + the signal on POSIX, the exception code on Windows). Returns false when it cannot be
/// waited for, with the cause in error.
bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error);

/// Learns without blocking whether a process that startProcess started has ended. Sets ended,
/// and when it has, stores its exit status as waitProcess does; the process is then gone and must
/// not be waited for again. Returns false with the cause in error when it cannot be asked.
bool pollProcess(ProcessHandle handle, bool& ended, int& exitStatus, std::string& error);

// Ending a run that is cut short without leaving anything behind: no temporary file of
// createTempFile's, no process of startProcess's that nobody waits for.

/// Puts SIGCHLD back to its default action, whatever the parent left: ignored (which is handed on
/// to a program it starts), it makes a child vanish as it ends, so that waitProcess and
/// pollProcess could not learn how it ended. (Windows has no such signal.)
void keepChildrenForWaiting();

/// Makes SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break, closing the console, logoff
/// and shutdown) end the process with 128 + the signal (Windows: 130 for Ctrl+C and Ctrl+Break,
/// 129 for the others), once every temporary file still there is removed and every child not yet
/// waited for is stopped: told the same (POSIX), given 2 s to clean up after itself, then killed.
/// A signal that the process started with ignored stays ignored.
void stopCleanlyOnSignals();

/// Between the two, a stop signal of stopCleanlyOnSignals waits, and is acted on at the release:
/// for work that must not be cut in two, such as putting a set of files in place. Not nested.
/// POSIX holds the signals for the calling thread alone: call them while no other thread of ours
/// runs.
void holdStopSignals();
void releaseStopSignals();

/// Makes memory that runs out in operator new (a standard container or string) end the process
/// with status after report (which must not allocate) has told it, with the same cleanup, instead
/// of an abort. operator new (std::nothrow) would end it the same way, so no code here uses it:
/// buffers whose growth may fail come from the C heap (allocateBytes).
void stopCleanlyOnOutOfMemory(void (*report)(), int status);
