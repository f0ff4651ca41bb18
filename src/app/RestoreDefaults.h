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
// All or nothing: the default macro file and the factory sections are checked, and the new config.ini
// and macro file written and flushed beside the old ones, before either is put in place. When a source
// is missing or unreadable, or a save fails, the notifier says which and the failure is returned. Only
// when the macro file's final rename fails after config.ini is in place does one change without the
// other: the message names the file restored and the one left as it was.
FileStatus RestoreDefaults(ProfileSettings& settings, const AppPaths& paths, UiLanguage language, MacroTable& macros,
                           UiNotifier& notifier, const std::function<void()>& refillMacroList,
                           const std::function<void()>& applyProfile);

} // namespace krv
