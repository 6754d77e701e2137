// What the command line may ask of theme-packager. The tool packs the current folder and takes no
// arguments; only a request for its usage or its version, given alone, is answered instead.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RunRequest : std::uint8_t {
    kPack,
    kPackIgnoringArguments, // arguments were given: the run says that it ignores them
    kHelp,
    kVersion,
};

/// The request of the arguments after the program name: "--help" or "-h" (and "/?" on Windows)
/// as the only argument asks for the usage, "--version" alone for the version; no argument packs;
/// anything else packs too, its arguments ignored.
RunRequest readRunRequest(const std::vector<std::string>& arguments);

/// What `theme-packager --help` prints: what the tool does, the folder layout it expects, where
/// the outputs go, its environment and exit statuses.
const char* usageText();
