// SPDX-License-Identifier: MIT
#pragma once

#include "ports/InputInjector.h"

#include <memory>
#include <string>

namespace krv {

// The injector of this desktop, made once at start-up. In an X11 session: XTest when an X display can
// be opened, else uinput when /dev/uinput is writable. In a Wayland session (WAYLAND_DISPLAY set),
// where XTest reaches only the X11 programs under XWayland: uinput first, else XTest all the same.
// Else one that injects nothing. `description` names the choice ("XTest", "uinput" or "none: <why>")
// for diagnostics; `waylandProblem` receives why uinput could not be had in a Wayland session (empty
// otherwise), which the user is told.
std::unique_ptr<InputInjector> OpenInputInjector(std::string* description = nullptr,
                                                 std::string* waylandProblem = nullptr);

// The command that lets the user at the seat write /dev/uinput (the uaccess tag, as Solaar's rule
// does), then applies it.
std::string UinputAccessCommand();

} // namespace krv
