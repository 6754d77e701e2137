// Text and path conversions for the Windows calls.
#include "platform/wide_text_win32.h"

#include <climits>
#include <cwchar>

#include <windows.h>

namespace {

// Longer paths are given the "\\?\" form. A folder's path must leave room for an 8.3 file name
// within MAX_PATH (260 with its terminator), so the plain form stops short of that.
constexpr std::size_t kLongestPlainPath = MAX_PATH - 12 - 1;

const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

} // namespace

std::wstring wideText(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string utf8Text(const wchar_t* text, std::size_t length) {
    if (length == 0 || length > INT_MAX / 3) {
        return {};
    }
    const int units = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, units, utf8.data(), needed, nullptr, nullptr);
    return utf8;
}

std::string utf8Text(const std::wstring& text) {
    return utf8Text(text.data(), text.size());
}

std::wstring fullWidePath(const std::wstring& path) {
    if (path.empty()) {
        return {};
    }
    // The size needed can change between the calls when another thread changes the current
    // folder: ask until it fits.
    std::wstring full(path.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(full.size());
        const DWORD got = GetFullPathNameW(path.c_str(), capacity, full.data(), nullptr);
        if (got == 0) {
            return {};
        }
        if (got < capacity) {
            full.resize(got);
            return full;
        }
        full.resize(got);
    }
}

std::wstring widePath(const std::string& path) {
    std::wstring wide = wideText(path);
    if (wide.size() <= kLongestPlainPath || startsWith(wide, kLongPrefix)) {
        return wide;
    }
    // The long form is taken literally, without the usual clean-up of "/", "." and ".." or of
    // doubled separators, so the path is made full first.
    const std::wstring full = fullWidePath(wide);
    if (full.empty() || startsWith(full, kLongPrefix) || startsWith(full, L"\\\\.\\")) {
        return full.empty() ? wide : full;
    }
    if (startsWith(full, L"\\\\")) {
        return kLongUncPrefix + full.substr(2);
    }
    return kLongPrefix + full;
}

std::string windowsErrorText(unsigned long code, const std::string& subject) {
    wchar_t* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    const DWORD length =
        FormatMessageW(flags, nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::string text = length == 0 ? std::string() : utf8Text(buffer, length);
    if (buffer != nullptr) {
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return "Windows error " + std::to_string(code);
    }
    for (std::size_t at = 0; !subject.empty() && (at = text.find("%1", at)) != std::string::npos;
         at += subject.size()) {
        text.replace(at, 2, subject);
    }
    return text;
}

std::string lastErrorText() {
    return windowsErrorText(GetLastError());
}

bool isMachineShortageError(unsigned long err) {
    return err == ERROR_TOO_MANY_OPEN_FILES || err == ERROR_NOT_ENOUGH_MEMORY ||
           err == ERROR_OUTOFMEMORY || err == ERROR_NO_SYSTEM_RESOURCES || err == ERROR_IO_DEVICE;
}
