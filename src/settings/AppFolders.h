// SPDX-License-Identifier: MIT
#pragma once

#include "settings/UiLanguage.h"

#include <filesystem>

namespace krv {

// The folders of a program started from programDirectory. The user's files live beside the program
// when its folder is the user's own (the build tree, a copy installed in the user's own folders). An
// installed program, or any program in a folder the user does not own, keeps every user's files
// (the administrator's too) in userSettingsFolder instead and never writes into its own folder: a
// package's folder must stay as the package made it. A user file it does not hold yet is moved there once from
// earlierFolder (where earlier versions kept them), else copied from the shipped one; the skins are
// still read beside the program. When userSettingsFolder cannot be made, the program's folder is used
// as it is.
AppPaths ResolveAppPaths(const std::filesystem::path& programDirectory, bool programFolderIsUsersOwn,
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
// the program when its folder is the user's own (fsys::IsUsersOwnFolder), else in
// DefaultUserSettingsFolder() (see ResolveAppPaths). This may create that folder and copy files into
// it, and says so in the log category "files".
AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory);

} // namespace krv
