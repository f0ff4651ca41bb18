// SPDX-License-Identifier: MIT
#include "functions/HeldInputInjector.h"

#include "mouse/VirtualKeys.h"

namespace krv {

void HeldInputInjector::keyDown(std::uint8_t code, bool extended) {
    std::lock_guard lock(m_mutex);
    m_keysDown[keyIndex(code, extended)] = true;
    m_backend.keyDown(code, extended);
}

void HeldInputInjector::keyUp(std::uint8_t code, bool extended) {
    std::lock_guard lock(m_mutex);
    m_keysDown[keyIndex(code, extended)] = false;
    m_backend.keyUp(code, extended);
}

void HeldInputInjector::buttonDown(MouseButton button) {
    std::lock_guard lock(m_mutex);
    m_buttonsDown[static_cast<int>(button)] = true;
    m_backend.buttonDown(button);
}

void HeldInputInjector::buttonUp(MouseButton button) {
    std::lock_guard lock(m_mutex);
    m_buttonsDown[static_cast<int>(button)] = false;
    m_backend.buttonUp(button);
}

void HeldInputInjector::releaseAll() {
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < 8; ++i)
        m_backend.keyUp(Vk::Menu, false);
    m_keysDown[keyIndex(Vk::Menu, false)] = false;
    for (int index = 0; index < static_cast<int>(m_keysDown.size()); ++index) {
        if (m_keysDown[index]) {
            m_keysDown[index] = false;
            m_backend.keyUp(static_cast<std::uint8_t>(index / 2), (index % 2) != 0);
        }
    }
    for (int b = 0; b < static_cast<int>(m_buttonsDown.size()); ++b) {
        if (m_buttonsDown[b]) {
            m_buttonsDown[b] = false;
            m_backend.buttonUp(static_cast<MouseButton>(b));
        }
    }
}

bool HeldInputInjector::anyHeld() const {
    std::lock_guard lock(m_mutex);
    for (bool down : m_keysDown)
        if (down)
            return true;
    for (bool down : m_buttonsDown)
        if (down)
            return true;
    return false;
}

} // namespace krv
