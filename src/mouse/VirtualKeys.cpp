// SPDX-License-Identifier: MIT
#include "mouse/VirtualKeys.h"

#include <algorithm>
#include <array>

namespace krv {
namespace {

// code, key text, X keysym, evdev code, extended, recordable. Keysyms and evdev codes are the values
// of <X11/keysymdef.h>, <X11/XF86keysym.h> and <linux/input-event-codes.h> (named in the comments;
// tests/unit/platform checks them against those headers).
constexpr std::array Rows{
    VirtualKey{8, "BACK", 0xff08, 14, false, true}, // BackSpace / KEY_BACKSPACE
    VirtualKey{9, "TAB", 0xff09, 15, false, true}, // Tab / KEY_TAB
    VirtualKey{12, "CLEAR", 0xff0b, 355, false, true}, // Clear / KEY_CLEAR
    VirtualKey{13, "RETURN", 0xff0d, 28, false, true}, // Return / KEY_ENTER
    VirtualKey{16, "SHIFT", 0xffe1, 42, false, false}, // Shift_L / KEY_LEFTSHIFT
    VirtualKey{17, "CONTROL", 0xffe3, 29, false, false}, // Control_L / KEY_LEFTCTRL
    VirtualKey{18, "MENU", 0xffe9, 56, false, false}, // Alt_L / KEY_LEFTALT
    VirtualKey{19, "PAUSE", 0xff13, 119, false, true}, // Pause / KEY_PAUSE
    VirtualKey{20, "CAPITAL", 0xffe5, 58, false, true}, // Caps_Lock / KEY_CAPSLOCK
    VirtualKey{21, "KANA", 0xff27, 93, false, true}, // Hiragana_Katakana / KEY_KATAKANAHIRAGANA
    VirtualKey{23, "JUNJA", 0xff38, 0, false, true}, // Hangul_Jeonja / -
    VirtualKey{24, "FINAL", 0xff33, 0, false, true}, // Hangul_End / -
    VirtualKey{25, "HANJA", 0xff34, 123, false, true}, // Hangul_Hanja / KEY_HANJA
    VirtualKey{27, "ESCAPE", 0xff1b, 1, false, true}, // Escape / KEY_ESC
    VirtualKey{28, "CONVERT", 0xff23, 92, false, true}, // Henkan / KEY_HENKAN
    VirtualKey{29, "NONCONVERT", 0xff22, 94, false, true}, // Muhenkan / KEY_MUHENKAN
    VirtualKey{30, "ACCEPT", 0x0000, 0, false, true}, // - / -
    VirtualKey{31, "MODECHANGE", 0xff7e, 0, false, true}, // Mode_switch / -
    VirtualKey{32, "SPACE", 0x0020, 57, false, true}, // space / KEY_SPACE
    VirtualKey{33, "PRIOR", 0xff55, 104, true, true}, // Prior / KEY_PAGEUP
    VirtualKey{34, "NEXT", 0xff56, 109, true, true}, // Next / KEY_PAGEDOWN
    VirtualKey{35, "END", 0xff57, 107, true, true}, // End / KEY_END
    VirtualKey{36, "HOME", 0xff50, 102, true, true}, // Home / KEY_HOME
    VirtualKey{37, "LEFT", 0xff51, 105, true, true}, // Left / KEY_LEFT
    VirtualKey{38, "UP", 0xff52, 103, true, true}, // Up / KEY_UP
    VirtualKey{39, "RIGHT", 0xff53, 106, true, true}, // Right / KEY_RIGHT
    VirtualKey{40, "DOWN", 0xff54, 108, true, true}, // Down / KEY_DOWN
    VirtualKey{41, "SELECT", 0xff60, 353, false, true}, // Select / KEY_SELECT
    VirtualKey{42, "PRINT", 0xff61, 210, false, false}, // Print / KEY_PRINT
    VirtualKey{43, "EXECUTE", 0xff62, 0, false, true}, // Execute / -
    VirtualKey{44, "SNAPSHOT", 0xff61, 99, true, true}, // Print / KEY_SYSRQ
    VirtualKey{45, "INSERT", 0xff63, 110, true, true}, // Insert / KEY_INSERT
    VirtualKey{46, "DELETE", 0xffff, 111, true, true}, // Delete / KEY_DELETE
    VirtualKey{47, "HELP", 0xff6a, 138, false, true}, // Help / KEY_HELP
    VirtualKey{48, "0", 0x0030, 11, false, true}, // 0 / KEY_0
    VirtualKey{49, "1", 0x0031, 2, false, true}, // 1 / KEY_1
    VirtualKey{50, "2", 0x0032, 3, false, true}, // 2 / KEY_2
    VirtualKey{51, "3", 0x0033, 4, false, true}, // 3 / KEY_3
    VirtualKey{52, "4", 0x0034, 5, false, true}, // 4 / KEY_4
    VirtualKey{53, "5", 0x0035, 6, false, true}, // 5 / KEY_5
    VirtualKey{54, "6", 0x0036, 7, false, true}, // 6 / KEY_6
    VirtualKey{55, "7", 0x0037, 8, false, true}, // 7 / KEY_7
    VirtualKey{56, "8", 0x0038, 9, false, true}, // 8 / KEY_8
    VirtualKey{57, "9", 0x0039, 10, false, true}, // 9 / KEY_9
    VirtualKey{65, "A", 0x0061, 30, false, true}, // a / KEY_A
    VirtualKey{66, "B", 0x0062, 48, false, true}, // b / KEY_B
    VirtualKey{67, "C", 0x0063, 46, false, true}, // c / KEY_C
    VirtualKey{68, "D", 0x0064, 32, false, true}, // d / KEY_D
    VirtualKey{69, "E", 0x0065, 18, false, true}, // e / KEY_E
    VirtualKey{70, "F", 0x0066, 33, false, true}, // f / KEY_F
    VirtualKey{71, "G", 0x0067, 34, false, true}, // g / KEY_G
    VirtualKey{72, "H", 0x0068, 35, false, true}, // h / KEY_H
    VirtualKey{73, "I", 0x0069, 23, false, true}, // i / KEY_I
    VirtualKey{74, "J", 0x006a, 36, false, true}, // j / KEY_J
    VirtualKey{75, "K", 0x006b, 37, false, true}, // k / KEY_K
    VirtualKey{76, "L", 0x006c, 38, false, true}, // l / KEY_L
    VirtualKey{77, "M", 0x006d, 50, false, true}, // m / KEY_M
    VirtualKey{78, "N", 0x006e, 49, false, true}, // n / KEY_N
    VirtualKey{79, "O", 0x006f, 24, false, true}, // o / KEY_O
    VirtualKey{80, "P", 0x0070, 25, false, true}, // p / KEY_P
    VirtualKey{81, "Q", 0x0071, 16, false, true}, // q / KEY_Q
    VirtualKey{82, "R", 0x0072, 19, false, true}, // r / KEY_R
    VirtualKey{83, "S", 0x0073, 31, false, true}, // s / KEY_S
    VirtualKey{84, "T", 0x0074, 20, false, true}, // t / KEY_T
    VirtualKey{85, "U", 0x0075, 22, false, true}, // u / KEY_U
    VirtualKey{86, "V", 0x0076, 47, false, true}, // v / KEY_V
    VirtualKey{87, "W", 0x0077, 17, false, true}, // w / KEY_W
    VirtualKey{88, "X", 0x0078, 45, false, true}, // x / KEY_X
    VirtualKey{89, "Y", 0x0079, 21, false, true}, // y / KEY_Y
    VirtualKey{90, "Z", 0x007a, 44, false, true}, // z / KEY_Z
    VirtualKey{91, "LWIN", 0xffeb, 125, true, true}, // Super_L / KEY_LEFTMETA
    VirtualKey{92, "RWIN", 0xffec, 126, false, true}, // Super_R / KEY_RIGHTMETA
    VirtualKey{93, "APPS", 0xff67, 127, true, true}, // Menu / KEY_COMPOSE
    VirtualKey{95, "SLEEP", 0x1008ff2f, 142, false, true}, // XF86Sleep / KEY_SLEEP
    VirtualKey{96, "NUMPAD0", 0xffb0, 82, false, true}, // KP_0 / KEY_KP0
    VirtualKey{97, "NUMPAD1", 0xffb1, 79, false, true}, // KP_1 / KEY_KP1
    VirtualKey{98, "NUMPAD2", 0xffb2, 80, false, true}, // KP_2 / KEY_KP2
    VirtualKey{99, "NUMPAD3", 0xffb3, 81, false, true}, // KP_3 / KEY_KP3
    VirtualKey{100, "NUMPAD4", 0xffb4, 75, false, true}, // KP_4 / KEY_KP4
    VirtualKey{101, "NUMPAD5", 0xffb5, 76, false, true}, // KP_5 / KEY_KP5
    VirtualKey{102, "NUMPAD6", 0xffb6, 77, false, true}, // KP_6 / KEY_KP6
    VirtualKey{103, "NUMPAD7", 0xffb7, 71, false, true}, // KP_7 / KEY_KP7
    VirtualKey{104, "NUMPAD8", 0xffb8, 72, false, true}, // KP_8 / KEY_KP8
    VirtualKey{105, "NUMPAD9", 0xffb9, 73, false, true}, // KP_9 / KEY_KP9
    VirtualKey{106, "MULTIPLY", 0xffaa, 55, false, true}, // KP_Multiply / KEY_KPASTERISK
    VirtualKey{107, "ADD", 0xffab, 78, false, true}, // KP_Add / KEY_KPPLUS
    VirtualKey{108, "SEPARATOR", 0xffac, 121, false, true}, // KP_Separator / KEY_KPCOMMA
    VirtualKey{109, "SUBTRACT", 0xffad, 74, false, true}, // KP_Subtract / KEY_KPMINUS
    VirtualKey{110, "DECIMAL", 0xffae, 83, false, true}, // KP_Decimal / KEY_KPDOT
    VirtualKey{111, "DIVIDE", 0xffaf, 98, true, true}, // KP_Divide / KEY_KPSLASH
    VirtualKey{112, "F1", 0xffbe, 59, false, true}, // F1 / KEY_F1
    VirtualKey{113, "F2", 0xffbf, 60, false, true}, // F2 / KEY_F2
    VirtualKey{114, "F3", 0xffc0, 61, false, true}, // F3 / KEY_F3
    VirtualKey{115, "F4", 0xffc1, 62, false, true}, // F4 / KEY_F4
    VirtualKey{116, "F5", 0xffc2, 63, false, true}, // F5 / KEY_F5
    VirtualKey{117, "F6", 0xffc3, 64, false, true}, // F6 / KEY_F6
    VirtualKey{118, "F7", 0xffc4, 65, false, true}, // F7 / KEY_F7
    VirtualKey{119, "F8", 0xffc5, 66, false, true}, // F8 / KEY_F8
    VirtualKey{120, "F9", 0xffc6, 67, false, true}, // F9 / KEY_F9
    VirtualKey{121, "F10", 0xffc7, 68, false, true}, // F10 / KEY_F10
    VirtualKey{122, "F11", 0xffc8, 87, false, true}, // F11 / KEY_F11
    VirtualKey{123, "F12", 0xffc9, 88, false, true}, // F12 / KEY_F12
    VirtualKey{124, "F13", 0xffca, 183, false, true}, // F13 / KEY_F13
    VirtualKey{125, "F14", 0xffcb, 184, false, true}, // F14 / KEY_F14
    VirtualKey{126, "F15", 0xffcc, 185, false, true}, // F15 / KEY_F15
    VirtualKey{127, "F16", 0xffcd, 186, false, true}, // F16 / KEY_F16
    VirtualKey{128, "F17", 0xffce, 187, false, true}, // F17 / KEY_F17
    VirtualKey{129, "F18", 0xffcf, 188, false, true}, // F18 / KEY_F18
    VirtualKey{130, "F19", 0xffd0, 189, false, true}, // F19 / KEY_F19
    VirtualKey{131, "F20", 0xffd1, 190, false, true}, // F20 / KEY_F20
    VirtualKey{132, "F21", 0xffd2, 191, false, true}, // F21 / KEY_F21
    VirtualKey{133, "F22", 0xffd3, 192, false, true}, // F22 / KEY_F22
    VirtualKey{134, "F23", 0xffd4, 193, false, true}, // F23 / KEY_F23
    VirtualKey{135, "F24", 0xffd5, 194, false, true}, // F24 / KEY_F24
    VirtualKey{144, "NUMLOCK", 0xff7f, 69, true, true}, // Num_Lock / KEY_NUMLOCK
    VirtualKey{145, "SCROLL", 0xff14, 70, false, true}, // Scroll_Lock / KEY_SCROLLLOCK
    VirtualKey{160, "LSHIFT", 0xffe1, 42, false, true}, // Shift_L / KEY_LEFTSHIFT
    VirtualKey{161, "RSHIFT", 0xffe2, 54, true, true}, // Shift_R / KEY_RIGHTSHIFT
    VirtualKey{162, "LCONTROL", 0xffe3, 29, false, true}, // Control_L / KEY_LEFTCTRL
    VirtualKey{163, "RCONTROL", 0xffe4, 97, true, true}, // Control_R / KEY_RIGHTCTRL
    VirtualKey{164, "LMENU", 0xffe9, 56, false, true}, // Alt_L / KEY_LEFTALT
    VirtualKey{165, "RMENU", 0xffea, 100, true, true}, // Alt_R / KEY_RIGHTALT
    VirtualKey{166, "", 0x1008ff26, 158, false, true}, // XF86Back / KEY_BACK / VK_BROWSER_BACK
    VirtualKey{167, "", 0x1008ff27, 159, false, true}, // XF86Forward / KEY_FORWARD / VK_BROWSER_FORWARD
    VirtualKey{168, "", 0x1008ff29, 173, false, true}, // XF86Refresh / KEY_REFRESH / VK_BROWSER_REFRESH
    VirtualKey{169, "", 0x1008ff28, 128, false, true}, // XF86Stop / KEY_STOP / VK_BROWSER_STOP
    VirtualKey{170, "", 0x1008ff1b, 217, false, true}, // XF86Search / KEY_SEARCH / VK_BROWSER_SEARCH
    VirtualKey{171, "", 0x1008ff30, 156, false, true}, // XF86Favorites / KEY_BOOKMARKS / VK_BROWSER_FAVORITES
    VirtualKey{172, "", 0x1008ff18, 172, false, true}, // XF86HomePage / KEY_HOMEPAGE / VK_BROWSER_HOME
    VirtualKey{173, "", 0x1008ff12, 113, false, true}, // XF86AudioMute / KEY_MUTE / VK_VOLUME_MUTE
    VirtualKey{174, "", 0x1008ff11, 114, false, true}, // XF86AudioLowerVolume / KEY_VOLUMEDOWN / VK_VOLUME_DOWN
    VirtualKey{175, "", 0x1008ff13, 115, false, true}, // XF86AudioRaiseVolume / KEY_VOLUMEUP / VK_VOLUME_UP
    VirtualKey{176, "", 0x1008ff17, 163, false, true}, // XF86AudioNext / KEY_NEXTSONG / VK_MEDIA_NEXT_TRACK
    VirtualKey{177, "", 0x1008ff16, 165, false, true}, // XF86AudioPrev / KEY_PREVIOUSSONG / VK_MEDIA_PREV_TRACK
    VirtualKey{178, "", 0x1008ff15, 166, false, true}, // XF86AudioStop / KEY_STOPCD / VK_MEDIA_STOP
    VirtualKey{179, "", 0x1008ff14, 164, false, true}, // XF86AudioPlay / KEY_PLAYPAUSE / VK_MEDIA_PLAY_PAUSE
    VirtualKey{186, ";:", 0x003b, 39, false, true}, // semicolon / KEY_SEMICOLON
    VirtualKey{187, "+", 0x003d, 13, false, true}, // equal / KEY_EQUAL
    VirtualKey{188, ",", 0x002c, 51, false, true}, // comma / KEY_COMMA
    VirtualKey{189, "-", 0x002d, 12, false, true}, // minus / KEY_MINUS
    VirtualKey{190, ".", 0x002e, 52, false, true}, // period / KEY_DOT
    VirtualKey{191, "/?", 0x002f, 53, false, true}, // slash / KEY_SLASH
    VirtualKey{192, "`~", 0x0060, 41, false, true}, // grave / KEY_GRAVE
    VirtualKey{219, "[{", 0x005b, 26, false, true}, // bracketleft / KEY_LEFTBRACE
    VirtualKey{220, "\\|", 0x005c, 43, false, true}, // backslash / KEY_BACKSLASH
    VirtualKey{221, "]}", 0x005d, 27, false, true}, // bracketright / KEY_RIGHTBRACE
    VirtualKey{222, " ' ", 0x0027, 40, false, true}, // apostrophe / KEY_APOSTROPHE
    VirtualKey{226, "", 0x003c, 86, false, true}, // less / KEY_102ND / VK_OEM_102
};

constexpr bool ascending() {
    for (std::size_t i = 1; i < Rows.size(); ++i)
        if (Rows[i - 1].code >= Rows[i].code)
            return false;
    return true;
}
static_assert(ascending(), "rows are kept in ascending code order");

constexpr std::uint32_t KeysymControlR = 0xffe4;
constexpr std::uint32_t KeysymAltR = 0xffea;
constexpr std::uint32_t KeysymKpEnter = 0xff8d;
constexpr std::uint32_t KeysymIsoLevel3Shift = 0xfe03;
constexpr std::uint32_t KeysymMetaL = 0xffe7;
constexpr std::uint32_t KeysymMetaR = 0xffe8;
constexpr std::uint16_t EvdevRightCtrl = 97;
constexpr std::uint16_t EvdevRightAlt = 100;
constexpr std::uint16_t EvdevKpEnter = 96;
constexpr std::uint8_t VkNumpad0 = 0x60;
constexpr std::uint8_t VkNumpad9 = 0x69;
constexpr std::uint8_t VkDecimal = 0x6E;
// KP_Home .. KP_Delete (keysymdef.h): Home, Left, Up, Right, Down, Prior, Next, End, Begin (the
// keypad 5, VK_CLEAR), Insert, Delete.
constexpr std::uint32_t KeysymKpHome = 0xff95;
constexpr std::uint32_t KeysymKpDelete = 0xff9f;
constexpr std::array<std::uint8_t, KeysymKpDelete - KeysymKpHome + 1> KeypadNavigation{
    0x24, 0x25, 0x26, 0x27, 0x28, 0x21, 0x22, 0x23, 0x0C, 0x2D, 0x2E};

} // namespace

std::span<const VirtualKey> VirtualKeyTable() { return Rows; }

const VirtualKey* FindVirtualKey(std::uint8_t code) {
    auto it = std::lower_bound(Rows.begin(), Rows.end(), code,
                               [](const VirtualKey& row, std::uint8_t c) { return row.code < c; });
    return it != Rows.end() && it->code == code ? &*it : nullptr;
}

std::optional<std::string_view> KeyTextOf(std::uint8_t code) {
    const VirtualKey* key = FindVirtualKey(code);
    if (key == nullptr || key->keyText.empty())
        return std::nullopt;
    return key->keyText;
}

bool IsExtendedKey(std::uint8_t code) {
    const VirtualKey* key = FindVirtualKey(code);
    return key != nullptr && key->extended;
}

std::optional<ResolvedKey> ResolveVirtualKey(std::uint8_t code, bool extended) {
    if (extended) {
        switch (code) {
        case Vk::Control: return ResolvedKey{KeysymControlR, EvdevRightCtrl};
        case Vk::Menu: return ResolvedKey{KeysymAltR, EvdevRightAlt};
        case Vk::Return: return ResolvedKey{KeysymKpEnter, EvdevKpEnter};
        default: break;
        }
    }
    const VirtualKey* key = FindVirtualKey(code);
    if (key == nullptr || (key->keysym == 0 && key->evdevCode == 0))
        return std::nullopt;
    return ResolvedKey{key->keysym, key->evdevCode};
}

bool IsNumLockKeypadKey(std::uint8_t code) {
    return (code >= VkNumpad0 && code <= VkNumpad9) || code == VkDecimal;
}

std::optional<std::uint8_t> VirtualKeyOfKeysym(std::uint32_t keysym) {
    if (keysym >= 'A' && keysym <= 'Z')
        return static_cast<std::uint8_t>(keysym);
    // The keypad's second meanings (Num Lock off) are the keys Windows names for them.
    if (keysym >= KeysymKpHome && keysym <= KeysymKpDelete)
        return KeypadNavigation[keysym - KeysymKpHome];
    switch (keysym) {
    case KeysymKpEnter: return Vk::Return;
    case KeysymIsoLevel3Shift: return Vk::RMenu;
    case KeysymMetaL: return Vk::LMenu;
    case KeysymMetaR: return Vk::RMenu;
    default: break;
    }
    for (const VirtualKey& row : Rows)
        if (row.recordable && row.keysym != 0 && row.keysym == keysym)
            return row.code;
    return std::nullopt;
}

std::optional<std::uint8_t> VirtualKeyOfEvdev(std::uint16_t evdevCode) {
    if (evdevCode == EvdevKpEnter)
        return Vk::Return;
    for (const VirtualKey& row : Rows)
        if (row.recordable && row.evdevCode != 0 && row.evdevCode == evdevCode)
            return row.code;
    return std::nullopt;
}

} // namespace krv
