// VOX_ZIP's files on Windows: UTF-8 names converted for the wide calls, and causes in the OS's
// words.
#include "os_files.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <shellapi.h> // after windows.h, which it needs

namespace {

std::wstring wideText(const std::string& text) {
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string utf8Text(const wchar_t* text, int length) {
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

// FormatMessageW's words for the last failure, without their line break.
std::string lastErrorText() {
    const DWORD code = GetLastError();
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::string text = utf8Text(buffer, static_cast<int>(length));
    LocalFree(buffer);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "Windows error " + std::to_string(code) : text;
}

} // namespace

std::vector<std::string> commandArguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; words != nullptr && i < count; ++i) {
        arguments.push_back(utf8Text(words[i], static_cast<int>(wcslen(words[i]))));
    }
    LocalFree(words);
    return arguments;
}

std::FILE* openForReading(const std::string& path, std::string& cause) {
    std::FILE* file = _wfopen(wideText(path).c_str(), L"rb");
    if (file == nullptr) {
        cause = std::strerror(errno);
    }
    return file;
}

std::FILE* createNewFile(const std::string& path, bool& taken, std::string& cause) {
    taken = false;
    const std::wstring wide = wideText(path);
    const HANDLE handle = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        taken = GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS;
        cause = lastErrorText();
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_WRONLY | _O_BINARY);
    std::FILE* file = fd == -1 ? nullptr : _fdopen(fd, "wb");
    if (file == nullptr) {
        cause = std::strerror(errno);
        if (fd == -1) {
            CloseHandle(handle);
        } else {
            _close(fd);
        }
        DeleteFileW(wide.c_str());
    }
    return file;
}

bool renameOver(const std::string& from, const std::string& to, std::string& cause) {
    if (MoveFileExW(wideText(from).c_str(), wideText(to).c_str(), MOVEFILE_REPLACE_EXISTING) == 0) {
        cause = lastErrorText();
        return false;
    }
    return true;
}

void removeFile(const std::string& path) {
    DeleteFileW(wideText(path).c_str());
}
