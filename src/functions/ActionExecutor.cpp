// SPDX-License-Identifier: MIT
#include "functions/ActionExecutor.h"

#include "log/Log.h"
#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "mouse/VirtualKeys.h"

#include <algorithm>
#include <string>
#include <utility>

namespace krv {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr std::uint8_t LedOverrideMode = 3;
constexpr auto ShortcutHold = std::chrono::milliseconds(20);
// Behind its schedule by more than this (the machine was suspended, the desktop stalled), playback
// takes the current time as its new start instead of playing the missed pauses as a burst.
constexpr auto MaxCatchUp = std::chrono::milliseconds(100);
// Repeat-while-held plays at most this many rounds.
constexpr std::uint32_t HeldRepetitions = 100000;

} // namespace

ActionExecutor::ActionExecutor(ActionExecutorPorts ports) : m_ports(std::move(ports)) {}

ActionExecutor::~ActionExecutor() { stop(); }

void ActionExecutor::start() {
    if (!m_thread.joinable())
        m_thread = std::thread([this] {
            if (m_ports.onThreadStart)
                m_ports.onThreadStart();
            run();
        });
}

void ActionExecutor::stop() {
    m_ports.channel.close();
    if (m_thread.joinable())
        m_thread.join();
}

void ActionExecutor::run() {
    while (serveNext()) {
    }
}

bool ActionExecutor::serveNext() {
    if (!m_ports.channel.waitForPress())
        return false;
    // waitForPress read PendingPress with acquire ordering, so the code published before it is visible.
    servePress(m_ports.channel.PressedCode.load(relaxed));
    m_ports.channel.finishPress();
    return true;
}

void ActionExecutor::servePress(std::uint8_t reportCode) {
    const std::optional<int> slot = SlotOfReportCode(reportCode);
    if (!slot) {
        LogDetail(LogCategory::Executor) << "press " << static_cast<int>(reportCode) << ": no button of the mouse";
        return;
    }
    LogDetail(LogCategory::Executor) << "press " << static_cast<int>(reportCode) << ": button " << *slot << ", code "
                                     << m_ports.settings.buttonCodes[*slot - 1].load(relaxed);
    serveSlot(*slot);
}

void ActionExecutor::serveSlot(int slot) {
    ProfileSettings& s = m_ports.settings;
    const int dpiAction = s.dpiActions[slot - 1].load(relaxed);
    if (dpiAction != 0) {
        dpiStep(dpiAction);
        return;
    }
    const ButtonCode code = s.buttonCodes[slot - 1].load(relaxed);
    const int macro = code - FirstMacroCode;
    if (macro >= 0 && macro < m_ports.macros.count()) {
        playMacro(macro);
        return;
    }
    switch (DescribeButtonCode(code).hostFunction) {
    case HostFunction::LedToggle: toggleLed(); break;
    // A full press: a key-down alone would stay held in the X server and auto-repeat.
    case HostFunction::Mute:
        m_ports.injector.keyDown(Vk::VolumeMute, false);
        m_ports.injector.keyUp(Vk::VolumeMute, false);
        break;
    case HostFunction::CopyCtrlC: shortcut('C'); break;
    case HostFunction::PasteCtrlV: shortcut('V'); break;
    case HostFunction::SelectAllCtrlA: shortcut('A'); break;
    case HostFunction::UndoCtrlZ: shortcut('Z'); break;
    case HostFunction::CloseAltF4: altF4(); break;
    case HostFunction::OpenComputer: m_ports.shell.openComputerFolder(); break;
    case HostFunction::LockSession: m_ports.shell.lockSession(); break;
    case HostFunction::Calculator: m_ports.shell.startCalculator(); break;
    case HostFunction::Terminal: m_ports.shell.startTerminal(); break;
    case HostFunction::NextProfile: nextProfile(); break;
    // The DPI steps are served above through the slot's DPI action, and a macro code without its
    // macro plays nothing.
    case HostFunction::DpiCycle:
    case HostFunction::DpiUp:
    case HostFunction::DpiDown:
    case HostFunction::PlayMacro:
    case HostFunction::None: break;
    }
}

