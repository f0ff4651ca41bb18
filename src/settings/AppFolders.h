#pragma once

#include "settings/UiLanguage.h"

#include <filesystem>

namespace krv {

// The folders of a program started from programDirectory. The user's files live beside the program
// when the user may write there (the build tree, a copy in the user's own folders). A program
// installed where the user cannot write would lose every save there, so its user's files live in
// userDataFolder instead, which receives a copy of each shipped user file that it does not hold yet;
// the skins are still read beside the program. When userDataFolder cannot be made, the program's
// folder is used as it is.
AppPaths ResolveAppPaths(const std::filesystem::path& programDirectory, bool programDirectoryWritable,
                         const std::filesystem::path& userDataFolder);

// $XDG_DATA_HOME/krv-glyde, else $HOME/.local/share/krv-glyde; empty without either.
std::filesystem::path DefaultUserDataFolder();

} // namespace krv
