// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace krv {

enum class TextEncoding { Utf8, Utf8Bom, Utf16LeBom };

// Converts text to a number the way every value of the program's files is read: leading white
// space skipped, an optional sign, then decimal digits up to the first other character; 0 when
// there are none. Saturates at the limits of int.
int leadingInt(std::string_view text);

// One INI file in memory, kept line by line exactly as it was read, so that a write changes only
// the line it must and every other byte survives. Lookups follow the Windows private-profile rules:
// - section and key names are compared without regard to ASCII case;
// - spaces and tabs around names and values are ignored, and a value wrapped in matching double or
//   single quotes loses them;
// - the first of duplicate sections wins (later ones are never consulted), and so does the first of
//   duplicate keys;
// - a line whose first non-blank character is ';' is a comment ('#' is not);
// - a section name ends at the first ']'; a '[' line without ']' is ignored;
// - CRLF, LF and CR line ends are all accepted.
// Text is held as UTF-8; the file's own encoding is remembered and used again when serialising.
class IniDocument {
public:
    IniDocument() = default;

    // Decodes raw file bytes: UTF-8 with or without BOM, or UTF-16LE with BOM.
    static IniDocument parse(std::string_view bytes);
    // The document's bytes, in the encoding it was read in (new documents: UTF-8 without BOM).
    std::string serialize() const;

    // The value of a key, or nothing when the section or key is missing.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Reads as GetPrivateProfileStringW does into a buffer of bufferChars wide characters: the value,
    // or defaultValue when missing, cut to at most bufferChars - 1 UTF-16 units (a character outside
    // the Basic Multilingual Plane counts two).
    std::string read(std::string_view section, std::string_view key, std::string_view defaultValue = {},
                     std::size_t bufferChars = 260) const;
    // read() with an empty default, converted by leadingInt().
    int readInt(std::string_view section, std::string_view key, std::size_t bufferChars) const;

    bool hasSection(std::string_view section) const;

    // The keys of a section with their values, in file order; a duplicate key is listed once, with
    // the first value (the one lookups find). Empty when the section is missing.
    std::vector<std::pair<std::string, std::string>> entries(std::string_view section) const;

    // Removes a key's line (the first, and any duplicate of it, so that no older value shows
    // through). Whether there was one.
    bool erase(std::string_view section, std::string_view key);

    // Writes "key=value". A present key keeps its line, its position and its spelling; a new key goes
    // after the last key of its section; a new section goes at the end of the document. Line breaks in
    // the value are replaced by spaces so that a value can never add lines of its own.
    void write(std::string_view section, std::string_view key, std::string_view value);

    TextEncoding encoding() const { return m_encoding; }
    bool empty() const { return m_lines.empty(); }

private:
    enum class LineKind { Other, Section, Key };
    struct Line {
        std::string text;
        std::string eol;
        LineKind kind = LineKind::Other;
        std::string name;   // section or key name, trimmed
        std::string value;  // key value, trimmed and unquoted
        int section = -1;   // index into m_sections of the section the line belongs to
    };
    struct Section {
        std::string name;
        std::size_t headerLine;
    };

    static Line plainLine(std::string text, std::string eol);
    void classify(Line& line, int currentSection);
    void reindex();
    int findSection(std::string_view name) const;
    int findKeyLine(int section, std::string_view key) const;
    const std::string& defaultEol() const;

    std::vector<Line> m_lines;
    std::vector<Section> m_sections;
    TextEncoding m_encoding = TextEncoding::Utf8;
    std::string m_defaultEol = "\r\n";
    // The last byte of a UTF-16 file of odd length: no character, but the file's, so it is kept.
    std::string m_oddTrailingByte;
};

} // namespace krv
