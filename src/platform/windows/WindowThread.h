// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/Win32.h"

#include <functional>
#include <future>
#include <optional>
#include <string>
#include <thread>

namespace krv {

// A window of the program's own, with its message loop on a thread of its own, for the system's
// notifications that arrive as window messages (device changes, power events). The handler runs on
// that thread for every message the window receives; it returns the message's result, or nothing for
// the default processing. The thread ends, and the window and its class go, when the object is
// destroyed.
class WindowThread {
public:
    enum class Kind {
        // Receives only what is sent to it directly (RegisterDeviceNotificationW sends to the window
        // it is given).
        MessageOnly,
        // A top-level window that is never shown: broadcasts such as WM_POWERBROADCAST reach only
        // top-level windows, never message-only ones.
        HiddenTopLevel,
    };
    using Handler = std::function<std::optional<LRESULT>(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;
    // Run on the thread once the window exists, before any message is handled; false (with `error`)
    // fails the start and closes the window.
    using OnCreated = std::function<bool(HWND window, std::string& error)>;
    // Run on the thread just before the window is destroyed.
    using OnDestroy = std::function<void(HWND window)>;

    // Returns when the window exists or could not be made (running() then says which).
    WindowThread(Kind kind, Handler handler, OnCreated onCreated = {}, OnDestroy onDestroy = {});
    ~WindowThread();
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;

    bool running() const { return m_window != nullptr; }
    // Why the window could not be made, with the system's message.
    const std::string& error() const { return m_error; }
    // The window, for sending it messages; null when not running.
    HWND window() const { return m_window; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void run(Kind kind, std::promise<void>* started);

    Handler m_handler;
    OnCreated m_onCreated;
    OnDestroy m_onDestroy;
    std::wstring m_className;
    HWND m_window = nullptr;
    DWORD m_threadId = 0;
    std::string m_error;
    std::thread m_thread;
};

} // namespace krv
