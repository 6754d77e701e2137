// An output file that appears under its name only once it is complete: it is written under a
// fresh temporary name in the same folder and renamed into place at the end, so a failure or
// an interrupted run never leaves a partial file under the final name, nor spoils an older
// file of that name.
#pragma once

#include <cstdio>
#include <string>

struct PendingOutput {
    std::FILE* file = nullptr; // open for binary writing while pending
    std::string tempPath;
    std::string finalPath;
    /// Set before beginOutput: only the owner may read the temporary file until the caller gives
    /// it other permissions (copyPermissions).
    bool ownerOnly = false;
    /// Set before commitOutput: its bytes and its name are on disk when commitOutput returns,
    /// so that a file it stands for may be deleted then.
    bool durable = false;
};

/// Creates a new temporary file beside finalPath (createTempFile). Returns false with the cause
/// in cause (e.g. "cannot write: Permission denied") when no file can be created there.
bool beginOutput(const std::string& finalPath, PendingOutput& output, std::string& cause);

/// Closes the temporary file and renames it to the final name, replacing a file of that name.
/// Returns false with the cause in cause when a write, the sync or the rename fails; the
/// temporary file is then removed.
bool commitOutput(PendingOutput& output, std::string& cause);

/// Closes and removes the temporary file.
void abandonOutput(PendingOutput& output);
