// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>

namespace krv {

// The executor's sense of time: the 20 ms hold of the shortcuts and the pauses of macros. Tests give
// it a manual clock so that nothing depends on the wall clock.
class ExecutorClock {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // What ends a sleep before its deadline: a stop request for the press being served, the end of
    // the program. Whoever makes due() true wakes waitUntil().
    class Wake {
    public:
        // Whether the sleep must end now.
        virtual bool due() const = 0;
        // Blocks until due() holds or the steady clock reaches the deadline.
        virtual void waitUntil(TimePoint deadline) = 0;

    protected:
        ~Wake() = default;
    };

    virtual ~ExecutorClock() = default;
    virtual TimePoint now() = 0;
    // Returns at the deadline, or as soon as wake.due() holds (at once when it already does).
    virtual void sleepUntil(TimePoint deadline, Wake& wake) = 0;
};

// The steady clock of the system; sleeps wake at the absolute deadline (no drift from the time the
// work between sleeps takes), or when woken.
class SteadyExecutorClock final : public ExecutorClock {
public:
    TimePoint now() override { return Clock::now(); }
    void sleepUntil(TimePoint deadline, Wake& wake) override { wake.waitUntil(deadline); }
};

} // namespace krv
