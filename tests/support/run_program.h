// Runs a program, or a shell command, as a child process in a given folder and captures what it
// prints.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_folder.h"

struct ProgramResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

/// Runs shellCommand through the shell with folder as its current folder. What it prints is
/// captured in a folder of its own, so it never shows up among the files of folder.
inline ProgramResult runShell(const std::string& folder, const std::string& shellCommand) {
    TempFolder capture;
    const std::string command = "cd " + shellQuote(folder) + " && (" + shellCommand + ") >" +
                                shellQuote(capture.path("out")) + " 2>" +
                                shellQuote(capture.path("err"));
    ProgramResult result;
    const int status = std::system(command.c_str());
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    auto slurp = [&](const char* name) {
        std::ifstream in(capture.path(name), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    result.out = slurp("out");
    result.err = slurp("err");
    return result;
}

/// Runs `program arguments` (arguments already shell-quoted as needed) with folder as its
/// current folder. environment, when not empty, is prefixed as `env ...` assignments.
inline ProgramResult runProgram(const std::string& program, const std::string& folder,
                                const std::string& arguments = "",
                                const std::string& environment = "") {
    return runShell(folder, (environment.empty() ? "" : "env " + environment + " ") +
                                shellQuote(program) + " " + arguments);
}
