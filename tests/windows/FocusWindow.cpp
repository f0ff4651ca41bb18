// SPDX-License-Identifier: MIT
// Started by the foreground watch's test as "another program": one top-level window of the class
// named on its command line, which comes to the front at the start and again on ComeToFront or
// RestoredToFront, repeats its last foreground announcement on AnnounceAgain (the focus staying
// where it is), and announces a restore without coming to the front on RestoredBehind. Under Wine,
// which brings windows to the front without announcing it, the window announces itself
// (NotifyWinEvent, as Windows does for every window). Ends when its window is closed.
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
    if (argv == nullptr || argc != 2)
        return 2;
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = argv[1];
    if (RegisterClassExW(&windowClass) == 0)
        return 3;
    HWND window = CreateWindowExW(0, argv[1], L"KRV focus window", WS_OVERLAPPEDWINDOW, 40, 40, 240, 160, nullptr,
                                  nullptr, instance, nullptr);
    if (window == nullptr)
        return 4;
    ShowWindow(window, SW_SHOW);
    comeToFront(window);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    LocalFree(argv);
    return 0;
}
