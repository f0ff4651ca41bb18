// The input as it arrives, end to end, under the same background load as the rest of the run:
//  - on an X display (Xvfb in bench/latency/run.sh), a small X client with the keyboard focus records
//    when each key event arrives (its own clock, and the X server's time stamp). From the press to the
//    "r" KeyPress received, for: this program (simulated press -> reader -> executor -> XTest), with
//    and without the service threads' scheduling; the 2 ms polling design; and the usual peer on
//    Linux, xbindkeys running `xdotool key r` on button 8, from the XTest press of button 8;
//  - where /dev/uinput is writable, this program's uinput path to the evdev event read back;
//  - a 20-event macro with 10 ms pauses as delivered, played by this program and by `xdotool key`
//    on the same keys: the intervals between arrivals against the recorded pause, and the drift.
#include "BenchCompanion.h"

#include "platform/linux/UinputInjector.h"
#include "platform/linux/XTestInjector.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <condition_variable>
#include <fstream>
#include <optional>
#include <random>

#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>

extern char** environ;

namespace krv::bench {
namespace {

struct Arrival {
    Clock::time_point received;
    unsigned long serverMs = 0; // the X server's time stamp
    unsigned keycode = 0;
    bool press = false;
};

// The small X client: a window with the keyboard focus, on a connection and a thread of its own,
// that records every key event it receives.
class KeyWatcher {
public:
    static std::unique_ptr<KeyWatcher> open() {
        Display* display = XOpenDisplay(nullptr);
        if (display == nullptr)
            return nullptr;
        auto watcher = std::unique_ptr<KeyWatcher>(new KeyWatcher(display));
        const Window root = DefaultRootWindow(display);
        watcher->m_window = XCreateSimpleWindow(display, root, 0, 0, 200, 200, 0, 0, 0);
        XSelectInput(display, watcher->m_window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
        XMapWindow(display, watcher->m_window);
        for (XEvent event;;) {
            XNextEvent(display, &event);
            if (event.type == MapNotify)
                break;
        }
        XSetInputFocus(display, watcher->m_window, RevertToParent, CurrentTime);
        XSync(display, False);
        watcher->m_thread = std::thread([w = watcher.get()] { w->run(); });
        return watcher;
    }
    ~KeyWatcher() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(m_stop, &one, sizeof one);
        if (m_thread.joinable())
            m_thread.join();
        close(m_stop);
        XCloseDisplay(m_display);
    }
    unsigned keycodeOf(KeySym keysym) const { return XKeysymToKeycode(m_display, keysym); }
    std::size_t count() {
        std::lock_guard lock(m_mutex);
        return m_arrivals.size();
    }
    // Waits until `n` events have arrived in all; false when they did not within the limit.
    bool waitFor(std::size_t n, std::chrono::milliseconds limit = 3s) {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, limit, [&] { return m_arrivals.size() >= n; });
    }
    Arrival at(std::size_t i) {
        std::lock_guard lock(m_mutex);
        return m_arrivals.at(i);
    }

private:
    explicit KeyWatcher(Display* display) : m_display(display), m_stop(eventfd(0, EFD_CLOEXEC)) {}
    void run() {
        pollfd fds[2] = {{ConnectionNumber(m_display), POLLIN, 0}, {m_stop, POLLIN, 0}};
        for (;;) {
            while (XPending(m_display) > 0) {
                XEvent event;
                XNextEvent(m_display, &event);
                const auto now = Clock::now();
                if (event.type != KeyPress && event.type != KeyRelease)
                    continue;
                std::lock_guard lock(m_mutex);
                m_arrivals.push_back({now, event.xkey.time, event.xkey.keycode, event.type == KeyPress});
                m_arrived.notify_all();
            }
            if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0)
                return;
        }
    }

    Display* m_display;
    Window m_window = 0;
    int m_stop;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Arrival> m_arrivals;
};

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::nullopt;
}

pid_t spawnProgram(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int status = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return status == 0 ? pid : -1;
}

struct Series {
    std::vector<double> latencyUs;
    int lost = 0;
};

