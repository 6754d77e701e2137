// The OS part of VOX_ZIP: its command line and the files it names, as UTF-8 on every OS (Windows
// hands main its arguments in the ANSI code page and opens files by UTF-16 names), and creating
// a file only where nothing exists yet, which the Windows C runtime's fopen cannot do.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

/// The program's arguments after its name, as UTF-8.
std::vector<std::string> commandArguments(int argc, char** argv);

/// Opens path for binary reading. Returns null with the OS cause in cause.
std::FILE* openForReading(const std::string& path, std::string& cause);

/// Creates path for binary writing only if nothing of that name exists yet (not even a link).
/// Returns null with the OS cause in cause, and taken set when the name was already in use.
std::FILE* createNewFile(const std::string& path, bool& taken, std::string& cause);

/// Renames from to the name to, replacing a file there. Returns false with the OS cause in cause.
bool renameOver(const std::string& from, const std::string& to, std::string& cause);

/// Removes the file at path, when there is one.
void removeFile(const std::string& path);
