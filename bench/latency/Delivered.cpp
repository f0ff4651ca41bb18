// SPDX-License-Identifier: MIT
// The input as it arrives, end to end, under the same background load as the rest of the run:
//  - on an X display (Xvfb in bench/latency/run.sh), a small X client with the keyboard focus records
//    when each key event arrives (its own clock, and the X server's time stamp). From the press to the
//    "r" KeyPress received, for: this program (simulated press -> reader -> executor -> XTest), with
//    and without the service threads' scheduling; the 2 ms polling design; and the usual peer on
//    Linux, xbindkeys running `xdotool key r` on button 8, from the XTest press of button 8;
//  - where /dev/uinput is writable, this program's uinput path to the evdev event read back;
//  - a 20-event macro with 10 ms pauses as delivered, played by this program and by `xdotool key`
//    on the same keys: the intervals between arrivals against the recorded pause, and the drift.
// The designs take turns press by press (run by run for the macros), so that they meet the same load.
// The recording client's thread runs real-time where permitted: the instrument's own wake-up should
// not count. The X server runs as it was started (normal priority under bench/latency/run.sh).
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
#include <sched.h>
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
        watcher->m_started.wait(false);
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
    bool realtime = false; // whether the recording thread runs at real-time priority
    Arrival at(std::size_t i) {
        std::lock_guard lock(m_mutex);
        return m_arrivals.at(i);
    }

