// Process start and wait, and the executable's own folder, on POSIX.
#include "platform/platform.h"

bool startProcess(const std::string&, const std::string&, ProcessHandle&, std::string& error) {
    error = "starting processes is not supported yet";
    return false;
}

bool waitProcess(ProcessHandle, int&, std::string& error) {
    error = "waiting for processes is not supported yet";
    return false;
}

std::string executableFolder() {
    return "";
}
