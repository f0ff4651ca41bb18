#include "settings/AppFolders.h"

#include <cstdlib>
#include <system_error>

namespace krv {

namespace fs = std::filesystem;

AppPaths ResolveAppPaths(const fs::path& programDirectory, bool programDirectoryWritable,
                         const fs::path& userDataFolder) {
    if (programDirectoryWritable || userDataFolder.empty())
        return AppPaths{programDirectory};
    std::error_code ec;
    fs::create_directories(userDataFolder, ec);
    if (ec || !fs::is_directory(userDataFolder, ec))
        return AppPaths{programDirectory};
    const AppPaths paths{userDataFolder, programDirectory};
    for (const fs::path& own : paths.userFiles()) {
        const fs::path shipped = programDirectory / own.filename();
        // A file the user already has is never replaced; a failed copy leaves the file missing,
        // which reads as the defaults and is created by the first save.
        if (!fs::exists(own, ec) && fs::exists(shipped, ec))
            fs::copy_file(shipped, own, fs::copy_options::skip_existing, ec);
    }
    return paths;
}

fs::path DefaultUserDataFolder() {
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && fs::path(data).is_absolute())
        return fs::path(data) / "krv-glyde";
    if (const char* home = std::getenv("HOME"); home != nullptr && fs::path(home).is_absolute())
        return fs::path(home) / ".local" / "share" / "krv-glyde";
    return {};
}

} // namespace krv
