// The only door to the operating system. Everything above this layer is OS-neutral: it builds
// paths with kPathSeparator and asks here for folders, listings, deletion, sleeping and
// processes. One implementation file per OS where the OS calls differ.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
/// What ends the file name of a program: TOOL.exe on Windows, TOOL elsewhere.
inline constexpr char kProgramSuffix[] = ".exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr char kProgramSuffix[] = "";
#endif

/// Whether the OS finds a file under a name that differs from its own in letter case (Windows'
/// file systems do; POSIX names are exact bytes).
#ifdef _WIN32
inline constexpr bool kFileNamesIgnoreCase = true;
#else
inline constexpr bool kFileNamesIgnoreCase = false;
#endif

/// Returns folder + kPathSeparator + name.
std::string joinPath(const std::string& folder, const std::string& name);

/// Fills path with the process's current folder. Returns false (path cleared) when the OS
/// cannot tell it.
bool getCurrentFolder(std::string& path);

/// Makes path the current folder. Returns false, with the OS cause in error, when it is not a
/// folder that can be entered.
bool setCurrentFolder(const std::string& path, std::string& error);

/// True when path is a folder that this process could make its current folder; false with the
/// OS cause in error else. The current folder stays as it is.
bool canEnterFolder(const std::string& path, std::string& error);

/// True when every call of this layer takes path as it is: shorter than PATH_MAX on POSIX, where
/// only some calls walk a longer one a folder at a time; any path on Windows, whose calls are
/// given long paths in their \\?\ form.
bool fitsEveryCall(const std::string& path);

/// True when path names a folder (following links).
bool isFolder(const std::string& path);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
    /// True only when the listing itself says the entry is a regular file, not a link to one
    /// (POSIX d_type); false when it cannot tell, as on Windows.
    bool isRegular = false;
};

/// Deletes the file at path; a link there is deleted itself, never what it leads to, and a folder
/// is never deleted. Returns true when nothing is left at path (also when nothing was there);
/// false with the cause in error.
bool deleteFile(const std::string& path, std::string& error);

/// What a path names, after following links.
enum class PathKind : std::uint8_t {
    kMissing, // nothing there, or a link that leads nowhere
    kRegular,
    kFolder,
    kOther, // a FIFO, a device, a socket, or something that cannot be looked at
};

/// What path names, without opening it.
PathKind pathKind(const std::string& path);

/// Opens path for binary reading when it is a regular file (after following links), and sets
/// size to its size. Never blocks: a FIFO or device at path is refused without waiting for a
/// writer. Returns null with the cause in error ("No such file or directory", "not a regular
/// file") when it cannot be opened or is not a regular file; machine, when given, then tells
/// whether the machine fell short (see isMachineShortage) rather than the file.
std::FILE* openRegularFile(const std::string& path, std::uint64_t& size, std::string& error,
                           bool* machine = nullptr);

/// A regular file open for reading straight from the OS, with no <cstdio> buffer between (a
/// descriptor on POSIX, a HANDLE on Windows); closed when it goes.
struct InputFile {
    std::int64_t value = -1;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
};

/// openRegularFile without the <cstdio> stream, which costs a call of its own per file: opens
/// path for reading into file (closing what file held) when it is a regular file, after following
/// links, and sets size to its size. Never blocks. Returns false with the cause in error (and
/// machine, when given, set) as openRegularFile does.
bool openInputFile(const std::string& path, InputFile& file, std::uint64_t& size,
                   std::string& error, bool* machine = nullptr);

/// Reads up to size bytes from file's position on into bytes and sets got to the number read:
/// fewer than size only at the end of the file. Returns false with the OS cause in error; machine,
/// when given, then tells whether the machine fell short (see isMachineShortage).
bool readInputFile(InputFile& file, std::uint8_t* bytes, std::size_t size, std::size_t& got,
                   std::string& error, bool* machine = nullptr);

/// Moves file's position to offset bytes from its start. Returns false with the OS cause in
/// error.
bool seekInputFile(InputFile& file, std::uint64_t offset, std::string& error);

/// Closes file, if it is open.
void closeInputFile(InputFile& file);

/// True when this process may open the file at path for reading, as openInputFile would; on
/// POSIX asked without opening it (faccessat with the effective ids), which costs half as much.
/// Returns false with the cause in error ("Permission denied").
bool mayReadFile(const std::string& path, std::string& error);

/// The OS's text for error number err, as strerror gives it.
std::string osErrorText(int err);

void sleepMilliseconds(unsigned milliseconds);

