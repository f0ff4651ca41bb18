// SPDX-License-Identifier: MIT
#pragma once

#include "ports/UiNotifier.h"
#include "settings/IniDocument.h"
#include "settings/UiLanguage.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace krv::ctl {

// Exit statuses of krv-glyde-ctl.
constexpr int ExitOk = 0;
constexpr int ExitNegative = 1; // a command that answers "no" (the mouse is not found)
constexpr int ExitError = 2;    // unknown command, bad number, unreadable file

// Messages of the core go to standard error, one line each.
class StreamNotifier : public UiNotifier {
public:
    explicit StreamNotifier(std::ostream& err) : m_err(err) {}
    // One line each: a message of several lines is joined with spaces.
    void showMessage(std::string_view text) override {
        std::string line(text);
        for (char& c : line)
            if (c == '\n')
                c = ' ';
        m_err << "krv-glyde-ctl: " << line << '\n';
    }

private:
    std::ostream& m_err;
};

struct CtlSystem;

struct CtlContext {
    // Where the user's files are (--dir's folder, else the program's or the user's settings folder).
    // Asked only by the first command that needs them: that may make the folder and copy the shipped
    // files there, which a command refused for its arguments must not do.
    std::function<AppPaths()> findPaths;
    bool simulate = false; // --simulate: the simulated mouse instead of the real one
    std::ostream& out;
    std::ostream& err;
    UiNotifier& notifier;
    std::filesystem::path programFolder; // where krv-glyde-ctl and krv-glyde are
    const CtlSystem& system;             // the operating system's side of the mouse commands

    // The user's files (findPaths, asked once).
    const AppPaths& paths() const;
    // Prints "krv-glyde-ctl: <text>" to standard error and returns ExitError.
    int fail(const std::string& text) const;
    // "CurConfig" of config.ini when it names one of the five profiles; otherwise says why (naming
    // the value) and gives nothing, so that no command reads or writes sections 0, 6 or above.
    std::optional<int> currentProfile(const IniDocument& config) const;

    mutable std::optional<AppPaths> foundPaths;
};

// A decimal number that is all digits (no sign, no trailing text) within [low, high].
std::optional<int> parseNumber(const std::string& text, int low, int high);

// One command: the words that name it (e.g. {"profile", "show"}) and its handler, which receives the
// arguments after those words.
struct CtlCommand {
    std::vector<std::string> words;
    const char* usage;
    int (*run)(CtlContext& ctx, const std::vector<std::string>& args);
};

// The commands of each area, in the order `krv-glyde-ctl help` lists them.
std::vector<CtlCommand> settingsCommands();
std::vector<CtlCommand> macroCommands();
std::vector<CtlCommand> autostartCommands();
std::vector<CtlCommand> appProfileCommands();

} // namespace krv::ctl
