// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace krv::ctl {

// Runs one command line of krv-glyde-ctl. Output goes to out, messages and errors to err.
// Returns the exit status: 0 success, 1 a negative answer (mouse not found), 2 a usage or file error.
// programPaths: where the program's files are (--dir replaces them with one folder for everything).
int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, std::ostream& out, std::ostream& err);

} // namespace krv::ctl
