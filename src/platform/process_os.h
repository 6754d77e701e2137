// What starting a process asks of the OS, one implementation per OS (process_<os>.cpp). The
// command line, the program lookup and the messages are platform.cpp's. Internal to the platform
// layer.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

/// True when the file at path may be run by this process.
bool isExecutable(const std::string& path);

/// Starts program with the arguments words (words[0] included) in workingFolder ("" keeps ours),
/// without waiting for it, and sets handle. Returns 0, or the OS's error number when it could not
/// be started; no process is left behind then.
int spawnProcess(const std::string& program, std::vector<std::string>& words,
                 const std::string& workingFolder, ProcessHandle& handle);
