// theme-inspect's command line, one row a line: what it asks for, or the one line that refuses it.
#include <gtest/gtest.h>

#include "readback/command_arguments.h"
#include "support/run_program.h"

namespace {

// The arguments in a few words: "extract root=5 theme=3 out=d", or "error: ..." with the refusal.
std::string outcome(const std::string& line) {
    Arguments args;
    std::string error;
    if (!parseArguments(words(line), args, error)) {
        return "error: " + error;
    }
    const char* const commands[] = {"none",   "list", "verify", "extract", "preview",
                                    "header", "diff", "help",   "version"};
    std::string out = commands[static_cast<int>(args.command)];
    out += args.haveRoot ? " root=" + args.root : "";
    out += args.haveNewRoot ? " new=" + args.newRoot : "";
    out += args.maxTheme != kNoBudget ? " max-theme=" + std::to_string(args.maxTheme) : "";
    out += args.maxIndex != kNoBudget ? " max-index=" + std::to_string(args.maxIndex) : "";
    out += args.theme >= 0 ? " theme=" + std::to_string(args.theme) : "";
    out += args.out.empty() ? "" : " out=" + args.out;
    out += args.key ? " key=" + std::to_string(*args.key) : "";
    return out + (args.json ? " json" : "");
}

TEST(InspectArgumentsTest, TakesEachCommandsOptionsAndRefusesTheRestInOneLine) {
    const std::pair<const char*, const char*> rows[] = {
        {"list . --json", "list root=. json"},
        {"extract --theme=3 5 --out d", "extract root=5 theme=3 out=d"},
        {"preview --out=p.html", "preview out=p.html"},
        {"header --out ids.h", "header out=ids.h"},
        // 0xF81F = 63519; #RRGGBB loses the low bits of each channel.
        {"extract --theme 0 --out d --key 0xf81F", "extract theme=0 out=d key=63519"},
        {"preview --out p --key=#FB03FE", "preview out=p key=63519"},
        {"list --key 0xF81F", "error: --key is an option of extract and preview only"},
        {"preview --out p --key 0x+81F",
         "error: --key takes a colour as 0xRRRR (RGB565) or #RRGGBB, not '0x+81F'"},
        {"preview --out p --key #FF00F",
         "error: --key takes a colour as 0xRRRR (RGB565) or #RRGGBB, not '#FF00F'"},
        {"verify -- -odd", "verify root=-odd"},
        {"list --help", "help"},
        {"list --all --version", "error: unknown option '--all'"},
        {"--version list", "version"},
        {"diff a b --json", "diff root=a new=b json"},
        {"verify --max-theme 64K --max-index=3", "verify max-theme=65536 max-index=3"},
        {"verify --max-theme 2M", "verify max-theme=2097152"},
        {"verify --max-theme 2k", "error: --max-theme takes a size in bytes, or with K or M for "
                                  "KiB or MiB (512K, 4M), not '2k'"},
        {"list --max-index 1", "error: --max-theme and --max-index are options of verify only"},
        {"diff a", "error: diff needs two builds: diff OLD NEW"},
        {"diff a b c", "error: diff takes two builds, OLD and NEW, not a third ('c')"},
        {"", "error: no command given: list, verify, extract, preview, header or diff"},
        {"show", "error: unknown command 'show'"},
        {"verify --json", "error: --json is an option of list and diff only"},
        {"list --theme 1", "error: --theme is an option of extract only"},
        {"verify --out x", "error: --out is an option of extract, preview and header only"},
        {"extract --theme 0", "error: extract needs --theme N and --out DIR"},
        {"extract --theme=10 --out x", "error: --theme takes a theme number from 0 to 9, not '10'"},
        {"extract --out= --theme 1", "error: --out needs a value"},
        {"extract --theme", "error: --theme needs a value"},
        {"preview", "error: preview needs --out FILE"},
        {"header", "error: header needs --out FILE.h"},
        {"list a b", "error: more than one ROOT given ('a', 'b')"},
    };
    for (const auto& [line, expected] : rows) {
        EXPECT_EQ(outcome(line), expected) << line;
    }
}

} // namespace
