// Starting programs from tests on Windows: CreateProcessW with the standard handles in files,
// waited for with WaitForSingleObject. (The peak memory stays unknown: Wine keeps no counters of
// a process that has ended.)
#include "support/run_program.h"

#include <windows.h>

#include "platform/wide_text_win32.h"
#include "support/temp_folder.h"

namespace {

HANDLE inheritable(const std::string& name, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    return CreateFileW(wideText(name).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Our environment block with PATH replaced.
std::wstring environmentWith(const std::string& path) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* v = strings; *v != L'\0'; v += wcslen(v) + 1) {
        if (_wcsnicmp(v, L"PATH=", 5) != 0) {
            block.append(v, wcslen(v) + 1);
        }
    }
    FreeEnvironmentStringsW(strings);
    return block + L"PATH=" + wideText(path) + L'\0';
}

} // namespace

StartedProgram startProgram(const std::string& folder, const std::vector<std::string>& command,
                            const ProgramOptions& options) {
    StartedProgram program;
    program.capture = std::make_shared<TempFolder>();
    const TempFolder& capture = *program.capture;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = inheritable(capture.path("out"), GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = options.errToOut
                            ? startup.hStdOutput
                            : inheritable(capture.path("err"), GENERIC_WRITE, CREATE_ALWAYS);
    // The arguments of tests hold no quote and end in no backslash: quoting blanks is enough.
    std::wstring line;
    for (const std::string& word : command) {
        const bool blank = word.empty() || word.find_first_of(" \t") != std::string::npos;
        line +=
            (line.empty() ? L"" : L" ") + (blank ? L"\"" + wideText(word) + L"\"" : wideText(word));
    }
    std::wstring environment = options.path.empty() ? L"" : environmentWith(options.path);
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    DWORD startError = 0;
    // Wine now and then refuses a start with ERROR_INTERNAL_ERROR while its server is busy with
    // the processes of other tests; a second try starts it. Any other refusal is the answer.
    for (int attempt = 0; attempt < 5; ++attempt) {
        // A process group of its own, so that a Ctrl+Break event can be sent to it alone.
        started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                 CREATE_UNICODE_ENVIRONMENT | CREATE_NEW_PROCESS_GROUP,
                                 environment.empty() ? nullptr : environment.data(),
                                 wideText(folder).c_str(), &startup, &process);
        startError = GetLastError();
        if (started != 0 || startError != ERROR_INTERNAL_ERROR) {
            break;
        }
        Sleep(100);
    }
    CloseHandle(startup.hStdInput);
    CloseHandle(startup.hStdOutput);
    if (!options.errToOut) {
        CloseHandle(startup.hStdError);
    }
    if (started == 0) {
        program.startError = command[0] + ": " + windowsErrorText(startError);
        return program;
    }
    CloseHandle(process.hThread);
    program.process = reinterpret_cast<std::uint64_t>(process.hProcess);
    program.groupId = process.dwProcessId;
    return program;
}

void signalProgram(const StartedProgram& program, int) {
    GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(program.groupId));
}

ProgramResult finishProgram(StartedProgram& program) {
    ProgramResult result;
    if (program.process == 0) {
        result.err = program.startError;
        return result;
    }
    const auto process = reinterpret_cast<HANDLE>(program.process);
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    CloseHandle(process);
    program.process = 0;
    result.exitStatus = static_cast<int>(code);
    result.out = capturedText(*program.capture, "out");
    result.err = capturedText(*program.capture, "err");
    return result;
}