// Presses the button `presses` times after random gaps (so that a press falls at any phase of a
// polling period); `press` injects it and returns the moment it was sent, `arrivedAfter` waits for the
// delivered key (false: lost), `release` ends the press.
Series pressRepeatedly(int presses, const std::function<Clock::time_point()>& press,
                       const std::function<std::optional<Clock::time_point>()>& arrived,
                       const std::function<void()>& release) {
    Series series;
    std::mt19937 random(42);
    std::uniform_int_distribution<int> gapUs(0, 2000);
    for (int i = 0; i < presses; ++i) {
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        const Clock::time_point sent = press();
        if (const auto at = arrived())
            series.latencyUs.push_back(micros(*at - sent));
        else
            ++series.lost;
        release();
    }
    return series;
}

// The "r" key: its press, then its release (the macro of the button; what `xdotool key r` sends).
std::vector<MacroEvent> keyR() {
    return {{'R', MacroActionDown, 0}, {'R', MacroActionUp, 0}};
}

Series companionToX(KeyWatcher& watcher, bool polling, bool raised, int presses) {
    std::string error;
    auto injector = XTestInjector::open(nullptr, &error);
    if (!injector)
        return {};
    BenchCompanion companion(
        {.polling = polling, .raised = raised, .injector = *injector, .configure = playsMacro(keyR())});
    const unsigned r = watcher.keycodeOf(XK_r);
    std::size_t before = 0;
    return pressRepeatedly(
        presses,
        [&] {
            before = watcher.count();
            const auto sent = Clock::now();
            companion.press();
            return sent;
        },
        [&]() -> std::optional<Clock::time_point> {
            if (!watcher.waitFor(before + 2))
                return std::nullopt;
            const Arrival first = watcher.at(before);
            return first.keycode == r && first.press ? std::optional(first.received) : std::nullopt;
        },
        [&] {
            companion.release();
            companion.waitIdle();
        });
}

// xbindkeys running `xdotool key r` on button 8, from the XTest press of button 8.
std::optional<Series> xbindkeysToX(KeyWatcher& watcher, int presses) {
    const auto xbindkeys = findProgram("xbindkeys");
    if (!xbindkeys || !findProgram("xdotool"))
        return std::nullopt;
    const std::string rc =
        (std::filesystem::temp_directory_path() / ("krv-latency-xbindkeysrc-" + std::to_string(getpid()))).string();
    std::ofstream(rc) << "\"xdotool key r\"\n    b:8\n";
    const pid_t daemon = spawnProgram({*xbindkeys, "-n", "-f", rc});
    Display* display = XOpenDisplay(nullptr);
    auto button8 = [&](bool down) {
        XTestFakeButtonEvent(display, 8, down ? True : False, CurrentTime);
        XFlush(display);
    };
    // Ready once a press of button 8 types the key.
    bool ready = false;
    for (int attempt = 0; attempt < 50 && !ready && daemon > 0; ++attempt) {
        const std::size_t before = watcher.count();
        button8(true);
        button8(false);
        ready = watcher.waitFor(before + 2, 200ms);
    }
    std::optional<Series> series;
    if (ready) {
        std::this_thread::sleep_for(300ms); // the warm-up's last xdotool may still be on its way
        const unsigned r = watcher.keycodeOf(XK_r);
        std::size_t before = 0;
        series = pressRepeatedly(
            presses,
            [&] {
                before = watcher.count();
                const auto sent = Clock::now();
                button8(true);
                return sent;
            },
            [&]() -> std::optional<Clock::time_point> {
                if (!watcher.waitFor(before + 2))
                    return std::nullopt;
                const Arrival first = watcher.at(before);
                return first.keycode == r && first.press ? std::optional(first.received) : std::nullopt;
            },
            [&] { button8(false); });
    }
    XCloseDisplay(display);
    if (daemon > 0) {
        kill(daemon, SIGTERM);
        waitpid(daemon, nullptr, 0);
    }
    std::filesystem::remove(rc);
    return series;
}

// The evdev node of the input device with this name, found through sysfs.
std::string evdevNodeOf(const std::string& name) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/input", ec)) {
        const std::string node = entry.path().filename().string();
        if (node.rfind("event", 0) != 0)
            continue;
        std::ifstream file(entry.path() / "device" / "name");
        std::string text;
        std::getline(file, text);
        if (text == name)
            return "/dev/input/" + node;
    }
    return {};
}

