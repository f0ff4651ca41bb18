// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InputInjector.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

using Display = struct _XDisplay;

namespace krv {

// Injects input on an X11 display through the XTEST extension, on a connection of its own. Keys
// become the keysym of VirtualKeys.h on the keycode the keyboard map gives it; a keysym the map lacks
// (F13..F24 on many layouts) is bound to a spare keycode once and kept there until the injector goes,
// which gives the keycode back. A keypad digit pressed while Num Lock is off goes on a spare keycode
// that holds only the digit's keysym, so that it types the digit as on Windows (the keypad's own
// keycode would give End, Down, ...); a release goes to the keycode its press went to. Create it
// once: it opens the connection and reads the keyboard map.
class XTestInjector final : public InputInjector {
public:
    // Nothing when the display cannot be opened or lacks XTEST; `error` then says why.
    // displayName nullptr means $DISPLAY.
    static std::unique_ptr<XTestInjector> open(const char* displayName = nullptr, std::string* error = nullptr);
    ~XTestInjector() override;
    XTestInjector(const XTestInjector&) = delete;
    XTestInjector& operator=(const XTestInjector&) = delete;

    void keyDown(std::uint8_t code, bool extended) override;
    void keyUp(std::uint8_t code, bool extended) override;
    void buttonDown(MouseButton button) override;
    void buttonUp(MouseButton button) override;

    // The keycode the key (code, extended) is sent on, 0 when it cannot be sent.
    unsigned keycodeOf(std::uint8_t code, bool extended);
    // Whether Num Lock is on on the server's core keyboard.
    bool numLockOn();

private:
    explicit XTestInjector(Display* display) : m_display(display) {}
    void key(std::uint8_t code, bool extended, bool press);
    void button(MouseButton button, bool press);
    unsigned bindSpareKeycode(unsigned long keysym);
    unsigned keycodeForPress(std::uint8_t code, bool extended);

    Display* m_display;
    std::unordered_map<unsigned long, unsigned> m_keycodes; // keysym -> keycode, 0 when none
    std::vector<unsigned> m_boundSpares;                    // keycodes bound by bindSpareKeycode
    std::unordered_map<unsigned long, unsigned> m_numLockFree; // keypad keysym -> spare keycode, 0 when none
    std::unordered_map<unsigned, unsigned> m_pressedOn;        // key (code * 2 + extended) -> keycode pressed
};

} // namespace krv
