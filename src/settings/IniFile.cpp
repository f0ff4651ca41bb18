// SPDX-License-Identifier: MIT
#include "settings/IniFile.h"

#include "log/Log.h"
#include "settings/FileSystemCalls.h"
#include "settings/TextCodec.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace krv {

namespace fs = std::filesystem;

namespace {

constexpr auto LockPatience = IniFile::LockPatience;
// The names of the lock and temporary files keep at most this much of the file's name, so that a
// long file name still leaves room for them within the system's limit on a name.
constexpr std::size_t NameStemBytes = 200;

std::string failureText(const fs::path& file, const std::string& reason) {
    return fsys::Utf8Of(file) + ": " + reason;
}

// A descriptor closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            fsys::Close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    void reset(int fd) {
        close();
        m_fd = fd;
    }
    // Closes now and reports whether the close succeeded (a delayed write error shows up here).
    bool close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || fsys::Close(fd);
    }

private:
    int m_fd;
};

fs::path folderOf(const fs::path& file) {
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// The file a write really replaces: a link is followed, so the link itself stays a link; but only a
// link of the user's own (or the administrator's), as the kernel's protected_symlinks rule has it.
// Anyone else's link is refused: followed, it would let them choose which of the user's files a save
// rewrites. Every link of a chain is looked at, so the user's own link to a name in a shared folder
// cannot be turned into a way to another file by a link planted there.
FileStatus writeTarget(const fs::path& file, fs::path& target) {
    // As many links as the system follows in one path before it gives up (ELOOP).
    constexpr int MaxLinkHops = 40;
    target = file;
    fs::path at = file;
    for (int hops = 0;; ++hops) {
        const std::optional<fsys::LinkFacts> link = fsys::ExamineLink(at);
        if (!link)
            return FileStatus::failure(failureText(file, fsys::LastFailure()));
        if (!link->isLink)
            break;
        if (!link->mayFollow)
            return FileStatus::failure(failureText(
                file, at == file ? std::string("is a link made by another user: not followed, nothing saved")
                                 : "leads through " + fsys::Utf8Of(at) +
                                       ", a link made by another user: not followed, nothing saved"));
        if (hops == MaxLinkHops)
            return FileStatus::failure(failureText(file, "leads through too many links: nothing saved"));
        std::error_code ec;
        const fs::path next = fs::read_symlink(at, ec);
        if (ec)
            return FileStatus::failure(failureText(file, ec.message()));
        at = next.is_absolute() ? next : folderOf(at) / next;
    }
    if (at == file)
        return FileStatus::success();
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(at, ec);
    target = ec ? at : std::move(resolved);
    return FileStatus::success();
}

// The first NameStemBytes bytes of the name's UTF-8 text, never cutting a character in two.
std::string nameStem(const fs::path& file) {
    const std::string name = fsys::Utf8Of(file.filename());
    std::size_t length = std::min(name.size(), NameStemBytes);
    while (length > 0 && length < name.size() && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    return name.substr(0, length);
}
fs::path lockFileOf(const fs::path& file) {
    return folderOf(file) / fsys::PathFromUtf8("." + nameStem(file) + ".lock");
}
std::string temporaryPrefixOf(const fs::path& file) { return "." + nameStem(file) + ".tmp-"; }

// One mutex per file for the life of the process: threads of one process queue here, processes on
// the lock file.
std::mutex& threadLockFor(const fs::path& file) {
    static std::mutex registryLock;
    static std::map<fs::path::string_type, std::unique_ptr<std::mutex>> locks;
    std::error_code ec;
    fs::path key = fs::absolute(file, ec);
    std::lock_guard guard(registryLock);
    auto& slot = locks[(ec ? file : key).lexically_normal().native()];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

// Takes the advisory lock every process of the program holds while it reads, changes and replaces
// the file. The lock is held until the descriptor closes (also when the process dies).
FileStatus lockAcross(const fs::path& file, FileDescriptor& lock) {
    const fs::path lockFile = lockFileOf(file);
    lock.reset(fsys::OpenLockFile(lockFile));
    if (lock.get() < 0) {
        const std::string reason = fsys::LastFailure();
        // A lock file that is there but cannot be opened is named: the folder may well be writable.
        std::error_code ec;
        if (fs::symlink_status(lockFile, ec).type() != fs::file_type::not_found && !ec)
            return FileStatus::failure(
                failureText(file, "cannot open its lock file " + fsys::Utf8Of(lockFile) + ": " + reason));
        return FileStatus::failure(failureText(file, "cannot save in " + fsys::Utf8Of(folderOf(file)) + ": " + reason));
    }
    // Saves take milliseconds, so the lock is nearly always free; a peer that holds it for longer
    // (stopped in a debugger, say) ends the wait with an error instead of a hang.
    const auto giveUp = std::chrono::steady_clock::now() + LockPatience;
    auto pause = std::chrono::milliseconds(1);
    for (fsys::LockAttempt attempt; (attempt = fsys::TryLock(lock.get())) != fsys::LockAttempt::Locked;) {
        if (attempt == fsys::LockAttempt::Failed)
            return FileStatus::failure(
                failureText(file, "cannot lock " + fsys::Utf8Of(lockFile) + ": " + fsys::LastFailure()));
        if (std::chrono::steady_clock::now() > giveUp)
            return IniFile::lockedTooLong(file);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    if (pause > std::chrono::milliseconds(1))
        LogDetail(LogCategory::Files) << "waited for another program's save of " << fsys::Utf8Of(file);
    return FileStatus::success();
}

// Temporaries of this file that a killed save left behind. Called with the file's lock held, when no
// save of it can be running.
void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = temporaryPrefixOf(file);
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(file), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = fsys::Utf8Of(it->path().filename());
        if (name.rfind(prefix, 0) == 0) {
            std::error_code removeError;
            if (fs::remove(it->path(), removeError))
                LogDetail(LogCategory::Files) << "removed " << name << ", left by a save that was ended";
        }
    }
}

// A written and flushed temporary beside its target, removed unless put in place.
struct Replacement {
    fs::path target;
    fs::path temporary;
    Replacement() = default;
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() {
        if (!temporary.empty()) {
            std::error_code ec;
            fs::remove(temporary, ec);
        }
    }
};

FileStatus writeTemporary(const fs::path& target, std::string_view bytes, const fsys::FileFacts* existing,
                          FileSink& sink, Replacement& replacement) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = folderOf(target);
    const fs::path temporary =
        folder / fsys::PathFromUtf8(temporaryPrefixOf(target) + std::to_string(fsys::ProcessId()) + "-" +
                                    std::to_string(counter++));
    // 0666 less the umask for a new file; a replaced file keeps its own mode.
    FileDescriptor fd(fsys::CreateNew(temporary));
    if (fd.get() < 0)
        return FileStatus::failure(
            failureText(target, "cannot save in " + fsys::Utf8Of(folder) + ": " + fsys::LastFailure()));
    auto fail = [&](const std::string& reason) {
        static_cast<void>(fd.close());
        std::error_code ec;
        fs::remove(temporary, ec);
        return FileStatus::failure(failureText(target, reason));
    };
    // The owner first: a change of owner may clear mode bits.
    if (existing && !fsys::SetOwner(fd.get(), existing->owner, existing->group))
        return fail("cannot give the new file the owner and group of the one it replaces: " + fsys::LastFailure());
    if (existing && !fsys::SetMode(fd.get(), existing->mode))
        return fail(fsys::LastFailure());
    if (!existing)
        fsys::GiveNewFileToFolderOwner(fd.get(), folder);
    errno = EIO;
    if (!sink.write(fd.get(), bytes))
        return fail(std::strerror(errno));
    if (!fsys::FlushToDisk(fd.get()))
        return fail(fsys::LastFailure());
    if (!fd.close())
        return fail(fsys::LastFailure());
    replacement.target = target;
    replacement.temporary = temporary;
    return FileStatus::success();
}

// Puts a prepared replacement in place (nothing to do when the file needed no change).
FileStatus placeReplacement(Replacement& replacement) {
    if (replacement.temporary.empty())
        return FileStatus::success();
    if (!fsys::MoveIntoPlace(replacement.temporary, replacement.target))
        return FileStatus::failure(failureText(replacement.target, fsys::LastFailure()));
    replacement.temporary.clear();
    fsys::FlushFolder(folderOf(replacement.target));
    return FileStatus::success();
}

std::string capText(std::size_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

} // namespace

std::size_t IniFile::countLineEnds(std::string_view bytes) {
    std::string decoded;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        TextEncoding encoding{};
        decoded = decodeText(bytes, encoding);
        bytes = decoded;
    }
    // CR LF is one line end, as are a lone CR and a lone LF.
    std::size_t ends = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == bytes.size() || bytes[i + 1] != '\n')))
            ++ends;
    }
    return ends;
}

