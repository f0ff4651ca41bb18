// SPDX-License-Identifier: MIT
#include "settings/AppFolders.h"

#include "log/Log.h"

#include <cstdlib>
#include <system_error>

namespace krv {

namespace fs = std::filesystem;

namespace {

// Moves a file, also across file systems; false (the file where it was) when it cannot.
bool moveFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec)
        return true;
    if (!fs::copy_file(from, to, fs::copy_options::skip_existing, ec) || ec)
        return false;
    fs::remove(from, ec);
    return true;
}

// $<variable>/krv-glyde, else $HOME/<underHome>/krv-glyde. Only absolute paths count: a relative XDG
// path is to be ignored.
fs::path xdgFolder(const char* variable, const fs::path& underHome) {
    if (const char* xdg = std::getenv(variable); xdg != nullptr && fs::path(xdg).is_absolute())
        return fs::path(xdg) / "krv-glyde";
    if (const char* home = std::getenv("HOME"); home != nullptr && fs::path(home).is_absolute())
        return fs::path(home) / underHome / "krv-glyde";
    return {};
}

} // namespace

AppPaths ResolveAppPaths(const fs::path& programDirectory, bool programDirectoryWritable,
                         const fs::path& userSettingsFolder, const fs::path& earlierFolder) {
    if (programDirectoryWritable || userSettingsFolder.empty()) {
        LogDetail(LogCategory::Files) << "the user's files are beside the program, in " << programDirectory.string();
        return AppPaths{programDirectory};
    }
    std::error_code ec;
    fs::create_directories(userSettingsFolder, ec);
    if (ec || !fs::is_directory(userSettingsFolder, ec)) {
        LogWarning(LogCategory::Files) << "cannot create " << userSettingsFolder.string() << " ("
                                       << (ec ? ec.message() : "not a folder") << "): the user's files are read from "
                                       << programDirectory.string() << " and cannot be saved";
        return AppPaths{programDirectory};
    }
    LogDetail(LogCategory::Files) << "the user's files are in " << userSettingsFolder.string();
    const AppPaths paths{userSettingsFolder, programDirectory};
    for (const fs::path& own : paths.userFiles()) {
        if (fs::exists(own, ec))
            continue; // a file the user already has is never replaced
        const fs::path earlier = earlierFolder.empty() ? fs::path{} : earlierFolder / own.filename();
        if (!earlier.empty() && fs::is_regular_file(earlier, ec)) {
            if (moveFile(earlier, own)) {
                LogDetail(LogCategory::Files) << "moved " << earlier.string() << " to " << own.string();
                continue;
            }
            LogWarning(LogCategory::Files) << "cannot move " << earlier.string() << " to " << own.string();
        }
        // A failed copy leaves the file missing, which reads as the defaults and is created by the
        // first save.
        const fs::path shipped = programDirectory / own.filename();
        if (fs::exists(shipped, ec)) {
            fs::copy_file(shipped, own, fs::copy_options::skip_existing, ec);
            if (ec)
                LogWarning(LogCategory::Files) << "cannot copy " << shipped.string() << " to " << own.string() << ": "
                                               << ec.message();
            else
                LogDetail(LogCategory::Files) << "copied " << shipped.string() << " to " << own.string();
        }
    }
    return paths;
}

fs::path DefaultUserSettingsFolder() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

fs::path EarlierUserDataFolder() { return xdgFolder("XDG_DATA_HOME", fs::path(".local") / "share"); }

} // namespace krv
