// Runs a shell command as a child process in a given folder and captures what it prints.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
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
    const int status =
        std::system(("cd " + shellQuote(folder) + " && (" + shellCommand + ") >" +
                     shellQuote(capture.path("out")) + " 2>" + shellQuote(capture.path("err")))
                        .c_str());
    const auto out = capture.readBytes("out");
    const auto err = capture.readBytes("err");
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            {out.begin(), out.end()},
            {err.begin(), err.end()}};
}

/// The content of the gzip file gz in folder, restored by gzip itself.
inline std::vector<std::uint8_t> gunzip(const std::string& folder, const std::string& gz) {
    const ProgramResult run = runShell(folder, "gzip -dc " + shellQuote(gz));
    EXPECT_EQ(run.exitStatus, 0) << gz << ": " << run.err;
    return {run.out.begin(), run.out.end()};
}
