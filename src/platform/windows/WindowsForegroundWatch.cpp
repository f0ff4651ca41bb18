// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsForegroundWatch.h"

#include "platform/windows/Win32Text.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace krv {

namespace {

// The watch whose hook runs on this thread: an out-of-context hook is called on the thread that set
// it, and the call carries no pointer of ours.
thread_local WindowsForegroundWatch* t_watch = nullptr;

// Class names are at most 256 characters (the system's limit for RegisterClass).
constexpr int MaxClassName = 257;
// A full path's limit with the long-path prefix.
constexpr DWORD MaxPath = 32768;

constexpr std::wstring_view UwpFrameClass = L"ApplicationFrameWindow";

// The process of the first child window of `frame` that is not the frame's own; 0 when none is.
DWORD processInFrame(HWND frame, DWORD framePid) {
    struct Search {
        DWORD framePid;
        DWORD found = 0;
    } search{framePid};
    EnumChildWindows(
        frame,
        [](HWND child, LPARAM data) -> BOOL {
            auto* search = reinterpret_cast<Search*>(data);
            DWORD pid = 0;
            if (GetWindowThreadProcessId(child, &pid) != 0 && pid != 0 && pid != search->framePid) {
                search->found = pid;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

WindowsForegroundWatch::WindowsForegroundWatch() : m_changesWaiting(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_changesWaiting) {
        m_error = "cannot create an event: " + LastErrorMessage();
        return;
    }
    auto setHooks = [this](HWND, std::string& error) {
        t_watch = this;
        // Two hooks rather than the range between the two events, which holds busy ones (menus,
        // moving, scrolling).
        for (const DWORD event : {EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_MINIMIZEEND}) {
            const HWINEVENTHOOK hook = SetWinEventHook(event, event, nullptr, &WindowsForegroundWatch::onWinEvent, 0, 0,
                                                       WINEVENT_OUTOFCONTEXT);
            if (hook == nullptr) {
                error = "cannot watch the foreground window: " + LastErrorMessage();
                removeHooks();
                return false;
            }
            m_hooks.push_back(hook);
        }
        return true;
    };
    auto unhook = [this](HWND) { removeHooks(); };
    m_window =
        std::make_unique<WindowThread>(WindowThread::Kind::MessageOnly, WindowThread::Handler{}, setHooks, unhook);
    if (!m_window->running())
        m_error = m_window->error();
}

WindowsForegroundWatch::~WindowsForegroundWatch() {
    // The hook goes with its thread, before the members it writes to.
    m_window.reset();
}

std::unique_ptr<WindowsForegroundWatch> WindowsForegroundWatch::open(std::string* error) {
    auto watch = std::make_unique<WindowsForegroundWatch>();
    if (!watch->valid()) {
        if (error != nullptr)
            *error = watch->error();
        return nullptr;
    }
    return watch;
}

void WindowsForegroundWatch::removeHooks() {
    for (const HWINEVENTHOOK hook : m_hooks)
        UnhookWinEvent(hook);
    m_hooks.clear();
    t_watch = nullptr;
}

void CALLBACK WindowsForegroundWatch::onWinEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child,
                                                 DWORD, DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF || window == nullptr || t_watch == nullptr)
        return;
    // A window restored from the taskbar comes to the front without EVENT_SYSTEM_FOREGROUND: its
    // restoring counts when it is the window in front.
    if (event == EVENT_SYSTEM_FOREGROUND || (event == EVENT_SYSTEM_MINIMIZEEND && GetForegroundWindow() == window))
        t_watch->announce(window);
}

void WindowsForegroundWatch::announce(HWND window) {
    ForegroundProgram program = ProgramOfWindow(window);
    std::lock_guard lock(m_mutex);
    // Only the newest counts: windows passed through before the owner read are no news.
    m_announced = std::move(program);
    SetEvent(m_changesWaiting.get());
    if (m_onChange)
        m_onChange();
}

bool WindowsForegroundWatch::notifyOnChange(std::function<void()> onChange) {
    std::lock_guard lock(m_mutex);
    m_onChange = std::move(onChange);
    return true;
}

std::optional<ForegroundProgram> WindowsForegroundWatch::readChange() {
    std::optional<ForegroundProgram> program;
    {
        std::lock_guard lock(m_mutex);
        program.swap(m_announced);
        if (m_changesWaiting)
            ResetEvent(m_changesWaiting.get());
    }
    // The system also announces a window brought to the front again while it already was there.
    if (!program || (m_knowsLast && program->window == m_lastWindow))
        return std::nullopt;
    m_lastWindow = program->window;
    m_knowsLast = true;
    return program;
}

ForegroundProgram WindowsForegroundWatch::current() {
    {
        // What was announced before this look is older news than the look itself.
        std::lock_guard lock(m_mutex);
        m_announced.reset();
        if (m_changesWaiting)
            ResetEvent(m_changesWaiting.get());
    }
    ForegroundProgram program = ProgramOfWindow(GetForegroundWindow());
    m_lastWindow = program.window;
    m_knowsLast = true;
    return program;
}

ForegroundProgram WindowsForegroundWatch::ProgramOfWindow(HWND window) {
    ForegroundProgram program;
    program.window = reinterpret_cast<std::uintptr_t>(window);
    if (window == nullptr)
        return program;
    DWORD pid = 0;
    if (GetWindowThreadProcessId(window, &pid) == 0)
        return program; // the window is gone
    program.pid = pid;
    wchar_t className[MaxClassName];
    const int length = GetClassNameW(window, className, MaxClassName);
    const std::wstring_view windowClass(className, length > 0 ? static_cast<std::size_t>(length) : 0);
    program.windowClass = Utf8FromWide(windowClass);
    // A Store app's window is a frame of ApplicationFrameHost.exe around a window of the app's own
    // process: the program is the app. A frame without one yet (the app starting) is the host's.
    if (windowClass == UwpFrameClass) {
        if (const DWORD app = processInFrame(window, pid); app != 0)
            program.pid = app;
    }
    program.executable = ExecutableOfProcess(program.pid);
    return program;
}

std::string WindowsForegroundWatch::ExecutableOfProcess(std::int64_t pid) {
    if (pid <= 0 || pid > 0xFFFFFFFF)
        return {};
    // The limited right is granted for nearly every process, elevated ones included.
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process)
        return {};
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size());
        if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &size))
            return Utf8FromWide(std::wstring_view(path.data(), size));
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || path.size() >= MaxPath)
            return {};
        path.resize(MaxPath);
    }
}

} // namespace krv
