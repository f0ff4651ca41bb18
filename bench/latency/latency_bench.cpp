// SPDX-License-Identifier: MIT
// Measures, in one run and under a background load of its own (busy processes on every core):
//  - press-to-action latency inside the program: the simulated mouse sends a press report, the reader
//    hands the press over, the executor serves Alt+F4 and a timestamping injector records the first
//    injected event; for the executor woken by the press and for the 2 ms polling design;
//  - per-event timing error and total drift of a 200-event macro (the injector spends 50 us per event,
//    about what XTest costs), for the absolute deadlines of the executor and the plain sleeps first
//    designed;
//  - each of these with the service threads' scheduling ("raised": PrepareServiceThread, as the
//    companion asks for it: real-time where the system allows it, minimum timer slack) and without it
//    ("plain": an ordinary thread);
//  - wake-ups per second of the idle reader and executor threads;
//  - with a display, and /dev/uinput where writable: the input as delivered (Delivered.cpp).
// Prints "name value unit" lines. Usage:
//   latency_bench [--presses N] [--idle-seconds S] [--load PROCESSES] [--e2e-presses N] [--macro-runs N]
#include "BenchCompanion.h"

#include <cstring>
#include <fstream>
#include <random>

using namespace krv;
using namespace krv::bench;

namespace {

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

const char* schedulingName(bool raised) {
    return raised ? "raised" : "plain";
}

void altF4(ProfileSettings& settings, MacroTable&) {
    settings.buttonCodes[0] = 35;
} // injects at once, no pause

void measureLatency(const char* design, bool polling, bool raised, int presses, SchedulingRecord& scheduling) {
    TimestampingInjector injector;
    injector.times.reserve(static_cast<std::size_t>(presses) * 4 + 4);
    BenchCompanion companion(
        {.polling = polling, .raised = raised, .injector = injector, .configure = altF4, .scheduling = &scheduling});
    std::mt19937 random(42);
    std::uniform_int_distribution<int> gapUs(0, 2000);
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(presses));
    for (int i = 0; i < presses; ++i) {
        // A random gap, so that the press falls at any phase of a polling period.
        std::this_thread::sleep_for(std::chrono::microseconds(gapUs(random)));
        const std::uint32_t before = injector.events.load(std::memory_order_acquire);
        const auto sent = Clock::now();
        companion.press();
        injector.events.wait(before, std::memory_order_acquire);
        latencies.push_back(micros(injector.times[before] - sent)); // the first event of this action
        while (injector.events.load(std::memory_order_acquire) < before + 4)
            injector.events.wait(injector.events.load(std::memory_order_acquire), std::memory_order_acquire);
        companion.release();
        companion.waitIdle();
    }
    printSpread(std::string("press_to_action_") + design + "_" + schedulingName(raised), latencies, "us");
}

void measureIdle(const char* design, bool polling, int seconds) {
    TimestampingInjector injector;
    BenchCompanion companion({.polling = polling, .raised = true, .injector = injector, .configure = altF4});
    std::this_thread::sleep_for(100ms); // let start-up settle
    auto total = [&] {
        long sum = 0;
        for (pid_t id : companion.threads())
            sum += threadContextSwitches(id);
        return sum;
    };
    const long before = total();
    const long executorBefore = threadContextSwitches(companion.executorThread());
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    print(std::string("idle_wakeups_") + design, static_cast<double>(total() - before) / seconds, "per_s");
    print(std::string("idle_wakeups_") + design + "_executor_thread",
          static_cast<double>(threadContextSwitches(companion.executorThread()) - executorBefore) / seconds, "per_s");
}

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

