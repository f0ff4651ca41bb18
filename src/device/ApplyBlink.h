// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "ports/UiNotifier.h"

#include <chrono>
#include <functional>

namespace krv {

// Marks on screen the wait for the mouse's acknowledgement: while the main page is shown and host
// functions are not ready, BlinkPhase toggles and the window repaints every 500 ms; the conditions
// are tested at the start and then every six toggles (3 s). When it ends it sets BlinkPhase and
// clears BlinkRunning.
//
// Driven by a timer: start() begins a run, then the owner calls tick() every TickInterval while
// running() (the UI runs it as a timer on its own thread). Not thread-safe by itself: use it on one
// thread; the flags it touches are atomics shared with the other threads.
class ApplyBlink {
public:
    static constexpr std::chrono::milliseconds TickInterval{500};
    static constexpr int TogglesPerCheck = 6;

    // mainPageShown tells whether SkinPage is the main page.
    ApplyBlink(ApplyFeedback& feedback, UiNotifier& notifier, std::function<bool()> mainPageShown);

    // Begins a run (the caller has set BlinkRunning). A run already going starts over, so two starts
    // never blink at double speed. Returns running().
    bool start();
    // One timer tick, TickInterval after the previous toggle. Returns running(): false when the run
    // ended and the timer should stop.
    bool tick();
    bool running() const { return m_running; }

private:
    bool check();
    void toggle();
    void finish();

    ApplyFeedback& m_feedback;
    UiNotifier& m_notifier;
    std::function<bool()> m_mainPageShown;
    bool m_running = false;
    int m_toggles = 0;
};

} // namespace krv
