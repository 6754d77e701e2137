// theme-packager, the real binary, on hostile input trees: FIFOs and devices where images are
// expected, folder chains beyond the OS's path limit, links that fan out or lead out of the
// theme, and folders that cannot be listed. (Files far larger than their pictures, or pictures
// too large to encode, are refused from their headers: the image file tests show it.) Each run must
// end (a timeout guards it), stay small, say on standard error what it could not use, and write
// exactly the bins that a plain tree without the hostile parts gives.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <variant>

#include "support/deep_path.h"
#include "support/packager_run.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A run whose theme stopped at an image, or that could not list a folder, with the bins written.
constexpr int kIncompleteStatus = 3;
constexpr long kPeakLimitKb = 64 * 1024;

struct GuardedRun {
    ProgramResult result;
    long peakKb = -1; // the largest resident set of the processes the run started
};

/// Runs command in folder through the shell, ended by a timeout should it hang, with the peak
/// memory that /usr/bin/time saw: a small process of its own, whose children carry none of ours.
GuardedRun runGuarded(const std::string& folder, const std::string& command) {
    TempFolder measure;
    GuardedRun run;
    run.result = runShell(folder, "/usr/bin/time -f %M -o " + shellQuote(measure.path("peak")) +
                                      " " + command);
    const Bytes peak = measure.readBytes("peak");
    std::string text(peak.begin(), peak.end());
    text.erase(0, text.find_last_of('\n', text.size() - 2) + 1); // after any status line
    run.peakKb = std::strtol(text.c_str(), nullptr, 10);
    return run;
}

// Standard error without the lines about the missing VOX_ZIP, root folder written ROOT.
std::string ownLines(const std::string& err, const TempFolder& root) {
    std::istringstream lines(rooted(err, root));
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("VOX_ZIP") == std::string::npos) {
            kept += line + "\n";
        }
    }
    return kept;
}

// The bins a run leaves, by path; nothing else is read, for a hostile tree holds files that
// must not be opened.
std::map<std::string, Bytes> bins(const TempFolder& root) {
    std::map<std::string, Bytes> found;
    for (int n = -1; n < 10; ++n) {
        const std::string path = n < 0 ? "Index.bin" : std::to_string(n) + "/Theme.bin";
        if (fs::is_regular_file(root.path(path))) {
            found[path] = root.readBytes(path);
        }
    }
    return found;
}

/// The bytes makeUiLikeBmp writes for tree file path: the picture a reference tree holds there.
Bytes pictureOf(const char* path) {
    const TreeFile file(path);
    return makeUiLikeBmp(file.width, file.height, file.seed());
}

struct HostileCase {
    const char* name;
    std::vector<TreeFile> tree; // written first
    /// What makes the tree hostile: a shell command run in it, or a function given it.
    std::variant<const char*, void (*)(const TempFolder&)> hostile;
    /// The plain tree that packs to the same bins; empty when the run writes none.
    std::vector<TreeFile> reference;
    std::string result;
    int exitStatus;
    std::string err;
    bool asNobody = false; // run without the rights of root, which reads any folder
};

void PrintTo(const HostileCase& c, std::ostream* out) {
    *out << c.name;
}

class HostileTreeTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileTreeTest, EndsSmallSaysWhatItSkippedAndPacksTheRest) {
    const HostileCase& c = GetParam();
    TempFolder bin;
    fs::copy_file(TP_PACKAGER_BIN, bin.path("theme-packager"));
    const std::string packager =
        "timeout -k 5 60 env PATH=/nonexistent " + shellQuote(bin.path("theme-packager"));

    TempFolder root;
    writeTree(root, c.tree);
    if (const auto* command = std::get_if<const char*>(&c.hostile)) {
        ASSERT_EQ(runShell(root.path(), *command).exitStatus, 0) << *command;
    } else {
        std::get<void (*)(const TempFolder&)>(c.hostile)(root);
    }
    std::string prefix;
    if (c.asNobody && geteuid() == 0) {
        ASSERT_EQ(runShell(root.path(), "chown -R 65534:65534 .").exitStatus, 0);
        ASSERT_EQ(runShell(bin.path(), "chmod -R a+rX .").exitStatus, 0);
        prefix = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    }
    const GuardedRun guarded = runGuarded(root.path(), prefix + packager);
    const ProgramResult& run = guarded.result;
    EXPECT_NE(run.exitStatus, 124) << "the run hung";
    EXPECT_EQ(run.out, kBanner + c.result + kCompletion);
    EXPECT_EQ(run.exitStatus, c.exitStatus);
    EXPECT_EQ(ownLines(run.err, root), c.err);
    EXPECT_GT(guarded.peakKb, 0);
    EXPECT_LT(guarded.peakKb, kPeakLimitKb);

