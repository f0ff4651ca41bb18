// SPDX-License-Identifier: MIT
#include "skin/SkinDescriptions.h"

#include "fakes/RecordingNotifier.h"
#include "settings/IniDocument.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace krv;
using krv::test::RecordingNotifier;
using krv::test::TempDir;
using krv::test::writeFile;

namespace {

struct SplitCase {
    std::string value;
    int x, y, width, height;
    std::string caption;
    bool tooManyCommas;
};

TEST(SkinEntry, SplitsButtonPositionsAsTheSkinFormatDemands) {
    const std::vector<SplitCase> cases{
        {"5,10,20,30,40,Text,", 10, 20, 30, 40, "Text", false},
        {"5,10,20,30,40,Text", 10, 20, 30, 40, "", false},
        {"5,10,20,30,40", 10, 20, 30, 0, "5", false},
        {"a,1,2,3,4,b,c,d", 1, 2, 3, 4, "b", true},
        {"", 0, 0, 0, 0, "", false},
        {"label,7,8,9,10,Two words here,rest", 7, 8, 9, 10, "Two words here", false},
        {"x, -3 ,+4,5px,abc,C,", -3, 4, 5, 0, "C", false},
        {"only", 0, 0, 0, 0, "", false},
        {"1,2,3,4,", 2, 3, 4, 0, "1", false}, // field 4 starts past the end: empty, then a restart
    };
    for (const SplitCase& c : cases) {
        SCOPED_TRACE(c.value);
        const SkinEntry entry = SplitSkinValue(c.value);
        EXPECT_EQ(leadingInt(entry.fields[1]), c.x);
        EXPECT_EQ(leadingInt(entry.fields[2]), c.y);
        EXPECT_EQ(leadingInt(entry.fields[3]), c.width);
        EXPECT_EQ(leadingInt(entry.fields[4]), c.height);
        EXPECT_EQ(entry.fields[5], c.caption);
        EXPECT_EQ(entry.tooManyCommas, c.tooManyCommas);
    }
}

TEST(SkinEntry, FieldSixHoldsTheRestOrTheWholeValue) {
    EXPECT_EQ(SplitSkinValue("a,1,2,3,4,b,c,d").fields[6], "c,d");
    EXPECT_EQ(SplitSkinValue("5,10,20,30,40,Text").fields[6], "5,10,20,30,40,Text");
    EXPECT_EQ(SplitSkinValue("no comma").fields[0], "no comma");
    EXPECT_EQ(SplitSkinValue("no comma").fields[6], "");
}

// A skin folder with the four English files, each written from the given text (empty: missing).
struct SkinFolder {
    TempDir dir;
    AppPaths paths{dir.path()};
    void write(const std::filesystem::path& file, const std::string& text) { writeFile(file, text); }
    void writeAll(const std::string& main, const std::string& advanced = "[BUTTONPOS]\n",
                  const std::string& color = "[BUTTONPOS]\n", const std::string& warning = "[BUTTONPOS]\n") {
        write(paths.mainSkinFile(UiLanguage::English), main);
        write(paths.advancedSkinFile(UiLanguage::English), advanced);
        write(paths.colorSkinFile(UiLanguage::English), color);
        write(paths.warningSkinFile(UiLanguage::English), warning);
    }
};

TEST(SkinLoading, ReadsLayoutsFunctionNamesAndControlRectangles) {
    SkinFolder folder;
    folder.writeAll("[BUTTONPOS]\n0=a,1,2,3,4,Zero,\n99=a,5,6,7,8,Last,\n07=a,9,9,9,9,Seven,\n"
                    "[FUN_STRING]\n1=Left Click\n2=Right Click,ignored\n54=Fifty-four\n0=never read\n",
                    "[BUTTONPOS]\n45=a,1,1,1,1,End,\n[EDIT]\n3=e,10,20,30,40,,\n4=e,1,2,3,4,,\n2=e,9,9,9,9,,\n"
                    "[MACRODISPLAY]\n1=l,5,5,100,200,,\n2=l,0,0,0,0,,\n");
    SkinDescriptions skin;
    skin.functionNames[0] = "stale";
    RecordingNotifier notifier;
    ASSERT_TRUE(LoadSkinDescriptions(skin, folder.paths, UiLanguage::English, notifier));
    EXPECT_TRUE(notifier.messages().empty());
    EXPECT_EQ(skin.mainLayout[0], (SkinElement{1, 2, 3, 4, "Zero"}));
    EXPECT_EQ(skin.mainLayout[99], (SkinElement{5, 6, 7, 8, "Last"}));
    EXPECT_EQ(skin.mainLayout[7], SkinElement{}) << "a key with a leading zero is not found";
    EXPECT_EQ(skin.functionNames[0], "");
    EXPECT_EQ(skin.functionNames[1], "Left Click");
    EXPECT_EQ(skin.functionNames[2], "Right Click");
    EXPECT_EQ(skin.functionNames[54], "Fifty-four");
    EXPECT_EQ(skin.functionName(55), "");
    EXPECT_EQ(skin.functionName(-1), "");
    EXPECT_EQ(skin.advancedLayout[45].caption, "End");
    EXPECT_EQ(skin.repeatCountEditRect, (SkinRect{10, 20, 40, 60}));
    EXPECT_EQ(skin.macroNameEditRect, (SkinRect{1, 2, 4, 6}));
    EXPECT_EQ(skin.macroListRect, (SkinRect{5, 5, 105, 205}));
    EXPECT_EQ(skin.eventListRect, SkinRect{});
}

TEST(SkinLoading, EveryOvercrowdedValueIsReportedOnceAndStillUsed) {
    SkinFolder folder;
    folder.writeAll("[BUTTONPOS]\n3=a,1,2,3,4,b,c,d\n4=a,1,2,3,4,b,c,d,e\n[FUN_STRING]\n5=x,1,2,3,4,5,6,7\n");
    SkinDescriptions skin;
    RecordingNotifier notifier;
    ASSERT_TRUE(LoadSkinDescriptions(skin, folder.paths, UiLanguage::English, notifier));
    EXPECT_EQ(notifier.messages(), std::vector<std::string>(3, std::string(Messages::SkinValueMalformed)));
    EXPECT_EQ(skin.mainLayout[3], (SkinElement{1, 2, 3, 4, "b"}));
    EXPECT_EQ(skin.functionNames[5], "x");
}

TEST(SkinLoading, AMissingFileIsReportedOnceAndStopsTheLoading) {
    SkinFolder folder;
    folder.writeAll("[BUTTONPOS]\n0=a,1,2,3,4,Main,\n", "[BUTTONPOS]\n0=a,1,2,3,4,Adv,\n");
    std::filesystem::remove(folder.paths.colorSkinFile(UiLanguage::English));
    SkinDescriptions skin;
    RecordingNotifier notifier;
    const SkinLoadResult result = LoadSkinDescriptions(skin, folder.paths, UiLanguage::English, notifier);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.missingFile, folder.paths.colorSkinFile(UiLanguage::English));
    EXPECT_EQ(notifier.messages(), std::vector<std::string>{std::string(Messages::DataFileMissing)});
    EXPECT_EQ(skin.mainLayout[0].caption, "Main");
    EXPECT_EQ(skin.advancedLayout[0].caption, "") << "nothing is read after the missing file";
}

