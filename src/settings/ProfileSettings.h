// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"
#include "settings/UiLanguage.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace krv {

constexpr int ButtonSlotCount = 8;
constexpr int DpiStageCount = 4;
constexpr int DpiPositionCount = 5;
constexpr int ProfileCount = 5;
constexpr int AppliedProfileSection = 6; // "Config6": the settings last sent to the mouse
constexpr int ExchangeProfileSection = 7; // "Config7": the section of a profile exchange file

// Dots per inch of DPI positions 0..4.
constexpr std::array<int, DpiPositionCount> DpiOfPosition{3200, 1200, 1600, 2000, 2400};

// The plain values of one profile's stored fields, as written under "Config<n>".
struct ProfileValues {
    std::array<std::int32_t, ButtonSlotCount> K{};
    std::array<std::uint8_t, DpiStageCount> DPI_SET{};
    std::array<std::uint8_t, DpiStageCount> DPI_SET_EN{};
    std::int32_t DPI_LEVEL = 0;
    std::int32_t WHEEL_STATUS = 0;
    std::uint8_t LED_STATUS = 0;
    std::uint8_t DPI_SPEED = 0;
    std::uint8_t WHEEL_SPEED = 0;
    std::int32_t FIRE_TIME = 0;
    std::int32_t MACRO_MODE2 = 0;

    bool operator==(const ProfileValues&) const = default;
};

// The factory values built into the program (profile 1's defaults). MACRO_MODE2 has none.
ProfileValues FactoryProfile();

// The single record of the active profile, shared by the UI thread, the executor and the reader
// (each field a whole atomic byte or word: relaxed single-field reads and writes are enough).
struct ProfileSettings {
    // Stored fields (keys of a profile section).
    std::array<std::atomic<std::int32_t>, ButtonSlotCount> K{};
    std::array<std::atomic<std::uint8_t>, DpiStageCount> DPI_SET{};
    std::array<std::atomic<std::uint8_t>, DpiStageCount> DPI_SET_EN{};
    std::atomic<std::int32_t> DPI_LEVEL{0};
    std::atomic<std::int32_t> WHEEL_STATUS{0};
    std::atomic<std::uint8_t> LED_STATUS{0};
    std::atomic<std::uint8_t> DPI_SPEED{0};
    std::atomic<std::uint8_t> WHEEL_SPEED{0};
    std::atomic<std::int32_t> FIRE_TIME{0};
    std::atomic<std::int32_t> MACRO_MODE2{0};

    // Companion fields, never stored.
    std::array<std::atomic<std::uint8_t>, DpiStageCount> DPI_SET_APPLIED{}; // positions as last applied or loaded
    std::atomic<std::uint8_t> LED_APPLIED{0};
    std::atomic<std::uint8_t> LED_OVERRIDE{0};
    std::array<std::atomic<std::int32_t>, ButtonSlotCount> DPI_ACTION{};     // 2 cycle, 1 up, -1 down, 0 none
    std::array<std::atomic<std::int32_t>, DpiStageCount> DPI_SLIDER_ELEMENT{}; // 60 + 5 * stage + DPI_SET
    std::atomic<std::int32_t> CurConfig{0};

    ProfileValues values() const;
    // Sets the stored fields; DPI_SET_APPLIED and DPI_SLIDER_ELEMENT follow DPI_SET, as a load does.
    void setValues(const ProfileValues& v);

    // DPI_LEVEL as an index into the four stages (an out-of-range value from a file is clamped).
    int dpiStageIndex() const;
    // DPI position of a stage as an index into the five positions (clamped).
    static int positionIndex(std::uint8_t position) { return position < DpiPositionCount ? position : DpiPositionCount - 1; }
};

// Slider element of a stage's chosen position on the main page.
constexpr std::int32_t sliderElementOf(int stage, int position) { return 60 + 5 * stage + position; }

// Section name of profile n ("Config" + n), or of the factory section when fromDefaults is set
// ("CfgReset_EN5" for profile 5 in English, "CfgReset" + n otherwise).
std::string ProfileSectionName(int n, bool fromDefaults = false, UiLanguage language = UiLanguage::Chinese);

// The stored fields as (key, "%d" text) pairs in the order a profile section is written.
std::vector<std::pair<std::string, std::string>> ProfileKeyValues(const ProfileValues& values);

class IniDocument;

// The stored fields of a profile section of a document (a missing section or key reads as 0).
ProfileValues ReadProfileValues(const IniDocument& doc, int n, bool fromDefaults, UiLanguage language);
// Writes every stored field into "Config" + n, in the order of the keys.
void WriteProfileValues(IniDocument& doc, const ProfileValues& values, int n);

// Reads the stored fields of a profile section into settings. A missing file reads as 0; an unreadable
// one fails and leaves settings as they were. Touches nothing else: not CurConfig, LED_APPLIED or
// DPI_ACTION.
FileStatus LoadProfile(ProfileSettings& settings, const std::filesystem::path& file, int n, bool fromDefaults,
                       UiLanguage language);
// Writes every stored field into "Config" + n, in the order of the keys, as one atomic replace.
FileStatus SaveProfile(const ProfileSettings& settings, const std::filesystem::path& file, int n);
FileStatus SaveProfileValues(const ProfileValues& values, const std::filesystem::path& file, int n);
// Writes only "DPI_LEVEL" into "Config" + n.
FileStatus SaveDpiLevel(const ProfileSettings& settings, const std::filesystem::path& file, int n);
// "CurConfig" of "Init" (at most 4 characters; no range check: a missing key gives 0).
int ReadCurConfig(const IniDocument& doc);
int ReadCurConfig(const std::filesystem::path& configPath);
void WriteCurConfig(IniDocument& doc, int curConfig);
FileStatus WriteCurConfig(const std::filesystem::path& configPath, int curConfig);

} // namespace krv
