// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <cstdint>

namespace krv {

// The flags that follow an apply until the mouse acknowledges its host-served buttons. Written by
// ApplyProfile, ApplyBlink and ReportReader; read by the painter.
struct ApplyFeedback {
    // Cleared by an apply that sends HostCode to a slot; set again by the acknowledgement (6, 0).
    // While clear, special-button presses are ignored.
    std::atomic<bool> HostFunctionsReady{true};
    std::atomic<std::int32_t> BlinkSlot{0};   // slot 1..8 of the first HostCode slot of the last apply
    std::atomic<bool> BlinkPhase{false};      // which of two images draws BlinkSlot while waiting
    std::atomic<bool> BlinkStarted{false};    // an apply started the blink; cleared by the acknowledgement
    std::atomic<bool> BlinkRunning{false};    // the blink is running
};

} // namespace krv
