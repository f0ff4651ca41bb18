// SPDX-License-Identifier: MIT
#include "platform/windows/SendInputInjector.h"

#include "mouse/VirtualKeys.h"

namespace krv {

std::optional<KEYBDINPUT> KeyboardInputOf(std::uint8_t code, bool extended, bool press, UINT mappedScanCode) {
    if (FindVirtualKey(code) == nullptr)
        return std::nullopt;
    KEYBDINPUT input{};
    input.wVk = code;
    switch (code) {
    case Vk::Snapshot:
        input.wScan = 0x37;
        break;
    case Vk::Pause:
        input.wScan = 0x45;
        break;
    case Vk::LWin:
        input.wScan = 0x5B;
        break;
    default:
        input.wScan = static_cast<WORD>(mappedScanCode & 0xFF);
        break;
    }
    input.dwFlags = (extended ? KEYEVENTF_EXTENDEDKEY : 0) | (press ? 0 : KEYEVENTF_KEYUP);
    return input;
}

DWORD MouseButtonFlags(MouseButton button, bool press) {
    switch (button) {
    case MouseButton::Left:
        return press ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    case MouseButton::Right:
        return press ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    case MouseButton::Middle:
        break;
    }
    return press ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
}

void SendInputInjector::key(std::uint8_t code, bool extended, bool press) {
    const std::optional<KEYBDINPUT> keyboard =
        KeyboardInputOf(code, extended, press, MapVirtualKeyW(code, MAPVK_VK_TO_VSC));
    if (!keyboard)
        return;
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki = *keyboard;
    SendInput(1, &input, sizeof input);
}

void SendInputInjector::button(MouseButton button, bool press) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MouseButtonFlags(button, press);
    SendInput(1, &input, sizeof input);
}

} // namespace krv
