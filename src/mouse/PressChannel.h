// SPDX-License-Identifier: MIT
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace krv {

// How ReportReader hands a press to ActionExecutor. Presses are not queued: while one is pending or
// being served, further presses only act as stop signals or are dropped (the reader decides).
// The code is published before the pending flag (release), and the executor reads the flag (acquire)
// before the code. The executor sleeps in waitForPress() until a press or close() wakes it: no polling.
// The sleep is on a condition variable whose mutex every wake-up passes through, so a wake-up that
// comes between the executor's last look and its sleep is never lost (whatever the system's atomic
// wait does: some check the value before taking their lock).
//
// PendingPress holds the serial number of the press being served (0: none), and StopRequest the
// serial of the press a stop is meant for. A stop that arrives after its press has been served, or
// while none is, names no press being served and so can never end the next one; a stop for a press
// that has been published but not yet taken up still ends it.
class PressChannel {
public:
    std::atomic<std::uint32_t> PendingPress{0};
    std::atomic<std::uint8_t> PressedCode{0};
    std::atomic<std::uint32_t> StopRequest{0};

    // Reader side: store the code, then set the pending flag, then wake the executor. Only one thread
    // publishes (the reader), and only while no press is pending.
    void publishPress(std::uint8_t code) {
        std::uint32_t serial = m_lastSerial.load(std::memory_order_relaxed) + 1;
        if (serial == 0)
            serial = 1;
        m_lastSerial.store(serial, std::memory_order_relaxed);
        PressedCode.store(code, std::memory_order_relaxed);
        PendingPress.store(serial, std::memory_order_release);
        wake();
    }
    // Asks the press being served (or published and about to be) to end. Nothing when no press is
    // pending: a release after a quick function, or a stop from the UI while idle, is dropped.
    // Returns whether a press was asked to stop.
    bool requestStop() {
        const std::uint32_t serving = PendingPress.load(std::memory_order_acquire);
        if (serving == 0)
            return false;
        StopRequest.store(serving, std::memory_order_relaxed);
        wake();
        return true;
    }

    // Executor side: blocks until a press is pending (true) or the channel is closed (false).
    bool waitForPress() {
        std::unique_lock lock(m_wakeMutex);
        m_wakeUp.wait(lock, [this] {
            return m_closed.load(std::memory_order_acquire) || PendingPress.load(std::memory_order_acquire) != 0;
        });
        return !m_closed.load(std::memory_order_acquire);
    }
    // Ends the serving of a press: a stop signal never carries over to the next press.
    void finishPress() {
        StopRequest.store(0, std::memory_order_relaxed);
        PendingPress.store(0, std::memory_order_release);
    }
    // Whether the press being served has been asked to stop.
    bool stopRequested() const {
        const std::uint32_t stop = StopRequest.load(std::memory_order_relaxed);
        return stop != 0 && stop == PendingPress.load(std::memory_order_relaxed);
    }
    // Executor side: sleeps until the deadline, or until the channel is closed or (with endOnStop)
    // the press being served is asked to stop, whichever comes first. A stop or close wakes it at
    // once, through the same mutex as waitForPress(), so none is lost between a look and the sleep.
    template <class TimePoint>
    void sleepUntil(TimePoint deadline, bool endOnStop) {
        std::unique_lock lock(m_wakeMutex);
        m_wakeUp.wait_until(lock, deadline, [&] { return closed() || (endOnStop && stopRequested()); });
    }

    // Wakes every waiter for good (program end, tests).
    void close() {
        m_closed.store(true, std::memory_order_release);
        wake();
    }
    bool closed() const { return m_closed.load(std::memory_order_acquire); }

    // A counter that changes with every press, stop signal and close (to see that one came; waiting
    // for a press is waitForPress()).
    std::atomic<std::uint32_t>& signal() { return m_signal; }

private:
    // The state has been stored before: a waiter that has not yet looked sees it once it has the
    // mutex, and one that has looked is asleep once the mutex is free, so the notification reaches it.
    void wake() {
        m_signal.fetch_add(1, std::memory_order_acq_rel);
        { std::lock_guard lock(m_wakeMutex); }
        m_wakeUp.notify_all();
    }

    std::mutex m_wakeMutex;
    std::condition_variable m_wakeUp;
    std::atomic<std::uint32_t> m_signal{0};
    std::atomic<bool> m_closed{false};
    std::atomic<std::uint32_t> m_lastSerial{0};
};

} // namespace krv
