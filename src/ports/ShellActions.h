// SPDX-License-Identifier: MIT
#pragma once

namespace krv {

// The desktop actions of the host-served buttons. Each starts its work and returns at once; a failure
// (no such program, no session lock) is silent.
class ShellActions {
public:
    virtual ~ShellActions() = default;
    virtual void openComputerFolder() = 0; // the file manager at the top of the file system
    virtual void lockSession() = 0;
    virtual void startCalculator() = 0;
    virtual void startTerminal() = 0;
};

// Does nothing: where no desktop actions are wanted.
class NoShellActions final : public ShellActions {
public:
    void openComputerFolder() override {}
    void lockSession() override {}
    void startCalculator() override {}
    void startTerminal() override {}
};

} // namespace krv