bool FileSink::write(int fd, std::string_view data) {
    while (!data.empty()) {
        const long n = fsys::WriteSome(fd, data.data(), data.size());
        if (n <= 0)
            return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

IniRead IniFile::read(const fs::path& file) {
    IniRead result;
    auto unreadable = [&](const std::string& reason) {
        result.state = FileState::Unreadable;
        result.error = failureText(file, reason);
        LogDetail(LogCategory::Files) << "unreadable: " << result.error;
        return std::move(result);
    };
    // The type is checked before opening, and the open never waits, so a FIFO or a device in the
    // file's place is refused instead of blocking the program.
    const std::optional<fsys::FileFacts> facts = fsys::Examine(file);
    if (!facts)
        return unreadable(fsys::LastFailure());
    if (facts->kind == fsys::FileFacts::Kind::Missing)
        return result;
    if (facts->kind == fsys::FileFacts::Kind::Folder)
        return unreadable("is a folder, not a file");
    if (facts->kind != fsys::FileFacts::Kind::Regular)
        return unreadable("is not a regular file");
    if (facts->size > MaxFileBytes)
        return unreadable("is larger than " + capText(MaxFileBytes));

    bool missing = false;
    FileDescriptor fd(fsys::OpenForReading(file, missing));
    if (fd.get() < 0)
        return missing ? std::move(result) : unreadable(fsys::LastFailure());
    const std::optional<fsys::FileFacts> opened = fsys::ExamineOpen(fd.get());
    if (!opened)
        return unreadable(fsys::LastFailure());
    if (opened->kind != fsys::FileFacts::Kind::Regular)
        return unreadable("is not a regular file");
    if (opened->size > MaxFileBytes)
        return unreadable("is larger than " + capText(MaxFileBytes));
    const auto expected = static_cast<std::size_t>(opened->size);
    if (expected > MaxFileBytes)
        return unreadable("is larger than " + capText(MaxFileBytes));

    // One byte more than the file holds, so a file that grew under us shows as a size mismatch too.
    std::string bytes(expected + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const long n = fsys::ReadSome(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0)
            return unreadable(fsys::LastFailure());
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got != expected)
        return unreadable("read " + std::to_string(got) + " of its " + std::to_string(expected) + " bytes");
    bytes.resize(got);
    if (countLineEnds(bytes) > MaxLineBreaks)
        return unreadable("has more than " + std::to_string(MaxLineBreaks) + " lines");
    result.state = FileState::Readable;
    result.document = IniDocument::parse(bytes);
    return result;
}

IniDocument IniFile::load(const fs::path& file) { return read(file).document; }

IniRead IniFile::readLocked(const fs::path& file) {
    fs::path target;
    if (FileStatus followed = writeTarget(file, target); !followed)
        return read(file);
    std::unique_lock threadGuard(threadLockFor(target));
    FileDescriptor lock(-1);
    if (FileStatus locked = lockAcross(target, lock); !locked)
        LogDetail(LogCategory::Files) << "read without the lock: " << locked.message();
    return read(target);
}

std::string IniFile::readString(const fs::path& file, std::string_view section, std::string_view key,
                                std::string_view defaultValue, std::size_t bufferChars) {
    return load(file).read(section, key, defaultValue, bufferChars);
}

FileStatus IniFile::writeString(const fs::path& file, std::string_view section, std::string_view key,
                                std::string_view value) {
    return update(file, [&](IniDocument& doc) {
        doc.write(section, key, value);
        return FileStatus::success();
    });
}

FileStatus IniFile::lockedTooLong(const fs::path& file) {
    return FileStatus::failure(failureText(file, "another program has held it locked for too long"));
}

FileStatus IniFile::lockFree(const fs::path& file) {
    fs::path target;
    if (FileStatus followed = writeTarget(file, target); !followed)
        return FileStatus::success(); // the save says why
    std::unique_lock threadGuard(threadLockFor(target), std::try_to_lock);
    if (!threadGuard.owns_lock())
        return FileStatus::failure(failureText(file, "is being saved"));
    FileDescriptor lock(fsys::OpenLockFile(lockFileOf(target)));
    if (lock.get() < 0)
        return FileStatus::success();
    if (fsys::TryLock(lock.get()) == fsys::LockAttempt::Busy)
        return FileStatus::failure(failureText(file, "is locked by another program"));
    return FileStatus::success(); // the lock goes when the descriptor closes
}

namespace {

// One file's share of an update: its locks (held until it goes) and its prepared replacement.
struct Prepared {
    std::unique_lock<std::mutex> threadGuard;
    FileDescriptor lock;
    Replacement replacement;
    std::size_t bytes = 0;
};

// Locks, reads and changes the file, and writes and flushes its replacement beside it; the
// replacement is not yet in place.
FileStatus prepare(const fs::path& file, const IniFile::Change& change, FileSink& sink, FileLock locking,
                   Prepared& prepared) {
    fs::path target;
    if (FileStatus followed = writeTarget(file, target); !followed)
        return followed;
    prepared.threadGuard = std::unique_lock(threadLockFor(target));
    if (locking == FileLock::AcrossProcesses) {
        if (FileStatus locked = lockAcross(target, prepared.lock); !locked)
            return locked;
        removeStaleTemporaries(target);
    }

    IniRead before = IniFile::read(target);
    if (before.unreadable())
        return before.status();
    std::optional<fsys::FileFacts> existing;
    if (before.state == FileState::Readable)
        existing = fsys::Examine(target);
    const bool exists = existing && existing->kind == fsys::FileFacts::Kind::Regular;
    if (exists && !existing->writable)
        return FileStatus::failure(failureText(file, "is read-only (no write permission)"));

    const std::string oldBytes = exists ? before.document.serialize() : std::string{};
    IniDocument doc = std::move(before.document);
    if (FileStatus changed = change(doc); !changed)
        return changed;
    const std::string newBytes = doc.serialize();
    if (exists && newBytes == oldBytes) {
        LogDetail(LogCategory::Files) << fsys::Utf8Of(target) << " holds these settings already: not rewritten";
        return FileStatus::success();
    }
    // The program would refuse to read a file past its caps: such a change is refused instead.
    if (newBytes.size() > IniFile::MaxFileBytes)
        return FileStatus::failure(failureText(file, "not saved: the change would make it larger than " +
                                                         capText(IniFile::MaxFileBytes) + ", the most the program reads"));
    if (IniFile::countLineEnds(newBytes) > IniFile::MaxLineBreaks)
        return FileStatus::failure(failureText(file, "not saved: the change would give it more than " +
                                                         std::to_string(IniFile::MaxLineBreaks) +
                                                         " lines, the most the program reads"));
    FileStatus written = writeTemporary(target, newBytes, exists ? &*existing : nullptr, sink, prepared.replacement);
    prepared.bytes = newBytes.size();
    if (!written)
        LogDetail(LogCategory::Files) << "not saved: " << written.message();
    return written;
}

} // namespace

FileStatus IniFile::update(const fs::path& file, const Change& change, FileSink* sink, FileLock locking) {
    FileSink plain;
    Prepared prepared;
    if (FileStatus ready = prepare(file, change, sink ? *sink : plain, locking, prepared); !ready)
        return ready;
    const fs::path target = prepared.replacement.target;
    FileStatus placed = placeReplacement(prepared.replacement);
    if (!placed)
        LogDetail(LogCategory::Files) << "not saved: " << placed.message();
    else if (!target.empty())
        LogDetail(LogCategory::Files) << "saved " << fsys::Utf8Of(target) << " (" << prepared.bytes << " bytes)";
    return placed;
}

FileStatus IniFile::updateBoth(const fs::path& first, const Change& firstChange, const fs::path& second,
                               const Change& secondChange, bool& firstReplaced, FileSink* sink) {
    firstReplaced = false;
    FileSink plain;
    Prepared one, two;
    if (FileStatus ready = prepare(first, firstChange, sink ? *sink : plain, FileLock::AcrossProcesses, one); !ready)
        return ready;
    if (FileStatus ready = prepare(second, secondChange, sink ? *sink : plain, FileLock::AcrossProcesses, two); !ready)
        return ready;
    if (FileStatus placed = placeReplacement(one.replacement); !placed)
        return placed;
    firstReplaced = true;
    FileStatus placed = placeReplacement(two.replacement);
    if (!placed)
        LogDetail(LogCategory::Files) << fsys::Utf8Of(first) << " saved, but not " << placed.message();
    return placed;
}

FileStatus IniFile::replaceWhole(const fs::path& file, std::string_view bytes, FileSink* sink) {
    FileSink plain;
    fs::path target;
    if (FileStatus followed = writeTarget(file, target); !followed)
        return followed;
    std::lock_guard threadGuard(threadLockFor(target));
    const std::optional<fsys::FileFacts> existing = fsys::Examine(target);
    if (!existing)
        return FileStatus::failure(failureText(file, fsys::LastFailure()));
    const bool exists = existing->kind == fsys::FileFacts::Kind::Regular;
    if (existing->kind != fsys::FileFacts::Kind::Missing && !exists)
        return FileStatus::failure(failureText(file, "is not a regular file: not replaced"));
    if (exists && !existing->writable)
        return FileStatus::failure(failureText(file, "is read-only (no write permission)"));
    Replacement replacement;
    FileStatus written = writeTemporary(target, bytes, exists ? &*existing : nullptr, sink ? *sink : plain, replacement);
    if (written)
        written = placeReplacement(replacement);
    if (written)
        LogDetail(LogCategory::Files) << "saved " << fsys::Utf8Of(target) << " (" << bytes.size() << " bytes)";
    else
        LogDetail(LogCategory::Files) << "not saved: " << written.message();
    return written;
}

bool IniFile::exists(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

} // namespace krv
