// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <filesystem>

namespace krv {

// The folders of a program started from programDirectory. The user's files live beside the program
// when the user may write there (the build tree, a copy in the user's own folders). A program
// installed where the user cannot write would lose every save there, so its user's files live in
// userSettingsFolder instead. A user file it does not hold yet is moved there once from
// earlierFolder (where earlier versions kept them), else copied from the shipped one; the skins are
// still read beside the program. When userSettingsFolder cannot be made, the program's folder is used
// as it is.
AppPaths ResolveAppPaths(const std::filesystem::path& programDirectory, bool programDirectoryWritable,
                         const std::filesystem::path& userSettingsFolder,
                         const std::filesystem::path& earlierFolder = {});

// $XDG_CONFIG_HOME/krv-glyde, else $HOME/.config/krv-glyde; on Windows %APPDATA%\krv-glyde. Empty
// when the environment names none of them.
std::filesystem::path DefaultUserSettingsFolder();
// Where earlier versions kept the user's files: $XDG_DATA_HOME/krv-glyde, else
// $HOME/.local/share/krv-glyde; empty without either (and on Windows).
std::filesystem::path EarlierUserDataFolder();

// The folder of the running program ("." when the system does not tell).
std::filesystem::path RunningProgramFolder();

// The folders of the program started from programDirectory, on this system: the user's files beside
// the program when the user may write there, else in DefaultUserSettingsFolder() (see ResolveAppPaths).
AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory);

} // namespace krv
