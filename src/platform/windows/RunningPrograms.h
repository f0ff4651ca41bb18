// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace krv {

// The executables (full paths, UTF-8) of the processes this user may look at; each once. Processes
// that cannot be opened (other users', the system's) are left out.
std::vector<std::string> RunningProgramExecutables();

} // namespace krv
