// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

namespace krv {

enum class MouseButton : std::uint8_t { Left, Right, Middle };

// Macros store mouse buttons as codes 240 left, 241 right and anything above 241 middle.
constexpr MouseButton MouseButtonOfCode(std::uint8_t code) {
    return code == 240 ? MouseButton::Left : code == 241 ? MouseButton::Right : MouseButton::Middle;
}

// Injects keyboard and mouse-button input into the desktop, as if the user typed it. Keys are given
// by Windows virtual-key code (the codes macros store) and the extended-key flag; see VirtualKeys.h
// for what they become. A key or button the backend cannot produce is skipped silently. Calls come
// from one thread at a time (HeldInputInjector serializes them).
class InputInjector {
public:
    virtual ~InputInjector() = default;
    virtual void keyDown(std::uint8_t code, bool extended) = 0;
    virtual void keyUp(std::uint8_t code, bool extended) = 0;
    virtual void buttonDown(MouseButton button) = 0;
    virtual void buttonUp(MouseButton button) = 0;
};

// Injects nothing: the stand-in when the desktop offers no injection at all.
class NullInputInjector final : public InputInjector {
public:
    void keyDown(std::uint8_t, bool) override {}
    void keyUp(std::uint8_t, bool) override {}
    void buttonDown(MouseButton) override {}
    void buttonUp(MouseButton) override {}
};

} // namespace krv
