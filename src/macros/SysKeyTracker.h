// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/VirtualKeys.h"
#include "ports/KeyboardCapture.h"

#include <cstdint>

namespace krv {

// Names a key event as Windows names it: the Sys messages while Alt is held (the Alt key's own press
// included, its release not) and for F10; the plain messages otherwise. Tracks the Alt keys itself.
class SysKeyTracker {
public:
    KeyMessage message(std::uint8_t vk, bool press) {
        const bool altKey = vk == Vk::LMenu || vk == Vk::RMenu || vk == Vk::Menu;
        const bool altBefore = m_altHeld != 0;
        if (altKey) {
            const int bit = vk == Vk::RMenu ? 2 : 1;
            m_altHeld = press ? (m_altHeld | bit) : (m_altHeld & ~bit);
        }
        const bool sys = vk == F10 || (altKey ? press : altBefore);
        if (press)
            return sys ? KeyMessage::SysKeyDown : KeyMessage::KeyDown;
        return sys ? KeyMessage::SysKeyUp : KeyMessage::KeyUp;
    }
    void reset() { m_altHeld = 0; }

private:
    static constexpr std::uint8_t F10 = 121;
    int m_altHeld = 0; // bits of the left and right Alt keys
};

} // namespace krv
