// The run of theme-packager: one straight pass from the banner to the completion line. Every
// outcome is told by one line of the message table on standard output.
#include "app/packager.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>

#include "app/command_line.h"
#include "common/terminal_text.h"
#include "common/version.h"
#include "image/image_convert.h"
#include "image/refused_images.h"
#include "output/bin_format.h"
#include "output/bin_writer.h"
#include "output/name_collisions.h"
#include "output/zip_step.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/os_error.h"
#include "platform/processes.h"
#include "platform/threads.h"

namespace {

// What the console has been told, for a run that memory cuts short.
bool resultPrinted = false;
bool completionPrinted = false;

// Memory that runs out where no result can say so (in a container or a string): the run ends
// as one whose bins cannot be written, with the lines it still owes. Nothing here allocates.
void reportOutOfMemory() {
    std::fflush(stdout);
    std::fputs("theme-packager: out of memory; the run stops\n", stderr);
    if (!resultPrinted) {
        std::fputs(messageText(Message::kCannotWriteBin), stdout);
    }
    if (!completionPrinted) {
        std::fputs(messageText(Message::kCompletion), stdout);
    }
    std::fflush(stdout);
}

} // namespace

void printMessage(PackagerState& state, Message message) {
    std::fputs(messageText(message), stdout);
    const int status = messageExitStatus(message);
    if (status >= 0) {
        state.exitStatus = status;
        resultPrinted = true;
    }
    completionPrinted = completionPrinted || message == Message::kCompletion;
}

void printDiagnostic(const std::string& line) {
    // Standard output is buffered and standard error is not: flushing first keeps the lines in
    // the order they happened when both go to one log. The names in the line may hold any byte:
    // none may act on the terminal.
    std::fflush(stdout);
    std::fprintf(stderr, "theme-packager: %s\n", escapeUnsafe(line).c_str());
}

void printBanner(PackagerState& state) {
    printMessage(state, Message::kBannerRule);
    printMessage(state, Message::kBannerTitle);
    printMessage(state, Message::kBannerRule);
}

void initSettings(PackagerState& state) {
    state.themeCount = 0;
    state.loaded = 0;
    state.compressImages = 1;
    state.zipAfterBuild = 1;
}

namespace {

// The path every path of the run is made from: the root folder's, or "." (paths relative to the
// current folder) where the OS's calls would not take the bins' paths made from it. Its own path
// is never needed.
std::string usableRoot(const std::string& path) {
    const std::string longestBin = themeBinName(kThemeSlots - 1) + ".01234567.tmp";
    return fitsEveryCall(joinPath(path, longestBin)) ? path : ".";
}

bool machineFellShort(const std::vector<SourceProblem>& problems) {
    return std::any_of(problems.begin(), problems.end(), [](const SourceProblem& problem) {
        return problem.kind == SourceProblemKind::kMachineShortage;
    });
}

// A theme's stop line and the refused images after it name this many images at most.
constexpr std::size_t kRefusalsNamed = 20;

// Tells which of the images after the one theme n stopped at would be refused too: a user who
// converted a thousand files learns of every refused one in one run.
void tellOtherRefusals(const PackagerState& state, int n, const ImageFailure& stop) {
    const ImageFileEntry* entry = state.fileLists[n]->next.get();
    for (std::int32_t i = 0; i <= stop.position && entry != nullptr; ++i) {
        entry = entry->next.get();
    }
    const RefusedImages refused = findRefusedImages(entry, themeFolderPath(state.rootPath, n),
                                                    state.compressImages, kRefusalsNamed - 1);
    const std::string theme = "theme " + std::to_string(n) + ": ";
    for (const ImageFailure& image : refused.named) {
        printDiagnostic(theme + image.path + " would be refused too: it " +
                        imageResultText(image.result) +
                        (image.cause.empty() ? "" : ": " + image.cause));
    }
    if (refused.more > 0) {
        printDiagnostic(theme + std::to_string(refused.more) + " more image" +
                        (refused.more == 1 ? "" : "s") + " would be refused too");
    }
    const ImageFailure& end = refused.stoppedAt;
    if (!end.path.empty()) {
        printDiagnostic(theme + "the look for other refused images stopped at " + end.path +
                        ", which " + imageResultText(end.result) +
                        (end.cause.empty() ? "" : ": " + end.cause));
    }
}

// How many paths a line about lost transparency names before it counts the rest.
constexpr std::size_t kPathsNamed = 3;

// The images of theme n whose transparency the bins lose, in one line; each file is told once in
// a run, so that a variant's line names only files of its own.
void printLostTransparency(const ImageGroup& table, int n, std::set<std::string>& told) {
    std::vector<std::string> paths;
    for (const ImageGroup* group = table.next.get(); group != nullptr; group = group->next.get()) {
        for (const ImageRecord* r = group->images.get(); r != nullptr; r = r->next.get()) {
            if (r->transparencyLost && told.insert(r->path).second) {
                paths.push_back(r->path);
            }
        }
    }
    if (paths.empty()) {
        return;
    }
    printDiagnostic("theme " + std::to_string(n) + ": transparent pixels in " +
                    std::to_string(paths.size()) + (paths.size() == 1 ? " image" : " images") +
                    " are packed opaque, in the colours their files store for them (the bins keep "
                    "RGB565 only): " +
                    firstFewOf(paths, kPathsNamed) +
                    "; \"Transparent images\" in the README tells how to keep them with a colour "
                    "key");
}

} // namespace

