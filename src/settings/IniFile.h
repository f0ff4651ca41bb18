#pragma once

#include "settings/IniDocument.h"

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
    // Writes all of data to the open descriptor; false on any failure.
    virtual bool write(int fd, std::string_view data);
};

// Reading and writing INI files on disk with the private-profile semantics of IniDocument.
// - A missing or unreadable file reads as empty: every key gives its default.
// - Every change replaces the file atomically (a temporary file in the same folder, flushed, then
//   renamed over it), and changes to one file are serialised within the process, so two threads
//   saving at once, or a crash mid-save, never leave a torn file or a lost key.
// - A file is written back in the encoding it had; a new file is UTF-8 without BOM with CRLF lines.
// - Files larger than MaxFileBytes are not read (they read as empty) and never rewritten.
class IniFile {
public:
    static constexpr std::size_t MaxFileBytes = 32u << 20;

    static IniDocument load(const std::filesystem::path& file);

    // GetPrivateProfileStringW: the value or the default, cut to bufferChars - 1 UTF-16 units.
    static std::string readString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                                  std::string_view defaultValue = {}, std::size_t bufferChars = 260);

    // WritePrivateProfileString of one key; true when the file was replaced.
    static bool writeString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                            std::string_view value);

    // One read-modify-replace: loads the file, lets change() edit the document, and replaces the file
    // once if anything changed. The result equals that of the same writes done one by one.
    static bool update(const std::filesystem::path& file, const std::function<void(IniDocument&)>& change,
                       FileSink* sink = nullptr);

    // Replaces a file's contents atomically; the old file stays whole when anything fails.
    static bool replaceFile(const std::filesystem::path& file, std::string_view bytes, FileSink* sink = nullptr);

    static bool exists(const std::filesystem::path& file);
};

} // namespace krv
