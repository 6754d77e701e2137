// Each command takes its own options; what a command needs and what it cannot take are both
// refused with the option named.
#include "readback/command_arguments.h"

#include <charconv>
#include <cstdint>
#include <string_view>

#include "image/rgb565_rows.h"

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
bool parseSize(std::string_view value, std::uint64_t& size) {
    const int shift = value.ends_with('K') ? 10 : value.ends_with('M') ? 20 : 0;
    const std::string_view digits = value.substr(0, value.size() - (shift == 0 ? 0 : 1));
    const char* end = digits.data() + digits.size();
    const auto [stop, fault] = std::from_chars(digits.data(), end, size);
    if (digits.empty() || stop != end || fault != std::errc{} || size > (UINT64_MAX >> shift)) {
        return false;
    }
    size <<= shift;
    return true;
}

bool parseTheme(const std::string& value, int& theme) {
    if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
        return false;
    }
    theme = value[0] - '0';
    return true;
}

// Exactly count hex digits: no sign, blank or prefix (from_chars takes none for an unsigned).
bool parseHex(std::string_view digits, std::size_t count, std::uint32_t& value) {
    const char* end = digits.data() + digits.size();
    const auto [stop, fault] = std::from_chars(digits.data(), end, value, 16);
    return digits.size() == count && stop == end && fault == std::errc{};
}

// 0xRRRR is an RGB565 value as it stands in the bins; #RRGGBB is cut to RGB565 as the packer cuts
// a BMP's colours.
bool parseKey(const std::string& value, std::uint16_t& key) {
    std::uint32_t colour = 0;
    if ((value.starts_with("0x") || value.starts_with("0X")) &&
        parseHex(std::string_view(value).substr(2), 4, colour)) {
        key = static_cast<std::uint16_t>(colour);
        return true;
    }
    if (value.starts_with("#") && parseHex(std::string_view(value).substr(1), 6, colour)) {
        key = rgb565(colour & 0xFF, (colour >> 8) & 0xFF, colour >> 16);
        return true;
    }
    return false;
}

// One option, with its value from "--name=value" or from the next argument.
bool parseOption(const std::string& arg, const std::vector<std::string>& words, std::size_t& i,
                 Arguments& args, std::string& error) {
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool budget = name == "--max-theme" || name == "--max-index";
    const bool takesValue = name == "--theme" || name == "--out" || name == "--key" || budget;
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
    if (name == "--key") {
        std::uint16_t key = 0;
        if (!parseKey(value, key)) {
            error = "--key takes a colour as 0xRRRR (RGB565) or #RRGGBB, not '" + value + "'";
            return false;
        }
        args.key = key;
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
    } else if (args.key && !extract && !preview) {
        error = "--key is an option of extract and preview only";
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
