// Theme folders: the root folder holds up to ten of them, named 0 to 9. Folder 0 is the base
// theme; folders 1 to 9 are variants that replace some of its images.
#pragma once

#include <string>

#include "common/theme_slots.h"

/// The folder of theme n under rootPath.
std::string themeFolderPath(const std::string& rootPath, int n);

/// Sets themePresent[n] = 1 for every folder rootPath/n (n = 0..9) that can be entered, and
/// returns how many there are. Plain files named like a theme do not count.
int discoverThemeFolders(const std::string& rootPath, ThemeFlags& themePresent);

/// Why rootPath/n is no theme folder, to follow its path: "does not exist", "is not a folder" or
/// "cannot be entered: " and the OS cause; "" when it is one after all.
std::string whyNoThemeFolder(const std::string& rootPath, int n);
