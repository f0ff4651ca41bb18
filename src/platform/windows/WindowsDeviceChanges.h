// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/UniqueHandle.h"
#include "platform/windows/WindowThread.h"
#include "ports/DeviceChange.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace krv {

// The device change a WM_DEVICECHANGE message stands for: the arrival or removal of a HID interface,
// whose path (dbcc_name) becomes the change's path in UTF-8. Nothing for other events (a changed
// device tree, a volume), other device types and other interface classes.
std::optional<DeviceChange> DeviceChangeOfMessage(WPARAM event, LPARAM data);

// Arrivals and removals of HID interfaces, from RegisterDeviceNotificationW on a message-only window
// of the monitor's own, served on its own thread. Windows gives no descriptor to watch: fd() is
// always -1 there, and the owner waits on changesEvent() instead (WaitForMultipleObjects, or Qt's
// QWinEventNotifier on the UI thread), or is told through the callback given at construction, which
// runs on the monitor's thread and should only hand the news on. readChanges() then takes what came.
class WindowsDeviceChangeMonitor final : public DeviceChangeMonitor {
public:
    explicit WindowsDeviceChangeMonitor(std::function<void()> onChanges = {});
    ~WindowsDeviceChangeMonitor() override;
    WindowsDeviceChangeMonitor(const WindowsDeviceChangeMonitor&) = delete;
    WindowsDeviceChangeMonitor& operator=(const WindowsDeviceChangeMonitor&) = delete;

    // False when the window or the registration could not be made; error() says why.
    bool valid() const { return m_window && m_window->running(); }
    const std::string& error() const { return m_error; }

    int fd() const override { return -1; }
    // Every change that came since the last call; never blocks.
    std::vector<DeviceChange> readChanges() override;
    // A manual-reset event, set while changes are waiting (readChanges() clears it).
    HANDLE changesEvent() const { return m_changesWaiting.get(); }
    // The window the notifications go to (tests send it messages).
    HWND window() const { return m_window ? m_window->window() : nullptr; }

private:
    std::function<void()> m_onChanges;
    UniqueHandle m_changesWaiting;
    std::mutex m_mutex;
    std::vector<DeviceChange> m_changes;
    HDEVNOTIFY m_registration = nullptr;
    std::string m_error;
    std::unique_ptr<WindowThread> m_window;
};

} // namespace krv
