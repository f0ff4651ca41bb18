// SPDX-License-Identifier: MIT
#include "app/ctl/CtlDeviceCommands.h"

#include "app/ctl/CtlCompanion.h"
#include "app/ctl/CtlSystem.h"
#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "log/Log.h"
#include "mouse/PressChannel.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"
#include "sim/SimulatedMouse.h"

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
int notFound(const CtlContext& ctx, const DeviceLink& link) {
    std::ostream& err = ctx.err;
    const DeviceLink::ScanReport scan = link.lastScan();
    switch (scan.problem) {
    case DeviceLink::ScanReport::Problem::NotAccessible: {
        err << Program << "mouse found at " << scan.node << " but it cannot be opened: " << scan.detail;
        if (const std::string command = ctx.system.deviceAccessCommand(); !command.empty())
            err << "; to give access, run: " << command;
        err << '\n';
        break;
    }
    case DeviceLink::ScanReport::Problem::CollectionMissing:
        err << Program << "mouse found at " << scan.node << " but its " << scan.detail << " is missing\n";
        break;
    default:
        err << Program << "mouse not found";
        if (!ctx.system.notFoundHint.empty())
            err << " (" << ctx.system.notFoundHint << ')';
        err << '\n';
        break;
    }
    return ExitNegative;
}

// The mouse as this tool sees it, then the running companion's state.
int status(DeviceLink& link, const CtlContext& ctx) {
    int result = ExitOk;
    if (!link.ScanForMouse()) {
        result = notFound(ctx, link);
    } else {
        ctx.out << "mouse found\n"
                << "path " << link.devicePath() << '\n'
                << "input report length " << link.inputReportLength() << '\n'
                << "feature report length " << link.featureReportLength() << '\n';
    }
    const LinkedCompanion companion = FindCompanion(ctx);
    if (companion.refusal)
        return *companion.refusal;
    PrintCompanionState(ctx, companion);
    return result;
}

int apply(DeviceLink& link, SimulatedMouse* sim, const std::vector<std::string>& args, CtlContext& ctx) {
    if (args.size() > 1)
        return ctx.fail("usage: apply [N]");
    std::optional<int> n;
    if (!args.empty() && !(n = parseNumber(args[0], 1, ProfileCount)))
        return ctx.fail("bad profile number: " + args[0] + " (1 to 5)");
    const std::filesystem::path config = ctx.paths().configPath();
    const IniRead file = IniFile::read(config);
    if (file.unreadable())
        return ctx.fail(file.error);
    if (!n && !(n = ctx.currentProfile(file.document)))
        return ExitError;
    // Only one program sends to the mouse: with a companion on these files running, it applies the
    // profile (sends it, saves it as the current one and serves its buttons).
    if (LinkedCompanion companion = FindCompanion(ctx); companion.refusal) {
        return *companion.refusal;
    } else if (companion) {
        if (const CompanionLink::CallResult applied = companion.link->applyProfile(*n); !applied.ok)
            return ctx.fail(applied.error);
        LogDetail(LogCategory::Apply) << "profile " << *n << " applied by the companion " << companion.state.name;
        return ExitOk;
    }
    if (!link.ScanForMouse())
        return notFound(ctx, link);

    ProfileSettings settings;
    ApplyFeedback feedback;
    UntouchedPointer pointer;
    const UiLanguage language = ReadUiLanguage(file.document);
    ProfileApplier applier({settings, config, link, feedback, pointer, ctx.notifier, {}, [language] { return language; }});
    // The profile is read again under the lock of its save: an import that lands meanwhile is what is
    // applied; without a number, so is the current profile, as another program may have switched it
    // meanwhile. A refusal or a failed save has been told through the notifier.
    const ProfileApplier::Outcome outcome =
        applier.ApplyStoredProfile(args.empty() ? ProfileApplier::CurrentStoredProfile : *n);
    if (sim)
        for (const auto& report : sim->state().featureReports)
            ctx.out << HexBytes(report) << '\n';
    return outcome == ProfileApplier::Outcome::Applied ? ExitOk : ExitError;
}

int listen(DeviceLink& link, bool simulated, CtlContext& ctx) {
    std::ostream& out = ctx.out;
    std::ostream& err = ctx.err;
    if (!link.ScanForMouse())
        return notFound(ctx, link);
    std::unique_ptr<DeviceChangeMonitor> monitor;
    if (!simulated)
        monitor = ctx.system.deviceChanges();
    // Made before the reader thread starts, so that no thread takes the interruption itself.
    const std::unique_ptr<InterruptWait> interruption = ctx.system.interruptWait(monitor.get());
    if (!interruption)
        return ctx.fail("cannot wait for interruption");

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
        const InterruptWait::Wake wake = interruption->wait();
        if (wake.interrupted)
            break;
        bool removed = false;
        for (const DeviceChange& change : wake.changes)
            removed |= change.kind == DeviceChange::Kind::Removal && link.handleDeviceChange(change);
        if (removed) {
            err << Program << "the mouse was removed\n";
            result = ExitNegative;
            break;
        }
    }
    reader.stop();
    return result;
}

// The system's HID devices, or the simulated mouse with --simulate.
struct Device {
    explicit Device(const CtlContext& ctx) {
        if (ctx.simulate) {
            auto mouse = std::make_unique<SimulatedMouse>();
            sim = mouse.get();
            backend = std::move(mouse);
        } else {
            backend = ctx.system.hidBackend();
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
    Device device(ctx);
    return status(*device.link, ctx);
}

int runApply(CtlContext& ctx, const std::vector<std::string>& args) {
    Device device(ctx);
    return apply(*device.link, device.sim, args, ctx);
}

int runListen(CtlContext& ctx, const std::vector<std::string>& args) {
    if (!args.empty())
        return ctx.fail("usage: listen");
    Device device(ctx);
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
