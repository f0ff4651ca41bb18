// SPDX-License-Identifier: MIT
#pragma once

#include "ports/DeviceChange.h"

#include <string>
#include <vector>

struct udev;
struct udev_monitor;

namespace krv {

// Arrivals and removals of hidraw nodes, from a libudev monitor.
class UdevMonitor final : public DeviceChangeMonitor {
public:
    UdevMonitor();
    ~UdevMonitor() override;
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // False when the monitor could not be created (no udev, no netlink); fd() is then -1 and
    // readChanges() returns nothing. error() says why.
    bool valid() const { return m_monitor != nullptr; }
    const std::string& error() const { return m_error; }
    int fd() const override;

    // Every change waiting on the monitor ("add" and "remove" of nodes with a device path).
    std::vector<DeviceChange> readChanges() override;

private:
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::string m_error;
};

} // namespace krv
