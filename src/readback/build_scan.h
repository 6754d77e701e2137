// Reading a whole build: Index.bin, then every theme present (theme 0 first), each checked as
// it is read. Only the themes' bytes that are asked for stay in memory, so verifying or listing
// a build holds at most two Theme.bin files at once.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/theme_slots.h"
#include "readback/bin_files.h"
#include "readback/build_check.h"
#include "readback/progress.h"

/// Index.bin is far smaller than the themes: 64 MiB holds over a million image entries.
inline constexpr std::uint64_t kMaxIndexSize = std::uint64_t{64} << 20;

struct ThemeScan {
    bool present = false;
    /// Read and checked; false when it could not be restored (a fault says why) or was not asked.
    bool read = false;
    /// Its bytes stay only when ScanOptions::keepBytes asks for them.
    BinFile file;
    /// The length of its bytes, also when they were not kept.
    std::uint64_t length = 0;
    std::vector<SlotCopy> copies;
    /// Per image: true when the copy's bytes equal theme 0's copy (empty for theme 0 itself).
    std::vector<bool> sameAsBase;
};

struct ScannedBuild {
    BinFile index;
    BuildCheck check;
    PerTheme<ThemeScan> themes;
};

struct ScanOptions {
    /// Read only this theme besides Index.bin; -1 reads every theme and checks them together.
    int onlyTheme = -1;
    /// Keep the bytes of every theme read (Index.bin's always stay).
    bool keepBytes = false;
};

enum class ScanFailure : std::uint8_t {
    kNone,
    kMissing,    // Index.bin, theme 0 or the theme asked for is not there
    kUnreadable, // a file is there but cannot be read
    kOutOfMemory,
};

/// Reads and checks the build under root ("" for the current folder). Returns kNone when every
/// file asked for could be read, valid or not: what is wrong with them is in build.check.faults,
/// in file and offset order. Otherwise returns the failure, with one line naming the file and
/// the cause in error.
ScanFailure scanBuild(const std::string& root, const ScanOptions& options, const Progress& progress,
                      ScannedBuild& build, std::string& error);

/// "FILE: offset N: RULE", or "FILE: RULE" for a fault that has no offset.
std::string faultLine(const ScannedBuild& build, const Fault& fault);

/// The bytes of slot k in a theme whose bytes were kept and whose copy is valid.
std::span<const std::uint8_t> copyBytes(const ScannedBuild& build, int theme, std::size_t k);
