// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyProfile.h"
#include "macros/MacroTable.h"
#include "mouse/PressChannel.h"
#include "ports/ExecutorClock.h"
#include "ports/InputInjector.h"
#include "ports/ShellActions.h"
#include "settings/ProfileSettings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

namespace krv {

// What the executor works on and through. Everything is owned by the application context and must
// outlive the executor. The functions may be called from the executor's thread at any time:
//  - sendFeatureReport(command, p1, p2): one whole vendor feature report (SendFeatureReport);
//  - applyStoredProfile(n, refusals): the profile switch, ProfileApplier::ApplyStoredProfile: profile n read,
//    checked, made the current profile, sent and saved in one hold of the file's lock;
//  - requestRepaint(): ask the main window to repaint (UiNotifier::requestRepaint).
// An empty function is skipped. The injector should be the program's HeldInputInjector, so that
// shutdown can release what a macro left down.
struct ActionExecutorPorts {
    PressChannel& channel;
    ProfileSettings& settings;
    const MacroTable& macros;
    InputInjector& injector;
    ShellActions& shell;
    ExecutorClock& clock;
    std::filesystem::path configPath;
    std::function<void(std::uint8_t command, std::uint8_t p1, std::uint8_t p2)> sendFeatureReport;
    std::function<ProfileApplier::Outcome(int n, const ProfileApplier::StoredRefusals& refusals)> applyStoredProfile;
    std::function<void()> requestRepaint;
    // Called first thing on the executor's own thread (start()): raise its priority, name it.
    std::function<void()> onThreadStart = {};
    // Tell the user that a DPI step did not reach the disk, or that the next profile could not be read
    // (it is then not applied). Called on the executor's thread.
    std::function<void(const FileStatus&)> reportNotSaved = {};
    std::function<void(const FileStatus&)> reportNotLoaded = {};
    // Tell the user that the profile switch was refused: profile `next` has no left click, and the
    // mouse stays on `current`. Called on the executor's thread.
    std::function<void(int next, int current)> reportSwitchRefused = {};
};

// Performs the host-served button functions. It sleeps until ReportReader publishes a press on the
// channel, serves the pressed slot (DPI step, LED toggle, shortcut, shell action, profile switch or
// macro playback), then clears PendingPress and StopRequest. No polling: an idle executor never wakes.
//
// Typical use (application context; the Linux backends are in src/platform/linux):
//     std::unique_ptr<InputInjector> backend = OpenInputInjector();  // XTest, else uinput, else none
//     HeldInputInjector heldInput{*backend};
//     ShellLauncher shell;                                            // ShellActions
//     SteadyExecutorClock clock;
//     ActionExecutor executor({.channel = presses, .settings = profile, .macros = macros,
//                              .injector = heldInput, .shell = shell, .clock = clock,
//                              .configPath = paths.configPath(),
//                              .sendFeatureReport = [&](auto c, auto p1, auto p2) {
//                                  // a failed send: the mouse is gone, and the hot-plug monitor says so
//                                  (void)link.SendFeatureReport(FeatureCommand(c), p1, p2); },
//                              .applyStoredProfile = [&](int n, const auto& refusals) {
//                                  return applier.ApplyStoredProfile(n, refusals); },
//                              .requestRepaint = [&] { notifier.requestRepaint(); },
//                              .onThreadStart = [&] { ports.raiseServiceThread(ServiceThread::Executor); }});
//     executor.start();   // its own thread
//     ...
//     executor.stop();         // at shutdown: ends a playing macro at once and joins,
//     heldInput.releaseAll();  // then eight Alt releases and whatever is still held down
class ActionExecutor {
public:
    explicit ActionExecutor(ActionExecutorPorts ports);
    ~ActionExecutor();
    ActionExecutor(const ActionExecutor&) = delete;
    ActionExecutor& operator=(const ActionExecutor&) = delete;

    void start();
    // Closes the channel, which cuts a running pause short, and joins the thread. Safe to call twice.
    void stop();

    // The thread's body: serves presses until the channel is closed.
    void run();
    // Waits for one press and serves it; false when the channel was closed instead.
    bool serveNext();
    // Serves a press of the given input report code (240 + device button id) right away.
    void servePress(std::uint8_t reportCode);

    // Macro playback as the executor does it (exposed for the editor's tests and the benchmark).
    // Playback that ends early (a stop request for the press being served, or stop()) releases at
    // once every key and mouse button it pressed and has not released; playback that runs to its
    // end leaves the macro's last key-downs held, as recorded.
    void playMacro(int position);

private:
    void serveSlot(int slot);
    void dpiStep(int direction);
    void toggleLed();
    void sendDpiLed(int stage, std::uint8_t led);
    void shortcut(std::uint8_t letter);
    void altF4();
    void nextProfile();
    // A key (code and extended flag) or a mouse button (code: the MouseButton) a playback holds down.
    struct HeldInput {
        bool mouse = false;
        std::uint8_t code = 0;
        bool extended = false;
        bool operator==(const HeldInput&) const = default;
    };
    using HeldByPlayback = std::vector<HeldInput>; // in the order pressed
    void playEvent(std::uint8_t code, std::uint8_t action, HeldByPlayback& held);
    void releaseHeld(HeldByPlayback& held);
    // Sleeps until the deadline; false when it ended early: the executor is being stopped, or (with
    // endOnStop) the press being served has been asked to stop. Either wakes it at once.
    bool pauseUntil(ExecutorClock::TimePoint deadline, bool endOnStop);
    bool stopping() const { return m_ports.channel.closed(); }
    void repaint();

    ActionExecutorPorts m_ports;
    std::thread m_thread;
};

} // namespace krv
