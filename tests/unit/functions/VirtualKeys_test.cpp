// SPDX-License-Identifier: MIT
#include "mouse/VirtualKeys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace krv {
namespace {

TEST(VirtualKeys, EditorTextsOfEveryListedCode) {
    const std::vector<std::pair<int, std::string>> cases{
        {8, "BACK"},   {12, "CLEAR"},  {18, "MENU"},    {21, "KANA"},       {23, "JUNJA"},   {31, "MODECHANGE"},
        {32, "SPACE"}, {44, "SNAPSHOT"}, {47, "HELP"},  {48, "0"},          {57, "9"},       {65, "A"},
        {90, "Z"},     {92, "RWIN"},   {95, "SLEEP"},   {96, "NUMPAD0"},    {105, "NUMPAD9"}, {108, "SEPARATOR"},
        {112, "F1"},   {135, "F24"},   {145, "SCROLL"}, {165, "RMENU"},     {186, ";:"},     {187, "+"},
        {191, "/?"},   {192, "`~"},    {219, "[{"},     {220, "\\|"},       {221, "]}"},     {222, " ' "},
    };
    for (const auto& [code, text] : cases)
        EXPECT_EQ(KeyTextOf(static_cast<std::uint8_t>(code)).value_or("<none>"), text) << code;
    // Codes without a text in the editor: shown as "Not Available".
    for (int code : {0, 1, 7, 10, 22, 26, 94, 136, 143, 146, 159, 166, 0xAD, 185, 193, 218, 223, 240, 241, 242, 255})
        EXPECT_FALSE(KeyTextOf(static_cast<std::uint8_t>(code)).has_value()) << code;
}

TEST(VirtualKeys, EveryKeyOfTheEditorCanBeInjected) {
    for (const VirtualKey& key : VirtualKeyTable()) {
        if (key.keyText.empty() || key.code == 30) // ACCEPT has no Linux counterpart
            continue;
        EXPECT_NE(key.keysym, 0u) << int{key.code};
        EXPECT_TRUE(ResolveVirtualKey(key.code, key.extended).has_value()) << int{key.code};
    }
}

TEST(VirtualKeys, ExactlyTheEighteenExtendedKeys) {
    std::set<int> extended;
    for (int code = 0; code < 256; ++code)
        if (IsExtendedKey(static_cast<std::uint8_t>(code)))
            extended.insert(code);
    EXPECT_EQ(extended, (std::set<int>{0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x2C, 0x2D, 0x2E, 0x5B, 0x5D,
                                       0x6F, 0x90, 0xA1, 0xA3, 0xA5}));
}

TEST(VirtualKeys, ExtendedFlagPicksTheRightHandKeyOnlyWhereWindowsDoes) {
    struct Case {
        int code;
        bool extended;
        std::uint32_t keysym;
        int evdev;
    };
    const std::vector<Case> cases{
        {0x11, false, 0xffe3, 29},  {0x11, true, 0xffe4, 97},   // Control_L / Control_R
        {0x12, false, 0xffe9, 56},  {0x12, true, 0xffea, 100},  // Alt_L / Alt_R
        {0x0D, false, 0xff0d, 28},  {0x0D, true, 0xff8d, 96},   // Return / KP_Enter
        {0x25, true, 0xff51, 105},  {0x25, false, 0xff51, 105}, // Left either way
        {'C', false, 'c', 46},      {0xAD, false, 0x1008ff12, 113},
    };
    for (const Case& c : cases) {
        auto key = ResolveVirtualKey(static_cast<std::uint8_t>(c.code), c.extended);
        ASSERT_TRUE(key.has_value()) << c.code;
        EXPECT_EQ(key->keysym, c.keysym) << c.code << " " << c.extended;
        EXPECT_EQ(key->evdevCode, c.evdev) << c.code << " " << c.extended;
    }
    EXPECT_FALSE(ResolveVirtualKey(0, false).has_value());
    EXPECT_FALSE(ResolveVirtualKey(30, false).has_value());
}

TEST(VirtualKeys, RecordedKeysMapBackToTheCodesALowLevelHookReports) {
    const std::vector<std::pair<std::uint32_t, int>> keysyms{
        {0xffe1, 0xA0},
        {0xffe2, 0xA1},
        {0xffe3, 0xA2},
        {0xffe4, 0xA3},
        {0xffe9, 0xA4},
        {0xffea, 0xA5},
        {0xfe03, 0xA5},
        {'a', 'A'},
        {'A', 'A'},
        {'7', '7'},
        {0xff61, 0x2C},
        {0xff8d, 0x0D},
        {0xffbe, 0x70},
        {0x3b, 0xBA},
        {0x5c, 0xDC},
        {0xffb0, 0x60},
        // The keypad by what Num Lock makes it: KP_1 with it on, KP_End (End) on the same key with it off.
        {0xffb1, 0x61},
        {0xffae, 0x6E},
        {0xff9c, 0x23},
        {0xff95, 0x24},
        {0xff9d, 0x0C},
        {0xff9e, 0x2D},
        {0xff9f, 0x2E},
        {0xff99, 0x28},
    };
    for (const auto& [keysym, code] : keysyms)
        EXPECT_EQ(VirtualKeyOfKeysym(keysym).value_or(0), code) << std::hex << keysym;
    EXPECT_FALSE(VirtualKeyOfKeysym(0x1234567).has_value());

    const std::vector<std::pair<int, int>> evdev{{42, 0xA0}, {54, 0xA1}, {29, 0xA2}, {56, 0xA4}, {99, 0x2C}, {30, 'A'}, {96, 0x0D}};
    for (const auto& [ev, code] : evdev)
        EXPECT_EQ(VirtualKeyOfEvdev(static_cast<std::uint16_t>(ev)).value_or(0), code) << ev;
    // Every recordable key maps back to itself.
    for (const VirtualKey& key : VirtualKeyTable()) {
        if (key.recordable && key.keysym != 0) {
            EXPECT_EQ(VirtualKeyOfKeysym(key.keysym).value_or(0), key.code) << int{key.code};
        }
    }
}

} // namespace
} // namespace krv
