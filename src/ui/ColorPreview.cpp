// SPDX-License-Identifier: MIT
#include "ui/ColorPreview.h"

namespace krv {

ColorPreview::ColorPreview(MainViewState& state, const ProfileSettings& settings, std::function<void()> repaint,
                           QObject* parent)
    : QObject(parent), m_state(state), m_settings(settings), m_repaint(std::move(repaint)) {
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &ColorPreview::fire);
}

void ColorPreview::startIfIdle() {
    if (m_running)
        return;
    if (m_state.page != SkinPage::Color)
        return;
    m_running = true;
    const int d = m_settings.dpiStageIndex();
    m_state.previewStage = d;
    m_lastStage = d;
    update();
}

int ColorPreview::periodMs() const {
    return m_running ? m_timer.interval() : -1;
}

void ColorPreview::advance() {
    if (!m_running)
        return;
    m_timer.stop();
    fire();
}

void ColorPreview::fire() {
    switch (m_next) {
    case Next::Update:
        update();
        break;
    case Next::Show:
        show();
        break;
    case Next::Check:
        check();
        break;
    }
}

void ColorPreview::schedule(Next next, std::chrono::milliseconds delay) {
    m_next = next;
    m_timer.start(delay);
}

void ColorPreview::update() {
    const int mode = m_settings.appliedLedMode.load(std::memory_order_relaxed);
    const int d = m_settings.dpiStageIndex();
    if (mode == 3) {
        m_state.previewOff = true;
        m_state.previewStage = d;
    } else if (mode == 2) {
        m_state.previewOff = false;
        m_state.previewStage = d;
    } else if (mode == 0 || mode == 1) {
        if (d != m_lastStage) {
            // A new current stage shows its colour for a while before the alternation goes on.
            m_state.previewStage = d;
            m_state.previewOff = false;
            m_repaint();
            m_lastStage = d;
            schedule(Next::Show, StageChangePause);
            return;
        }
        if (m_state.previewOff) {
            m_state.previewOff = false;
        } else {
            m_state.previewOff = true;
            m_state.previewStage = (m_state.previewStage + 1) % DpiStageCount;
        }
    }
    show();
}

void ColorPreview::show() {
    m_repaint();
    const int mode = m_settings.appliedLedMode.load(std::memory_order_relaxed);
    schedule(Next::Check, mode == 1 ? FastPeriod : SlowPeriod);
}

void ColorPreview::check() {
    if (m_state.page == SkinPage::Color) {
        update();
        return;
    }
    m_running = false;
}

} // namespace krv
