// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

namespace krv::guest {

// One kernel uevent: its properties (ACTION, SUBSYSTEM, DEVNAME, DEVPATH, ...).
struct Uevent {
    std::map<std::string, std::string> properties;

    std::string get(const std::string& key) const
    {
        auto it = properties.find(key);
        return it == properties.end() ? std::string() : it->second;
    }
};

// Listens to the kernel's own uevents (no udev daemon runs in the guest). Open it before the action
// whose event is awaited, so that the event cannot be missed.
class UeventListener {
public:
    UeventListener();
    ~UeventListener();
    UeventListener(const UeventListener&) = delete;
    UeventListener& operator=(const UeventListener&) = delete;

    bool isOpen() const { return m_fd >= 0; }

    // The next event with this action and subsystem, or nothing when none came within the limit.
    std::optional<Uevent> waitFor(const std::string& action, const std::string& subsystem,
                                  std::chrono::milliseconds limit);

private:
    int m_fd = -1;
};

} // namespace krv::guest