// This program's uinput path: the press to the KEY_R event read back from the device's evdev node.
std::optional<Series> companionToEvdev(int presses) {
    if (access("/dev/uinput", W_OK) != 0)
        return std::nullopt;
    auto injector = UinputInjector::open();
    if (!injector)
        return std::nullopt;
    std::string node;
    for (int attempt = 0; attempt < 100 && node.empty(); ++attempt) {
        node = evdevNodeOf(UinputInjector::DeviceName);
        if (node.empty())
            std::this_thread::sleep_for(20ms); // udev makes the node: nothing to wait on from here
    }
    const int fd = node.empty() ? -1 : ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    BenchCompanion companion(
        {.polling = false, .raised = true, .injector = *injector, .configure = playsMacro(keyR())});
    // The next key event from the node: whether it is KEY_R going down, and when it was read.
    auto nextKey = [&](bool& isRDown) -> std::optional<Clock::time_point> {
        const auto deadline = Clock::now() + 3s;
        while (Clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 3000) <= 0)
                return std::nullopt;
            input_event event{};
            while (read(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event)) {
                if (event.type == EV_KEY) {
                    isRDown = event.code == KEY_R && event.value == 1;
                    return Clock::now();
                }
            }
        }
        return std::nullopt;
    };
    Series series = pressRepeatedly(
        presses,
        [&] {
            const auto sent = Clock::now();
            companion.press();
            return sent;
        },
        [&]() -> std::optional<Clock::time_point> {
            bool down = false;
            const auto at = nextKey(down);
            bool up = false;
            nextKey(up); // its release
            return at && down ? at : std::nullopt;
        },
        [&] {
            companion.release();
            companion.waitIdle();
        });
    close(fd);
    return series;
}

void printSeries(const std::string& name, const Series& series) {
    printSpread("e2e_" + name + "_latency", series.latencyUs, "us");
    print("e2e_" + name + "_presses", static_cast<double>(series.latencyUs.size()), "count");
    if (series.lost > 0)
        print("e2e_" + name + "_lost", series.lost, "count");
}

void printRatios(const std::string& ours, const Series& a, const std::string& peer, const Series& b) {
    for (const int p : {50, 99}) {
        const double peerValue = percentile(b.latencyUs, p);
        print("e2e_ratio_" + ours + "_over_" + peer + "_p" + std::to_string(p),
              peerValue > 0 ? percentile(a.latencyUs, p) / peerValue : 0, "ratio");
    }
}

// ---- Macro timing as delivered -------------------------------------------------------------------

constexpr int DeliveredMacroEvents = 20;
constexpr int DeliveredMacroPauseMs = 10;
// `xdotool key --delay D` waits D/2 after each key's press and D/2 after its release: D = 20 gives
// the same 10 ms between all twenty events as the macro.
constexpr int XdotoolDelayMs = 2 * DeliveredMacroPauseMs;
const char* const MacroKeys = "abcdefghij";

struct MacroTiming {
    std::vector<double> serverErrorMs;   // |interval - pause| from the X server's time stamps
    std::vector<double> receivedErrorUs; // the same from the client's own clock
    std::vector<double> driftUs;         // per run: last arrival - first - 19 pauses
    int lostRuns = 0;
};

void addRun(MacroTiming& timing, KeyWatcher& watcher, std::size_t first) {
    for (int j = 1; j < DeliveredMacroEvents; ++j) {
        const Arrival a = watcher.at(first + static_cast<std::size_t>(j) - 1);
        const Arrival b = watcher.at(first + static_cast<std::size_t>(j));
        timing.serverErrorMs.push_back(
            std::abs(static_cast<double>(b.serverMs) - static_cast<double>(a.serverMs) - DeliveredMacroPauseMs));
        timing.receivedErrorUs.push_back(std::abs(micros(b.received - a.received) - DeliveredMacroPauseMs * 1000.0));
    }
    const Arrival a = watcher.at(first);
    const Arrival z = watcher.at(first + DeliveredMacroEvents - 1);
    timing.driftUs.push_back(micros(z.received - a.received) -
                             (DeliveredMacroEvents - 1) * DeliveredMacroPauseMs * 1000.0);
}

