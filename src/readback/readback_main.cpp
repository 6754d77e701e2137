// theme-inspect: reads back a build that theme-packager wrote and lists, verifies, extracts or
// previews it. The only part of the tool that prints: the commands' results on standard
// output, failures and progress on standard error.
//
// Exit status: 0 done (verify: no fault); 1 the build has faults, or an output could not be
// written; 2 a wrong command line, or the build's files are missing or cannot be read. diff: 0
// no difference, 1 the builds differ, 2 anything that keeps it from telling.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "common/terminal_text.h"
#include "common/version.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/processes.h"
#include "readback/budget_check.h"
#include "readback/build_scan.h"
#include "readback/build_summary.h"
#include "readback/command_arguments.h"
#include "readback/diff_listing.h"
#include "readback/extract.h"
#include "readback/firmware_header.h"
#include "readback/listing.h"
#include "readback/preview.h"
#include "readback/text_forms.h"

namespace {

constexpr int kDone = 0;
constexpr int kFaults = 1;
constexpr int kBadInput = 2;

// help2man makes the manual page from this text: a "Usage:" line, paragraphs, and sections headed
// by a line that ends in a colon.
const char kUsage[] =
    "Usage: theme-inspect COMMAND [ROOT] [OPTIONS]\n"
    "Reads back what theme-packager wrote in ROOT (default: the current folder): Index.bin and\n"
    "<n>/Theme.bin, or their .gz forms (a plain bin wins when both are there).\n"
    "\n"
    "Commands:\n"
    "  list [--json]                groups, images, slots and every theme's copy, with totals;\n"
    "                               JSON gives each copy's CRC-32 (its image, not the fill)\n"
    "  verify [--max-theme SIZE] [--max-index SIZE]\n"
    "                               checks every rule of the formats: one line per fault; a\n"
    "                               Theme.bin (restored) or Index.bin longer than its SIZE\n"
    "                               (bytes, or with K or M for KiB or MiB) is a fault too\n"
    "  extract --theme N --out DIR  writes every image of theme N as DIR/<group>/<name>.png\n"
    "  preview --out FILE           writes one HTML page with every theme side by side\n"
    "  header --out FILE.h          writes a C header of image IDs for theme_reader firmware\n"
    "  diff OLD NEW [--json]        what changed from build OLD to build NEW: per theme the\n"
    "                               images added, removed, changed (other bytes) and resized,\n"
    "                               with their sizes; slots that moved; file sizes; names or\n"
    "                               order of the index (then the image IDs change). JSON gives\n"
    "                               every figure as a pair [OLD, NEW]\n"
    "\n"
    "Options:\n"
    "  --key COLOR                  extract and preview: pixels of this colour are transparent\n"
    "                               (alpha 0 in the PNG files, holes over a checkerboard in the\n"
    "                               page); COLOR is 0xRRRR, an RGB565 value as the bins hold it,\n"
    "                               or #RRGGBB, cut to RGB565 as the packer cuts colours (quote\n"
    "                               it, or write --key=#RRGGBB: a shell takes # for a comment).\n"
    "                               Without it every pixel is opaque.\n"
    "  -h, --help                   print this help and exit\n"
    "  --version                    print the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0   done (verify: no fault; diff: no difference in names, order or any copy)\n"
    "  1   the build has faults, or an output could not be written (diff: the builds differ)\n"
    "  2   a wrong command line, or the build's files are missing or unreadable (diff: also\n"
    "      a damaged build, or anything else that keeps it from telling)\n";

void report(const std::string& line) {
    std::fflush(stdout);
    // Names in the line (a folder's from the command line, say) may hold any byte.
    std::fprintf(stderr, "theme-inspect: %s\n", escapeUnsafe(line).c_str());
}

// Prints line on standard output, escaped as report's lines are: the paths in it come from the
// command line.
void printLine(const std::string& line) {
    std::printf("%s\n", escapeUnsafe(line).c_str());
}

void reportOutOfMemory() {
    std::fflush(stdout);
    std::fputs("theme-inspect: out of memory\n", stderr);
}

int badCommandLine(const std::string& line) {
    report(line + " (theme-inspect --help for help)");
    return kBadInput;
}

// A line on standard error that shows how far a run has come, once it has taken a second. Only
// a terminal gets it: in a log, each rewrite would be one more line.
struct ProgressLine {
    using Clock = std::chrono::steady_clock;
    bool wanted = isTerminal(stderr);
    Clock::time_point start = Clock::now();
    Clock::time_point last{};
    std::size_t shownWidth = 0;
};

void showProgress(void* context, std::string_view step, std::uint64_t done, std::uint64_t total) {
    auto& line = *static_cast<ProgressLine*>(context);
    const auto now = ProgressLine::Clock::now();
    if (!line.wanted || now - line.start < std::chrono::seconds(1) ||
        (line.shownWidth != 0 && now - line.last < std::chrono::milliseconds(250))) {
        return;
    }
    std::fflush(stdout);
    const std::string text = "theme-inspect: " + escapeUnsafe(step) + " (" + std::to_string(done) +
                             " of " + std::to_string(total) + ")";
    std::fprintf(stderr, "\r%-*s", static_cast<int>(line.shownWidth), text.c_str());
    std::fflush(stderr);
    line.shownWidth = std::max(line.shownWidth, text.size());
    line.last = now;
}

void endProgress(ProgressLine& line) {
    if (line.shownWidth != 0) {
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(line.shownWidth), "");
        line.shownWidth = 0;
    }
}

