// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "device/DeviceLink.h"
#include "device/InputReport.h"
#include "mouse/PressChannel.h"
#include "ports/UiNotifier.h"
#include "settings/ProfileSettings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

namespace krv {

// Reads the mouse's vendor input reports and hands presses to ActionExecutor through the
// PressChannel. While host functions are ready:
// - a press (code above 240) is published when none is pending; otherwise it is a stop signal with
//   macro playback mode 0 and dropped with macro playback mode 1;
// - a release (code 0) is a stop signal with macro playback mode 1.
// A stop signal only ever reaches the press being served (PressChannel::requestStop).
// While waiting for the acknowledgement only (6, 0) counts: it sets HostFunctionsReady, clears
// BlinkStarted and BlinkPhase and repaints.
//
// Reports of the node's other collections (the pointer's movements, when it shares the node) are
// skipped by their report id.
//
// The thread sleeps in the HID read until a report comes (no timeout: an idle companion makes no
// periodic wake-ups); stop() interrupts the read. While no read handle is open it waits for one
// without polling.
class ReportReader {
public:
    // Pause after a failed read (a node that fails at once must not make the thread spin).
    static constexpr std::chrono::milliseconds FailedReadPause{100};

    ReportReader(DeviceLink& link, PressChannel& presses, ApplyFeedback& feedback, const ProfileSettings& settings,
                 UiNotifier& notifier);
    ~ReportReader();
    ReportReader(const ReportReader&) = delete;
    ReportReader& operator=(const ReportReader&) = delete;

    using EventCallback = std::function<void(std::span<const std::uint8_t> report, const SpecialButtonEvent& event)>;
    // Called on the reader thread after each report has been acted on, with its bytes and meaning
    // (the listen command, tests). Set before start().
    void setEventCallback(EventCallback onEvent);
    // Called first thing on the reader's own thread (raise its priority). Set before start().
    void setOnThreadStart(std::function<void()> onThreadStart);

    void start();
    // Interrupts the read, stops and joins the thread. Safe to call twice.
    void stop();

    // Acts on one report as read; returns its meaning. The thread calls it; tests may too.
    SpecialButtonEvent handleReport(std::span<const std::uint8_t> report);

private:
    void run(std::stop_token stop);

    DeviceLink& m_link;
    PressChannel& m_presses;
    ApplyFeedback& m_feedback;
    const ProfileSettings& m_settings;
    UiNotifier& m_notifier;
    EventCallback m_onEvent;
    std::function<void()> m_onThreadStart;
    std::mutex m_readingMutex;
    std::shared_ptr<HidHandle> m_reading; // the handle the thread reads from, for stop() to interrupt
    std::jthread m_thread;
};

} // namespace krv
