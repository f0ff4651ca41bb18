// SPDX-License-Identifier: MIT
#include "macros/MacroTable.h"
#include "unit/RequireOk.h"
#include "settings/IniFile.h"

#include "fakes/RecordingNotifier.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

using namespace krv;
using krv::test::readFile;
using krv::test::RecordingNotifier;
using krv::test::TempDir;
using krv::test::writeFile;

namespace {

MacroRecord sampleRecord(const std::u16string& name, int events) {
    MacroRecord r;
    for (std::size_t i = 0; i < r.bytes.size(); ++i)
        r.bytes[i] = static_cast<std::uint8_t>(i * 31 + 7); // every byte distinct from its neighbours
    r.setName(name);
    r.setRepeatEnabled(1);
    r.setRepeatCount(300);
    r.setEventCount(static_cast<std::uint8_t>(events));
    r.setEvent(0, {0x41, MacroActionDown, 30});
    r.setEvent(1, {0x41, MacroActionUp, 65535});
    return r;
}

TEST(MacroRecordLayout, FieldsLieAtTheirOffsets) {
    MacroRecord r;
    r.setName(u"M1");
    r.setRepeatEnabled(1);
    r.setRepeatCount(0x1234);
    r.setEventCount(3);
    r.setEvent(2, {0xF0, 2, 0xABCD});
    EXPECT_EQ(r.bytes[0], 'M');
    EXPECT_EQ(r.bytes[2], '1');
    EXPECT_EQ(r.bytes[4], 0);
    EXPECT_EQ(r.bytes[40], 1);
    EXPECT_EQ(r.bytes[41], 0x34);
    EXPECT_EQ(r.bytes[42], 0x12);
    EXPECT_EQ(r.bytes[43], 3);
    EXPECT_EQ(r.bytes[48], 0xF0);
    EXPECT_EQ(r.bytes[49], 2);
    EXPECT_EQ(r.bytes[558], 0xCD);
    EXPECT_EQ(r.bytes[559], 0xAB);
}

TEST(MacroRecordLayout, NameWithoutTerminatorStopsAtTheField) {
    MacroRecord r;
    r.bytes.fill('A');
    EXPECT_EQ(r.name().size(), MacroRecord::NameUnits);
    r.setName(u"a name much longer than nineteen units");
    EXPECT_EQ(r.name(), u"a name much longer ");
}

TEST(MacroFile, WriteThenReadKeepsEveryByte) {
    TempDir dir;
    auto file = dir / "Macro_EN.dat";
    MacroTable table;
    table.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0] = sampleRecord(u"Reload", 2);
        records[1] = sampleRecord(u"宏二", 254);
        count = 2;
    });
    ASSERT_TRUE(SaveMacroFile(table, file));
    std::string text = readFile(file);
    EXPECT_NE(text.find("macroNum=2"), std::string::npos);
    EXPECT_EQ(IniFile::readString(file, "Macros", "0", "", 4000).size(), 3192u);

    MacroTable loaded;
    RecordingNotifier notifier;
    krv::test::requireOk(LoadMacroFile(loaded, file, notifier));
    EXPECT_TRUE(notifier.messages().empty());
    ASSERT_EQ(loaded.count(), 2);
    EXPECT_EQ(loaded.record(0), table.record(0));
    EXPECT_EQ(loaded.record(1), table.record(1));
    EXPECT_EQ(loaded.current, 1);
    EXPECT_EQ(loaded.name(1), u"宏二");
}

TEST(MacroFile, NameFieldsAreSpelledAsThreeDigits) {
    TempDir dir;
    auto file = dir / "m.dat";
    MacroTable table;
    table.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0] = MacroRecord{};
        records[0].setName(u"M1");
        records[0].setEventCount(1);
        records[0].setEvent(0, {65, 1, 258});
        count = 1;
    });
    ASSERT_TRUE(SaveMacroFile(table, file));
    std::string value = IniFile::readString(file, "Macros", "0", "", 4000);
    EXPECT_EQ(value.substr(0, 12), "077000049000");
    EXPECT_EQ(value.substr(3 * 43, 15), "001065001002001"); // count, then code, action, delay low, high
}

