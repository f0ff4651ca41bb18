#pragma once

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

} // namespace krv
