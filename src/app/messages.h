// The console lines of a run. Every line the packager prints on standard output comes from this
// table, word for word.
#pragma once

enum class Message {
    kBannerRule,
    kBannerTitle,
    kNoThemeFolder,
    kNotLoaded,
    kNoImages,
    kCannotWriteBin,
    kZipCreated,
    kZipFailed,
    kBinCreated,
    kCompletion,
};

/// The exact text of a message, line break included where it has one.
const char* messageText(Message message);

/// The exit status a run ends with when this is its last result line, or -1 for lines that do
/// not tell an outcome (banner, completion).
int messageExitStatus(Message message);
