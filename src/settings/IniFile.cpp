// SPDX-License-Identifier: MIT
#include "settings/IniFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace krv {

namespace fs = std::filesystem;

namespace {

// How long a save waits for another process of the program to finish its own save of the file.
constexpr auto LockPatience = std::chrono::seconds(10);
// The names of the lock and temporary files keep at most this much of the file's name, so that a
// long file name still leaves room for them within the system's limit on a name.
constexpr std::size_t NameStemBytes = 200;

std::string reasonOf(int error) { return std::strerror(error); }

std::string failureText(const fs::path& file, const std::string& reason) { return file.string() + ": " + reason; }

// A descriptor closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
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
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// The file a write really replaces: a link is followed, so the link itself stays a link.
fs::path writeTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(file, ec)) {
        fs::path resolved = fs::weakly_canonical(file, ec);
        if (!ec)
            return resolved;
    }
    return file;
}

fs::path folderOf(const fs::path& file) {
    fs::path folder = file.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::string nameStem(const fs::path& file) { return file.filename().string().substr(0, NameStemBytes); }
fs::path lockFileOf(const fs::path& file) { return folderOf(file) / ("." + nameStem(file) + ".lock"); }
std::string temporaryPrefixOf(const fs::path& file) { return "." + nameStem(file) + ".tmp-"; }

// One mutex per file for the life of the process: threads of one process queue here, processes on
// the lock file.
std::mutex& threadLockFor(const fs::path& file) {
    static std::mutex registryLock;
    static std::map<std::string, std::unique_ptr<std::mutex>> locks;
    std::error_code ec;
    fs::path key = fs::absolute(file, ec);
    std::lock_guard guard(registryLock);
    auto& slot = locks[(ec ? file : key).lexically_normal().string()];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

// Takes the advisory lock every process of the program holds while it reads, changes and replaces
// the file. The lock is held until the descriptor closes (also when the process dies).
FileStatus lockAcross(const fs::path& file, FileDescriptor& lock) {
    const fs::path lockFile = lockFileOf(file);
    lock.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (lock.get() < 0)
        return FileStatus::failure(failureText(file, "cannot save in " + folderOf(file).string() + ": " + reasonOf(errno)));
    // Saves take milliseconds, so the lock is nearly always free; a peer that holds it for longer
    // (stopped in a debugger, say) ends the wait with an error instead of a hang.
    const auto giveUp = std::chrono::steady_clock::now() + LockPatience;
    auto pause = std::chrono::milliseconds(1);
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return FileStatus::failure(failureText(file, "cannot lock " + lockFile.string() + ": " + reasonOf(errno)));
        if (std::chrono::steady_clock::now() > giveUp)
            return FileStatus::failure(failureText(file, "another program has held it locked for too long"));
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return FileStatus::success();
}

// Temporaries of this file that a killed save left behind. Called with the file's lock held, when no
// save of it can be running.
void removeStaleTemporaries(const fs::path& file) {
    const std::string prefix = temporaryPrefixOf(file);
    std::error_code ec;
    for (fs::directory_iterator it(folderOf(file), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) == 0)
            ::unlink(it->path().c_str());
    }
}

FileStatus writeReplacement(const fs::path& target, std::string_view bytes, const struct stat* existing, FileSink& sink) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = folderOf(target);
    const fs::path temporary =
        folder / (temporaryPrefixOf(target) + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    // 0666 less the umask for a new file; a replaced file keeps its own mode.
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (fd.get() < 0)
        return FileStatus::failure(failureText(target, "cannot save in " + folder.string() + ": " + reasonOf(errno)));
    auto fail = [&](int error) {
        static_cast<void>(fd.close());
        ::unlink(temporary.c_str());
        return FileStatus::failure(failureText(target, reasonOf(error)));
    };
    if (existing && ::fchmod(fd.get(), existing->st_mode & 07777) != 0)
        return fail(errno);
    errno = EIO;
    if (!sink.write(fd.get(), bytes))
        return fail(errno);
    if (::fsync(fd.get()) != 0)
        return fail(errno);
    if (!fd.close())
        return fail(errno);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(errno);
    FileDescriptor folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd.get() >= 0)
        ::fsync(folderFd.get());
    return FileStatus::success();
}

} // namespace

bool FileSink::write(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
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
        return std::move(result);
    };
    // The type is checked before opening, and the open never waits, so a FIFO or a device in the
    // file's place is refused instead of blocking the program.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        return errno == ENOENT ? std::move(result) : unreadable(reasonOf(errno));
    if (S_ISDIR(st.st_mode))
        return unreadable("is a folder, not a file");
    if (!S_ISREG(st.st_mode))
        return unreadable("is not a regular file");
    if (static_cast<std::size_t>(st.st_size) > MaxFileBytes)
        return unreadable("is larger than " + std::to_string(MaxFileBytes >> 20) + " MiB");

    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
        return errno == ENOENT ? std::move(result) : unreadable(reasonOf(errno));
    if (::fstat(fd.get(), &st) != 0)
        return unreadable(reasonOf(errno));
    if (!S_ISREG(st.st_mode))
        return unreadable("is not a regular file");
    const auto expected = static_cast<std::size_t>(st.st_size);
    if (expected > MaxFileBytes)
        return unreadable("is larger than " + std::to_string(MaxFileBytes >> 20) + " MiB");

    // One byte more than the file holds, so a file that grew under us shows as a size mismatch too.
    std::string bytes(expected + 1, '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unreadable(reasonOf(errno));
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got != expected)
        return unreadable("read " + std::to_string(got) + " of its " + std::to_string(expected) + " bytes");
    bytes.resize(got);
    const auto lineBreaks = static_cast<std::size_t>(std::count_if(bytes.begin(), bytes.end(), [](char c) { return c == '\n' || c == '\r'; }));
    if (lineBreaks > MaxLineBreaks)
        return unreadable("has more than " + std::to_string(MaxLineBreaks) + " lines");
    result.state = FileState::Readable;
    result.document = IniDocument::parse(bytes);
    return result;
}

IniDocument IniFile::load(const fs::path& file) { return read(file).document; }

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

FileStatus IniFile::update(const fs::path& file, const Change& change, FileSink* sink) {
    FileSink plain;
    const fs::path target = writeTarget(file);
    std::lock_guard threadGuard(threadLockFor(target));
    FileDescriptor lock;
    if (FileStatus locked = lockAcross(target, lock); !locked)
        return locked;
    removeStaleTemporaries(target);

    IniRead before = read(target);
    if (before.unreadable())
        return before.status();
    struct stat existing {};
    const bool exists = before.state == FileState::Readable && ::stat(target.c_str(), &existing) == 0;
    // Root may write anywhere: the file's own mode says whether its owner wants it kept as it is.
    if (exists && ((existing.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0))
        return FileStatus::failure(failureText(file, "is read-only (no write permission)"));

    const std::string oldBytes = exists ? before.document.serialize() : std::string{};
    IniDocument doc = std::move(before.document);
    if (FileStatus changed = change(doc); !changed)
        return changed;
    const std::string newBytes = doc.serialize();
    if (exists && newBytes == oldBytes)
        return FileStatus::success();
    return writeReplacement(target, newBytes, exists ? &existing : nullptr, sink ? *sink : plain);
}

bool IniFile::exists(const fs::path& file) {
    std::error_code ec;
    return fs::is_regular_file(file, ec);
}

} // namespace krv
