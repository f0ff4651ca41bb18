// Measures, in one run, the executor (woken by the press) against the 2 ms polling design:
//  - press-to-action latency: the simulated mouse sends a press report, the reader hands the press
//    over, the executor serves Alt+F4 and a timestamping injector records the first injected event;
//  - wake-ups per second of the idle reader and executor threads (context switches over an idle
//    period), for the executor thread alone too;
//  - per-event timing error and total drift of a 200-event macro (the injector spends 50 us per
//    event, about what XTest costs).
// The threads run at the raised priority the program asks for, where the system allows it
// (service_threads_priority_raised says whether it did).
// Prints "name value unit" lines. Usage: latency_bench [--presses N] [--idle-seconds S]
#include "functions/ActionExecutor.h"
#include "functions/ButtonCode.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "platform/linux/ThreadPriority.h"
#include "sim/SimulatedMouse.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <unistd.h>

using namespace krv;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

void print(const char* name, double value, const char* unit) { std::printf("%s %.3f %s\n", name, value, unit); }

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(index, v.size() - 1)];
}

long threadContextSwitches(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/status");
    long total = 0;
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0)
            total += std::strtol(line.substr(line.find(':') + 1).c_str(), nullptr, 10);
    return total;
}

// Records when the first event of each action is injected; optionally spends `cost` per event.
class TimestampingInjector final : public InputInjector {
public:
    explicit TimestampingInjector(std::chrono::nanoseconds cost = 0ns) : m_cost(cost) {}
    void keyDown(std::uint8_t, bool) override { record(); }
    void keyUp(std::uint8_t, bool) override { record(); }
    void buttonDown(MouseButton) override { record(); }
    void buttonUp(MouseButton) override { record(); }

    std::atomic<std::uint32_t> events{0};
    std::vector<Clock::time_point> times; // written by the executor thread only

private:
    void record() {
        times.push_back(Clock::now());
        if (m_cost > 0ns) {
            const auto until = Clock::now() + m_cost;
            while (Clock::now() < until) {
            }
        }
        events.fetch_add(1, std::memory_order_release);
        events.notify_all();
    }
    std::chrono::nanoseconds m_cost;
};

struct NoShell final : ShellActions {
    void openComputerFolder() override {}
    void lockSession() override {}
    void startCalculator() override {}
    void startTerminal() override {}
};

std::set<pid_t> taskIds() {
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
    return ids;
}

struct QuietNotifier final : UiNotifier {
    void showMessage(std::string_view) override {}
};

// The simulated mouse, the device link, a reader and an executor, wired as one of the two designs:
//  - event-driven: the program's ReportReader thread and ActionExecutor::run (woken by the press);
//  - polling, as first designed: a reader that reads and pauses 2 ms after each report, and an
//    executor that looks at PendingPress every 2 ms. Both serve with the same code.
class Companion {
public:
    Companion(bool polling, InputInjector& injector) : m_polling(polling), m_link(m_mouse) {
        if (!m_link.ScanForMouse())
            std::abort();
        m_settings.K[0] = 35; // Alt+F4: injects at once, no pause
        m_executor = std::make_unique<ActionExecutor>(ActionExecutorPorts{
            .channel = m_channel, .settings = m_settings, .macros = m_macros, .injector = injector, .shell = m_shell,
            .clock = m_clock, .configPath = std::filesystem::temp_directory_path() / "krv-latency-bench.ini",
            .sendFeatureReport = {}, .applyProfile = {}, .requestRepaint = {}});
        m_reader = std::make_unique<ReportReader>(m_link, m_channel, m_feedback, m_settings, m_notifier);
        const std::set<pid_t> before = taskIds();
        if (m_polling) {
            m_readerThread = std::thread([this] { pollingReaderLoop(); });
            m_executorThread = std::thread([this] {
                m_executorTid = static_cast<pid_t>(syscall(SYS_gettid));
                pollingExecutorLoop();
            });
        } else {
            m_reader->start();
            m_executorThread = std::thread([this] {
                m_executorTid = static_cast<pid_t>(syscall(SYS_gettid));
                m_executor->run();
            });
        }
        // The threads of this design: whatever appeared since.
        for (;;) {
            std::set<pid_t> now = taskIds();
            std::vector<pid_t> added;
            for (pid_t id : now)
                if (!before.contains(id))
                    added.push_back(id);
            if (added.size() >= 2 && m_executorTid.load() != 0) {
                m_threads = added;
                break;
            }
            std::this_thread::yield();
        }
        // Both designs run their threads at the raised priority the program asks for.
        for (pid_t id : m_threads)
            priorityRaised = RaiseThreadPriority(id) && priorityRaised;
    }
    ~Companion() {
        m_stop = true;
        m_reader->stop();
        m_executor->stop();
        if (m_readerThread.joinable())
            m_readerThread.join();
        m_executorThread.join();
        m_link.close();
    }

