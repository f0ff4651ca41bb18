// SPDX-License-Identifier: MIT
#include "app/AppContext.h"

#ifdef _WIN32
#include "platform/windows/SendInputInjector.h"
#include "platform/windows/ThreadPriority.h"
#include "platform/windows/WindowsDesktop.h"
#include "platform/windows/WindowsDeviceChanges.h"
#include "platform/windows/WindowsForegroundWatch.h"
#include "platform/windows/WindowsHidBackend.h"
#include "platform/windows/WindowsShellActions.h"
#include "platform/windows/WindowsSystemPointer.h"
#else
#include "platform/linux/HidrawBackend.h"
#include "platform/linux/InputBackend.h"
#include "platform/linux/PowerEvents.h"
#include "platform/linux/RealtimeKit.h"
#include "platform/linux/RunningProgramWatch.h"
#include "platform/linux/ShellLauncher.h"
#include "platform/linux/TerminationSignals.h"
#include "platform/linux/UdevMonitor.h"
#include "platform/linux/WaylandForegroundWatch.h"
#include "platform/linux/X11ForegroundWatch.h"
#include "platform/linux/X11KeyboardCapture.h"
#include "platform/linux/X11SystemPointer.h"
#endif

#include <QGuiApplication>

namespace krv {

namespace {

#ifdef _WIN32
std::unique_ptr<DeviceChangeMonitor> OpenDesktopDeviceChanges() {
    auto monitor = std::make_unique<WindowsDeviceChangeMonitor>();
    if (!monitor->valid())
        return nullptr;
    return monitor;
}

std::unique_ptr<KeyboardCapture> OpenDesktopKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable) {
    return OpenWindowsKeyboardCapture(std::move(onKey), std::move(onUnavailable));
}

std::unique_ptr<HidBackend> OpenDesktopHid() {
    return std::make_unique<WindowsHidBackend>();
}

const WatchPowerEvents WatchDesktopPowerEvents = WatchWindowsPowerEvents;
const WatchTerminationRequests WatchTerminationSignals = WatchWindowsTerminationRequests;
#else
std::unique_ptr<DeviceChangeMonitor> OpenDesktopDeviceChanges() {
    return std::make_unique<UdevMonitor>();
}

// The whole keyboard through an X11 grab on X11; elsewhere (Wayland) nothing, and the window captures
// the keys the program itself receives.
std::unique_ptr<KeyboardCapture> OpenDesktopKeyboardCapture(KeyHandler onKey, std::function<void()> onUnavailable) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    std::unique_ptr<X11KeyboardCapture> x11 = X11KeyboardCapture::open(std::move(onKey));
    if (x11)
        QObject::connect(x11.get(), &X11KeyboardCapture::grabFailed, x11.get(), std::move(onUnavailable));
    return x11;
}

std::unique_ptr<HidBackend> OpenDesktopHid() {
    return std::make_unique<HidrawBackend>();
}
#endif

// What the companion opens of the desktop as it starts, the same on every desktop.
void watchTheDesktop(AppPorts& ports, const std::filesystem::path& rulesFile) {
    ports.openDeviceChanges = OpenDesktopDeviceChanges;
    ports.openKeyboardCapture = OpenDesktopKeyboardCapture;
    ports.openForegroundWatch = [rulesFile] { return OpenDesktopForegroundWatch(rulesFile); };
    ports.raiseServiceThread = RaiseServiceThread;
    ports.watchPowerEvents = WatchDesktopPowerEvents;
    ports.watchTerminationRequests = WatchTerminationSignals;
}

} // namespace

#ifdef _WIN32
std::unique_ptr<ForegroundWatch> OpenDesktopForegroundWatch(const std::filesystem::path& rulesFile) {
    (void)rulesFile;
    return WindowsForegroundWatch::open();
}

std::unique_ptr<InputInjector> OpenDesktopInputInjector() {
    return std::make_unique<SendInputInjector>();
}

std::unique_ptr<ShellActions> OpenDesktopShellActions() {
    return std::make_unique<WindowsShellActions>();
}

AppPorts AppPorts::Desktop(const std::filesystem::path& rulesFile) {
    AppPorts ports;
    ports.hid = OpenDesktopHid();
    ports.injector = OpenDesktopInputInjector();
    ports.shell = OpenDesktopShellActions();
    ports.pointer = std::make_unique<WindowsSystemPointer>();
    watchTheDesktop(ports, rulesFile);
    return ports;
}
#else
std::unique_ptr<ForegroundWatch> OpenDesktopForegroundWatch(const std::filesystem::path& rulesFile) {
    const bool wayland = qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (QGuiApplication::platformName() == QLatin1String("xcb") || (!wayland && qEnvironmentVariableIsSet("DISPLAY"))) {
        if (std::unique_ptr<X11ForegroundWatch> x11 = X11ForegroundWatch::open())
            return x11;
    } else if (wayland) {
        if (auto toplevels = WaylandForegroundWatch::open(nullptr, QGuiApplication::desktopFileName().toStdString()))
            return toplevels;
    }
    if (rulesFile.empty())
        return nullptr;
    return std::make_unique<RunningProgramWatch>(rulesFile);
}

std::unique_ptr<InputInjector> OpenDesktopInputInjector() {
    return OpenInputInjector();
}

std::unique_ptr<ShellActions> OpenDesktopShellActions() {
    return std::make_unique<ShellLauncher>();
}

AppPorts AppPorts::Desktop(const std::filesystem::path& rulesFile) {
    return LinuxDesktop(rulesFile);
}

AppPorts AppPorts::LinuxDesktop(const std::filesystem::path& rulesFile) {
    AppPorts ports;
    ports.hid = std::make_unique<HidrawBackend>();
    ports.injector = OpenInputInjector(nullptr, &ports.injectorProblem);
    ports.shell = std::make_unique<ShellLauncher>();
    if (auto pointer = X11SystemPointer::open())
        ports.pointer = std::move(pointer);
    else
        ports.pointer = std::make_unique<NoSystemPointer>();
    watchTheDesktop(ports, rulesFile);
    return ports;
}
#endif

namespace {

// A port left empty gets its harmless stand-in, so that the context is always whole.
AppPorts completed(AppPorts ports) {
    if (!ports.injector)
        ports.injector = std::make_unique<NullInputInjector>();
    if (!ports.pointer)
        ports.pointer = std::make_unique<NoSystemPointer>();
    if (!ports.shell)
        ports.shell = std::make_unique<NoShellActions>();
    if (!ports.hid)
        ports.hid = OpenDesktopHid();
    if (!ports.openDeviceChanges)
        ports.openDeviceChanges = OpenDesktopDeviceChanges;
    if (!ports.openKeyboardCapture)
        ports.openKeyboardCapture = OpenDesktopKeyboardCapture;
    if (!ports.raiseServiceThread)
        ports.raiseServiceThread = RaiseServiceThread;
    if (!ports.watchPowerEvents)
        ports.watchPowerEvents = WatchDesktopPowerEvents;
    if (!ports.watchTerminationRequests)
        ports.watchTerminationRequests = WatchTerminationSignals;
    return ports;
}

} // namespace

AppContext::AppContext(std::filesystem::path appDirectory, AppPorts portsIn)
    : AppContext(AppPaths{std::move(appDirectory)}, std::move(portsIn)) {}

AppContext::AppContext(AppPaths pathsIn, AppPorts portsIn)
    : paths{std::move(pathsIn)}, ports(completed(std::move(portsIn))), heldInput(*ports.injector), link(*ports.hid) {}

} // namespace krv