void loadThemes(PackagerState& state) {
    // Read first, so that a setting that is ignored is said before anything else.
    state.threads = conversionThreads();
    // A root folder the OS cannot tell us is treated like one without themes.
    if (!getCurrentFolder(state.rootPath)) {
        printDiagnostic(
            "the OS cannot tell the current folder (was it removed?); nothing is packed");
        printMessage(state, Message::kNoThemeFolder);
        return;
    }
    state.rootPath = usableRoot(state.rootPath);
    state.themeCount = discoverThemeFolders(state.rootPath, state.themePresent);
    // Variant lists and the index are derived from the base theme: without folder 0 there is
    // nothing to pack.
    if (state.themePresent[0] == 0) {
        printDiagnostic(themeFolderPath(state.rootPath, 0) + " " +
                        whyNoThemeFolder(state.rootPath, 0) +
                        (state.themeCount > 0
                             ? "; variant themes are packed together with the base theme in "
                               "folder 0"
                             : "; run theme-packager in the folder that holds the theme folders 0 "
                               "to 9 (theme-packager --help tells more)"));
        printMessage(state, Message::kNoThemeFolder);
        return;
    }
    // One converter for the whole run: a file that several themes name is converted once, by
    // whichever thread gets to it first; the themes are filed here, in order. Theme 0's list
    // comes first, since the variants are derived from it; its files are converted while the
    // variants are listed. Every list is complete before any image is filed.
    ImageConverter converter;
    converter.compress = state.compressImages;
    for (int n = 0; n < kThemeSlots; ++n) {
        if (state.themePresent[n] == 0) {
            continue;
        }
        state.fileLists[n] = std::make_unique<ImageFileEntry>();
        if (n == 0) {
            state.baseListed =
                listBaseTheme(*state.fileLists[n], state.rootPath, n, state.sourceProblems) != 0;
        } else {
            listVariantTheme(*state.fileLists[n], state.rootPath, n, *state.fileLists[0],
                             state.sourceProblems);
        }
        // A list cut short by the machine says nothing of the images: nothing is converted.
        state.machineShortage = machineFellShort(state.sourceProblems);
        if (state.machineShortage) {
            break;
        }
        planConversions(converter, state.fileLists, n);
        if (n == 0) {
            startConversionWorkers(converter, state.threads);
        }
    }
    tellVariantOnlyImages(state.rootPath, state.fileLists, state.sourceProblems);
    finishPlanning(converter);
    for (const SourceProblem& problem : state.sourceProblems) {
        printDiagnostic(problem.text);
        if (problem.kind == SourceProblemKind::kFolderNotListed) {
            state.incomplete = true;
        }
    }
    std::set<std::string> transparencyTold;
    for (int n = 0; n < kThemeSlots && !state.machineShortage; ++n) {
        if (state.themePresent[n] == 0) {
            continue;
        }
        state.groupTables[n] = std::make_unique<ImageGroup>();
        ImageFailure failure;
        const int filed = createImageRecords(*state.fileLists[n], *state.groupTables[n],
                                             state.compressImages, converter, failure);
        if (!failure.machineShortage) { // else nothing is packed
            printLostTransparency(*state.groupTables[n], n, transparencyTold);
        }
        if (filed == 0 && !failure.path.empty()) {
            const std::string theme = "theme " + std::to_string(n);
            const std::string cause = failure.cause.empty() ? "" : ": " + failure.cause;
            // A machine that falls short says nothing of the image: packing the images before it
            // would replace a complete build by a shorter one.
            state.machineShortage = failure.machineShortage;
            printDiagnostic(theme + ": " + failure.path + " " + imageResultText(failure.result) +
                            cause +
                            (state.machineShortage ? "; the run stops and writes nothing"
                                                   : "; the rest of " + theme + " is not packed"));
            state.stoppedAt[n] = failure.path;
            state.incomplete = true;
            if (!state.machineShortage) {
                tellOtherRefusals(state, n, failure);
            }
        }
        freeFileList(*state.fileLists[n]);
    }
    stopConversionWorkers(converter);
    state.loaded = 1;
}

