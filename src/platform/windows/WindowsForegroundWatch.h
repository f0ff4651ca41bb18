// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WindowThread.h"
#include "ports/ForegroundWatch.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace krv {

// The window in front on Windows. The system tells of each new foreground window with
// EVENT_SYSTEM_FOREGROUND (and of a window restored from the taskbar, which comes to the front
// without it, with EVENT_SYSTEM_MINIMIZEEND), to WinEvent hooks set out of context on a thread of the
// watch's own (the hooks' calls arrive through that thread's message loop; nothing is polled). There
// the window is looked at at once, while its process still runs: GetWindowThreadProcessId gives the
// process, QueryFullProcessImageNameW its executable (UTF-8, with backslashes), GetClassNameW the
// class (in windowClass; windowInstance stays empty). The watch has no descriptor: fd() is -1, and
// the owner is told through notifyOnChange() or waits on changesEvent(); readChange() then takes the
// news.
class WindowsForegroundWatch final : public ForegroundWatch {
public:
    WindowsForegroundWatch();
    ~WindowsForegroundWatch() override;
    WindowsForegroundWatch(const WindowsForegroundWatch&) = delete;
    WindowsForegroundWatch& operator=(const WindowsForegroundWatch&) = delete;

    // The watch when the hook could be set, else null (with the system's reason in `error`).
    static std::unique_ptr<WindowsForegroundWatch> open(std::string* error = nullptr);

    // False when the hook's thread or the hook could not be made; error() says why.
    bool valid() const { return m_window && m_window->running(); }
    const std::string& error() const { return m_error; }

    int fd() const override { return -1; }
    bool notifyOnChange(std::function<void()> onChange) override;
    // The newest foreground window the system announced, when it is another window than the one
    // last returned here or by current(); never blocks.
    std::optional<ForegroundProgram> readChange() override;
    // GetForegroundWindow's program; announcements made before it are dropped.
    ForegroundProgram current() override;
    // A manual-reset event, set while an announcement waits (readChange() clears it).
    HANDLE changesEvent() const { return m_changesWaiting.get(); }

    // What the watch reports for a window: nothing but the window when its process is gone or
    // cannot be asked. A Store app's frame (class ApplicationFrameWindow) reports the process of the
    // app's window inside it, with the frame's class.
    static ForegroundProgram ProgramOfWindow(HWND window);
    // The full path of a process's executable in UTF-8; empty when the process is gone or refuses.
    static std::string ExecutableOfProcess(std::int64_t pid);

private:
    static void CALLBACK onWinEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG object, LONG child, DWORD thread,
                                    DWORD time);
    void announce(HWND window);
    void removeHooks();

    UniqueHandle m_changesWaiting;
    std::mutex m_mutex;
    std::optional<ForegroundProgram> m_announced; // newest announcement not yet read
    std::function<void()> m_onChange;
    std::uint64_t m_lastWindow = 0; // the owner's side: the window it was last told of
    bool m_knowsLast = false;
    std::vector<HWINEVENTHOOK> m_hooks; // on the hooks' thread only
    std::string m_error;
    std::unique_ptr<WindowThread> m_window;
};

} // namespace krv
