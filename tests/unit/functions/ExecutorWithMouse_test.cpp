// SPDX-License-Identifier: MIT
// The executor with the real device link: the simulated mouse's presses travel through ReportReader,
// DPI steps reach the mouse, and the profile switch loads and applies on the executor's thread.
#include "device/ApplyProfile.h"
#include "device/DeviceLink.h"
#include "device/ReportReader.h"
#include "functions/ActionExecutor.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"
#include "unit/RequireOk.h"
#include "unit/TempDir.h"
#include "fakes/DeviceFakes.h"
#include "fakes/ExecutorFakes.h"

#include <gtest/gtest.h>

#include <chrono>

namespace krv::test {
namespace {

class ExecutorWithMouse : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path config = dir / "config.ini";
    SimulatedMouse mouse;
    DeviceLink link{mouse};
    PressChannel channel;
    ProfileSettings settings;
    ApplyFeedback feedback;
    MacroTable macros;
    RecordingPointer pointer;
    RecordingNotifier notifier;
    RecordingInjector injector;
    RecordingShell shell;
    SteadyExecutorClock clock;
    ProfileApplier applier{{settings, config, link, feedback, pointer, notifier, [] {}}};
    ReportReader reader{link, channel, feedback, settings, notifier};
    ActionExecutor executor{ActionExecutorPorts{
        .channel = channel, .settings = settings, .macros = macros, .injector = injector, .shell = shell, .clock = clock,
        .configPath = config,
        .sendFeatureReport = [this](std::uint8_t c, std::uint8_t p1, std::uint8_t p2) {
            (void)link.SendFeatureReport(static_cast<FeatureCommand>(c), p1, p2); // the mouse's state is checked instead
        },
        .applyStoredProfile = [this](int n, const auto& refusals) { return applier.ApplyStoredProfile(n, refusals); },
        .requestRepaint = [this] { notifier.requestRepaint(); }}};

    std::mutex mutex;
    std::condition_variable mouseChanged;

