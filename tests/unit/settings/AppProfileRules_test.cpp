// SPDX-License-Identifier: MIT
#include "settings/AppProfileRules.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>


namespace krv {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

AppProfileRules rulesOf(const std::string& text) { return ReadAppProfileRules(IniDocument::parse(text)); }

TEST(AppProfileRules, ReadsOptionsAndRulesAndLeavesOutWhatCannotBeSent) {
    const AppProfileRules r = rulesOf("[Options]\r\nEnabled=0\r\nNoMatch=4\r\n"
                                      "[Programs]\r\nsteam=2\r\n/usr/games/foo=3\r\nbad=9\r\nzero=0\r\n"
                                      "Steam=5\r\nnoValue\r\n");
    EXPECT_FALSE(r.enabled);
    EXPECT_EQ(r.noMatchProfile, 4);
    // The first of two spellings of a name wins, as for every key; a profile outside 1..5 is dropped.
    const std::vector<AppProfileRule> expected{{"steam", 2}, {"/usr/games/foo", 3}};
    EXPECT_EQ(r.rules, expected);

    const AppProfileRules defaults = rulesOf("");
    EXPECT_TRUE(defaults.enabled);
    EXPECT_EQ(defaults.noMatchProfile, 0);
    EXPECT_TRUE(defaults.rules.empty());
    EXPECT_EQ(rulesOf("[Options]\nNoMatch=6\n").noMatchProfile, 0);
    EXPECT_EQ(rulesOf("[Options]\nNoMatch=-1\n").noMatchProfile, 0);
}

TEST(AppProfileRules, ChoosesTheProfileOfTheProgramInFront) {
    AppProfileRules r;
    r.rules = {{"Navigator", 1}, {"firefox", 2}, {"/opt/firefox/firefox", 3}, {"xterm", 4}};
    struct Case {
        ProgramInFront program;
        int noMatch;
        std::optional<int> expected;
    };
    const Case cases[] = {
        // the full path beats the file name, which beats the window class
        {{"/opt/firefox/firefox", "Navigator", "firefox"}, 0, 3},
        {{"/usr/lib/firefox/firefox", "Navigator", "Firefox"}, 0, 2},
        {{"", "Navigator", "Firefox"}, 0, 1},
        // names match without regard to case, either half of the class
        {{"/usr/bin/XTerm", "", ""}, 0, 4},
        {{"", "other", "XTERM"}, 0, 4},
        // a path rule never matches a file name alone, a file name never a longer one
        {{"/usr/bin/firefox-esr", "", ""}, 0, std::nullopt},
        {{"/usr/bin/firefox-esr", "", ""}, 5, 5},
        {{"", "", ""}, 0, std::nullopt},
        {{"", "", ""}, 2, 2},
    };
    for (const Case& c : cases) {
        r.noMatchProfile = c.noMatch;
        EXPECT_EQ(r.profileFor(c.program), c.expected) << c.program.executable << " " << c.program.windowClass;
    }
    // Windows paths name their folders with backslashes.
    AppProfileRules windows;
    windows.rules = {{"foo.exe", 1}, {"C:\\Games\\FOO.exe", 5}};
    EXPECT_EQ(windows.profileFor({"C:\\Games\\foo.exe", "", ""}), 5);
    EXPECT_EQ(windows.profileFor({"D:\\foo.exe", "", ""}), 1);
    // Written as a Windows user writes them: without ".exe", or with the other separator.
    AppProfileRules written;
    written.rules = {{"game", 2}, {"C:/Games/Other.exe", 3}};
    EXPECT_EQ(written.profileFor({"C:\\Games\\GAME.EXE", "", ""}), 2);
    EXPECT_EQ(written.profileFor({"C:\\Games\\other.exe", "", ""}), 3);
    EXPECT_EQ(written.profileFor({"C:\\Games\\game.exe.bak", "", ""}), std::nullopt);
    EXPECT_EQ(written.profileFor({"/usr/games/game", "", ""}), 2);

    r.enabled = false;
    r.noMatchProfile = 2;
    EXPECT_EQ(r.profileFor({"/usr/bin/xterm", "", ""}), std::nullopt);
}

TEST(AppProfileRules, ChangesOnlyItsOwnFileKeepingHandWrittenLines) {
    TempDir dir;
    const auto file = dir / AppProfilesFileName;
    const auto config = dir / "config.ini";
    writeFile(config, "[Init]\r\nCurConfig=1\r\n");
    writeFile(file, "; my games\r\n[Programs]\r\nSteam=2\r\n");

    ASSERT_TRUE(AddAppProfileRule(file, "/usr/games/foo", 3).ok());
    ASSERT_TRUE(AddAppProfileRule(file, "steam", 4).ok()); // replaces, keeps the spelling
    ASSERT_TRUE(SetAppProfileNoMatch(file, 1).ok());
    ASSERT_TRUE(SetAppProfilesEnabled(file, false).ok());
    EXPECT_EQ(readFile(file), "; my games\r\n[Programs]\r\nSteam=4\r\n/usr/games/foo=3\r\n"
                              "[Options]\r\nNoMatch=1\r\nEnabled=0\r\n");
    ASSERT_TRUE(RemoveAppProfileRule(file, "STEAM").ok());
    const AppProfileRulesRead read = ReadAppProfileRules(file);
    ASSERT_TRUE(read.status.ok());
    const std::vector<AppProfileRule> left{{"/usr/games/foo", 3}};
    EXPECT_EQ(read.rules.rules, left);
    EXPECT_EQ(readFile(config), "[Init]\r\nCurConfig=1\r\n");

    // A missing file is made by the first change.
    const auto fresh = dir / "sub" / AppProfilesFileName;
    std::filesystem::create_directories(fresh.parent_path());
    EXPECT_TRUE(ReadAppProfileRules(fresh).status.ok());
    ASSERT_TRUE(AddAppProfileRule(fresh, "xterm", 2).ok());
    EXPECT_EQ(readFile(fresh), "[Programs]\r\nxterm=2\r\n");
}

TEST(AppProfileRules, RefusedChangesLeaveTheFileAsItWas) {
    TempDir dir;
    const auto file = dir / AppProfilesFileName;
    const std::string before = "[Programs]\r\nsteam=2\r\n";
    writeFile(file, before);
    struct Case {
        std::string program;
        int profile;
    };
    const Case refused[] = {{"", 1},       {"   ", 1},     {"a=b", 1},  {";x", 1}, {"[x", 1}, {"x\ny", 1},
                            {" lead", 1},  {"trail ", 1},  {"ok", 0},   {"ok", 6}, {std::string(5000, 'a'), 1}};
    for (const Case& c : refused) {
        const FileStatus status = AddAppProfileRule(file, c.program, c.profile);
        EXPECT_FALSE(status.ok()) << c.program;
        EXPECT_FALSE(status.message().empty());
    }
    EXPECT_FALSE(RemoveAppProfileRule(file, "other").ok());
    EXPECT_FALSE(SetAppProfileNoMatch(file, 6).ok());
    EXPECT_FALSE(SetAppProfileNoMatch(file, -1).ok());
    EXPECT_EQ(readFile(file), before);
}

TEST(AppProfileRules, AnUnreadableFileIsNotUsedNorReplaced) {
    TempDir dir;
    const auto file = dir / AppProfilesFileName;
    std::filesystem::create_directories(file); // a folder where the file should be
    const AppProfileRulesRead read = ReadAppProfileRules(file);
    EXPECT_FALSE(read.status.ok());
    EXPECT_TRUE(read.rules.rules.empty());
    EXPECT_FALSE(AddAppProfileRule(file, "steam", 2).ok());
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

} // namespace
} // namespace krv
