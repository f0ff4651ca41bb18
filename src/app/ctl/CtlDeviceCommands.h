#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace krv::ctl {

// The mouse's commands of krv-glyde-ctl: "status", "apply [N]", "listen", each optionally with
// "--simulate" (the simulated mouse instead of the system's HID devices). Returns nothing when args
// are not one of them; otherwise the exit status (0 done, 1 mouse not found, 2 error).
std::optional<int> runDeviceCommand(const std::vector<std::string>& args, const std::string& executableDir,
                                    std::ostream& out, std::ostream& err);

} // namespace krv::ctl
