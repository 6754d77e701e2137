// How far a long run of theme-inspect has come, told to whoever shows it: the reading of a build,
// extract and preview report their steps; only the tool's main decides whether and how to show
// them.
#pragma once

#include <cstdint>
#include <string_view>

struct Progress {
    void (*update)(void* context, std::string_view step, std::uint64_t done,
                   std::uint64_t total) = nullptr;
    void* context = nullptr;
};

/// Tells progress that step has done of total units; nothing when no one listens.
inline void reportProgress(const Progress& progress, std::string_view step, std::uint64_t done,
                           std::uint64_t total) {
    if (progress.update != nullptr) {
        progress.update(progress.context, step, done, total);
    }
}
