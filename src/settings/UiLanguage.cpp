// SPDX-License-Identifier: MIT
#include "settings/UiLanguage.h"

#include "settings/IniFile.h"

namespace krv {

namespace fs = std::filesystem;

UiLanguage ReadUiLanguage(const IniDocument& config) {
    return languageFromFlag(config.readInt("Init", "VER_SEL", 5) & 0xFF);
}

UiLanguage ReadUiLanguage(const fs::path& configPath) { return ReadUiLanguage(IniFile::load(configPath)); }

FileStatus WriteUiLanguage(const fs::path& configPath, UiLanguage language) {
    return IniFile::writeString(configPath, "Init", "VER_SEL", language == UiLanguage::English ? "1" : "0");
}

namespace {
fs::path pick(const fs::path& base, UiLanguage language, const char* english, const char* chinese) {
    return base / (language == UiLanguage::English ? english : chinese);
}
} // namespace

fs::path AppPaths::mainSkinFile(UiLanguage l) const {
    return pick(skinDirectory(), l, "INI_EN/skin_main_en.ini", "INI_CN/skin_main.ini");
}
fs::path AppPaths::advancedSkinFile(UiLanguage l) const {
    return pick(skinDirectory(), l, "INI_EN/skin_advance_en.ini", "INI_CN/skin_advance.ini");
}
fs::path AppPaths::colorSkinFile(UiLanguage l) const {
    return pick(skinDirectory(), l, "INI_EN/skin_color_en.ini", "INI_CN/skin_color.ini");
}
fs::path AppPaths::warningSkinFile(UiLanguage l) const {
    return pick(skinDirectory(), l, "INI_EN/LBWarning_en.ini", "INI_CN/LBWarning.ini");
}
fs::path AppPaths::defaultMacroFile(UiLanguage l) const {
    return pick(skinDirectory(), l, "INI_EN/defMacro.dat", "INI_CN/defMacro.dat");
}
fs::path AppPaths::userMacroFile(UiLanguage l) const { return pick(appDirectory, l, "Macro_EN.dat", "Macro_CN.dat"); }

} // namespace krv
