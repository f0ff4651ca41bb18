// SPDX-License-Identifier: MIT
#include "functions/ActionExecutor.h"

#include "functions/HeldInputInjector.h"
#include "mouse/ButtonCode.h"
#include "mouse/VirtualKeys.h"
#include "settings/IniFile.h"
#include "unit/TempDir.h"
#include "fakes/ExecutorFakes.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace krv::test {
namespace {

struct Sent {
    int command, p1, p2;
    bool operator==(const Sent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sent& s) { return out << "(" << s.command << "," << s.p1 << "," << s.p2 << ")"; }

class ExecutorTest : public ::testing::Test {
protected:
    TempDir dir;
    PressChannel channel;
    ProfileSettings settings;
    MacroTable macros;
    ManualClock clock;
    RecordingInjector injector{&clock};
    RecordingShell shell;
    std::vector<Sent> sent;
    std::vector<int> applied; // the profiles the switch asked for
    // What the applier does with them (see ProfileApplier::ApplyStoredProfile).
    std::function<ProfileApplier::Outcome(int, const ProfileApplier::StoredRefusals&)> applier =
        [](int, const ProfileApplier::StoredRefusals&) { return ProfileApplier::Outcome::Applied; };
    std::vector<std::pair<int, int>> switchesRefused;
    std::vector<std::string> notLoaded;
    int repaints = 0;
    ActionExecutor executor{ActionExecutorPorts{
        .channel = channel, .settings = settings, .macros = macros, .injector = injector, .shell = shell, .clock = clock,
        .configPath = dir / "config.ini",
        .sendFeatureReport = [this](std::uint8_t c, std::uint8_t p1, std::uint8_t p2) { sent.push_back({c, p1, p2}); },
        .applyStoredProfile =
            [this](int n, const ProfileApplier::StoredRefusals& refusals) {
                applied.push_back(n);
                return applier(n, refusals);
            },
        .requestRepaint = [this] { ++repaints; },
        .reportNotLoaded = [this](const FileStatus& problem) { notLoaded.push_back(problem.message()); },
        .reportSwitchRefused = [this](int next, int current) { switchesRefused.emplace_back(next, current); }}};

    // As an apply leaves a slot: its code and its DPI action.
    void setSlot(int slot, ButtonCode code) {
        settings.buttonCodes[slot - 1] = code;
        settings.dpiActions[slot - 1] = DpiAction(code);
    }
    static std::uint8_t reportCodeOf(int slot) { return static_cast<std::uint8_t>(PressReportBase + DeviceButtonId[slot - 1]); }
    void press(int slot) { executor.servePress(reportCodeOf(slot)); }
    // Through the channel, as ReportReader hands a press over.
    void pressViaChannel(int slot) {
        channel.publishPress(reportCodeOf(slot));
        ASSERT_TRUE(executor.serveNext());
    }

