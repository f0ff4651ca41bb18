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
// still read from the shipped files, which are in shippedDirectory (empty: beside the program). When
// userSettingsFolder cannot be made, the shipped files are used as they are.
AppPaths ResolveAppPaths(const std::filesystem::path& programDirectory, bool programDirectoryWritable,
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
// the program when the shipped files are there too and the user may write there, else in
// DefaultUserSettingsFolder() (see ResolveAppPaths); the shipped files from ShippedDataFolder().
AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory);

} // namespace krv
