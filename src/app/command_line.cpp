// The command line of theme-packager, and the usage it prints. The usage is also the source of
// the tool's manual page (help2man reads it), so it keeps help2man's layout: a "Usage:" line,
// paragraphs, and sections headed by a line that ends in a colon.
#include "app/command_line.h"

namespace {

bool asksForHelp(const std::string& argument) {
#ifdef _WIN32
    // Windows' own console tools take /? for their help.
    if (argument == "/?") {
        return true;
    }
#endif
    return argument == "--help" || argument == "-h";
}

} // namespace

RunRequest readRunRequest(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        return RunRequest::kPack;
    }
    if (arguments.size() == 1 && asksForHelp(arguments[0])) {
        return RunRequest::kHelp;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        return RunRequest::kVersion;
    }
    return RunRequest::kPackIgnoringArguments;
}

const char* usageText() {
    return "Usage: theme-packager\n"
           "Packs the BMP images of a UI theme, and of up to nine variants of it, into\n"
           "Index.bin and <n>/Theme.bin (RGB565 pixels, run-length encoded), then compresses\n"
           "them with VOX_ZIP. Run it without arguments in the root folder of a theme tree:\n"
           "\n"
           "  0/          the base theme: any tree of folders with files whose names end in\n"
           "              \"bmp\"; an image's group is the name of the folder that holds it\n"
           "  1/ .. 9/    variants: a file at the same path as a base image replaces it in\n"
           "              that theme; the base image is used where a variant has none, and\n"
           "              files at no base image's path are named on standard error\n"
           "\n"
           "Index.bin goes to the root folder, Theme.bin to every theme folder; they replace\n"
           "those of an earlier run only when all of them are complete. VOX_ZIP (looked for\n"
           "beside theme-packager, then on PATH) then makes Index.bin.gz and <n>/Theme.bin.gz,\n"
           "and each bin is deleted once its .gz checks out. theme-inspect reads a build back.\n"
           "\n"
           "Options:\n"
#ifdef _WIN32
           "  -h, --help, /?  print this help and exit (only as the sole argument)\n"
#else
           "  -h, --help      print this help and exit (only as the sole argument)\n"
#endif
           "  --version       print the version and exit\n"
           "Any other argument is ignored.\n"
           "\n"
           "Environment:\n"
           "  TP_THREADS      how many threads convert images (default: one per processor,\n"
           "                  at most 8; 1 keeps the run on one thread)\n"
           "\n"
           "Exit status:\n"
           "  0   the bins were written and compressed\n"
           "  1   an error: no bin was written (the line starting \"Error:\" tells which)\n"
           "  2   the bins were written, but some could not be compressed: they are kept\n"
           "  3   the bins were written, but a theme stopped at an image that failed or a\n"
           "      folder could not be listed: they lack images\n"
           "Standard error names the file and the cause of every failure; a theme that stops\n"
           "at a refused image names the others its headers would refuse too.\n";
}
