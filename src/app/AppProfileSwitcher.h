// SPDX-License-Identifier: MIT
#pragma once

#include "mouse/PressChannel.h"
#include "ports/ForegroundWatch.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>



namespace krv {

// Switches the mouse to the profile of the program in front (the rules of appprofiles.ini):
// - only once the focus has stayed on one window for SettleTime (alt-tab through three windows
//   switches once, to the last);
// - only when the rule's profile differs from the one on the mouse (config.ini's "CurConfig", which
//   every apply writes, the command-line tool's too);
// - never over a manual switch: a profile applied by hand (tab + APPLY, the profile-switch button,
//   the tool) after the focus moved wins until the focus moves again;
// - never in the middle of a button's function: a macro playing is asked to stop, and the switch
//   waits (at most StopPatience) until it has ended and let go of its keys;
// - the program's own windows are not programs to switch for: the focus on them changes nothing.
// The rules are read at each switch, so a change made with the tool counts at the next focus change.
class AppProfileSwitcher : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds SettleTime{300};
    static constexpr std::chrono::milliseconds StopPatience{1000};

    struct Dependencies {
        std::filesystem::path rulesFile;
        std::filesystem::path configPath;
        PressChannel& presses;
        // Applies stored profile n whole, as the profile-switch button does; false when it was not sent
        // (a profile without a left click, an unreadable file).
        std::function<bool(int profile)> applyStoredProfile;
        std::int64_t ownPid = 0;
        std::chrono::milliseconds settleTime = SettleTime;
    };

    AppProfileSwitcher(Dependencies deps, std::unique_ptr<ForegroundWatch> watch, QObject* parent = nullptr);
    ~AppProfileSwitcher() override;

    bool watching() const { return m_watching; }
    // The program in front the last switch decision was about (tests, the dialog).
    const std::optional<ForegroundProgram>& programInFront() const { return m_inFront; }

signals:
    // After a switch to profile for the program in front (not after a refused one).
    void switched(int profile);

private:
    void readFocus();
    void onFocus(const ForegroundProgram& program);
    void settle();
    void applyWhenIdle(int profile, std::chrono::steady_clock::time_point deadline);

    Dependencies m_deps;
    std::unique_ptr<ForegroundWatch> m_watch;
    QPointer<QSocketNotifier> m_notifier;
    bool m_watching = false;
    QTimer m_settle;
    QTimer m_waitForStop;
    std::optional<ForegroundProgram> m_inFront;
    bool m_saidUnreadable = false;
    int m_profileAtFocus = 0; // on the mouse when the focus moved: another one later is a manual switch
};

} // namespace krv
