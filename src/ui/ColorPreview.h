// SPDX-License-Identifier: MIT
#pragma once

#include "settings/ProfileSettings.h"
#include "ui/MainViewState.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace krv {

// Animates the LED preview of the color page from the LED mode of the last apply: modes 0 and 1
// alternate between off and the colour of the next stage every 1200 ms (mode 0) or 800 ms (mode 1);
// mode 2 shows the colour of the current stage; mode 3 stays off. A change of the current stage shows
// that stage's colour for 2 s first. Runs as a timer on the UI thread and ends by itself one period
// after the color page is left.
class ColorPreview : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds StageChangePause{2000};
    static constexpr std::chrono::milliseconds FastPeriod{800};  // LED mode 1
    static constexpr std::chrono::milliseconds SlowPeriod{1200}; // other modes

    ColorPreview(MainViewState& state, const ProfileSettings& settings, std::function<void()> repaint,
                 QObject* parent = nullptr);

    // Starts a run unless one is going (the running flag is set here, cleared when the run ends).
    void startIfIdle();
    bool running() const { return m_running; }
    // The length of the wait now running (2000, 1200 or 800 ms), or -1 when not running.
    int periodMs() const;
    // Runs the pending step at once (tests drive the animation without waiting).
    void advance();

private:
    enum class Next { Update, Show, Check };
    void update(); // step 2: the preview follows the applied LED mode
    void show();   // step 3: repaint, then wait one period
    void check();  // step 4: go on while the color page is shown
    void schedule(Next next, std::chrono::milliseconds delay);
    void fire();

    MainViewState& m_state;
    const ProfileSettings& m_settings;
    std::function<void()> m_repaint;
    QTimer m_timer;
    Next m_next = Next::Update;
    bool m_running = false;
    int m_lastStage = 0;
};

} // namespace krv
