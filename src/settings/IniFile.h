// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"
#include "settings/IniDocument.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace krv {

// Writes the bytes of a file replacement. Production code uses the plain one; tests replace it with
// one that fails part-way to show that a failed save leaves the old file whole.
class FileSink {
public:
    virtual ~FileSink() = default;
    // Writes all of data to the open descriptor; false on any failure (errno tells why).
    [[nodiscard]] virtual bool write(int fd, std::string_view data);
};

// A file read from disk: its state, its document (empty unless Readable) and, when unreadable, the
// line that says why.
struct IniRead {
    FileState state = FileState::Missing;
    IniDocument document;
    std::string error;

    bool unreadable() const { return state == FileState::Unreadable; }
    FileStatus status() const { return unreadable() ? FileStatus::failure(error) : FileStatus::success(); }
};

// Reading and writing INI files on disk with the private-profile semantics of IniDocument.
// - A file is missing, readable or unreadable (see FileState); opening never blocks (anything but a
//   regular file is refused before it is read), and files over MaxFileBytes or MaxLineBreaks are
//   unreadable, so memory stays a small multiple of the cap. CR LF is one line end. A change that
//   would take a file past a cap is refused before anything is written.
// - Every change of one of the program's own files is one read-change-replace under an advisory lock
//   shared by every process of the program (flock on ".<name>.lock" beside the file), so no process
//   loses another's update. A file the user chose (an export) gets no lock file beside it. The file
//   is replaced atomically (a temporary file in the same folder, flushed, then renamed over it);
//   temporaries left by a killed save of a locked file are removed by its next save.
// - A replaced file keeps its mode, owner and group; a new file gets 0666 less the umask. A file
//   without write permission, or that cannot be read, is never replaced. A link at the file's name is
//   followed only when the user or the administrator owns it.
// - A file is written back in the encoding it had; a new file is UTF-8 without BOM with CRLF lines.
class IniFile {
public:
    static constexpr std::size_t MaxFileBytes = 4u << 20;
    static constexpr std::size_t MaxLineBreaks = 1u << 17;

    static IniRead read(const std::filesystem::path& file);
    // read() while holding the file's lock (see update), so that no save of another process is half
    // done. Waits for the lock like update(); a caller that must never block looks at lockFree()
    // first. Where no lock can be taken (a folder without write permission) the file is read without.
    static IniRead readLocked(const std::filesystem::path& file);

    // The document of a readable file; empty for a missing or unreadable one (for files that only
    // offer defaults, such as skin descriptions).
    static IniDocument load(const std::filesystem::path& file);

    // GetPrivateProfileStringW: the value or the default, cut to bufferChars - 1 UTF-16 units.
    static std::string readString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                                  std::string_view defaultValue = {}, std::size_t bufferChars = 260);

    // WritePrivateProfileString of one key.
    static FileStatus writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                                  std::string_view value);

    // The line ends of a file's bytes as the reader counts them: CR LF, a lone CR and a lone LF each
    // count one; a UTF-16 file's are counted in its text.
    static std::size_t countLineEnds(std::string_view bytes);

    using Change = std::function<FileStatus(IniDocument&)>;
    // One read-change-replace under the file's lock: reads the file (an unreadable one fails here),
    // lets change() edit the document, and replaces the file once if anything changed. A change that
    // returns a failure writes nothing and its failure is returned.
    // locking: AcrossProcesses for the program's own files; None for a file the user chose elsewhere
    // (an export), where a lock file would be litter.
    static FileStatus update(const std::filesystem::path& file, const Change& change, FileSink* sink = nullptr,
                             FileLock locking = FileLock::AcrossProcesses);

    // Two of the program's files changed together: both are locked, read and changed, and both
    // replacements written and flushed, before either is put in place (first, then second). A failure
    // up to then replaces neither. firstReplaced tells whether first is in place: only when second's
    // final rename fails is first replaced and second not.
    static FileStatus updateBoth(const std::filesystem::path& first, const Change& firstChange,
                                 const std::filesystem::path& second, const Change& secondChange, bool& firstReplaced,
                                 FileSink* sink = nullptr);

    static bool exists(const std::filesystem::path& file);

    // How long update() waits for another process's save of the same file.
    static constexpr std::chrono::seconds LockPatience{10};
    // Looks, without waiting, whether another save holds the file's lock now (another process, or
    // another thread of this one). Success when it is free or cannot be looked at (the save itself
    // then says why); otherwise the line that names the file. For a caller that must never block:
    // it saves once the lock is free and gives up after LockPatience.
    static FileStatus lockFree(const std::filesystem::path& file);
    // The failure of a save that gave up waiting for the lock.
    static FileStatus lockedTooLong(const std::filesystem::path& file);

    // Replaces a whole file that is not an INI file (a desktop entry) with bytes, the way every save
    // is made: a temporary file in the same folder, flushed, then renamed over it; the link, mode and
    // owner rules as above; no lock file. A failure names the file and why, and leaves no temporary.
    static FileStatus replaceWhole(const std::filesystem::path& file, std::string_view bytes,
                                   FileSink* sink = nullptr);
};

} // namespace krv
