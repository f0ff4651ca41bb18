#pragma once

#include <string>

namespace krv {

// Arrival or removal of a HID node, as the platform's hot-plug monitor reports it.
struct DeviceChange {
    enum class Kind { Arrival, Removal };
    Kind kind = Kind::Arrival;
    std::string path; // the node path, compared with DeviceLink's DevicePath

    bool operator==(const DeviceChange&) const = default;
};

} // namespace krv
