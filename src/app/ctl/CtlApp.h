// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace krv::ctl {

struct CtlSystem;

// Runs one command line of krv-glyde-ctl. Output goes to out, messages and errors to err.
// Returns the exit status: 0 success, 1 a negative answer (mouse not found), 2 a usage or file error.
// programPaths: where the program's files are (--dir replaces them with one folder for everything).
// system: the operating system's side of the mouse commands (see CtlSystem.h); without it, this
// system's own (ThisSystem()).
int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, const CtlSystem& system,
           std::ostream& out, std::ostream& err);
int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, std::ostream& out, std::ostream& err);
// The same, finding the user's files only once a command is to run (never for --help, --version or a
// wrong command line): resolvePaths is called then, unless --dir names the folder.
int runCtl(const std::vector<std::string>& args, const std::filesystem::path& programFolder,
           const std::function<AppPaths()>& resolvePaths, const CtlSystem& system, std::ostream& out,
           std::ostream& err);

} // namespace krv::ctl
