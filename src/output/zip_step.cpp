// The compression step. The tools run side by side; a bin file is only deleted when its own
// tool reported success, so a missing, failing or slow tool never costs the output.
#include "output/zip_step.h"

#include "output/bin_format.h"
#include "platform/platform.h"

namespace {

struct ZipJob {
    std::string file;    // relative to the root folder
    std::string command; // as VOX_ZIP is called for it
    ProcessHandle process;
    bool started = false;
};

std::vector<ZipJob> zipJobs(const ThemeFlags& themePresent) {
    std::vector<ZipJob> jobs;
    for (int n = 0; n < kThemeSlots; ++n) {
        if (themePresent[n] == 0) {
            continue;
        }
        // The tool takes paths relative to the root folder, its working folder.
        if (n == 0) {
            jobs.push_back(
                {kIndexFileName, std::string("VOX_ZIP.exe -c -9 ") + kIndexFileName, {}, false});
        }
        const std::string theme = joinPath(std::to_string(n), kThemeFileName);
        jobs.push_back({theme, "VOX_ZIP -c -9 " + theme, {}, false});
    }
    return jobs;
}

} // namespace

int zipBinFiles(const ThemeFlags& themePresent, const std::string& rootPath,
                std::vector<std::string>& problems) {
    std::vector<ZipJob> jobs = zipJobs(themePresent);
    bool anyStarted = false;
    for (ZipJob& job : jobs) {
        std::string error;
        job.started = startProcess(job.command, rootPath, job.process, error);
        if (job.started) {
            anyStarted = true;
        } else {
            problems.push_back("cannot run \"" + job.command + "\": " + error);
        }
    }
    // The least wait is kept for tools that might hand work on; with nothing started there is
    // nothing to wait for.
    if (anyStarted) {
        sleepMilliseconds(kZipLeastWaitMs);
    }
    bool allDone = !jobs.empty();
    for (ZipJob& job : jobs) {
        if (!job.started) {
            allDone = false;
            continue;
        }
        int status = 0;
        std::string error;
        if (!waitProcess(job.process, status, error)) {
            problems.push_back("cannot wait for \"" + job.command + "\": " + error);
            allDone = false;
            continue;
        }
        if (status != 0) {
            problems.push_back("\"" + job.command + "\" failed with exit status " +
                               std::to_string(status) + "; " + job.file + " is kept");
            allDone = false;
            continue;
        }
        // The compressed copy exists; a bin file that stays behind is worth a word, not a
        // failed step.
        if (!deleteFile(joinPath(rootPath, job.file))) {
            problems.push_back("cannot delete " + joinPath(rootPath, job.file));
        }
    }
    return allDone ? 1 : 0;
}
