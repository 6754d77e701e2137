// Each command takes its own options; what a command needs and what it cannot take are both
// refused with the option named.
#include "readback/command_arguments.h"

#include <cstdlib>

namespace {

Command commandNamed(const std::string& name) {
    if (name == "list") {
        return Command::kList;
    }
    if (name == "verify") {
        return Command::kVerify;
    }
    if (name == "extract") {
        return Command::kExtract;
    }
    if (name == "header") {
        return Command::kHeader;
    }
    if (name == "diff") {
        return Command::kDiff;
    }
    return name == "preview" ? Command::kPreview : Command::kNone;
}

// Bytes, KiB with K or MiB with M: "65536", "64K", "4M".
bool parseSize(const std::string& value, std::uint64_t& size) {
    const std::size_t digits = value.find_first_not_of("0123456789");
    const std::string unit = digits == std::string::npos ? "" : value.substr(digits);
    const int shift = unit.empty() ? 0 : unit == "K" ? 10 : unit == "M" ? 20 : -1;
    // Up to 12 digits: a terabyte of MiB stays far inside 64 bits.
    if (digits == 0 || shift < 0 || value.size() - unit.size() > 12) {
        return false;
    }
    size = std::strtoull(value.c_str(), nullptr, 10) << shift;
    return true;
}

bool parseTheme(const std::string& value, int& theme) {
    if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
        return false;
    }
    theme = value[0] - '0';
    return true;
}

// One option, with its value from "--name=value" or from the next argument.
bool parseOption(const std::string& arg, const std::vector<std::string>& words, std::size_t& i,
                 Arguments& args, std::string& error) {
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool budget = name == "--max-theme" || name == "--max-index";
    const bool takesValue = name == "--theme" || name == "--out" || budget;
    if (name == "--json" && equals == std::string::npos) {
        args.json = true;
        return true;
    }
    if (!takesValue) {
        error = "unknown option '" + arg + "'";
        return false;
    }
    std::string value;
    if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
    } else if (i + 1 < words.size()) {
        value = words[++i];
    } else {
        error = name + " needs a value";
        return false;
    }
    if (name == "--out") {
        args.out = value;
        return !value.empty() || (error = "--out needs a value", false);
    }
    if (budget && !parseSize(value, name == "--max-theme" ? args.maxTheme : args.maxIndex)) {
        error = name + " takes a size in bytes, or with K or M for KiB or MiB (512K, 4M), not '" +
                value + "'";
        return false;
    }
    if (budget) {
        return true;
    }
    if (!parseTheme(value, args.theme)) {
        error = "--theme takes a theme number from 0 to 9, not '" + value + "'";
        return false;
    }
    return true;
}

bool parseWord(const std::string& arg, Arguments& args, std::string& error) {
    if (args.command == Command::kNone) {
        args.command = commandNamed(arg);
        if (args.command == Command::kNone) {
            error = "unknown command '" + arg + "'";
        }
        return args.command != Command::kNone;
    }
    if (args.haveRoot && args.command == Command::kDiff && !args.haveNewRoot) {
        args.newRoot = arg;
        args.haveNewRoot = true;
        return true;
    }
    if (args.haveRoot) {
        error = args.command == Command::kDiff
                    ? "diff takes two builds, OLD and NEW, not a third ('" + arg + "')"
                    : "more than one ROOT given ('" + args.root + "', '" + arg + "')";
        return false;
    }
    args.root = arg;
    args.haveRoot = true;
    return true;
}

// The options each command takes, and those it needs.
bool checkOptions(const Arguments& args, std::string& error) {
    const bool extract = args.command == Command::kExtract;
    const bool preview = args.command == Command::kPreview;
    const bool header = args.command == Command::kHeader;
    const bool budgets = args.maxTheme != kNoBudget || args.maxIndex != kNoBudget;
    if (args.command == Command::kNone) {
        error = "no command given: list, verify, extract, preview, header or diff";
    } else if (args.json && args.command != Command::kList && args.command != Command::kDiff) {
        error = "--json is an option of list and diff only";
    } else if (budgets && args.command != Command::kVerify) {
        error = "--max-theme and --max-index are options of verify only";
    } else if (args.command == Command::kDiff && !args.haveNewRoot) {
        error = "diff needs two builds: diff OLD NEW";
    } else if (args.theme >= 0 && !extract) {
        error = "--theme is an option of extract only";
    } else if (!args.out.empty() && !extract && !preview && !header) {
        error = "--out is an option of extract, preview and header only";
    } else if (extract && (args.theme < 0 || args.out.empty())) {
        error = "extract needs --theme N and --out DIR";
    } else if (preview && args.out.empty()) {
        error = "preview needs --out FILE";
    } else if (header && args.out.empty()) {
        error = "header needs --out FILE.h";
    }
    return error.empty();
}

} // namespace

// "--" ends the options, so that a ROOT whose name starts with '-' can be given.
bool parseArguments(const std::vector<std::string>& words, Arguments& args, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& arg = words[i];
        if (!optionsEnded && (arg == "-h" || arg == "--help" || arg == "--version")) {
            args.command = arg == "--version" ? Command::kShowVersion : Command::kShowHelp;
            return true;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (!parseOption(arg, words, i, args, error)) {
                return false;
            }
        } else if (!parseWord(arg, args, error)) {
            return false;
        }
    }
    return checkOptions(args, error);
}
