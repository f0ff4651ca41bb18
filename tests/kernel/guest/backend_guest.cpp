// SPDX-License-Identifier: MIT
// The program's own Linux backends against the virtual mouse on a real kernel: the hidraw backend
// finds the mouse and opens both vendor collections with the lengths its descriptor gives, an apply's
// feature reports reach the mouse byte for byte, its acknowledgement and a button press come back
// through ReportReader, the executor's uinput injector types the assigned shortcut (read back from
// the evdev node), and the removal of the mouse reaches DeviceLink through the udev monitor.

#include "GuestChecks.h"
#include "UeventListener.h"
#include "UhidMouse.h"

#include "device/ApplyFeedback.h"
#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"
#include "functions/HeldInputInjector.h"
#include "macros/MacroRecord.h"
#include "macros/MacroTable.h"
#include "mouse/PressChannel.h"
#include "platform/linux/HidrawBackend.h"
#include "platform/linux/UdevMonitor.h"
#include "platform/linux/UinputInjector.h"
#include "settings/ProfileSettings.h"

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace krv;
using namespace krv::guest;
using namespace std::chrono_literals;

namespace {

std::string hex(std::span<const std::uint8_t> bytes)
{
    std::string out;
    char part[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(part, sizeof part, "%02x ", b);
        out += part;
    }
    return out;
}

class RecordingPointer : public SystemPointer {
public:
    std::optional<int> pointerSpeed() override { return 10; }
    bool setPointerSpeed(int speed) override
    {
        m_speed = speed;
        return true;
    }
    std::optional<int> wheelScrollLines() override { return 3; }
    bool setWheelScrollLines(int lines) override
    {
        m_lines = lines;
        return true;
    }
    std::atomic<int> m_speed{0};
    std::atomic<int> m_lines{0};
};

// The reader's events as they come, for the main thread to wait on.
class EventLog {
public:
    void add(const SpecialButtonEvent& event)
    {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    }
    // The first event of this kind after position `from`, or nothing within the limit.
    std::optional<SpecialButtonEvent> waitFor(SpecialButtonEvent::Kind kind, std::size_t& from,
                                              std::chrono::milliseconds limit)
    {
        std::unique_lock lock(m_mutex);
        std::optional<SpecialButtonEvent> found;
        m_changed.wait_for(lock, limit, [&] {
            for (; from < m_events.size(); ++from) {
                if (m_events[from].kind == kind) {
                    found = m_events[from++];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SpecialButtonEvent> m_events;
};

// The evdev node of the input device with this name, found through sysfs.
std::string evdevNodeOf(const std::string& name)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/input", ec)) {
        const std::string node = entry.path().filename().string();
        if (node.rfind("event", 0) != 0) {
            continue;
        }
        std::ifstream file(entry.path() / "device" / "name");
        std::string text;
        std::getline(file, text);
        if (text == name) {
            return "/dev/input/" + node;
        }
    }
    return {};
}

// Key transitions (code, value) read from an evdev node until `count` arrived or the time ran out;
// `times` gets the kernel's time stamp of each, in microseconds.
std::vector<std::pair<int, int>> readKeys(int fd, std::size_t count, std::chrono::milliseconds limit,
                                          std::vector<long long>& times)
{
    std::vector<std::pair<int, int>> keys;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (keys.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        input_event event{};
        while (::read(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
            if (event.type == EV_KEY) {
                keys.emplace_back(event.code, event.value);
                times.push_back(static_cast<long long>(event.input_event_sec) * 1000000 + event.input_event_usec);
            }
        }
    }
    return keys;
}

std::string describeKeys(const std::vector<std::pair<int, int>>& keys)
{
    std::string text;
    for (const auto& [code, value] : keys) {
        text += std::to_string(code) + (value ? " down, " : " up, ");
    }
    return text.empty() ? "no key events" : text;
}

// Waits for the udev monitor's next changes (the udev daemon relays the kernel's events).
std::vector<DeviceChange> nextChanges(UdevMonitor& monitor, std::chrono::milliseconds limit)
{
    pollfd p{monitor.fd(), POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) <= 0) {
        return {};
    }
    return monitor.readChanges();
}

} // namespace

int main()
{
    GuestChecks checks;
    UeventListener uevents;
    UdevMonitor monitor;
    checks.check(monitor.valid(), "udev monitor", monitor.error());

    UhidMouse mouse;
    std::string error;
    if (!checks.check(mouse.plugIn(error), "virtual mouse plugged in", error)) {
        return checks.exitCode();
    }
    const auto added = uevents.waitFor("add", "hidraw", 10s);
    if (!checks.check(added.has_value(), "hidraw node appears")) {
        return checks.exitCode();
    }
    const std::string node = "/dev/" + added->get("DEVNAME");
    checks.note("virtual mouse on " + node);
    if (monitor.valid()) {
        bool arrival = false;
        for (const DeviceChange& change : nextChanges(monitor, 10s)) {
            arrival = arrival || (change.kind == DeviceChange::Kind::Arrival && change.path == node);
        }
        checks.check(arrival, "udev monitor reports the arrival");
    }

    // Discovery with the real hidraw backend.
    HidrawBackend backend;
    int vendorEntries = 0;
    for (const HidCollectionInfo& info : backend.enumerate()) {
        if (info.path != node) {
            continue;
        }
        if (info.usagePage == 0xFF00 && info.usage == 1) {
            ++vendorEntries;
            checks.check(info.inputReportLength == 8, "input collection length from the descriptor",
                         std::to_string(info.inputReportLength));
        }
        if (info.usagePage == 0xFF01 && info.usage == 1) {
            ++vendorEntries;
            checks.check(info.featureReportLength == 8, "feature collection length from the descriptor",
                         std::to_string(info.featureReportLength));
        }
    }
    checks.check(vendorEntries == 2, "hidraw backend lists both vendor collections on the node");

    DeviceLink link(backend);
    checks.check(link.ScanForMouse(), "ScanForMouse finds the mouse");
    checks.check(link.connected() && link.readHandle() != nullptr && link.writeHandleOpen(),
                 "both vendor collections open");
    checks.check(link.devicePath() == node, "DevicePath is the node", link.devicePath());
    checks.check(link.inputReportLength() == 8, "InputReportLength", std::to_string(link.inputReportLength()));
    checks.check(link.featureReportLength() == 8, "FeatureReportLength",
                 std::to_string(link.featureReportLength()));

    // The reader, the executor and its uinput injector, as the program wires them.
    const std::filesystem::path folder = "/tmp/krv-kernel-test";
    std::filesystem::create_directories(folder);
    const std::filesystem::path configPath = folder / "config.ini";
    ProfileSettings settings;
    ProfileValues values = FactoryProfile();
    // Host-served: slot 4 Ctrl+C, slots 6 and 7 DPI down and up, slot 8 the first macro.
    values.buttonCodes = {1, 2, 3, 31, 5, 18, 17, 41};
    values.dpiStagePositions = {1, 2, 3, 0};
    values.dpiStageEnabled = {1, 1, 1, 1};
    values.dpiStage = 1;
    values.ledMode = 2;
    values.wheelMode = 1;
    values.fireInterval = 50;
    values.pointerSpeed = 3; // pointer speed 6
    values.wheelSpeed = 2;   // 3 lines
    values.macroPlaybackMode = 0;
    settings.setValues(values);
    settings.currentProfile.store(1);

    ApplyFeedback feedback;
    SilentNotifier notifier;
    RecordingPointer pointer;
    PressChannel presses;
    EventLog events;
    ReportReader reader(link, presses, feedback, settings, notifier);
    reader.setEventCallback(
        [&events](std::span<const std::uint8_t>, const SpecialButtonEvent& event) { events.add(event); });
    reader.start();

    ProfileApplier applier({settings, configPath, link, feedback, pointer, notifier, {}});

    std::string injectorError;
    std::unique_ptr<InputInjector> injector = UinputInjector::open("/dev/uinput", &injectorError);
    checks.check(injector != nullptr, "uinput injector created", injectorError);
    const std::string evdevNode = evdevNodeOf(UinputInjector::DeviceName);
    checks.check(!evdevNode.empty(), "uinput device has an evdev node");
    NullInputInjector nothing;
    HeldInputInjector held(injector ? *injector : static_cast<InputInjector&>(nothing));
    // The first macro: Shift+A, Home (an extended key), a left click; played once.
    MacroTable macros;
    macros.modify([](auto& records, auto& count) {
        MacroRecord& macro = records[0];
        macro.setName(u"kernel test");
        const MacroEvent steps[] = {{0xA0, MacroActionDown, 0}, {0x41, MacroActionDown, 0},
                                    {0x41, MacroActionUp, 0},   {0xA0, MacroActionUp, 0},
                                    {0x24, MacroActionDown, 0}, {0x24, MacroActionUp, 0},
                                    {MacroCodeLeftButton, MacroActionDown, 0},
                                    {MacroCodeLeftButton, MacroActionUp, 0}};
        for (int j = 0; j < 8; ++j) {
            macro.setEvent(j, steps[j]);
        }
        macro.setEventCount(8);
        count = 1;
    });
    NoShellActions shell;
    SteadyExecutorClock clock;
    ActionExecutor executor({presses, settings, macros, held, shell, clock, configPath,
                             [&link](std::uint8_t command, std::uint8_t first, std::uint8_t second) {
                                 // the mouse's state is checked instead
                                 (void)link.SendFeatureReport(static_cast<FeatureCommand>(command), first, second);
                             },
                             [&applier](int n, const ProfileApplier::StoredRefusals& refusals) {
                                 return applier.ApplyStoredProfile(n, refusals);
                             },
                             {}});
    executor.start();
    const int keyFd = evdevNode.empty() ? -1 : ::open(evdevNode.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

    // Apply: every report arrives at the mouse as sent, in order.
    applier.ApplyProfile();
    const std::vector<Bytes> expected = {
        {0x07, 0x10, 1, 1, 0, 0, 0, 0},  {0x07, 0x10, 2, 2, 0, 0, 0, 0},  {0x07, 0x10, 3, 3, 0, 0, 0, 0},
        {0x07, 0x10, 5, 31, 0, 0, 0, 0}, {0x07, 0x10, 4, 5, 0, 0, 0, 0},  {0x07, 0x10, 6, 31, 0, 0, 0, 0},
        {0x07, 0x10, 8, 31, 0, 0, 0, 0}, {0x07, 0x10, 9, 31, 0, 0, 0, 0}, {0x07, 0x11, 1, 0, 0, 0, 0, 0},
        {0x07, 0x09, 1, 0xA2, 0, 0, 0, 0}, {0x07, 0x12, 6, 0, 0, 0, 0, 0},
    };
    const auto received = mouse.transport().waitSetReports(expected.size(), 10s);
    bool same = received.size() == expected.size();
    std::string firstDifference;
    for (std::size_t i = 0; i < std::min(received.size(), expected.size()); ++i) {
        if (received[i] != expected[i] && firstDifference.empty()) {
            same = false;
            firstDifference = "report " + std::to_string(i) + ": " + hex(received[i]) + "instead of " + hex(expected[i]);
        }
    }
    checks.check(same, "ApplyProfile's feature reports arrive byte for byte",
                 firstDifference.empty() ? std::to_string(received.size()) + " reports" : firstDifference);
    checks.check(mouse.model().state().featureReports == expected, "the mouse model took every report");
    checks.check(pointer.m_speed == 6 && pointer.m_lines == 3, "pointer speed and wheel lines set",
                 std::to_string(pointer.m_speed) + ", " + std::to_string(pointer.m_lines));

    // The acknowledgement, then a press of slot 4's button (device button 5).
    std::size_t seen = 0;
    const auto ack = events.waitFor(SpecialButtonEvent::Kind::Acknowledgement, seen, 10s);
    checks.check(ack && ack->handled, "ReportReader takes the acknowledgement");
    checks.check(feedback.HostFunctionsReady.load(), "host functions ready after the acknowledgement");

    mouse.model().press(5);
    const auto press = events.waitFor(SpecialButtonEvent::Kind::Press, seen, 10s);
    checks.check(press && press->handled && press->code == 245, "ReportReader takes the press of button 5",
                 press ? "code " + std::to_string(press->code) : "no press");
    if (keyFd >= 0) {
        std::vector<long long> times;
        const auto keys = readKeys(keyFd, 4, 10s, times);
        const std::vector<std::pair<int, int>> ctrlC = {
            {KEY_LEFTCTRL, 1}, {KEY_C, 1}, {KEY_C, 0}, {KEY_LEFTCTRL, 0}};
        if (checks.check(keys == ctrlC, "the executor types Ctrl+C through uinput", describeKeys(keys))) {
            // The letter is held for 20 ms (a lower bound: the pause is a sleep).
            const long long held = times[2] - times[1];
            checks.check(held >= 19000, "C is held for 20 ms", std::to_string(held) + " us");
        }
    }
    mouse.model().release();
    const auto release = events.waitFor(SpecialButtonEvent::Kind::Release, seen, 10s);
    checks.check(release && release->handled, "ReportReader takes the release");

    // Presses are not queued: one that comes while the previous one is still being served only stops
    // it. The executor clears PendingPress when it is done; nothing signals that, so look for it.
    const auto waitServed = [&presses, &checks](const char* what) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (presses.PendingPress.load() != 0 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        checks.check(presses.PendingPress.load() == 0, what);
    };
    waitServed("the executor finishes serving the shortcut");

    // Slot 6 (device button 6) steps the DPI down: the executor sends stage 0 with its DPI and LED
    // byte from its own thread, through the same feature collection.
    mouse.model().press(6);
    const auto dpiPress = events.waitFor(SpecialButtonEvent::Kind::Press, seen, 10s);
    checks.check(dpiPress && dpiPress->handled && dpiPress->code == 246, "ReportReader takes the press of button 6");
    const Bytes dpiDown = {0x07, 0x09, 0, 0x92, 0, 0, 0, 0};
    const auto afterStep = mouse.transport().waitSetReports(expected.size() + 1, 10s);
    checks.check(afterStep.size() == expected.size() + 1 && afterStep.back() == dpiDown,
                 "the executor's DPI step reaches the mouse",
                 afterStep.size() > expected.size() ? hex(afterStep.back()) : "no report");
    checks.check(settings.dpiStage.load() == 0, "DPI_LEVEL stepped down to stage 0");
    mouse.model().release();
    const auto dpiRelease = events.waitFor(SpecialButtonEvent::Kind::Release, seen, 10s);
    checks.check(dpiRelease && dpiRelease->handled, "ReportReader takes the second release");

    // Slot 8 (device button 9) plays the macro through the same uinput device.
    if (keyFd >= 0) {
        waitServed("the executor finishes serving the DPI step");
        mouse.model().press(9);
        const auto macroPress = events.waitFor(SpecialButtonEvent::Kind::Press, seen, 10s);
        checks.check(macroPress && macroPress->handled && macroPress->code == 249,
                     "ReportReader takes the press of button 9");
        std::vector<long long> times;
        const auto played = readKeys(keyFd, 8, 10s, times);
        const std::vector<std::pair<int, int>> macro = {{KEY_LEFTSHIFT, 1}, {KEY_A, 1}, {KEY_A, 0},
                                                        {KEY_LEFTSHIFT, 0}, {KEY_HOME, 1}, {KEY_HOME, 0},
                                                        {BTN_LEFT, 1},      {BTN_LEFT, 0}};
        checks.check(played == macro, "the executor plays the macro through uinput", describeKeys(played));
        mouse.model().release();
        const auto macroRelease = events.waitFor(SpecialButtonEvent::Kind::Release, seen, 10s);
        checks.check(macroRelease && macroRelease->handled, "ReportReader takes the third release");
        waitServed("the executor finishes playing the macro");
    }

    // The pointer's reports come out of the same node. One whose button byte reads like a press (245)
    // must not be taken for one: the next press seen is that of button 3.
    const Bytes pointerReport = {1, 0xF5, 0, 0, 0, 0, 0};
    checks.check(mouse.transport().sendInput(pointerReport), "pointer report sent");
    mouse.model().press(3);
    const auto nextPress = events.waitFor(SpecialButtonEvent::Kind::Press, seen, 10s);
    checks.check(nextPress && nextPress->code == 243, "ReportReader leaves the pointer's reports alone",
                 nextPress ? "press " + std::to_string(nextPress->code) : "no press");
    mouse.model().release();
    events.waitFor(SpecialButtonEvent::Kind::Release, seen, 10s);

    // Removal: the udev monitor reports it and DeviceLink lets go of the mouse.
    std::atomic<bool> removed{false};
    link.setRemovalCallback([&removed] { removed = true; });
    mouse.unplug();
    bool removalSeen = false;
    if (monitor.valid()) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!removalSeen && std::chrono::steady_clock::now() < deadline) {
            for (const DeviceChange& change : nextChanges(monitor, 1s)) {
                if (change.kind == DeviceChange::Kind::Removal && link.handleDeviceChange(change)) {
                    removalSeen = true;
                }
            }
        }
    }
    checks.check(removalSeen, "udev monitor reports the removal of the mouse's node");
    checks.check(removed && !link.connected(), "DeviceLink notices the removal");

    executor.stop();
    reader.stop();
    held.releaseAll();
    if (keyFd >= 0) {
        ::close(keyFd);
    }
    return checks.exitCode();
}
