// SPDX-License-Identifier: MIT
#include "app/RestoreDefaults.h"
#include "macros/MacroTable.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "unit/RequireOk.h"

#include "fakes/RecordingNotifier.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace krv;
using krv::test::AppFolder;
using krv::test::readFile;
using krv::test::RecordingNotifier;
using krv::test::writeFile;

namespace {

TEST(RestoreDefaultsTest, FactoryProfilesThenDefaultsMacrosThenApply) {
    AppFolder folder;
    const AppPaths paths = folder.paths();
    const auto config = paths.configPath();
    ProfileSettings settings;
    settings.currentProfile = 3;
    settings.macroPlaybackMode = 1;
    settings.buttonCodes[0] = 40;
    MacroTable macros;
    RecordingNotifier notifier;
    std::vector<std::string> calls;
    const std::string englishMacrosBefore = readFile(paths.userMacroFile(UiLanguage::English));
    krv::test::requireOk(RestoreDefaults(
        settings, paths, UiLanguage::Chinese, macros, notifier,
        [&] { calls.push_back("refill:" + std::to_string(macros.count())); },
        [&] { calls.push_back("apply:K1=" + std::to_string(settings.buttonCodes[0].load())); }));

    auto doc = IniFile::load(config);
    ProfileSettings profile1;
    krv::test::requireOk(LoadProfile(profile1, config, 1, false, UiLanguage::Chinese));
    ProfileValues expected = FactoryProfile();
    expected.macroPlaybackMode = 1; // profile 1 keeps the mode that was current
    EXPECT_EQ(profile1.values(), expected);
    for (int n = 2; n <= 5; ++n)
        for (const char* key : {"K1", "K6", "K7", "DPI_SET1", "FIRE_TIME", "MACRO_MODE2"})
            EXPECT_EQ(doc.value("Config" + std::to_string(n), key), doc.value("CfgReset" + std::to_string(n), key)) << n << key;

    // The current profile (3) is reloaded before the apply.
    ProfileSettings profile3;
    krv::test::requireOk(LoadProfile(profile3, config, 3, false, UiLanguage::Chinese));
    EXPECT_EQ(settings.values(), profile3.values());
    EXPECT_EQ(calls,
              (std::vector<std::string>{"refill:3", "apply:K1=" + std::to_string(profile3.buttonCodes[0].load())}));

    EXPECT_EQ(macros.name(0), u"换弹");
    EXPECT_EQ(IniFile::readString(paths.userMacroFile(UiLanguage::Chinese), "Macros", "macroNum"), "3");
    EXPECT_EQ(readFile(paths.userMacroFile(UiLanguage::English)), englishMacrosBefore);
    EXPECT_TRUE(notifier.messages().empty());
}

// Every source is checked before anything is written: a missing or unreadable one is named, and the
// user's files are exactly as they were (profiles 2..5 of zeros would leave the mouse without a left
// button; an empty default macro file would wipe the user's macros).
TEST(RestoreDefaultsTest, AMissingOrUnreadableSourceChangesNothing) {
    struct Case {
        const char* name;
        std::function<void(const AppPaths&)> breakIt;
        const char* named; // what the message names
    };
    const std::vector<Case> cases{
        {"no factory sections", [](const AppPaths& p) { writeFile(p.configPath(), "[Init]\r\nCurConfig=1\r\n"); },
         "CfgReset"},
        {"one factory section missing",
         [](const AppPaths& p) {
             std::string text = readFile(p.configPath());
             const auto at = text.find("[CfgReset3]");
             text.replace(at, 11, "[Elsewhere]");
             writeFile(p.configPath(), text);
         },
         "CfgReset3"},
        {"no default macro file", [](const AppPaths& p) { std::filesystem::remove(p.defaultMacroFile(UiLanguage::English)); },
         "defMacro.dat"},
        {"default macro file is not a macro file",
         [](const AppPaths& p) { writeFile(p.defaultMacroFile(UiLanguage::English), "just some text\n"); }, "macroNum"},
        {"default macro file is a folder",
         [](const AppPaths& p) {
             std::filesystem::remove(p.defaultMacroFile(UiLanguage::English));
             std::filesystem::create_directory(p.defaultMacroFile(UiLanguage::English));
         },
         "is a folder"},
        {"config.ini is a folder",
         [](const AppPaths& p) {
             std::filesystem::remove(p.configPath());
             std::filesystem::create_directory(p.configPath());
         },
         "config.ini"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder folder;
        const AppPaths paths = folder.paths();
        c.breakIt(paths);
        const auto snapshot = folder.snapshot();
        ProfileSettings settings;
        settings.currentProfile = 1;
        const ProfileValues before = settings.values();
        MacroTable macros;
        RecordingNotifier notifier;
        bool applied = false;
        const FileStatus result =
            RestoreDefaults(settings, paths, UiLanguage::English, macros, notifier, nullptr, [&] { applied = true; });
        EXPECT_FALSE(result);
        EXPECT_NE(result.message().find(c.named), std::string::npos) << result.message();
        ASSERT_EQ(notifier.messages().size(), 1u);
        EXPECT_EQ(notifier.messages()[0].rfind("The defaults were not restored and nothing was changed.", 0), 0u);
        EXPECT_FALSE(applied);
        EXPECT_EQ(settings.values(), before);
        EXPECT_EQ(folder.snapshot(), snapshot);
    }
}

TEST(ShippedData, EveryProfileKeepsTheEditorsInvariants) {
    AppFolder folder;
    const auto config = folder.paths().configPath();
    auto doc = IniFile::load(config);
    EXPECT_EQ(ReadCurConfig(config), 1);
    EXPECT_EQ(ReadUiLanguage(config), UiLanguage::English);
    const std::vector<std::pair<int, bool>> sections = {{1, false}, {2, false}, {3, false}, {4, false}, {5, false},
                                                        {6, false}, {2, true},  {3, true},  {4, true},  {5, true}};
    for (UiLanguage language : {UiLanguage::English, UiLanguage::Chinese}) {
        // A button set to a macro plays one the user has out of the box, and after restoring defaults.
        RecordingNotifier quiet;
        MacroTable shipped, defaults;
        krv::test::requireOk(LoadMacroFile(shipped, folder.paths().userMacroFile(language), quiet));
        krv::test::requireOk(LoadMacroFile(defaults, folder.paths().defaultMacroFile(language), quiet));
        const int macros = std::min(shipped.count(), defaults.count());
        for (const auto& [n, factory] : sections) {
            ASSERT_TRUE(doc.hasSection(ProfileSectionName(n, factory, language)));
            ProfileSettings s;
            krv::test::requireOk(LoadProfile(s, config, n, factory, language));
            ProfileValues v = s.values();
            const std::string where = ProfileSectionName(n, factory, language);
            EXPECT_NE(std::find(v.buttonCodes.begin(), v.buttonCodes.end(), 1), v.buttonCodes.end())
                << where << ": no slot keeps code 1";
            ASSERT_TRUE(v.dpiStage >= 0 && v.dpiStage < 4) << where;
            EXPECT_EQ(v.dpiStageEnabled[v.dpiStage], 1) << where << ": current stage disabled";
            for (int stage = 0; stage < 4; ++stage)
                EXPECT_LE(v.dpiStagePositions[stage], 4) << where;
            EXPECT_LE(v.ledMode, 3) << where;
            EXPECT_LE(v.pointerSpeed, 9) << where;
            EXPECT_LE(v.wheelSpeed, 9) << where;
            EXPECT_TRUE(v.fireInterval >= 0 && v.fireInterval <= 300) << where;
            for (const int code : v.buttonCodes) {
                if (code >= FirstMacroCode) {
                    EXPECT_LT(code - FirstMacroCode, macros) << where << ": a macro that is not shipped";
                }
            }
            if (n >= 2 && n <= 4 && !factory) {
                ProfileSettings reset;
                krv::test::requireOk(LoadProfile(reset, config, n, true, language));
                EXPECT_EQ(v, reset.values()) << where << " differs from its factory section";
            }
        }
    }
}

} // namespace
