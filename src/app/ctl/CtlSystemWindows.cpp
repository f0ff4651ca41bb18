// SPDX-License-Identifier: MIT
// krv-glyde-ctl on Windows: the console's Ctrl+C, arguments and output in UTF-8.
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"

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

// TODO(lead): replace with WindowsHidBackend (platform/windows) once it is merged; until then the
// real mouse is never found ("mouse not found", exit 1) and only --simulate reaches a mouse.
class NoHidDevices final : public HidBackend {
public:
    std::vector<HidCollectionInfo> enumerate() override { return {}; }
    std::unique_ptr<HidHandle> open(const std::string&, HidAccess) override { return nullptr; }
};

// Ctrl+C, Ctrl+Break and the console window closing set one event; the wait sleeps on it. With a
// hot-plug monitor (whose port offers no handle to wait on) the monitor is read every quarter second.
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
    explicit ConsoleInterruptWait(DeviceChangeMonitor* monitor) : m_monitor(monitor) {
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
        for (;;) {
            if (::WaitForSingleObject(g_interrupted, m_monitor ? 250 : INFINITE) == WAIT_OBJECT_0)
                return {true, {}};
            if (m_monitor)
                if (std::vector<DeviceChange> changes = m_monitor->readChanges(); !changes.empty())
                    return {false, std::move(changes)};
        }
    }

private:
    DeviceChangeMonitor* m_monitor;
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
    system.hidBackend = [] { return std::make_unique<NoHidDevices>(); };
    // TODO(lead): WindowsDeviceChangeMonitor (platform/windows).
    system.deviceChanges = []() -> std::unique_ptr<DeviceChangeMonitor> { return nullptr; };
    system.deviceAccessCommand = [] { return std::string{}; };
    system.interruptWait = [](DeviceChangeMonitor* monitor) -> std::unique_ptr<InterruptWait> {
        auto wait = std::make_unique<ConsoleInterruptWait>(monitor);
        if (!wait->valid())
            return nullptr;
        return wait;
    };
    system.userSettingsFolder = "%APPDATA%\\krv-glyde";
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
