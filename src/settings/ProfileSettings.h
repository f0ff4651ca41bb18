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
constexpr int AppliedProfileSection = 6;  // "Config6": the settings last sent to the mouse
constexpr int ExchangeProfileSection = 7; // "Config7": the section of a profile exchange file

// Dots per inch of DPI positions 0..4.
constexpr std::array<int, DpiPositionCount> DpiOfPosition{3200, 1200, 1600, 2000, 2400};

// The plain values of one profile's stored fields, as written under "Config<n>" (their INI keys are
// listed once, in the field table of ProfileSettings.cpp).
struct ProfileValues {
    std::array<std::int32_t, ButtonSlotCount> buttonCodes{};     // ButtonCode of slots 1..8
    std::array<std::uint8_t, DpiStageCount> dpiStagePositions{}; // DPI position 0..4 of stages 1..4
    std::array<std::uint8_t, DpiStageCount> dpiStageEnabled{};   // 0 or 1
    std::int32_t dpiStage = 0;                                   // the current stage, 0..3
    std::int32_t wheelMode = 0;         // 0 standard, 1 reversed; the mouse gets it with command 0x11
    std::uint8_t ledMode = 0;           // 0 colour cycle, 1 fast cycle, 2 stage colour, 3 lights off
    std::uint8_t pointerSpeed = 0;      // step 0..9 of the system pointer speed
    std::uint8_t wheelSpeed = 0;        // step 0..9: the system's wheel scroll lines minus one
    std::int32_t fireInterval = 0;      // fire key interval 0..300; the mouse gets an eighth of it
    std::int32_t macroPlaybackMode = 0; // 0 plays a macro's own repeat count, 1 repeats it while held

    bool operator==(const ProfileValues&) const = default;
};

// The factory values built into the program (profile 1's defaults). The macro playback mode has none.
ProfileValues FactoryProfile();

// The single record of the active profile, shared by the UI thread, the executor and the reader
// (each field a whole atomic byte or word: relaxed single-field reads and writes are enough).
struct ProfileSettings {
    // Stored fields, as in ProfileValues.
    std::array<std::atomic<std::int32_t>, ButtonSlotCount> buttonCodes{};
    std::array<std::atomic<std::uint8_t>, DpiStageCount> dpiStagePositions{};
    std::array<std::atomic<std::uint8_t>, DpiStageCount> dpiStageEnabled{};
    std::atomic<std::int32_t> dpiStage{0};
    std::atomic<std::int32_t> wheelMode{0};
    std::atomic<std::uint8_t> ledMode{0};
    std::atomic<std::uint8_t> pointerSpeed{0};
    std::atomic<std::uint8_t> wheelSpeed{0};
    std::atomic<std::int32_t> fireInterval{0};
    std::atomic<std::int32_t> macroPlaybackMode{0};

    // Never stored.
    // The stage positions as the last apply sent them (or the last load read them): the DPI steps of
    // the mouse buttons and the color page's read-out use these, not positions chosen since.
    std::array<std::atomic<std::uint8_t>, DpiStageCount> appliedDpiStagePositions{};
    std::atomic<std::uint8_t> appliedLedMode{0}; // ledMode as the last apply sent it
    // What the LED toggle chose: LedOverrideMode (lights off) wins over appliedLedMode; 0 at start.
    std::atomic<std::uint8_t> toggledLedMode{0};
    // Per button slot, set by every apply from the slot's code: 2 cycle, 1 up, -1 down, 0 none.
    std::array<std::atomic<std::int32_t>, ButtonSlotCount> dpiActions{};
    std::atomic<std::int32_t> currentProfile{0}; // 1..5 in normal use ("CurConfig" of "Init")

    ProfileValues values() const;
    // Sets the stored fields; appliedDpiStagePositions follows the positions, as a load does.
    void setValues(const ProfileValues& v);

