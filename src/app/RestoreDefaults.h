// SPDX-License-Identifier: MIT
#pragma once

#include "macros/MacroTable.h"
#include "ports/UiNotifier.h"
#include "settings/FileStatus.h"
#include "settings/ProfileSettings.h"

#include <functional>

namespace krv {

// Puts the profiles and the macros back to their factory state, then applies the current profile:
// profile 1 gets the built-in factory values (keeping the macro playback mode), profiles 2..5 are copied from the
// factory sections of config.ini (profile 5 from "CfgReset_EN5" in English), the current profile is
// reloaded, and the language's default macros replace the user's macro file. refillMacroList runs
// after the defaults are loaded (the macro page refreshes itself when shown); applyProfile last.
//
// All or nothing: the default macro file and the factory sections are checked before anything is
// written, and the five profiles are written in one replace of config.ini. When a source is missing
// or unreadable, or a save fails, the notifier says which and the failure is returned.
FileStatus RestoreDefaults(ProfileSettings& settings, const AppPaths& paths, UiLanguage language, MacroTable& macros,
                           UiNotifier& notifier, const std::function<void()>& refillMacroList,
                           const std::function<void()>& applyProfile);

} // namespace krv