void ActionExecutor::dpiStep(int direction) {
    ProfileSettings& s = m_ports.settings;
    const int level = s.dpiStageIndex();
    auto enabled = [&](int stage) { return s.dpiStageEnabled[stage].load(relaxed) != 0; };
    auto select = [&](int stage) { s.dpiStage.store(stage, relaxed); };
    if (direction == -1) {
        for (int stage = level - 1; stage >= 0; --stage)
            if (enabled(stage)) {
                select(stage);
                break;
            }
    } else if (direction == 1) {
        for (int stage = level + 1; stage < DpiStageCount; ++stage)
            if (enabled(stage)) {
                select(stage);
                break;
            }
    } else if (direction == 2) {
        // Forward with wrap-around; comes back to the current stage when it is the only enabled one,
        // and leaves the level alone when no stage is enabled.
        for (int step = 1; step <= DpiStageCount; ++step) {
            const int stage = (level + step) % DpiStageCount;
            if (enabled(stage)) {
                select(stage);
                break;
            }
        }
    }
    const std::uint8_t ledOverride = s.toggledLedMode.load(relaxed);
    sendDpiLed(s.dpiStageIndex(), ledOverride == LedOverrideMode ? LedOverrideMode : s.appliedLedMode.load(relaxed));
    repaint();
    if (FileStatus saved = SaveDpiLevel(s, m_ports.configPath, s.currentProfile.load(relaxed));
        !saved && m_ports.reportNotSaved)
        m_ports.reportNotSaved(saved);
}

void ActionExecutor::toggleLed() {
    ProfileSettings& s = m_ports.settings;
    const std::uint8_t next =
        s.toggledLedMode.load(relaxed) != LedOverrideMode ? LedOverrideMode : s.appliedLedMode.load(relaxed);
    s.toggledLedMode.store(next, relaxed);
    sendDpiLed(s.dpiStageIndex(), next);
    repaint();
}

void ActionExecutor::sendDpiLed(int stage, std::uint8_t led) {
    const int position = m_ports.settings.appliedDpiStagePositions[stage].load(relaxed);
    const std::uint8_t value = DpiLedByte(static_cast<std::uint8_t>(position), led);
    if (m_ports.sendFeatureReport)
        m_ports.sendFeatureReport(static_cast<std::uint8_t>(FeatureCommand::DpiLed), static_cast<std::uint8_t>(stage),
                                  value);
}

void ActionExecutor::shortcut(std::uint8_t letter) {
    InputInjector& in = m_ports.injector;
    in.keyDown(Vk::Control, false);
    in.keyDown(letter, false);
    // The hold ends early only when the program stops (a release does not shorten it); the keys are
    // released all the same.
    pauseUntil(m_ports.clock.now() + ShortcutHold, false);
    in.keyUp(letter, false);
    in.keyUp(Vk::Control, false);
}

void ActionExecutor::altF4() {
    InputInjector& in = m_ports.injector;
    in.keyDown(Vk::Menu, false);
    in.keyDown(Vk::F4, false);
    in.keyUp(Vk::F4, false);
    in.keyUp(Vk::Menu, false);
}

void ActionExecutor::nextProfile() {
    const int current = m_ports.settings.currentProfile.load(relaxed);
    // Profile 5 wraps to 1; so does a number outside 1..5 read from a hand-edited file.
    const int next = (current >= ProfileCount || current < 1) ? 1 : current + 1;
    if (!m_ports.applyStoredProfile)
        return;
    // The next profile is read, checked, sent and saved in one hold of the file's lock, so that a change
    // another program saves meanwhile is what the mouse gets and what stays in the file. One that cannot
    // be read, or one without a left click (which the mouse would never be sent), leaves the profile in
    // use, on the mouse, in the window and in the file.
    const ProfileApplier::StoredRefusals refusals{
        .unreadable =
            [&](const FileStatus& problem) {
                if (m_ports.reportNotLoaded)
                    m_ports.reportNotLoaded(problem);
            },
        .noLeftButton =
            [&] {
                LogDetail(LogCategory::Executor) << "profile switch to " << next << " refused: no button is the left button";
                if (m_ports.reportSwitchRefused)
                    m_ports.reportSwitchRefused(next, current);
            }};
    if (m_ports.applyStoredProfile(next, refusals) != ProfileApplier::Outcome::NotSent)
        repaint();
}