void reportMacro(const std::string& prefix, const std::vector<MacroEvent>& events,
                 const std::vector<Clock::time_point>& times, Clock::time_point end) {
    std::vector<double> errorsUs;
    double expectedUs = 0;
    for (std::size_t j = 0; j < times.size(); ++j) {
        errorsUs.push_back(std::abs(micros(times[j] - times[0]) - expectedUs));
        expectedUs += events[j].delay * 1000.0;
    }
    print(prefix + "_event_error_p50", percentile(errorsUs, 50), "us");
    print(prefix + "_event_error_p99", percentile(errorsUs, 99), "us");
    print(prefix + "_event_error_max", percentile(errorsUs, 100), "us");
    print(prefix + "_total_drift", micros(end - times[0]) - expectedUs, "us");
}

// Plays the macro on a thread of its own, prepared as the executor's is when raised.
void measureMacro(bool raised) {
    const std::vector<MacroEvent> events = testMacro();
    const std::string scheduling = schedulingName(raised);
    {
        PressChannel channel;
        ProfileSettings settings;
        MacroTable macros;
        playsMacro(events)(settings, macros);
        TimestampingInjector injector(50us);
        injector.times.reserve(MacroEvents);
        NoShellActions shell;
        SteadyExecutorClock clock;
        ActionExecutor executor{ActionExecutorPorts{.channel = channel,
                                                    .settings = settings,
                                                    .macros = macros,
                                                    .injector = injector,
                                                    .shell = shell,
                                                    .clock = clock,
                                                    .configPath = {},
                                                    .sendFeatureReport = {},
                                                    .applyStoredProfile = {},
                                                    .requestRepaint = {}}};
        Clock::time_point end;
        std::thread([&] {
            if (raised)
                PrepareServiceThread();
            executor.playMacro(0);
            end = Clock::now();
        }).join();
        reportMacro("macro_absolute_deadlines_" + scheduling, events, injector.times, end);
    }
    {
        // As first designed: inject, then a plain sleep of the recorded pause.
        TimestampingInjector injector(50us);
        injector.times.reserve(MacroEvents);
        Clock::time_point end;
        std::thread([&] {
            if (raised)
                PrepareServiceThread();
            for (const MacroEvent& e : events) {
                injector.keyDown(e.code, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(e.delay));
            }
            end = Clock::now();
        }).join();
        reportMacro("macro_plain_sleeps_" + scheduling, events, injector.times, end);
    }
}

} // namespace

int main(int argc, char** argv) {
    int presses = 1000;
    int idleSeconds = 5;
    int load = static_cast<int>(std::thread::hardware_concurrency());
    DeliveredOptions delivered;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int value = std::max(0, std::atoi(argv[i + 1]));
        if (std::strcmp(argv[i], "--presses") == 0)
            presses = std::max(1, value);
        else if (std::strcmp(argv[i], "--idle-seconds") == 0)
            idleSeconds = std::max(1, value);
        else if (std::strcmp(argv[i], "--load") == 0)
            load = value;
        else if (std::strcmp(argv[i], "--e2e-presses") == 0)
            delivered.presses = std::max(1, value);
        else if (std::strcmp(argv[i], "--macro-runs") == 0)
            delivered.macroRuns = std::max(1, value);
    }
    BackgroundLoad background(load);
    print("background_load_busy_processes", background.size(), "count");
    print("cpu_cores", std::thread::hardware_concurrency(), "count");

    SchedulingRecord scheduling;
    for (const bool raised : {false, true}) {
        measureLatency("event_driven", false, raised, presses, scheduling);
        measureLatency("polling", true, raised, presses, scheduling);
    }
    // What "raised" got here: real-time on every service thread, or less (the reason on stderr).
    print("service_threads_realtime", scheduling.threads > 0 && scheduling.realtime == scheduling.threads ? 1 : 0,
          "bool");
    for (const std::string& description : scheduling.descriptions)
        std::fprintf(stderr, "service threads: %s\n", description.c_str());

    for (const bool raised : {false, true})
        measureMacro(raised);
    measureDelivered(delivered);
    measureIdle("event_driven", false, idleSeconds);
    measureIdle("polling", true, idleSeconds);
    return 0;
}