/// The stack of a thread that startThread starts: a few of them must not take the address space
/// that the data needs (8 MiB each is the usual default on Linux).
inline constexpr std::size_t kThreadStackBytes = std::size_t{2} << 20;

/// A thread started by startThread, as an opaque value (a pthread_t on POSIX, a HANDLE on
/// Windows).
struct ThreadHandle {
    std::uint64_t value = 0;
};

/// Starts run(context) on a new thread, with a stack of kThreadStackBytes: the work given to
/// threads recurses nowhere. Returns false with the OS cause in error when the OS refuses one (no
/// memory, too many threads); nothing is left to join then. Unlike std::thread,
/// whose refusal is an exception that a build without exceptions turns into an abort, the caller
/// can go on without it. Every started thread must be joined once with joinThread.
bool startThread(void (*run)(void* context), void* context, ThreadHandle& handle,
                 std::string& error);

/// Waits until the thread has ended and releases it.
void joinThread(ThreadHandle handle);

/// How many threads the machine runs at once (logical processors), at least 1.
unsigned processorCount();

/// A block of size bytes for data kept for the rest of the run, or null when the memory cannot be
/// had. Where the OS offers it (Linux), a block of 2 MiB or more is backed by huge pages, so that
/// filling it costs a page fault per 2 MiB instead of one per 4 KiB. Its pages are the OS's own
/// (mmap, VirtualAlloc), so that releaseBlockTail can give some back.
std::shared_ptr<std::uint8_t[]> allocateLargeBlock(std::size_t size);

/// Gives the OS back the pages of a block of size bytes from allocateLargeBlock that lie wholly
/// past its first kept bytes, which must never be touched again: an address-space limit then
/// counts only what is kept.
void releaseBlockTail(const std::shared_ptr<std::uint8_t[]>& block, std::size_t size,
                      std::size_t kept);

/// The largest resident set this process has had so far, in KiB; -1 when the OS cannot tell.
long peakResidentKilobytes();

/// True when file is a terminal (a console on Windows): where a line rewritten in place with
/// '\r' shows as one line, and not as clutter in a log.
bool isTerminal(std::FILE* file);

/// The program's arguments after its name, as UTF-8 on every OS (Windows hands main its
/// arguments in the ANSI code page; they are taken from the UTF-16 command line instead).
std::vector<std::string> commandArguments(int argc, char** argv);

/// The folder that holds the running executable, or "" when it cannot be found.
std::string executableFolder();

/// An OS process handle as an opaque value (a pid on POSIX, a HANDLE on Windows).
struct ProcessHandle {
    std::uint64_t value = 0;
};

/// Starts commandLine without waiting for it, with workingFolder as its current folder ("" keeps
/// ours). The command line is split on blanks, with no quoting; its first word is the program.
/// A program name without a path is looked up first in executableFolder() and then in the
/// absolute folders of the search path (PATH); never in the current folder, so an empty, "." or
/// other relative PATH entry is skipped. A name with a path in it is used as that path. On
/// POSIX a trailing ".exe" on the program name is dropped; on Windows the program file is
/// NAME.exe (PATH entries separated by ';'), and a window it opens is shown (SW_SHOW). The
/// process shares our standard output and error; what we printed is flushed first so that lines
/// keep their order. Returns false
/// when the program could not be started (not found, not executable, working folder missing), with
/// the cause in error; no process is left behind then. Every started process must be waited for
/// once with waitProcess.
bool startProcess(const std::string& commandLine, const std::string& workingFolder,
                  ProcessHandle& handle, std::string& error);

/// Waits until the process ends and stores its exit status (non-zero also when it was killed:
/// 128 + the signal on POSIX, the exception code on Windows). Returns false when it cannot be
/// waited for, with the cause in error.
bool waitProcess(ProcessHandle handle, int& exitStatus, std::string& error);

// Writing files that appear under their names only when complete, and following started
// processes without blocking.

/// Creates a new, empty file for binary writing beside finalPath, named finalPath + "." + eight
/// random letters and digits + ".tmp", and sets tempPath to that name. Only a name that nothing
/// uses yet is taken: no file, link or folder there is opened, followed or replaced. ownerOnly:
/// only its owner may read or write it (POSIX mode 0600), until copyPermissions gives it others;
/// else any new file's permissions. Returns null (tempPath cleared) with the cause in error when
/// no such file can be created in that folder.
std::FILE* createTempFile(const std::string& finalPath, std::string& tempPath, std::string& error,
                          bool ownerOnly = false);

/// Gives the file to the permission bits (read, write, execute for owner, group and others) of
/// the file from, as gzip does for its output. Windows has no such bits: there it does nothing.
/// Returns false with the OS cause in error.
bool copyPermissions(std::FILE* from, std::FILE* to, std::string& error);

