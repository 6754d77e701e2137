// Platform layer: folder listing order, folder operations, and files written whole.
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/pending_output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "support/run_program.h"
#include "support/temp_folder.h"
#include "support/test_os.h"

namespace {

TEST(PlatformTest, ListingSortsLettersUpperCasedThenByRawBytes) {
    TempFolder root;
    for (const char* name : {"B.bmp", "a.bmp", "_z.bmp"}) {
        root.writeFile(name, "x");
    }
    root.makeFolder("Menu");
    if (!kWindows) { // Windows holds no two names that differ in case alone; Wine makes no links
        root.makeFolder("menu");
        std::filesystem::create_directory_symlink("Menu", root.path("link"));
    }
    FolderHandle folder;
    std::string error;
    ASSERT_TRUE(openFolder(root.path(), folder, error)) << error;
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(listFolder(folder, entries, error)) << error;
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.name + (e.isFolder ? "/" : ""));
        // Only POSIX listings tell a regular file; a link is never taken for one.
        EXPECT_EQ(e.isRegular, kPathSeparator == '/' && e.name.find(".bmp") != std::string::npos)
            << e.name;
    }
    const std::vector<std::string> expected =
        kWindows ? std::vector<std::string>{"a.bmp", "B.bmp", "Menu/", "_z.bmp"}
                 : std::vector<std::string>{"a.bmp", "B.bmp", "link/", "Menu/", "menu/", "_z.bmp"};
    EXPECT_EQ(names, expected);
}

// Pieces go out in order after what the stream holds, however many there are (more than one
// system call takes) and whatever their sizes, empty ones included.
TEST(PlatformTest, WritesPiecesInOrderAfterTheBufferedBytes) {
    TempFolder root;
    std::vector<std::uint8_t> bytes(70000);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    std::vector<BytePiece> pieces;
    std::vector<std::uint8_t> expected = {'h', 'e', 'a', 'd'};
    for (std::size_t i = 0, at = 0;; ++i) {
        const std::size_t size = i % 5 == 0 ? 0 : (i * 13) % 41 + 1;
        if (at + size > bytes.size()) {
            break;
        }
        pieces.push_back({bytes.data() + at, size});
        expected.insert(expected.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
    }
    ASSERT_GT(pieces.size(), 3000u);
    std::FILE* file = std::fopen(root.path("out").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("head", file);
    std::string error;
    EXPECT_TRUE(writePieces(file, pieces, error)) << error;
    ASSERT_EQ(std::fclose(file), 0);
    EXPECT_EQ(root.readBytes("out"), expected);
}

// Temporary files take fresh names only, beside their final name, and none where the folder is
// missing. (A rename over a file, a link or a folder is the bin writer's and VOX_ZIP's tests'
// business.)
TEST(PlatformTest, TemporaryFilesAreNewBesideTheirFinalName) {
    TempFolder root;
    std::string error;
    std::string first;
    std::string second;
    std::FILE* a = createTempFile(root.path("Theme.bin"), first, error);
    std::FILE* b = createTempFile(root.path("Theme.bin"), second, error);
    ASSERT_TRUE(a && b) << error;
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.starts_with(root.path("Theme.bin."))) << first;
    EXPECT_EQ(std::fclose(a), 0);
    EXPECT_EQ(std::fclose(b), 0);

    std::string missing = "x";
    EXPECT_EQ(createTempFile(root.path("none/Theme.bin"), missing, error), nullptr);
    EXPECT_EQ(error, osText("No such file or directory", "Path not found."));
    EXPECT_EQ(missing, "");
}

// Only regular files open, links followed; a FIFO is refused at once instead of waiting for a
// writer that never comes. A delete takes a file or a link itself, never what it leads to, and
// never a folder; nothing there is fine.
TEST(PlatformTest, OpensOnlyRegularFilesAndDeletesNoFolder) {
    TempFolder root;
    root.writeFile("a.bmp", "12345");
    root.writeFile("dir/kept", "x");
    if (!kWindows) { // Windows has no FIFOs, and Wine makes no links
        ASSERT_TRUE(makeFifo(root.path("fifo")));
        std::filesystem::create_symlink(root.path("a.bmp"), root.path("link"));
        std::filesystem::create_symlink(root.path("dir"), root.path("dirlink"));
        std::filesystem::create_symlink(root.path("gone"), root.path("dangling"));
    }
    struct Case {
        const char* name;
        PathKind kind;
        PathKind entry;    // the entry itself, not where a link leads
        const char* error; // "" when it opens
        bool posixOnly = false;
    };
    using enum PathKind;
    // Each is deleted after it is opened: the link before what it leads to.
    for (const Case& c :
         {Case{"link", kRegular, kLink, "", true}, Case{"a.bmp", kRegular, kRegular, ""},
          Case{"dir", kFolder, kFolder, "is a folder"},
          Case{"dirlink", kFolder, kLink, "is a folder", true},
          Case{"fifo", kOther, kOther, "not a regular file", true},
          Case{"dangling", kMissing, kLink, "No such file or directory", true},
          Case{"none", kMissing, kMissing,
               osText("No such file or directory", "File not found.")}}) {
        if (kWindows && c.posixOnly) {
            continue;
        }
        EXPECT_EQ(pathKind(root.path(c.name)), c.kind) << c.name;
        EXPECT_EQ(entryKind(root.path(c.name)), c.entry) << c.name;
        std::uint64_t size = 99;
        std::string error;
        std::FILE* file = openRegularFile(root.path(c.name), size, error);
        EXPECT_EQ(file != nullptr, *c.error == '\0') << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_EQ(size, file ? 5u : 0u) << c.name;
        if (file) {
            char bytes[8] = {};
            EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, file), 5u) << c.name;
            std::fclose(file);
        }
        const bool folder = std::string(c.name) == "dir";
        error.clear();
        EXPECT_EQ(deleteFile(root.path(c.name), error), !folder) << c.name;
        EXPECT_EQ(error, folder ? "Is a directory" : "") << c.name;
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(root.path(c.name))),
                  folder)
            << c.name;
    }
    EXPECT_TRUE(root.exists("dir/kept"));
}

