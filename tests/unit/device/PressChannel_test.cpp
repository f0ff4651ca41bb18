// SPDX-License-Identifier: MIT
#include "mouse/PressChannel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace krv;
using namespace std::chrono_literals;

namespace {

// The reader hands presses to an executor thread one after the other, as fast as the executor serves
// them: each press must wake it, also one published just as the executor goes to sleep. A lost
// wake-up shows as a press never served (the bound only keeps it from hanging the run).
TEST(PressChannel, EveryPressWakesTheWaitingExecutor) {
    constexpr int Presses = 20000;
    PressChannel channel;
    std::mutex mutex;
    std::condition_variable servedOne;
    int served = 0;
    int wrongCodes = 0;
    std::thread executor([&] {
        while (channel.waitForPress()) {
            const int code = channel.PressedCode.load(std::memory_order_relaxed);
            channel.finishPress();
            std::lock_guard lock(mutex);
            wrongCodes += code != 240 + served % 10 ? 1 : 0;
            ++served;
            servedOne.notify_all();
        }
    });
    for (int i = 0; i < Presses; ++i) {
        channel.publishPress(static_cast<std::uint8_t>(240 + i % 10));
        std::unique_lock lock(mutex);
        if (!servedOne.wait_for(lock, 10s, [&] { return served == i + 1; })) {
            ADD_FAILURE() << "press " << i + 1 << " of " << Presses << " was not served";
            break;
        }
    }
    channel.close();
    executor.join();
    EXPECT_EQ(served, Presses);
    EXPECT_EQ(wrongCodes, 0);
}

// close() ends a wait that has begun and every later one, also with a press pending.
TEST(PressChannel, CloseWakesTheExecutorForGood) {
    PressChannel channel;
    std::thread executor([&] { EXPECT_FALSE(channel.waitForPress()); });
    channel.close();
    executor.join();
    channel.publishPress(241);
    EXPECT_FALSE(channel.waitForPress());
    EXPECT_TRUE(channel.closed());
}

} // namespace
