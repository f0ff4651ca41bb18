// SPDX-License-Identifier: MIT
#include "device/ApplyProfile.h"
#include "unit/RequireOk.h"

#include "device/DeviceLink.h"
#include "fakes/DeviceFakes.h"
#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <tuple>
#include <vector>

using namespace krv;

namespace {

using Triple = std::tuple<int, int, int>; // command, first, second
using Report = std::vector<std::uint8_t>;

Report wire(const Triple& t) {
    Report r(SimulatedMouse::FeatureReportLength, 0);
    r[0] = 0x07;
    r[1] = static_cast<std::uint8_t>(std::get<0>(t));
    r[2] = static_cast<std::uint8_t>(std::get<1>(t));
    r[3] = static_cast<std::uint8_t>(std::get<2>(t));
    return r;
}

std::vector<Report> wire(const std::vector<Triple>& triples) {
    std::vector<Report> out;
    for (const Triple& t : triples)
        out.push_back(wire(t));
    return out;
}

struct ApplyRig {
    test::TempDir dir;
    std::filesystem::path config = dir / "config.ini";
    SimulatedMouse sim;
    DeviceLink link{sim};
    ProfileSettings settings;
    ApplyFeedback feedback;
    test::RecordingPointer pointer;
    test::RecordingNotifier notifier;
    std::atomic<int> blinkStarts{0};
    ProfileApplier applier{{settings, config, link, feedback, pointer, notifier, [this] { ++blinkStarts; }}};

