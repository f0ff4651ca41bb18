#pragma once

#include "ports/InputInjector.h"

#include <memory>
#include <string>

namespace krv {

// The injector of this desktop, made once at start-up: XTest when an X display can be opened (the
// default), else uinput when /dev/uinput is writable, else one that injects nothing. `description`
// names the choice ("XTest", "uinput" or "none: <why>") for diagnostics.
std::unique_ptr<InputInjector> OpenInputInjector(std::string* description = nullptr);

} // namespace krv
