// What tests need of the OS beyond starting programs, one implementation per OS
// (test_os_posix.cpp, test_os_win32.cpp), so that tests themselves include no OS header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TempFolder;

/// Makes a FIFO at path; false where that fails, and always on Windows, which has none.
bool makeFifo(const std::string& path);

/// Sets the environment variable name, for this process and the programs it starts, to value;
/// an empty value removes it.
void setVariable(const char* name, const std::string& value);

/// The command that runs a program as nobody, after giving root's files to nobody; none when
/// this process is not root (its permissions hold as they are), and always on Windows.
std::vector<std::string> asNobody(const TempFolder& root);

/// Writes bytes at relative under root, a path longer than one call may name: POSIX walks into
/// its folders one at a time; Windows takes it whole in its long form.
void writeFarFile(const TempFolder& root, const std::string& relative,
                  const std::vector<std::uint8_t>& bytes);

/// True when a child process of ours has ended and waits to be waited for (never on Windows,
/// where a process leaves nothing of the kind).
bool unwaitedChildExists();

/// While it lives, writes beyond bytes in a file (0: no limit) fail as on a full disk instead of
/// ending the process (SIGXFSZ ignored). Windows has no such limit: there it does nothing.
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t saved_ = 0;
    void (*savedHandler_)(int) = nullptr;
};
