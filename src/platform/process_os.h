// What starting a process asks of the OS, one implementation per OS (process_<os>.cpp). The
// command line, the program lookup and the messages are platform.cpp's. Internal to the platform
// layer.
#pragma once

#include <string>
#include <vector>

#include "platform/processes.h"

/// True when the file at path may be run by this process.
bool isExecutable(const std::string& path);

/// Starts program (a full path) with the arguments words (words[0] included) in workingFolder
/// ("" keeps ours), without waiting for it, and sets handle. Returns false with the OS's text in
/// cause when it could not be started; no process is left behind then.
bool spawnProcess(const std::string& program, std::vector<std::string>& words,
                  const std::string& workingFolder, ProcessHandle& handle, std::string& cause);

/// The search path (PATH) as UTF-8 text, "" when it is not set.
std::string searchPathVariable();

/// True when path is absolute: "/..." on POSIX; "X:\..." or "\\server\..." on Windows (a
/// rooted path without a drive would resolve against the current drive).
bool isAbsolutePath(const std::string& path);

/// Sets absolute to path made absolute against the current folder. Returns false with the OS's
/// text in cause when it cannot be.
bool absolutePath(const std::string& path, std::string& absolute, std::string& cause);