private:
    explicit KeyWatcher(Display* display) : m_display(display), m_stop(eventfd(0, EFD_CLOEXEC)) {}
    void run() {
        // The instrument: above the service threads, so that its own wake-up does not count.
        const sched_param param{.sched_priority = ServiceThreadRealtimePriority + 1};
        realtime = sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
        m_started.store(true);
        m_started.notify_all();
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
    std::atomic<bool> m_started{false};
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

// One way from a button press to the delivered key: `press` injects the press and returns the moment
// it was sent, `arrived` waits for the key (nothing: lost), `release` ends the press.
struct Design {
    std::string name;
    std::function<Clock::time_point()> press;
    std::function<std::optional<Clock::time_point>()> arrived;
    std::function<void()> release;
    Series series;
};

// Presses each design `presses` times, the designs interleaved in a new random order every round and
// each press after a random gap (so that it falls at any phase of a polling period): every design
// meets the same load at the same times.
void pressInterleaved(const std::vector<Design*>& designs, int presses) {
    std::mt19937 random(42);
    std::uniform_int_distribution<int> gapUs(0, 2000);
    std::vector<Design*> order = designs;
    for (int i = 0; i < presses; ++i) {
        std::shuffle(order.begin(), order.end(), random);
        for (Design* design : order) {
            std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
            const Clock::time_point sent = design->press();
            if (const auto at = design->arrived())
                design->series.latencyUs.push_back(micros(*at - sent));
            else
                ++design->series.lost;
            design->release();
        }
    }
}

// The "r" key: its press, then its release (the macro of the button; what `xdotool key r` sends).
std::vector<MacroEvent> keyR() {
    return {{'R', MacroActionDown, 0}, {'R', MacroActionUp, 0}};
}

// The first of the two events after `before` is the "r" KeyPress: when it arrived.
std::optional<Clock::time_point> keyRArrived(KeyWatcher& watcher, std::size_t before) {
    if (!watcher.waitFor(before + 2))
        return std::nullopt;
    const Arrival first = watcher.at(before);
    return first.keycode == watcher.keycodeOf(XK_r) && first.press ? std::optional(first.received) : std::nullopt;
}

// This program on its own XTest connection: simulated press -> reader -> executor -> XTest.
class CompanionToX {
public:
    CompanionToX(std::string name, KeyWatcher& watcher, bool polling, bool raised)
        : m_injector(XTestInjector::open()), m_watcher(watcher) {
        if (!m_injector)
            return;
        m_companion = std::make_unique<BenchCompanion>(BenchCompanion::Setup{
            .polling = polling, .raised = raised, .injector = *m_injector, .configure = playsMacro(keyR())});
        design.name = std::move(name);
        design.press = [this] {
            m_before = m_watcher.count();
            const auto sent = Clock::now();
            m_companion->press();
            return sent;
        };
        design.arrived = [this] { return keyRArrived(m_watcher, m_before); };
        design.release = [this] {
            m_companion->release();
            m_companion->waitIdle();
        };
    }
    bool ready() const { return m_companion != nullptr; }
    Design design;

private:
    std::unique_ptr<XTestInjector> m_injector;
    KeyWatcher& m_watcher;
    std::unique_ptr<BenchCompanion> m_companion;
    std::size_t m_before = 0;
};

// xbindkeys running `xdotool key r` on button 8, from the XTest press of button 8.
class XbindkeysToX {
public:
    explicit XbindkeysToX(KeyWatcher& watcher) : m_watcher(watcher) {
        const auto xbindkeys = findProgram("xbindkeys");
        if (!xbindkeys || !findProgram("xdotool"))
            return;
        m_rc =
            (std::filesystem::temp_directory_path() / ("krv-latency-xbindkeysrc-" + std::to_string(getpid()))).string();
        std::ofstream(m_rc) << "\"xdotool key r\"\n    b:8\n";
        m_daemon = spawnProgram({*xbindkeys, "-n", "-f", m_rc});
        m_display = XOpenDisplay(nullptr);
        if (m_daemon <= 0 || m_display == nullptr)
            return;
        // Ready once a press of button 8 types the key.
        for (int attempt = 0; attempt < 50 && !m_ready; ++attempt) {
            const std::size_t before = watcher.count();
            button8(true);
            button8(false);
            m_ready = watcher.waitFor(before + 2, 200ms);
        }
        std::this_thread::sleep_for(300ms); // the warm-up's last xdotool may still be on its way
        design.name = "xbindkeys_xdotool";
        design.press = [this] {
            m_before = m_watcher.count();
            const auto sent = Clock::now();
            button8(true);
            return sent;
        };
        design.arrived = [this] { return keyRArrived(m_watcher, m_before); };
        design.release = [this] { button8(false); };
    }
    ~XbindkeysToX() {
        if (m_display != nullptr)
            XCloseDisplay(m_display);
        if (m_daemon > 0) {
            kill(m_daemon, SIGTERM);
            waitpid(m_daemon, nullptr, 0);
        }
        if (!m_rc.empty())
            std::filesystem::remove(m_rc);
    }
    bool ready() const { return m_ready; }
    Design design;

private:
    void button8(bool down) {
        XTestFakeButtonEvent(m_display, 8, down ? True : False, CurrentTime);
        XFlush(m_display);
    }

    KeyWatcher& m_watcher;
    std::string m_rc;
    pid_t m_daemon = -1;
    Display* m_display = nullptr;
    bool m_ready = false;
    std::size_t m_before = 0;
};

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
    Design design{.name = "ours_uinput",
                  .press =
                      [&] {
                          const auto sent = Clock::now();
                          companion.press();
                          return sent;
                      },
                  .arrived = [&]() -> std::optional<Clock::time_point> {
                      bool down = false;
                      const auto at = nextKey(down);
                      bool up = false;
                      nextKey(up); // its release
                      return at && down ? at : std::nullopt;
                  },
                  .release =
                      [&] {
                          companion.release();
                          companion.waitIdle();
                      },
                  .series = {}};
    pressInterleaved({&design}, presses);
    close(fd);
    return design.series;
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
    std::vector<double> scheduleErrorUs; // |arrival - (first arrival + j pauses)|, the client's clock
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
    for (int j = 1; j < DeliveredMacroEvents; ++j)
        timing.scheduleErrorUs.push_back(
            std::abs(micros(watcher.at(first + static_cast<std::size_t>(j)).received - a.received) -
                     j * DeliveredMacroPauseMs * 1000.0));
    const Arrival z = watcher.at(first + DeliveredMacroEvents - 1);
    timing.driftUs.push_back(micros(z.received - a.received) -
                             (DeliveredMacroEvents - 1) * DeliveredMacroPauseMs * 1000.0);
}