MacroTiming companionMacro(KeyWatcher& watcher, int runs) {
    MacroTiming timing;
    auto injector = XTestInjector::open();
    if (!injector)
        return timing;
    std::vector<MacroEvent> events;
    for (int j = 0; j < DeliveredMacroEvents; ++j)
        events.push_back({static_cast<std::uint8_t>('A' + j / 2), j % 2 == 0 ? MacroActionDown : MacroActionUp,
                          static_cast<std::uint16_t>(DeliveredMacroPauseMs)});
    BenchCompanion companion(
        {.polling = false, .raised = true, .injector = *injector, .configure = playsMacro(events)});
    for (int run = 0; run < runs; ++run) {
        const std::size_t first = watcher.count();
        companion.press();
        if (watcher.waitFor(first + DeliveredMacroEvents, 5s))
            addRun(timing, watcher, first);
        else
            ++timing.lostRuns;
        companion.release();
        companion.waitIdle();
        std::this_thread::sleep_for(20ms);
    }
    return timing;
}

std::optional<MacroTiming> xdotoolMacro(KeyWatcher& watcher, int runs) {
    const auto xdotool = findProgram("xdotool");
    if (!xdotool)
        return std::nullopt;
    MacroTiming timing;
    for (int run = 0; run < runs; ++run) {
        const std::size_t first = watcher.count();
        std::vector<std::string> args = {*xdotool, "key", "--delay", std::to_string(XdotoolDelayMs)};
        for (const char* key = MacroKeys; *key != 0; ++key)
            args.emplace_back(1, *key);
        const pid_t pid = spawnProgram(args);
        if (pid > 0 && watcher.waitFor(first + DeliveredMacroEvents, 5s))
            addRun(timing, watcher, first);
        else
            ++timing.lostRuns;
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        std::this_thread::sleep_for(20ms);
    }
    return timing;
}

void printMacro(const std::string& name, const MacroTiming& t) {
    const std::string prefix = "macro_delivered_" + name;
    print(prefix + "_server_interval_error_p50", percentile(t.serverErrorMs, 50), "ms");
    print(prefix + "_server_interval_error_p99", percentile(t.serverErrorMs, 99), "ms");
    print(prefix + "_received_interval_error_p50", percentile(t.receivedErrorUs, 50), "us");
    print(prefix + "_received_interval_error_p99", percentile(t.receivedErrorUs, 99), "us");
    print(prefix + "_total_drift_p50", percentile(t.driftUs, 50), "us");
    print(prefix + "_total_drift_max", percentile(t.driftUs, 100), "us");
    print(prefix + "_runs", static_cast<double>(t.driftUs.size()), "count");
    if (t.lostRuns > 0)
        print(prefix + "_lost_runs", t.lostRuns, "count");
}

} // namespace

void measureDelivered(const DeliveredOptions& options) {
    const auto uinput = companionToEvdev(options.presses);
    print("e2e_uinput_available", uinput ? 1 : 0, "bool");
    if (uinput)
        printSeries("ours_uinput", *uinput);

    XInitThreads();
    auto watcher = KeyWatcher::open();
    print("e2e_display_available", watcher ? 1 : 0, "bool");
    if (!watcher) {
        std::fprintf(stderr, "no X display: run under Xvfb (bench/latency/run.sh) for the delivered figures\n");
        return;
    }
    const Series ours = companionToX(*watcher, false, true, options.presses);
    printSeries("ours", ours);
    printSeries("ours_plain", companionToX(*watcher, false, false, options.presses));
    const Series polling = companionToX(*watcher, true, true, options.presses);
    printSeries("polling", polling);
    const auto xbindkeys = xbindkeysToX(*watcher, options.presses);
    print("e2e_xbindkeys_available", xbindkeys ? 1 : 0, "bool");
    if (xbindkeys)
        printSeries("xbindkeys_xdotool", *xbindkeys);
    printRatios("ours", ours, "polling", polling);
    if (xbindkeys)
        printRatios("ours", ours, "xbindkeys_xdotool", *xbindkeys);

    printMacro("ours", companionMacro(*watcher, options.macroRuns));
    if (const auto xdotool = xdotoolMacro(*watcher, options.macroRuns))
        printMacro("xdotool", *xdotool);
}

} // namespace krv::bench