// Files published together: each appears whole under its name, in order. When the OS refuses a
// rename after earlier ones went through (here the temporary file was taken away), those stay
// published, the refused one and the rest keep their earlier bytes and are still pending, and
// abandoning them leaves no temporary file.
TEST(PlatformTest, PublishingStopsAtTheFirstRefusedRenameAndLosesNothing) {
    TempFolder root;
    std::vector<PendingOutput> outputs(3);
    std::vector<PendingOutput*> order;
    std::string error;
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        const std::string name = std::string(1, static_cast<char>('a' + i));
        root.writeFile(name, "old");
        ASSERT_TRUE(beginOutput(root.path(name), outputs[i], error)) << error;
        ASSERT_TRUE(writeOutput(outputs[i], "new", 3, error)) << error;
        ASSERT_TRUE(closeOutput(outputs[i], error)) << error;
        order.push_back(&outputs[i]);
    }
    const std::string taken = outputs[1].tempPath;
    ASSERT_TRUE(deleteFile(taken, error)) << error;

    EXPECT_EQ(publishOutputs(order, error), 1u);
    EXPECT_EQ(error, osText("No such file or directory", "File not found."));
    EXPECT_EQ(outputs[0].tempPath, "");
    EXPECT_EQ(outputs[1].tempPath, taken);
    for (PendingOutput* pending : {&outputs[1], &outputs[2]}) {
        EXPECT_TRUE(abandonOutput(*pending));
    }
    const std::map<std::string, std::string> expected = {{"a", "new"}, {"b", "old"}, {"c", "old"}};
    std::map<std::string, std::string> files;
    for (const auto& [name, bytes] : snapshot(root)) {
        files[name] = std::string(bytes.begin(), bytes.end());
    }
    EXPECT_EQ(files, expected);

    // A committed file is there whole, and folders are made on the way to one.
    ASSERT_TRUE(makeFolders(root.path("x/y/z"), error)) << error;
    EXPECT_TRUE(makeFolders(root.path("x/y"), error)) << error;
    EXPECT_TRUE(writeWholeFile(root.path("x/y/z/d"), "whole", 5, error)) << error;
    EXPECT_EQ(names(root),
              (std::vector<std::string>{"a", "b", "c", "x/", "x/y/", "x/y/z/", "x/y/z/d"}));
    EXPECT_FALSE(makeFolders(root.path("a/b"), error));
    EXPECT_FALSE(makeFolder(root.path("x"), error));
}

} // namespace
