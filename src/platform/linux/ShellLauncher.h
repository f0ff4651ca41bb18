// SPDX-License-Identifier: MIT
#pragma once

#include "ports/ShellActions.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace krv {

// The desktop actions of the host-served buttons, done by starting the usual desktop programs
// directly (no shell): each action tries its candidates in order and starts the first one found on
// the search path. Programs are started in a session of their own with standard input from /dev/null
// and no inherited descriptors; the call returns at once and a small thread reaps the child.
//  - computer folder: xdg-open /, gio open /, then nautilus, dolphin, thunar, pcmanfm, caja, nemo at /
//  - lock: loginctl lock-session, xdg-screensaver lock, xflock4, dm-tool lock (a candidate that
//    exits with failure hands on to the next)
//  - calculator: gnome-calculator, kcalc, galculator, mate-calc, qalculate-gtk, xcalc
//  - terminal: x-terminal-emulator, gnome-terminal, konsole, xfce4-terminal, mate-terminal,
//    lxterminal, xterm
// When none is installed nothing happens.
class ShellLauncher final : public ShellActions {
public:
    using Command = std::vector<std::string>;

    // searchPath: the directories to look in, as in $PATH (the default: the environment's $PATH).
    explicit ShellLauncher(std::string searchPath = {});
    ~ShellLauncher() override;

    void openComputerFolder() override;
    void lockSession() override;
    void startCalculator() override;
    void startTerminal() override;

    static const std::vector<Command>& computerFolderCommands();
    static const std::vector<Command>& lockCommands();
    static const std::vector<Command>& calculatorCommands();
    static const std::vector<Command>& terminalCommands();

    // Full path of a program found on the search path, or empty.
    std::string findProgram(const std::string& name) const;
    // Waits until every child started so far has ended (tests).
    void waitUntilIdle();

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable idle;
        int running = 0;
    };
    // Starts the first available candidate; with fallBackOnFailure, a candidate that exits with a
    // failure status hands on to the next.
    void launch(const std::vector<Command>& candidates, bool fallBackOnFailure);

    std::string m_searchPath;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

} // namespace krv