    explicit ApplyRig(bool connect = true) {
        sim.setAcknowledges(false);
        if (connect) {
            EXPECT_TRUE(link.ScanForMouse());
        }
    }
    void load(const ProfileValues& v, int curConfig) {
        settings.setValues(v);
        settings.currentProfile.store(curConfig);
    }
};

ProfileValues profile(std::array<std::int32_t, 8> buttonCodes, std::array<std::uint8_t, 4> dpiSet, int level, int led,
                      int wheel, int fire) {
    ProfileValues v = FactoryProfile();
    v.buttonCodes = buttonCodes;
    v.dpiStagePositions = dpiSet;
    v.dpiStage = level;
    v.ledMode = static_cast<std::uint8_t>(led);
    v.wheelMode = wheel;
    v.fireInterval = fire;
    return v;
}

TEST(ApplyProfile, SendsExactlyTheProfilesReportsInOrder) {
    struct Case {
        const char* name;
        ProfileValues values;
        std::vector<Triple> expected;
    };
    // clang-format off
    const std::vector<Case> cases{
        {"factory profile: slots 6 and 7 host-served, slot 8 code 13 is device value 9, stage 0 at position 1",
         FactoryProfile(),
         {{0x10, 1, 1}, {0x10, 2, 2}, {0x10, 3, 3}, {0x10, 5, 5}, {0x10, 4, 4}, {0x10, 6, 31}, {0x10, 8, 31},
          {0x10, 9, 9}, {0x11, 0, 0}, {0x09, 0, 0x90}, {0x12, 6, 0}}},
        {"stage 3 at position 0; fire 300",
         profile({1, 2, 3, 5, 4, 1, 2, 3}, {1, 2, 3, 0}, 3, 0, 1, 300),
         {{0x10, 1, 1}, {0x10, 2, 2}, {0x10, 3, 3}, {0x10, 5, 5}, {0x10, 4, 4}, {0x10, 6, 1}, {0x10, 8, 2},
          {0x10, 9, 3}, {0x11, 1, 0}, {0x09, 3, 0x80}, {0x12, 37, 0}}},
        {"position 4 with LED 3; fire 7; wheel option keeps its low byte",
         profile({0, 11, 16, 21, 25, 1, 40, 52}, {0, 4, 0, 0}, 1, 3, 0x1FF, 7),
         {{0x10, 1, 0}, {0x10, 2, 7}, {0x10, 3, 12}, {0x10, 5, 13}, {0x10, 4, 17}, {0x10, 6, 1}, {0x10, 8, 31},
          {0x10, 9, 31}, {0x11, 0xFF, 0}, {0x09, 1, 0xC3}, {0x12, 0, 0}}},
        {"codes without a device value send no slot report",
         profile({7, 6, 20, -1, 53, 10, 19, 1}, {2, 2, 2, 2}, 2, 1, 0, 8),
         {{0x10, 2, 31}, {0x10, 8, 31}, {0x10, 9, 1}, {0x11, 0, 0}, {0x09, 2, 0xA1}, {0x12, 1, 0}}},
        {"codes 27 to 30 are host-served like the rest of 26 to 52",
         profile({27, 28, 29, 30, 1, 2, 3, 4}, {0, 0, 0, 0}, 0, 2, 0, 16),
         {{0x10, 1, 31}, {0x10, 2, 31}, {0x10, 3, 31}, {0x10, 5, 31}, {0x10, 4, 1}, {0x10, 6, 2}, {0x10, 8, 3},
          {0x10, 9, 4}, {0x11, 0, 0}, {0x09, 0, 0x82}, {0x12, 2, 0}}},
        {"a stage number out of range is clamped",
         profile({1, 2, 3, 5, 4, 1, 1, 1}, {0, 1, 2, 3}, 9, 0, 0, 0),
         {{0x10, 1, 1}, {0x10, 2, 2}, {0x10, 3, 3}, {0x10, 5, 5}, {0x10, 4, 4}, {0x10, 6, 1}, {0x10, 8, 1},
          {0x10, 9, 1}, {0x11, 0, 0}, {0x09, 3, 0xB0}, {0x12, 0, 0}}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ApplyRig rig;
        rig.load(c.values, 2);
        rig.applier.ApplyProfile();
        EXPECT_EQ(rig.sim.state().featureReports, wire(c.expected));
    }
}

TEST(ApplyProfile, FirstHostSlotStartsTheWaitAndTheBlinkOnce) {
    ApplyRig rig;
    rig.load(FactoryProfile(), 1);
    rig.applier.ApplyProfile();
    EXPECT_FALSE(rig.feedback.HostFunctionsReady);
    EXPECT_EQ(rig.feedback.BlinkSlot, 6);
    EXPECT_TRUE(rig.feedback.BlinkPhase);
    EXPECT_TRUE(rig.feedback.BlinkStarted);
    EXPECT_TRUE(rig.feedback.BlinkRunning);
    EXPECT_EQ(rig.blinkStarts, 1);
    const std::array<int, 8> dpiAction{0, 0, 0, 0, 0, -1, 1, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(rig.settings.dpiActions[i], dpiAction[i]) << "slot " << i + 1;

    // No acknowledgement came: the next apply waits again but does not start a second blink.
    rig.settings.buttonCodes[5] = 1;
    rig.applier.ApplyProfile();
    EXPECT_FALSE(rig.feedback.HostFunctionsReady);
    EXPECT_EQ(rig.feedback.BlinkSlot, 7);
    EXPECT_EQ(rig.blinkStarts, 1);

    // A profile without host-served slots leaves the functions ready and starts nothing.
    rig.feedback.BlinkStarted = false;
    rig.load(profile({1, 2, 3, 5, 4, 1, 1, 1}, {0, 0, 0, 0}, 0, 0, 0, 0), 1);
    rig.applier.ApplyProfile();
    EXPECT_TRUE(rig.feedback.HostFunctionsReady);
    EXPECT_EQ(rig.blinkStarts, 1);
}

TEST(ApplyProfile, SavesSnapshotBeforeSendingAndTheProfileAfter) {
    ApplyRig rig;
    ProfileValues v = FactoryProfile();
    v.buttonCodes[1] = 3;
    rig.load(v, 3);
    std::vector<std::string> seen; // "Config6 K2" and "Config3 K2" when each report arrives
    rig.sim.setChangeCallback([&] {
        seen.push_back(IniFile::readString(rig.config, "Config6", "K2") + "/" +
                       IniFile::readString(rig.config, "Config3", "K2"));
    });
    rig.applier.ApplyProfile();
    ASSERT_EQ(seen.size(), 11u);
    for (const std::string& s : seen)
        EXPECT_EQ(s, "3/"); // the snapshot is written before the first report, the profile after the last
    EXPECT_EQ(IniFile::readString(rig.config, "Config3", "K2"), "3");
    EXPECT_EQ(IniFile::readString(rig.config, "Init", "CurConfig"), "3");

    ProfileSettings reread;
    krv::test::requireOk(LoadProfile(reread, rig.config, 6, false, UiLanguage::English));
    EXPECT_EQ(reread.values(), v);
    krv::test::requireOk(LoadProfile(reread, rig.config, 3, false, UiLanguage::English));
    EXPECT_EQ(reread.values(), v);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(rig.settings.appliedDpiStagePositions[s], v.dpiStagePositions[s]);
    EXPECT_EQ(rig.settings.appliedLedMode, v.ledMode);
    EXPECT_GE(rig.notifier.repaints, 1);
}

TEST(ApplyProfile, PointerSpeedAndWheelLines) {
    const std::vector<std::pair<int, int>> speeds{{0, 1},  {1, 2},  {2, 4},   {5, 10},
                                                  {8, 16}, {9, 18}, {10, 18}, {255, 18}};
    for (const auto& [step, speed] : speeds)
        EXPECT_EQ(PointerSpeedOfStep(static_cast<std::uint8_t>(step)), speed) << "DPI_SPEED " << step;

    ApplyRig rig;
    rig.load(FactoryProfile(), 1); // pointer speed 5, wheel speed 2
    rig.applier.ApplyProfile();
    EXPECT_EQ(rig.pointer.calls(), (std::vector<std::string>{"get speed", "set speed 10", "get lines", "set lines 3"}));

    // A get that fails skips its set.
    ApplyRig failing;
    failing.pointer.speed.reset();
    failing.pointer.lines.reset();
    failing.load(FactoryProfile(), 1);
    failing.applier.ApplyProfile();
    EXPECT_EQ(failing.pointer.calls(), (std::vector<std::string>{"get speed", "get lines"}));
}

TEST(ApplyProfile, WithoutTheMouseOrWithRefusedSendsStillSavesAndNeverFails) {
    ApplyRig unconnected(false);
    unconnected.load(FactoryProfile(), 4);
    unconnected.applier.ApplyProfile();
    EXPECT_TRUE(unconnected.sim.state().featureReports.empty());
    EXPECT_EQ(IniFile::readString(unconnected.config, "Config4", "K6"), "18");
    EXPECT_FALSE(unconnected.feedback.HostFunctionsReady); // as if the mouse had taken the reports

    ApplyRig refused;
    refused.sim.setRefuseSends(true);
    refused.load(FactoryProfile(), 5);
    refused.applier.ApplyProfile();
    EXPECT_TRUE(refused.sim.state().featureReports.empty());
    EXPECT_EQ(IniFile::readString(refused.config, "Config5", "FIRE_TIME"), "50");

    ApplyRig unplugged;
    unplugged.sim.unplug();
    unplugged.load(FactoryProfile(), 1);
    unplugged.applier.ApplyProfile();
    EXPECT_EQ(IniFile::readString(unplugged.config, "Config1", "K7"), "17");
}

TEST(ApplyProfile, TwoThreadsApplyingAtOnceSendWholeReportsAndLeaveWholeFiles) {
    ApplyRig rig;
    ProfileValues a = FactoryProfile();
    rig.load(a, 2);
    std::function<void()> apply = rig.applier.callback(); // as RestoreDefaults and the profile switch take it
    constexpr int Rounds = 20;
    std::thread other([&] {
        for (int i = 0; i < Rounds; ++i)
            apply();
    });
    for (int i = 0; i < Rounds; ++i)
        apply();
    other.join();

    const auto expected = wire(std::vector<Triple>{{0x10, 1, 1},
                                                   {0x10, 2, 2},
                                                   {0x10, 3, 3},
                                                   {0x10, 5, 5},
                                                   {0x10, 4, 4},
                                                   {0x10, 6, 31},
                                                   {0x10, 8, 31},
                                                   {0x10, 9, 9},
                                                   {0x11, 0, 0},
                                                   {0x09, 0, 0x90},
                                                   {0x12, 6, 0}});
    const auto reports = rig.sim.state().featureReports;
    EXPECT_EQ(reports.size(), expected.size() * 2 * Rounds);
    for (const Report& r : reports)
        EXPECT_NE(std::find(expected.begin(), expected.end(), r), expected.end());
    ProfileSettings reread;
    krv::test::requireOk(LoadProfile(reread, rig.config, 2, false, UiLanguage::English));
    EXPECT_EQ(reread.values(), a);
    krv::test::requireOk(LoadProfile(reread, rig.config, 6, false, UiLanguage::English));
    EXPECT_EQ(reread.values(), a);
}

} // namespace

namespace {

// The mouse always keeps a left button: a profile without one is refused before anything is sent or
// written, and the user is told why.
TEST(ApplyProfile, AProfileWithoutTheLeftClickIsNeverSent) {
    ApplyRig rig;
    rig.load(profile({2, 3, 5, 4, 18, 17, 13, 0}, {1, 2, 3, 0}, 0, 0, 0, 50), 2);
    EXPECT_EQ(rig.applier.ApplyProfile(), ProfileApplier::Outcome::NotSent);
    EXPECT_TRUE(rig.sim.state().featureReports.empty());
    EXPECT_FALSE(std::filesystem::exists(rig.config));
    ASSERT_EQ(rig.notifier.messages().size(), 1u);
    EXPECT_NE(rig.notifier.messages()[0].find("No button is set to Left Click"), std::string::npos);
}

// A stored profile that is not sent (the file cannot be read, or the profile has no left click)
// changes nothing: not the mouse, not the settings in memory, not the file. Its caller's refusals say
// why in place of the notifier's messages; without them the notifier does.
TEST(ApplyProfile, AStoredProfileThatIsNotSentChangesNothingAndIsSaidOnce) {
    struct Case {
        const char* name;
        bool unreadable; // else profile 3 has no left click
        bool callerSays;
        std::string said;
    };
    const std::vector<Case> cases{
        {"no left click, told by the caller", false, true, "no left click"},
        {"no left click, told by the notifier", false, false, "No button is set to Left Click"},
        {"an unreadable file, told by the caller", true, true, "unreadable: "},
        {"an unreadable file, told by the notifier", true, false, "is a folder, not a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ApplyRig rig;
        ProfileValues noLeftClick = FactoryProfile();
        noLeftClick.buttonCodes = {2, 3, 5, 4, 18, 17, 13, 2};
        krv::test::requireOk(SaveProfileValues(noLeftClick, rig.config, 3));
        if (c.unreadable) {
            std::filesystem::remove(rig.config);
            std::filesystem::create_directory(rig.config);
        }
        const std::string before = c.unreadable ? std::string() : test::readFile(rig.config);
        rig.load(FactoryProfile(), 1);
        std::vector<std::string> told;
        ProfileApplier::StoredRefusals refusals;
        if (c.callerSays)
            refusals = {.unreadable = [&](const FileStatus& problem) { told.push_back("unreadable: " + problem.message()); },
                        .noLeftButton = [&] { told.push_back("no left click"); }};
        EXPECT_EQ(rig.applier.ApplyStoredProfile(3, refusals), ProfileApplier::Outcome::NotSent);
        const std::vector<std::string> messages = c.callerSays ? told : rig.notifier.messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_NE(messages[0].find(c.said), std::string::npos) << messages[0];
        if (c.callerSays) {
            EXPECT_TRUE(rig.notifier.messages().empty());
        }
        EXPECT_TRUE(rig.sim.state().featureReports.empty());
        EXPECT_EQ(rig.settings.currentProfile.load(), 1);
        EXPECT_EQ(rig.settings.values(), FactoryProfile());
        if (c.unreadable) {
            EXPECT_TRUE(std::filesystem::is_directory(rig.config));
        } else {
            EXPECT_EQ(test::readFile(rig.config), before);
        }
    }
}

TEST(ApplyProfile, ASaveThatFailsIsReported) {
    ApplyRig rig;
    const std::string before = "[Init]\r\nCurConfig=2\r\n";
    test::writeFile(rig.config, before);
    std::filesystem::permissions(rig.config, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    rig.load(FactoryProfile(), 2);
    EXPECT_EQ(rig.applier.ApplyProfile(), ProfileApplier::Outcome::NotSaved);
    EXPECT_EQ(rig.sim.state().featureReports.size(), 11u); // the mouse has the profile
    EXPECT_EQ(test::readFile(rig.config), before);
    ASSERT_EQ(rig.notifier.messages().size(), 1u);
    EXPECT_EQ(rig.notifier.messages()[0], "The settings did not reach the disk.\n" + rig.config.string() +
                                              ": is read-only (no write permission)");
}

// The window's apply: the keys it changed since it read the profile go over the profile as the file
// holds it now; what another program saved meanwhile in the other keys is sent, kept and shown. An
// edit that would take the last left click from the merged profile is refused like any other.
TEST(ApplyProfile, EditsGoOverTheProfileAsTheFileHoldsItNow) {
    ApplyRig rig;
    const ProfileValues read = FactoryProfile();
    krv::test::requireOk(SaveProfileValues(read, rig.config, 2));
    ProfileValues theirs = read;
    theirs.buttonCodes[1] = 33;
    theirs.fireInterval = 123;
    krv::test::requireOk(SaveProfileValues(theirs, rig.config, 2));
    ProfileValues mine = read;
    mine.wheelMode = 1;
    rig.load(mine, 2);
    EXPECT_EQ(rig.applier.ApplyEdits(read), ProfileApplier::Outcome::Applied);
    ProfileValues expected = theirs;
    expected.wheelMode = 1;
    for (int section : {2, AppliedProfileSection})
        EXPECT_EQ(ReadProfileValues(IniFile::load(rig.config), section, false, UiLanguage::English), expected);
    EXPECT_EQ(rig.settings.values(), expected);
    EXPECT_EQ(rig.sim.state().buttonMap[DeviceButtonId[1]], *DeviceValue(33));
    EXPECT_EQ(rig.sim.state().wheelOption, 1);

    // Another program moved the left click off slot 1 and the window put slot 1 elsewhere too.
    ProfileValues noLeft = expected;
    noLeft.buttonCodes[0] = 2;
    noLeft.buttonCodes[4] = 4;
    krv::test::requireOk(SaveProfileValues(noLeft, rig.config, 2));
    const std::size_t sent = rig.sim.state().featureReports.size();
    const std::string before = test::readFile(rig.config);
    ProfileValues slotOneMoved = expected;
    slotOneMoved.buttonCodes[1] = 3; // the window's K2; K1 on file stays 2
    rig.load(slotOneMoved, 2);
    EXPECT_EQ(rig.applier.ApplyEdits(expected), ProfileApplier::Outcome::NotSent);
    EXPECT_EQ(rig.sim.state().featureReports.size(), sent);
    EXPECT_EQ(test::readFile(rig.config), before);
}

} // namespace

namespace {

// "The current profile" as the file names it in the lock hold of the save: a switch another program
// saved since the caller last looked is applied, not undone; a "CurConfig" that names no profile sends
// and changes nothing.
TEST(ApplyProfile, TheCurrentStoredProfileIsTheOneTheFileNamesAtTheSave) {
    struct Case {
        const char* curConfig;
        bool sent;
    };
    for (const Case& c : {Case{"4", true}, Case{"0", false}, Case{"6", false}, Case{"x", false}}) {
        SCOPED_TRACE(c.curConfig);
        ApplyRig rig;
        ProfileValues fourth = FactoryProfile();
        fourth.fireInterval = 144;
        krv::test::requireOk(SaveProfileValues(FactoryProfile(), rig.config, 2));
        krv::test::requireOk(SaveProfileValues(fourth, rig.config, 4));
        krv::test::requireOk(IniFile::writeString(rig.config, "Init", "CurConfig", c.curConfig));
        rig.load(FactoryProfile(), 2); // as the caller last read the file
        const std::string before = test::readFile(rig.config);
        const ProfileApplier::Outcome outcome = rig.applier.ApplyStoredProfile(ProfileApplier::CurrentStoredProfile);
        if (c.sent) {
            EXPECT_EQ(outcome, ProfileApplier::Outcome::Applied);
            EXPECT_EQ(rig.settings.currentProfile.load(), 4);
            EXPECT_EQ(rig.settings.values(), fourth);
            EXPECT_EQ(IniFile::readString(rig.config, "Init", "CurConfig"), "4");
            EXPECT_EQ(ReadProfileValues(IniFile::load(rig.config), AppliedProfileSection, false, UiLanguage::English), fourth);
        } else {
            EXPECT_EQ(outcome, ProfileApplier::Outcome::NotSent);
            EXPECT_TRUE(rig.sim.state().featureReports.empty());
            EXPECT_EQ(test::readFile(rig.config), before);
            EXPECT_EQ(rig.settings.currentProfile.load(), 2);
            ASSERT_EQ(rig.notifier.messages().size(), 1u);
            EXPECT_NE(rig.notifier.messages()[0].find("not a profile number"), std::string::npos);
        }
    }
}

} // namespace
