// tp-stand-in: put where a test expects another program (VOX_ZIP beside the packager, programs on
// a search path), it does what the plan beside it (NAME.plan beside NAME or NAME.exe) says.
// A plan line is a key and steps; the first line whose key is the last argument ('\' read as
// '/') or '*' is followed. Steps: exit N; sleep MS; say WORD (a line on standard error);
// log FILE (appends the key); gz WORD, write WORD (KEY.gz gets WORD gzip-compressed, or as it
// is); odd (KEY.gz becomes a FIFO, on Windows a folder); killed (ends as kill -9 or taskkill /f
// end a program); later MS (starts a copy that hands over after MS milliseconds, and exits 0).
// Handing over, also when the steps end without exit: running the program of the line
// "use PATH" with the same arguments and ending with its status (0 without one).
#include <zlib.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "platform/processes.h"
#include "platform/threads.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

int handOver(const std::string& program, const std::string& arguments) {
    ProcessHandle handle;
    std::string error;
    int status = 0;
    if (program.empty() || (startProcess(program + arguments, "", handle, error) &&
                            waitProcess(handle, status, error))) {
        return status;
    }
    std::fprintf(stderr, "tp-stand-in: %s\n", error.c_str());
    return 127;
}

[[noreturn]] void killed() {
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 1);
#else
    std::raise(SIGKILL);
#endif
    std::abort();
}

} // namespace

int main(int argc, char** argv) {
    // POSIX hands a program the name it was started by, Windows its path: the file is the same.
    std::string self =
        joinPath(executableFolder(), std::filesystem::path(argv[0]).filename().string());
    const std::vector<std::string> arguments = commandArguments(argc, argv);
    std::string key = arguments.empty() ? "" : arguments.back();
    std::replace(key.begin(), key.end(), '\\', '/');
    std::string use;
    std::string steps;
    std::ifstream plan(std::filesystem::path(self).replace_extension().string() + ".plan");
    for (std::string line, first; std::getline(plan, line);) {
        std::istringstream words(line);
        words >> first >> std::ws;
        std::string rest(std::istreambuf_iterator<char>(words), {});
        use = first == "use" ? rest : use;
        steps = steps.empty() && (first == key || first == "*") ? rest + " " : steps;
    }
    std::string joined;
    for (std::size_t i = arguments.size() > 1 && arguments[0] == "--after" ? 2 : 0;
         i < arguments.size(); ++i) {
        joined += " " + arguments[i];
    }
    if (arguments.size() > 1 && arguments[0] == "--after") {
        sleepMilliseconds(static_cast<unsigned>(std::atoi(arguments[1].c_str())));
        return handOver(use, joined);
    }
    std::istringstream words(steps);
    for (std::string step, word; words >> step;) {
        if (step != "odd" && step != "killed") {
            words >> word;
        }
        const int number = std::atoi(word.c_str());
        if (step == "exit") {
            return number;
        } else if (step == "sleep") {
            sleepMilliseconds(static_cast<unsigned>(number));
        } else if (step == "say") {
            std::fprintf(stderr, "%s\n", word.c_str());
        } else if (step == "log") {
            std::ofstream(word, std::ios::app | std::ios::binary) << key << '\n';
        } else if (step == "write") {
            std::ofstream(key + ".gz", std::ios::binary) << word;
        } else if (step == "gz") {
            gzFile gz = gzopen((key + ".gz").c_str(), "wb");
            gzwrite(gz, word.data(), static_cast<unsigned>(word.size()));
            gzclose(gz);
        } else if (step == "odd") {
#ifdef _WIN32
            std::filesystem::create_directory(key + ".gz");
#else
            mkfifo((key + ".gz").c_str(), 0600);
#endif
        } else if (step == "killed") {
            killed();
        } else if (step == "later") {
            ProcessHandle background;
            return startProcess(self + " --after " + word + joined, "", background, word) ? 0 : 127;
        }
    }
    return handOver(use, joined);
}
