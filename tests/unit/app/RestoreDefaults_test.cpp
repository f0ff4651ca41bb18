#include "app/RestoreDefaults.h"
#include "functions/ButtonCode.h"
#include "macros/MacroTable.h"
#include "settings/IniFile.h"

#include "unit/RecordingNotifier.h"
#include "unit/app/AppFolder.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    settings.CurConfig = 3;
    settings.MACRO_MODE2 = 1;
    settings.K[0] = 40;
    MacroTable macros;
    RecordingNotifier notifier;
    std::vector<std::string> calls;
    const std::string englishMacrosBefore = readFile(paths.userMacroFile(UiLanguage::English));

    RestoreDefaults(settings, paths, UiLanguage::Chinese, macros, notifier,
                    [&] { calls.push_back("refill:" + std::to_string(macros.count())); },
                    [&] { calls.push_back("apply:K1=" + std::to_string(settings.K[0].load())); });

    auto doc = IniFile::load(config);
    ProfileSettings profile1;
    LoadProfile(profile1, config, 1, false, UiLanguage::Chinese);
    ProfileValues expected = FactoryProfile();
    expected.MACRO_MODE2 = 1; // profile 1 keeps the mode that was current
    EXPECT_EQ(profile1.values(), expected);
    for (int n = 2; n <= 5; ++n)
        for (const char* key : {"K1", "K6", "K7", "DPI_SET1", "FIRE_TIME", "MACRO_MODE2"})
            EXPECT_EQ(doc.value("Config" + std::to_string(n), key), doc.value("CfgReset" + std::to_string(n), key)) << n << key;

    // The current profile (3) is reloaded before the apply.
    ProfileSettings profile3;
    LoadProfile(profile3, config, 3, false, UiLanguage::Chinese);
    EXPECT_EQ(settings.values(), profile3.values());
    EXPECT_EQ(calls, (std::vector<std::string>{"refill:3", "apply:K1=" + std::to_string(profile3.K[0].load())}));

    EXPECT_EQ(macros.name(0), u"换弹");
    EXPECT_EQ(IniFile::readString(paths.userMacroFile(UiLanguage::Chinese), "Macros", "macroNum"), "3");
    EXPECT_EQ(readFile(paths.userMacroFile(UiLanguage::English)), englishMacrosBefore);
    EXPECT_TRUE(notifier.messages().empty());
}

TEST(RestoreDefaultsTest, WithoutFactorySectionsProfilesBecomeZeros) {
    AppFolder folder;
    const AppPaths paths = folder.paths();
    writeFile(paths.configPath(), "[Init]\r\nCurConfig=1\r\n");
    ProfileSettings settings;
    settings.CurConfig = 1;
    MacroTable macros;
    RecordingNotifier notifier;
    RestoreDefaults(settings, paths, UiLanguage::English, macros, notifier, nullptr, nullptr);
    ProfileSettings p4;
    LoadProfile(p4, paths.configPath(), 4, false, UiLanguage::English);
    EXPECT_EQ(p4.values(), ProfileValues{});
    EXPECT_EQ(IniFile::readString(paths.configPath(), "Config4", "K1"), "0");
    EXPECT_EQ(settings.values().K[0], 1); // profile 1 from the built-in values
}

TEST(RestoreDefaultsTest, MissingDefaultMacrosNeverWipeTheUsersMacros) {
    AppFolder folder;
    const AppPaths paths = folder.paths();
    std::filesystem::remove(paths.defaultMacroFile(UiLanguage::English));
    std::filesystem::copy_file(folder / "skins/INI_CN/defMacro.dat", paths.userMacroFile(UiLanguage::English),
                               std::filesystem::copy_options::overwrite_existing);
    const std::string userMacros = readFile(paths.userMacroFile(UiLanguage::English));
    ProfileSettings settings;
    MacroTable macros;
    RecordingNotifier notifier;
    bool applied = false;
    RestoreDefaults(settings, paths, UiLanguage::English, macros, notifier, nullptr, [&] { applied = true; });
    EXPECT_EQ(notifier.messages(), std::vector<std::string>{"找不到配置文件"});
    EXPECT_EQ(readFile(paths.userMacroFile(UiLanguage::English)), userMacros);
    EXPECT_TRUE(applied);
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
        LoadMacroFile(shipped, folder.paths().userMacroFile(language), quiet);
        LoadMacroFile(defaults, folder.paths().defaultMacroFile(language), quiet);
        const int macros = std::min(shipped.count(), defaults.count());
        for (const auto& [n, factory] : sections) {
            ASSERT_TRUE(doc.hasSection(ProfileSectionName(n, factory, language)));
            ProfileSettings s;
            LoadProfile(s, config, n, factory, language);
            ProfileValues v = s.values();
            const std::string where = ProfileSectionName(n, factory, language);
            EXPECT_NE(std::find(v.K.begin(), v.K.end(), 1), v.K.end()) << where << ": no slot keeps code 1";
            ASSERT_TRUE(v.DPI_LEVEL >= 0 && v.DPI_LEVEL < 4) << where;
            EXPECT_EQ(v.DPI_SET_EN[v.DPI_LEVEL], 1) << where << ": current stage disabled";
            for (int stage = 0; stage < 4; ++stage)
                EXPECT_LE(v.DPI_SET[stage], 4) << where;
            EXPECT_LE(v.LED_STATUS, 3) << where;
            EXPECT_LE(v.DPI_SPEED, 9) << where;
            EXPECT_LE(v.WHEEL_SPEED, 9) << where;
            EXPECT_TRUE(v.FIRE_TIME >= 0 && v.FIRE_TIME <= 300) << where;
            for (const int code : v.K) {
                if (code >= FirstMacroCode) {
                    EXPECT_LT(code - FirstMacroCode, macros) << where << ": a macro that is not shipped";
                }
            }
            if (n >= 2 && n <= 4 && !factory) {
                ProfileSettings reset;
                LoadProfile(reset, config, n, true, language);
                EXPECT_EQ(v, reset.values()) << where << " differs from its factory section";
            }
        }
    }
}

} // namespace
