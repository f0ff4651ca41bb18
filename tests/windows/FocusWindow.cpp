// SPDX-License-Identifier: MIT
// Started by the foreground watch's test as "another program": one top-level window of the class
// named on its command line, which comes to the front at the start and again on ComeToFront or
// RestoredToFront, repeats its last foreground announcement on AnnounceAgain (the focus staying
// where it is), and announces a restore without coming to the front on RestoredBehind. Under Wine,
// which brings windows to the front without announcing it, the window announces itself
// (NotifyWinEvent, as Windows does for every window). Ends when its window is closed.
// With a window handle (hexadecimal) after the class, the window is instead a child of that window,
// as a Store app's window sits in its frame, and stays where it is.
#include <cwchar>

#include "FocusWindowMessages.h"
#include "WindowsTestSupport.h"

#include <shellapi.h>

namespace {

void announce(HWND window, DWORD event = EVENT_SYSTEM_FOREGROUND) {
    NotifyWinEvent(event, window, OBJID_WINDOW, CHILDID_SELF);
}

void comeToFront(HWND window, DWORD event = EVENT_SYSTEM_FOREGROUND) {
    SetForegroundWindow(window);
    if (krv::test::RunningUnderWine())
        announce(window, event);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case krv::test::ComeToFront:
        comeToFront(window);
        return 0;
    case krv::test::AnnounceAgain:
        announce(window);
        return 0;
    case krv::test::RestoredToFront:
        comeToFront(window, EVENT_SYSTEM_MINIMIZEEND);
        return 0;
    case krv::test::RestoredBehind:
        announce(window, EVENT_SYSTEM_MINIMIZEEND);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || (argc != 2 && argc != 3))
        return 2;
    const HWND parent = argc == 3 ? reinterpret_cast<HWND>(std::wcstoull(argv[2], nullptr, 16)) : nullptr;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = argv[1];
    if (RegisterClassExW(&windowClass) == 0)
        return 3;
    const DWORD style = parent != nullptr ? WS_CHILD | WS_VISIBLE : WS_OVERLAPPEDWINDOW;
    HWND window =
        CreateWindowExW(0, argv[1], L"KRV focus window", style, 40, 40, 240, 160, parent, nullptr, instance, nullptr);
    if (window == nullptr)
        return 4;
    if (parent == nullptr) {
        ShowWindow(window, SW_SHOW);
        comeToFront(window);
    }
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, krv::test::ReadyEventName(GetCurrentProcessId()).c_str());
    SetEvent(ready);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    LocalFree(argv);
    return 0;
}
