// Starting programs from tests on POSIX, through the launcher the benchmarks share: the standard
// streams in files of the capture folder, and the largest resident set from wait4.
#include "support/run_program.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "bench/launch_posix.h"
#include "support/temp_folder.h"

extern char** environ;

namespace {

// The program file of name as execvp would find it.
std::string programFile(const std::string& name) {
    const char* variable = std::getenv("PATH");
    if (name.find('/') != std::string::npos || variable == nullptr) {
        return name;
    }
    const std::string path = variable;
    for (std::size_t begin = 0;;) {
        const std::size_t end = path.find(':', begin);
        const std::string folder = path.substr(begin, end - begin);
        const std::string file = (folder.empty() ? "." : folder) + "/" + name;
        if (access(file.c_str(), X_OK) == 0) {
            return file;
        }
        if (end == std::string::npos) {
            return name;
        }
        begin = end + 1;
    }
}

} // namespace

StartedProgram startProgram(const std::string& folder, const std::vector<std::string>& command,
                            const ProgramOptions& options) {
    StartedProgram program;
    program.capture = std::make_shared<TempFolder>();
    Launch launch;
    launch.command = command;
    launch.command[0] = programFile(command[0]);
    launch.folder = folder;
    // Our environment, but for the variables that the options set.
    std::vector<std::string> variables = options.variables;
    if (!options.path.empty()) {
        variables.push_back("PATH=" + options.path);
    }
    for (char** v = environ; *v != nullptr; ++v) {
        const std::string ours = *v;
        if (std::none_of(variables.begin(), variables.end(), [&ours](const std::string& set) {
                return set.starts_with(ours.substr(0, ours.find('=') + 1));
            })) {
            launch.environment.push_back(ours);
        }
    }
    launch.environment.insert(launch.environment.end(), variables.begin(), variables.end());
    launch.out = options.outFile.empty() ? program.capture->path("out") : options.outFile;
    launch.err = options.errToOut ? launch.out : program.capture->path("err");
    launch.memoryLimit = options.memoryLimit;
    launch.openFiles = options.openFiles;
    launch.fileSize = options.fileSize;
    launch.outClosed = options.outClosed;
    launch.errClosed = options.errClosed;
    launch.childSignalIgnored = options.childSignalIgnored;
    std::string error;
    const pid_t pid = launchProgram(launch, error);
    if (pid == 0) {
        program.startError = command[0] + ": " + error;
        return program;
    }
    program.process = static_cast<std::uint64_t>(pid);
    return program;
}

void signalProgram(const StartedProgram& program, int signal) {
    kill(static_cast<pid_t>(program.process), signal);
}

ProgramResult finishProgram(StartedProgram& program) {
    ProgramResult result;
    if (program.process == 0) {
        result.err = program.startError;
        return result;
    }
    rusage usage{};
    awaitProgram(static_cast<pid_t>(program.process), result.exitStatus, usage);
    program.process = 0;
    result.peakKb = usage.ru_maxrss;
    result.out = capturedText(*program.capture, "out");
    result.err = capturedText(*program.capture, "err");
    return result;
}
