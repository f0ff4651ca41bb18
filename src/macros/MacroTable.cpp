// SPDX-License-Identifier: MIT
#include "macros/MacroTable.h"

#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "settings/TextCodec.h"

#include <algorithm>
#include <cassert>

namespace krv {

namespace {

constexpr const char* MacroSection = "Macros";
constexpr const char* CountKey = "macroNum";
constexpr std::size_t FieldCount = MacroRecord::Size;
constexpr std::size_t ValueChars = 3 * FieldCount; // 3192

// Record byte of file field k: the record order, except that each event's code, action and delay
// bytes follow one another (44 + 4j .. 47 + 4j).
std::size_t recordOffsetOfField(std::size_t k) {
    if (k < MacroRecord::EventPairsOffset)
        return k;
    const std::size_t j = (k - MacroRecord::EventPairsOffset) / 4;
    switch ((k - MacroRecord::EventPairsOffset) % 4) {
    case 0: return MacroRecord::EventPairsOffset + 2 * j;
    case 1: return MacroRecord::EventPairsOffset + 2 * j + 1;
    case 2: return MacroRecord::DelaysOffset + 2 * j;
    default: return MacroRecord::DelaysOffset + 2 * j + 1;
    }
}

std::string encodeRecord(const MacroRecord& record) {
    std::string value;
    value.reserve(ValueChars);
    for (std::size_t k = 0; k < FieldCount; ++k) {
        const unsigned b = record.bytes[recordOffsetOfField(k)];
        value += static_cast<char>('0' + b / 100);
        value += static_cast<char>('0' + (b / 10) % 10);
        value += static_cast<char>('0' + b % 10);
    }
    return value;
}

MacroRecord decodeRecord(std::string_view value) {
    MacroRecord record;
    for (std::size_t k = 0; k < FieldCount; ++k) {
        const std::size_t start = 3 * k;
        std::string_view field = start < value.size() ? value.substr(start, 3) : std::string_view{};
        record.bytes[recordOffsetOfField(k)] = static_cast<std::uint8_t>(static_cast<unsigned>(leadingInt(field)) & 0xFF);
    }
    return record;
}

// A file that replaces the user's macros must say how many it holds, as a plain count the table has
// room for, and hold every record it counts: anything less would silently empty or shorten the table.
FileStatus checkMacroSource(const IniDocument& doc, const std::string& name) {
    const auto count = doc.value(MacroSection, CountKey);
    if (!count)
        return FileStatus::failure(name + ": not a macro file (no \"" + CountKey + "\" in a section \"" +
                                   MacroSection + "\")");
    const std::string_view text = *count; // values are read trimmed
    const bool digits = !text.empty() && text.size() <= 2 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    const int n = digits ? leadingInt(text) : -1;
    if (n < 0 || n > MacroTable::Capacity)
        return FileStatus::failure(name + ": not a macro file (\"" + CountKey + "\" is \"" + std::string(*count) +
                                   "\", not a count from 0 to " + std::to_string(MacroTable::Capacity) + ")");
    for (int i = 0; i < n; ++i) {
        const auto record = doc.value(MacroSection, std::to_string(i));
        if (!record || record->empty())
            return FileStatus::failure(name + ": not a macro file (\"" + CountKey + "\" counts " + std::to_string(n) +
                                       " macros but macro " + std::to_string(i) + " is missing)");
    }
    return FileStatus::success();
}

} // namespace

int MacroTable::count() const {
    std::lock_guard guard(m_mutex);
    return m_count;
}

MacroRecord MacroTable::record(int position) const {
    assert(position >= 0 && position < Capacity);
    std::lock_guard guard(m_mutex);
    return m_records[static_cast<std::size_t>(std::clamp(position, 0, Capacity - 1))];
}

std::u16string MacroTable::name(int position) const { return record(position).name(); }

std::string MacroTable::nameUtf8(int position) const { return utf16ToUtf8(name(position)); }

MacroEvent MacroTable::event(int position, int j) const {
    std::lock_guard guard(m_mutex);
    return m_records[static_cast<std::size_t>(std::clamp(position, 0, Capacity - 1))].event(
        std::clamp(j, 0, MacroRecord::EventSlots - 1));
}

int MacroTable::FindMacroByName(std::u16string_view name) const {
    std::lock_guard guard(m_mutex);
    for (int i = 0; i < m_count; ++i)
        if (m_records[static_cast<std::size_t>(i)].name() == name)
            return i;
    return m_count;
}

FileStatus LoadMacroFile(MacroTable& table, const std::filesystem::path& path, UiNotifier& notifier) {
    const IniRead read = IniFile::read(path);
    if (read.unreadable())
        return read.status();
    if (read.state == FileState::Missing)
        notifier.showMessage(Messages::DataFileMissing);
    ReadMacroDocument(table, read.document);
    return FileStatus::success();
}

FileStatus LoadMacroSource(MacroTable& table, const std::filesystem::path& path) {
    const IniRead read = IniFile::read(path);
    if (read.unreadable())
        return read.status();
    if (read.state == FileState::Missing)
        return FileStatus::failure(fsys::Utf8Of(path) + ": No such file or directory");
    if (const FileStatus usable = checkMacroSource(read.document, fsys::Utf8Of(path)); !usable)
        return usable;
    ReadMacroDocument(table, read.document);
    return FileStatus::success();
}

void ReadMacroDocument(MacroTable& table, const IniDocument& doc) {
    // "macroNum" is read into a 3-character buffer: at most two characters count.
    const int count = std::clamp(doc.readInt(MacroSection, CountKey, 3), 0, MacroTable::Capacity);
    table.modify([&](MacroTable::Records& records, std::int16_t& tableCount) {
        tableCount = static_cast<std::int16_t>(count);
        for (int i = 0; i < count; ++i)
            records[static_cast<std::size_t>(i)] = decodeRecord(doc.read(MacroSection, std::to_string(i), {}, ValueChars + 1));
    });
    table.current = count > 0 ? count - 1 : 0;
}

void WriteMacroDocument(const MacroTable& table, IniDocument& doc) {
    table.inspect([&](const MacroTable::Records& records, std::int16_t count) {
        doc.write(MacroSection, CountKey, std::to_string(count));
        for (int i = 0; i < count; ++i)
            doc.write(MacroSection, std::to_string(i), encodeRecord(records[static_cast<std::size_t>(i)]));
    });
}

FileStatus SaveMacroFile(const MacroTable& table, const std::filesystem::path& path, FileLock locking) {
    return IniFile::update(
        path,
        [&](IniDocument& doc) {
            WriteMacroDocument(table, doc);
            return FileStatus::success();
        },
        nullptr, locking);
}

MacroSnapshot SnapshotOf(const MacroTable& table) {
    return table.inspect([](const MacroTable::Records& records, std::int16_t count) {
        const auto n = static_cast<std::size_t>(std::clamp<int>(count, 0, MacroTable::Capacity));
        return MacroSnapshot{
            std::vector<MacroRecord>(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(n))};
    });
}

MacroSnapshot ReadMacroSnapshot(const IniDocument& doc) {
    MacroTable table;
    ReadMacroDocument(table, doc);
    return SnapshotOf(table);
}

FileStatus SaveMacroFileOver(const MacroTable& table, const std::filesystem::path& path, const MacroSnapshot& expected,
                             bool& changedOutside) {
    changedOutside = false;
    FileStatus saved = IniFile::update(path, [&](IniDocument& doc) {
        if (ReadMacroSnapshot(doc) != expected) {
            changedOutside = true;
            return FileStatus::failure("changed by another program");
        }
        WriteMacroDocument(table, doc);
        return FileStatus::success();
    });
    return changedOutside ? FileStatus::success() : saved;
}

} // namespace krv