    // The mouse sends a press of device button 1 (code 241), then its release.
    void press() { m_mouse.press(1); }
    void release() { m_mouse.release(); }
    bool idle() const { return m_channel.PendingPress.load(std::memory_order_acquire) == 0; }
    long contextSwitches() const {
        long total = 0;
        for (pid_t id : m_threads)
            total += threadContextSwitches(id);
        return total;
    }
    long executorContextSwitches() const { return threadContextSwitches(m_executorTid); }

private:
    void pollingReaderLoop() {
        std::vector<std::uint8_t> buffer(m_link.inputReportLength());
        std::shared_ptr<HidHandle> handle = m_link.readHandle();
        while (!m_stop) {
            // The read blocks until a report comes (bounded here only so that the run can end).
            const int n = handle->readInputReport(buffer, std::chrono::milliseconds(1000));
            if (n <= 0)
                continue;
            m_reader->handleReport(std::span<const std::uint8_t>(buffer).first(static_cast<std::size_t>(n)));
            std::this_thread::sleep_for(2ms);
        }
    }
    void pollingExecutorLoop() {
        while (!m_stop) {
            if (m_channel.PendingPress.load(std::memory_order_acquire) != 0) {
                m_executor->servePress(m_channel.PressedCode.load(std::memory_order_relaxed));
                m_channel.finishPress();
            }
            std::this_thread::sleep_for(2ms);
        }
    }

    bool m_polling;
    SimulatedMouse m_mouse;
    DeviceLink m_link;
    PressChannel m_channel;
    ApplyFeedback m_feedback;
    ProfileSettings m_settings;
    MacroTable m_macros;
    NoShell m_shell;
    QuietNotifier m_notifier;
    SteadyExecutorClock m_clock;
    std::unique_ptr<ActionExecutor> m_executor;
    std::unique_ptr<ReportReader> m_reader;
    std::thread m_readerThread, m_executorThread;
    std::vector<pid_t> m_threads;
    std::atomic<pid_t> m_executorTid{0};
    std::atomic<bool> m_stop{false};

public:
    bool priorityRaised = true;
};

void measureLatency(const char* design, bool polling, int presses) {
    TimestampingInjector injector;
    Companion companion(polling, injector);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> gapUs(0, 2000);
    std::vector<double> latencies;
    latencies.reserve(presses);
    for (int i = 0; i < presses; ++i) {
        // A random gap, so that the press falls at any phase of a polling period.
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        const std::uint32_t before = injector.events.load(std::memory_order_acquire);
        const auto sent = Clock::now();
        companion.press();
        injector.events.wait(before, std::memory_order_acquire);
        const auto injected = injector.times[before]; // the first event of this action
        latencies.push_back(std::chrono::duration<double, std::micro>(injected - sent).count());
        while (injector.events.load(std::memory_order_acquire) < before + 4)
            injector.events.wait(injector.events.load(std::memory_order_acquire), std::memory_order_acquire);
        companion.release();
        while (!companion.idle())
            std::this_thread::sleep_for(50us);
    }
    const std::string prefix = std::string("press_to_action_") + design;
    print((prefix + "_p50").c_str(), percentile(latencies, 50), "us");
    print((prefix + "_p99").c_str(), percentile(latencies, 99), "us");
    print((prefix + "_max").c_str(), percentile(latencies, 100), "us");
}