    void SetUp() override {
        mouse.setChangeCallback([this] {
            std::lock_guard lock(mutex);
            mouseChanged.notify_all();
        });
        ASSERT_TRUE(link.ScanForMouse());
        reader.start();
        executor.start();
    }
    void TearDown() override {
        reader.stop();
        executor.stop();
    }
    template <class Pred>
    void waitForMouse(Pred pred) {
        std::unique_lock lock(mutex);
        mouseChanged.wait(lock, [&] { return pred(mouse.state()); });
    }
    void waitForAcknowledgement() {
        // Polled, not atomic-waited: MinGW's atomic wait can miss a notification.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!feedback.HostFunctionsReady.load() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        ASSERT_TRUE(feedback.HostFunctionsReady.load());
    }
    void waitUntilServed() {
        // The press is taken (PendingPress set) and then served (cleared).
        while (channel.PendingPress.load(std::memory_order_acquire) != 0)
            std::this_thread::yield();
    }
    void writeProfile(int n, std::array<std::int32_t, 8> buttonCodes, int level) {
        ProfileValues v = FactoryProfile();
        v.buttonCodes = buttonCodes;
        v.dpiStage = level;
        ASSERT_TRUE(SaveProfileValues(v, config, n));
    }
};

TEST_F(ExecutorWithMouse, DpiStepFromTheMouseReachesTheMouseAndTheFile) {
    writeProfile(3, {1, 2, 3, 5, 4, 18, 17, 13}, 2);
    settings.currentProfile = 3;
    krv::test::requireOk(LoadProfile(settings, config, 3, false, UiLanguage::English));
    applier.ApplyProfile();
    waitForAcknowledgement();

    mouse.press(6); // slot 6: DPI down
    waitForMouse([](const SimMouseState& s) { return s.dpiStage == 1; });
    mouse.release();
    EXPECT_EQ(settings.dpiStage.load(), 1);
    waitUntilServed();
    EXPECT_EQ(IniFile::readString(config, "Config3", "DPI_LEVEL", "", 5), "1");
}

TEST_F(ExecutorWithMouse, ProfileSwitchAppliesTheNextProfileFromTheExecutorThread) {
    writeProfile(1, {1, 40, 3, 5, 4, 18, 17, 13}, 0);
    writeProfile(2, {1, 40, 3, 31, 4, 18, 17, 13}, 0);
    settings.currentProfile = 1;
    krv::test::requireOk(LoadProfile(settings, config, 1, false, UiLanguage::English));
    applier.ApplyProfile();
    waitForAcknowledgement();

    const auto reportsBefore = mouse.state().featureReports.size();
    mouse.press(2); // slot 2: next profile
    waitForMouse([&](const SimMouseState& s) { return s.featureReports.size() >= reportsBefore + 11; });
    mouse.release();
    waitUntilServed();
    EXPECT_EQ(settings.currentProfile.load(), 2);
    EXPECT_EQ(IniFile::readString(config, "Init", "CurConfig", "", 5), "2");
    EXPECT_EQ(mouse.state().buttonMap[5], HostCode); // slot 4 (device button 5) now Ctrl+C

    waitForAcknowledgement();
    mouse.press(5); // slot 4: Ctrl+C
    injector.waitFor(4);
    mouse.release();
    EXPECT_EQ(injector.events(), (std::vector<InputEvent>{down(0x11), down('C'), up('C'), up(0x11)}));
}

// Profile 4's set-up: a macro repeated while its button is held, beside the LED toggle. The LED
// press is served before its release arrives; that release must not cut the next macro short.
TEST_F(ExecutorWithMouse, ReleaseOfAQuickFunctionLeavesTheNextHeldMacroWhole) {
    macros.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0].setEventCount(2);
        records[0].setEvent(0, {'R', 1, 10});
        records[0].setEvent(1, {'R', 2, 10});
        count = 1;
    });
    writeProfile(4, {1, 2, 3, FirstMacroCode, 19, 18, 17, 13}, 0); // slot 4 macro 1, slot 5 LED toggle
    settings.currentProfile = 4;
    krv::test::requireOk(LoadProfile(settings, config, 4, false, UiLanguage::English));
    settings.macroPlaybackMode = 1;
    applier.ApplyProfile();
    waitForAcknowledgement();

    const auto reportsBefore = mouse.state().featureReports.size();
    mouse.press(4); // slot 5: LED toggle, served at once
    waitForMouse([&](const SimMouseState& s) { return s.featureReports.size() > reportsBefore; });
    waitUntilServed();
    mouse.release();

    mouse.press(5); // slot 4: the macro, held for two rounds
    ASSERT_TRUE(injector.waitFor(4, 10s)) << "the macro was cut short: " << injector.events().size() << " event(s)";
    mouse.release();
    waitUntilServed();
    const std::vector<InputEvent> events = injector.events();
    int held = 0;
    for (const InputEvent& e : events) {
        ASSERT_EQ(e.code, 'R');
        held += e.kind == InputKind::KeyDown ? 1 : -1;
        ASSERT_GE(held, 0);
    }
    EXPECT_EQ(held, 0) << "R is still down";
}

// "C down, a minute's pause, C up" on slot 4: the release of the button (repeat while held) or a
// second press (played once) ends the pause at once and C goes up then, not a minute later.
TEST_F(ExecutorWithMouse, AStopFromTheMouseLetsGoOfTheKeyInTheMiddleOfALongPause) {
    macros.modify([](MacroTable::Records& records, std::int16_t& count) {
        records[0].setEventCount(2);
        records[0].setEvent(0, {'C', 1, 60000});
        records[0].setEvent(1, {'C', 2, 0});
        count = 1;
    });
    writeProfile(4, {1, 2, 3, FirstMacroCode, 4, 18, 17, 13}, 0);
    settings.currentProfile = 4;
    krv::test::requireOk(LoadProfile(settings, config, 4, false, UiLanguage::English));
    for (const int mode : {1, 0}) {
        SCOPED_TRACE(mode == 1 ? "release (repeat while held)" : "second press");
        settings.macroPlaybackMode = mode;
        applier.ApplyProfile();
        waitForAcknowledgement();
        const std::size_t before = injector.events().size();
        mouse.press(5); // slot 4
        ASSERT_TRUE(injector.waitFor(before + 1, 10s));
        if (mode == 1) {
            mouse.release();
        } else {
            mouse.release();
            mouse.press(5);
            mouse.release();
        }
        // The bound is far below the pause: only a pause that ends at the stop lets C go in time.
        ASSERT_TRUE(injector.waitFor(before + 2, 10s)) << "C is still down";
        waitUntilServed();
        const std::vector<InputEvent> events = injector.events();
        EXPECT_EQ(std::vector<InputEvent>(events.begin() + static_cast<long>(before), events.end()),
                  (std::vector<InputEvent>{down('C'), up('C')}));
    }
}

} // namespace
} // namespace krv::test
