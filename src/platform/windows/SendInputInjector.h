// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InputInjector.h"

#include "platform/windows/Win32.h"

#include <cstdint>
#include <optional>

namespace krv {

// The keyboard input one key transition is sent as: the virtual-key code, its scan code and the
// extended-key flag as given. `mappedScanCode` is what MapVirtualKeyW(code, MAPVK_VK_TO_VSC) answers;
// three keys have scan codes of their own there (PRINT SCREEN 0x37, PAUSE 0x45, left Windows 0x5B),
// and only the low byte of a mapped one counts. Nothing for a code the key table does not know.
std::optional<KEYBDINPUT> KeyboardInputOf(std::uint8_t code, bool extended, bool press, UINT mappedScanCode);

// The mouse-button flags of a press or release (MOUSEEVENTF_LEFTDOWN, ...).
DWORD MouseButtonFlags(MouseButton button, bool press);

// Injects keys and mouse buttons with SendInput, into whatever has the input focus, as the user's
// own typing would be. Keys come from the program's key table (VirtualKeys.h); a code it does not
// know is skipped.
class SendInputInjector final : public InputInjector {
public:
    void keyDown(std::uint8_t code, bool extended) override { key(code, extended, true); }
    void keyUp(std::uint8_t code, bool extended) override { key(code, extended, false); }
    void buttonDown(MouseButton button) override { this->button(button, true); }
    void buttonUp(MouseButton button) override { this->button(button, false); }

private:
    static void key(std::uint8_t code, bool extended, bool press);
    static void button(MouseButton button, bool press);
};

} // namespace krv
