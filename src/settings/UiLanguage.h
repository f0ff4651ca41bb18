// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"

#include <array>
#include <atomic>
#include <filesystem>

namespace krv {

// The interface language. Stored as "VER_SEL" of "Init": 1 English, 0 Chinese; any flag other than 0
// counts as English.
enum class UiLanguage { Chinese = 0, English = 1 };

inline UiLanguage languageFromFlag(int flag) { return flag != 0 ? UiLanguage::English : UiLanguage::Chinese; }
inline int flagOfLanguage(UiLanguage language) { return language == UiLanguage::English ? 1 : 0; }

// Reads "VER_SEL" of "Init": at most 4 characters, the leading-integer rule, the low 8 bits.
// A missing file, key or number gives Chinese.
UiLanguage ReadUiLanguage(const std::filesystem::path& configPath);
class IniDocument;
UiLanguage ReadUiLanguage(const IniDocument& config);
// Writes "1" or "0" to "VER_SEL" of "Init".
FileStatus WriteUiLanguage(const std::filesystem::path& configPath, UiLanguage language);

// The folders and files of the program, all relative to the folder of the executable, and the rule
// that names each language's own files.
struct AppPaths {
    // Where the user's files are: config.ini and the macro files.
    std::filesystem::path appDirectory;
    // Where the program is; empty when that is appDirectory too.
    std::filesystem::path programDirectory = {};
    // Where the shipped read-only files are (skins/, and the config.ini and macro files that a user's
    // first ones are copied from); empty when they are beside the program.
    std::filesystem::path shippedDirectory = {};

    std::filesystem::path configPath() const { return appDirectory / "config.ini"; }
    // The profiles for programs (settings/AppProfileRules.h), beside config.ini.
    std::filesystem::path appProfilesPath() const { return appDirectory / "appprofiles.ini"; }
    std::filesystem::path shippedFolder() const {
        return !shippedDirectory.empty() ? shippedDirectory : !programDirectory.empty() ? programDirectory : appDirectory;
    }
    std::filesystem::path skinDirectory() const { return shippedFolder() / "skins"; }

    std::filesystem::path mainSkinFile(UiLanguage language) const;
    std::filesystem::path advancedSkinFile(UiLanguage language) const;
    std::filesystem::path colorSkinFile(UiLanguage language) const;
    std::filesystem::path warningSkinFile(UiLanguage language) const;
    std::filesystem::path defaultMacroFile(UiLanguage language) const;
    std::filesystem::path userMacroFile(UiLanguage language) const;
    // The files the program saves into: the profile file and both languages' macro files.
    std::array<std::filesystem::path, 3> userFiles() const {
        return {configPath(), userMacroFile(UiLanguage::English), userMacroFile(UiLanguage::Chinese)};
    }
};

} // namespace krv
