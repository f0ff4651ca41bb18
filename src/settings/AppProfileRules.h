// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"
#include "settings/IniDocument.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace krv {

// The file of the profiles for programs, beside config.ini (which it never touches):
//   [Options]
//   Enabled=1      ; 0: the companion leaves the profile alone whatever is in front
//   NoMatch=0      ; 0: a program without a rule keeps the profile; 1..5: it goes back to that profile
//   [Programs]
//   steam=2        ; program = profile 1..5
// A program is an executable's file name ("steam"), its full path ("/usr/games/foo"), or a window class
// (WM_CLASS, either half). Names are compared without regard to ASCII case, as every key of the
// program's files is.
inline constexpr const char* AppProfilesFileName = "appprofiles.ini";

struct AppProfileRule {
    std::string program;
    int profile = 1;

    bool operator==(const AppProfileRule&) const = default;
};

// What is in front, as the desktop tells it; any part may be unknown (empty).
struct ProgramInFront {
    std::string executable;     // the full path of the process's executable (under Wine, the Windows program's)
    std::string windowInstance; // WM_CLASS, first half
    std::string windowClass;    // WM_CLASS, second half
};

struct AppProfileRules {
    bool enabled = true;
    int noMatchProfile = 0; // 0: stay; 1..5: back to that profile
    std::vector<AppProfileRule> rules;

    // The profile of the program in front: a rule naming the full path of its executable wins over one
    // naming the executable's file name, which wins over one naming its window class; without one, the
    // no-match profile (nothing when that is "stay"). Nothing at all while switched off.
    std::optional<int> profileFor(const ProgramInFront& program) const;
    // The rule of a program name, when there is one.
    const AppProfileRule* find(std::string_view program) const;

    bool operator==(const AppProfileRules&) const = default;
};

// The rules a document holds. A rule whose profile is outside 1..5 is left out (never sent), and a
// no-match profile outside 0..5 reads as "stay".
AppProfileRules ReadAppProfileRules(const IniDocument& doc);

// The rules of the file: a missing file gives the defaults (on, no rules, stay); an unreadable one
// is a failure, and then no rule is used.
struct AppProfileRulesRead {
    AppProfileRules rules;
    FileStatus status = FileStatus::success();
};
AppProfileRulesRead ReadAppProfileRules(const std::filesystem::path& file);

// Why a program name cannot be a rule's name, or nothing when it can: it must not be empty or all
// blanks, start with ';' or '[' or end with blanks, hold '=' or a line break, or be longer than
// MaxProgramNameBytes.
inline constexpr std::size_t MaxProgramNameBytes = 4096;
std::optional<std::string> ProgramNameProblem(std::string_view program);

// The changes, each one read-change-replace of the file under its lock. A rule for a program that
// has one replaces it (the name keeps its first spelling). Removing a program without a rule fails
// and writes nothing, as does a name or profile out of range.
// The file name of a program's path, after its last '/' or '\\'.
std::string_view ProgramFileName(std::string_view path);
// Whether a program's name ends in ".exe" (in any case) after at least one other character.
bool IsWindowsProgramName(std::string_view name);

FileStatus AddAppProfileRule(const std::filesystem::path& file, std::string_view program, int profile);
FileStatus RemoveAppProfileRule(const std::filesystem::path& file, std::string_view program);
FileStatus SetAppProfileNoMatch(const std::filesystem::path& file, int profile);
FileStatus SetAppProfilesEnabled(const std::filesystem::path& file, bool enabled);

} // namespace krv
