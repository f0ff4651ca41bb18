// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <filesystem>

namespace krv {

// True when this process may create files in folder (a read-only mount counts as not writable).
bool IsWritableFolder(const std::filesystem::path& folder);

// The folders of the program started from programDirectory, on this system: the user's files beside
// the program when the user may write there, else in DefaultUserSettingsFolder() (see ResolveAppPaths).
AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory);

} // namespace krv
