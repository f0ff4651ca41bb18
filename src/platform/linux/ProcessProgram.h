// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>

namespace krv {

// The program a process runs, as a rule of the profiles for programs names it: the target of
// /proc/PID/exe (without the " (deleted)" of a program replaced while it runs). A Windows program run
// by Wine or Proton is a process of Wine's loader (wine64-preloader, wine-preloader, wine64, wine),
// which puts the Windows program's path in its argv[0] ("C:\Games\x\game.exe", or a Unix path): for
// such a process that path, when it ends in ".exe", so that "game.exe" or "game" names it. Empty for
// another user's process, a kernel thread or a process that has ended.
std::string ProgramOfProcess(std::int64_t pid);

// The same for /proc's entry `pid` (its decimal name) under procFd, an open descriptor of /proc:
// the running programs' watch looks at every process through one descriptor.
std::string ProgramOfProcessAt(int procFd, const char* pid);

} // namespace krv
