// SPDX-License-Identifier: MIT
#include "settings/AppFolders.h"

#include "log/Log.h"
#include "settings/FileSystemCalls.h"

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

fs::path programFolderIn(const fs::path& root) {
    return root.empty() ? fs::path{} : root / "krv-glyde";
}

} // namespace

AppPaths ResolveAppPaths(const fs::path& programDirectory, bool programFolderIsUsersOwn,
                         const fs::path& userSettingsFolder, const fs::path& earlierFolder,
                         const fs::path& shippedDirectory) {
    const fs::path& shipped = shippedDirectory.empty() ? programDirectory : shippedDirectory;
    if (programFolderIsUsersOwn || userSettingsFolder.empty()) {
        LogDetail(LogCategory::Files) << "the user's files are beside the program, in " << fsys::Utf8Of(shipped);
        return AppPaths{shipped, programDirectory, shippedDirectory};
    }
    std::error_code ec;
    fs::create_directories(userSettingsFolder, ec);
    if (ec || !fs::is_directory(userSettingsFolder, ec)) {
        LogWarning(LogCategory::Files) << "cannot create " << fsys::Utf8Of(userSettingsFolder) << " ("
                                       << (ec ? ec.message() : "not a folder") << "): the user's files are read from "
                                       << fsys::Utf8Of(shipped) << " and cannot be saved";
        return AppPaths{shipped, programDirectory, shippedDirectory};
    }
    LogDetail(LogCategory::Files) << "the user's files are in " << fsys::Utf8Of(userSettingsFolder);
    const AppPaths paths{userSettingsFolder, programDirectory, shippedDirectory};
    for (const fs::path& own : paths.userFiles()) {
        if (fs::exists(own, ec))
            continue; // a file the user already has is never replaced
        const fs::path earlier = earlierFolder.empty() ? fs::path{} : earlierFolder / own.filename();
        if (!earlier.empty() && fs::is_regular_file(earlier, ec)) {
            if (moveFile(earlier, own)) {
                LogDetail(LogCategory::Files) << "moved " << fsys::Utf8Of(earlier) << " to " << fsys::Utf8Of(own);
                continue;
            }
            LogWarning(LogCategory::Files) << "cannot move " << fsys::Utf8Of(earlier) << " to " << fsys::Utf8Of(own);
        }
        // A failed copy leaves the file missing, which reads as the defaults and is created by the
        // first save.
        const fs::path shippedFile = shipped / own.filename();
        if (fs::exists(shippedFile, ec)) {
            fs::copy_file(shippedFile, own, fs::copy_options::skip_existing, ec);
            if (ec)
                LogWarning(LogCategory::Files) << "cannot copy " << fsys::Utf8Of(shippedFile) << " to " << fsys::Utf8Of(own)
                                               << ": " << ec.message();
            else
                LogDetail(LogCategory::Files) << "copied " << fsys::Utf8Of(shippedFile) << " to " << fsys::Utf8Of(own);
        }
    }
    return paths;
}

fs::path DefaultUserSettingsFolder() {
    return programFolderIn(fsys::UserSettingsRoot());
}

fs::path EarlierUserDataFolder() {
    return programFolderIn(fsys::EarlierUserDataRoot());
}

fs::path RunningProgramFolder() {
    const fs::path program = fsys::RunningProgramFile();
    return program.empty() ? fs::path(".") : program.parent_path();
}

fs::path ShippedDataFolder(const fs::path& programDirectory) {
    std::error_code ec;
    if (fs::is_directory(programDirectory / "skins", ec))
        return programDirectory;
    const fs::path installed = (programDirectory / fsys::PathFromUtf8(KRV_INSTALLED_DATA_FROM_PROGRAM)).lexically_normal();
    if (fs::is_directory(installed / "skins", ec))
        return installed;
    return programDirectory;
}

AppPaths AppPathsForProgram(const fs::path& programDirectory) {
    const fs::path shipped = ShippedDataFolder(programDirectory);
    if (shipped != programDirectory) {
        // Installed: the shipped files are data apart from the program, and the user's files are the
        // user's own, never in the program's folder.
        LogDetail(LogCategory::Files) << "the shipped files are in " << fsys::Utf8Of(shipped);
        return ResolveAppPaths(programDirectory, false, DefaultUserSettingsFolder(), EarlierUserDataFolder(), shipped);
    }
    return ResolveAppPaths(programDirectory, fsys::IsUsersOwnFolder(programDirectory), DefaultUserSettingsFolder(),
                           EarlierUserDataFolder());
}

} // namespace krv
