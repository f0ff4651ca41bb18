// SPDX-License-Identifier: MIT
#pragma once

#include "device/ApplyFeedback.h"
#include "device/DeviceLink.h"
#include "functions/HeldInputInjector.h"
#include "macros/MacroTable.h"
#include "mouse/PressChannel.h"
#include "ports/DeviceChange.h"
#include "ports/ExecutorClock.h"
#include "ports/ForegroundWatch.h"
#include "ports/HidBackend.h"
#include "ports/InputInjector.h"
#include "ports/KeyboardCapture.h"
#include "ports/ProcessEvents.h"
#include "ports/ShellActions.h"
#include "ports/SystemPointer.h"
#include "settings/ProfileSettings.h"
#include "settings/UiLanguage.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace krv {

// The operating system's side of the program, chosen once in main.
struct AppPorts {
    std::unique_ptr<HidBackend> hid;
    std::unique_ptr<InputInjector> injector;
    std::unique_ptr<ShellActions> shell;
    std::unique_ptr<SystemPointer> pointer;
    // In a Wayland session, why /dev/uinput could not be had (keys then reach only X11 programs).
    std::string injectorProblem;
    // Opens the hot-plug monitor when the companion starts to watch arrivals and removals.
    std::function<std::unique_ptr<DeviceChangeMonitor>()> openDeviceChanges;
    // Opens recording's capture of the whole keyboard.
    OpenKeyboardCapture openKeyboardCapture;
    // Opens the watch of the program in front, for the profiles for programs (none: no switching).
    OpenForegroundWatch openForegroundWatch;
    // Called first thing on the reader and executor threads, when the companion raises them.
    ServiceThreadStart raiseServiceThread;
    // The system's power events and requests to end the process.
    WatchPowerEvents watchPowerEvents;
    WatchTerminationRequests watchTerminationRequests;

#ifndef _WIN32
    // This desktop: hidraw, XTest (or uinput), the shell launcher, the X11 pointer settings, udev, the
    // X11 keyboard grab, the desktop's watch of the program in front (with the rules of the profiles
    // for programs in rulesFile), rtkit, logind's and UPower's power events and the termination signals.
    static AppPorts LinuxDesktop(const std::filesystem::path& rulesFile);
#endif
    // The desktop the program runs on: LinuxDesktop(), or on Windows the Win32 HID, SendInput, the
    // shell, the system's pointer settings, device notifications, the low-level keyboard hook, the
    // foreground window's watch, the multimedia timer's resolution for the service threads, power
    // broadcasts and the session's end.
    static AppPorts Desktop(const std::filesystem::path& rulesFile);
};

// The desktop's watch of the program in front: on Windows the foreground window; X11's active window
// under the xcb platform (or with a DISPLAY and no WAYLAND_DISPLAY); under Wayland the compositor's
// list of windows where it offers one (wlroots compositors); else, with no word from the desktop on the
// focus, the running program that a rule of rulesFile names (nothing without rulesFile).
std::unique_ptr<ForegroundWatch> OpenDesktopForegroundWatch(const std::filesystem::path& rulesFile);
// The desktop's input injection (with its problem, where there is one, in AppPorts::injectorProblem of
// LinuxDesktop()) and shell actions, for a program that chooses its other ports itself (the demo).
std::unique_ptr<InputInjector> OpenDesktopInputInjector();
std::unique_ptr<ShellActions> OpenDesktopShellActions();

// Keeps the settings in memory (the demo: the desktop's own pointer is not touched).
class MemorySystemPointer final : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override { return speed.load(); }
    bool setPointerSpeed(int s) override {
        speed.store(s);
        return true;
    }
    std::optional<int> wheelScrollLines() override { return lines.load(); }
    bool setWheelScrollLines(int l) override {
        lines.store(l);
        return true;
    }
    std::atomic<int> speed{10};
    std::atomic<int> lines{3};
};

// The one instance of each piece of the program's state, made once in main (a test makes its own).
// Everything else receives references to these.
class AppContext {
public:
    // A program whose user's files and skins are all in appDirectory (the build tree, tests).
    AppContext(std::filesystem::path appDirectory, AppPorts ports);
    AppContext(AppPaths paths, AppPorts ports);
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    AppPaths paths;
    UiLanguage language = UiLanguage::Chinese;
    ProfileSettings settings;
    ApplyFeedback feedback;
    PressChannel presses;
    MacroTable macros;
    AppPorts ports;
    HeldInputInjector heldInput;
    DeviceLink link;
    SteadyExecutorClock clock;
};

} // namespace krv
