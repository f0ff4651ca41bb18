// SPDX-License-Identifier: MIT
#include "app/ctl/CtlApp.h"
#include "app/ctl/CtlDeviceCommands.h"
#include "app/ctl/CtlSystem.h"
#include "settings/IniFile.h"
#include "sim/SimulatedMouse.h"

#include "unit/app/AppFolder.h"

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
    EXPECT_EQ(found.out, "mouse found\npath /dev/hidraw-sim1\ninput report length 8\nfeature report length 8\n");

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
        EXPECT_EQ(out.str(), "") << args[0];
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

} // namespace
