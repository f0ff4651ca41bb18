// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsDeviceChanges.h"

#include "platform/windows/Win32Text.h"

#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}

#include <cwchar>

namespace krv {

namespace {

GUID hidInterfaceClass() {
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    return hidClass;
}

} // namespace

std::optional<DeviceChange> DeviceChangeOfMessage(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE)
        return std::nullopt;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE ||
        header->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_W))
        return std::nullopt;
    const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header);
    if (!IsEqualGUID(device->dbcc_classguid, hidInterfaceClass()))
        return std::nullopt;
    // The name fills the record to its end; it is read no further than that.
    const std::size_t maxChars =
        (header->dbch_size - offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name)) / sizeof(wchar_t);
    const std::wstring_view name(device->dbcc_name, wcsnlen(device->dbcc_name, maxChars));
    if (name.empty())
        return std::nullopt;
    return DeviceChange{event == DBT_DEVICEARRIVAL ? DeviceChange::Kind::Arrival : DeviceChange::Kind::Removal,
                        Utf8FromWide(name)};
}

WindowsDeviceChangeMonitor::WindowsDeviceChangeMonitor(std::function<void()> onChanges)
    : m_onChanges(std::move(onChanges)), m_changesWaiting(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!m_changesWaiting) {
        m_error = "cannot create an event: " + LastErrorMessage();
        return;
    }
    auto handler = [this](HWND, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message != WM_DEVICECHANGE)
            return std::nullopt;
        if (const std::optional<DeviceChange> change = DeviceChangeOfMessage(wParam, lParam)) {
            {
                std::lock_guard lock(m_mutex);
                m_changes.push_back(*change);
                SetEvent(m_changesWaiting.get());
            }
            if (m_onChanges)
                m_onChanges();
        }
        return TRUE;
    };
    auto registerForHid = [this](HWND window, std::string& error) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = hidInterfaceClass();
        m_registration = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (m_registration == nullptr) {
            error = "cannot register for HID device notifications: " + LastErrorMessage();
            return false;
        }
        return true;
    };
    auto unregister = [this](HWND) {
        if (m_registration != nullptr)
            UnregisterDeviceNotification(m_registration);
        m_registration = nullptr;
    };
    m_window = std::make_unique<WindowThread>(WindowThread::Kind::MessageOnly, handler, registerForHid, unregister);
    if (!m_window->running())
        m_error = m_window->error();
}

WindowsDeviceChangeMonitor::~WindowsDeviceChangeMonitor() {
    // The window's thread ends first: no message is handled once the members go.
    m_window.reset();
}

std::vector<DeviceChange> WindowsDeviceChangeMonitor::readChanges() {
    std::lock_guard lock(m_mutex);
    std::vector<DeviceChange> changes;
    changes.swap(m_changes);
    if (m_changesWaiting)
        ResetEvent(m_changesWaiting.get());
    return changes;
}

} // namespace krv
