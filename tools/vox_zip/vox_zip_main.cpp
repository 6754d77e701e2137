// VOX_ZIP: compresses one file into FILE.gz (the gzip format, so any gzip reader restores it),
// or restores FILE from FILE.gz. The input is always kept; the output appears only when it is
// complete. Restoring reads FILE.gz as gzip(1) does: every member, one after another; zero bytes
// after the last one are padding; other bytes after it are ignored with a warning, the restored
// FILE kept. Exit status: 0 success, 1 the file could not be converted, 2 a wrong command line
// or a restore that ignored trailing garbage (standard error tells which).
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "common/terminal_text.h"
#include "common/version.h"
#include "gzip/gzip_format.h"
#include "gzip/gzip_stream.h"
#include "platform/files.h"
#include "platform/pending_output.h"
#include "platform/processes.h"

namespace {

constexpr int kDefaultLevel = 6;
constexpr int kFailed = 1;
constexpr int kBadCommandLine = 2;
constexpr int kWarning = 2; // gzip's status for a warning

// help2man makes the manual page from this text: a "Usage:" line, paragraphs, and sections headed
// by a line that ends in a colon.
const char kUsage[] =
    "Usage: VOX_ZIP -c [-1 .. -9] FILE\n"
    "  or:  VOX_ZIP -d FILE.gz\n"
    "Compresses FILE into FILE.gz, in the gzip format that any gzip reader restores, or\n"
    "restores FILE from FILE.gz. The input is always kept; an existing output file is\n"
    "replaced only once the new one is complete. theme-packager runs VOX_ZIP -c -9 on\n"
    "every bin file it writes.\n"
    "\n"
    "Options:\n"
    "  -c            compress FILE into FILE.gz\n"
    "  -d            restore FILE from FILE.gz: every gzip member, one after another;\n"
    "                zero bytes after the last one are padding, other bytes are ignored\n"
    "                with a warning\n"
    "  -1 .. -9      the level: 1 is fastest, 9 smallest, 6 unless given\n"
    "  --            ends the options, for a FILE whose name starts with '-'\n"
    "  -h, --help    print this help and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0   done\n"
    "  1   the file could not be compressed or restored (standard error says why)\n"
    "  2   a wrong command line, or a restore that ignored trailing garbage\n";

enum class Mode { kUnset, kCompress, kDecompress, kHelp, kVersion };

struct Options {
    Mode mode = Mode::kUnset;
    int level = kDefaultLevel;
    bool haveFile = false;
    std::string file;
};

bool setMode(Options& options, Mode mode, std::string& error) {
    if (options.mode != Mode::kUnset && options.mode != mode) {
        error = "-c and -d cannot be given together";
        return false;
    }
    options.mode = mode;
    return true;
}

bool parseOption(const std::string& arg, Options& options, std::string& error) {
    if (arg == "-c") {
        return setMode(options, Mode::kCompress, error);
    }
    if (arg == "-d") {
        return setMode(options, Mode::kDecompress, error);
    }
    if (arg.size() == 2 && arg[1] >= '1' && arg[1] <= '9') {
        options.level = arg[1] - '0';
        return true;
    }
    error = "unknown option '" + arg + "'";
    return false;
}

// "--" ends the options, so that a file whose name starts with '-' can be given.
bool parseArguments(const std::vector<std::string>& arguments, Options& options,
                    std::string& error) {
    bool optionsEnded = false;
    for (const std::string& arg : arguments) {
        if (!optionsEnded && (arg == "-h" || arg == "--help" || arg == "--version")) {
            options.mode = arg == "--version" ? Mode::kVersion : Mode::kHelp;
            return true;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (!parseOption(arg, options, error)) {
                return false;
            }
        } else if (options.haveFile) {
            error = "more than one FILE given ('" + options.file + "', '" + arg + "')";
            return false;
        } else {
            options.haveFile = true;
            options.file = arg;
        }
    }
    if (options.mode == Mode::kUnset) {
        error = "give -c to compress or -d to restore";
        return false;
    }
    if (!options.haveFile) {
        error = "no FILE given";
        return false;
    }
    return true;
}

void reportOutOfMemory() {
    std::fputs("VOX_ZIP: out of memory\n", stderr);
}

// A file's name may hold any byte: none may act on the terminal.
int report(const std::string& file, const std::string& cause) {
    std::fprintf(stderr, "VOX_ZIP: %s: %s\n", escapeUnsafe(file).c_str(), cause.c_str());
    return kFailed;
}

bool isSeparator(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

// The name that source, FILE.gz, restores to: FILE.
bool restoredName(const std::string& source, std::string& name, std::string& cause) {
    const std::size_t suffixLength = sizeof kGzipSuffix - 1;
    if (source.size() < suffixLength ||
        source.compare(source.size() - suffixLength, suffixLength, kGzipSuffix) != 0) {
        cause = "name does not end in .gz";
        return false;
    }
    name = source.substr(0, source.size() - suffixLength);
    if (name.empty() || isSeparator(name.back())) {
        cause = "no file name before .gz";
        return false;
    }
    return true;
}

// Restored data followed by bytes that are neither a member nor padding: the file was damaged
// or put together wrongly, so say so, though everything before them was restored.
int warnAboutGarbage(const std::string& source, const GzipRestored& restored) {
    std::fprintf(stderr,
                 "VOX_ZIP: %s: decompression OK, trailing garbage ignored (from byte %" PRIu64
                 " on)\n",
                 escapeUnsafe(source).c_str(), restored.tailOffset);
    return kWarning;
}

int convert(const Options& options, const std::string& source, const std::string& target) {
    std::string cause;
    std::uint64_t size = 0;
    // Only a regular file: a FIFO or device named on the command line must not block the tool.
    std::FILE* in = openRegularFile(source, size, cause);
    if (in == nullptr) {
        return report(source, "cannot open: " + cause);
    }
    // The output gets the input's permissions, as gzip's does; until then nobody else may read
    // it. It is on disk before the exit status says so: the packager deletes the input then.
    PendingOutput output;
    output.ownerOnly = true;
    output.durable = true;
    if (!beginOutput(target, output, cause)) {
        std::fclose(in);
        return report(target, "cannot write: " + cause);
    }
    GzipError error;
    GzipRestored restored;
    const bool converted =
        options.mode == Mode::kCompress
            ? gzipCompress(fileSource(in, size), fileSink(output.file), options.level, error)
            : gzipDecompress(fileSource(in, size), fileSink(output.file), restored, error);
    const bool permitted = !converted || copyPermissions(in, output.file, cause);
    std::fclose(in);
    if (!converted || !permitted) {
        abandonOutput(output);
        return !converted ? report(error.reason == GzipReason::kWriteFailed ? target : source,
                                   describeGzipError(error))
                          : report(target, "cannot set its permissions: " + cause);
    }
    if (!commitOutput(output, cause)) {
        return report(target, "cannot write: " + cause);
    }
    return restored.tail == GzipTail::kGarbage ? warnAboutGarbage(source, restored) : 0;
}

} // namespace

int main(int argc, char** argv) {
    // A write beyond the file-size limit fails with its cause, and the temporary file goes, as
    // it does when a signal or memory that runs out cuts the tool short.
    failWritesBeyondFileSizeLimit();
    stopCleanlyOnSignals();
    stopCleanlyOnOutOfMemory(reportOutOfMemory, kFailed);
    Options options;
    std::string error;
    if (!parseArguments(commandArguments(argc, argv), options, error)) {
        // The arguments quoted in it may hold any byte, as file names do.
        std::fprintf(stderr, "VOX_ZIP: %s (VOX_ZIP -h for help)\n", escapeUnsafe(error).c_str());
        return kBadCommandLine;
    }
    if (options.mode == Mode::kHelp) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.mode == Mode::kVersion) {
        std::printf("VOX_ZIP %s\n", kVersion);
        return 0;
    }
    if (options.mode == Mode::kCompress) {
        return convert(options, options.file, options.file + kGzipSuffix);
    }
    std::string target;
    std::string cause;
    if (!restoredName(options.file, target, cause)) {
        return report(options.file, cause);
    }
    return convert(options, options.file, target);
}
