// SPDX-License-Identifier: MIT
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"
#include "skin/SkinLayout.h"
#include "unit/RequireOk.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

using namespace krv;
using krv::test::readFile;
using krv::test::TempDir;
using krv::test::writeFile;

namespace {

const char* const FactorySectionText = "K1=1\r\nK2=2\r\nK3=3\r\nK4=5\r\nK5=4\r\nK6=18\r\nK7=17\r\nK8=13\r\n"
                                       "DPI_LEVEL=0\r\nWHEEL_STATUS=0\r\nMACRO_MODE2=0\r\n"
                                       "DPI_SET1=1\r\nDPI_SET_EN1=1\r\nDPI_SET2=2\r\nDPI_SET_EN2=1\r\n"
                                       "DPI_SET3=3\r\nDPI_SET_EN3=1\r\nDPI_SET4=0\r\nDPI_SET_EN4=1\r\n"
                                       "LED_STATUS=0\r\nDPI_SPEED=5\r\nWHEEL_SPEED=2\r\nFIRE_TIME=50\r\n";

TEST(ProfileStore, SaveWritesEveryKeyInOrderAndLoadReadsItBack) {
    TempDir dir;
    auto file = dir / "config.ini";
    ProfileSettings settings;
    ProfileValues factory = FactoryProfile();
    settings.setValues(factory);
    ASSERT_TRUE(SaveProfile(settings, file, 1));
    EXPECT_EQ(readFile(file), std::string("[Config1]\r\n") + FactorySectionText);

    ProfileSettings loaded;
    krv::test::requireOk(LoadProfile(loaded, file, 1, false, UiLanguage::English));
    EXPECT_EQ(loaded.values(), factory);
    EXPECT_EQ(loaded.appliedDpiStagePositions[3].load(), 0);
    EXPECT_EQ(MainElement::sliderOf(0, loaded.dpiStagePositions[0].load()), 61);
    EXPECT_EQ(MainElement::sliderOf(3, loaded.dpiStagePositions[3].load()), 75);
}

TEST(ProfileStore, ValuesAreReadAsTheFileFormatDemands) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[Config2]\nK1=00052\nK2=  12ab\nK3=x5\nFIRE_TIME=-3\nDPI_SET_EN2=7\n"
                    "DPI_SET1=123456772\nLED_STATUS=259\nDPI_SPEED= 9\n");
    ProfileSettings s;
    s.currentProfile = 4;
    s.appliedLedMode = 2;
    krv::test::requireOk(LoadProfile(s, file, 2, false, UiLanguage::Chinese));
    EXPECT_EQ(s.buttonCodes[0].load(), 5); // four characters at most: "0005"
    EXPECT_EQ(s.buttonCodes[1].load(), 12);
    EXPECT_EQ(s.buttonCodes[2].load(), 0);
    EXPECT_EQ(s.fireInterval.load(), 0);                        // -3: brought into 0..300
    EXPECT_EQ(s.dpiStageEnabled[1].load(), 1);                  // any non-zero value enables, written back as 1
    EXPECT_EQ(s.dpiStagePositions[0].load(), 123456772 & 0xFF); // nine characters, low 8 bits: 4
    EXPECT_EQ(s.ledMode.load(), 3);                             // 259: low 8 bits
    EXPECT_EQ(s.dpiStage.load(), 1); // stage 1 is disabled (missing): the first enabled one
    EXPECT_EQ(s.pointerSpeed.load(), 9);
    EXPECT_EQ(s.buttonCodes[7].load(), 0); // missing key
    EXPECT_EQ(s.currentProfile.load(), 4); // untouched
    EXPECT_EQ(s.appliedLedMode.load(), 2);

    ASSERT_TRUE(SaveProfile(s, file, 2));
    EXPECT_EQ(IniFile::readString(file, "Config2", "DPI_SET_EN2"), "1");
    EXPECT_EQ(IniFile::readString(file, "Config2", "DPI_SET1"), "4");
}

TEST(ProfileStore, OutOfRangeValuesNeverIndexOutside) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[Config1]\nDPI_LEVEL=9\nDPI_SET1=200\n");
    ProfileSettings s;
    krv::test::requireOk(LoadProfile(s, file, 1, false, UiLanguage::English));
    EXPECT_EQ(s.dpiStage.load(), 0);  // out of range, no stage enabled: stage 1
    EXPECT_EQ(s.dpiStageIndex(), 0);
    EXPECT_EQ(MainElement::sliderOf(0, ProfileSettings::positionIndex(s.dpiStagePositions[0].load())), 64);
    EXPECT_EQ(ProfileSettings::positionIndex(s.dpiStagePositions[0].load()), 4);
}

TEST(ProfileStore, FactorySectionsFollowTheLanguage) {
    TempDir dir;
    auto file = dir / "config.ini";
    writeFile(file, "[CfgReset5]\nK1=5\n[CfgReset_EN5]\nK1=11\n[CfgReset3]\nK1=3\n");
    const struct {
        int n;
        UiLanguage language;
        int expectedK1;
    } cases[] = {{5, UiLanguage::English, 11}, {5, UiLanguage::Chinese, 5}, {3, UiLanguage::English, 3}, {2, UiLanguage::English, 0}};
    for (const auto& c : cases) {
        ProfileSettings s;
        krv::test::requireOk(LoadProfile(s, file, c.n, true, c.language));
        EXPECT_EQ(s.buttonCodes[0].load(), c.expectedK1) << c.n;
    }
}

