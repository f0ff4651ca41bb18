// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/Win32.h"

namespace krv::test {

// What the foreground watch's test posts to the focus window of its helper program.
inline constexpr UINT ComeToFront = WM_APP + 1;
inline constexpr UINT AnnounceAgain = WM_APP + 2;

} // namespace krv::test
