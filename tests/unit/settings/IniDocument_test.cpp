// SPDX-License-Identifier: MIT
#include "settings/IniDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using krv::IniDocument;
using krv::leadingInt;

namespace {

struct ReadCase {
    const char* file;
    const char* section;
    const char* key;
    const char* expected; // nullptr: missing
};

TEST(IniDocumentRead, FollowsPrivateProfileRules) {
    const ReadCase cases[] = {
        {"[S]\r\nk=v\r\n", "S", "k", "v"},
        {"[S]\nK=v\n", "s", "k", "v"},                       // names without case
        {"[ Sec ]\n  key \t=  spaced value \t\n", "Sec", "key", "spaced value"},
        {"[S]\nk=\"quoted \"\n", "S", "k", "quoted "},
        {"[S]\nk='single'\n", "S", "k", "single"},
        {"[S]\nk=\"mismatch'\n", "S", "k", "\"mismatch'"},
        {"[S]\nk=\"\n", "S", "k", "\""},
        {"[S]\nk=first\nk=second\n", "S", "k", "first"},      // first key wins
        {"[S]\nk=1\n[S]\nk=2\nother=3\n", "S", "other", nullptr}, // first section wins, later ignored
        {"[S]\n;k=commented\n", "S", "k", nullptr},
        {"[S]\n#k=hash is a key\n", "S", "#k", "hash is a key"},
        {"[S]x]\nk=v\n", "S", "k", "v"},                      // name ends at the first ']'
        {"[S\nk=v\n", "S", "k", nullptr},                      // no ']': not a section
        {"k=v\n[S]\n", "S", "k", nullptr},                     // keys before any section belong to none
        {"[S]\rk=cr\r", "S", "k", "cr"},
        {"[S]\nk=a=b\n", "S", "k", "a=b"},
        {"[S]\nbare\n", "S", "bare", ""},
        {"[A]\nk=a\n[B]\nk=b\n", "B", "k", "b"},
        {"", "S", "k", nullptr},
        {"\xEF\xBB\xBF[S]\nk=bom\n", "S", "k", "bom"},
    };
    for (const ReadCase& c : cases) {
        IniDocument doc = IniDocument::parse(c.file);
        auto value = doc.value(c.section, c.key);
        if (c.expected == nullptr)
            EXPECT_FALSE(value.has_value()) << c.file;
        else
            EXPECT_EQ(value.value_or("<missing>"), c.expected) << c.file;
    }
}

TEST(IniDocumentRead, BufferKeepsAtMostOneLessCharacter) {
    IniDocument doc = IniDocument::parse("[S]\nk=12345\nz=\xE5\xAE\x8B\xE4\xBD\x93\xE5\xAD\x97\n");
    EXPECT_EQ(doc.read("S", "k", "", 5), "1234");
    EXPECT_EQ(doc.read("S", "k", "", 10), "12345");
    EXPECT_EQ(doc.read("S", "missing", "default", 4), "def");
    EXPECT_EQ(doc.read("S", "z", "", 3), "\xE5\xAE\x8B\xE4\xBD\x93"); // characters, not bytes
    EXPECT_EQ(doc.read("S", "k", "", 0), "");
}

TEST(IniDocumentRead, BufferCountsUtf16Units) {
    // "a", U+1F3AE (two units), "b": a character that no longer fits whole is left out.
    const std::string pad = "\xF0\x9F\x8E\xAE";
    IniDocument doc = IniDocument::parse("[S]\nk=a" + pad + "b\n");
    const std::vector<std::pair<std::size_t, std::string>> cases{
        {2, "a"},
        {3, "a"},
        {4, "a" + pad},
        {5, "a" + pad + "b"},
    };
    for (const auto& [buffer, expected] : cases)
        EXPECT_EQ(doc.read("S", "k", "", buffer), expected) << buffer;
}

TEST(IniDocumentRead, Utf16LittleEndianWithBom) {
    std::string bytes = "\xFF\xFE";
    for (char c : std::string("[S]\r\nk=v\r\n")) {
        bytes += c;
        bytes += '\0';
    }
    IniDocument doc = IniDocument::parse(bytes);
    EXPECT_EQ(doc.value("S", "k").value_or(""), "v");
    EXPECT_EQ(doc.encoding(), krv::TextEncoding::Utf16LeBom);
    EXPECT_EQ(doc.serialize(), bytes);
    doc.write("S", "k", "\xE5\xAE\x8B"); // U+5B8B
    EXPECT_NE(doc.serialize().find(std::string("k\0=\0\x8B\x5B", 6)), std::string::npos);
}

struct WriteCase {
    const char* before;
    const char* section;
    const char* key;
    const char* value;
    const char* after;
};

TEST(IniDocumentWrite, ChangesOnlyWhatItMust) {
    const WriteCase cases[] = {
        {"", "S", "k", "1", "[S]\r\nk=1\r\n"},
        {"[S]\nk=old\n", "S", "k", "new", "[S]\nk=new\n"},
        {"[S]\n  Key = old ; note\nx=1\n", "s", "KEY", "7", "[S]\nKey=7\nx=1\n"},   // keeps line and spelling
        {"[S]\na=1\n\n; tail\n[T]\n", "S", "b", "2", "[S]\na=1\nb=2\n\n; tail\n[T]\n"}, // after the last key
        {"[S]\n[T]\n", "S", "k", "v", "[S]\nk=v\n[T]\n"},
        {"[A]\r\na=1", "B", "b", "2", "[A]\r\na=1\r\n[B]\r\nb=2\r\n"},               // new section at the end
        {"[S]\nk=1\n[S]\nk=2\n", "S", "k", "9", "[S]\nk=9\n[S]\nk=2\n"},             // first duplicate
        {"[S]\na=1", "S", "b", "x\ny", "[S]\na=1\nb=x y\n"},                          // no injected lines
        {"junk\r\n[S]\rk=1\r", "S", "k", "2", "junk\r\n[S]\rk=2\r"},
    };
    for (const WriteCase& c : cases) {
        IniDocument doc = IniDocument::parse(c.before);
        doc.write(c.section, c.key, c.value);
        EXPECT_EQ(doc.serialize(), c.after) << c.before;
    }
}

TEST(LeadingInt, ConvertsLikeTheFilesExpect) {
    const std::pair<const char*, int> cases[] = {
        {"", 0}, {"12", 12}, {"  12ab", 12}, {"ab12", 0}, {"-3", -3}, {"+7", 7}, {"\t 9", 9},
        {"-", 0}, {"99999999999999", 2147483647}, {"-99999999999999", -2147483647 - 1}, {"1 2", 1},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(leadingInt(text), expected) << text;
}

TEST(IniDocumentRead, SurvivesBinaryInput) {
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 7919) & 0xFF);
    IniDocument doc = IniDocument::parse(junk);
    (void)doc.value("S", "k");
    doc.write("S", "k", "v");
    EXPECT_EQ(IniDocument::parse(doc.serialize()).value("S", "k").value_or(""), "v");
}

} // namespace

namespace krv {
namespace {

TEST(IniDocumentEntries, ListsKeysOnceAndErasesEveryCopy) {
    IniDocument doc = IniDocument::parse("[A]\r\nx=1\r\n; note\r\nY = 2\r\nX=3\r\n[B]\r\nz=4\r\n");
    const std::vector<std::pair<std::string, std::string>> expected{{"x", "1"}, {"Y", "2"}};
    EXPECT_EQ(doc.entries("a"), expected);
    EXPECT_TRUE(doc.entries("missing").empty());
    EXPECT_TRUE(doc.erase("A", "X"));
    EXPECT_FALSE(doc.erase("A", "x"));
    EXPECT_FALSE(doc.erase("missing", "x"));
    EXPECT_EQ(doc.serialize(), "[A]\r\n; note\r\nY = 2\r\n[B]\r\nz=4\r\n");
}

} // namespace
} // namespace krv
