// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ForegroundWatch.h"

#include <memory>
#include <string>

using Display = struct _XDisplay;

namespace krv {

// The focused window of an X11 desktop, on a connection of its own: the window manager names it in
// the root window's _NET_ACTIVE_WINDOW, whose changes arrive as PropertyNotify events (no polling);
// the window's _NET_WM_PID gives the process, ProgramOfProcess its executable (a Windows program's
// path under Wine), and WM_CLASS its class.
// A window manager without _NET_ACTIVE_WINDOW (or a window that vanished meanwhile) gives an empty
// program. Errors of this connection (a window destroyed between the event and the look) are
// ignored rather than ending the process, as Xlib's default handler would.
class X11ForegroundWatch final : public ForegroundWatch {
public:
    static std::unique_ptr<X11ForegroundWatch> open(const char* displayName = nullptr, std::string* error = nullptr);
    ~X11ForegroundWatch() override;
    X11ForegroundWatch(const X11ForegroundWatch&) = delete;
    X11ForegroundWatch& operator=(const X11ForegroundWatch&) = delete;

    int fd() const override;
    std::optional<ForegroundProgram> readChange() override;
    ForegroundProgram current() override;

private:
    explicit X11ForegroundWatch(Display* display);
    ForegroundProgram programOf(unsigned long window);

    Display* m_display = nullptr;
    unsigned long m_root = 0;
    unsigned long m_activeAtom = 0;
    unsigned long m_pidAtom = 0;
    unsigned long m_lastWindow = 0;
    bool m_knowsLast = false;
};

} // namespace krv
