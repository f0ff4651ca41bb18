// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ThreadScheduling.h"

#include <chrono>
#include <string>

#include <sys/types.h>

namespace krv {

// The scheduling the reader and executor threads ask for, the way desktop audio threads do: a low
// real-time priority (audio servers ask for more, so sound keeps precedence over button actions),
// else a nice value well above normal desktop work.
constexpr int ServiceThreadRealtimePriority = 10;
constexpr int ServiceThreadNice = -10;

// A service thread at real-time priority that runs this long without sleeping (a macro of zero pauses
// repeated while its button is held) loses its real-time priority instead of starving the desktop: the
// kernel signals SIGXCPU at this limit of RLIMIT_RTTIME, and the program answers by moving its service
// threads back to normal scheduling at the raised nice value.
constexpr std::chrono::milliseconds RealtimeRunLimit{50};

// The desktop's broker of thread priorities (rtkit on the system bus), for processes that may not raise
// a thread's scheduling themselves. Called on the thread that asks; `thread` is a thread of this process.
class SchedulingBroker {
public:
    virtual ~SchedulingBroker() = default;
    // True when the broker made the thread SCHED_FIFO at `priority` (or the highest it grants below
    // it). `error` says why not otherwise.
    [[nodiscard]] virtual bool makeThreadRealtime(pid_t thread, int priority, std::string& error) = 0;
    // True when the broker set the thread's nice value to `nice` (or the lowest it grants above it).
    [[nodiscard]] virtual bool makeThreadHighPriority(pid_t thread, int nice, std::string& error) = 0;
};

// Prepares the calling thread to serve the mouse's buttons: real-time scheduling (SCHED_FIFO directly
// when the process may, else through the broker when one is given), else the raised nice value
// (directly, else through the broker); and the minimum timer slack, so that timed waits end on time.
// Programs the thread starts never inherit the raised scheduling (SCHED_RESET_ON_FORK). A real-time
// thread is guarded by RealtimeRunLimit. Never fails: it reports what the thread got.
ServiceThreadScheduling PrepareServiceThread(SchedulingBroker* broker = nullptr);

// The calling thread's id, as the kernel and the broker know it.
pid_t CurrentThreadId();

} // namespace krv