unsigned conversionThreads() {
    constexpr unsigned kMostThreads = 8; // the disk is the limit well before that
    const char* forced = std::getenv("TP_THREADS");
    if (forced != nullptr && *forced != '\0') {
        // Digits only: strtoul alone would take "-1" for the largest number.
        const bool digits =
            std::string_view(forced).find_first_not_of("0123456789") == std::string_view::npos;
        const unsigned long threads = digits ? std::strtoul(forced, nullptr, 10) : 0;
        if (threads >= 1) {
            return threads < kMostThreads ? static_cast<unsigned>(threads) : kMostThreads;
        }
        // A setting that does not do what was asked is said, not passed over.
        printDiagnostic("TP_THREADS=" + std::string(forced) +
                        " is not a number of threads of at least 1; it is ignored");
    }
    const unsigned processors = processorCount();
    return processors < kMostThreads ? processors : kMostThreads;
}

namespace {

// Groups and the index keep shortened names: folders whose names are cut alike share a group,
// and a device looking a name up finds only the first of those that are stored alike.
void printNameCollisions(const ImageGroup& baseTable) {
    for (const NameCollision& c : findStoredNameCollisions(baseTable)) {
        switch (c.kind) {
        case NameCollisionKind::kFolders:
            printDiagnostic("warning: the folders " + c.firstPath + " and " + c.laterPath +
                            " make one group, \"" + c.stored + "\": a group keeps the first " +
                            std::to_string(kGroupNameSize - 1) + " bytes of a folder's name");
            break;
        case NameCollisionKind::kGroup:
            printDiagnostic("warning: the groups of " + c.firstPath + " and " + c.laterPath +
                            " are both stored as \"" + c.stored + "\" in Index.bin");
            break;
        case NameCollisionKind::kImage:
            printDiagnostic("warning: " + c.firstPath + " and " + c.laterPath +
                            " are both stored as \"" + c.stored + "\" in Index.bin");
            break;
        }
    }
}

void printProblems(std::vector<std::string>& problems) {
    for (const std::string& problem : problems) {
        printDiagnostic(problem);
    }
    problems.clear();
}

// The compression step, driven from here so that each problem is told as soon as it is known,
// and once which tools keep the run waiting.
int zipBinFiles(const ThemeFlags& themePresent, const std::string& rootPath) {
    ZipStep step;
    std::vector<std::string> problems;
    startZipTools(themePresent, rootPath, step, problems);
    printProblems(problems);
    if (!waitZipTools(step, kZipNoticeAfterMs)) {
        std::string files;
        for (const std::string& file : runningZipFiles(step)) {
            files += (files.empty() ? "" : ", ") + file;
        }
        printDiagnostic("still waiting for VOX_ZIP to finish " + files);
        waitZipTools(step, kZipNoDeadline);
    }
    const int zipped = finishZipStep(step, problems);
    printProblems(problems);
    return zipped;
}

} // namespace

namespace {

std::uint64_t imageCount(const ImageGroup& table) {
    std::uint64_t count = 0;
    for (const ImageGroup* group = table.next.get(); group != nullptr; group = group->next.get()) {
        count += group->count;
    }
    return count;
}

// Why theme n has no image, once the lines of the load phase have told what went wrong.
std::string whyNoImages(const PackagerState& state, int n) {
    const std::string base = themeFolderPath(state.rootPath, 0);
    if (!state.stoppedAt[n].empty()) {
        return "it stopped at its first image, " + state.stoppedAt[n];
    }
    if (!state.baseListed) {
        return base + " could not be scanned";
    }
    return "no file in " + base + " or its folders has a name that ends in \"bmp\" (in lower case)";
}

// Every theme fills every slot of the index: a variant that stopped before theme 0 did lacks
// images for the slots after it, and no bin can be written. Tells it and returns false then.
bool variantsFillTheSlots(const PackagerState& state) {
    const std::uint64_t baseImages = imageCount(*state.groupTables[0]);
    for (int n = 1; n < kThemeSlots; ++n) {
        if (state.themePresent[n] != 0 && !state.stoppedAt[n].empty() &&
            imageCount(*state.groupTables[n]) < baseImages) {
            printDiagnostic("theme " + std::to_string(n) + " stopped at " + state.stoppedAt[n] +
                            ", so it lacks images that theme 0 has: every theme must fill every "
                            "slot, and no bin file is written (those of an earlier run stay)");
            return false;
        }
    }
    return true;
}

} // namespace

