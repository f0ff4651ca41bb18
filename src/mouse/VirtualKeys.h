// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace krv {

// One Windows virtual-key code as macros store it, with what stands for it on Linux: the X keysym
// (XTest injection, keyboard recording) and the evdev key code (uinput). The one key table of the
// program: the macro editor shows keyText, the executor injects keysym/evdevCode, the recorder maps
// X key events back to the code.
struct VirtualKey {
    std::uint8_t code = 0;          // Windows virtual-key code
    std::string_view keyText;       // the editor's text for the code; empty: "Not Available"
    std::uint32_t keysym = 0;       // X keysym; 0 when X has none
    std::uint16_t evdevCode = 0;    // evdev KEY_* code; 0 when the kernel has none
    bool extended = false;          // played with the extended-key flag
    bool recordable = true;         // the code a recorded key maps back to (false for the generic
                                    // SHIFT/CONTROL/MENU and PRINT, whose keys record as the
                                    // left-hand or SNAPSHOT code)
};

namespace Vk {
inline constexpr std::uint8_t Return = 0x0D;
inline constexpr std::uint8_t Shift = 0x10;
inline constexpr std::uint8_t Control = 0x11;
inline constexpr std::uint8_t Menu = 0x12; // Alt
inline constexpr std::uint8_t Pause = 0x13;
inline constexpr std::uint8_t Snapshot = 0x2C;
inline constexpr std::uint8_t LWin = 0x5B;
inline constexpr std::uint8_t F4 = 0x73;
inline constexpr std::uint8_t LShift = 0xA0;
inline constexpr std::uint8_t RShift = 0xA1;
inline constexpr std::uint8_t LControl = 0xA2;
inline constexpr std::uint8_t RControl = 0xA3;
inline constexpr std::uint8_t LMenu = 0xA4;
inline constexpr std::uint8_t RMenu = 0xA5;
inline constexpr std::uint8_t VolumeMute = 0xAD;
} // namespace Vk

// Every code of the table, in ascending code order.
std::span<const VirtualKey> VirtualKeyTable();
// The row of a code, or nothing for a code the table does not know.
const VirtualKey* FindVirtualKey(std::uint8_t code);
// The editor's text of a key code, or nothing (shown as "Not Available" / "不可录制"). Mouse-button
// codes 240..242 are not keys and are not in this table.
std::optional<std::string_view> KeyTextOf(std::uint8_t code);
// True for the eighteen keys macros play with the extended-key flag.
bool IsExtendedKey(std::uint8_t code);

// The key a (code, extended flag) pair stands for. The flag picks the right-hand key where Windows
// has one behind the generic code (CONTROL, MENU) and the keypad Enter behind RETURN; it changes
// nothing else. Nothing for unknown codes.
struct ResolvedKey {
    std::uint32_t keysym = 0;
    std::uint16_t evdevCode = 0;
};
std::optional<ResolvedKey> ResolveVirtualKey(std::uint8_t code, bool extended);

// The keypad digits NUMPAD0..NUMPAD9 and DECIMAL: played, they type their character whatever the
// Num Lock state (as Windows types a VK_NUMPAD key), while on an X or evdev keyboard the same keypad
// key is a navigation key with Num Lock off.
bool IsNumLockKeypadKey(std::uint8_t code);

// The code a key of the keyboard records as (left and right modifiers stay apart, as a low-level
// Windows hook reports them). Upper-case letter keysyms count as their letter. A keypad keysym
// counts as what it means: KP_1 is NUMPAD1, KP_End (the same key with Num Lock off) is END.
std::optional<std::uint8_t> VirtualKeyOfKeysym(std::uint32_t keysym);
std::optional<std::uint8_t> VirtualKeyOfEvdev(std::uint16_t evdevCode);

} // namespace krv
