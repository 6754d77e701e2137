// The OS's words for a failure, and whether the machine or the file is to blame.
#pragma once

#include <string>

/// The OS's text for error number err, as strerror gives it; for ENOMEM "out of memory", the words
/// every tool uses when memory runs out.
std::string osErrorText(int err);

/// True when err, an errno value, says that the machine fell short rather than that a file is at
/// fault: no memory, too many open files, an I/O error.
bool isMachineShortage(int err);
