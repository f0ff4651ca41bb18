// SPDX-License-Identifier: MIT
// krv-glyde-ctl on Windows: the console's Ctrl+C, arguments and output in UTF-8.
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"
#include "platform/windows/WindowsDeviceChanges.h"
#include "platform/windows/WindowsHidBackend.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace krv::ctl {

namespace {

// Ctrl+C, Ctrl+Break and the console window closing set one event; the wait sleeps on it and, with the
// hot-plug monitor, on the monitor's event.
HANDLE g_interrupted = nullptr;

BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        ::SetEvent(g_interrupted);
        return TRUE;
    default:
        return FALSE;
    }
}

class ConsoleInterruptWait final : public InterruptWait {
public:
    explicit ConsoleInterruptWait(DeviceChangeMonitor* monitor)
        : m_monitor(dynamic_cast<WindowsDeviceChangeMonitor*>(monitor)) {
        if (g_interrupted == nullptr)
            g_interrupted = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (g_interrupted != nullptr) {
            ::ResetEvent(g_interrupted);
            m_installed = ::SetConsoleCtrlHandler(onConsoleControl, TRUE) != 0;
        }
    }
    ~ConsoleInterruptWait() override {
        if (m_installed)
            ::SetConsoleCtrlHandler(onConsoleControl, FALSE);
    }
    ConsoleInterruptWait(const ConsoleInterruptWait&) = delete;
    ConsoleInterruptWait& operator=(const ConsoleInterruptWait&) = delete;

    bool valid() const { return m_installed; }

    Wake wait() override {
        const HANDLE events[] = {g_interrupted, m_monitor ? m_monitor->changesEvent() : nullptr};
        const DWORD count = m_monitor ? 2 : 1;
        for (;;) {
            const DWORD woken = ::WaitForMultipleObjects(count, events, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0)
                return {true, {}};
            if (woken != WAIT_OBJECT_0 + 1)
                return {true, {}}; // the wait itself failed: end rather than spin
            if (std::vector<DeviceChange> changes = m_monitor->readChanges(); !changes.empty())
                return {false, std::move(changes)};
        }
    }

private:
    WindowsDeviceChangeMonitor* m_monitor;
    bool m_installed = false;
};

std::string utf8Of(const wchar_t* text) {
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return {};
    std::string result(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), bytes, nullptr, nullptr);
    result.pop_back(); // the terminating zero
    return result;
}

} // namespace

CtlSystem ThisSystem() {
    CtlSystem system;
    system.hidBackend = [] { return std::make_unique<WindowsHidBackend>(); };
    system.deviceChanges = []() -> std::unique_ptr<DeviceChangeMonitor> {
        auto monitor = std::make_unique<WindowsDeviceChangeMonitor>();
        if (!monitor->valid())
            return nullptr;
        return monitor;
    };
    system.deviceAccessCommand = [] { return std::string{}; };
    system.interruptWait = [](DeviceChangeMonitor* monitor) -> std::unique_ptr<InterruptWait> {
        auto wait = std::make_unique<ConsoleInterruptWait>(monitor);
        if (!wait->valid())
            return nullptr;
        return wait;
    };
    char hardwareId[32];
    std::snprintf(hardwareId, sizeof hardwareId, "USB\\VID_%04X&PID_%04X", unsigned{MouseVendorId},
                  unsigned{MouseProductId});
    system.notFoundHint = std::string("if it is plugged in, check that the Device Manager shows hardware id ") + hardwareId;
    system.userSettingsFolder = "%APPDATA%\\krv-glyde";
    // No companion service on Windows yet: the tool always works on its own.
    system.companionLink = []() -> std::unique_ptr<CompanionLink> { return std::make_unique<NoCompanionLink>(); };
    return system;
}

int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, std::ostream& out, std::ostream& err) {
    return runCtl(args, programPaths, ThisSystem(), out, err);
}

std::vector<std::string> CommandLineArguments(int, char**) {
    // The arguments as the user typed them (wide), not as the ANSI code page could hold them.
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i)
        args.push_back(utf8Of(wide[i]));
    ::LocalFree(wide);
    return args;
}

void PrepareStandardStreams() {
    // The same bytes as on every other system: lines end in "\n" alone, text is UTF-8.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
}

} // namespace krv::ctl
