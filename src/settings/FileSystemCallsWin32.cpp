// SPDX-License-Identifier: MIT
// The settings layer's system calls on Windows: wide names, binary descriptors of the C library over
// handles opened with CreateFileW (shared for deletion, so that a reader never stops another process
// from replacing the file), MoveFileExW for the replacement and LockFileEx for the lock.
#include "settings/FileSystemCalls.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace krv::fsys {

namespace fs = std::filesystem;

namespace {

thread_local std::string t_failure;

std::string utf8OfWide(const wchar_t* text, int length) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), bytes, nullptr, nullptr);
    return result;
}

// Records the reason of the failed Win32 call (GetLastError) for LastFailure().
void noteWin32Failure(DWORD code = ::GetLastError()) {
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length > 0 ? utf8OfWide(text, static_cast<int>(length)) : std::string{};
    if (text != nullptr)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    t_failure = message.empty() ? "system error " + std::to_string(code) : message;
}

void noteCrtFailure() {
    t_failure = std::strerror(errno);
}

bool isMissing(DWORD code) {
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// A descriptor of the C library for a handle; the handle is closed when that fails.
int descriptorOf(HANDLE handle, int flags) {
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) {
        noteCrtFailure();
        ::CloseHandle(handle);
    }
    return fd;
}

std::optional<FileFacts> factsOfHandle(HANDLE handle) {
    FileFacts facts;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        facts.kind = FileFacts::Kind::Other;
        return facts;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        noteWin32Failure();
        return std::nullopt;
    }
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.kind = folder ? FileFacts::Kind::Folder : FileFacts::Kind::Regular;
    facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    facts.writable = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    return facts;
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

} // namespace

std::string LastFailure() {
    return t_failure;
}

std::optional<FileFacts> Examine(const fs::path& path) {
    // No access asked for: the facts only. Backup semantics let a folder be opened too.
    HANDLE handle =
        ::CreateFileW(path.wstring().c_str(), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (isMissing(code))
            return FileFacts{};
        noteWin32Failure(code);
        return std::nullopt;
    }
    std::optional<FileFacts> facts = factsOfHandle(handle);
    ::CloseHandle(handle);
    return facts;
}

std::optional<FileFacts> ExamineOpen(int fd) {
    HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE) {
        noteCrtFailure();
        return std::nullopt;
    }
    return factsOfHandle(handle);
}

int OpenForReading(const fs::path& path, bool& missing) {
    HANDLE handle = ::CreateFileW(path.wstring().c_str(), GENERIC_READ, ShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    missing = false;
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        missing = isMissing(code);
        noteWin32Failure(code);
        return -1;
    }
    return descriptorOf(handle, _O_RDONLY);
}

int CreateNew(const fs::path& path) {
    HANDLE handle = ::CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        noteWin32Failure();
        return -1;
    }
    return descriptorOf(handle, _O_WRONLY);
}

long ReadSome(int fd, char* data, std::size_t size) {
    const int n = ::_read(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
    if (n < 0)
        noteCrtFailure();
    return n;
}

long WriteSome(int fd, const char* data, std::size_t size) {
    const int n = ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, INT_MAX)));
    if (n < 0)
        noteCrtFailure();
    return n;
}

bool SetMode(int, std::uint32_t) {
    return true;
}

bool SetOwner(int, std::uint32_t, std::uint32_t) {
    return true;
}

void GiveNewFileToFolderOwner(int, const fs::path&) {}

std::optional<LinkFacts> ExamineLink(const fs::path& path) {
    // Making a link takes a privilege on Windows: the links there are the user's or an administrator's.
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec && status.type() != fs::file_type::not_found)
        return std::nullopt;
    return LinkFacts{status.type() == fs::file_type::symlink, true};
}

bool FlushToDisk(int fd) {
    if (::FlushFileBuffers(handleOf(fd)))
        return true;
    noteWin32Failure();
    return false;
}

bool Close(int fd) {
    if (::_close(fd) == 0)
        return true;
    noteCrtFailure();
    return false;
}

bool MoveIntoPlace(const fs::path& from, const fs::path& to) {
    // A program that has the old file open without sharing it for deletion (a virus scanner, an
    // indexer) refuses the replacement for a moment: it is tried again for up to a second.
    const std::wstring source = from.wstring();
    const std::wstring target = to.wstring();
    for (int attempt = 0;; ++attempt) {
        if (::MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        const DWORD code = ::GetLastError();
        if ((code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED && code != ERROR_LOCK_VIOLATION) ||
            attempt == 20) {
            noteWin32Failure(code);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void FlushFolder(const fs::path&) {
    // MOVEFILE_WRITE_THROUGH has already made the replacement durable.
}

int OpenLockFile(const fs::path& path) {
    // Opening the reparse point itself: a link in the lock file's place is never followed.
    HANDLE handle = ::CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, ShareAll, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        noteWin32Failure();
        return -1;
    }
    return descriptorOf(handle, _O_RDWR);
}

LockAttempt TryLock(int fd) {
    OVERLAPPED whole{};
    if (::LockFileEx(handleOf(fd), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
        return LockAttempt::Locked;
    const DWORD code = ::GetLastError();
    if (code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING)
        return LockAttempt::Busy;
    noteWin32Failure(code);
    return LockAttempt::Failed;
}

unsigned long ProcessId() {
    return ::GetCurrentProcessId();
}

fs::path RunningProgramFile() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size())
            return fs::path(std::wstring(buffer.data(), length));
        buffer.resize(buffer.size() * 2);
    }
}

bool IsUsersOwnFolder(const fs::path& folder) {
    return IsWritableFolder(folder);
}

bool IsWritableFolder(const fs::path& folder) {
    // Access control lists decide, not attributes: the one reliable answer is to create a file.
    static std::atomic<unsigned> counter{0};
    const fs::path probe =
        folder / (L".krv-glyde-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++));
    HANDLE handle =
        ::CreateFileW(probe.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

fs::path EnvironmentFolder(const char* name) {
    const std::wstring wideName(name, name + std::strlen(name));
    const wchar_t* value = ::_wgetenv(wideName.c_str());
    if (value == nullptr || !fs::path(value).is_absolute())
        return {};
    return fs::path(value);
}

fs::path UserSettingsRoot() {
    return EnvironmentFolder("APPDATA");
}

fs::path EarlierUserDataRoot() {
    return {};
}

} // namespace krv::fsys