void measureIdle(const char* design, bool polling, int seconds) {
    TimestampingInjector injector;
    Companion companion(polling, injector);
    std::this_thread::sleep_for(100ms); // let start-up settle
    const long before = companion.contextSwitches();
    const long executorBefore = companion.executorContextSwitches();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const long after = companion.contextSwitches();
    const long executorAfter = companion.executorContextSwitches();
    print((std::string("idle_wakeups_") + design).c_str(), static_cast<double>(after - before) / seconds, "per_s");
    print((std::string("idle_wakeups_") + design + "_executor_thread").c_str(),
          static_cast<double>(executorAfter - executorBefore) / seconds, "per_s");
}

struct MacroResult {
    std::vector<double> errorsUs;
    double driftUs;
};

constexpr int MacroEvents = 200;

std::vector<MacroEvent> testMacro() {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pause(1, 20);
    std::vector<MacroEvent> events;
    for (int j = 0; j < MacroEvents; ++j)
        events.push_back({static_cast<std::uint8_t>('A' + (j / 2) % 26), static_cast<std::uint8_t>(j % 2 == 0 ? 1 : 2),
                          static_cast<std::uint16_t>(pause(random))});
    return events;
}

MacroResult evaluate(const std::vector<MacroEvent>& events, const std::vector<Clock::time_point>& times, Clock::time_point end) {
    MacroResult result;
    double expectedUs = 0;
    for (std::size_t j = 0; j < times.size(); ++j) {
        const double actualUs = std::chrono::duration<double, std::micro>(times[j] - times[0]).count();
        result.errorsUs.push_back(std::abs(actualUs - expectedUs));
        expectedUs += events[j].delay * 1000.0;
    }
    result.driftUs = std::chrono::duration<double, std::micro>(end - times[0]).count() - expectedUs;
    return result;
}

void report(const char* design, const MacroResult& r) {
    const std::string prefix = std::string("macro_") + design;
    print((prefix + "_event_error_p50").c_str(), percentile(r.errorsUs, 50), "us");
    print((prefix + "_event_error_p99").c_str(), percentile(r.errorsUs, 99), "us");
    print((prefix + "_event_error_max").c_str(), percentile(r.errorsUs, 100), "us");
    print((prefix + "_total_drift").c_str(), r.driftUs, "us");
}

void measureMacro() {
    const std::vector<MacroEvent> events = testMacro();
    {
        PressChannel channel;
        ProfileSettings settings;
        MacroTable macros;
        macros.modify([&](MacroTable::Records& records, std::int16_t& count) {
            records[0].setEventCount(static_cast<std::uint8_t>(events.size()));
            for (int j = 0; j < MacroEvents; ++j)
                records[0].setEvent(j, events[j]);
            count = 1;
        });
        TimestampingInjector injector(50us);
        NoShell shell;
        SteadyExecutorClock clock;
        ActionExecutor executor{ActionExecutorPorts{.channel = channel, .settings = settings, .macros = macros,
                                                    .injector = injector, .shell = shell, .clock = clock,
                                                    .configPath = {}, .sendFeatureReport = {}, .applyProfile = {},
                                                    .requestRepaint = {}}};
        injector.times.reserve(MacroEvents);
        executor.playMacro(0);
        report("absolute_deadlines", evaluate(events, injector.times, Clock::now()));
    }
    {
        // As first designed: inject, then a plain sleep of the recorded pause.
        TimestampingInjector injector(50us);
        injector.times.reserve(MacroEvents);
        for (const MacroEvent& e : events) {
            injector.keyDown(e.code, false);
            std::this_thread::sleep_for(std::chrono::milliseconds(e.delay));
        }
        report("plain_sleeps", evaluate(events, injector.times, Clock::now()));
    }
}

} // namespace

int main(int argc, char** argv) {
    int presses = 1000;
    int idleSeconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--presses") == 0)
            presses = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::max(1, std::atoi(argv[i + 1]));
    }
    // The macro player runs on this thread.
    print("service_threads_priority_raised", RaiseThreadPriority() ? 1 : 0, "bool");
    measureLatency("event_driven", false, presses);
    measureLatency("polling", true, presses);
    measureIdle("event_driven", false, idleSeconds);
    measureIdle("polling", true, idleSeconds);
    measureMacro();
    return 0;
}
