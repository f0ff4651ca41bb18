// SPDX-License-Identifier: MIT
#include "device/ApplyBlink.h"

#include <utility>

namespace krv {

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
}

ApplyBlink::ApplyBlink(ApplyFeedback& feedback, UiNotifier& notifier, std::function<bool()> mainPageShown)
    : m_feedback(feedback), m_notifier(notifier), m_mainPageShown(std::move(mainPageShown)) {}

bool ApplyBlink::start() {
    m_running = true;
    m_toggles = 0;
    if (check())
        toggle();
    return m_running;
}

bool ApplyBlink::tick() {
    if (!m_running)
        return false;
    if (m_toggles == TogglesPerCheck) {
        m_toggles = 0;
        if (!check())
            return false;
    }
    toggle();
    return m_running;
}

bool ApplyBlink::check() {
    const bool mainPage = !m_mainPageShown || m_mainPageShown();
    if (!mainPage || m_feedback.HostFunctionsReady.load(relaxed)) {
        finish();
        return false;
    }
    return true;
}

void ApplyBlink::toggle() {
    m_feedback.BlinkPhase.store(!m_feedback.BlinkPhase.load(relaxed), relaxed);
    ++m_toggles;
    m_notifier.requestRepaint();
}

void ApplyBlink::finish() {
    m_running = false;
    m_toggles = 0;
    m_feedback.BlinkPhase.store(true, relaxed);
    m_feedback.BlinkRunning.store(false, relaxed);
}

} // namespace krv
