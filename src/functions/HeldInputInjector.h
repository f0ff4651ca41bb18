// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InputInjector.h"

#include <array>
#include <mutex>

namespace krv {

// Passes input on to a backend and remembers every key and mouse button it left down, so that the
// program can release them all when it ends (a macro may end on a key-down, and the user may quit in
// the middle of a held shortcut). Safe to use from the executor and the UI thread at once: each call
// reaches the backend whole, under one lock.
class HeldInputInjector final : public InputInjector {
public:
    explicit HeldInputInjector(InputInjector& backend) : m_backend(backend) {}

    void keyDown(std::uint8_t code, bool extended) override;
    void keyUp(std::uint8_t code, bool extended) override;
    void buttonDown(MouseButton button) override;
    void buttonUp(MouseButton button) override;

    // Sends eight Alt releases (an Alt left down by any program is let go), then releases every key
    // and button still held down by this program, and forgets them. Called at shutdown.
    void releaseAll();

    bool anyHeld() const;

private:
    static int keyIndex(std::uint8_t code, bool extended) { return code * 2 + (extended ? 1 : 0); }

    InputInjector& m_backend;
    mutable std::mutex m_mutex;
    std::array<bool, 512> m_keysDown{};
    std::array<bool, 3> m_buttonsDown{};
};

} // namespace krv