TEST(ProfileStore, MissingFileGivesProfileZeroOfZeros) {
    TempDir dir;
    auto file = dir / "config.ini";
    EXPECT_EQ(ReadCurConfig(file), 0);
    ProfileSettings s;
    s.setValues(FactoryProfile());
    krv::test::requireOk(LoadProfile(s, file, ReadCurConfig(file), false, UiLanguage::Chinese));
    EXPECT_EQ(s.values(), ProfileValues{});
    EXPECT_FALSE(std::filesystem::exists(file)); // reading never creates the file
}

TEST(ProfileStore, SaveDpiLevelTouchesOnlyThatKey) {
    TempDir dir;
    auto file = dir / "config.ini";
    const std::string before = std::string("[Config6]\r\n") + FactorySectionText;
    writeFile(file, before);
    ProfileSettings s;
    s.dpiStage = 2;
    s.buttonCodes[0] = 40;
    ASSERT_TRUE(SaveDpiLevel(s, file, 6));
    std::string expected = before;
    expected.replace(expected.find("DPI_LEVEL=0"), 11, "DPI_LEVEL=2");
    EXPECT_EQ(readFile(file), expected);
}

TEST(ProfileStore, OneAtomicSaveEqualsTwentyOneSingleWrites) {
    TempDir dir;
    auto batch = dir / "batch.ini";
    auto single = dir / "single.ini";
    const std::string start = "; user notes\n[Init]\nCurConfig=3\n[Config3]\nK8 = 9\nEXTRA=keep\n";
    writeFile(batch, start);
    writeFile(single, start);
    ProfileValues v = FactoryProfile();
    v.macroPlaybackMode = 1;
    ASSERT_TRUE(SaveProfileValues(v, batch, 3));
    for (const auto& [key, value] : ProfileKeyValues(v))
        krv::test::requireOk(IniFile::writeString(single, "Config3", key, value));
    EXPECT_EQ(readFile(batch), readFile(single));
}

TEST(UiLanguageTest, FlagRules) {
    TempDir dir;
    auto file = dir / "config.ini";
    const std::pair<const char*, UiLanguage> cases[] = {
        {"", UiLanguage::Chinese},       {"VER_SEL=1\n", UiLanguage::English}, {"VER_SEL=0\n", UiLanguage::Chinese},
        {"VER_SEL=256\n", UiLanguage::Chinese}, {"VER_SEL=2\n", UiLanguage::English},
        {"VER_SEL=12345\n", UiLanguage::English}, // cut to 1234, low 8 bits 210
        {"VER_SEL=abc\n", UiLanguage::Chinese},
    };
    for (const auto& [text, expected] : cases) {
        writeFile(file, std::string("[Init]\n") + text);
        EXPECT_EQ(ReadUiLanguage(file), expected) << text;
    }
    ASSERT_TRUE(WriteUiLanguage(file, UiLanguage::English));
    EXPECT_EQ(IniFile::readString(file, "Init", "VER_SEL"), "1");
}

TEST(AppPathsTest, LanguageFileRule) {
    AppPaths paths{"/opt/app"};
    EXPECT_EQ(paths.configPath(), "/opt/app/config.ini");
    EXPECT_EQ(paths.mainSkinFile(UiLanguage::English), "/opt/app/skins/INI_EN/skin_main_en.ini");
    EXPECT_EQ(paths.mainSkinFile(UiLanguage::Chinese), "/opt/app/skins/INI_CN/skin_main.ini");
    EXPECT_EQ(paths.warningSkinFile(UiLanguage::Chinese), "/opt/app/skins/INI_CN/LBWarning.ini");
    EXPECT_EQ(paths.defaultMacroFile(UiLanguage::English), "/opt/app/skins/INI_EN/defMacro.dat");
    EXPECT_EQ(paths.userMacroFile(UiLanguage::Chinese), "/opt/app/Macro_CN.dat");
}

} // namespace

namespace {

// An editor's changes go over the file as it is now, key by key: each entry of a several-entry field
// counts on its own, and a key the editor did not change takes the file's value.
TEST(ProfileStore, EditsGoOverTheFileKeyByKey) {
    const ProfileValues base = FactoryProfile();
    ProfileValues edited = base;
    edited.buttonCodes[2] = 21;    // the user's K3
    edited.dpiStageEnabled[3] = 0; // and DPI_SET_EN4
    ProfileValues onFile = base;
    onFile.buttonCodes[1] = 33; // another program's K2
    onFile.fireInterval = 123;
    onFile.buttonCodes[2] = 22; // and its K3, which the user's edit wins over
    const ProfileValues merged = OverlayEdits(base, edited, onFile);
    ProfileValues expected = onFile;
    expected.buttonCodes[2] = 21;
    expected.dpiStageEnabled[3] = 0;
    EXPECT_EQ(merged, expected);
    EXPECT_EQ(OverlayEdits(base, base, onFile), onFile);
    EXPECT_EQ(DifferingKeys(base, onFile), (std::vector<std::string>{"K2", "K3", "FIRE_TIME"}));
    EXPECT_EQ(DifferingKeys(edited, base), (std::vector<std::string>{"K3", "DPI_SET_EN4"}));
    EXPECT_TRUE(DifferingKeys(base, base).empty());
}

} // namespace
