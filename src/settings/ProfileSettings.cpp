// SPDX-License-Identifier: MIT
#include "settings/ProfileSettings.h"

#include "settings/IniFile.h"

#include <algorithm>

namespace krv {

namespace fs = std::filesystem;

namespace {
constexpr auto relaxed = std::memory_order_relaxed;
constexpr std::size_t ValueBuffer = 5;      // at most 4 characters of text
constexpr std::size_t DpiValueBuffer = 10;  // DPI_SETn and DPI_SET_ENn: at most 9

std::string numbered(const char* prefix, int n) { return prefix + std::to_string(n); }
} // namespace

ProfileValues FactoryProfile() {
    ProfileValues v;
    v.K = {1, 2, 3, 5, 4, 18, 17, 13};
    v.WHEEL_STATUS = 0;
    v.DPI_LEVEL = 0;
    v.DPI_SET = {1, 2, 3, 0};
    v.DPI_SET_EN = {1, 1, 1, 1};
    v.LED_STATUS = 0;
    v.DPI_SPEED = 5;
    v.WHEEL_SPEED = 2;
    v.FIRE_TIME = 50;
    return v;
}

ProfileValues ProfileSettings::values() const {
    ProfileValues v;
    for (int i = 0; i < ButtonSlotCount; ++i)
        v.K[i] = K[i].load(relaxed);
    for (int s = 0; s < DpiStageCount; ++s) {
        v.DPI_SET[s] = DPI_SET[s].load(relaxed);
        v.DPI_SET_EN[s] = DPI_SET_EN[s].load(relaxed);
    }
    v.DPI_LEVEL = DPI_LEVEL.load(relaxed);
    v.WHEEL_STATUS = WHEEL_STATUS.load(relaxed);
    v.LED_STATUS = LED_STATUS.load(relaxed);
    v.DPI_SPEED = DPI_SPEED.load(relaxed);
    v.WHEEL_SPEED = WHEEL_SPEED.load(relaxed);
    v.FIRE_TIME = FIRE_TIME.load(relaxed);
    v.MACRO_MODE2 = MACRO_MODE2.load(relaxed);
    return v;
}

void ProfileSettings::setValues(const ProfileValues& v) {
    for (int i = 0; i < ButtonSlotCount; ++i)
        K[i].store(v.K[i], relaxed);
    for (int s = 0; s < DpiStageCount; ++s) {
        DPI_SET[s].store(v.DPI_SET[s], relaxed);
        DPI_SET_APPLIED[s].store(v.DPI_SET[s], relaxed);
        DPI_SLIDER_ELEMENT[s].store(sliderElementOf(s, positionIndex(v.DPI_SET[s])), relaxed);
        DPI_SET_EN[s].store(v.DPI_SET_EN[s] != 0 ? 1 : 0, relaxed);
    }
    DPI_LEVEL.store(v.DPI_LEVEL, relaxed);
    WHEEL_STATUS.store(v.WHEEL_STATUS, relaxed);
    LED_STATUS.store(v.LED_STATUS, relaxed);
    DPI_SPEED.store(v.DPI_SPEED, relaxed);
    WHEEL_SPEED.store(v.WHEEL_SPEED, relaxed);
    FIRE_TIME.store(v.FIRE_TIME, relaxed);
    MACRO_MODE2.store(v.MACRO_MODE2, relaxed);
}

int ProfileSettings::dpiStageIndex() const { return std::clamp(DPI_LEVEL.load(relaxed), 0, DpiStageCount - 1); }

std::string ProfileSectionName(int n, bool fromDefaults, UiLanguage language) {
    if (!fromDefaults)
        return numbered("Config", n);
    if (n == 5 && language == UiLanguage::English)
        return "CfgReset_EN5";
    return numbered("CfgReset", n);
}

std::vector<std::pair<std::string, std::string>> ProfileKeyValues(const ProfileValues& v) {
    std::vector<std::pair<std::string, std::string>> keys;
    keys.reserve(21);
    for (int i = 0; i < ButtonSlotCount; ++i)
        keys.emplace_back(numbered("K", i + 1), std::to_string(v.K[i]));
    keys.emplace_back("DPI_LEVEL", std::to_string(v.DPI_LEVEL));
    keys.emplace_back("WHEEL_STATUS", std::to_string(v.WHEEL_STATUS));
    keys.emplace_back("MACRO_MODE2", std::to_string(v.MACRO_MODE2));
    for (int s = 0; s < DpiStageCount; ++s) {
        keys.emplace_back(numbered("DPI_SET", s + 1), std::to_string(v.DPI_SET[s]));
        keys.emplace_back(numbered("DPI_SET_EN", s + 1), v.DPI_SET_EN[s] != 0 ? "1" : "0");
    }
    keys.emplace_back("LED_STATUS", std::to_string(v.LED_STATUS));
    keys.emplace_back("DPI_SPEED", std::to_string(v.DPI_SPEED));
    keys.emplace_back("WHEEL_SPEED", std::to_string(v.WHEEL_SPEED));
    keys.emplace_back("FIRE_TIME", std::to_string(v.FIRE_TIME));
    return keys;
}

ProfileValues ReadProfileValues(const IniDocument& doc, int n, bool fromDefaults, UiLanguage language) {
    const std::string section = ProfileSectionName(n, fromDefaults, language);
    auto read = [&](const std::string& key, std::size_t buffer = ValueBuffer) { return doc.readInt(section, key, buffer); };
    auto byte = [](int value) { return static_cast<std::uint8_t>(static_cast<unsigned>(value) & 0xFF); };

    ProfileValues v;
    for (int i = 0; i < ButtonSlotCount; ++i)
        v.K[i] = read(numbered("K", i + 1));
    v.WHEEL_STATUS = read("WHEEL_STATUS");
    v.MACRO_MODE2 = read("MACRO_MODE2");
    v.DPI_LEVEL = read("DPI_LEVEL");
    for (int s = 0; s < DpiStageCount; ++s) {
        v.DPI_SET[s] = byte(read(numbered("DPI_SET", s + 1), DpiValueBuffer));
        v.DPI_SET_EN[s] = read(numbered("DPI_SET_EN", s + 1), DpiValueBuffer) != 0 ? 1 : 0;
    }
    v.LED_STATUS = byte(read("LED_STATUS"));
    v.DPI_SPEED = byte(read("DPI_SPEED"));
    v.WHEEL_SPEED = byte(read("WHEEL_SPEED"));
    v.FIRE_TIME = read("FIRE_TIME");
    return v;
}

void WriteProfileValues(IniDocument& doc, const ProfileValues& values, int n) {
    const std::string section = ProfileSectionName(n);
    for (const auto& [key, value] : ProfileKeyValues(values))
        doc.write(section, key, value);
}

FileStatus LoadProfile(ProfileSettings& settings, const fs::path& file, int n, bool fromDefaults, UiLanguage language) {
    const IniRead read = IniFile::read(file);
    if (read.unreadable())
        return read.status();
    settings.setValues(ReadProfileValues(read.document, n, fromDefaults, language));
    return FileStatus::success();
}

FileStatus SaveProfileValues(const ProfileValues& values, const fs::path& file, int n) {
    return IniFile::update(file, [&](IniDocument& doc) {
        WriteProfileValues(doc, values, n);
        return FileStatus::success();
    });
}

FileStatus SaveProfile(const ProfileSettings& settings, const fs::path& file, int n) {
    return SaveProfileValues(settings.values(), file, n);
}

FileStatus SaveDpiLevel(const ProfileSettings& settings, const fs::path& file, int n) {
    return IniFile::writeString(file, ProfileSectionName(n), "DPI_LEVEL", std::to_string(settings.DPI_LEVEL.load(relaxed)));
}

int ReadCurConfig(const IniDocument& doc) { return doc.readInt("Init", "CurConfig", ValueBuffer); }

int ReadCurConfig(const fs::path& configPath) { return ReadCurConfig(IniFile::load(configPath)); }

void WriteCurConfig(IniDocument& doc, int curConfig) { doc.write("Init", "CurConfig", std::to_string(curConfig)); }

FileStatus WriteCurConfig(const fs::path& configPath, int curConfig) {
    return IniFile::update(configPath, [&](IniDocument& doc) {
        WriteCurConfig(doc, curConfig);
        return FileStatus::success();
    });
}

} // namespace krv
