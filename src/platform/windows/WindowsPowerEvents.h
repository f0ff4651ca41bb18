// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/WindowThread.h"
#include "ports/ProcessEvents.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace krv {

// The power event a WM_POWERBROADCAST stands for, each of which asks for the profile to be sent to the
// mouse again. A resume counts once: PBT_APMRESUMEAUTOMATIC comes at every resume, and the
// PBT_APMRESUMESUSPEND that follows it when the user woke the machine is the same resume. A power
// status or power setting change counts only when the power source changed (`onAcPower` before and
// now; nothing when unknown): the system also reports every few percent of battery. Other codes
// mean nothing.
std::optional<PowerEvent> PowerEventOf(WPARAM code, std::optional<bool> wasOnAcPower, std::optional<bool> onAcPower);

// The power source a PBT_POWERSETTINGCHANGE record tells (true: mains), when it is the power source
// setting (GUID_ACDC_POWER_SOURCE); nothing for other settings.
std::optional<bool> OnAcPowerOfSetting(const POWERBROADCAST_SETTING* setting);

// The system's power events on a message-only window of their own, served on its own thread. A
// message-only window receives no broadcasts, so the window registers for what it needs:
// RegisterSuspendResumeNotification (suspend, resume) and RegisterPowerSettingNotification for the
// power source. The callback runs on that thread and should only hand the event on.
class WindowsPowerEvents {
public:
    using Callback = std::function<void(PowerEvent event)>;
    // Whether the machine runs on mains power now; nothing when unknown. The default asks
    // GetSystemPowerStatus.
    using PowerSource = std::function<std::optional<bool>()>;

    explicit WindowsPowerEvents(Callback onEvent, PowerSource powerSource = {});
    ~WindowsPowerEvents();
    WindowsPowerEvents(const WindowsPowerEvents&) = delete;
    WindowsPowerEvents& operator=(const WindowsPowerEvents&) = delete;

    // False when the window or a registration could not be made; error() says why.
    bool valid() const { return m_window && m_window->running(); }
    const std::string& error() const { return m_error; }
    // The window the notifications go to (tests send it messages).
    HWND window() const { return m_window ? m_window->window() : nullptr; }

    static std::optional<bool> SystemOnAcPower();

private:
    bool registerFor(HWND window, std::string& error);
    void unregister();

    Callback m_onEvent;
    PowerSource m_powerSource;
    std::optional<bool> m_onAcPower; // used on the window's thread only
    HPOWERNOTIFY m_suspendResume = nullptr;
    HPOWERNOTIFY m_powerSourceSetting = nullptr;
    std::string m_error;
    std::unique_ptr<WindowThread> m_window;
};

} // namespace krv
