// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace krv {

// The programs (ProgramOfProcess: full paths) of the processes this user may look at, from /proc; each once.
std::vector<std::string> RunningProgramExecutables();

} // namespace krv