    int addMacro(const std::vector<MacroEvent>& events, std::uint8_t repeatEnabled = 0, std::uint16_t repeatCount = 1) {
        return macros.modify([&](MacroTable::Records& records, std::int16_t& count) {
            MacroRecord& r = records[count];
            r.setRepeatEnabled(repeatEnabled);
            r.setRepeatCount(repeatCount);
            r.setEventCount(static_cast<std::uint8_t>(events.size()));
            for (std::size_t j = 0; j < events.size(); ++j)
                r.setEvent(static_cast<int>(j), events[j]);
            return int{count++};
        });
    }
    std::string storedDpiLevel(int profile) {
        return IniFile::readString(dir / "config.ini", "Config" + std::to_string(profile), "DPI_LEVEL", "", 5);
    }
};

TEST_F(ExecutorTest, ShortcutsHoldTheLetterTwentyMsAndAltF4HasNoPause) {
    struct Case {
        ButtonCode code;
        std::vector<InputEvent> expected;
    };
    const std::vector<Case> cases{
        {31, {down(0x11, 0), down('C', 0), up('C', 20), up(0x11, 20)}},
        {32, {down(0x11, 0), down('V', 0), up('V', 20), up(0x11, 20)}},
        {33, {down(0x11, 0), down('A', 0), up('A', 20), up(0x11, 20)}},
        {34, {down(0x11, 0), down('Z', 0), up('Z', 20), up(0x11, 20)}},
        {35, {down(0x12, 0), down(0x73, 0), up(0x73, 0), up(0x12, 0)}},
        // One press of the mute key (down and up: a lone key-down would stay held and auto-repeat).
        {26, {down(0xAD, 0), up(0xAD, 0)}},
    };
    for (const Case& c : cases) {
        ManualClock fresh;
        RecordingInjector rec{&fresh};
        PressChannel freshChannel; // an executor closes its channel when it ends
        ActionExecutor ex{ActionExecutorPorts{.channel = freshChannel, .settings = settings, .macros = macros, .injector = rec,
                                              .shell = shell, .clock = fresh, .configPath = dir / "config.ini",
                                              .sendFeatureReport = {}, .applyStoredProfile = {}, .requestRepaint = {}}};
        setSlot(4, c.code);
        ex.servePress(reportCodeOf(4));
        EXPECT_EQ(rec.events(), c.expected) << "code " << c.code;
    }
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(ExecutorTest, ShellCodesStartTheirAction) {
    const std::vector<std::pair<ButtonCode, std::string>> cases{
        {36, "computer"}, {37, "lock"}, {38, "calculator"}, {39, "terminal"}};
    for (const auto& [code, action] : cases) {
        shell.calls.clear();
        setSlot(7, code);
        press(7);
        EXPECT_EQ(shell.calls, std::vector<std::string>{action}) << "code " << code;
    }
    EXPECT_TRUE(injector.events().empty());
}

TEST_F(ExecutorTest, PressCodeSelectsTheSlotThroughDeviceButtonIds) {
    setSlot(4, 38); // device button 5: code 245
    setSlot(5, 39); // device button 4: code 244
    executor.servePress(245);
    executor.servePress(244);
    executor.servePress(247); // device button 7 does not exist
    executor.servePress(240);
    EXPECT_EQ(shell.calls, (std::vector<std::string>{"calculator", "terminal"}));
}

TEST_F(ExecutorTest, CodesWithoutHostFunctionDoNothing) {
    for (ButtonCode code : {0, 1, 5, 7, 11, 20, 27, 30, 52, 53, -1, 1000}) {
        setSlot(1, code);
        press(1);
    }
    EXPECT_TRUE(injector.events().empty());
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(sent.empty());
    EXPECT_TRUE(applied.empty());
}

struct DpiCase {
    const char* name;
    ButtonCode code;
    std::array<int, 4> enabled;
    int level;
    int expectedLevel;
};

TEST_F(ExecutorTest, DpiStepsFollowEnabledStagesAndAlwaysResend) {
    const std::vector<DpiCase> cases{
        {"down from 2", 18, {1, 1, 1, 1}, 2, 1},
        {"down skips disabled", 18, {1, 0, 0, 1}, 3, 0},
        {"down at stage 0 stays", 18, {1, 1, 1, 1}, 0, 0},
        {"down with nothing below stays", 18, {0, 0, 1, 1}, 2, 2},
        {"up from 0", 17, {1, 1, 1, 1}, 0, 1},
        {"up skips disabled", 17, {1, 0, 0, 1}, 0, 3},
        {"up at stage 3 stays", 17, {1, 1, 1, 1}, 3, 3},
        {"cycle wraps", 6, {1, 1, 1, 1}, 3, 0},
        {"cycle stages 1 and 3 from stage 3", 6, {1, 0, 1, 0}, 2, 0},
        {"cycle only enabled stage comes back", 6, {0, 1, 0, 0}, 1, 1},
        {"cycle no enabled stage ends unchanged", 6, {0, 0, 0, 0}, 2, 2},
        {"level out of range is clamped", 18, {1, 1, 1, 1}, 9, 2},
    };
    settings.currentProfile = 2;
    settings.appliedLedMode = 1;
    for (int s = 0; s < 4; ++s)
        settings.appliedDpiStagePositions[s] = static_cast<std::uint8_t>(s + 1); // positions 1, 2, 3, 4
    for (const DpiCase& c : cases) {
        sent.clear();
        repaints = 0;
        for (int s = 0; s < 4; ++s)
            settings.dpiStageEnabled[s] = static_cast<std::uint8_t>(c.enabled[s]);
        settings.dpiStage = c.level;
        setSlot(6, c.code);
        press(6);
        EXPECT_EQ(settings.dpiStage.load(), c.expectedLevel) << c.name;
        const int position = c.expectedLevel + 1;
        const std::vector<Sent> expected{{0x09, c.expectedLevel, (8 + position) * 16 + 1}};
        EXPECT_EQ(sent, expected) << c.name;
        EXPECT_EQ(repaints, 1) << c.name;
        EXPECT_EQ(storedDpiLevel(2), std::to_string(c.expectedLevel)) << c.name;
    }
}

TEST_F(ExecutorTest, DpiActionOfTheLastApplyWinsOverTheEditedCode) {
    settings.dpiStageEnabled[0] = settings.dpiStageEnabled[1] = 1;
    settings.dpiActions[2] = 1;   // applied as "DPI up"
    settings.buttonCodes[2] = 38; // edited since to "calculator", not applied yet
    press(3);
    EXPECT_EQ(settings.dpiStage.load(), 1);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(ExecutorTest, LedToggleSwitchesBetweenModeThreeAndTheAppliedModeAndDpiStepsKeepIt) {
    settings.dpiStage = 1;
    settings.appliedDpiStagePositions[1] = 4;
    settings.dpiStageEnabled[1] = 1;
    settings.appliedLedMode = 2;
    setSlot(8, 19);
    setSlot(7, 6);
    press(8);
    EXPECT_EQ(settings.toggledLedMode.load(), 3);
    press(7); // the DPI step sends mode 3 while the override holds
    press(8);
    EXPECT_EQ(settings.toggledLedMode.load(), 2);
    press(7);
    EXPECT_EQ(sent, (std::vector<Sent>{{0x09, 1, 0xC3}, {0x09, 1, 0xC3}, {0x09, 1, 0xC2}, {0x09, 1, 0xC2}}));
    EXPECT_EQ(repaints, 4);
}

TEST_F(ExecutorTest, ProfileSwitchAppliesTheNextStoredProfile) {
    const std::vector<std::pair<int, int>> cases{{1, 2}, {4, 5}, {5, 1}, {0, 1}, {-3, 1}, {9, 1}};
    setSlot(1, 40);
    for (const auto& [from, to] : cases) {
        applied.clear();
        settings.currentProfile = from;
        press(1);
        EXPECT_EQ(applied, std::vector<int>{to}) << "from " << from;
    }
    EXPECT_EQ(repaints, static_cast<int>(cases.size()));
}

// The applier's refusals reach the user through the executor's own messages, and nothing is repainted.
TEST_F(ExecutorTest, ARefusedProfileSwitchIsSaidAsTheSwitchsOwn) {
    setSlot(1, 40);
    settings.currentProfile = 3;
    applier = [](int, const ProfileApplier::StoredRefusals& refusals) {
        refusals.noLeftButton();
        return ProfileApplier::Outcome::NotSent;
    };
    press(1);
    applier = [](int, const ProfileApplier::StoredRefusals& refusals) {
        refusals.unreadable(FileStatus::failure("config.ini: Permission denied"));
        return ProfileApplier::Outcome::NotSent;
    };
    press(1);
    EXPECT_EQ(switchesRefused, (std::vector<std::pair<int, int>>{{4, 3}}));
    EXPECT_EQ(notLoaded, std::vector<std::string>{"config.ini: Permission denied"});
    EXPECT_EQ(repaints, 0);
}

TEST_F(ExecutorTest, MacroPlaysEventsWithTheirPausesExtendedFlagsAndMouseButtons) {
    const int m = addMacro({{0x25, 1, 10},  // LEFT: extended
                            {0x25, 2, 5},
                            {'A', 1, 0},
                            {'A', 2, 7},
                            {240, 1, 1},
                            {240, 2, 1},
                            {241, 1, 1},
                            {241, 2, 1},
                            {250, 1, 1},   // anything above 241 is the middle button
                            {242, 2, 1},
                            {0x13, 3, 100}, // no direction: no input, but its pause is waited
                            {0xA5, 1, 2}}); // RMENU: extended; left down at the end
    setSlot(2, FirstMacroCode + m);
    press(2);
    EXPECT_EQ(injector.events(), (std::vector<InputEvent>{
                                     down(0x25, 0, true), up(0x25, 10, true), down('A', 15), up('A', 15),
                                     buttonDown(MouseButton::Left, 22), buttonUp(MouseButton::Left, 23),
                                     buttonDown(MouseButton::Right, 24), buttonUp(MouseButton::Right, 25),
                                     buttonDown(MouseButton::Middle, 26), buttonUp(MouseButton::Middle, 27),
                                     down(0xA5, 128, true)}));
    EXPECT_EQ(clock.elapsedMs(), 130); // the last event's pause is waited too
}

TEST_F(ExecutorTest, RepeatRules) {
    struct Case {
        const char* name;
        std::uint8_t repeatEnabled;
        std::uint16_t repeatCount;
        int expectedRounds;
    };
    const std::vector<Case> cases{
        {"repeat off plays once", 0, 3, 1},
        {"repeat off with count 0 plays once", 0, 0, 1},
        {"repeat count 3", 1, 3, 3},
        {"repeat count 0 plays nothing", 1, 0, 0},
        {"repeat count 258 (two bytes)", 1, 258, 258},
    };
    for (const Case& c : cases) {
        ManualClock fresh;
        RecordingInjector rec{&fresh};
        PressChannel freshChannel; // an executor closes its channel when it ends
        ActionExecutor ex{ActionExecutorPorts{.channel = freshChannel, .settings = settings, .macros = macros, .injector = rec,
                                              .shell = shell, .clock = fresh, .configPath = dir / "config.ini",
                                              .sendFeatureReport = {}, .applyStoredProfile = {}, .requestRepaint = {}}};
        const int m = addMacro({{'K', 1, 1}, {'K', 2, 1}}, c.repeatEnabled, c.repeatCount);
        ex.playMacro(m);
        EXPECT_EQ(rec.events().size(), 2u * c.expectedRounds) << c.name;
        EXPECT_EQ(fresh.elapsedMs(), 2 * c.expectedRounds) << c.name;
    }
}

TEST_F(ExecutorTest, AStopEndsThePauseAtOnceAndLetsGoOfTheHeldKeys) {
    struct Case {
        const char* name;
        int mode;
        std::vector<MacroEvent> events;
        std::chrono::milliseconds stopAt;
        std::vector<InputEvent> expected;
    };
    const std::vector<Case> cases{
        // Held 2 s of a 5 s pause in "repeat while held" mode: C goes up at the release.
        {"release in a long pause", 1, {{'C', 1, 5000}, {'C', 2, 0}}, 2000ms, {down('C', 0), up('C', 2000)}},
        // A second press (mode 0) 100 ms into Z's 3 s hold.
        {"second press in a long pause", 0, {{'Z', 1, 3000}, {'Z', 2, 0}}, 100ms, {down('Z', 0), up('Z', 100)}},
        // Nothing is held when the stop comes: the pause ends all the same, and nothing more is played.
        {"stop in a pause after a release", 0, {{'Q', 1, 100}, {'Q', 2, 100}, {'W', 1, 100}, {'W', 2, 100}},
         150ms, {down('Q', 0), up('Q', 100)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock fresh;
        RecordingInjector rec{&fresh};
        PressChannel freshChannel;
        ActionExecutor ex{ActionExecutorPorts{.channel = freshChannel, .settings = settings, .macros = macros,
                                              .injector = rec, .shell = shell, .clock = fresh,
                                              .configPath = dir / "config.ini", .sendFeatureReport = {},
                                              .applyStoredProfile = {}, .requestRepaint = {}}};
        settings.macroPlaybackMode = c.mode;
        const int m = addMacro(c.events, 1, 50);
        setSlot(3, FirstMacroCode + m);
        // The reader turns the release (mode 1) or the second press (mode 0) into a stop signal.
        fresh.at(c.stopAt, [&] { freshChannel.requestStop(); });
        freshChannel.publishPress(reportCodeOf(3));
        ASSERT_TRUE(ex.serveNext());
        EXPECT_EQ(rec.events(), c.expected);
        EXPECT_EQ(fresh.elapsedMs(), c.stopAt.count()); // the pause ended at the stop, not at its deadline
        EXPECT_EQ(freshChannel.PendingPress.load(), 0u);
        EXPECT_EQ(freshChannel.StopRequest.load(), 0u);
    }
}

TEST_F(ExecutorTest, ModeOneRepeatsWhileHeldAndStopsOnRelease) {
    settings.macroPlaybackMode = 1;
    const int m = addMacro({{'R', 1, 10}, {'R', 2, 10}}, 0, 1); // its own repeat setting does not count
    setSlot(3, FirstMacroCode + m);
    clock.at(95ms, [this] { channel.requestStop(); }); // the button is released at 95 ms
    pressViaChannel(3);
    EXPECT_EQ(injector.events().size(), 10u); // five rounds, the release cutting the fifth round's last pause
    EXPECT_EQ(injector.events().back(), up('R', 90));
    EXPECT_EQ(clock.elapsedMs(), 95);
}

TEST_F(ExecutorTest, ModeOnePlaysAtMostOneHundredThousandRounds) {
    settings.macroPlaybackMode = 1;
    const int m = addMacro({{'R', 3, 1}});
    executor.playMacro(m);
    EXPECT_EQ(clock.elapsedMs(), 100000);
}

TEST_F(ExecutorTest, AStopSignalNeverCarriesOverToTheNextPress) {
    // A quick function (the calculator) is pressed and released; the stop signal comes while it is
    // served, or after it has been served (the release of a button in "repeat while held" mode).
    for (const bool whileServed : {true, false}) {
        SCOPED_TRACE(whileServed ? "stop while served" : "stop after served");
        ManualClock fresh;
        RecordingInjector rec{&fresh};
        PressChannel freshChannel;
        ActionExecutor ex{ActionExecutorPorts{.channel = freshChannel,
                                              .settings = settings,
                                              .macros = macros,
                                              .injector = rec,
                                              .shell = shell,
                                              .clock = fresh,
                                              .configPath = dir / "config.ini",
                                              .sendFeatureReport = {},
                                              .applyStoredProfile = {},
                                              .requestRepaint = {}}};
        const int m = addMacro({{'T', 1, 5}, {'T', 2, 5}});
        setSlot(1, 38);
        setSlot(2, FirstMacroCode + m);
        freshChannel.publishPress(reportCodeOf(1));
        if (whileServed)
            freshChannel.requestStop();
        ASSERT_TRUE(ex.serveNext());
        if (!whileServed) {
            EXPECT_FALSE(freshChannel.requestStop()); // no press is served: nothing to stop
        }
        freshChannel.publishPress(reportCodeOf(2));
        ASSERT_TRUE(ex.serveNext());
        EXPECT_EQ(rec.events(), (std::vector<InputEvent>{down('T', 0), up('T', 5)}));
    }
}

TEST_F(ExecutorTest, AQuickTapInRepeatWhileHeldModePlaysOneEventAndLetsGo) {
    settings.macroPlaybackMode = 1;
    const int m = addMacro({{'R', 1, 10}, {'R', 2, 10}});
    setSlot(3, FirstMacroCode + m);
    // The release comes before the executor has taken the press up.
    channel.publishPress(reportCodeOf(3));
    channel.requestStop();
    ASSERT_TRUE(executor.serveNext());
    EXPECT_EQ(injector.events(), (std::vector<InputEvent>{down('R', 0), up('R', 0)}));
    EXPECT_EQ(clock.elapsedMs(), 0);
}

TEST_F(ExecutorTest, PlaybackEndedEarlyLetsGoOfEverythingItHolds) {
    struct Case {
        const char* name;
        int mode;
        std::function<void(PressChannel&, ManualClock&)> end;
    };
    const std::vector<Case> cases{
        {"second press (mode 0)", 0, [](PressChannel& c, ManualClock&) { c.requestStop(); }},
        {"release (repeat while held)", 1, [](PressChannel& c, ManualClock&) { c.requestStop(); }},
        // The program stops the executor: shutdown, the mouse unplugged.
        {"executor stopped", 0,
         [](PressChannel& c, ManualClock&) { c.close(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualClock fresh;
        RecordingInjector backend{&fresh};
        HeldInputInjector held{backend};
        PressChannel freshChannel;
        ActionExecutor ex{ActionExecutorPorts{.channel = freshChannel,
                                              .settings = settings,
                                              .macros = macros,
                                              .injector = held,
                                              .shell = shell,
                                              .clock = fresh,
                                              .configPath = dir / "config.ini",
                                              .sendFeatureReport = {},
                                              .applyStoredProfile = {},
                                              .requestRepaint = {}}};
        settings.macroPlaybackMode = c.mode;
        // Shift, the left button and R are down when the stop comes in R's pause; X was let go.
        const int m = addMacro({{0xA0, 1, 10},
                                {'X', 1, 0},
                                {'X', 2, 0},
                                {240, 1, 10},
                                {0x2E, 1, 0},
                                {'R', 1, 100},
                                {'R', 2, 10},
                                {240, 2, 10},
                                {0xA0, 2, 10},
                                {0x2E, 2, 10}},
                               1, 3);
        setSlot(3, FirstMacroCode + m);
        fresh.at(50ms, [&] { c.end(freshChannel, fresh); });
        freshChannel.publishPress(reportCodeOf(3));
        ex.serveNext();
        EXPECT_EQ(backend.events(),
                  (std::vector<InputEvent>{down(0xA0, 0), down('X', 10), up('X', 10), buttonDown(MouseButton::Left, 10),
                                           down(0x2E, 20, true), down('R', 20), up('R', 50), up(0x2E, 50, true),
                                           buttonUp(MouseButton::Left, 50), up(0xA0, 50)}));
        EXPECT_FALSE(held.anyHeld());
    }
}

TEST_F(ExecutorTest, MacroCodeBeyondTheTableDoesNothingAndPlaybackReadsEditsAsItGoes) {
    const int m = addMacro({{'E', 1, 10}, {'E', 2, 10}});
    setSlot(1, FirstMacroCode + m + 1); // a macro that has been deleted
    press(1);
    EXPECT_TRUE(injector.events().empty());

    // The editor changes event 1 while event 0's pause runs: playback reads each event afresh.
    clock.at(5ms, [this, m] {
        macros.modify([m](MacroTable::Records& records, std::int16_t&) { records[m].setEvent(1, {'F', 2, 10}); });
    });
    executor.playMacro(m);
    EXPECT_EQ(injector.events(), (std::vector<InputEvent>{down('E', 0), up('F', 10)}));
}

TEST_F(ExecutorTest, ReleaseAllLetsGoOfWhatAMacroLeftDown) {
    RecordingInjector backend;
    HeldInputInjector held{backend};
    ActionExecutor ex{ActionExecutorPorts{.channel = channel, .settings = settings, .macros = macros, .injector = held,
                                          .shell = shell, .clock = clock, .configPath = dir / "config.ini",
                                          .sendFeatureReport = {}, .applyStoredProfile = {}, .requestRepaint = {}}};
    const int m = addMacro({{0xA0, 1, 0}, {0x2E, 1, 0}, {'X', 1, 0}, {'X', 2, 0}, {241, 1, 0}});
    ex.playMacro(m);
    EXPECT_TRUE(held.anyHeld());
    const std::size_t played = backend.events().size();
    held.releaseAll();
    EXPECT_FALSE(held.anyHeld());
    const std::vector<InputEvent> all = backend.events();
    const std::vector<InputEvent> released(all.begin() + static_cast<long>(played), all.end());
    std::vector<InputEvent> expected(8, up(0x12));
    expected.push_back(up(0x2E, 0, true));
    expected.push_back(up(0xA0));
    expected.push_back(buttonUp(MouseButton::Right));
    EXPECT_EQ(released, expected);
}

// The executor on its own thread, woken by presses from another thread (run under TSan in CI).
TEST(ActionExecutorThread, ServesPressesFromAnotherThreadAndStopsMidMacro) {
    TempDir dir;
    PressChannel channel;
    ProfileSettings settings;
    MacroTable macros;
    SteadyExecutorClock clock;
    RecordingInjector injector;
    RecordingShell shell;
    std::atomic<int> sends{0};
    ActionExecutor executor{ActionExecutorPorts{
        .channel = channel, .settings = settings, .macros = macros, .injector = injector, .shell = shell, .clock = clock,
        .configPath = dir / "config.ini",
        .sendFeatureReport = [&](std::uint8_t, std::uint8_t, std::uint8_t) { sends.fetch_add(1); },
        .applyStoredProfile = {}, .requestRepaint = {}}};
    macros.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0].setEventCount(2);
        records[0].setEvent(0, {'L', 1, 60000}); // a minute-long pause that stop() must cut short
        records[0].setEvent(1, {'L', 2, 0});
        count = 1;
    });
    settings.buttonCodes[0] = 33;
    settings.buttonCodes[1] = FirstMacroCode;
    settings.dpiActions[2] = 2;
    settings.dpiStageEnabled[0] = 1;
    executor.start();

    std::thread reader([&] {
        channel.publishPress(241);
        injector.waitFor(4);
        while (channel.PendingPress.load(std::memory_order_acquire) != 0)
            std::this_thread::yield();
        channel.publishPress(243);
        while (sends.load() == 0)
            std::this_thread::yield();
        while (channel.PendingPress.load(std::memory_order_acquire) != 0)
            std::this_thread::yield();
        channel.publishPress(242);
        injector.waitFor(5);
    });
    reader.join();
    executor.stop();
    const auto events = injector.events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[4], down('L'));
    EXPECT_EQ(events[5], up('L')); // the macro cut short lets go of its key
    EXPECT_EQ(sends.load(), 1);
}

} // namespace
} // namespace krv::test
