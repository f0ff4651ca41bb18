// SPDX-License-Identifier: MIT
#include "app/ctl/CtlDeviceCommands.h"

#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "platform/linux/DeviceAccess.h"
#include "mouse/PressChannel.h"
#include "platform/linux/HidrawBackend.h"
#include "platform/linux/UdevMonitor.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"
#include "sim/SimulatedMouse.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <mutex>
#include <ostream>

namespace krv::ctl {

namespace {

constexpr const char* Program = "krv-glyde-ctl: ";

// Without a desktop backend the pointer settings are left as they are.
class UntouchedPointer : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override { return std::nullopt; }
    bool setPointerSpeed(int) override { return false; }
    std::optional<int> wheelScrollLines() override { return std::nullopt; }
    bool setWheelScrollLines(int) override { return false; }
};

// One line on why the mouse cannot be used: not plugged in, plugged in but not accessible (with the
// command that gives access), or plugged in with a collection missing.
int notFound(std::ostream& err, const DeviceLink& link) {
    const DeviceLink::ScanReport scan = link.lastScan();
    switch (scan.problem) {
    case DeviceLink::ScanReport::Problem::NotAccessible:
        err << Program << "mouse found at " << scan.node << " but it cannot be opened: " << scan.detail
            << "; to give access, run: " << DeviceAccessCommand() << '\n';
        break;
    case DeviceLink::ScanReport::Problem::CollectionMissing:
        err << Program << "mouse found at " << scan.node << " but its " << scan.detail << " is missing\n";
        break;
    default:
        err << Program << "mouse not found\n";
        break;
    }
    return ExitNegative;
}

int status(DeviceLink& link, std::ostream& out, std::ostream& err) {
    if (!link.ScanForMouse())
        return notFound(err, link);
    out << "mouse found\n"
        << "path " << link.devicePath() << '\n'
        << "input report length " << link.inputReportLength() << '\n'
        << "feature report length " << link.featureReportLength() << '\n';
    return ExitOk;
}

int apply(DeviceLink& link, SimulatedMouse* sim, const std::vector<std::string>& args, CtlContext& ctx) {
    if (args.size() > 1)
        return ctx.fail("usage: apply [N]");
    const std::filesystem::path config = ctx.paths.configPath();
    const IniRead file = IniFile::read(config);
    if (file.unreadable())
        return ctx.fail(file.error);
    std::optional<int> n;
    if (!args.empty()) {
        n = parseNumber(args[0], 1, ProfileCount);
        if (!n)
            return ctx.fail("bad profile number: " + args[0] + " (1 to 5)");
    } else {
        n = ctx.currentProfile(file.document);
        if (!n)
            return ExitError;
    }
    if (!link.ScanForMouse())
        return notFound(ctx.err, link);

    ProfileSettings settings;
    ApplyFeedback feedback;
    UntouchedPointer pointer;
    const UiLanguage language = ReadUiLanguage(file.document);
    settings.setValues(ReadProfileValues(file.document, *n, false, language));
    settings.currentProfile.store(*n);
    ProfileApplier applier({settings, config, link, feedback, pointer, ctx.notifier, {}, [language] { return language; }});
    // A refusal or a failed save has been told through the notifier.
    const ProfileApplier::Outcome outcome = applier.ApplyProfile();
    if (sim)
        for (const auto& report : sim->state().featureReports)
            ctx.out << HexBytes(report) << '\n';
    return outcome == ProfileApplier::Outcome::Applied ? ExitOk : ExitError;
}

int listen(DeviceLink& link, bool simulated, CtlContext& ctx) {
    std::ostream& out = ctx.out;
    std::ostream& err = ctx.err;
    if (!link.ScanForMouse())
        return notFound(err, link);
    // Interruption arrives on a signal descriptor: blocked here, before the reader thread starts, so
    // that no thread takes the signal itself.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &signals, &previous);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return ctx.fail("cannot wait for interruption");
    }
    std::unique_ptr<UdevMonitor> monitor;
    if (!simulated)
        monitor = std::make_unique<UdevMonitor>();

    ProfileSettings settings;
    ApplyFeedback feedback;
    PressChannel presses;
    std::mutex outMutex;
    ReportReader reader(link, presses, feedback, settings, ctx.notifier);
    reader.setEventCallback([&](std::span<const std::uint8_t> report, const SpecialButtonEvent& event) {
        // The executor is not running here: a press is served as soon as it is printed.
        presses.finishPress();
        std::lock_guard lock(outMutex);
        out << DescribeInputReport(report, event) << std::endl;
    });
    out << "listening on " << link.devicePath() << std::endl;
    reader.start();

    int result = ExitOk;
    for (;;) {
        std::array<pollfd, 2> fds{{{signalFd, POLLIN, 0}, {monitor ? monitor->fd() : -1, POLLIN, 0}}};
        if (poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents & POLLIN)
            break;
        if (fds[1].revents & POLLIN) {
            bool removed = false;
            for (const DeviceChange& change : monitor->readChanges())
                removed |= change.kind == DeviceChange::Kind::Removal && link.handleDeviceChange(change);
            if (removed) {
                err << Program << "the mouse was removed\n";
                result = ExitNegative;
                break;
            }
        }
    }
    reader.stop();
    ::close(signalFd);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return result;
}

// The system's HID devices, or the simulated mouse with --simulate.
struct Device {
    explicit Device(bool simulate) {
        if (simulate) {
            auto mouse = std::make_unique<SimulatedMouse>();
            sim = mouse.get();
            backend = std::move(mouse);
        } else {
            backend = std::make_unique<HidrawBackend>();
        }
        link = std::make_unique<DeviceLink>(*backend);
    }
    std::unique_ptr<HidBackend> backend;
    SimulatedMouse* sim = nullptr;
    std::unique_ptr<DeviceLink> link;
};

int runStatus(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: status");
    Device device(ctx.simulate);
    return status(*device.link, ctx.out, ctx.err);
}

int runApply(CtlContext& ctx, const std::vector<std::string>& args) {
    Device device(ctx.simulate);
    return apply(*device.link, device.sim, args, ctx);
}

int runListen(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: listen");
    Device device(ctx.simulate);
    return listen(*device.link, ctx.simulate, ctx);
}

} // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        if (i != 0)
            text.push_back(' ');
        text += hex;
    }
    return text;
}

std::string DescribeInputReport(std::span<const std::uint8_t> report, const SpecialButtonEvent& event) {
    std::string text;
    switch (event.kind) {
    case SpecialButtonEvent::Kind::Press:
        text = "press " + std::to_string(event.code);
        break;
    case SpecialButtonEvent::Kind::Release:
        text = "release";
        break;
    case SpecialButtonEvent::Kind::Acknowledgement:
        text = "acknowledgement";
        break;
    case SpecialButtonEvent::Kind::Other:
        text = "other";
        if (!report.empty())
            text += " " + HexBytes(report.first(std::min<std::size_t>(report.size(), 2)));
        return text;
    }
    if (!event.handled)
        text += " (ignored)";
    return text;
}

std::vector<CtlCommand> deviceCommands() {
    return {
        {{"status"}, "status                  whether the mouse is found, its path and report lengths", runStatus},
        {{"apply"},
         "apply [N]               load profile N (default: the current one) and send it to the mouse",
         runApply},
        {{"listen"}, "listen                  print the meaning of each input report until interrupted", runListen},
    };
}

} // namespace krv::ctl
