// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlDeviceCommands.h"
#include "app/ctl/CtlSystem.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"
#include "sim/SimulatedMouse.h"

#include "unit/app/AppFolder.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace krv;

namespace {

struct CtlResult {
    int status;
    std::string out;
    std::string err;
};

CtlResult ctl(const test::AppFolder& folder, std::vector<std::string> args) {
    std::ostringstream out, err;
    const int status = ctl::runCtl(args, folder.paths(), out, err);
    return {status, out.str(), err.str()};
}

TEST(CtlDevice, SimulatedApplyPrintsExactlyTheReportsSent) {
    test::AppFolder folder;
    const CtlResult run = ctl(folder, {"--simulate", "apply", "1"}); // profile 1: the factory values
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "07 10 01 01 00 00 00 00\n"
                       "07 10 02 02 00 00 00 00\n"
                       "07 10 03 03 00 00 00 00\n"
                       "07 10 05 05 00 00 00 00\n"
                       "07 10 04 04 00 00 00 00\n"
                       "07 10 06 1f 00 00 00 00\n"
                       "07 10 08 1f 00 00 00 00\n"
                       "07 10 09 09 00 00 00 00\n"
                       "07 11 00 00 00 00 00 00\n"
                       "07 09 00 90 00 00 00 00\n"
                       "07 12 06 00 00 00 00 00\n");
    EXPECT_TRUE(run.err.empty());
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Init", "CurConfig"), "1");
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Config6", "K6"), "18");
}

TEST(CtlDevice, StatusAndErrors) {
    test::AppFolder folder;
    const CtlResult found = ctl(folder, {"--simulate", "status"});
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(found.out, "mouse found\npath /dev/hidraw-sim1\ninput report length 8\nfeature report length 8\n"
                         "no companion running\n");

    for (const auto& args : std::vector<std::vector<std::string>>{
             {"--simulate", "apply", "6"}, {"--simulate", "apply", "1", "2"}, {"--simulate", "status", "x"}}) {
        const CtlResult run = ctl(folder, args);
        EXPECT_EQ(run.status, 2);
        EXPECT_TRUE(run.out.empty());
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    }
}

