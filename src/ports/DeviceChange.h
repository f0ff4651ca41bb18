// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace krv {

// Arrival or removal of a HID node, as the platform's hot-plug monitor reports it.
struct DeviceChange {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path; // the node path, compared with DeviceLink's DevicePath

    bool operator==(const DeviceChange&) const = default;
};

// The platform's hot-plug monitor. The owner watches fd() for readability (a socket notifier on the UI
// thread) and then calls readChanges(), which never blocks.
class DeviceChangeMonitor {
public:
    virtual ~DeviceChangeMonitor() = default;
    // -1 when the monitor could not be set up; readChanges() then returns nothing.
    virtual int fd() const = 0;
    // Every change waiting on the monitor.
    virtual std::vector<DeviceChange> readChanges() = 0;
};

} // namespace krv
