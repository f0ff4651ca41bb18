// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ThreadScheduling.h"

namespace krv {

// Raises the calling thread to THREAD_PRIORITY_HIGHEST within the process's priority class, as the
// reader and executor threads run: above the desktop's normal work, below real-time. Never fails: it
// reports what the thread runs at, read back from the system.
ServiceThreadScheduling PrepareServiceThread();

// PrepareServiceThread, saying on standard error what the thread runs at when it was refused. The
// reader and executor call it first thing on their threads.
void RaiseServiceThread(ServiceThread thread);

// The system timer at its finest period (1 ms) while the object lives: timed waits (the 20 ms hold
// of the shortcuts, macro pauses) then end within a millisecond instead of the default 15.6 ms tick.
class TimerResolution {
public:
    TimerResolution();
    ~TimerResolution();
    TimerResolution(const TimerResolution&) = delete;
    TimerResolution& operator=(const TimerResolution&) = delete;

    // The period granted in milliseconds; 0 when the system refused.
    unsigned period() const { return m_period; }

private:
    unsigned m_period = 0;
};

} // namespace krv
