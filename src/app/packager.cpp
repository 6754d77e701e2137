// The run of theme-packager: one straight pass from the banner to the completion line. Every
// outcome is told by one line of the message table on standard output.
#include "app/packager.h"

#include <cstdio>

#include "image/image_convert.h"
#include "output/bin_writer.h"
#include "output/zip_step.h"
#include "platform/platform.h"

void printMessage(PackagerState& state, Message message) {
    std::fputs(messageText(message), stdout);
    const int status = messageExitStatus(message);
    if (status >= 0) {
        state.exitStatus = status;
    }
}

void printBanner(PackagerState& state) {
    printMessage(state, Message::BannerRule);
    printMessage(state, Message::BannerTitle);
    printMessage(state, Message::BannerRule);
}

void initSettings(PackagerState& state) {
    state.themeCount = 0;
    state.loaded = 0;
    state.compressImages = 1;
    state.zipAfterBuild = 1;
}

void loadThemes(PackagerState& state) {
    // A root folder the OS cannot tell us is treated like one without themes.
    if (getCurrentFolder(state.rootPath)) {
        state.themeCount = discoverThemeFolders(state.rootPath, state.themePresent);
    }
    // Variant lists and the index are derived from the base theme: without folder 0 there is
    // nothing to pack.
    if (state.themeCount == 0 || state.themePresent[0] == 0) {
        if (state.themeCount > 0) {
            std::fprintf(stderr,
                         "theme-packager: %s is missing: variant themes are packed "
                         "together with the base theme in folder 0\n",
                         themeFolderPath(state.rootPath, 0).c_str());
        }
        printMessage(state, Message::NoThemeFolder);
        return;
    }
    // Every list is complete before any image is converted; theme 0's list first, since the
    // variants are derived from it.
    for (int n = 0; n < kThemeSlots; ++n) {
        if (state.themePresent[n] == 0) {
            continue;
        }
        state.fileLists[n] = std::make_unique<ImageFileEntry>();
        if (n == 0) {
            listBaseTheme(*state.fileLists[n], state.rootPath, n, state.sourceProblems);
        } else {
            listVariantTheme(*state.fileLists[n], state.rootPath, n, *state.fileLists[0],
                             state.sourceProblems);
        }
    }
    for (const SourceProblem& problem : state.sourceProblems) {
        std::fprintf(stderr, "theme-packager: %s\n", problem.text.c_str());
    }
    // One converter for the whole run: a file that several themes name is converted once.
    ImageConverter converter;
    for (int n = 0; n < kThemeSlots; ++n) {
        if (state.themePresent[n] == 0) {
            continue;
        }
        state.groupTables[n] = std::make_unique<ImageGroup>();
        ImageFailure failure;
        if (createImageRecords(*state.fileLists[n], *state.groupTables[n], state.compressImages,
                               converter, failure) == 0 &&
            !failure.path.empty()) {
            const std::string cause = failure.cause.empty() ? "" : ": " + failure.cause;
            std::fprintf(stderr,
                         "theme-packager: theme %d: %s %s%s; the rest of theme %d "
                         "is not packed\n",
                         n, failure.path.c_str(), bmpResultText(failure.result), cause.c_str(), n);
        }
        freeFileList(*state.fileLists[n]);
    }
    state.loaded = 1;
}

void buildBinFiles(PackagerState& state) {
    if (state.loaded == 0) {
        printMessage(state, Message::NotLoaded);
        return;
    }
    for (int n = 0; n < kThemeSlots; ++n) {
        if (state.themePresent[n] != 0 && state.groupTables[n]->count == 0) {
            printMessage(state, Message::NoImages);
            return;
        }
    }
    std::string error;
    if (writeBinFiles(state.groupTables, state.themePresent, state.rootPath, state.compressImages,
                      error) == 0) {
        std::fprintf(stderr, "theme-packager: %s\n", error.c_str());
        printMessage(state, Message::CannotWriteBin);
        return;
    }
    if (state.zipAfterBuild == 0) {
        printMessage(state, Message::BinCreated);
        return;
    }
    std::vector<std::string> problems;
    const int zipped = zipBinFiles(state.themePresent, state.rootPath, problems);
    for (const std::string& problem : problems) {
        std::fprintf(stderr, "theme-packager: %s\n", problem.c_str());
    }
    printMessage(state, zipped != 0 ? Message::ZipCreated : Message::ZipFailed);
}

void printCompletion(PackagerState& state) {
    printMessage(state, Message::Completion);
}

int runPackager(int, char**) {
    PackagerState state;
    printBanner(state);
    initSettings(state);
    loadThemes(state);
    buildBinFiles(state);
    printCompletion(state);
    // Lines that never reached the console are an outcome nobody was told about.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        return 1;
    }
    return state.exitStatus;
}
