// SPDX-License-Identifier: MIT
#pragma once

#include "platform/windows/UniqueHandle.h"
#include "ports/ShellActions.h"

#include <functional>
#include <string>
#include <string_view>

namespace krv {

// Opens `target` as Explorer would (a program found on the search path, a document, a folder, a
// shell object such as "::{CLSID}") with ShellExecuteExW, and returns once it was started. The
// UTF-8 target is turned into UTF-16 explicitly. False with the system's message in `error` when it
// could not be started; with `process`, the started program's process handle is given back when there
// is one (tests wait on it).
bool ShellOpen(std::string_view target, std::string* error = nullptr, UniqueHandle* process = nullptr);

// The desktop actions of the host-served buttons on Windows: "This PC" in Explorer, the session lock
// (LockWorkStation), the calculator and the command prompt. A failure is told to `onFailure`, when
// given, with the system's message; the port's caller hears nothing.
class WindowsShellActions final : public ShellActions {
public:
    // Explorer's "This PC" (My Computer).
    static constexpr std::string_view ComputerFolder = "::{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    static constexpr std::string_view Calculator = "calc.exe";
    static constexpr std::string_view Terminal = "cmd.exe";

    explicit WindowsShellActions(std::function<void(std::string_view problem)> onFailure = {});

    void openComputerFolder() override { open(ComputerFolder); }
    void lockSession() override;
    void startCalculator() override { open(Calculator); }
    void startTerminal() override { open(Terminal); }

private:
    void open(std::string_view target);
    std::function<void(std::string_view)> m_onFailure;
};

} // namespace krv
