// Names for temporary files beside their final names. Internal to the platform layer.
#pragma once

#include <string>

/// Enough tries that names taken by chance never matter; a folder that refuses creation says so
/// at the first try.
inline constexpr int kTempNameAttempts = 16;

/// finalPath + "." + eight random letters and digits + ".tmp". The letters are unpredictable, so
/// that nobody can take the name ahead of us on purpose.
std::string tempFileName(const std::string& finalPath);
