// SPDX-License-Identifier: MIT
#pragma once

#include "skin/SkinLayout.h"

#include <cstdint>

namespace krv {

// The main window's view state: what the painter reads besides the settings, and what the mouse
// handlers change. One plain value, owned by the window, UI thread only.
struct MainViewState {
    SkinPage page = SkinPage::Main;

    // The element under the cursor in each layout, and the value seen at the previous mouse move.
    HitIndex mainHit = NoHit;
    HitIndex advancedHit = NoHit;
    HitIndex colorHit = NoHit;
    HitIndex lastMainHit = NoHit;
    HitIndex lastAdvancedHit = NoHit;
    HitIndex lastColorHit = NoHit;

    // Set while the left button is held after a press on an element of any layout.
    bool pressed = false;

    // LED preview of the color page: stage 0..3 and the off flag (driven by the preview timer).
    int previewStage = 0;
    bool previewOff = false;

    // The first-level function menu: open, the slot (MainLayout 25..32) it belongs to, and the flag a
    // second-level choice sets so that the next paint closes the first level.
    bool menuOpen = false;
    int menuSlot = 0;
    bool closeMenuAtPaint = false;

    // Press and release lines added to the event list since it was last refilled ("[↓]" and "[↑]").
    int eventDownCount = 0;
    int eventUpCount = 0;

    // The last MainLayout index hit-tested on the current page.
    int mainLastHit() const { return page == SkinPage::Main ? MainLastHitOnMainPage : MainLastHitOnOtherPages; }
};

} // namespace krv
