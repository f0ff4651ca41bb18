// SPDX-License-Identifier: MIT
// The pieces of the latency benchmark: figures, the background load, and the simulated mouse wired to
// a reader and an executor in either design.
#pragma once

#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"
#include "mouse/ButtonCode.h"
#include "platform/linux/ThreadPriority.h"
#include "sim/SimulatedMouse.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Percentile.h"

namespace krv::bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

inline void print(const std::string& name, double value, const char* unit) {
    std::printf("%s %.3f %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

// p50, p99 and max of a series as three lines.
inline void printSpread(const std::string& prefix, const std::vector<double>& values, const char* unit) {
    print(prefix + "_p50", percentile(values, 50), unit);
    print(prefix + "_p99", percentile(values, 99), unit);
    print(prefix + "_max", percentile(values, 100), unit);
}

inline double micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Busy processes at normal priority for the whole run, so that every design is measured on a machine
// whose cores are taken. They end with the benchmark.
class BackgroundLoad {
public:
    explicit BackgroundLoad(int processes) {
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                volatile unsigned long spins = 0;
                for (;;)
                    spins = spins + 1;
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~BackgroundLoad() {
        for (pid_t pid : m_pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    int size() const { return static_cast<int>(m_pids.size()); }

private:
    std::vector<pid_t> m_pids;
};

// What the service threads of one companion got (raised designs only).
struct SchedulingRecord {
    std::mutex mutex;
    std::set<std::string> descriptions;
    std::atomic<int> realtime{0};
    std::atomic<int> threads{0};
};


inline std::set<pid_t> taskIds() {
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stoi(entry.path().filename().string())));
    return ids;
}

// The simulated mouse, the device link, a reader and an executor, wired as one of the two designs:
//  - event-driven: the program's ReportReader thread and ActionExecutor::run (woken by the press);
//  - polling, as first designed: a reader that reads and pauses 2 ms after each report, and an
//    executor that looks at PendingPress every 2 ms. Both serve with the same code.
// raised: both threads prepare themselves as the companion's do (PrepareServiceThread); otherwise
// they keep the scheduling of an ordinary thread.
class BenchCompanion {
public:
    struct Setup {
        bool polling = false;
        bool raised = false;
        InputInjector& injector;
        // Button 1's function (and the macros it plays).
        std::function<void(ProfileSettings&, MacroTable&)> configure;
        SchedulingRecord* scheduling = nullptr;
    };

    explicit BenchCompanion(Setup setup) : m_polling(setup.polling), m_link(m_mouse) {
        if (!m_link.ScanForMouse())
            std::abort();
        setup.configure(m_settings, m_macros);
        std::function<void()> onThreadStart = [] {};
        if (setup.raised)
            onThreadStart = [record = setup.scheduling] {
                const ServiceThreadScheduling got = PrepareServiceThread();
                if (record == nullptr)
                    return;
                record->threads.fetch_add(1);
                if (got.level == ThreadScheduling::Realtime)
                    record->realtime.fetch_add(1);
                std::lock_guard lock(record->mutex);
                record->descriptions.insert(got.description);
            };
        m_executor = std::make_unique<ActionExecutor>(
            ActionExecutorPorts{.channel = m_channel,
                                .settings = m_settings,
                                .macros = m_macros,
                                .injector = setup.injector,
                                .shell = m_shell,
                                .clock = m_clock,
                                .configPath = std::filesystem::temp_directory_path() / "krv-latency-bench.ini",
                                .sendFeatureReport = {},
                                .applyStoredProfile = {},
                                .requestRepaint = {}});
        m_reader = std::make_unique<ReportReader>(m_link, m_channel, m_feedback, m_settings, m_notifier);
        const std::set<pid_t> before = taskIds();
        if (m_polling) {
            m_readerThread = std::thread([this, onThreadStart] {
                onThreadStart();
                pollingReaderLoop();
            });
            m_executorThread = std::thread([this, onThreadStart] {
                onThreadStart();
                m_executorTid = CurrentThreadId();
                pollingExecutorLoop();
            });
        } else {
            m_reader->setOnThreadStart(onThreadStart);
            m_reader->start();
            m_executorThread = std::thread([this, onThreadStart] {
                onThreadStart();
                m_executorTid = CurrentThreadId();
                m_executor->run();
            });
        }
        // The threads of this design: whatever appeared since.
        for (;;) {
            std::vector<pid_t> added;
            for (pid_t id : taskIds())
                if (!before.contains(id))
                    added.push_back(id);
            if (added.size() >= 2 && m_executorTid.load() != 0) {
                m_threads = added;
                break;
            }
            std::this_thread::yield();
        }
    }
    ~BenchCompanion() {
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
    void waitIdle() const {
        while (!idle())
            std::this_thread::sleep_for(50us);
    }
    const std::vector<pid_t>& threads() const { return m_threads; }
    pid_t executorThread() const { return m_executorTid.load(); }

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
    NoShellActions m_shell;
    SilentNotifier m_notifier;
    SteadyExecutorClock m_clock;
    std::unique_ptr<ActionExecutor> m_executor;
    std::unique_ptr<ReportReader> m_reader;
    std::thread m_readerThread, m_executorThread;
    std::vector<pid_t> m_threads;
    std::atomic<pid_t> m_executorTid{0};
    std::atomic<bool> m_stop{false};
};

// Button 1 plays macro 0, made of these events.
inline std::function<void(ProfileSettings&, MacroTable&)> playsMacro(std::vector<MacroEvent> events) {
    return [events = std::move(events)](ProfileSettings& settings, MacroTable& macros) {
        macros.modify([&](MacroTable::Records& records, std::int16_t& count) {
            records[0].setEventCount(static_cast<std::uint8_t>(events.size()));
            for (std::size_t j = 0; j < events.size(); ++j)
                records[0].setEvent(static_cast<int>(j), events[j]);
            count = 1;
        });
        settings.buttonCodes[0] = FirstMacroCode;
    };
}

// The measures of the delivered input (a display or /dev/uinput is needed); see Delivered.cpp.
struct DeliveredOptions {
    int presses = 200;
    int macroRuns = 10;
};
void measureDelivered(const DeliveredOptions& options);

} // namespace krv::bench
