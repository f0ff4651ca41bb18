// SPDX-License-Identifier: MIT
#include "platform/windows/WindowThread.h"

#include "platform/windows/Win32Text.h"

#include <atomic>
#include <cstdint>
#include <future>

namespace krv {

namespace {
// Each window gets a class of its own, so that two windows never share a class's lifetime.
std::atomic<std::uint64_t> g_classNumber{0};
} // namespace

WindowThread::WindowThread(Kind kind, Handler handler, OnCreated onCreated, OnDestroy onDestroy)
    : m_handler(std::move(handler)), m_onCreated(std::move(onCreated)), m_onDestroy(std::move(onDestroy)) {
    m_className = L"KrvGlydeWindow-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                  std::to_wstring(g_classNumber.fetch_add(1));
    std::promise<void> started;
    std::future<void> ready = started.get_future();
    m_thread = std::thread([this, kind, &started] { run(kind, &started); });
    ready.wait();
    if (m_window == nullptr)
        m_thread.join();
}

WindowThread::~WindowThread() {
    if (!m_thread.joinable())
        return;
    // The window is destroyed on its own thread, whose loop then ends. Should the window's queue be
    // full, the thread is told to quit and destroys the window after its loop.
    if (!PostMessageW(m_window, WM_CLOSE, 0, 0))
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
    m_thread.join();
}

LRESULT CALLBACK WindowThread::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<WindowThread*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr) {
        if (message == WM_CLOSE) {
            if (self->m_onDestroy)
                self->m_onDestroy(window);
            DestroyWindow(window);
            return 0;
        }
        if (message == WM_DESTROY) {
            PostQuitMessage(0);
            return 0;
        }
        if (self->m_handler) {
            if (const std::optional<LRESULT> result = self->m_handler(window, message, wParam, lParam))
                return *result;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void WindowThread::run(Kind kind, std::promise<void>* started) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &WindowThread::windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = m_className.c_str();
    if (RegisterClassExW(&windowClass) == 0) {
        m_error = "cannot register a window class: " + LastErrorMessage();
        started->set_value();
        return;
    }
    const HWND parent = kind == Kind::MessageOnly ? HWND_MESSAGE : nullptr;
    const DWORD style = kind == Kind::MessageOnly ? 0 : WS_OVERLAPPED;
    HWND window = CreateWindowExW(0, m_className.c_str(), L"KRV Glyde notifications", style, 0, 0, 0, 0, parent,
                                  nullptr, instance, this);
    if (window == nullptr) {
        m_error = "cannot create a window: " + LastErrorMessage();
        UnregisterClassW(m_className.c_str(), instance);
        started->set_value();
        return;
    }
    if (m_onCreated && !m_onCreated(window, m_error)) {
        // Not running: the window goes without the destroy callback.
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
        UnregisterClassW(m_className.c_str(), instance);
        started->set_value();
        return;
    }
    m_window = window;
    m_threadId = GetCurrentThreadId();
    started->set_value();

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (IsWindow(window)) {
        if (m_onDestroy)
            m_onDestroy(window);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        DestroyWindow(window);
    }
    UnregisterClassW(m_className.c_str(), instance);
}

} // namespace krv
