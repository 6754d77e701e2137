// UTF-8 at the platform interface, UTF-16 at the Windows calls: the conversions between the two,
// the path form that lifts the classic path limit, and the OS's words for a failure. Internal to
// the Windows files of the platform layer.
#pragma once

#include <string>

/// The UTF-16 form of UTF-8 text; bytes that are not UTF-8 become U+FFFD. "" for text too long
/// to convert, which no call accepts as a path.
std::wstring wideText(const std::string& text);

/// The UTF-8 form of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string utf8Text(const wchar_t* text, std::size_t length);
std::string utf8Text(const std::wstring& text);

/// path for the wide file calls. A path too long for the classic limit is made absolute and
/// given the "\\?\" (or "\\?\UNC\") form, which the calls take up to 32767 characters long.
std::wstring widePath(const std::string& path);

/// The full path of path (GetFullPathNameW), or "" when it has none.
std::wstring fullWidePath(const std::wstring& path);

/// FormatMessageW's text for a Windows error code, without the line break it ends in. Some texts
/// name the file they are about as "%1": subject takes its place when given.
std::string windowsErrorText(unsigned long code, const std::string& subject = {});

/// windowsErrorText of GetLastError().
std::string lastErrorText();

/// True when the Windows error code err says the machine fell short (see isMachineShortage)
/// rather than the file or folder.
bool isMachineShortageError(unsigned long err);