/// Writes what the file's buffer holds and waits until the OS has put the file's bytes on disk
/// (fsync, FlushFileBuffers). Returns false with the OS cause in error.
bool syncFile(std::FILE* file, std::string& error);

/// Bytes to write, where they are.
struct BytePiece {
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
};

/// Writes the pieces to file in order, after what its buffer holds, straight from where they are
/// and in as few system calls as the OS allows (writev on POSIX; one write per piece on Windows).
/// Returns false with the OS cause in error.
bool writePieces(std::FILE* file, std::span<const BytePiece> pieces, std::string& error);

/// Renames the file from to the name to in the same folder, replacing what is there in one step:
/// a file, or a link itself (never what it leads to). durable: returns only once the new name is
/// on disk too (the folder synced on POSIX, a write-through move on Windows). Returns false with
/// the cause in error; both names are then as they were, unless only the folder's sync failed.
bool replaceFile(const std::string& from, const std::string& to, std::string& error,
                 bool durable = false);

/// Learns without blocking whether a process that startProcess started has ended. Sets ended,
/// and when it has, stores its exit status as waitProcess does; the process is then gone and must
/// not be waited for again. Returns false with the cause in error when it cannot be asked.
bool pollProcess(ProcessHandle handle, bool& ended, int& exitStatus, std::string& error);

/// Makes a write beyond the process's file-size limit fail like any failed write, so that the
/// caller can clean up and say so, instead of ending the process on the spot. (Windows has no
/// such limit.)
void failWritesBeyondFileSizeLimit();

// Ending a run that is cut short without leaving anything behind: no temporary file of
// createTempFile's, no process of startProcess's that nobody waits for.

/// Makes SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break, closing the console, logoff
/// and shutdown) end the process with 128 + the signal (Windows: 130 for Ctrl+C and Ctrl+Break,
/// 129 for the others), once every temporary file still there is removed and every child not yet
/// waited for is stopped: told the same (POSIX), given 2 s to clean up after itself, then killed.
/// A signal that the process started with ignored stays ignored.
void stopCleanlyOnSignals();

/// Makes memory that runs out in operator new (a standard container or string) end the process
/// with status after report (which must not allocate) has told it, with the same cleanup, instead
/// of an abort. operator new (std::nothrow) would end it the same way, so no code here uses it:
/// buffers whose growth may fail come from the C heap (allocateBytes).
void stopCleanlyOnOutOfMemory(void (*report)(), int status);

/// True when err, an errno value, says that the machine fell short rather than that a file is at
/// fault: no memory, too many open files, an I/O error.
bool isMachineShortage(int err);

// Folders held open, so that neither depth nor path length limits a walk through them, and
// paths of any length. A path longer than the OS limit is followed one component at a time.

/// An open folder (a descriptor on POSIX, a HANDLE on Windows), closed when it goes. Move-only.
struct FolderHandle {
    std::int64_t value = -1;
    // The folder's full path on Windows, whose calls list and open entries by path; unused on
    // POSIX.
    std::string path;

    FolderHandle() = default;
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;
    ~FolderHandle();
};

/// What makes a folder itself (device and inode on POSIX; volume serial number and file index on
/// Windows): the same through every path or link that leads to it.
struct FolderId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;

    auto operator<=>(const FolderId&) const = default;
};

/// Opens the folder at path, following links. Returns false with the OS cause in error.
bool openFolder(const std::string& path, FolderHandle& folder, std::string& error);

/// Opens the entry name of parent as a folder, following a link. Returns false with the OS cause
/// in error ("Not a directory" when the entry is something else).
bool openSubFolder(const FolderHandle& parent, const std::string& name, FolderHandle& folder,
                   std::string& error);

/// The identity of an open folder. Returns false with the OS cause in error.
bool folderIdentity(const FolderHandle& folder, FolderId& id, std::string& error);

/// Lists the entries of an open folder, without "." and "..", in listing order (see
/// sortFolderEntries); an entry is a folder when it is one after following links. Returns false
/// (entries cleared) with the OS cause in error when the folder cannot be read to its end.
bool listFolder(const FolderHandle& folder, std::vector<FolderEntry>& entries, std::string& error);

/// Sorts entries by name with ASCII letters compared upper-cased and the raw bytes as
/// tie-break, so that the order never depends on the file system.
void sortFolderEntries(std::vector<FolderEntry>& entries);

/// pathKind, telling in error why a path that is kOther could not be looked at (the OS cause);
/// error is empty when the path could be looked at.
PathKind pathKind(const std::string& path, std::string& error);
