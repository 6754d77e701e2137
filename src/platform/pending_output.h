// Files that appear under their names only once they are complete: each is written under a fresh
// temporary name in the same folder (createTempFile) and renamed into place at the end, so a
// failure or an interrupted run never leaves a partial file under a final name, nor spoils an
// older file of that name. One file or several: the packager publishes its bins together, after
// every one of them is complete. Every failure gives the OS cause in error.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>

#include "platform/folders.h"

struct PendingOutput {
    std::FILE* file = nullptr; // open for binary writing until closed
    std::string tempPath;      // set while the temporary file exists
    std::string finalPath;
    /// Set before beginOutput: finalPath and tempPath are names in this open folder, and the file
    /// is made, renamed and removed through it.
    const FolderHandle* folder = nullptr;
    /// Set before beginOutput: only the owner may read the temporary file until the caller gives
    /// it other permissions (copyPermissions).
    bool ownerOnly = false;
    /// Set before closing: its bytes and its name are on disk when publishing returns, so that a
    /// file it stands for may be deleted then.
    bool durable = false;
};

/// Creates a new temporary file beside finalPath. Returns false with the cause in error when no
/// file can be created there.
bool beginOutput(const std::string& finalPath, PendingOutput& output, std::string& error);

/// Writes size bytes to the temporary file. Returns false with the OS cause in error.
bool writeOutput(PendingOutput& output, const void* bytes, std::size_t size, std::string& error);

/// Closes the temporary file, synced first when durable; it is closed also when this fails.
/// Returns false with the OS cause in error.
bool closeOutput(PendingOutput& output, std::string& error);

/// Renames the closed temporary files of outputs over their final names, in order, replacing a
/// file or link of that name. Stops at the first rename the OS refuses, with its cause in error:
/// the published outputs before it hold their new bytes under their final names (and no
/// temporary name), the others are still pending. Returns how many were published.
std::size_t publishOutputs(std::span<PendingOutput* const> outputs, std::string& error);

/// Closes the temporary file and renames it over the final name. Returns false with the cause in
/// error when the close, the sync or the rename fails; the temporary file is then removed.
bool commitOutput(PendingOutput& output, std::string& error);

/// Closes and removes the temporary file, if there is one. Returns false, with the cause in error
/// when given, when it cannot be removed.
bool abandonOutput(PendingOutput& output, std::string* error = nullptr);

/// Writes the size bytes as the whole file at path (in: a name in that open folder), which appears
/// only once complete. Returns false with the cause in error; nothing is left of the file then.
bool writeWholeFile(const std::string& path, const void* bytes, std::size_t size,
                    std::string& error, const FolderHandle* in = nullptr);