    TempFolder plain;
    if (!c.reference.empty()) {
        writeTree(plain, c.reference);
        const ProgramResult reference = runShell(plain.path(), packager);
        ASSERT_EQ(reference.out, kBanner + kZipFailed + kCompletion) << reference.err;
        ASSERT_FALSE(bins(plain).empty());
    }
    EXPECT_EQ(bins(root), bins(plain));
}

const std::string kChain = longFolderChain(17);
const std::string kMidChain = kChain.substr(0, 10 * 251 - 1);
const std::string kMidName = kMidChain.substr(kMidChain.rfind('/') + 1);
const std::string kLastName = kChain.substr(kChain.rfind('/') + 1);
const std::string kMidPlain = "0/" + kMidName + "/a.bmp";
const std::string kLastPlain = "0/" + kLastName + "/z.bmp";
const std::string kVariantPlain = "2/" + kLastName + "/z.bmp";

INSTANTIATE_TEST_SUITE_P(
    Trees, HostileTreeTest,
    testing::Values(
        HostileCase{"FifoInBaseTheme",
                    {"0/a.bmp", "0/z.bmp"},
                    "mkfifo 0/x.bmp",
                    {"0/a.bmp"},
                    kZipFailed,
                    kIncompleteStatus,
                    "theme-packager: theme 0: ROOT/0/x.bmp cannot be opened: not a regular file; "
                    "the rest of theme 0 is not packed\n"},
        HostileCase{"FifoAndDeviceInVariant",
                    {"0/a.bmp", "0/b.bmp", "0/c.bmp", "2/a.bmp"},
                    "mkfifo 2/b.bmp && ln -s /dev/zero 2/c.bmp",
                    {"0/a.bmp", "0/b.bmp", "0/c.bmp", "2/a.bmp"},
                    kZipFailed,
                    2,
                    "theme-packager: theme 2: ROOT/2/b.bmp is not a regular file; ROOT/0/b.bmp "
                    "is used in its place\n"
                    "theme-packager: theme 2: ROOT/2/c.bmp is not a regular file; ROOT/0/c.bmp "
                    "is used in its place\n"},
        HostileCase{"FolderChainBeyondThePathLimit",
                    {},
                    [](const TempFolder& root) {
                        ASSERT_TRUE(writeDeepFile(root.path("0/" + kMidChain + "/a.bmp"),
                                                  pictureOf(kMidPlain.c_str())));
                        ASSERT_TRUE(writeDeepFile(root.path("0/" + kChain + "/z.bmp"),
                                                  pictureOf(kLastPlain.c_str())));
                        ASSERT_TRUE(writeDeepFile(root.path("2/" + kChain + "/z.bmp"),
                                                  pictureOf(kVariantPlain.c_str())));
                    },
                    {kMidPlain.c_str(), kLastPlain.c_str(), kVariantPlain.c_str()},
                    kZipFailed,
                    2,
                    ""},
        HostileCase{"LinksToRootAndThemeFoldersNotFollowed",
                    {"0/a.bmp", "0/menu/b.bmp", "2/a.bmp"},
                    "ln -s ../.. 0/menu/all && ln -s ../../2 0/menu/two && ln -s .. 0/menu/up",
                    {"0/a.bmp", "0/menu/b.bmp", "2/a.bmp"},
                    kZipFailed,
                    2,
                    "theme-packager: ROOT/0/menu/all leads to the root folder ROOT; it is not "
                    "followed\n"
                    "theme-packager: ROOT/0/menu/two leads to theme folder ROOT/2; it is not "
                    "followed\n"},
        // 18 levels, each with two links to the next: 2^18 ways down.
        HostileCase{"LinksThatFanOut",
                    {"0/a.bmp"},
                    "for i in $(seq 18); do mkdir -p levels/$i && cp 0/a.bmp levels/$i/i.bmp && "
                    "ln -s ../$((i + 1)) levels/$i/x && ln -s ../$((i + 1)) levels/$i/y; done && "
                    "ln -s ../levels/1 0/down",
                    {},
                    "Error: There are no BMP images for packing\n",
                    1,
                    "theme-packager: ROOT/0/down/x/x/x/x/x/x/x/x/x/x/y/x/x/x/x/x/x is a folder "
                    "reached through links more than 64 times: the linked folders fan out; "
                    "ROOT/0 is not scanned and none of its images are packed\n"},
        HostileCase{"FolderThatCannotBeListed",
                    {"0/a.bmp", "0/secret/s.bmp", "0/z.bmp"},
                    "chmod 000 0/secret",
                    {"0/a.bmp", "0/z.bmp"},
                    kZipFailed,
                    kIncompleteStatus,
                    "theme-packager: cannot list ROOT/0/secret: Permission denied; its images "
                    "are not packed\n",
                    true}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