// Without the mouse, the device commands say so and give the next step: whether the system sees the
// mouse at all.
TEST(CtlDevice, WithoutTheMouseTheToolSaysWhatToCheckNext) {
    test::AppFolder folder;
    const auto snapshot = folder.snapshot();
    ctl::CtlSystem system = ctl::ThisSystem();
    system.hidBackend = []() -> std::unique_ptr<HidBackend> {
        auto mouse = std::make_unique<SimulatedMouse>();
        mouse->unplug();
        return mouse;
    };
#ifdef _WIN32
    const std::string expected = "krv-glyde-ctl: mouse not found (if it is plugged in, check that the Device Manager "
                                 "shows hardware id USB\\VID_18F8&PID_0F99)\n";
#else
    const std::string expected = "krv-glyde-ctl: mouse not found (if it is plugged in, check that lsusb lists 18f8:0f99)\n";
#endif
    for (const auto& args : std::vector<std::vector<std::string>>{{"status"}, {"apply", "2"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(ctl::runCtl(args, folder.paths(), system, out, err), 1) << args[0];
        EXPECT_EQ(out.str(), args[0] == "status" ? "no companion running\n" : "") << args[0];
        EXPECT_EQ(err.str(), expected) << args[0];
    }
    EXPECT_EQ(folder.snapshot(), snapshot);
}

TEST(CtlDevice, VerboseSaysWhatTheToolDoesOnStandardError) {
    test::AppFolder folder;
    // Profile 2: the shipped file holds profile 1 as applied already, and would not be rewritten.
    const CtlResult verbose = ctl(folder, {"apply", "--verbose", "2", "--simulate"});
    const CtlResult quiet = ctl(folder, {"--simulate", "apply", "2"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_EQ(verbose.out, quiet.out); // the reports on standard output stay as they are
    EXPECT_TRUE(quiet.err.empty());
    for (const char* expected :
         {"krv-glyde-ctl: device: scan of 3 HID collections: the mouse at /dev/hidraw-sim1 (input reports of 8 bytes, "
          "feature reports of 8 bytes)\n",
          "krv-glyde-ctl: apply: applying profile 2\n", "krv-glyde-ctl: files: saved ", "krv-glyde-ctl: device: feature report 07 10 01 ",
          "config.ini (", "krv-glyde-ctl: apply: applied and saved\n"})
        EXPECT_NE(verbose.err.find(expected), std::string::npos) << expected << "\nin:\n" << verbose.err;
}

TEST(CtlDevice, ListenLinesNameEachReport) {
    using Kind = SpecialButtonEvent::Kind;
    const std::vector<std::uint8_t> press{5, 245}, ack{6, 0}, odd{5, 240};
    EXPECT_EQ(ctl::DescribeInputReport(press, {Kind::Press, 245, true}), "press 245");
    EXPECT_EQ(ctl::DescribeInputReport(press, {Kind::Press, 245, false}), "press 245 (ignored)");
    EXPECT_EQ(ctl::DescribeInputReport(ack, {Kind::Release, 0, true}), "release");
    EXPECT_EQ(ctl::DescribeInputReport(ack, {Kind::Acknowledgement, 0, true}), "acknowledgement");
    EXPECT_EQ(ctl::DescribeInputReport(odd, {Kind::Other, 240, false}), "other 05 f0");
}


// Values out of their range, whether an import brings them or config.ini holds them, are brought
// into range before they are shown, saved or sent: the nearest valid value, a slot's factory code for
// a code no slot can hold, the first enabled stage for a current stage that is out of range or off.
TEST(CtlDevice, OutOfRangeValuesNeverReachTheMouse) {
    struct Case {
        const char* key;
        const char* stored;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"LED_STATUS", "200", "3"},  {"FIRE_TIME", "9999", "300"}, {"FIRE_TIME", "-5", "0"},
        {"WHEEL_SPEED", "253", "9"}, {"DPI_SPEED", "10", "9"},     {"DPI_LEVEL", "99", "0"},
        {"DPI_LEVEL", "-1", "0"},    {"K2", "999", "2"},           {"K3", "20", "3"},
        {"K4", "-7", "5"},           {"DPI_SET2", "7", "4"},       {"WHEEL_STATUS", "5", "1"},
        {"MACRO_MODE2", "-3", "0"},
    };
    for (const bool imported : {true, false}) {
        for (const Case& c : cases) {
            test::AppFolder folder;
            std::string file = "[Config7]\n";
            for (const auto& [key, value] : ProfileKeyValues(FactoryProfile()))
                file += key + "=" + (key == c.key ? std::string(c.stored) : value) + "\n";
            test::writeFile(folder / "exchange.ini", file);
            if (imported)
                ASSERT_EQ(ctl(folder, {"profile", "import", (folder / "exchange.ini").string(), "2"}).status, 0);
            else
                ASSERT_TRUE(IniFile::writeString(folder / "config.ini", "Config2", c.key, c.stored).ok());
            const CtlResult shown = ctl(folder, {"profile", "show", "2"});
            EXPECT_NE(shown.out.find(std::string("\n") + c.key + "=" + c.shown + "\n"), std::string::npos)
                << c.key << "=" << c.stored << (imported ? " imported" : " in config.ini") << ":\n" << shown.out;
            EXPECT_EQ(ctl(folder, {"--simulate", "apply", "2"}).status, 0);
        }
    }
    // The reports of one file holding several at once.
    test::AppFolder folder;
    std::string file = "[Config7]\n";
    for (auto [key, value] : ProfileKeyValues(FactoryProfile())) {
        for (const auto& [bad, stored] : std::vector<std::pair<std::string, std::string>>{
                 {"LED_STATUS", "200"}, {"FIRE_TIME", "9999"}, {"WHEEL_SPEED", "253"}, {"DPI_LEVEL", "99"}, {"K2", "999"}})
            if (key == bad)
                value = stored;
        file += key + "=" + value + "\n";
    }
    test::writeFile(folder / "exchange.ini", file);
    ASSERT_EQ(ctl(folder, {"profile", "import", (folder / "exchange.ini").string(), "2"}).status, 0);
    const CtlResult run = ctl(folder, {"--simulate", "apply", "2"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("07 10 02 02 00 00 00 00\n"), std::string::npos) << run.out; // K2: its factory code
    EXPECT_NE(run.out.find("07 09 00 93 "), std::string::npos) << run.out;              // LED mode 3
    EXPECT_NE(run.out.find("07 12 25 00 00 00 00 00\n"), std::string::npos) << run.out; // 300 / 8
    const CtlResult shown = ctl(folder, {"profile", "show", "2"});
    for (const char* expected : {"\nK2=2\n", "\nDPI_LEVEL=0\n", "\nLED_STATUS=3\n", "\nWHEEL_SPEED=9\n", "\nFIRE_TIME=300\n"})
        EXPECT_NE(shown.out.find(expected), std::string::npos) << expected << " in:\n" << shown.out;
    EXPECT_EQ(IniFile::readString(folder / "config.ini", "Config2", "LED_STATUS"), "3"); // saved in range
}

} // namespace
