// SPDX-License-Identifier: MIT
#pragma once

#include "settings/ProfileSettings.h"

#include <cstdint>

namespace krv {

// The editing arithmetic of the main window's DPI stages and fire-time bar, on ProfileSettings.

// Toggles the enable flag of stage s (0..3). Disabling the current stage makes the next enabled stage
// in the cycle s+1, s+2, s+3 (mod 4) current; when no other stage is enabled, stage s stays enabled
// and current. So at least one stage stays enabled and dpiStage names an enabled stage.
void ToggleDpiStage(ProfileSettings& settings, int stage);
// Makes stage s current when it is enabled; returns whether it did.
bool SelectDpiStage(ProfileSettings& settings, int stage);
// Chooses DPI position v (0..4) of stage s, also for a disabled stage.
void SetDpiPosition(ProfileSettings& settings, int stage, int position);
// The fire interval from a click at px on the bar (x, width): (px - x) * 300 / width, integer division.
std::int32_t FireTimeFromBar(int px, int barX, int barWidth);
void StepFireTime(ProfileSettings& settings, int delta); // +1 / -1, kept within 0..300

constexpr std::int32_t MaxFireTime = 300;

} // namespace krv
