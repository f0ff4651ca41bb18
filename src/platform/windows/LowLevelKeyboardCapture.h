// SPDX-License-Identifier: MIT
#pragma once

#include "macros/SysKeyTracker.h"
#include "ports/KeyboardCapture.h"

#include "platform/windows/Win32.h"

#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace krv {

// The key message a low-level keyboard hook event stands for (its wParam); nothing for others.
std::optional<KeyMessage> KeyMessageOfHookEvent(WPARAM event);

// Recording's keyboard capture on Windows: between start() and stop() a low-level keyboard hook
// (WH_KEYBOARD_LL) is installed on a thread of its own that runs the message loop the hook needs.
// Every key event goes to onKey as (message, virtual-key code) and is withheld from every program,
// this one included. The message is named by the capture's own Alt state (Alt held and F10 give the
// Sys messages), since the system, which never sees the withheld Alt, names the keys after it plain. onKey runs on the
// hook's thread and must return quickly (post to the UI thread): the system removes a hook that keeps it waiting.
// onUnavailable is called by start(), on its caller's thread, when the hook cannot be installed.
class LowLevelKeyboardCapture final : public KeyboardCapture {
public:
    LowLevelKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable);
    ~LowLevelKeyboardCapture() override;
    LowLevelKeyboardCapture(const LowLevelKeyboardCapture&) = delete;
    LowLevelKeyboardCapture& operator=(const LowLevelKeyboardCapture&) = delete;

    // Returns once the hook is installed or has failed. A second start while capturing does nothing.
    void start() override;
    // Removes the hook and ends its thread; returns when no key is delivered any more.
    void stop() override;

    // True while the hook is installed.
    bool capturing() const;
    // Why the last start failed, with the system's message.
    std::string error() const;

    // An OpenKeyboardCapture for the program's start-up.
    static std::unique_ptr<KeyboardCapture> open(KeyHandler onKey, std::function<void()> onUnavailable);

private:
    static LRESULT CALLBACK hookProcedure(int code, WPARAM wParam, LPARAM lParam);
    void run(std::promise<void>* started);

    KeyHandler m_onKey;
    std::function<void()> m_onUnavailable;
    mutable std::mutex m_mutex;
    std::thread m_thread;
    DWORD m_threadId = 0;
    bool m_capturing = false;
    std::string m_error;
    SysKeyTracker m_sys; // used on the hook's thread only
};

} // namespace krv
