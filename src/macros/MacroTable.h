// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroRecord.h"
#include "ports/UiNotifier.h"
#include "settings/FileStatus.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv {

// The user's macros: at most twelve records, positions 0..count-1 in use. The UI thread edits the
// table while the executor plays from it, so every access to records and count goes through the
// table's lock; playback reads each event afresh.
class MacroTable {
public:
    static constexpr int Capacity = 12;
    using Records = std::array<MacroRecord, Capacity>;

    int count() const;
    MacroRecord record(int position) const;           // a copy; position 0..11
    std::u16string name(int position) const;
    std::string nameUtf8(int position) const;
    // Event j of the macro at position, read under the lock (for playback).
    MacroEvent event(int position, int j) const;

    // Runs edit(records, count) under the lock. The edit must keep count within 0..12.
    template <class Edit>
    decltype(auto) modify(Edit&& edit) {
        std::lock_guard guard(m_mutex);
        return edit(m_records, m_count);
    }
    template <class Read>
    decltype(auto) inspect(Read&& read) const {
        std::lock_guard guard(m_mutex);
        return read(m_records, m_count);
    }

    // Position of the first macro among 0..count-1 whose name equals `name` exactly, or count.
    int FindMacroByName(std::u16string_view name) const;

    // Editor state, UI thread only.
    int current = 0;         // the macro the editor shows
    bool recording = false;  // a recording is running
    std::filesystem::path filePath; // the language's own macro file

private:
    mutable std::mutex m_mutex;
    Records m_records{};
    std::int16_t m_count = 0;
};

class IniDocument;

// The table from and into the text of a macro file (section "Macros").
void ReadMacroDocument(MacroTable& table, const IniDocument& doc);
void WriteMacroDocument(const MacroTable& table, IniDocument& doc);

// Replaces the table from a macro file. A missing file shows "找不到配置文件" and leaves the table
// empty. A "macroNum" outside 0..12 is clamped to that range. Sets current to count - 1 (0 when empty).
// An unreadable file fails and leaves the table as it was.
FileStatus LoadMacroFile(MacroTable& table, const std::filesystem::path& path, UiNotifier& notifier);
// Replaces the table from a file that is to replace the user's macros (an import, the defaults): it
// must be readable, hold "macroNum" in section "Macros" as a plain count from 0 to 12, and a non-empty
// value for every record it counts. Otherwise fails with a message, the table unchanged.
FileStatus LoadMacroSource(MacroTable& table, const std::filesystem::path& path);
// Writes "macroNum" and keys "0".."count-1", each the record spelled as 1064 three-digit fields.
// The macros in use of a table (records 0..count-1), to tell whether a file or the table changed since
// they were read or written.
struct MacroSnapshot {
    std::vector<MacroRecord> records;
    bool operator==(const MacroSnapshot&) const = default;
};
MacroSnapshot SnapshotOf(const MacroTable& table);
// The macros a macro file's text holds, read as ReadMacroDocument reads them.
MacroSnapshot ReadMacroSnapshot(const IniDocument& doc);

// SaveMacroFile of the program's macro file, but only while it still holds `expected` (the macros as
// the program last read or saved them): the file's macros are compared under its lock, and when
// another program has changed them nothing is written and changedOutside is set (the status is a
// success). So macros read before another program's change are never written back over it.
FileStatus SaveMacroFileOver(const MacroTable& table, const std::filesystem::path& path, const MacroSnapshot& expected,
                             bool& changedOutside);

// locking: FileLock::None for a file the user chose (an export), see IniFile::update.
FileStatus SaveMacroFile(const MacroTable& table, const std::filesystem::path& path,
                         FileLock locking = FileLock::AcrossProcesses);

} // namespace krv