int scanFailed(ScanFailure failure, const std::string& error) {
    report(error);
    return failure == ScanFailure::kOutOfMemory ? kFaults : kBadInput;
}

// The build must be complete enough for the command; the faults are told as a count.
bool usable(const ScannedBuild& build, int theme) {
    if (build.check.layout.complete && build.themes[theme].read) {
        return true;
    }
    const std::vector<Fault>& faults = build.check.faults;
    report("cannot read the build" +
           (faults.empty() ? std::string() : ": " + faultLine(build, faults.front())) +
           " (theme-inspect verify lists every fault)");
    return false;
}

int faultsTold(const ScannedBuild& build, int status) {
    const std::size_t count = build.check.faults.size();
    if (count == 0) {
        return status;
    }
    report("the build has " + countOf(count, "fault") + " (theme-inspect verify lists them)");
    return kFaults;
}

int runVerify(ScannedBuild& build, const Arguments& args) {
    checkBudgets(build, args.maxTheme, args.maxIndex);
    for (const Fault& fault : build.check.faults) {
        printLine(faultLine(build, fault));
    }
    if (!build.check.faults.empty()) {
        return kFaults;
    }
    printLine(build.index.path + ": no fault in " + indexCounts(build) + ", " +
              countOf(readThemes(build).size(), "theme"));
    return kDone;
}

int runExtract(const ScannedBuild& build, const Arguments& args, const Progress& progress,
               ProgressLine& line) {
    ExtractReport result;
    std::string error;
    const bool extracted =
        extractTheme(build, args.theme, args.out, args.key, progress, result, error);
    endProgress(line);
    if (!extracted) {
        report(error);
        return kFaults;
    }
    for (const std::string& renamed : result.renamed) {
        printLine(renamed);
    }
    for (const std::string& failure : result.failures) {
        report(failure);
    }
    printLine(countOf(result.written, "image") + " of theme " + std::to_string(args.theme) +
              " written to " + args.out);
    return faultsTold(build, result.failures.empty() ? kDone : kFaults);
}

int runPreview(const ScannedBuild& build, const Arguments& args, const Progress& progress,
               ProgressLine& line) {
    // The root as the user named it; the current folder by its full path.
    std::string title = args.root;
    if (!args.haveRoot) {
        getCurrentFolder(title);
    }
    std::vector<std::string> failures;
    std::string error;
    const bool written = writePreview(build, title.empty() ? args.root : title, args.out, args.key,
                                      progress, failures, error);
    endProgress(line);
    if (!written) {
        report(error);
        return kFaults;
    }
    for (const std::string& failure : failures) {
        report(failure);
    }
    printLine(args.out + " written: " + countOf(build.check.layout.images.size(), "image"));
    return faultsTold(build, failures.empty() ? kDone : kFaults);
}

int runHeader(const ScannedBuild& build, const Arguments& args) {
    std::string error;
    if (!writeFirmwareHeader(build, args.out, error)) {
        report(error);
        return kFaults;
    }
    printLine(args.out + " written: " + std::to_string(build.check.layout.images.size()) +
              " image IDs");
    return faultsTold(build, kDone);
}

