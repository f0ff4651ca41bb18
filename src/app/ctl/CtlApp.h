#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace krv::ctl {

// Runs one command line of krv-glyde-ctl. Output goes to out, messages and errors to err.
// Returns the exit status: 0 success, 1 a negative answer (mouse not found), 2 a usage or file error.
int runCtl(const std::vector<std::string>& args, const std::string& executableDir, std::ostream& out, std::ostream& err);

} // namespace krv::ctl
