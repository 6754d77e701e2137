// Theme folder discovery, the variant themes' file lists and the teardown of long lists. (What
// the base theme's scan lists, and in which order, the packager's run table pins end to end.)
#include "source/file_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/folders.h"
#include "source/theme_folders.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace {

// Every entry as "folder group file", the folder relative to root with '/' between components.
std::vector<std::string> listed(const ImageFileEntry& head, const std::string& root) {
    std::vector<std::string> out;
    for (const ImageFileEntry* e = head.next.get(); e != nullptr; e = e->next.get()) {
        std::string folder = e->dirPath.substr(std::min(root.size() + 1, e->dirPath.size()));
        std::replace(folder.begin(), folder.end(), kPathSeparator, '/');
        out.push_back(folder + " " + e->groupName + " " + e->fileName);
    }
    EXPECT_EQ(head.count, static_cast<std::int32_t>(out.size()));
    return out;
}

// Problems as "kind: text", with the root folder written ROOT.
std::vector<std::string> told(const std::vector<SourceProblem>& problems, const std::string& root) {
    static const char* const kKinds[] = {"not listed", "not followed", "fan-out",
                                         "not a file", "case",         "variant only"};
    std::vector<std::string> out;
    for (const SourceProblem& p : problems) {
        std::string text = p.text;
        for (std::size_t at; (at = text.find(root)) != std::string::npos;) {
            text.replace(at, root.size(), "ROOT");
        }
        out.push_back(kKinds[static_cast<int>(p.kind)] + (": " + text));
    }
    return out;
}

TEST(ThemeFoldersTest, CountsFoldersOnlyLeavesTheCurrentFolderAndTellsAMissingOne) {
    TempFolder root;
    for (const char* n : {"0", "3", "7", "9", "10"}) {
        root.makeFolder(n);
    }
    root.writeFile("5", "a plain file is no theme");

    std::string before;
    ASSERT_TRUE(getCurrentFolder(before));
    ThemeFlags present{};
    EXPECT_EQ(discoverThemeFolders(root.path(), present), 4);
    EXPECT_EQ(present, (ThemeFlags{1, 0, 0, 1, 0, 0, 0, 1, 0, 1}));
    std::string current;
    ASSERT_TRUE(getCurrentFolder(current));
    EXPECT_EQ(current, before);

    // A theme folder gone by the time it is listed gives an empty list, and the user is told.
    ImageFileEntry missing;
    std::vector<SourceProblem> problems;
    EXPECT_EQ(listBaseTheme(missing, root.path(), 4, problems), 0);
    EXPECT_EQ(missing.next, nullptr);
    EXPECT_EQ(told(problems, root.path()),
              (std::vector<std::string>{nativePaths("not listed: cannot list ROOT/4: ") +
                                        osText("No such file or directory", "File not found.") +
                                        "; its images are not packed"}));
}

// A regular file at the variant's path replaces the base image: the same names as the file system
// compares them (on POSIX B.bmp is not b.bmp, nor MENU/BG.BMP menu/bg.bmp; on Windows they are),
// and only the theme digit after the root changes, not a later folder named 0; a name that
// differs in case alone is told on both. Anything else there is told, and only regular files are
// opened to find out, so a FIFO cannot stop the lookup. Every other
// base image is taken from folder 0, also where the variant lacks the whole folder, and a
// folder's files after one of its sub-folders are found like those before it. An image at no base
// image's path (3/y.bmp, beside 0/y.bmp) is told.
TEST(VariantListTest, UsesRegularFilesOfTheSamePathAndTellsWhatElseItFound) {
    TempFolder root;
    for (const char* name : {"0/y", "a", "b", "c", "d", "e", "f", "g", "menu/bg", "q/r", "s"}) {
        root.writeFile("0/" + std::string(name) + ".bmp", "");
    }
    for (const char* name :
         {"3/a.bmp", "3/B.bmp", "3/0/y.bmp", "3/3/y.bmp", "3/MENU/BG.BMP", "3/s.bmp"}) {
        root.writeFile(name, "");
    }
    root.makeFolder("3/c.bmp");
    if (!kWindows) { // Windows has no FIFOs or devices, and Wine makes no links
        ASSERT_TRUE(makeFifo(root.path("3/d.bmp")));
        std::filesystem::create_symlink("/dev/null", root.path("3/e.bmp"));
        std::filesystem::create_symlink("gone.bmp", root.path("3/f.bmp"));
        std::filesystem::create_symlink("g.bmp", root.path("3/g.bmp"));
    }
    PerTheme<std::unique_ptr<ImageFileEntry>> lists;
    lists[0] = std::make_unique<ImageFileEntry>();
    lists[3] = std::make_unique<ImageFileEntry>();
    std::vector<SourceProblem> problems;
    ASSERT_EQ(listBaseTheme(*lists[0], root.path(), 0, problems), 1);
    EXPECT_EQ(listVariantTheme(*lists[3], root.path(), 3, *lists[0], problems), 1);
    tellVariantOnlyImages(root.path(), lists, problems);
    EXPECT_EQ(lists[3]->dirPath, joinPath(root.path(), "3"));
    EXPECT_EQ(
        listed(*lists[3], root.path()),
        (std::vector<std::string>{"3/0 0 y.bmp", "3 0 a.bmp", kWindows ? "3 0 b.bmp" : "0 0 b.bmp",
                                  "0 0 c.bmp", "0 0 d.bmp", "0 0 e.bmp", "0 0 f.bmp", "0 0 g.bmp",
                                  kWindows ? "3/menu menu bg.bmp" : "0/menu menu bg.bmp",
                                  "0/q q r.bmp", "3 0 s.bmp"}));
    const std::string twins = kWindows ? "Windows uses it in its place, systems that compare names "
                                         "exactly do not"
                                       : "it is not used, though Windows would use it in its place";
    std::vector<std::string> expected = {nativePaths("case: warning: theme 3: ROOT/3/B.bmp differs "
                                                     "from ROOT/0/b.bmp in letter case alone: ") +
                                         twins};
    for (const auto& [name, why] :
         {std::pair{"c", "is a folder"},
          {"d", "is not a regular file"},
          {"e", "is not a regular file"},
          {"g", "cannot be looked at: Too many levels of symbolic links"}}) {
        if (!kWindows || *name == 'c') {
            expected.push_back(nativePaths("not a file: theme 3: ROOT/3/" + std::string(name) +
                                           ".bmp " + why + "; ROOT/0/" + name +
                                           ".bmp is used in its place"));
        }
    }
    expected.push_back(nativePaths("case: warning: theme 3: ROOT/3/MENU/BG.BMP differs from "
                                   "ROOT/0/menu/bg.bmp in letter case alone: ") +
                       twins);
    expected.push_back(nativePaths("variant only: theme 3: 1 file has no image of theme 0 at its "
                                   "path and is not packed: ROOT/3/3/y.bmp"));
    EXPECT_EQ(told(problems, root.path()), expected);
}

// Appending keeps order and count, as the scans above show; this checks the teardown of a long
// chain.
TEST(FileListTest, LongListsTearDownWithoutRecursion) {
    ImageFileEntry head;
    for (int i = 0; i < 200000; ++i) {
        appendFileEntry(head, std::make_unique<ImageFileEntry>());
    }
    ASSERT_EQ(head.count, 200000);
    // The head's destructor releases the chain; a recursive teardown would overflow the stack.
}

} // namespace
