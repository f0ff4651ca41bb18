// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsPowerEvents.h"

#include "platform/windows/Win32Text.h"

#include <cstring>

namespace krv {

namespace {
// GUID_ACDC_POWER_SOURCE: its data is a SYSTEM_POWER_CONDITION (0 mains, 1 battery, 2 a UPS).
constexpr GUID AcDcPowerSource{0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}};
} // namespace

std::optional<PowerEvent> PowerEventOf(WPARAM code, std::optional<bool> wasOnAcPower, std::optional<bool> onAcPower) {
    switch (code) {
    case PBT_APMSUSPEND:
        return PowerEvent::Suspend;
    case PBT_APMRESUMEAUTOMATIC:
        return PowerEvent::Resume;
    case PBT_APMPOWERSTATUSCHANGE:
    case PBT_POWERSETTINGCHANGE:
        if (onAcPower && wasOnAcPower != onAcPower)
            return PowerEvent::PowerSourceChange;
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

std::optional<bool> OnAcPowerOfSetting(const POWERBROADCAST_SETTING* setting) {
    if (setting == nullptr || !IsEqualGUID(setting->PowerSetting, AcDcPowerSource) ||
        setting->DataLength < sizeof(DWORD))
        return std::nullopt;
    DWORD condition;
    std::memcpy(&condition, setting->Data, sizeof condition);
    return condition == 0;
}

std::optional<bool> WindowsPowerEvents::SystemOnAcPower() {
    SYSTEM_POWER_STATUS status{};
    if (!GetSystemPowerStatus(&status) || status.ACLineStatus > 1)
        return std::nullopt; // 255: unknown
    return status.ACLineStatus == 1;
}

WindowsPowerEvents::WindowsPowerEvents(Callback onEvent, PowerSource powerSource)
    : m_onEvent(std::move(onEvent)), m_powerSource(powerSource ? std::move(powerSource) : &SystemOnAcPower) {
    m_onAcPower = m_powerSource();
    auto handler = [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_POWERBROADCAST)
            return std::nullopt;
        std::optional<bool> onAcPower = m_onAcPower;
        if (wParam == PBT_APMPOWERSTATUSCHANGE)
            onAcPower = m_powerSource();
        else if (wParam == PBT_POWERSETTINGCHANGE)
            onAcPower = OnAcPowerOfSetting(reinterpret_cast<const POWERBROADCAST_SETTING*>(lParam));
        const std::optional<PowerEvent> event = PowerEventOf(wParam, m_onAcPower, onAcPower);
        if (onAcPower)
            m_onAcPower = onAcPower;
        if (event && m_onEvent)
            m_onEvent(*event);
        return TRUE;
    };
    m_window = std::make_unique<WindowThread>(
        WindowThread::Kind::MessageOnly, handler,
        [this](HWND window, std::string& error) { return registerFor(window, error); }, [this](HWND) { unregister(); });
    if (!m_window->running())
        m_error = m_window->error();
}

WindowsPowerEvents::~WindowsPowerEvents() {
    m_window.reset();
}

bool WindowsPowerEvents::registerFor(HWND window, std::string& error) {
    // The setting's current value is sent at once; it matches what was read above, so it is no change.
    m_suspendResume = RegisterSuspendResumeNotification(window, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (m_suspendResume == nullptr) {
        error = "cannot register for suspend and resume: " + LastErrorMessage();
        return false;
    }
    m_powerSourceSetting = RegisterPowerSettingNotification(window, &AcDcPowerSource, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (m_powerSourceSetting == nullptr) {
        error = "cannot register for power source changes: " + LastErrorMessage();
        unregister();
        return false;
    }
    return true;
}

void WindowsPowerEvents::unregister() {
    if (m_powerSourceSetting != nullptr)
        UnregisterPowerSettingNotification(m_powerSourceSetting);
    if (m_suspendResume != nullptr)
        UnregisterSuspendResumeNotification(m_suspendResume);
    m_powerSourceSetting = nullptr;
    m_suspendResume = nullptr;
}

} // namespace krv
