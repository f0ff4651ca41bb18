// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <utility>

namespace krv {

// What reading a file found: no file at all, a file whose bytes were all read, or a file that exists
// but could not be read (an I/O error, a short read, a folder or device in its place, no permission,
// over the size cap). An unreadable file is never used as data and never replaced.
enum class FileState { Missing, Readable, Unreadable };

// Whether a save of a file holds the lock that every process of the program shares for it.
enum class FileLock { AcrossProcesses, None };

// The outcome of an operation on the user's files: success, or one line that names the file and the
// system's reason ("/home/u/config.ini: Permission denied"). Callers must look at it.
class [[nodiscard]] FileStatus {
public:
    static FileStatus success() { return FileStatus{}; }
    static FileStatus failure(std::string message) { return FileStatus{std::move(message)}; }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const std::string& message() const { return m_message; }

private:
    FileStatus() = default;
    explicit FileStatus(std::string message) : m_failed(true), m_message(std::move(message)) {}

    bool m_failed = false;
    std::string m_message;
};

} // namespace krv
