// SPDX-License-Identifier: MIT
#include "device/ReportReader.h"

#include "log/Log.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace krv {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

ReportReader::ReportReader(DeviceLink& link, PressChannel& presses, ApplyFeedback& feedback,
                           const ProfileSettings& settings, UiNotifier& notifier)
    : m_link(link), m_presses(presses), m_feedback(feedback), m_settings(settings), m_notifier(notifier) {}

ReportReader::~ReportReader() {
    stop();
}

void ReportReader::setEventCallback(EventCallback onEvent) {
    m_onEvent = std::move(onEvent);
}

void ReportReader::setOnThreadStart(std::function<void()> onThreadStart) {
    m_onThreadStart = std::move(onThreadStart);
}

void ReportReader::start() {
    if (m_thread.joinable())
        return;
    m_thread = std::jthread([this](std::stop_token stop) {
        if (m_onThreadStart)
            m_onThreadStart();
        run(stop);
    });
}

void ReportReader::stop() {
    if (!m_thread.joinable())
        return;
    m_thread.request_stop();
    m_link.wakeWaits();
    {
        std::lock_guard lock(m_readingMutex);
        if (m_reading)
            m_reading->interruptRead();
    }
    m_thread.join();
}

SpecialButtonEvent ReportReader::handleReport(std::span<const std::uint8_t> report) {
    const SpecialButtonEvent event = ClassifyInputReport(report, m_feedback.HostFunctionsReady.load(relaxed));
    if (!event.handled)
        return event;
    switch (event.kind) {
    case SpecialButtonEvent::Kind::Press:
        if (m_presses.PendingPress.load(std::memory_order_acquire) == 0)
            m_presses.publishPress(event.code);
        else if (m_settings.macroPlaybackMode.load(relaxed) == 0)
            m_presses.requestStop(); // a second press ends the macro being played
        break;
    case SpecialButtonEvent::Kind::Release:
        // Releasing the button ends the macro repeated while held. requestStop() acts only while a
        // press is being served: the release of a quick function (served before its release comes)
        // must not cut the next press short.
        if (m_settings.macroPlaybackMode.load(relaxed) == 1)
            m_presses.requestStop();
        break;
    case SpecialButtonEvent::Kind::Acknowledgement:
        LogDetail(LogCategory::Device) << "the mouse serves its buttons' host functions through the program";
        m_feedback.BlinkStarted.store(false, relaxed);
        m_feedback.BlinkPhase.store(false, relaxed);
        m_feedback.HostFunctionsReady.store(true, relaxed);
        m_feedback.HostFunctionsReady.notify_all();
        m_notifier.requestRepaint();
        break;
    case SpecialButtonEvent::Kind::Other:
        break;
    }
    return event;
}

void ReportReader::run(std::stop_token stop) {
    std::vector<std::uint8_t> buffer;
    while (!stop.stop_requested()) {
        std::shared_ptr<HidHandle> handle = m_link.waitForReadHandle(stop);
        if (!handle)
            continue; // stop requested
        {
            // Published before the stop check: stop() either sees it and interrupts the read, or
            // has requested the stop before the check below.
            std::lock_guard lock(m_readingMutex);
            m_reading = handle;
        }
        if (stop.stop_requested())
            break;
        // A buffer as long as the collection's reports; the read never writes past its end.
        buffer.assign(std::max<std::size_t>(m_link.inputReportLength(), InputReport::MeaningfulBytes), 0);
        const int read = handle->readInputReport(buffer, HidHandle::WaitForever);
        if (read < 0) {
            LogDetail(LogCategory::Device) << "reading an input report failed; reading again once the mouse is back";
            handle.reset();
            m_link.waitForHandleChange(stop, FailedReadPause);
            continue;
        }
        if (read == 0)
            continue;
        const std::size_t length = std::min(static_cast<std::size_t>(read), buffer.size());
        const auto report = std::span<const std::uint8_t>(buffer).first(length);
        // A report of another collection of the same node (the pointer's movements) is not ours.
        if (!m_link.isReadCollectionReport(report[0]))
            continue;
        const SpecialButtonEvent event = handleReport(report);
        if (m_onEvent)
            m_onEvent(report, event);
    }
    std::lock_guard lock(m_readingMutex);
    m_reading.reset();
}

} // namespace krv
