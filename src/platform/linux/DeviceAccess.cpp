// SPDX-License-Identifier: MIT
#include "platform/linux/DeviceAccess.h"

#include <filesystem>
#include <system_error>

namespace krv {

std::string DeviceAccessCommand() {
    const std::string reload = "sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw";
    std::error_code ec;
    for (const char* folder : {"/etc/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"})
        if (std::filesystem::exists(std::filesystem::path(folder) / "70-krv-glyde.rules", ec))
            return reload;
    return "printf '%s\\n' 'SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"18f8\", ATTRS{idProduct}==\"0f99\", "
           "TAG+=\"uaccess\"' | sudo tee /etc/udev/rules.d/70-krv-glyde.rules && " +
           reload;
}

} // namespace krv
