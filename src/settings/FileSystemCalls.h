// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The few calls of the operating system that the settings layer makes, one implementation per system
// (FileSystemCallsPosix.cpp, FileSystemCallsWin32.cpp). Files are reached through the C library's
// descriptors on both; every file is opened in binary mode and named by its full (on Windows wide)
// path. A call that fails returns -1, false or nothing, and LastFailure() then says why.
namespace krv::fsys {

// The system's reason for the last failed call of this thread ("Permission denied").
std::string LastFailure();

// Paths to and from UTF-8 text, whatever the system's own encoding of names (on Windows a path made
// from a plain std::string would be read in the ANSI code page).
inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}
inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

struct FileFacts {
    enum class Kind { Missing, Regular, Folder, Other };
    Kind kind = Kind::Missing;
    std::uint64_t size = 0;
    // The permission bits, to give a replacement the mode of the file it replaces (0 on Windows).
    std::uint32_t mode = 0;
    // The owner and group, to give a replacement those of the file it replaces (0 on Windows).
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    // The file's own attributes allow writing (some write bit on POSIX, not read-only on Windows) and
    // this process may write it.
    bool writable = false;
};

// What is at path, links followed. Nothing when it cannot be examined (not when it is missing).
std::optional<FileFacts> Examine(const std::filesystem::path& path);
// What an open descriptor is.
std::optional<FileFacts> ExamineOpen(int fd);

// Opens a file for reading without ever blocking on it (a FIFO or a device). -1 when it cannot;
// missing then says whether there is no such file.
int OpenForReading(const std::filesystem::path& path, bool& missing);
// Creates a new file for writing; fails when anything is there. Its mode is 0666 less the umask.
int CreateNew(const std::filesystem::path& path);
// Reads or writes up to size bytes: the count, 0 at the end of the file, -1 on failure (an interrupted
// call is retried).
long ReadSome(int fd, char* data, std::size_t size);
long WriteSome(int fd, const char* data, std::size_t size);
// Gives the file the permission bits mode (nothing to do on Windows).
bool SetMode(int fd, std::uint32_t mode);
// Gives the file this owner and group. Nothing is asked of the system when the file has them already,
// so a user who may not change owners can still replace a file of their own (nothing to do on Windows).
bool SetOwner(int fd, std::uint32_t owner, std::uint32_t group);
// The administrator making a new file in another user's folder (`sudo krv-glyde-ctl --dir ~user/...`)
// leaves it to the folder's owner and group, so that the user is never locked out of their own files.
// Nothing to do for any other user, or on Windows; when the change is refused the file stays as made.
void GiveNewFileToFolderOwner(int fd, const std::filesystem::path& folder);

// What is at path itself, a link not followed: whether it is a link, and whether a save may follow it.
// A link is followed only when this process's user or the system's administrator made it: anyone else's
// link (planted in a folder others may write) could send the save to a file of the user's choosing.
struct LinkFacts {
    bool isLink = false;
    bool mayFollow = true;
};
std::optional<LinkFacts> ExamineLink(const std::filesystem::path& path);
// Waits until the file's bytes are on the disk.
bool FlushToDisk(int fd);
// Closes the descriptor; false reports a late write error.
bool Close(int fd);

// Puts from in the place of to in one step: a reader sees the old file or the new one, never a part.
bool MoveIntoPlace(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a replacement in folder durable where the system needs that separately (POSIX).
void FlushFolder(const std::filesystem::path& folder);

// The lock file beside a file: opened (created when missing, never through a link) for LockTry; for
// reading only when it may not be written (a lock needs no more). One the administrator creates in
// another user's folder is given to the folder's owner.
int OpenLockFile(const std::filesystem::path& path);
enum class LockAttempt { Locked, Busy, Failed };
// Takes the exclusive lock on the lock file without waiting. It is held until the descriptor closes,
// also when the process dies.
LockAttempt TryLock(int fd);

// This process's id, to make names of temporary files unique between processes.
unsigned long ProcessId();

// The path of the running program; empty when the system does not tell.
std::filesystem::path RunningProgramFile();
// True when this process may create files in folder (a read-only mount counts as not writable).
bool IsWritableFolder(const std::filesystem::path& folder);
// True when folder is the user's own place for a program's files: the user owns it and may write in
// it, and it is not where the system installs programs (/usr, /opt: those belong to the system even
// when the administrator runs the program). On Windows, a folder the user may write in.
bool IsUsersOwnFolder(const std::filesystem::path& folder);
// The absolute path an environment variable holds; empty when it is unset or not absolute.
std::filesystem::path EnvironmentFolder(const char* name);

// Where this system keeps the user's settings of programs: $XDG_CONFIG_HOME, else $HOME/.config; on
// Windows %APPDATA%. Empty when the environment does not say.
std::filesystem::path UserSettingsRoot();
// Where earlier versions of the program kept the user's files: $XDG_DATA_HOME, else
// $HOME/.local/share; nothing on Windows, where no earlier version ran.
std::filesystem::path EarlierUserDataRoot();

} // namespace krv::fsys
