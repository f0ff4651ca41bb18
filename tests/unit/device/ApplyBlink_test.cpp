// SPDX-License-Identifier: MIT
#include "device/ApplyBlink.h"

#include "fakes/DeviceFakes.h"

#include <gtest/gtest.h>

#include <vector>

using namespace krv;

namespace {

struct BlinkRig {
    ApplyFeedback feedback;
    test::RecordingNotifier notifier;
    bool mainPage = true;
    ApplyBlink blink{feedback, notifier, [this] { return mainPage; }};

    BlinkRig() {
        feedback.HostFunctionsReady = false;
        feedback.BlinkPhase = true;
        feedback.BlinkRunning = true;
    }
};

TEST(ApplyBlink, TogglesEveryTickAndTestsTheConditionsEverySixToggles) {
    BlinkRig rig;
    std::vector<bool> phases;
    ASSERT_TRUE(rig.blink.start()); // first toggle at once
    phases.push_back(rig.feedback.BlinkPhase);
    for (int i = 0; i < 6; ++i) { // the 6th tick tests the conditions (3 s) and goes on
        ASSERT_TRUE(rig.blink.tick());
        phases.push_back(rig.feedback.BlinkPhase);
    }
    EXPECT_EQ(phases, (std::vector<bool>{false, true, false, true, false, true, false}));
    EXPECT_EQ(rig.notifier.repaints, 7);

    // The acknowledgement between two checks: the blink goes on until the next check.
    rig.feedback.HostFunctionsReady = true;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(rig.blink.tick());
    rig.feedback.BlinkPhase = false;
    EXPECT_FALSE(rig.blink.tick()); // the check ends the run
    EXPECT_FALSE(rig.blink.running());
    EXPECT_TRUE(rig.feedback.BlinkPhase);
    EXPECT_FALSE(rig.feedback.BlinkRunning);
    EXPECT_FALSE(rig.blink.tick()); // a stray tick after the end does nothing
    EXPECT_EQ(rig.notifier.repaints, 12);
}

TEST(ApplyBlink, EndsAtOnceWhenReadyOrOffTheMainPage) {
    for (const auto& [ready, mainPage] : std::vector<std::pair<bool, bool>>{{true, true}, {false, false}}) {
        BlinkRig rig;
        rig.feedback.HostFunctionsReady = ready;
        rig.mainPage = mainPage;
        rig.feedback.BlinkPhase = false;
        EXPECT_FALSE(rig.blink.start());
        EXPECT_TRUE(rig.feedback.BlinkPhase);
        EXPECT_FALSE(rig.feedback.BlinkRunning);
        EXPECT_EQ(rig.notifier.repaints, 0);
    }
    // Leaving the main page during a run ends it at the next check.
    BlinkRig rig;
    ASSERT_TRUE(rig.blink.start());
    rig.mainPage = false;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(rig.blink.tick());
    EXPECT_FALSE(rig.blink.tick());
    EXPECT_FALSE(rig.feedback.BlinkRunning);
}

TEST(ApplyBlink, AStartDuringARunStartsItOverInsteadOfBlinkingTwice) {
    BlinkRig rig;
    ASSERT_TRUE(rig.blink.start());
    for (int i = 0; i < 4; ++i)
        rig.blink.tick();
    ASSERT_TRUE(rig.blink.start()); // toggles once and counts from there
    rig.feedback.HostFunctionsReady = true;
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(rig.blink.tick());
    EXPECT_FALSE(rig.blink.tick());
}

} // namespace
