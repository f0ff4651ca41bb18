// SPDX-License-Identifier: MIT
#include "settings/IniDocument.h"

#include "settings/TextCodec.h"

#include <climits>

namespace krv {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view unquote(std::string_view s) {
    if (s.size() >= 2 && (s.front() == '"' || s.front() == '\'') && s.back() == s.front())
        return s.substr(1, s.size() - 2);
    return s;
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

// Cuts s to what a buffer of maxUnits UTF-16 units holds: a character outside the Basic
// Multilingual Plane takes two units, and one that no longer fits whole is left out.
std::string cutToUtf16Units(std::string_view s, std::size_t maxUnits) {
    std::size_t units = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if ((byte & 0xC0) == 0x80)
            continue; // inside a character
        const std::size_t width = byte >= 0xF0 ? 2 : 1;
        if (units + width > maxUnits)
            return std::string(s.substr(0, i));
        units += width;
    }
    return std::string(s);
}

std::string withoutLineBreaks(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c == '\r' || c == '\n')
            c = ' ';
    return out;
}

} // namespace

IniDocument::Line IniDocument::plainLine(std::string text, std::string eol) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    return line;
}

int leadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        return static_cast<int>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

IniDocument IniDocument::parse(std::string_view bytes) {
    IniDocument doc;
    std::string text = decodeText(bytes, doc.m_encoding);
    if (doc.m_encoding == TextEncoding::Utf16LeBom && bytes.size() % 2 == 1)
        doc.m_oddTrailingByte = std::string(bytes.substr(bytes.size() - 1));
    std::string_view rest(text);
    bool eolChosen = false;
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of("\r\n");
        Line line;
        if (end == std::string_view::npos) {
            line.text = std::string(rest);
            rest = {};
        } else {
            std::size_t eolLength = (rest[end] == '\r' && end + 1 < rest.size() && rest[end + 1] == '\n') ? 2 : 1;
            line.text = std::string(rest.substr(0, end));
            line.eol = std::string(rest.substr(end, eolLength));
            rest.remove_prefix(end + eolLength);
            if (!eolChosen) {
                doc.m_defaultEol = line.eol;
                eolChosen = true;
            }
        }
        doc.m_lines.push_back(std::move(line));
    }
    doc.reindex();
    return doc;
}

std::string IniDocument::serialize() const {
    std::string text;
    for (const Line& line : m_lines) {
        text += line.text;
        text += line.eol;
    }
    return encodeText(text, m_encoding) + m_oddTrailingByte;
}

void IniDocument::classify(Line& line, int currentSection) {
    line.kind = LineKind::Other;
    line.name.clear();
    line.value.clear();
    line.section = currentSection;
    std::string_view body = trim(line.text);
    if (body.empty() || body.front() == ';')
        return;
    if (body.front() == '[') {
        std::size_t close = body.find(']');
        if (close == std::string_view::npos)
            return;
        line.kind = LineKind::Section;
        line.name = std::string(trim(body.substr(1, close - 1)));
        return;
    }
    if (currentSection < 0)
        return;
    line.kind = LineKind::Key;
    std::size_t eq = body.find('=');
    if (eq == std::string_view::npos) {
        line.name = std::string(body);
        return;
    }
    line.name = std::string(trim(body.substr(0, eq)));
    line.value = std::string(unquote(trim(body.substr(eq + 1))));
}

void IniDocument::reindex() {
    m_sections.clear();
    int current = -1;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        classify(m_lines[i], current);
        if (m_lines[i].kind == LineKind::Section) {
            m_sections.push_back({m_lines[i].name, i});
            current = static_cast<int>(m_sections.size()) - 1;
            m_lines[i].section = current;
        }
    }
}

int IniDocument::findSection(std::string_view name) const {
    std::string_view wanted = trim(name);
    for (std::size_t s = 0; s < m_sections.size(); ++s)
        if (sameName(m_sections[s].name, wanted))
            return static_cast<int>(s);
    return -1;
}

int IniDocument::findKeyLine(int section, std::string_view key) const {
    std::string_view wanted = trim(key);
    for (std::size_t i = m_sections[section].headerLine + 1; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.section != section)
            break;
        if (line.kind == LineKind::Key && sameName(line.name, wanted))
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
    int s = findSection(section);
    if (s < 0)
        return std::nullopt;
    int k = findKeyLine(s, key);
    if (k < 0)
        return std::nullopt;
    return m_lines[k].value;
}

std::string IniDocument::read(std::string_view section, std::string_view key, std::string_view defaultValue,
                              std::size_t bufferChars) const {
    if (bufferChars == 0)
        return {};
    std::optional<std::string> found = value(section, key);
    return cutToUtf16Units(found ? std::string_view(*found) : defaultValue, bufferChars - 1);
}

int IniDocument::readInt(std::string_view section, std::string_view key, std::size_t bufferChars) const {
    return leadingInt(read(section, key, {}, bufferChars));
}

bool IniDocument::hasSection(std::string_view section) const { return findSection(section) >= 0; }

std::vector<std::pair<std::string, std::string>> IniDocument::entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> found;
    const int s = findSection(section);
    if (s < 0)
        return found;
    for (std::size_t i = m_sections[s].headerLine + 1; i < m_lines.size() && m_lines[i].section == s; ++i) {
        const Line& line = m_lines[i];
        if (line.kind != LineKind::Key || line.name.empty())
            continue;
        bool seen = false;
        for (const auto& entry : found)
            seen = seen || sameName(entry.first, line.name);
        if (!seen)
            found.emplace_back(line.name, line.value);
    }
    return found;
}

bool IniDocument::erase(std::string_view section, std::string_view key) {
    const int s = findSection(section);
    if (s < 0)
        return false;
    bool erased = false;
    for (int k = findKeyLine(s, key); k >= 0; k = findKeyLine(s, key)) {
        m_lines.erase(m_lines.begin() + k);
        erased = true;
        reindex();
    }
    return erased;
}

const std::string& IniDocument::defaultEol() const { return m_defaultEol; }

void IniDocument::write(std::string_view section, std::string_view key, std::string_view value) {
    const std::string cleanValue = withoutLineBreaks(value);
    const std::string keyName(trim(withoutLineBreaks(key)));
    int s = findSection(section);
    if (s >= 0) {
        int k = findKeyLine(s, keyName);
        if (k >= 0) {
            m_lines[k].text = m_lines[k].name + "=" + cleanValue;
        } else {
            std::size_t after = m_sections[s].headerLine;
            for (std::size_t i = after + 1; i < m_lines.size() && m_lines[i].section == s; ++i)
                if (m_lines[i].kind == LineKind::Key)
                    after = i;
            if (m_lines[after].eol.empty())
                m_lines[after].eol = defaultEol();
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                           plainLine(keyName + "=" + cleanValue, defaultEol()));
        }
    } else {
        if (!m_lines.empty() && m_lines.back().eol.empty())
            m_lines.back().eol = defaultEol();
        m_lines.push_back(plainLine("[" + std::string(trim(withoutLineBreaks(section))) + "]", defaultEol()));
        m_lines.push_back(plainLine(keyName + "=" + cleanValue, defaultEol()));
    }
    reindex();
}

} // namespace krv
