// Files and paths: what a path names, reading a regular file, writing through temporary files
// renamed into place, deleting. Paths are UTF-8 on every OS and built with kPathSeparator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "platform/folders.h"
#include "platform/os_error.h"

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
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

/// True when every call of this layer takes path as it is: shorter than PATH_MAX on POSIX, where
/// only some calls walk a longer one a folder at a time; any path on Windows, whose calls are
/// given long paths in their \\?\ form.
bool fitsEveryCall(const std::string& path);

/// What a path names.
enum class PathKind : std::uint8_t {
    kMissing, // nothing there, or (after following links) a link that leads nowhere
    kRegular,
    kFolder,
    kLink,  // a link itself, which only entryKind tells
    kOther, // a FIFO, a device, a socket, or something that cannot be looked at
};

/// What path names after following links, without opening it. why, when given, tells why a path
/// that is kOther could not be looked at (the OS cause); it is empty when the path could be.
PathKind pathKind(const std::string& path, std::string* why = nullptr);

/// What the entry at path is itself: a link is kLink, wherever it leads. why as for pathKind.
PathKind entryKind(const std::string& path, std::string* why = nullptr);

/// Deletes the file at path; a link there is deleted itself, never what it leads to, and a folder
/// is never deleted. Returns true when nothing is left at path (also when nothing was there);
/// false with the cause in error. in: path is a name in that open folder, reached through it.
bool deleteFile(const std::string& path, std::string& error, const FolderHandle* in = nullptr);

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

/// True when file is a terminal (a console on Windows): where a line rewritten in place with
/// '\r' shows as one line, and not as clutter in a log.
bool isTerminal(std::FILE* file);

// Writing files that appear under their names only when complete (see pending_output.h).

/// Creates a new, empty file for binary writing beside finalPath, named finalPath + "." + eight
/// random letters and digits + ".tmp", and sets tempPath to that name. Only a name that nothing
/// uses yet is taken: no file, link or folder there is opened, followed or replaced. ownerOnly:
/// only its owner may read or write it (POSIX mode 0600), until copyPermissions gives it others;
/// else any new file's permissions. Returns null (tempPath cleared) with the cause in error when
/// no such file can be created in that folder. in: finalPath and tempPath are names in that open
/// folder, and the file is created through it, wherever its path leads meanwhile.
std::FILE* createTempFile(const std::string& finalPath, std::string& tempPath, std::string& error,
                          bool ownerOnly = false, const FolderHandle* in = nullptr);

/// Gives the file to the permission bits (read, write, execute for owner, group and others) of
/// the file from, as gzip does for its output. Windows has no such bits: there it does nothing.
/// Returns false with the OS cause in error.
bool copyPermissions(std::FILE* from, std::FILE* to, std::string& error);

/// Writes what the file's buffer holds and waits until the OS has put the file's bytes on disk
/// (fsync, FlushFileBuffers). Returns false with the OS cause in error.
bool syncFile(std::FILE* file, std::string& error);

/// Writes size bytes to file. Returns false with the OS cause in error.
bool writeFileBytes(std::FILE* file, const void* bytes, std::size_t size, std::string& error);

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
/// in: both are names in that open folder, renamed through it.
bool replaceFile(const std::string& from, const std::string& to, std::string& error,
                 bool durable = false, const FolderHandle* in = nullptr);

/// Makes a write beyond the process's file-size limit fail like any failed write, so that the
/// caller can clean up and say so, instead of ending the process on the spot. (Windows has no
/// such limit.)
void failWritesBeyondFileSizeLimit();

/// Makes a write to a pipe that nobody reads any more fail like any failed write (EPIPE), instead
/// of ending the process on the spot with its children running (SIGPIPE). (Windows has no such
/// signal.)
void failWritesToClosedPipes();