// Why root, which is not a folder, cannot be read as a build.
std::string notAFolder(const std::string& root) {
    return root + ": " + (pathKind(root) == PathKind::kMissing ? "no such folder" : "not a folder");
}

// Both builds are read before either's trouble is told, so that one run names all of it. A
// damaged build is not compared: what differs in it would be a guess.
int runDiff(const Arguments& args, const Progress& progress, ProgressLine& line) {
    ScannedBuild builds[2];
    std::vector<std::string> trouble;
    for (int b = 0; b < 2; ++b) {
        const std::string& root = b == 0 ? args.root : args.newRoot;
        std::string error;
        if (pathKind(root) != PathKind::kFolder) {
            trouble.push_back(notAFolder(root));
        } else if (scanBuild(root, {}, progress, builds[b], error) != ScanFailure::kNone) {
            trouble.push_back(error);
        } else if (!builds[b].check.faults.empty()) {
            trouble.push_back("cannot compare a damaged build: " +
                              faultLine(builds[b], builds[b].check.faults.front()) +
                              " (theme-inspect verify " + root + " lists every fault)");
        }
    }
    endProgress(line);
    for (const std::string& problem : trouble) {
        report(problem);
    }
    if (!trouble.empty()) {
        return kBadInput;
    }
    const BuildDiff diff = diffBuilds(builds[0], builds[1]);
    const std::string text =
        args.json ? diffJson(builds[0], builds[1], diff) : diffText(builds[0], builds[1], diff);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return diff.differ() ? kFaults : kDone;
}

int run(const Arguments& args) {
    ProgressLine line;
    const Progress progress{showProgress, &line};
    if (args.command == Command::kDiff) {
        return runDiff(args, progress, line);
    }
    if (args.haveRoot && pathKind(args.root) != PathKind::kFolder) {
        report(notAFolder(args.root));
        return kBadInput;
    }
    ScanOptions options;
    options.onlyTheme = args.command == Command::kExtract  ? args.theme
                        : args.command == Command::kHeader ? 0
                                                           : -1;
    options.keepBytes = args.command == Command::kExtract || args.command == Command::kPreview;
    ScannedBuild build;
    std::string error;
    const ScanFailure failure = scanBuild(args.root, options, progress, build, error);
    if (failure != ScanFailure::kNone) {
        endProgress(line);
        return scanFailed(failure, error);
    }
    if (args.command == Command::kVerify) {
        endProgress(line);
        return runVerify(build, args);
    }
    const int theme = args.command == Command::kExtract ? args.theme : 0;
    if (!usable(build, theme)) {
        endProgress(line);
        return kFaults;
    }
    if (args.command == Command::kExtract) {
        return runExtract(build, args, progress, line);
    }
    if (args.command == Command::kPreview) {
        return runPreview(build, args, progress, line);
    }
    if (args.command == Command::kHeader) {
        endProgress(line);
        return runHeader(build, args);
    }
    endProgress(line);
    const std::string listing = args.json ? listJson(build) : listText(build);
    std::fwrite(listing.data(), 1, listing.size(), stdout);
    return faultsTold(build, kDone);
}

} // namespace

int main(int argc, char** argv) {
    // Cut short by a signal or by memory, no output file is left half-written; a write beyond the
    // file-size limit fails with its cause instead of ending the tool.
    failWritesBeyondFileSizeLimit();
    stopCleanlyOnSignals();
    stopCleanlyOnOutOfMemory(reportOutOfMemory, kFaults);
    Arguments args;
    std::string error;
    if (!parseArguments(commandArguments(argc, argv), args, error)) {
        return badCommandLine(error);
    }
    if (args.command == Command::kShowHelp || args.command == Command::kShowVersion) {
        if (args.command == Command::kShowHelp) {
            std::fputs(kUsage, stdout);
        } else {
            std::printf("theme-inspect %s\n", kVersion);
        }
        return kDone;
    }
    // diff's 1 tells a build script that the builds differ: a failure of the machine is a 2.
    const int trouble = args.command == Command::kDiff ? kBadInput : kFaults;
    stopCleanlyOnOutOfMemory(reportOutOfMemory, trouble);
    const int status = run(args);
    if (std::fflush(stdout) != 0) {
        report("cannot write to standard output");
        return trouble;
    }
    return status;
}
