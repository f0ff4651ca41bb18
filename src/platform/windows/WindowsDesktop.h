// SPDX-License-Identifier: MIT
#pragma once

#include "ports/KeyboardCapture.h"
#include "ports/ProcessEvents.h"

#include <functional>
#include <memory>

namespace krv {

// The system's events for the companion on Windows, each delivered on the thread that started the
// watch, from its event loop (the Win32 sources call from threads of their own).

// Suspend, resume and power-source changes (WM_POWERBROADCAST through WindowsPowerEvents).
std::unique_ptr<ProcessEventWatch> WatchWindowsPowerEvents(std::function<void(PowerEvent)> onEvent);

// The end of the session (WM_QUERYENDSESSION, through Qt's commit-data request) and, when the
// program has a console, Ctrl+C, Ctrl+Break and the console's closing. For a console close the system
// ends the process once the handler returns: it waits (at most 4 s) for the request to be served.
std::unique_ptr<ProcessEventWatch> WatchWindowsTerminationRequests(std::function<void(int)> onRequest);

// Recording's capture of the whole keyboard through the low-level keyboard hook; the keys reach
// onKey on the thread that opened the capture.
std::unique_ptr<KeyboardCapture> OpenWindowsKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable);

} // namespace krv
