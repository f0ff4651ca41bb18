// SPDX-License-Identifier: MIT
// The settings layer's system calls on Linux (and any POSIX system).
#include "settings/FileSystemCalls.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace krv::fsys {

namespace fs = std::filesystem;

namespace {

FileFacts factsOf(const struct stat& st, const char* path) {
    FileFacts facts;
    facts.kind = S_ISREG(st.st_mode)   ? FileFacts::Kind::Regular
                 : S_ISDIR(st.st_mode) ? FileFacts::Kind::Folder
                                       : FileFacts::Kind::Other;
    facts.size = static_cast<std::uint64_t>(st.st_size);
    facts.mode = st.st_mode & 07777;
    facts.owner = st.st_uid;
    facts.group = st.st_gid;
    // Root may write anywhere: the file's own mode says whether its owner wants it kept as it is.
    facts.writable = (st.st_mode & 0222) != 0 && (path == nullptr || ::access(path, W_OK) == 0);
    return facts;
}

} // namespace

std::string LastFailure() {
    return std::strerror(errno);
}

std::optional<FileFacts> Examine(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return FileFacts{};
        return std::nullopt;
    }
    return factsOf(st, path.c_str());
}

std::optional<FileFacts> ExamineOpen(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return std::nullopt;
    return factsOf(st, nullptr);
}

int OpenForReading(const fs::path& path, bool& missing) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    missing = fd < 0 && errno == ENOENT;
    return fd;
}

int CreateNew(const fs::path& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
}

long ReadSome(int fd, char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

long WriteSome(int fd, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

bool SetMode(int fd, std::uint32_t mode) {
    return ::fchmod(fd, static_cast<mode_t>(mode)) == 0;
}

bool SetOwner(int fd, std::uint32_t owner, std::uint32_t group) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    if (st.st_uid == owner && st.st_gid == group)
        return true;
    return ::fchown(fd, static_cast<uid_t>(owner), static_cast<gid_t>(group)) == 0;
}

void GiveNewFileToFolderOwner(int fd, const fs::path& folder) {
    if (::geteuid() != 0)
        return;
    struct stat file {}, owner {};
    if (::fstat(fd, &file) != 0 || ::stat(folder.c_str(), &owner) != 0 || file.st_uid == owner.st_uid)
        return;
    if (::fchown(fd, owner.st_uid, owner.st_gid) != 0) {
        // The file works all the same; only the user's own later saves may be refused, and say why.
    }
}

std::optional<LinkFacts> ExamineLink(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return errno == ENOENT ? std::optional<LinkFacts>(LinkFacts{}) : std::nullopt;
    LinkFacts facts;
    facts.isLink = S_ISLNK(st.st_mode);
    facts.mayFollow = !facts.isLink || st.st_uid == ::geteuid() || st.st_uid == 0;
    return facts;
}

bool FlushToDisk(int fd) {
    return ::fsync(fd) == 0;
}

bool Close(int fd) {
    return ::close(fd) == 0;
}

bool MoveIntoPlace(const fs::path& from, const fs::path& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void FlushFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

int OpenLockFile(const fs::path& path) {
    // flock needs no write permission: a lock file someone else left (the administrator's, from a
    // `sudo krv-glyde-ctl --dir` on the user's folder) is still usable when it can be read.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == EACCES)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 || ::geteuid() != 0)
        return fd;
    // The administrator working in another user's folder leaves the lock file (new, or an empty one
    // of root's) to the folder's owner, so that its mode never locks the user out of their own files.
    struct stat lock {};
    if (::fstat(fd, &lock) == 0 && lock.st_uid == 0 && lock.st_size == 0)
        GiveNewFileToFolderOwner(fd, path.has_parent_path() ? path.parent_path() : fs::path("."));
    return fd;
}

LockAttempt TryLock(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
        return LockAttempt::Locked;
    return errno == EWOULDBLOCK || errno == EINTR ? LockAttempt::Busy : LockAttempt::Failed;
}

unsigned long ProcessId() {
    return static_cast<unsigned long>(::getpid());
}

fs::path RunningProgramFile() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path{} : exe;
}

bool IsWritableFolder(const fs::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

bool IsUsersOwnFolder(const fs::path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || !IsWritableFolder(folder))
        return false;
    if (::geteuid() != 0)
        return true;
    // The administrator owns every folder of the system: where it lies tells an installed program.
    std::error_code ec;
    const fs::path real = fs::weakly_canonical(folder, ec);
    for (const fs::path system : {"/usr", "/opt"}) {
        auto [end, at] = std::mismatch(system.begin(), system.end(), (ec ? folder : real).begin(), (ec ? folder : real).end());
        if (end == system.end())
            return false;
    }
    return true;
}

fs::path EnvironmentFolder(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || !fs::path(value).is_absolute())
        return {};
    return fs::path(value);
}

namespace {

// $<variable>, else $HOME/<underHome>. Only absolute paths count: a relative XDG path is to be ignored.
fs::path xdgFolder(const char* variable, const fs::path& underHome) {
    if (fs::path xdg = EnvironmentFolder(variable); !xdg.empty())
        return xdg;
    if (fs::path home = EnvironmentFolder("HOME"); !home.empty())
        return home / underHome;
    return {};
}

} // namespace

fs::path UserSettingsRoot() {
    return xdgFolder("XDG_CONFIG_HOME", ".config");
}

fs::path EarlierUserDataRoot() {
    return xdgFolder("XDG_DATA_HOME", fs::path(".local") / "share");
}

} // namespace krv::fsys
