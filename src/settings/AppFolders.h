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
// still read from the shipped files, which are in shippedDirectory (empty: beside the program). When
// userSettingsFolder cannot be made, the shipped files are used as they are.
AppPaths ResolveAppPaths(const std::filesystem::path& programDirectory, bool programFolderIsUsersOwn,
                         const std::filesystem::path& userSettingsFolder,
                         const std::filesystem::path& earlierFolder = {},
                         const std::filesystem::path& shippedDirectory = {});

// Where the shipped files of the program in programDirectory are: beside it when its folder holds
// skins/ (the build tree, a copied folder), else in the installed data folder reached from it
// (<prefix>/share/krv-glyde for a program in <prefix>/lib/krv-glyde) when that holds skins/;
// otherwise programDirectory.
std::filesystem::path ShippedDataFolder(const std::filesystem::path& programDirectory);

// $XDG_CONFIG_HOME/krv-glyde, else $HOME/.config/krv-glyde; on Windows %APPDATA%\krv-glyde. Empty
// when the environment names none of them.
std::filesystem::path DefaultUserSettingsFolder();
// Where earlier versions kept the user's files: $XDG_DATA_HOME/krv-glyde, else
// $HOME/.local/share/krv-glyde; empty without either (and on Windows).
std::filesystem::path EarlierUserDataFolder();

// The folder of the running program ("." when the system does not tell).
std::filesystem::path RunningProgramFolder();

// The folders of the program started from programDirectory, on this system: the user's files beside
// the program when its folder is the user's own (fsys::IsUsersOwnFolder) and holds the shipped files,
// else in DefaultUserSettingsFolder() (see ResolveAppPaths); the shipped files from ShippedDataFolder().
// This may create that folder and copy files into it, and says so in the log category "files".
AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory);

} // namespace krv