// This program's macro and `xdotool key` on the same keys, run after run in a random order.
std::pair<MacroTiming, std::optional<MacroTiming>> measureMacros(KeyWatcher& watcher, int runs) {
    MacroTiming ours;
    std::optional<MacroTiming> xdotool;
    auto injector = XTestInjector::open();
    if (!injector)
        return {ours, xdotool};
    std::vector<MacroEvent> events;
    for (int j = 0; j < DeliveredMacroEvents; ++j)
        events.push_back({static_cast<std::uint8_t>('A' + j / 2), j % 2 == 0 ? MacroActionDown : MacroActionUp,
                          static_cast<std::uint16_t>(DeliveredMacroPauseMs)});
    BenchCompanion companion(
        {.polling = false, .raised = true, .injector = *injector, .configure = playsMacro(events)});
    auto playOurs = [&] {
        const std::size_t first = watcher.count();
        companion.press();
        if (watcher.waitFor(first + DeliveredMacroEvents, 5s))
            addRun(ours, watcher, first);
        else
            ++ours.lostRuns;
        companion.release();
        companion.waitIdle();
    };
    const auto program = findProgram("xdotool");
    if (program)
        xdotool.emplace();
    auto playXdotool = [&] {
        const std::size_t first = watcher.count();
        std::vector<std::string> args = {*program, "key", "--delay", std::to_string(XdotoolDelayMs)};
        for (const char* key = MacroKeys; *key != 0; ++key)
            args.emplace_back(1, *key);
        const pid_t pid = spawnProgram(args);
        if (pid > 0 && watcher.waitFor(first + DeliveredMacroEvents, 5s))
            addRun(*xdotool, watcher, first);
        else
            ++xdotool->lostRuns;
        if (pid > 0)
            waitpid(pid, nullptr, 0);
    };
    std::mt19937 random(11);
    for (int run = 0; run < runs; ++run) {
        const bool oursFirst = !program || random() % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == oursFirst)
                playOurs();
            else if (program)
                playXdotool();
            std::this_thread::sleep_for(20ms);
        }
    }
    return {ours, xdotool};
}

void printMacro(const std::string& name, const MacroTiming& t) {
    const std::string prefix = "macro_delivered_" + name;
    print(prefix + "_server_interval_error_p50", percentile(t.serverErrorMs, 50), "ms");
    print(prefix + "_server_interval_error_p99", percentile(t.serverErrorMs, 99), "ms");
    print(prefix + "_received_interval_error_p50", percentile(t.receivedErrorUs, 50), "us");
    print(prefix + "_received_interval_error_p99", percentile(t.receivedErrorUs, 99), "us");
    print(prefix + "_schedule_error_p50", percentile(t.scheduleErrorUs, 50), "us");
    print(prefix + "_schedule_error_p99", percentile(t.scheduleErrorUs, 99), "us");
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
    print("e2e_receiving_client_realtime", watcher->realtime ? 1 : 0, "bool");
    {
        CompanionToX ours("ours", *watcher, false, true);
        CompanionToX oursPlain("ours_plain", *watcher, false, false);
        CompanionToX polling("polling", *watcher, true, true);
        XbindkeysToX xbindkeys(*watcher);
        std::vector<Design*> designs;
        for (CompanionToX* design : {&ours, &oursPlain, &polling})
            if (design->ready())
                designs.push_back(&design->design);
        if (xbindkeys.ready())
            designs.push_back(&xbindkeys.design);
        pressInterleaved(designs, options.presses);
        print("e2e_xbindkeys_available", xbindkeys.ready() ? 1 : 0, "bool");
        for (const Design* design : designs)
            printSeries(design->name, design->series);
        printRatios("ours", ours.design.series, "polling", polling.design.series);
        if (xbindkeys.ready())
            printRatios("ours", ours.design.series, "xbindkeys_xdotool", xbindkeys.design.series);
    }
    // The companions above are gone: the polling one wakes every 2 ms.
    const auto [oursMacro, xdotoolMacro] = measureMacros(*watcher, options.macroRuns);
    printMacro("ours", oursMacro);
    if (xdotoolMacro)
        printMacro("xdotool", *xdotoolMacro);
}

} // namespace krv::bench
