// SPDX-License-Identifier: MIT
#include "platform/linux/UdevMonitor.h"

#include <libudev.h>

#include <cstring>

namespace krv {

UdevMonitor::UdevMonitor() {
    m_udev = udev_new();
    if (!m_udev) {
        m_error = "udev is not available";
        return;
    }
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor) {
        m_error = "cannot listen to udev events";
        return;
    }
    if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        m_error = "cannot listen to hidraw events";
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
}

UdevMonitor::~UdevMonitor() {
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    if (m_udev)
        udev_unref(m_udev);
}

int UdevMonitor::fd() const {
    return m_monitor ? udev_monitor_get_fd(m_monitor) : -1;
}

std::vector<DeviceChange> UdevMonitor::readChanges() {
    std::vector<DeviceChange> changes;
    if (!m_monitor)
        return changes;
    // The monitor's socket is non-blocking: receiving stops when nothing more is waiting.
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        if (action && node) {
            if (std::strcmp(action, "add") == 0)
                changes.push_back({DeviceChange::Kind::Arrival, node});
            else if (std::strcmp(action, "remove") == 0)
                changes.push_back({DeviceChange::Kind::Removal, node});
        }
        udev_device_unref(device);
    }
    return changes;
}

} // namespace krv