    // dpiStage as an index into the four stages (an out-of-range value from a file is clamped).
    int dpiStageIndex() const;
    // DPI position of a stage as an index into the five positions (clamped).
    static int positionIndex(std::uint8_t position) {
        return position < DpiPositionCount ? position : DpiPositionCount - 1;
    }
};

// Section name of profile n ("Config" + n), or of the factory section when fromDefaults is set
// ("CfgReset_EN5" for profile 5 in English, "CfgReset" + n otherwise).
std::string ProfileSectionName(int n, bool fromDefaults = false, UiLanguage language = UiLanguage::Chinese);

// The stored fields as (key, "%d" text) pairs in the order a profile section is written.
std::vector<std::pair<std::string, std::string>> ProfileKeyValues(const ProfileValues& values);

class IniDocument;

// The stored fields of a profile section of a document (a missing section or key reads as 0),
// brought into range by ClampProfileValues.
ProfileValues ReadProfileValues(const IniDocument& doc, int n, bool fromDefaults, UiLanguage language);

// True for a code a button slot can hold and the mouse can be sent: 0..52 except 7..10 and 20.
bool IsAssignableButtonCode(std::int32_t code);
// Brings every field into its range, so that whatever a file holds, nothing out of range is shown,
// sent to the mouse or given to the desktop: a number to the nearest value of its range (LED mode
// 0..3, fire interval 0..300, pointer and wheel steps 0..9, DPI positions 0..4, wheel option and
// macro playback mode 0..1), a code no slot can hold to the slot's factory code, and a current DPI
// stage that is out of range or disabled to the first enabled stage (stage 1 when none is).
void ClampProfileValues(ProfileValues& values);
// The profile as `onFile` holds it, with the value of every stored key that `edited` changed since
// `base` (the profile as the editor read it) taken from `edited`: an editor's changes on top of the
// file as it is now, never its stale copy of the rest.
ProfileValues OverlayEdits(const ProfileValues& base, const ProfileValues& edited, const ProfileValues& onFile);
// The stored keys ("K3", "FIRE_TIME", ...) whose values differ between a and b, in the order of the keys.
std::vector<std::string> DifferingKeys(const ProfileValues& a, const ProfileValues& b);
// Writes every stored field into "Config" + n, in the order of the keys.
void WriteProfileValues(IniDocument& doc, const ProfileValues& values, int n);

// Reads the stored fields of a profile section into settings. A missing file reads as 0; an unreadable
// one fails and leaves settings as they were. Touches nothing else: not currentProfile, appliedLedMode
// or dpiActions.
FileStatus LoadProfile(ProfileSettings& settings, const std::filesystem::path& file, int n, bool fromDefaults,
                       UiLanguage language);
// Writes every stored field into "Config" + n, in the order of the keys, as one atomic replace.
// locking: FileLock::None for a file the user chose (an export), see IniFile::update.
FileStatus SaveProfile(const ProfileSettings& settings, const std::filesystem::path& file, int n,
                       FileLock locking = FileLock::AcrossProcesses);
FileStatus SaveProfileValues(const ProfileValues& values, const std::filesystem::path& file, int n,
                             FileLock locking = FileLock::AcrossProcesses);
// The profile of an exchange file (its section "Config7"), for an import into a profile. Refused with a
// message naming the file, and out untouched, when the file cannot be read, has no such section, or a
// stored key is missing or holds no number: such a file would import as zeros (no left click).
FileStatus ReadImportedProfile(const std::filesystem::path& file, ProfileValues& out);
// Writes only "DPI_LEVEL" into "Config" + n.
FileStatus SaveDpiLevel(const ProfileSettings& settings, const std::filesystem::path& file, int n);
// "CurConfig" of "Init" (at most 4 characters; no range check: a missing key gives 0).
int ReadCurConfig(const IniDocument& doc);
int ReadCurConfig(const std::filesystem::path& configPath);
void WriteCurConfig(IniDocument& doc, int curConfig);
FileStatus WriteCurConfig(const std::filesystem::path& configPath, int curConfig);

} // namespace krv
