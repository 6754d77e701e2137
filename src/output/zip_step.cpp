// The compression step. The tools run side by side. A tool's exit status alone is not trusted:
// one that says yes without doing the work, or hands it to a process that is still writing,
// must not cost the bins, so a bin is only deleted once its own .gz is there and matches it.
#include "output/zip_step.h"

#include <array>
#include <climits>
#include <cstdio>

#include "common/byte_order.h"
#include "gzip/gzip_format.h"
#include "output/bin_format.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/threads.h"

namespace {

// A gzip file, as far as the step looks at it: kGzipMagic at its start and, in its last 4 bytes,
// ISIZE, the restored length modulo 2^32, little-endian.
constexpr std::uint64_t kIsizeWidth = 4;

// How often waitZipTools looks at the tools: short against the least wait, long enough to cost
// nothing.
constexpr unsigned kPollIntervalMs = 20;

std::vector<ZipJob> zipJobs(const ThemeFlags& themePresent) {
    std::vector<ZipJob> jobs;
    for (int n = 0; n < kThemeSlots; ++n) {
        if (themePresent[n] == 0) {
            continue;
        }
        // The tool takes paths relative to the root folder, its working folder.
        if (n == 0) {
            ZipJob index;
            index.file = kIndexFileName;
            // The index's command line names the tool with the suffix Windows gives programs,
            // as it always has; elsewhere it names the program that really runs.
            index.command = std::string("VOX_ZIP") + kProgramSuffix + " -c -9 " + kIndexFileName;
            jobs.push_back(index);
        }
        ZipJob theme;
        theme.file = themeBinName(n);
        theme.command = "VOX_ZIP -c -9 " + theme.file;
        jobs.push_back(theme);
    }
    return jobs;
}

std::string binPath(const ZipStep& step, const ZipJob& job) {
    return joinPath(step.rootPath, job.file);
}

std::string gzPath(const ZipStep& step, const ZipJob& job) {
    return binPath(step, job) + kGzipSuffix;
}

// The size the .gz must restore to, and a .gz still there out of the way (one that publishing the
// bins could not remove is told here): left there, it could pass for the work of a tool that did
// nothing.
bool prepareJob(const ZipStep& step, ZipJob& job, std::string& problem) {
    std::string cause;
    std::FILE* bin = openRegularFile(binPath(step, job), job.binSize, cause);
    if (bin == nullptr) {
        problem = "cannot read " + binPath(step, job) + ": " + cause + "; it is not compressed";
        return false;
    }
    std::fclose(bin);
    if (!deleteFile(gzPath(step, job), cause)) {
        problem = "cannot remove " + gzPath(step, job) + ", left by an earlier run: " + cause +
                  "; " + job.file + " is kept and not compressed";
        return false;
    }
    return true;
}

// Follows every running tool one step without blocking.
void pollJobs(ZipStep& step) {
    for (ZipJob& job : step.jobs) {
        if (job.state != ZipJobState::kRunning) {
            continue;
        }
        bool ended = false;
        if (!pollProcess(job.process, ended, job.exitStatus, job.waitError)) {
            job.state = ZipJobState::kEnded; // it cannot be followed: its result is unknown
        } else if (ended) {
            job.state = ZipJobState::kEnded;
        }
    }
}

bool anyRunning(const ZipStep& step) {
    for (const ZipJob& job : step.jobs) {
        if (job.state == ZipJobState::kRunning) {
            return true;
        }
    }
    return false;
}

unsigned elapsedMs(const ZipStep& step) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - step.firstStart);
    const long long ms = elapsed.count();
    return ms <= 0 ? 0u : ms >= UINT_MAX ? UINT_MAX : static_cast<unsigned>(ms);
}

