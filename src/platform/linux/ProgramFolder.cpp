// SPDX-License-Identifier: MIT
#include "platform/linux/ProgramFolder.h"

#include "settings/AppFolders.h"

#include <unistd.h>

namespace krv {

bool IsWritableFolder(const std::filesystem::path& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

AppPaths AppPathsForProgram(const std::filesystem::path& programDirectory) {
    return ResolveAppPaths(programDirectory, IsWritableFolder(programDirectory), DefaultUserSettingsFolder(),
                           EarlierUserDataFolder());
}

} // namespace krv
