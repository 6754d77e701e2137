// The compression step: hands every written bin file to VOX_ZIP and removes the uncompressed
// file once its compressed copy is there and checks out. The step runs in three calls so that
// the caller can tell the user, between them, what it is still waiting for.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "common/theme_slots.h"
#include "platform/processes.h"

/// The least time the tools are given before the packager looks at their results, counted from
/// the first start: a tool may hand its work to a process of its own and exit at once.
inline constexpr unsigned kZipLeastWaitMs = 5000;
/// How long after the first start the caller waits before it tells which tools still run.
inline constexpr unsigned kZipNoticeAfterMs = 10000;
/// A deadline for waitZipTools that is never reached.
inline constexpr unsigned kZipNoDeadline = ~0u;

enum class ZipJobState : std::uint8_t {
    kNotStarted, // the tool could not be started; problem says why
    kRunning,
    kEnded,
};

/// One bin file and its tool.
struct ZipJob {
    std::string file;    // relative to the root folder, as the tool is given it
    std::string command; // as VOX_ZIP is called for it
    std::uint64_t binSize = 0;
    ProcessHandle process;
    ZipJobState state = ZipJobState::kNotStarted;
    int exitStatus = -1;
    std::string waitError; // set when the tool could not be followed to its end
};

struct ZipStep {
    std::string rootPath;
    std::vector<ZipJob> jobs;
    std::chrono::steady_clock::time_point firstStart;
    bool anyStarted = false;
};

/// Starts "VOX_ZIP.exe -c -9 Index.bin" ("VOX_ZIP -c -9 Index.bin" where programs have no suffix)
/// and then "VOX_ZIP -c -9 <n>/Theme.bin" for every present theme in increasing order, all with
/// rootPath as their working folder. Before a file's tool starts, its size is taken and a <file>.gz
/// still there (writeBinFiles removed those it could) is removed. A file whose .gz cannot be
/// removed, whose size cannot be taken or whose tool cannot be started gets no tool and keeps its
/// bin; one line per such file goes to problems.
void startZipTools(const ThemeFlags& themePresent, const std::string& rootPath, ZipStep& step,
                   std::vector<std::string>& problems);

/// Waits until every started tool has ended and kZipLeastWaitMs have passed since the first
/// start, but no longer than until deadlineMs after the first start. Returns true when there is
/// nothing left to wait for (also when no tool started), false at the deadline. A tool that cannot
/// be followed counts as ended; finishZipStep says so.
bool waitZipTools(ZipStep& step, unsigned deadlineMs);

/// The full paths of the files whose tools are still running.
std::vector<std::string> runningZipFiles(const ZipStep& step);

/// After waitZipTools returned true: deletes, in order, each bin file whose tool exited with
/// status 0 and whose <file>.gz is a regular file that starts with the gzip magic and whose
/// ISIZE equals the bin's size modulo 2^32. Every other bin is kept, with one line in problems
/// naming it and the reason; so is a bin that cannot be deleted. Returns 1 when every bin has its
/// checked .gz, 0 otherwise.
int finishZipStep(ZipStep& step, std::vector<std::string>& problems);