TEST(SkinLoading, ReadSkinEntryChecksTheFileFirst) {
    SkinFolder folder;
    RecordingNotifier notifier;
    EXPECT_FALSE(ReadSkinEntry(folder.dir / "none.ini", "BUTTONPOS", 1, notifier));
    EXPECT_EQ(notifier.messages(), std::vector<std::string>{std::string(Messages::DataFileMissing)});
    folder.write(folder.dir / "one.ini", "[BUTTONPOS]\n12 = \"a,1,2,3,4,Quoted caption,\"\n");
    const auto entry = ReadSkinEntry(folder.dir / "one.ini", "buttonpos", 12, notifier);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fields[5], "Quoted caption");
}

TEST(SkinLoading, LongValuesAreCutAt259Characters) {
    SkinFolder folder;
    const std::string caption(300, 'c');
    folder.write(folder.dir / "long.ini", "[BUTTONPOS]\n1=a,1,2,3,4," + caption + ",\n");
    RecordingNotifier notifier;
    const auto entry = ReadSkinEntry(folder.dir / "long.ini", "BUTTONPOS", 1, notifier);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->fields[5], "") << "the cut value lost its sixth comma";
    EXPECT_EQ(entry->fields[4], "4");
}

struct HitCase {
    int x, y, last;
    HitIndex expected;
};

TEST(SkinLayoutHitTest, LowestIndexInsideTheLeftTopEdgesWins) {
    SkinLayout layout(5);
    layout.at(0) = {0, 0, 0, 0, ""};      // empty: contains nothing
    layout.at(1) = {10, 10, 20, 10, ""};  // 10..29 x 10..19
    layout.at(2) = {15, 15, 20, 20, ""};  // overlaps 1
    layout.at(4) = {100, 100, 5, 5, ""};
    const std::vector<HitCase> cases{
        {0, 0, 4, NoHit},   {10, 10, 4, 1},   {29, 19, 4, 1},   {30, 15, 4, 2},   {20, 20, 4, 2},
        {18, 18, 4, 1},     {34, 34, 4, 2},   {35, 35, 4, NoHit}, {100, 100, 4, 4}, {100, 100, 3, NoHit},
        {12, 12, 0, NoHit}, {102, 102, 200, 4},
    };
    for (const HitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y << " last " << c.last);
        EXPECT_EQ(layout.hitTest(c.x, c.y, c.last), c.expected);
    }
}

