// SPDX-License-Identifier: MIT
#pragma once

#include "app/ctl/CtlCommands.h"
#include "device/InputReport.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace krv::ctl {

// The mouse's commands of krv-glyde-ctl (with --simulate on the simulated mouse instead of the
// system's HID devices):
//   status      whether the mouse is found, its path and report lengths (exit 1 when not found)
//   apply [N]   load profile N (default: the current one) and apply it; with --simulate standard
//               output holds exactly the feature reports sent, one per line in hex
//   listen      print the meaning of each input report until interrupted
// The pointer speed and wheel lines of an apply are left alone: the tool has no desktop backend.
std::vector<CtlCommand> deviceCommands();

// One line of "listen": "press 245", "release", "acknowledgement", "other 05 f0", with " (ignored)"
// when the event does not count in the current mode.
std::string DescribeInputReport(std::span<const std::uint8_t> report, const SpecialButtonEvent& event);

// Bytes as lowercase two-digit hex separated by single spaces.
std::string HexBytes(std::span<const std::uint8_t> bytes);

} // namespace krv::ctl
