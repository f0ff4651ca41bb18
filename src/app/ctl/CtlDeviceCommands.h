#pragma once

#include "device/InputReport.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace krv {
class SystemPointer;
}

namespace krv::ctl {

// The mouse's commands of krv-glyde-ctl, each optionally with "--simulate" (the simulated mouse
// instead of the system's HID devices):
//   status      whether the mouse is found, its path and report lengths (exit 1 when not found)
//   apply [N]   load profile N (default: the current one) and apply it; with --simulate standard
//               output holds exactly the feature reports sent, one per line in hex
//   listen      print the meaning of each input report until interrupted
// `pointer` receives the pointer speed and wheel lines of an apply; without one they are left alone.
// Returns nothing when args are not one of these commands; otherwise the exit status (0 done,
// 1 mouse not found, 2 error).
std::optional<int> runDeviceCommand(const std::vector<std::string>& args, const std::string& executableDir,
                                    std::ostream& out, std::ostream& err, SystemPointer* pointer = nullptr);

// One line of "listen": "press 245", "release", "acknowledgement", "other 05 f0", with " (ignored)"
// when the event does not count in the current mode.
std::string DescribeInputReport(std::span<const std::uint8_t> report, const SpecialButtonEvent& event);

// Bytes as lowercase two-digit hex separated by single spaces.
std::string HexBytes(std::span<const std::uint8_t> bytes);

} // namespace krv::ctl
