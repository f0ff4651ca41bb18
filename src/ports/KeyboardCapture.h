// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace krv {

// While recording, every key reaches the program only: the UI holds a keyboard grab between start()
// and stop() and feeds each key to MacroEditor::OnKeyMessage.
class KeyboardCapture {
public:
    virtual ~KeyboardCapture() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
};

// The key messages recording understands (their Windows numbers).
enum class KeyMessage : int { KeyDown = 0x100, KeyUp = 0x101, SysKeyDown = 0x104, SysKeyUp = 0x105 };

using KeyHandler = std::function<void(KeyMessage message, std::uint8_t vk)>;

// Opens the desktop's capture of the whole keyboard: every key goes to onKey, and onUnavailable is called
// when another program holds the keyboard. Nothing when the desktop has no such capture; the window then
// captures the keys it receives itself.
using OpenKeyboardCapture =
    std::function<std::unique_ptr<KeyboardCapture>(KeyHandler onKey, std::function<void()> onUnavailable)>;

} // namespace krv
