// SPDX-License-Identifier: MIT
#include "platform/windows/LowLevelKeyboardCapture.h"

#include "platform/windows/Win32Text.h"

#include <future>

namespace krv {

namespace {
// The capture whose hook runs on this thread: the hook procedure has no argument to carry it.
thread_local LowLevelKeyboardCapture* t_capture = nullptr;
} // namespace

std::optional<KeyMessage> KeyMessageOfHookEvent(WPARAM event) {
    switch (event) {
    case WM_KEYDOWN:
        return KeyMessage::KeyDown;
    case WM_KEYUP:
        return KeyMessage::KeyUp;
    case WM_SYSKEYDOWN:
        return KeyMessage::SysKeyDown;
    case WM_SYSKEYUP:
        return KeyMessage::SysKeyUp;
    default:
        return std::nullopt;
    }
}

LowLevelKeyboardCapture::LowLevelKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable)
    : m_onKey(std::move(onKey)), m_onUnavailable(std::move(onUnavailable)) {}

LowLevelKeyboardCapture::~LowLevelKeyboardCapture() {
    stop();
}

std::unique_ptr<KeyboardCapture> LowLevelKeyboardCapture::open(KeyHandler onKey, std::function<void()> onUnavailable) {
    return std::make_unique<LowLevelKeyboardCapture>(std::move(onKey), std::move(onUnavailable));
}

LRESULT CALLBACK LowLevelKeyboardCapture::hookProcedure(int code, WPARAM wParam, LPARAM lParam) {
    if (code != HC_ACTION || t_capture == nullptr)
        return CallNextHookEx(nullptr, code, wParam, lParam);
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (const std::optional<KeyMessage> message = KeyMessageOfHookEvent(wParam)) {
        const auto vk = static_cast<std::uint8_t>(event->vkCode & 0xFF);
        const bool press = *message == KeyMessage::KeyDown || *message == KeyMessage::SysKeyDown;
        // Named by the capture's own Alt state: the system never sees the withheld Alt held.
        const KeyMessage named = t_capture->m_sys.message(vk, press);
        if (t_capture->m_onKey)
            t_capture->m_onKey(named, vk);
    }
    return 1; // withheld: the key reaches no program
}

void LowLevelKeyboardCapture::start() {
    {
        std::lock_guard lock(m_mutex);
        if (m_capturing)
            return;
        std::promise<void> started;
        std::future<void> ready = started.get_future();
        m_error.clear();
        m_thread = std::thread([this, &started] { run(&started); });
        ready.wait();
        if (m_capturing)
            return;
        m_thread.join(); // the hook could not be installed: the thread has ended
    }
    if (m_onUnavailable)
        m_onUnavailable();
}

void LowLevelKeyboardCapture::run(std::promise<void>* started) {
    // The thread's message queue exists before anyone posts to it.
    MSG message;
    PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    t_capture = this;
    m_sys.reset();
    const HHOOK hook =
        SetWindowsHookExW(WH_KEYBOARD_LL, &LowLevelKeyboardCapture::hookProcedure, GetModuleHandleW(nullptr), 0);
    if (hook == nullptr) {
        m_error = "cannot install the keyboard hook: " + LastErrorMessage();
        t_capture = nullptr;
        started->set_value();
        return;
    }
    m_threadId = GetCurrentThreadId();
    m_capturing = true;
    started->set_value();
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    UnhookWindowsHookEx(hook);
    t_capture = nullptr;
}

void LowLevelKeyboardCapture::stop() {
    std::lock_guard lock(m_mutex);
    if (!m_thread.joinable())
        return;
    if (m_capturing)
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
    m_capturing = false;
    m_threadId = 0;
}

bool LowLevelKeyboardCapture::capturing() const {
    std::lock_guard lock(m_mutex);
    return m_capturing;
}

std::string LowLevelKeyboardCapture::error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
}

} // namespace krv
