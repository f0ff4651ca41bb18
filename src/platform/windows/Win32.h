// SPDX-License-Identifier: MIT
#pragma once

// <windows.h> as the Windows backends use it: no min/max macros (they break std::min and
// std::numeric_limits<...>::max), and without the rarely used parts.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