// Why gz does not stand for a bin of binSize bytes, or "" when it does. Only a regular file is
// opened: a FIFO or device put there must not block the run.
std::string gzipMismatch(const std::string& gz, std::uint64_t binSize) {
    std::uint64_t size = 0;
    std::string cause;
    std::FILE* file = openRegularFile(gz, size, cause);
    if (file == nullptr) {
        return "VOX_ZIP reported success, but " + gz + " cannot be opened: " + cause;
    }
    std::array<std::uint8_t, kGzipMagic.size()> magic{};
    std::array<std::uint8_t, kIsizeWidth> isize{};
    // fseek takes a long, which is 32-bit signed on some hosts.
    const bool read = size >= kGzipLeastSize && size - kIsizeWidth <= LONG_MAX &&
                      std::fread(magic.data(), 1, magic.size(), file) == magic.size() &&
                      std::fseek(file, static_cast<long>(size - kIsizeWidth), SEEK_SET) == 0 &&
                      std::fread(isize.data(), 1, isize.size(), file) == isize.size();
    std::fclose(file);
    if (size < kGzipLeastSize || (read && magic != kGzipMagic)) {
        return gz + " is not a gzip file";
    }
    if (!read) {
        return "cannot read " + gz;
    }
    const std::uint32_t expected = static_cast<std::uint32_t>(binSize);
    const std::uint32_t restored = loadU32Le(isize.data());
    if (restored != expected) {
        return gz + " restores to " + std::to_string(restored) + " bytes, not the " +
               std::to_string(binSize) + " of the bin file";
    }
    return "";
}

// Why the tool's work for job cannot be trusted, or "" when the bin may go.
std::string jobMismatch(const ZipStep& step, const ZipJob& job) {
    if (!job.waitError.empty()) {
        return "cannot follow \"" + job.command + "\": " + job.waitError;
    }
    if (job.exitStatus != 0) {
        return "\"" + job.command + "\" failed with exit status " + std::to_string(job.exitStatus);
    }
    return gzipMismatch(gzPath(step, job), job.binSize);
}

} // namespace

void startZipTools(const ThemeFlags& themePresent, const std::string& rootPath, ZipStep& step,
                   std::vector<std::string>& problems) {
    step = {};
    step.rootPath = rootPath;
    step.jobs = zipJobs(themePresent);
    for (ZipJob& job : step.jobs) {
        std::string problem;
        if (!prepareJob(step, job, problem)) {
            problems.push_back(problem);
            continue;
        }
        std::string error;
        if (!startProcess(job.command, rootPath, job.process, error)) {
            problems.push_back("cannot run \"" + job.command + "\": " + error);
            continue;
        }
        job.state = ZipJobState::kRunning;
        if (!step.anyStarted) {
            step.anyStarted = true;
            step.firstStart = std::chrono::steady_clock::now();
        }
    }
}

bool waitZipTools(ZipStep& step, unsigned deadlineMs) {
    if (!step.anyStarted) {
        return true;
    }
    for (;;) {
        pollJobs(step);
        const unsigned elapsed = elapsedMs(step);
        const bool running = anyRunning(step);
        if (!running && elapsed >= kZipLeastWaitMs) {
            return true;
        }
        if (elapsed >= deadlineMs) {
            return false;
        }
        // With every tool ended, only the least wait is left: no need to look again before then.
        const unsigned left = (running ? kPollIntervalMs : kZipLeastWaitMs - elapsed);
        sleepMilliseconds(deadlineMs - elapsed < left ? deadlineMs - elapsed : left);
    }
}

std::vector<std::string> runningZipFiles(const ZipStep& step) {
    std::vector<std::string> files;
    for (const ZipJob& job : step.jobs) {
        if (job.state == ZipJobState::kRunning) {
            files.push_back(binPath(step, job));
        }
    }
    return files;
}

int finishZipStep(ZipStep& step, std::vector<std::string>& problems) {
    bool allDone = !step.jobs.empty();
    for (const ZipJob& job : step.jobs) {
        if (job.state != ZipJobState::kEnded) {
            allDone = false; // not started: startZipTools has said why
            continue;
        }
        const std::string mismatch = jobMismatch(step, job);
        if (!mismatch.empty()) {
            problems.push_back(mismatch + "; " + job.file + " is kept");
            allDone = false;
            continue;
        }
        // The compressed copy is there; a bin file that stays behind is worth a word, not a
        // failed step.
        std::string cause;
        if (!deleteFile(binPath(step, job), cause)) {
            problems.push_back("cannot delete " + binPath(step, job) + ": " + cause);
        }
    }
    return allDone ? 1 : 0;
}
