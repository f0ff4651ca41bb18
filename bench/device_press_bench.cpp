// SPDX-License-Identifier: MIT
// Time from a press on the (simulated) mouse to the executor waking with its code, through the
// device link, the report reader's blocking read and the press channel. Prints "name value unit".
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "settings/ProfileSettings.h"
#include "sim/SimulatedMouse.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

int main() {
    using Clock = std::chrono::steady_clock;
    constexpr int Presses = 2000;

    krv::SimulatedMouse sim;
    krv::DeviceLink link(sim);
    if (!link.ScanForMouse())
        return 1;
    krv::ProfileSettings settings;
    krv::ApplyFeedback feedback;
    krv::PressChannel presses;
    krv::SilentNotifier notifier;
    krv::ReportReader reader(link, presses, feedback, settings, notifier);
    reader.start();

    std::mutex mutex;
    std::condition_variable served;
    Clock::time_point wokeAt;
    int count = 0;
    std::thread executor([&] {
        while (presses.waitForPress()) {
            const Clock::time_point now = Clock::now();
            (void)presses.PressedCode.load(std::memory_order_relaxed);
            presses.finishPress();
            std::lock_guard lock(mutex);
            wokeAt = now;
            ++count;
            served.notify_all();
        }
    });

    std::vector<double> micros;
    micros.reserve(Presses);
    for (int i = 0; i < Presses; ++i) {
        const Clock::time_point pressedAt = Clock::now();
        sim.press(static_cast<std::uint8_t>(1 + i % 9));
        std::unique_lock lock(mutex);
        served.wait(lock, [&] { return count == i + 1; });
        micros.push_back(std::chrono::duration<double, std::micro>(wokeAt - pressedAt).count());
    }
    presses.close();
    executor.join();
    reader.stop();

    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) { return micros[static_cast<std::size_t>(q * (micros.size() - 1))]; };
    std::printf("device_press_to_executor_p50 %.1f us\n", at(0.50));
    std::printf("device_press_to_executor_p99 %.1f us\n", at(0.99));
    std::printf("device_press_to_executor_max %.1f us\n", micros.back());
    return 0;
}
