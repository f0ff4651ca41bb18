// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace krv {

// The command that gives the user at the seat access to the mouse's hidraw nodes: where the system
// has no udev rule for the mouse yet, it writes one (the uaccess tag, as the shipped rule does); then
// it reloads the rules and applies them to the nodes present.
std::string DeviceAccessCommand();

} // namespace krv
