// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/Win32.h"

#include <string>

namespace krv::test {

// What the foreground watch's test posts to the focus window of its helper program.
inline constexpr UINT ComeToFront = WM_APP + 1;
inline constexpr UINT AnnounceAgain = WM_APP + 2;
// Comes to the front as a window restored from the taskbar does (EVENT_SYSTEM_MINIMIZEEND under Wine).
inline constexpr UINT RestoredToFront = WM_APP + 3;
// Announces a restore while another window stays in front.
inline constexpr UINT RestoredBehind = WM_APP + 4;

// The event the helper program sets once its window is made (a manual-reset event, named after its
// process id, which either side may create first).
inline std::wstring ReadyEventName(DWORD helperPid) {
    return L"KrvFocusWindowReady-" + std::to_wstring(helperPid);
}

} // namespace krv::test
