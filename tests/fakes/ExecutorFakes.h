// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ExecutorClock.h"
#include "ports/InputInjector.h"
#include "ports/ShellActions.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace krv::test {

using namespace std::chrono_literals;

// A clock that only moves when the executor sleeps: a sleep jumps to its deadline and runs the
// actions scheduled up to then (a second press, a release), as a reader thread would at that time.
// An action that makes the sleep's wake due ends the sleep at the action's time.
class ManualClock final : public ExecutorClock {
public:
    TimePoint now() override { return m_now; }
    void sleepUntil(TimePoint deadline, Wake& wake) override {
        if (wake.due())
            return;
        while (!m_scheduled.empty() && m_scheduled.begin()->first <= deadline) {
            auto node = m_scheduled.extract(m_scheduled.begin());
            if (node.key() > m_now)
                m_now = node.key();
            node.mapped()();
            if (wake.due())
                return;
        }
        if (deadline > m_now)
            m_now = deadline;
    }

    // Runs `action` when the clock passes `at` (milliseconds after the start).
    void at(std::chrono::milliseconds at, std::function<void()> action) { m_scheduled.emplace(Start + at, std::move(action)); }
    std::int64_t elapsedMs() const { return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - Start).count(); }

    static inline const TimePoint Start = TimePoint(std::chrono::hours(1000));

private:
    TimePoint m_now = Start;
    std::multimap<TimePoint, std::function<void()>> m_scheduled;
};

enum class InputKind { KeyDown, KeyUp, ButtonDown, ButtonUp };

struct InputEvent {
    InputKind kind;
    int code; // key code, or the MouseButton as int
    bool extended = false;
    std::int64_t atMs = 0;
    bool operator==(const InputEvent&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const InputEvent& e) {
    static const char* names[] = {"KeyDown", "KeyUp", "ButtonDown", "ButtonUp"};
    return out << names[static_cast<int>(e.kind)] << "(" << e.code << (e.extended ? ",ext" : "") << ")@" << e.atMs;
}

inline InputEvent down(int code, std::int64_t at = 0, bool ext = false) { return {InputKind::KeyDown, code, ext, at}; }
inline InputEvent up(int code, std::int64_t at = 0, bool ext = false) { return {InputKind::KeyUp, code, ext, at}; }
inline InputEvent buttonDown(MouseButton b, std::int64_t at = 0) { return {InputKind::ButtonDown, static_cast<int>(b), false, at}; }
inline InputEvent buttonUp(MouseButton b, std::int64_t at = 0) { return {InputKind::ButtonUp, static_cast<int>(b), false, at}; }

// Records what it is asked to inject, stamped with the manual clock's time when it has one.
class RecordingInjector final : public InputInjector {
public:
    explicit RecordingInjector(ManualClock* clock = nullptr) : m_clock(clock) {}
    void keyDown(std::uint8_t code, bool extended) override { add({InputKind::KeyDown, code, extended, stamp()}); }
    void keyUp(std::uint8_t code, bool extended) override { add({InputKind::KeyUp, code, extended, stamp()}); }
    void buttonDown(MouseButton b) override { add({InputKind::ButtonDown, static_cast<int>(b), false, stamp()}); }
    void buttonUp(MouseButton b) override { add({InputKind::ButtonUp, static_cast<int>(b), false, stamp()}); }

    std::vector<InputEvent> events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    // Waits (without a time limit of its own: ctest's timeout ends a hung test) for n events.
    void waitFor(std::size_t n) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_events.size() >= n; });
    }
    // The same with a bound; false when fewer than n events came in time.
    bool waitFor(std::size_t n, std::chrono::milliseconds bound) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, bound, [&] { return m_events.size() >= n; });
    }

private:
    std::int64_t stamp() const { return m_clock != nullptr ? m_clock->elapsedMs() : 0; }
    void add(InputEvent e) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(e);
        }
        m_changed.notify_all();
    }

    ManualClock* m_clock;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<InputEvent> m_events;
};

class RecordingShell final : public ShellActions {
public:
    void openComputerFolder() override { calls.push_back("computer"); }
    void lockSession() override { calls.push_back("lock"); }
    void startCalculator() override { calls.push_back("calculator"); }
    void startTerminal() override { calls.push_back("terminal"); }
    std::vector<std::string> calls;
};

} // namespace krv::test
