// SPDX-License-Identifier: MIT
// krv-glyde-ctl on Linux: hidraw nodes, udev's hot-plug events, SIGINT and SIGTERM.
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlSystem.h"
#include "platform/linux/DeviceAccess.h"
#include "platform/linux/HidrawBackend.h"
#ifdef KRV_WITH_DBUS
#include "platform/linux/SdBusCompanionLink.h"
#endif
#include "platform/linux/SignalInterruptWait.h"
#include "platform/linux/UdevMonitor.h"

namespace krv::ctl {

CtlSystem ThisSystem() {
    CtlSystem system;
    system.hidBackend = [] { return std::make_unique<HidrawBackend>(); };
    system.deviceChanges = []() -> std::unique_ptr<DeviceChangeMonitor> { return std::make_unique<UdevMonitor>(); };
    system.deviceAccessCommand = [] { return DeviceAccessCommand(); };
    system.interruptWait = [](DeviceChangeMonitor* monitor) -> std::unique_ptr<InterruptWait> {
        auto wait = std::make_unique<SignalInterruptWait>(monitor);
        if (!wait->valid())
            return nullptr;
        return wait;
    };
    system.notFoundHint = "if it is plugged in, check that lsusb lists " + UsbIdText();
    system.userSettingsFolder = "~/.config/krv-glyde";
#ifdef KRV_WITH_DBUS
    system.companionLink = []() -> std::unique_ptr<CompanionLink> { return std::make_unique<SdBusCompanionLink>(); };
#else
    system.companionLink = []() -> std::unique_ptr<CompanionLink> { return std::make_unique<NoCompanionLink>(); };
#endif
    return system;
}

int runCtl(const std::vector<std::string>& args, const AppPaths& programPaths, std::ostream& out, std::ostream& err) {
    return runCtl(args, programPaths, ThisSystem(), out, err);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return {argv + 1, argv + argc};
}

void PrepareStandardStreams() {}

} // namespace krv::ctl
