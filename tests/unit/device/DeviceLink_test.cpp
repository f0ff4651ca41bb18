// SPDX-License-Identifier: MIT
#include "device/DeviceLink.h"

#include "sim/SimulatedMouse.h"

#include <gtest/gtest.h>

#include <functional>

#include <vector>

using namespace krv;
using Collection = SimulatedMouse::Collection;

namespace {

HidCollectionInfo otherDevice(int n) {
    HidCollectionInfo info;
    info.path = "/dev/hidraw-other" + std::to_string(n);
    info.vendorId = 0x046D;
    info.productId = 0xC077;
    info.usagePage = 0xFF00; // a vendor collection of another maker: not ours
    info.usage = 1;
    info.inputReportLength = 20;
    return info;
}

TEST(DeviceLink, ScanFindsBothCollectionsInAnyOrderAndStopsAfterTheSecond) {
    struct Case {
        const char* name;
        std::vector<Collection> order;
        bool connected;
        std::string path;
    };
    const std::string vendor = SimulatedMouse::VendorPath;
    const std::string pointer = SimulatedMouse::PointerPath;
    const std::vector<Case> cases{
        {"pointer first", {Collection::Pointer, Collection::VendorInput, Collection::VendorFeature}, true, vendor},
        // The pointer comes after both vendor collections: the scan has stopped and never sees it.
        {"vendor first", {Collection::VendorInput, Collection::VendorFeature, Collection::Pointer}, true, vendor},
        {"feature first", {Collection::VendorFeature, Collection::VendorInput, Collection::Pointer}, true, vendor},
        {"pointer between", {Collection::VendorInput, Collection::Pointer, Collection::VendorFeature}, true, vendor},
        // A mouse with one vendor collection missing is not connected.
        {"feature collection missing", {Collection::VendorInput, Collection::Pointer}, false, pointer},
        {"input collection missing", {Collection::Pointer, Collection::VendorFeature}, false, vendor},
        {"pointer only: matched, opens nothing", {Collection::Pointer}, false, pointer},
        {"no mouse", {}, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedMouse sim;
        sim.setEnumerationOrder(c.order);
        sim.setOtherDevices({otherDevice(1), otherDevice(2)});
        DeviceLink link(sim);
        EXPECT_EQ(link.ScanForMouse(), c.connected);
        EXPECT_EQ(link.connected(), c.connected);
        EXPECT_EQ(link.devicePath(), c.path);
        EXPECT_EQ(link.writeHandleOpen(), c.connected);
        EXPECT_EQ(link.readHandle() != nullptr, c.connected);
        if (c.connected) {
            EXPECT_EQ(link.inputReportLength(), SimulatedMouse::InputReportLength);
            EXPECT_EQ(link.featureReportLength(), SimulatedMouse::FeatureReportLength);
            EXPECT_TRUE(link.SendFeatureReport(FeatureCommand::Wheel, 1, 0));
        } else {
            EXPECT_FALSE(link.SendFeatureReport(FeatureCommand::Wheel, 1, 0));
        }
    }
}

TEST(DeviceLink, ScanExaminesAtMostOneHundredCollections) {
    for (const auto& [othersBefore, connected] :
         std::vector<std::pair<int, bool>>{{98, true}, {99, false}, {150, false}}) {
        SCOPED_TRACE(othersBefore);
        std::vector<HidCollectionInfo> others;
        for (int i = 0; i < othersBefore; ++i)
            others.push_back(otherDevice(i));
        SimulatedMouse sim;
        sim.setEnumerationOrder({Collection::VendorInput, Collection::VendorFeature, Collection::Pointer});
        sim.setOtherDevices(others, true);
        DeviceLink link(sim);
        EXPECT_EQ(link.ScanForMouse(), connected);
    }
}

TEST(DeviceLink, ACollectionThatCannotBeOpenedLeavesTheMouseDisconnected) {
    for (Collection failing : {Collection::VendorInput, Collection::VendorFeature}) {
        SimulatedMouse sim;
        sim.setOpenFailure(failing, true);
        DeviceLink link(sim);
        EXPECT_FALSE(link.ScanForMouse());
        EXPECT_EQ(link.devicePath(), SimulatedMouse::VendorPath); // found, so a hint about permissions can be given
        EXPECT_FALSE(link.writeHandleOpen());
        EXPECT_EQ(link.readHandle(), nullptr);

        sim.setOpenFailure(failing, false);
        EXPECT_TRUE(link.ScanForMouse()); // a later scan starts afresh
    }
}

TEST(DeviceLink, IsOurDeviceComparesPathsIgnoringAsciiCase) {
    SimulatedMouse sim;
    DeviceLink link(sim);
    EXPECT_FALSE(link.IsOurDevice(""));
    EXPECT_FALSE(link.IsOurDevice(SimulatedMouse::VendorPath));
    ASSERT_TRUE(link.ScanForMouse());
    EXPECT_TRUE(link.IsOurDevice("/dev/hidraw-sim1"));
    EXPECT_TRUE(link.IsOurDevice("/DEV/HIDRAW-SIM1"));
    EXPECT_FALSE(link.IsOurDevice("/dev/hidraw-sim0"));
    EXPECT_FALSE(link.IsOurDevice("/dev/hidraw-sim1/"));
    EXPECT_FALSE(link.IsOurDevice("/dev/hidraw-sim"));
}

TEST(DeviceLink, RemovalEndsTheConnectionAndArrivalScansAgain) {
    SimulatedMouse sim;
    DeviceLink link(sim);
    int removals = 0;
    std::vector<bool> arrivals;
    link.setRemovalCallback([&] { ++removals; });
    link.setArrivalCallback([&](bool connected) { arrivals.push_back(connected); });
    ASSERT_TRUE(link.ScanForMouse());

    // Other nodes, whatever their case, change nothing; an arrival while connected neither.
    EXPECT_FALSE(link.handleDeviceChange({DeviceChange::Kind::Removal, "/dev/hidraw-other1"}));
    EXPECT_TRUE(link.handleDeviceChange({DeviceChange::Kind::Arrival, "/dev/hidraw-SIM1"}));
    EXPECT_TRUE(arrivals.empty());
    EXPECT_EQ(removals, 0);
    EXPECT_TRUE(link.connected());

    sim.unplug();
    EXPECT_TRUE(link.handleDeviceChange({DeviceChange::Kind::Removal, "/DEV/hidraw-sim1"}));
    EXPECT_EQ(removals, 1);
    EXPECT_FALSE(link.connected());
    EXPECT_FALSE(link.writeHandleOpen());
    EXPECT_FALSE(link.SendFeatureReport(FeatureCommand::Goodbye, 0, 0));

    sim.plugIn();
    EXPECT_TRUE(link.handleDeviceChange({DeviceChange::Kind::Arrival, SimulatedMouse::VendorPath}));
    EXPECT_EQ(arrivals, std::vector<bool>{true});
    EXPECT_TRUE(link.connected());
    EXPECT_TRUE(link.SendFeatureReport(FeatureCommand::Goodbye, 0, 0));
    EXPECT_TRUE(sim.state().goodbye);
}

TEST(DeviceLink, AFeatureCollectionTooShortForACommandSendsNothing) {
    SimulatedMouse sim;
    HidCollectionInfo input = SimulatedMouse::collectionInfo(Collection::VendorInput);
    HidCollectionInfo feature = SimulatedMouse::collectionInfo(Collection::VendorFeature);
    feature.featureReportLength = 2;
    sim.setEnumerationOrder({});
    input.path = feature.path = "/dev/hidraw-odd";
    sim.setOtherDevices({input, feature});
    DeviceLink link(sim);
    ASSERT_TRUE(link.ScanForMouse());
    EXPECT_FALSE(link.SendFeatureReport(FeatureCommand::Wheel, 1, 0));
}

} // namespace

namespace {

// A scan that does not connect says why, for a message the user can act on.
TEST(DeviceLinkScanReport, TellsWhyTheMouseCannotBeUsed) {
    using Problem = krv::DeviceLink::ScanReport::Problem;
    using Collection = krv::SimulatedMouse::Collection;
    struct Case {
        const char* name;
        std::function<void(krv::SimulatedMouse&)> setUp;
        Problem problem;
        std::string detail;
    };
    const std::vector<Case> cases{
        {"connected", [](krv::SimulatedMouse&) {}, Problem::None, ""},
        {"unplugged", [](krv::SimulatedMouse& m) { m.unplug(); }, Problem::NotPluggedIn, ""},
        {"no access", [](krv::SimulatedMouse& m) { m.setOpenFailure(Collection::VendorFeature, true); },
         Problem::NotAccessible, "Permission denied"},
        {"feature collection missing",
         [](krv::SimulatedMouse& m) { m.setEnumerationOrder({Collection::Pointer, Collection::VendorInput}); },
         Problem::CollectionMissing, "vendor feature interface (usage page 0xFF01)"},
        {"input collection missing",
         [](krv::SimulatedMouse& m) { m.setEnumerationOrder({Collection::VendorFeature, Collection::Pointer}); },
         Problem::CollectionMissing, "vendor input interface (usage page 0xFF00)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        krv::SimulatedMouse sim;
        c.setUp(sim);
        krv::DeviceLink link(sim);
        EXPECT_EQ(link.ScanForMouse(), c.problem == Problem::None);
        const auto scan = link.lastScan();
        EXPECT_EQ(scan.problem, c.problem);
        EXPECT_EQ(scan.detail, c.detail);
        if (c.problem == Problem::NotAccessible) {
            EXPECT_EQ(scan.node, krv::SimulatedMouse::VendorPath); // the node that would not open
        }
        if (c.problem == Problem::CollectionMissing) {
            EXPECT_FALSE(scan.node.empty()); // the mouse's device path
        }
    }
}

} // namespace
