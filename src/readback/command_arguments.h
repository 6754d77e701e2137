// The command line of theme-inspect: COMMAND [ROOT] [OPTIONS] (diff: OLD NEW), in any order,
// options as "--name value" or "--name=value", "--" before a ROOT that starts with '-'.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class Command {
    kNone,
    kList,
    kVerify,
    kExtract,
    kPreview,
    kHeader,
    kDiff,
    kShowHelp,
    kShowVersion
};

/// A budget that was not given.
inline constexpr std::uint64_t kNoBudget = UINT64_MAX;

struct Arguments {
    Command command = Command::kNone;
    std::string root;
    bool haveRoot = false;
    /// diff's second build (NEW; root is OLD).
    std::string newRoot;
    bool haveNewRoot = false;
    bool json = false;
    int theme = -1;
    std::string out;
    /// --key: the RGB565 value whose pixels extract and preview show as transparent.
    std::optional<std::uint16_t> key;
    /// verify's budgets in bytes: of each Theme.bin (restored) and of Index.bin.
    std::uint64_t maxTheme = kNoBudget;
    std::uint64_t maxIndex = kNoBudget;
};

/// Reads words (the arguments after the program's name) into args; -h, --help or --version, once
/// reached, ask for the help or the version whatever follows. Returns false with one line in error
/// ("unknown option '--all'")
/// when the words are not a command line the tool takes, or lack what the command needs.
bool parseArguments(const std::vector<std::string>& words, Arguments& args, std::string& error);
