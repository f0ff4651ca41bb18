// SPDX-License-Identifier: MIT
#include "platform/windows/ThreadPriority.h"

#include "WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace krv {
namespace {

TEST(ThreadPriority, AServiceThreadRunsAtTheHighestPriorityAndSaysSo) {
    ServiceThreadScheduling got;
    int priority = 0;
    std::thread service([&] {
        got = PrepareServiceThread();
        priority = GetThreadPriority(GetCurrentThread());
    });
    service.join();
    EXPECT_EQ(priority, THREAD_PRIORITY_HIGHEST);
    EXPECT_EQ(got.level, ThreadScheduling::RaisedNice);
    EXPECT_EQ(got.description, "THREAD_PRIORITY_HIGHEST");
    // Only the calling thread was raised.
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), THREAD_PRIORITY_NORMAL);
}

TEST(TimerResolution, TheFinestPeriodIsHeldWhileTheObjectLives) {
    TimerResolution fine;
    EXPECT_EQ(fine.period(), 1u);
}

} // namespace
} // namespace krv
