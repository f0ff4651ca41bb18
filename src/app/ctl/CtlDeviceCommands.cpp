#include "app/ctl/CtlDeviceCommands.h"

#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/PressChannel.h"
#include "device/ReportReader.h"
#include "platform/linux/HidrawBackend.h"
#include "platform/linux/UdevMonitor.h"
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

// Messages of the core go to standard error; there is no window to repaint.
class StderrNotifier : public UiNotifier {
public:
    explicit StderrNotifier(std::ostream& err) : m_err(err) {}
    void showMessage(std::string_view text) override { m_err << text << '\n'; }

private:
    std::ostream& m_err;
};

// Without a desktop backend the pointer settings are left as they are.
class UntouchedPointer : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override { return std::nullopt; }
    bool setPointerSpeed(int) override { return false; }
    std::optional<int> wheelScrollLines() override { return std::nullopt; }
    bool setWheelScrollLines(int) override { return false; }
};

int error(std::ostream& err, const std::string& text) {
    err << Program << text << '\n';
    return 2;
}

int notFound(std::ostream& err, const DeviceLink& link) {
    if (link.devicePath().empty())
        err << Program << "mouse not found\n";
    else
        err << Program << "mouse found at " << link.devicePath()
            << " but its vendor collections cannot be opened (see the README on permissions)\n";
    return 1;
}

std::optional<int> parseProfileNumber(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '0' + ProfileCount)
        return std::nullopt;
    return text[0] - '0';
}

int status(DeviceLink& link, std::ostream& out, std::ostream& err) {
    if (!link.ScanForMouse())
        return notFound(err, link);
    out << "mouse found\n"
        << "path " << link.devicePath() << '\n'
        << "input report length " << link.inputReportLength() << '\n'
        << "feature report length " << link.featureReportLength() << '\n';
    return 0;
}

int apply(DeviceLink& link, SimulatedMouse* sim, const std::vector<std::string>& rest, const AppPaths& paths,
          std::ostream& out, std::ostream& err, SystemPointer* pointer) {
    if (rest.size() > 2)
        return error(err, "usage: apply [N]");
    const std::filesystem::path config = paths.configPath();
    int n = 0;
    if (rest.size() == 2) {
        const auto parsed = parseProfileNumber(rest[1]);
        if (!parsed)
            return error(err, "profile number must be 1 to 5: " + rest[1]);
        n = *parsed;
    } else {
        n = ReadCurConfig(config);
        if (n < 1 || n > ProfileCount)
            return error(err, "no current profile (1 to 5) in " + config.string());
    }
    if (!link.ScanForMouse())
        return notFound(err, link);

    ProfileSettings settings;
    ApplyFeedback feedback;
    StderrNotifier notifier(err);
    UntouchedPointer untouched;
    LoadProfile(settings, config, n, false, ReadUiLanguage(config));
    settings.CurConfig.store(n);
    ProfileApplier applier({settings, config, link, feedback, pointer ? *pointer : untouched, notifier, {}});
    applier.ApplyProfile();
    if (sim)
        for (const auto& report : sim->state().featureReports)
            out << HexBytes(report) << '\n';
    return 0;
}

int listen(DeviceLink& link, bool simulated, std::ostream& out, std::ostream& err) {
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
        return error(err, "cannot wait for interruption");
    }
    std::unique_ptr<UdevMonitor> monitor;
    if (!simulated)
        monitor = std::make_unique<UdevMonitor>();

    ProfileSettings settings;
    ApplyFeedback feedback;
    PressChannel presses;
    StderrNotifier notifier(err);
    std::mutex outMutex;
    ReportReader reader(link, presses, feedback, settings, notifier);
    reader.setEventCallback([&](std::span<const std::uint8_t> report, const SpecialButtonEvent& event) {
        // The executor is not running here: a press is served as soon as it is printed.
        presses.finishPress();
        std::lock_guard lock(outMutex);
        out << DescribeInputReport(report, event) << std::endl;
    });
    out << "listening on " << link.devicePath() << std::endl;
    reader.start();

    int status = 0;
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
                status = 1;
                break;
            }
        }
    }
    reader.stop();
    ::close(signalFd);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return status;
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
    case SpecialButtonEvent::Kind::Press: text = "press " + std::to_string(event.code); break;
    case SpecialButtonEvent::Kind::Release: text = "release"; break;
    case SpecialButtonEvent::Kind::Acknowledgement: text = "acknowledgement"; break;
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

std::optional<int> runDeviceCommand(const std::vector<std::string>& args, const std::string& executableDir,
                                    std::ostream& out, std::ostream& err, SystemPointer* pointer) {
    bool simulate = false;
    std::vector<std::string> rest;
    for (const std::string& arg : args) {
        if (arg == "--simulate")
            simulate = true;
        else
            rest.push_back(arg);
    }
    if (rest.empty() || (rest[0] != "status" && rest[0] != "apply" && rest[0] != "listen"))
        return std::nullopt;
    if (rest[0] != "apply" && rest.size() > 1)
        return error(err, "usage: " + rest[0] + " takes no arguments");

    std::unique_ptr<HidBackend> backend;
    SimulatedMouse* sim = nullptr;
    if (simulate) {
        auto mouse = std::make_unique<SimulatedMouse>();
        sim = mouse.get();
        backend = std::move(mouse);
    } else {
        backend = std::make_unique<HidrawBackend>();
    }
    DeviceLink link(*backend);
    if (rest[0] == "status")
        return status(link, out, err);
    if (rest[0] == "apply")
        return apply(link, sim, rest, AppPaths{executableDir}, out, err, pointer);
    return listen(link, simulate, out, err);
}

} // namespace krv::ctl
