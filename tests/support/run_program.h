// Starting programs from tests without a shell: the real executables built beside the test
// binary, the stand-in tool that plays VOX_ZIP or any other program, and (on POSIX) the system's
// own. What a program prints is captured; on Windows its console lines must end in CR LF.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/processes.h"

#ifdef _WIN32
inline constexpr bool kWindows = true;
inline constexpr char kExeSuffix[] = ".exe";
#else
inline constexpr bool kWindows = false;
inline constexpr char kExeSuffix[] = "";
#endif

struct ProgramResult {
    int exitStatus = -1; // 128 + the signal for a killed program (POSIX); -1: it did not start
    std::string out;     // console text: on Windows each CR LF is given as LF
    std::string err;
    long peakKb = -1; // the largest resident set of the program or a child it waited for (POSIX)
};

struct ProgramOptions {
    std::string path{};    // PATH for the program; "" leaves ours
    bool errToOut = false; // standard error into the same file as standard output, as 2>&1
    std::string outFile{}; // standard output into this file instead (POSIX: /dev/full)
    // POSIX: the stream is a pipe whose reading end is closed; SIGCHLD ignored, as a parent that
    // ignores it hands it on.
    bool outClosed = false;
    bool errClosed = false;
    bool childSignalIgnored = false;
    // Limits the program starts with, 0 leaving ours (POSIX; Windows has none of them): bytes of
    // address space (RLIMIT_AS), open files (RLIMIT_NOFILE) and bytes in a file (RLIMIT_FSIZE).
    std::uint64_t memoryLimit = 0;
    std::uint64_t openFiles = 0;
    std::uint64_t fileSize = 0;
    std::vector<std::string> variables{}; // POSIX: "NAME=value" set for the program alone
};

class TempFolder;

/// A program started by startProgram that has not been waited for.
struct StartedProgram {
    std::uint64_t process = 0; // a pid on POSIX, a HANDLE on Windows; 0: it did not start
    std::uint64_t groupId = 0; // Windows: the console process group it leads
    std::string startError;
    std::shared_ptr<TempFolder> capture;
};

/// Starts command[0] (a path, or on POSIX a name looked up in PATH) with the other words as its
/// arguments in folder, with nothing on standard input and every signal at its default action.
StartedProgram startProgram(const std::string& folder, const std::vector<std::string>& command,
                            const ProgramOptions& options = {});

/// Sends the started program signal (SIGINT, SIGTERM, SIGHUP, ...). On Windows every signal is
/// a Ctrl+Break event to the program's console process group.
void signalProgram(const StartedProgram& program, int signal);

/// Waits for the started program to end. (A program that hangs is ended with its test, by
/// CTest's timeout.)
ProgramResult finishProgram(StartedProgram& program);

/// startProgram, then finishProgram.
ProgramResult runProgram(const std::string& folder, const std::vector<std::string>& command,
                         const ProgramOptions& options = {});

/// The executable name as built without sanitizers, for tests that limit its address space,
/// which AddressSanitizer's reservations would exceed; programPath(name) where the tests are not
/// built with sanitizers.
std::string plainProgramPath(const std::string& name);

/// The words of line, split on blanks: a command line that holds no path with a blank in it.
std::vector<std::string> words(const std::string& line);

/// The OS's words for a failure: posix's on POSIX, wine's on Windows (the suite runs under Wine,
/// whose texts differ from Windows' own).
inline const char* osText(const char* posix, const char* wine) {
    return kWindows ? wine : posix;
}

/// text with every '/' made the OS's separator: the paths of an expected message.
inline std::string nativePaths(std::string text) {
    for (char& c : text) {
        c = c == '/' ? kPathSeparator : c;
    }
    return text;
}

/// The executable name built beside the test binary: theme-packager, VOX_ZIP, theme-inspect,
/// tp-stand-in (with ".exe" on Windows).
inline std::string programPath(const std::string& name) {
    return joinPath(executableFolder(), name + kExeSuffix);
}

/// Puts the stand-in tool into folder as relative (".exe" added on Windows) with plan beside it;
/// see tests/support/stand_in_tool.cpp for what a plan says.
void writeStandIn(const std::string& folder, const std::string& relative, const std::string& plan);

/// The file name in capture, read as console text.
std::string capturedText(const TempFolder& capture, const char* name);

/// Console text as a POSIX program prints it. A Windows program's (crlf) lines must each end in
/// CR LF, which becomes LF; a line that ends in LF alone fails the test.
std::string consoleText(const std::string& printed, bool crlf = kWindows);

/// The bytes of a single gzip member, restored by zlib; fails the test and returns nothing when
/// gz is not exactly one whole member.
std::vector<std::uint8_t> gunzip(const std::vector<std::uint8_t>& gz);

/// data as one gzip member, made by zlib.
std::vector<std::uint8_t> gzipped(const std::vector<std::uint8_t>& data);