void buildBinFiles(PackagerState& state) {
    if (state.loaded == 0) {
        printMessage(state, Message::kNotLoaded);
        return;
    }
    if (state.machineShortage) {
        printMessage(state, Message::kCannotWriteBin);
        return;
    }
    for (int n = 0; n < kThemeSlots; ++n) {
        if (state.themePresent[n] != 0 && state.groupTables[n]->count == 0) {
            printDiagnostic("theme " + std::to_string(n) +
                            " has no image to pack: " + whyNoImages(state, n));
            printMessage(state, Message::kNoImages);
            return;
        }
    }
    if (!variantsFillTheSlots(state)) {
        printMessage(state, Message::kCannotWriteBin);
        return;
    }
    printNameCollisions(*state.groupTables[0]);
    std::string error;
    if (writeBinFiles(state.groupTables, state.themePresent, state.rootPath, state.compressImages,
                      error, state.threads) == 0) {
        printDiagnostic(error);
        printMessage(state, Message::kCannotWriteBin);
        return;
    }
    if (state.zipAfterBuild == 0) {
        printMessage(state, Message::kBinCreated);
        return;
    }
    const int zipped = zipBinFiles(state.themePresent, state.rootPath);
    printMessage(state, zipped != 0 ? Message::kZipCreated : Message::kZipFailed);
}

void printCompletion(PackagerState& state) {
    printMessage(state, Message::kCompletion);
}

int runPackager(int argc, char** argv) {
    // A bin cut short by a file-size limit is cleaned up like any other failed write, and a console
    // that nobody reads any more ends the run on its coded path; the compressors are followed to
    // their end whatever the parent set; a run cut short by a signal or by memory leaves no
    // temporary file and no compressor behind.
    failWritesBeyondFileSizeLimit();
    failWritesToClosedPipes();
    keepChildrenForWaiting();
    stopCleanlyOnSignals();
    stopCleanlyOnOutOfMemory(reportOutOfMemory, 1);
    // Packing the current folder is what a run does; a user asking how to use the tool must not
    // overwrite the build of the folder they are in.
    switch (readRunRequest(commandArguments(argc, argv))) {
    case RunRequest::kHelp:
        std::fputs(usageText(), stdout);
        return flushConsole(stdout) ? 0 : 1;
    case RunRequest::kVersion:
        std::printf("theme-packager %s\n", kVersion);
        return flushConsole(stdout) ? 0 : 1;
    case RunRequest::kPackIgnoringArguments:
        printDiagnostic("takes no arguments; those given are ignored and the current folder is "
                        "packed (theme-packager --help alone tells how to use it)");
        break;
    case RunRequest::kPack:
        break;
    }
    PackagerState state;
    printBanner(state);
    initSettings(state);
    loadThemes(state);
    buildBinFiles(state);
    printCompletion(state);
    return runExitStatus(state.exitStatus, state.incomplete, flushConsole(stdout));
}

bool flushConsole(std::FILE* out) {
    errno = 0;
    if (std::fflush(out) == 0 && std::ferror(out) == 0) {
        return true;
    }
    // Standard error is where a script's log may still reach: say why the lines are missing.
    const int cause = errno;
    std::fprintf(stderr, "theme-packager: cannot write to standard output%s%s\n",
                 cause != 0 ? ": " : "", cause != 0 ? osErrorText(cause).c_str() : "");
    return false;
}

int runExitStatus(int resultStatus, bool incomplete, bool consoleWritten) {
    // Lines that never reached the console are an outcome nobody was told about.
    if (!consoleWritten) {
        return 1;
    }
    // Bins that lack images are no full success, whatever the compression step made of them.
    const bool binsWritten = resultStatus == 0 || resultStatus == 2;
    return binsWritten && incomplete ? kExitIncomplete : resultStatus;
}
