// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ForegroundWatch.h"
#include "settings/AppProfileRules.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

namespace krv {

// Where the desktop tells nothing of the window in front (GNOME's and KDE's Wayland sessions): the
// running program that a rule of the rules file names stands for the program in front, the most
// recently started one when several run; none runs: no program (window 0), which brings the no-match
// choice. A timer (fd() is a timerfd) looks at this user's processes in /proc every interval; the
// rules file is read again when it changes, and while it names no program /proc is not read at all.
// The program carries the process's pid (also as its window id) and executable.
class RunningProgramWatch final : public ForegroundWatch {
public:
    static constexpr std::chrono::milliseconds DefaultInterval{1500};

    explicit RunningProgramWatch(std::filesystem::path rulesFile, std::chrono::milliseconds interval = DefaultInterval);
    ~RunningProgramWatch() override;
    RunningProgramWatch(const RunningProgramWatch&) = delete;
    RunningProgramWatch& operator=(const RunningProgramWatch&) = delete;

    int fd() const override;
    std::optional<ForegroundProgram> readChange() override;
    ForegroundProgram current() override;

    // One look: the rules file (when it changed) and the processes, without touching the timer.
    ForegroundProgram look();

private:
    void refreshRules();

    std::filesystem::path m_rulesFile;
    int m_timer = -1;
    // The rules with "stay" as their no-match choice: a program matches when they give it a profile.
    AppProfileRules m_rules;
    bool m_hasRules = false;
    struct FileStamp {
        bool exists = false;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    std::optional<FileStamp> m_rulesStamp;
    ForegroundProgram m_last;
    bool m_knowsLast = false;
};

} // namespace krv
