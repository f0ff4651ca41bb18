// SPDX-License-Identifier: MIT
// How soon a macro stopped in the middle of a long pause lets go of its key: "C down, 5000 ms, C up"
// played by the executor on its own thread, stopped after a short hold
//  - macro_stop_to_key_up_*: from the stop request on the press channel (what the reader does on a
//    release or second press, the window on an apply) to the injected key-up;
//  - macro_release_to_key_up_*: from the simulated mouse's release report, through the device link
//    and the report reader ("repeat while held" mode), to the injected key-up.
// Prints "name value unit".
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"
#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "sim/SimulatedMouse.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Stamps the key transitions it is asked to inject.
class StampingInjector final : public krv::InputInjector {
public:
    void keyDown(std::uint8_t, bool) override { stamp(m_downs, m_lastDown); }
    void keyUp(std::uint8_t, bool) override { stamp(m_ups, m_lastUp); }
    void buttonDown(krv::MouseButton) override {}
    void buttonUp(krv::MouseButton) override {}

    void waitForDowns(int n) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_downs >= n; });
    }
    Clock::time_point waitForUps(int n) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_ups >= n; });
        return m_lastUp;
    }

private:
    void stamp(int& count, Clock::time_point& at) {
        const Clock::time_point now = Clock::now();
        {
            std::lock_guard lock(m_mutex);
            ++count;
            at = now;
        }
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_downs = 0;
    int m_ups = 0;
    Clock::time_point m_lastDown, m_lastUp;
};

class NoShell final : public krv::ShellActions {
public:
    void openComputerFolder() override {}
    void lockSession() override {}
    void startCalculator() override {}
    void startTerminal() override {}
};

void print(const char* name, std::vector<double>& micros) {
    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[static_cast<std::size_t>(q * static_cast<double>(micros.size() - 1))]; };
    std::printf("%s_p50 %.1f us\n", name, at(0.50));
    std::printf("%s_p99 %.1f us\n", name, at(0.99));
    std::printf("%s_max %.1f us\n", name, micros.back());
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    constexpr std::uint8_t Slot = 4;

    krv::SimulatedMouse sim;
    krv::DeviceLink link(sim);
    if (!link.ScanForMouse())
        return 1;
    krv::ProfileSettings settings;
    krv::ApplyFeedback feedback; // ready: the host functions count from the start
    krv::PressChannel presses;
    krv::SilentNotifier notifier;
    krv::MacroTable macros;
    macros.modify([](krv::MacroTable::Records& records, std::int16_t& count) {
        records[0].setEventCount(2);
        records[0].setEvent(0, {'C', 1, 5000});
        records[0].setEvent(1, {'C', 2, 0});
        count = 1;
    });
    settings.buttonCodes[Slot - 1] = krv::FirstMacroCode;
    StampingInjector injector;
    NoShell shell;
    krv::SteadyExecutorClock clock;
    krv::ActionExecutor executor({.channel = presses, .settings = settings, .macros = macros, .injector = injector,
                                  .shell = shell, .clock = clock,
                                  .configPath = std::filesystem::temp_directory_path() / "krv-macro-stop-bench.ini",
                                  .sendFeatureReport = {}, .applyStoredProfile = {}, .requestRepaint = {}});
    krv::ReportReader reader(link, presses, feedback, settings, notifier);
    executor.start();
    reader.start();
    const auto reportCode = static_cast<std::uint8_t>(krv::PressReportBase + krv::DeviceButtonId[Slot - 1]);

    auto waitIdle = [&] {
        while (presses.PendingPress.load(std::memory_order_acquire) != 0)
            std::this_thread::yield();
    };
    int played = 0;
    std::vector<double> fromStop, fromRelease;
    for (int mode : {0, 1}) {
        settings.macroPlaybackMode = mode;
        for (int i = 0; i < runs; ++i) {
            ++played;
            if (mode == 0)
                presses.publishPress(reportCode);
            else
                sim.press(krv::DeviceButtonId[Slot - 1]);
            injector.waitForDowns(played);
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a short hold, well inside the pause
            const Clock::time_point stopAt = Clock::now();
            if (mode == 0)
                presses.requestStop();
            else
                sim.release();
            const Clock::time_point upAt = injector.waitForUps(played);
            (mode == 0 ? fromStop : fromRelease)
                .push_back(std::chrono::duration<double, std::micro>(upAt - stopAt).count());
            waitIdle();
        }
    }
    reader.stop();
    executor.stop();
    print("macro_stop_to_key_up", fromStop);
    print("macro_release_to_key_up", fromRelease);
    return 0;
}
