// Process start, wait and poll, and the executable's own folder, on Windows: the OS calls only;
// which program a command line names is decided in platform.cpp. A program is started by
// CreateProcessW from its resolved path, its window shown (SW_SHOW).
#include "platform/files.h"
#include "platform/memory.h"
#include "platform/process_os.h"
#include "platform/processes.h"
#include "platform/stop_cleanly.h"

#include <cstdint>
#include <cstdio>

#include <cwchar>

#include <windows.h>

#include <psapi.h> // after windows.h, which they need
#include <shellapi.h>

#include "platform/wide_text_win32.h"

namespace {

// Appends word so that the C runtime's command-line parser gives it back unchanged: a word with
// a blank or a quote in it is quoted, and the backslashes before a quote are doubled.
void appendArgument(std::wstring& line, const std::wstring& word) {
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) {
        line += word;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The program's path first, as Windows programs expect to find themselves; a path holds no '"'.
std::wstring commandLineOf(const std::string& program, const std::vector<std::string>& words) {
    std::wstring line = L"\"" + wideText(program) + L"\"";
    for (std::size_t i = 1; i < words.size(); ++i) {
        line += L' ';
        appendArgument(line, wideText(words[i]));
    }
    return line;
}

// Copies of our standard handles that the child inherits; ours may not be inheritable. A handle
// that cannot be copied (there is none, say) is passed on as it is.
struct StandardHandles {
    HANDLE handles[3] = {nullptr, nullptr, nullptr};
    bool copied[3] = {false, false, false};

    StandardHandles() {
        const DWORD ids[3] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
        for (int i = 0; i < 3; ++i) {
            const HANDLE own = GetStdHandle(ids[i]);
            copied[i] = own != nullptr && own != INVALID_HANDLE_VALUE &&
                        DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &handles[i],
                                        0, TRUE, DUPLICATE_SAME_ACCESS) != 0;
            if (!copied[i]) {
                handles[i] = own;
            }
        }
    }
    StandardHandles(const StandardHandles&) = delete;
    StandardHandles& operator=(const StandardHandles&) = delete;
    ~StandardHandles() {
        for (int i = 0; i < 3; ++i) {
            if (copied[i]) {
                CloseHandle(handles[i]);
            }
        }
    }
};

bool validHandle(ProcessHandle handle, HANDLE& process, std::string& error) {
    process = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle.value));
    if (handle.value == 0) {
        error = "no process to wait for";
        return false;
    }
    return true;
}

// Waits up to timeoutMs for the process; when it has ended, stores its exit code and lets it go.
bool waitFor(ProcessHandle handle, DWORD timeoutMs, bool& ended, int& exitStatus,
             std::string& error) {
    ended = false;
    HANDLE process = nullptr;
    if (!validHandle(handle, process, error)) {
        return false;
    }
    const DWORD rc = WaitForSingleObject(process, timeoutMs);
    if (rc == WAIT_TIMEOUT) {
        return true;
    }
    DWORD code = 0;
    if (rc != WAIT_OBJECT_0 || GetExitCodeProcess(process, &code) == 0) {
        error = "cannot wait for a process: " + lastErrorText();
        return false;
    }
    forgetChild(handle.value);
    CloseHandle(process);
    ended = true;
    exitStatus = static_cast<int>(code);
    return true;
}

} // namespace

bool isExecutable(const std::string& path) {
    // Any regular file may be started; whether it is a program, CreateProcessW tells.
    return pathKind(path) == PathKind::kRegular;
}

bool spawnProcess(const std::string& program, std::vector<std::string>& words,
                  const std::string& workingFolder, ProcessHandle& handle, std::string& cause) {
    std::wstring commandLine = commandLineOf(program, words);
    const std::wstring folder = wideText(workingFolder);
    StandardHandles standard;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_SHOW;
    startup.hStdInput = standard.handles[0];
    startup.hStdOutput = standard.handles[1];
    startup.hStdError = standard.handles[2];
    PROCESS_INFORMATION process{};
    if (CreateProcessW(widePath(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                       &process) == 0) {
        const std::string name = program.substr(program.find_last_of("\\/") + 1);
        cause = windowsErrorText(GetLastError(), name);
        return false;
    }
    CloseHandle(process.hThread);
    handle.value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(process.hProcess));
    noteChild(handle.value);
    return true;
}

std::string searchPathVariable() {
    const DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring value(needed, L'\0');
    const DWORD got = GetEnvironmentVariableW(L"PATH", value.data(), needed);
    value.resize(got < needed ? got : 0);
    return utf8Text(value);
}

bool isAbsolutePath(const std::string& path) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const bool drive = path.size() >= 3 && letter(path[0]) && path[1] == ':' && separator(path[2]);
    const bool unc = path.size() >= 2 && separator(path[0]) && separator(path[1]);
    return drive || unc;
}

bool absolutePath(const std::string& path, std::string& absolute, std::string& cause) {
    absolute = utf8Text(fullWidePath(wideText(path)));
    if (absolute.empty()) {
        cause = lastErrorText();
        return false;
    }
    return true;
}

bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error) {
    bool ended = false;
    return waitFor(handle, INFINITE, ended, exitStatus, error);
}

bool pollProcess(ProcessHandle handle, bool& ended, int& exitStatus, std::string& error) {
    return waitFor(handle, 0, ended, exitStatus, error);
}

std::vector<std::string> commandArguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words != nullptr && i < count; ++i) {
        arguments.push_back(utf8Text(words[i], std::wcslen(words[i])));
    }
    LocalFree(words);
    return arguments;
}

std::string executableFolder() {
    std::wstring self(MAX_PATH, L'\0');
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(self.size());
        const DWORD got = GetModuleFileNameW(nullptr, self.data(), capacity);
        if (got == 0) {
            return {};
        }
        if (got < capacity) {
            self.resize(got);
            break;
        }
        self.resize(self.size() * 2);
    }
    const std::size_t last = self.find_last_of(L'\\');
    return last == std::wstring::npos ? std::string() : utf8Text(self.substr(0, last));
}

long peakResidentKilobytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) != 0
               ? static_cast<long>(counters.PeakWorkingSetSize / 1024)
               : -1;
}

void failWritesBeyondFileSizeLimit() {
    // Windows has no per-process file-size limit: a write fails only as writes fail.
}

void failWritesToClosedPipes() {
    // A write to a pipe nobody reads fails on Windows as any write fails.
}

void keepChildrenForWaiting() {
    // A Windows process is waited for through its handle, whatever the parent did.
}
