// Process start, wait and poll, and the executable's own folder, on Windows. A program is
// started by CreateProcessW from its resolved path; what the program is called on the command
// line is resolved by the Windows lookup rules below.
#include "platform/platform.h"

#include <cstdint>
#include <cstdio>

#include <windows.h>

#include "platform/wide_text_win32.h"

namespace {

std::vector<std::string> splitOnBlanks(const std::string& commandLine) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : commandLine + ' ') {
        if (c != ' ' && c != '\t') {
            word += c;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

// ---- Program lookup, Windows rules --------------------------------------------------------
// The program file is NAME.exe: ".exe" is kept, or added when the name lacks it. A name with a
// path in it is that path; any other is looked for beside this program, then in the absolute
// folders of PATH (separated by ';'). A relative entry, or a rooted one without a drive
// ("\tools"), would resolve against the current folder or drive, where a theme tree must not be
// able to plant a program that we run.

constexpr char kExeSuffix[] = ".exe";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool endsWithExe(const std::string& name) {
    const std::size_t n = sizeof kExeSuffix - 1;
    if (name.size() < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = name[name.size() - n + i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != kExeSuffix[i]) {
            return false;
        }
    }
    return true;
}

// "X:\..." or "\\server\share\...".
bool isAbsolutePath(const std::string& path) {
    const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    const bool drive =
        path.size() >= 3 && letter(path[0]) && path[1] == ':' && isSeparator(path[2]);
    const bool unc = path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1]);
    return drive || unc;
}

std::string environmentVariable(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::wstring value(needed, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, value.data(), needed);
    value.resize(got < needed ? got : 0);
    return utf8Text(value);
}

std::vector<std::string> searchFolders() {
    std::vector<std::string> folders;
    const std::string own = executableFolder();
    if (!own.empty()) {
        folders.push_back(own);
    }
    const std::string path = environmentVariable(L"PATH");
    std::size_t begin = 0;
    while (begin <= path.size()) {
        std::size_t end = path.find(';', begin);
        end = end == std::string::npos ? path.size() : end;
        std::string entry = path.substr(begin, end - begin);
        // An entry may be quoted, as "C:\Program Files\Tool".
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') {
            entry = entry.substr(1, entry.size() - 2);
        }
        if (isAbsolutePath(entry)) {
            folders.push_back(entry);
        }
        begin = end + 1;
    }
    return folders;
}

// Sets program to the file that runs for name, as a full path (the process's folder is not ours).
bool findProgram(const std::string& name, std::string& program, std::string& error) {
    const std::string file = endsWithExe(name) ? name : name + kExeSuffix;
    if (name.find_first_of("\\/:") != std::string::npos) {
        program = utf8Text(fullWidePath(wideText(file)));
        if (program.empty()) {
            error = "could not start '" + name + "': " + lastErrorText();
            return false;
        }
        return true;
    }
    for (const std::string& folder : searchFolders()) {
        const std::string candidate = joinPath(folder, file);
        if (pathKind(candidate) == PathKind::kRegular) {
            program = candidate;
            return true;
        }
    }
    error = "could not start '" + name + "': not found beside this program nor on PATH";
    return false;
}

// ---- Starting a resolved program ----------------------------------------------------------

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

// Starts the program at the resolved path program with the words after the first as its
// arguments, in workingFolder ("" keeps ours).
bool startProgram(const std::string& program, const std::vector<std::string>& words,
                  const std::string& workingFolder, ProcessHandle& handle, std::string& error) {
    if (!workingFolder.empty() && !isFolder(workingFolder)) {
        error = "could not start '" + program + "': working folder '" + workingFolder +
                "' does not exist";
        return false;
    }
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
    std::fflush(stdout);
    if (CreateProcessW(widePath(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                       nullptr, folder.empty() ? nullptr : folder.c_str(), &startup,
                       &process) == 0) {
        const std::string name = program.substr(program.find_last_of("\\/") + 1);
        error = "could not start '" + program + "'" +
                (workingFolder.empty() ? "" : " in '" + workingFolder + "'") + ": " +
                windowsErrorText(GetLastError(), name);
        return false;
    }
    CloseHandle(process.hThread);
    handle.value = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(process.hProcess));
    return true;
}

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
    CloseHandle(process);
    ended = true;
    exitStatus = static_cast<int>(code);
    return true;
}

} // namespace

bool startProcess(const std::string& commandLine, const std::string& workingFolder,
                  ProcessHandle& handle, std::string& error) {
    handle = {};
    const std::vector<std::string> words = splitOnBlanks(commandLine);
    if (words.empty()) {
        error = "could not start: empty command line";
        return false;
    }
    std::string program;
    return findProgram(words[0], program, error) &&
           startProgram(program, words, workingFolder, handle, error);
}

bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error) {
    bool ended = false;
    return waitFor(handle, INFINITE, ended, exitStatus, error);
}

bool pollProcess(ProcessHandle handle, bool& ended, int& exitStatus, std::string& error) {
    return waitFor(handle, 0, ended, exitStatus, error);
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

void failWritesBeyondFileSizeLimit() {
    // Windows has no per-process file-size limit: a write fails only as writes fail.
}
