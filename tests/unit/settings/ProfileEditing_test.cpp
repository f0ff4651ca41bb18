// SPDX-License-Identifier: MIT
#include "settings/ProfileEditing.h"

#include <gtest/gtest.h>

#include <array>

using namespace krv;

namespace {

struct StageToggleCase {
    std::array<int, DpiStageCount> enabledBefore;
    int currentBefore;
    int toggled;
    std::array<int, DpiStageCount> enabledAfter;
    int currentAfter;
};

void setStages(ProfileSettings& s, const std::array<int, DpiStageCount>& enabled, int current) {
    for (int i = 0; i < DpiStageCount; ++i)
        s.dpiStageEnabled[static_cast<std::size_t>(i)].store(
            static_cast<std::uint8_t>(enabled[static_cast<std::size_t>(i)]));
    s.dpiStage.store(current);
}

TEST(ProfileEditing, ToggledStagesKeepOneEnabledStageCurrent) {
    const std::vector<StageToggleCase> cases{
        {{1, 1, 1, 1}, 0, 2, {1, 1, 0, 1}, 0}, // another stage: only its flag changes
        {{1, 0, 1, 1}, 0, 1, {1, 1, 1, 1}, 0}, // enabling never moves the current stage
        {{1, 1, 0, 1}, 1, 1, {1, 0, 0, 1}, 3}, // the current one: the next enabled in the cycle
        {{1, 0, 0, 1}, 3, 3, {1, 0, 0, 0}, 0}, // the cycle wraps around
        {{0, 0, 1, 0}, 2, 2, {0, 0, 1, 0}, 2}, // the only enabled stage stays enabled and current
        {{1, 1, 1, 1}, 0, 4, {1, 1, 1, 1}, 0}, // out of range: nothing changes
    };
    for (const StageToggleCase& c : cases) {
        ProfileSettings s;
        setStages(s, c.enabledBefore, c.currentBefore);
        ToggleDpiStage(s, c.toggled);
        for (int i = 0; i < DpiStageCount; ++i)
            EXPECT_EQ(s.dpiStageEnabled[static_cast<std::size_t>(i)].load(),
                      c.enabledAfter[static_cast<std::size_t>(i)])
                << "toggled " << c.toggled << ", stage " << i;
        EXPECT_EQ(s.dpiStage.load(), c.currentAfter) << "toggled " << c.toggled;
    }
}

TEST(ProfileEditing, OnlyAnEnabledStageCanBeSelected) {
    ProfileSettings s;
    setStages(s, {1, 0, 1, 1}, 0);
    EXPECT_FALSE(SelectDpiStage(s, 1));
    EXPECT_EQ(s.dpiStage.load(), 0);
    EXPECT_TRUE(SelectDpiStage(s, 2));
    EXPECT_EQ(s.dpiStage.load(), 2);
    EXPECT_FALSE(SelectDpiStage(s, -1));
    EXPECT_FALSE(SelectDpiStage(s, DpiStageCount));
}

TEST(ProfileEditing, FireTimeFollowsTheBarAndStaysWithinItsRange) {
    EXPECT_EQ(FireTimeFromBar(10, 10, 150), 0);
    EXPECT_EQ(FireTimeFromBar(85, 10, 150), 150);
    EXPECT_EQ(FireTimeFromBar(160, 10, 150), MaxFireTime);
    EXPECT_EQ(FireTimeFromBar(20, 10, 0), 0); // a bar of no width gives no division by zero
    ProfileSettings s;
    s.fireInterval.store(MaxFireTime);
    StepFireTime(s, +1);
    EXPECT_EQ(s.fireInterval.load(), MaxFireTime);
    s.fireInterval.store(0);
    StepFireTime(s, -1);
    EXPECT_EQ(s.fireInterval.load(), 0);
    StepFireTime(s, +1);
    EXPECT_EQ(s.fireInterval.load(), 1);
}

} // namespace
