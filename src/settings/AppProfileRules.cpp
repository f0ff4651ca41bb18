// SPDX-License-Identifier: MIT
#include "settings/AppProfileRules.h"

#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <algorithm>

namespace krv {

namespace {

constexpr const char* OptionsSection = "Options";
constexpr const char* ProgramsSection = "Programs";
constexpr const char* EnabledKey = "Enabled";
constexpr const char* NoMatchKey = "NoMatch";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// A program's path as the desktop gives it: '/' on Linux, '\\' (or '/') on Windows.
constexpr std::string_view Separators = "/\\";

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

// Names compare without regard to ASCII case, and a path's separators are one: "C:/Games/foo.exe"
// is the program Windows names "C:\\Games\\foo.exe".
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return lowerAscii(x) == lowerAscii(y) || (isSeparator(x) && isSeparator(y));
           });
}

constexpr std::string_view Exe = ".exe";

// "game" names the Windows program "game.exe" as well.
bool sameFileName(std::string_view rule, std::string_view file) {
    if (sameName(rule, file))
        return true;
    return IsWindowsProgramName(file) && sameName(rule, file.substr(0, file.size() - Exe.size()));
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::string_view ProgramFileName(std::string_view path) {
    const std::size_t slash = path.find_last_of(Separators);
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsWindowsProgramName(std::string_view name) {
    return name.size() > Exe.size() && sameName(name.substr(name.size() - Exe.size()), Exe);
}

const AppProfileRule* AppProfileRules::find(std::string_view program) const {
    for (const AppProfileRule& rule : rules)
        if (sameName(rule.program, program))
            return &rule;
    return nullptr;
}

std::optional<int> AppProfileRules::profileFor(const ProgramInFront& program) const {
    if (!enabled)
        return std::nullopt;
    const AppProfileRule* byPath = nullptr;
    const AppProfileRule* byFile = nullptr;
    const AppProfileRule* byClass = nullptr;
    const std::string_view file = ProgramFileName(program.executable);
    for (const AppProfileRule& rule : rules) {
        const bool isPath = rule.program.find_first_of(Separators) != std::string::npos;
        if (isPath) {
            if (!byPath && !program.executable.empty() && sameName(rule.program, program.executable))
                byPath = &rule;
            continue;
        }
        if (!byFile && !file.empty() && sameFileName(rule.program, file))
            byFile = &rule;
        if (!byClass && ((!program.windowInstance.empty() && sameName(rule.program, program.windowInstance)) ||
                         (!program.windowClass.empty() && sameName(rule.program, program.windowClass))))
            byClass = &rule;
    }
    for (const AppProfileRule* rule : {byPath, byFile, byClass})
        if (rule)
            return rule->profile;
    if (noMatchProfile >= 1 && noMatchProfile <= ProfileCount)
        return noMatchProfile;
    return std::nullopt;
}

AppProfileRules ReadAppProfileRules(const IniDocument& doc) {
    AppProfileRules rules;
    if (const auto enabled = doc.value(OptionsSection, EnabledKey))
        rules.enabled = leadingInt(*enabled) != 0;
    const int noMatch = doc.readInt(OptionsSection, NoMatchKey, 260);
    rules.noMatchProfile = (noMatch >= 1 && noMatch <= ProfileCount) ? noMatch : 0;
    for (const auto& [program, value] : doc.entries(ProgramsSection)) {
        const int profile = leadingInt(value);
        if (profile >= 1 && profile <= ProfileCount && !ProgramNameProblem(program))
            rules.rules.push_back({program, profile});
    }
    return rules;
}

AppProfileRulesRead ReadAppProfileRules(const std::filesystem::path& file) {
    IniRead read = IniFile::read(file);
    if (read.unreadable())
        return {{}, read.status()};
    return {ReadAppProfileRules(read.document), FileStatus::success()};
}

std::optional<std::string> ProgramNameProblem(std::string_view program) {
    if (program.empty() || std::all_of(program.begin(), program.end(), isBlank))
        return std::string("the program's name is empty");
    if (program.size() > MaxProgramNameBytes)
        return "the program's name is longer than " + std::to_string(MaxProgramNameBytes) + " bytes";
    if (isBlank(program.front()) || isBlank(program.back()))
        return std::string("the program's name begins or ends with a blank");
    if (program.front() == ';' || program.front() == '[')
        return std::string("the program's name begins with ';' or '['");
    if (program.find_first_of("=\r\n") != std::string_view::npos)
        return std::string("the program's name holds '=' or a line break");
    return std::nullopt;
}

FileStatus AddAppProfileRule(const std::filesystem::path& file, std::string_view program, int profile) {
    if (auto problem = ProgramNameProblem(program))
        return FileStatus::failure(*problem);
    if (profile < 1 || profile > ProfileCount)
        return FileStatus::failure("the profile must be 1 to " + std::to_string(ProfileCount));
    return IniFile::update(file, [&](IniDocument& doc) {
        // write() keeps the spelling of a name already there and replaces its value.
        doc.write(ProgramsSection, program, std::to_string(profile));
        return FileStatus::success();
    });
}

FileStatus RemoveAppProfileRule(const std::filesystem::path& file, std::string_view program) {
    return IniFile::update(file, [&](IniDocument& doc) {
        if (!doc.erase(ProgramsSection, program))
            return FileStatus::failure("no rule for " + std::string(program));
        return FileStatus::success();
    });
}

FileStatus SetAppProfileNoMatch(const std::filesystem::path& file, int profile) {
    if (profile < 0 || profile > ProfileCount)
        return FileStatus::failure("the profile must be 0 (stay) or 1 to " + std::to_string(ProfileCount));
    return IniFile::update(file, [&](IniDocument& doc) {
        doc.write(OptionsSection, NoMatchKey, std::to_string(profile));
        return FileStatus::success();
    });
}

FileStatus SetAppProfilesEnabled(const std::filesystem::path& file, bool enabled) {
    return IniFile::update(file, [&](IniDocument& doc) {
        doc.write(OptionsSection, EnabledKey, enabled ? "1" : "0");
        return FileStatus::success();
    });
}

} // namespace krv
