// The run of theme-packager: banner, settings, load phase, build phase, completion line.
#pragma once

#include <cstdio>
#include <string>

#include "app/messages.h"
#include "app/packager_state.h"

/// The exit status of a run whose bins were written without some images of a theme.
inline constexpr int kExitIncomplete = 3;

/// Runs the packager in the current folder, or prints the usage or the version when the arguments
/// ask for them alone (readRunRequest); other arguments are ignored, with a line on standard
/// error. Returns the process exit status: 0 after the usage or the version; after a run, 0 when
/// everything was packed and compressed, 2 when the bins were written but the compression failed,
/// 3 when the bins were written but a theme stopped at an image that failed or a folder could not
/// be listed (whatever the compression did), 1 after any error.
int runPackager(int argc, char** argv);

void printBanner(PackagerState& state);
void initSettings(PackagerState& state);
/// Finds the theme folders, lists every present theme's files and converts them into group
/// tables. Sets `loaded` when it runs to its end.
void loadThemes(PackagerState& state);
/// How many threads convert the images and write the bins: TP_THREADS when it is a number of at
/// least 1 (1 keeps the whole run on one thread), else the machine's processors, at most 8 either
/// way. Any other non-empty TP_THREADS is ignored with a line on standard error.
unsigned conversionThreads();
/// Writes the bin files from the group tables and compresses them.
void buildBinFiles(PackagerState& state);
void printCompletion(PackagerState& state);

/// Prints a line of the message table and remembers the outcome it tells.
void printMessage(PackagerState& state, Message message);

/// Prints "theme-packager: line" on standard error, after what is pending on standard output.
void printDiagnostic(const std::string& line);

/// Flushes out and returns true when every line written to it got through; else says so (and
/// why) on standard error.
bool flushConsole(std::FILE* out);

/// The exit status of a run whose last result line ends with resultStatus (messageExitStatus):
/// kExitIncomplete instead of 0 or 2 when the bins lack images, and 1 when the console lines did
/// not all get through, whatever else happened.
int runExitStatus(int resultStatus, bool incomplete, bool consoleWritten);
