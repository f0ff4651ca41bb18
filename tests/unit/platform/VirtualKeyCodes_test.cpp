// SPDX-License-Identifier: MIT
#include "mouse/VirtualKeys.h"
#include "platform/linux/UinputInjector.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <linux/input-event-codes.h>

namespace krv {
namespace {

// The key table spells keysyms and evdev codes as numbers; check them against the system's headers.
TEST(VirtualKeyCodes, KeysymsAndEvdevCodesMatchTheSystemHeaders) {
    struct Case {
        int code;
        KeySym keysym;
        int evdev;
    };
    const std::vector<Case> cases{
        {0x08, XK_BackSpace, KEY_BACKSPACE}, {0x0D, XK_Return, KEY_ENTER},       {0x13, XK_Pause, KEY_PAUSE},
        {0x14, XK_Caps_Lock, KEY_CAPSLOCK},  {0x1B, XK_Escape, KEY_ESC},         {0x20, XK_space, KEY_SPACE},
        {0x21, XK_Prior, KEY_PAGEUP},        {0x28, XK_Down, KEY_DOWN},          {0x2C, XK_Print, KEY_SYSRQ},
        {0x2E, XK_Delete, KEY_DELETE},       {'0', XK_0, KEY_0},                 {'9', XK_9, KEY_9},
        {'A', XK_a, KEY_A},                  {'Z', XK_z, KEY_Z},                 {0x5B, XK_Super_L, KEY_LEFTMETA},
        {0x5D, XK_Menu, KEY_COMPOSE},        {0x60, XK_KP_0, KEY_KP0},           {0x6A, XK_KP_Multiply, KEY_KPASTERISK},
        {0x6F, XK_KP_Divide, KEY_KPSLASH},   {0x70, XK_F1, KEY_F1},              {0x7B, XK_F12, KEY_F12},
        {0x7C, XK_F13, KEY_F13},             {0x87, XK_F24, KEY_F24},            {0x90, XK_Num_Lock, KEY_NUMLOCK},
        {0xA0, XK_Shift_L, KEY_LEFTSHIFT},   {0xA5, XK_Alt_R, KEY_RIGHTALT},     {0xAD, XF86XK_AudioMute, KEY_MUTE},
        {0xBA, XK_semicolon, KEY_SEMICOLON}, {0xC0, XK_grave, KEY_GRAVE},        {0xDC, XK_backslash, KEY_BACKSLASH},
        {0xDE, XK_apostrophe, KEY_APOSTROPHE},
    };
    for (const Case& c : cases) {
        const VirtualKey* key = FindVirtualKey(static_cast<std::uint8_t>(c.code));
        ASSERT_NE(key, nullptr) << c.code;
        EXPECT_EQ(key->keysym, c.keysym) << c.code;
        EXPECT_EQ(key->evdevCode, c.evdev) << c.code;
    }
    // Every keysym of the table is one X knows by a name.
    for (const VirtualKey& key : VirtualKeyTable()) {
        if (key.keysym == 0)
            continue;
        const char* name = XKeysymToString(key.keysym);
        ASSERT_NE(name, nullptr) << int{key.code};
        EXPECT_EQ(XStringToKeysym(name), key.keysym) << int{key.code};
    }
    EXPECT_EQ(UinputInjector::evdevCodeOf(0x11, true), KEY_RIGHTCTRL);
    EXPECT_EQ(UinputInjector::evdevCodeOf(0x0D, true), KEY_KPENTER);
}

TEST(UinputInjector, AKeypadDigitPressedWithNumLockOffGoesBetweenTwoNumLockTaps) {
    using T = UinputInjector::KeyTransitions;
    const T tapped{{KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}, {KEY_KP1, 1}, {KEY_NUMLOCK, 1}, {KEY_NUMLOCK, 0}};
    EXPECT_EQ(UinputInjector::keyTransitions(0x61, false, true, false), tapped);
    EXPECT_EQ(UinputInjector::keyTransitions(0x61, false, false, false), (T{{KEY_KP1, 0}}));
    EXPECT_EQ(UinputInjector::keyTransitions(0x61, false, true, true), (T{{KEY_KP1, 1}}));
    EXPECT_EQ(UinputInjector::keyTransitions(0x61, false, true, std::nullopt), (T{{KEY_KP1, 1}})); // not known yet
    EXPECT_EQ(UinputInjector::keyTransitions(0x6E, false, true, false).size(), 5u); // the decimal point too
    // Other keypad keys mean the same with Num Lock off.
    EXPECT_EQ(UinputInjector::keyTransitions(0x6B, false, true, false), (T{{KEY_KPPLUS, 1}}));
    EXPECT_EQ(UinputInjector::keyTransitions(0x23, false, true, false), (T{{KEY_END, 1}}));
}

TEST(UinputInjector, ANodeThatIsNoUinputDeviceIsRefusedWithAReason) {
    test::TempDir dir;
    std::string error;
    EXPECT_EQ(UinputInjector::open(dir / "missing", &error), nullptr);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    test::writeFile(dir / "plain", "");
    error.clear();
    EXPECT_EQ(UinputInjector::open(dir / "plain", &error), nullptr);
    EXPECT_NE(error.find("uinput device"), std::string::npos) << error;
}

} // namespace
} // namespace krv