TEST(MacroFile, HandEditedFilesAreReadSafely) {
    TempDir dir;
    auto file = dir / "m.dat";
    const struct {
        const char* text;
        int count;
    } cases[] = {
        {"[Macros]\nmacroNum=99\n", 12}, // room for twelve only
        {"[Macros]\nmacroNum=-5\n", 0},
        {"[Macros]\nmacroNum=123\n", 12}, // three-character buffer: "12"
        {"[Macros]\nmacroNum=x\n", 0},
        {"[Macros]\nmacroNum=2\n0=077000300\n", 2},
    };
    for (const auto& c : cases) {
        writeFile(file, c.text);
        MacroTable table;
        RecordingNotifier notifier;
        krv::test::requireOk(LoadMacroFile(table, file, notifier));
        EXPECT_EQ(table.count(), c.count) << c.text;
        EXPECT_EQ(table.current, c.count > 0 ? c.count - 1 : 0);
    }
    MacroTable table;
    RecordingNotifier notifier;
    writeFile(file, "[Macros]\nmacroNum=1\n0=077000300\n");
    krv::test::requireOk(LoadMacroFile(table, file, notifier));
    MacroRecord r = table.record(0);
    EXPECT_EQ(r.bytes[0], 77);
    EXPECT_EQ(r.bytes[2], 300 & 0xFF); // low 8 bits of "300"
    EXPECT_EQ(r.bytes[3], 0);          // short value: missing fields are 0
    EXPECT_EQ(r.eventCount(), 0);
}

TEST(MacroFile, MissingFileIsReportedOnceAndLeavesAnEmptyTable) {
    TempDir dir;
    MacroTable table;
    table.modify([](MacroTable::Records&, std::int16_t& count) { count = 3; });
    RecordingNotifier notifier;
    krv::test::requireOk(LoadMacroFile(table, dir / "none.dat", notifier));
    EXPECT_EQ(notifier.messages(), std::vector<std::string>{"找不到配置文件"});
    EXPECT_EQ(table.count(), 0);
    EXPECT_EQ(table.current, 0);
}

TEST(MacroFile, ShorterTableLeavesOldKeysThatNoReaderSees) {
    TempDir dir;
    auto file = dir / "m.dat";
    MacroTable table;
    table.modify([](MacroTable::Records& records, std::int16_t& count) {
        for (int i = 0; i < 5; ++i)
            records[i] = sampleRecord(u"m" + std::u16string(1, static_cast<char16_t>(u'0' + i)), 1);
        count = 5;
    });
    ASSERT_TRUE(SaveMacroFile(table, file));
    table.modify([](MacroTable::Records&, std::int16_t& count) { count = 3; });
    ASSERT_TRUE(SaveMacroFile(table, file));
    EXPECT_EQ(IniFile::readString(file, "Macros", "macroNum"), "3");
    EXPECT_FALSE(IniFile::readString(file, "Macros", "4", "", 4000).empty());
    MacroTable loaded;
    RecordingNotifier notifier;
    krv::test::requireOk(LoadMacroFile(loaded, file, notifier));
    EXPECT_EQ(loaded.count(), 3);
}

TEST(MacroTableLookup, FindMacroByNameIsExact) {
    MacroTable table;
    EXPECT_EQ(table.FindMacroByName(u"a"), 0);
    table.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0].setName(u"Alpha");
        records[1].setName(u"alpha");
        records[2].setName(u"Beta");
        count = 2;
    });
    EXPECT_EQ(table.FindMacroByName(u"alpha"), 1);
    EXPECT_EQ(table.FindMacroByName(u"Alpha"), 0);
    EXPECT_EQ(table.FindMacroByName(u"Beta"), 2); // beyond count: not found, count returned
}

// A save over the file as the program last read it writes; once another program has changed the
// file since, it writes nothing and says so, and the other program's macros stay byte for byte.
TEST(MacroFile, SaveOverWritesOnlyOverTheMacrosItRead) {
    TempDir dir;
    auto file = dir / "Macro_EN.dat";
    MacroTable mine;
    mine.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0] = sampleRecord(u"Mine", 2);
        count = 1;
    });
    ASSERT_TRUE(SaveMacroFile(mine, file));
    const MacroSnapshot read = SnapshotOf(mine);
    EXPECT_EQ(ReadMacroSnapshot(IniFile::load(file)), read);

    mine.modify([](MacroTable::Records& records, std::int16_t&) { records[0].setRepeatCount(7); });
    bool changedOutside = true;
    ASSERT_TRUE(SaveMacroFileOver(mine, file, read, changedOutside));
    EXPECT_FALSE(changedOutside);
    EXPECT_EQ(ReadMacroSnapshot(IniFile::load(file)), SnapshotOf(mine));

    MacroTable theirs;
    theirs.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0] = sampleRecord(u"Theirs", 2);
        records[1] = sampleRecord(u"Theirs too", 2);
        count = 2;
    });
    ASSERT_TRUE(SaveMacroFile(theirs, file));
    const std::string before = readFile(file);
    ASSERT_TRUE(SaveMacroFileOver(mine, file, SnapshotOf(mine), changedOutside));
    EXPECT_TRUE(changedOutside);
    EXPECT_EQ(readFile(file), before);
}

} // namespace