void ActionExecutor::playMacro(int position) {
    if (position < 0 || position >= MacroTable::Capacity)
        return;
    const auto [repeatEnabled, repeatCount] = m_ports.macros.inspect([&](const MacroTable::Records& records, int) {
        const MacroRecord& record = records[position];
        return std::pair<std::uint8_t, std::uint16_t>(record.repeatEnabled(), record.repeatCount());
    });
    std::uint32_t repetitions = repeatEnabled == 0 ? 1 : repeatCount;
    if (m_ports.settings.macroPlaybackMode.load(relaxed) != 0)
        repetitions = HeldRepetitions;
    LogDetail(LogCategory::Executor) << "macro " << position + 1 << ": "
                                     << (repetitions == HeldRepetitions ? std::string("repeated while held")
                                                                        : std::to_string(repetitions) + " times");

    auto eventCount = [&] {
        return m_ports.macros.inspect([&](const MacroTable::Records& records, int) { return int{records[position].eventCount()}; });
    };
    // A playback that ends early lets go of what it holds down; one that runs to its end leaves its
    // last key-downs as the macro has them.
    HeldByPlayback held;
    auto endEarly = [&] { releaseHeld(held); };
    // Each pause ends at an absolute deadline: the time injection takes does not add up over the events.
    ExecutorClock::TimePoint deadline = m_ports.clock.now();
    for (std::uint32_t round = 0; round < repetitions; ++round) {
        for (int j = 0; j < eventCount() && j < MacroRecord::EventSlots; ++j) {
            const MacroEvent event = m_ports.macros.event(position, j);
            playEvent(event.code, event.action, held);
            deadline += std::chrono::milliseconds(event.delay);
            const ExecutorClock::TimePoint now = m_ports.clock.now();
            if (now - deadline > MaxCatchUp)
                deadline = now;
            // A stop request ends the pause at once, not at its deadline: what the macro holds is let go
            // right away (a key held through the rest of a long pause would auto-repeat).
            if (!pauseUntil(deadline, true))
                return endEarly();
        }
        if (m_ports.channel.stopRequested() || stopping())
            return endEarly();
    }
}

void ActionExecutor::playEvent(std::uint8_t code, std::uint8_t action, HeldByPlayback& held) {
    InputInjector& in = m_ports.injector;
    const bool mouse = code >= MacroCodeLeftButton;
    const HeldInput input = mouse ? HeldInput{true, static_cast<std::uint8_t>(MouseButtonOfCode(code)), false}
                                  : HeldInput{false, code, IsExtendedKey(code)};
    if (action == MacroActionDown) {
        if (mouse)
            in.buttonDown(MouseButtonOfCode(code));
        else
            in.keyDown(code, input.extended);
        if (std::find(held.begin(), held.end(), input) == held.end())
            held.push_back(input);
    } else if (action == MacroActionUp) {
        if (mouse)
            in.buttonUp(MouseButtonOfCode(code));
        else
            in.keyUp(code, input.extended);
        held.erase(std::remove(held.begin(), held.end(), input), held.end());
    }
}

void ActionExecutor::releaseHeld(HeldByPlayback& held) {
    InputInjector& in = m_ports.injector;
    // The last pressed first, so that modifiers are let go after the keys they modify.
    for (auto it = held.rbegin(); it != held.rend(); ++it) {
        if (it->mouse)
            in.buttonUp(static_cast<MouseButton>(it->code));
        else
            in.keyUp(it->code, it->extended);
    }
    held.clear();
}

bool ActionExecutor::pauseUntil(ExecutorClock::TimePoint deadline, bool endOnStop) {
    // The channel wakes the sleep: a stop request for the press being served (a second press, the
    // button's release in "repeat while held" mode, an apply) or its closing (the program's end).
    class ChannelWake final : public ExecutorClock::Wake {
    public:
        ChannelWake(PressChannel& channel, bool endOnStop) : m_channel(channel), m_endOnStop(endOnStop) {}
        bool due() const override { return m_channel.closed() || (m_endOnStop && m_channel.stopRequested()); }
        void waitUntil(ExecutorClock::TimePoint until) override { m_channel.sleepUntil(until, m_endOnStop); }

    private:
        PressChannel& m_channel;
        bool m_endOnStop;
    };
    ChannelWake wake(m_ports.channel, endOnStop);
    if (!wake.due() && m_ports.clock.now() < deadline)
        m_ports.clock.sleepUntil(deadline, wake);
    return !wake.due();
}

void ActionExecutor::repaint() {
    if (m_ports.requestRepaint)
        m_ports.requestRepaint();
}

} // namespace krv
