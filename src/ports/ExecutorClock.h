// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace krv {

// The executor's sense of time: the 20 ms hold of the shortcuts and the pauses of macros. Tests give
// it a manual clock so that nothing depends on the wall clock.
class ExecutorClock {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    virtual ~ExecutorClock() = default;
    virtual TimePoint now() = 0;
    // Returns at the deadline, or earlier once interrupt() has been called (then every later call
    // returns at once too).
    virtual void sleepUntil(TimePoint deadline) = 0;
    virtual void interrupt() = 0;
};

// The steady clock of the system; sleeps wake at the absolute deadline (no drift from the time the
// work between sleeps takes).
class SteadyExecutorClock final : public ExecutorClock {
public:
    TimePoint now() override { return Clock::now(); }
    void sleepUntil(TimePoint deadline) override {
        std::unique_lock lock(m_mutex);
        m_wake.wait_until(lock, deadline, [this] { return m_interrupted; });
    }
    void interrupt() override {
        {
            std::lock_guard lock(m_mutex);
            m_interrupted = true;
        }
        m_wake.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_interrupted = false;
};

} // namespace krv