TEST(SkinLayoutHitTest, HandEditedExtremeRectanglesNeitherOverflowNorWrap) {
    SkinLayout layout(2);
    layout.at(0) = {INT32_MAX - 1, 0, 10, 10, ""};
    layout.at(1) = {-5, INT32_MIN, INT32_MAX, INT32_MAX, ""};
    EXPECT_EQ(layout.hitTest(INT32_MAX - 1, 5, 1), 0);
    EXPECT_EQ(layout.hitTest(INT32_MAX, 9, 1), 0);
    EXPECT_EQ(layout[0].rect().right, INT32_MAX);
    EXPECT_EQ(layout.hitTest(0, 0, 1), NoHit) << "bottom of element 1 is INT32_MIN + INT32_MAX = -1";
    EXPECT_EQ(layout.hitTest(0, -2, 1), 1);
    EXPECT_EQ(layout[7], SkinElement{}) << "reading past the end gives an empty element";
}

// The skins shipped with the program: both languages load without a message, share their
// rectangles, and name every function the menus and slots show.
TEST(ShippedSkins, BothLanguagesLoadCleanlyWithTheSameRectangles) {
    AppPaths paths{KRV_BUILD_DATA_DIR};
    SkinDescriptions english;
    SkinDescriptions chinese;
    RecordingNotifier notifier;
    ASSERT_TRUE(LoadSkinDescriptions(english, paths, UiLanguage::English, notifier));
    ASSERT_TRUE(LoadSkinDescriptions(chinese, paths, UiLanguage::Chinese, notifier));
    EXPECT_TRUE(notifier.messages().empty());
    auto sameRects = [](const SkinLayout& a, const SkinLayout& b) {
        for (std::size_t i = 0; i < a.size(); ++i)
            if (a[i].rect() != b[i].rect())
                return false;
        return true;
    };
    EXPECT_TRUE(sameRects(english.mainLayout, chinese.mainLayout));
    EXPECT_TRUE(sameRects(english.advancedLayout, chinese.advancedLayout));
    EXPECT_TRUE(sameRects(english.colorLayout, chinese.colorLayout));
    EXPECT_TRUE(sameRects(english.warningLayout, chinese.warningLayout));
    EXPECT_EQ(english.eventListRect, chinese.eventListRect);
    for (const SkinDescriptions* skin : {&english, &chinese}) {
        for (int code = 1; code <= 40; ++code)
            EXPECT_FALSE(skin->functionName(code).empty()) << "code " << code;
        // every element a click can reach on the main page has a size
        for (int i : {MainElement::Apply, MainElement::ButtonSlotFirst, MainElement::ButtonSlotLast,
                      MainElement::StageSelectFirst, MainElement::SliderFirst + 19})
            EXPECT_GT(skin->mainLayout[static_cast<std::size_t>(i)].width, 0) << i;
        EXPECT_GT(skin->eventListRect.width(), 0);
    }
    // slider positions of one stage share one size, so the knob image fits each of them
    for (int i = MainElement::SliderFirst; i < MainElement::SliderFirst + 20; ++i) {
        EXPECT_EQ(english.mainLayout[static_cast<std::size_t>(i)].width, english.mainLayout[60].width);
        EXPECT_EQ(english.mainLayout[static_cast<std::size_t>(i)].height, english.mainLayout[60].height);
    }
}

TEST(ShippedSkins, MenuGroupsAreNamedAndStepsAreHitBeforeTheirLabels) {
    AppPaths paths{KRV_BUILD_DATA_DIR};
    SkinDescriptions skin;
    RecordingNotifier notifier;
    ASSERT_TRUE(LoadSkinDescriptions(skin, paths, UiLanguage::English, notifier));
    EXPECT_EQ(skin.functionName(1), "Left Click");
    // each stage-select button is reached by a click in its centre, not shadowed by a lower label
    for (int s = 0; s < 4; ++s) {
        const SkinElement& e = skin.mainLayout[static_cast<std::size_t>(MainElement::StageSelectFirst + s)];
        EXPECT_EQ(skin.mainLayout.hitTest(e.x + e.width / 2, e.y + e.height / 2, MainLastHitOnMainPage),
                  MainElement::StageSelectFirst + s);
        for (int v = 0; v < 5; ++v) {
            const SkinElement& p = skin.mainLayout[static_cast<std::size_t>(MainElement::SliderFirst + 5 * s + v)];
            EXPECT_EQ(skin.mainLayout.hitTest(p.x + p.width / 2, p.y + p.height / 2, MainLastHitOnMainPage),
                      MainElement::SliderFirst + 5 * s + v);
        }
    }
    for (int i = 0; i <= AdvancedLastHit; ++i) {
        const SkinElement& e = skin.advancedLayout[static_cast<std::size_t>(i)];
        if (e.width > 0) {
            EXPECT_EQ(skin.advancedLayout.hitTest(e.x + e.width / 2, e.y + e.height / 2, AdvancedLastHit), i);
        }
    }
}

} // namespace
