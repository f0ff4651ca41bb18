// SPDX-License-Identifier: MIT
#include "macros/MacroCodes.h"

#include "settings/IniFile.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

namespace krv::test {
namespace {

TEST(MacroCodes, ADeletedMacrosLaterCodesMoveDownAndItsOwnBecomeTheFactoryFunction) {
    struct Case {
        ButtonCode code;
        int slot;
        int deleted;
        int countBefore;
        ButtonCode expected;
    };
    const std::vector<Case> cases{
        {41, 1, 1, 4, 41}, // an earlier macro keeps its code
        {42, 1, 1, 4, 1},  // the deleted macro: slot 1's factory function (left click)
        {42, 4, 1, 4, 5},  // slot 4: device function 5
        {42, 6, 1, 4, 18}, // slot 6: DPI down
        {42, 8, 1, 4, 13},
        {43, 2, 1, 4, 42}, // later macros move down with their macro
        {44, 2, 1, 4, 43},
        {45, 2, 1, 4, 45}, // past the table: no macro to follow, the code stays
        {52, 2, 1, 4, 52},
        {52, 3, 11, 12, 3}, // the last of twelve
        {41, 3, 0, 1, 3},   // the only macro
        {40, 2, 0, 3, 40},  // functions stay
        {1, 2, 0, 3, 1},
        {0, 2, 0, 3, 0},
        {-5, 2, 0, 3, -5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CodeAfterMacroDeleted(c.code, c.slot, c.deleted, c.countBefore), c.expected)
            << "code " << c.code << " slot " << c.slot << " deleted " << c.deleted << " of " << c.countBefore;
}

TEST(MacroCodes, EveryProfileSectionAndTheProfileInMemoryFollowTheirMacros) {
    TempDir dir;
    const auto config = dir / "config.ini";
    writeFile(config, "[Init]\r\nCurConfig=2\r\n"
                      "[Config1]\r\nK1=1\r\nK2=43\r\nK3=41\r\nDPI_LEVEL=1\r\n"
                      "[Config2]\r\nK1=1\r\nK5=42\r\nK6=42\r\n"
                      "[Config4]\r\nK1=1\r\nK8=44\r\n"
                      "[Config6]\r\nK1=1\r\nK5=42\r\n"
                      "[CfgReset2]\r\nK5=43\r\n");
    ProfileSettings settings;
    settings.currentProfile = 2;
    settings.buttonCodes[0] = 1;
    settings.buttonCodes[4] = 42; // edited in the window, not saved yet: slot 7 too
    settings.buttonCodes[6] = 42;
    settings.buttonCodes[7] = 43;

    const MacroDeletionOutcome outcome = RenumberAfterMacroDeleted(settings, config, 1, 3);
    ASSERT_TRUE(outcome.saved);
    EXPECT_EQ(readFile(config), "[Init]\r\nCurConfig=2\r\n"
                                "[Config1]\r\nK1=1\r\nK2=42\r\nK3=41\r\nDPI_LEVEL=1\r\n"
                                "[Config2]\r\nK1=1\r\nK5=4\r\nK6=18\r\n"
                                "[Config4]\r\nK1=1\r\nK8=44\r\n"
                                "[Config6]\r\nK1=1\r\nK5=4\r\n"
                                "[CfgReset2]\r\nK5=43\r\n"); // factory sections and absent sections stay
    EXPECT_EQ(settings.buttonCodes[4].load(), 4);
    EXPECT_EQ(settings.buttonCodes[6].load(), 17);
    EXPECT_EQ(settings.buttonCodes[7].load(), 42);
    EXPECT_EQ(outcome.reset, (std::vector<ResetButton>{{2, 5, 4}, {2, 6, 18}, {2, 7, 17}}));
}

TEST(MacroCodes, AnUnreadableProfileFileIsLeftAsItWas) {
    TempDir dir;
    std::filesystem::create_directories(dir / "config.ini"); // not a regular file: never read or replaced
    const auto before = snapshotOf(dir.path());
    ProfileSettings settings;
    settings.currentProfile = 1;
    settings.buttonCodes[2] = 42;
    settings.buttonCodes[3] = 43;
    const MacroDeletionOutcome outcome = RenumberAfterMacroDeleted(settings, dir / "config.ini", 1, 3);
    EXPECT_FALSE(outcome.saved);
    EXPECT_EQ(snapshotOf(dir.path()), before);
    // The table in memory has changed all the same: the profile shown follows it.
    EXPECT_EQ(settings.buttonCodes[2].load(), 3);
    EXPECT_EQ(settings.buttonCodes[3].load(), 42);
    EXPECT_EQ(outcome.reset, (std::vector<ResetButton>{{1, 3, 3}}));
}

} // namespace
} // namespace krv::test
