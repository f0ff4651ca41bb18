// SPDX-License-Identifier: MIT
#include "sim/SimulatedMouse.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace krv;
using namespace std::chrono_literals;
using Collection = SimulatedMouse::Collection;

namespace {

std::vector<std::uint8_t> report(std::uint8_t command, std::uint8_t first, std::uint8_t second) {
    return {0x07, command, first, second, 0, 0, 0, 0};
}

TEST(SimulatedMouse, ListsTheMouseLikeTheRealOne) {
    SimulatedMouse sim;
    const auto list = sim.enumerate();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].usagePage, 0x0001);
    EXPECT_EQ(list[1].usagePage, 0xFF00);
    EXPECT_EQ(list[1].inputReportLength, 8);
    EXPECT_EQ(list[2].usagePage, 0xFF01);
    EXPECT_EQ(list[2].featureReportLength, 8);
    EXPECT_EQ(list[1].path, list[2].path); // one node, opened twice
    for (const auto& info : list) {
        EXPECT_EQ(info.vendorId, 0x18F8);
        EXPECT_EQ(info.productId, 0x0F99);
    }
    sim.setEnumerationOrder({Collection::VendorFeature, Collection::Pointer});
    ASSERT_EQ(sim.enumerate().size(), 2u);
    EXPECT_EQ(sim.enumerate()[0].usagePage, 0xFF01);
}

TEST(SimulatedMouse, KeepsWhatEachCommandSets) {
    SimulatedMouse sim;
    auto write = sim.open(SimulatedMouse::VendorPath, HidAccess::Write);
    ASSERT_TRUE(write);
    int changes = 0;
    sim.setChangeCallback([&] { ++changes; });
    sim.setAcknowledges(false);
    for (const auto& r : {report(0x10, 6, 13), report(0x09, 2, 0xC3), report(0x11, 1, 0), report(0x12, 37, 0),
                          report(0x20, 0, 0), report(0x55, 0, 0)})
        EXPECT_TRUE(write->sendFeatureReport(r));
    const SimMouseState state = sim.state();
    EXPECT_EQ(state.buttonMap[6], 13);
    EXPECT_EQ(state.buttonMap[1], 1); // factory map kept elsewhere
    EXPECT_EQ(state.dpiStage, 2);
    EXPECT_EQ(state.dpiPosition[2], 4);
    EXPECT_EQ(state.ledMode, 3);
    EXPECT_EQ(state.wheelOption, 1);
    EXPECT_EQ(state.fireTime, 37);
    EXPECT_TRUE(state.goodbye);
    EXPECT_EQ(state.featureReports.size(), 6u);
    EXPECT_EQ(changes, 6);

    // Not report 0x07, too short: refused and not kept.
    EXPECT_FALSE(write->sendFeatureReport(std::vector<std::uint8_t>{0x08, 0x10, 1, 1}));
    EXPECT_FALSE(write->sendFeatureReport(std::vector<std::uint8_t>{0x07, 0x10}));
    EXPECT_EQ(sim.state().featureReports.size(), 6u);
}

TEST(SimulatedMouse, AcknowledgesAHostAssignmentOnceAfterADelay) {
    SimulatedMouse sim;
    sim.setAcknowledgementDelay(30ms);
    auto read = sim.open(SimulatedMouse::VendorPath, HidAccess::Read);
    auto write = sim.open(SimulatedMouse::VendorPath, HidAccess::Write);
    ASSERT_TRUE(write->sendFeatureReport(report(0x10, 6, 31)));
    ASSERT_TRUE(write->sendFeatureReport(report(0x10, 8, 31))); // same burst: one acknowledgement
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(read->readInputReport(buffer, 0ms), 0); // not yet
    ASSERT_EQ(read->readInputReport(buffer, 5s), 8);
    EXPECT_EQ(buffer[0], 6);
    EXPECT_EQ(buffer[1], 0);
    EXPECT_EQ(read->readInputReport(buffer, 50ms), 0);
    EXPECT_EQ(sim.state().acknowledgementsSent, 1);
}

TEST(SimulatedMouse, PressesUnplugAndRefusals) {
    SimulatedMouse sim;
    auto read = sim.open(SimulatedMouse::VendorPath, HidAccess::Read);
    auto write = sim.open(SimulatedMouse::VendorPath, HidAccess::Write);
    std::array<std::uint8_t, 8> buffer{};
    sim.press(9);
    sim.release();
    ASSERT_EQ(read->readInputReport(buffer, 1s), 8);
    EXPECT_EQ(buffer[1], 249);
    ASSERT_EQ(read->readInputReport(buffer, 1s), 8);
    EXPECT_EQ(buffer[1], 0);

    std::array<std::uint8_t, 2> small{};
    sim.sendInputReport(std::vector<std::uint8_t>(300, 0xAB));
    EXPECT_EQ(read->readInputReport(small, 1s), 2); // cut to the buffer, never past it

    sim.setRefuseSends(true);
    EXPECT_FALSE(write->sendFeatureReport(report(0x11, 1, 0)));
    sim.setRefuseSends(false);

    // A read blocked at the moment of the unplug returns -1 without waiting for its timeout.
    std::atomic<int> result{1};
    std::thread reader([&] { result = read->readInputReport(buffer, 60s); });
    sim.unplug();
    reader.join();
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(write->sendFeatureReport(report(0x11, 1, 0)));
    EXPECT_TRUE(sim.enumerate().empty());
    EXPECT_EQ(sim.open(SimulatedMouse::VendorPath, HidAccess::Read), nullptr);

    sim.plugIn();
    EXPECT_FALSE(write->sendFeatureReport(report(0x11, 1, 0))); // old handles stay dead
    auto again = sim.open(SimulatedMouse::VendorPath, HidAccess::Write);
    EXPECT_TRUE(again->sendFeatureReport(report(0x11, 1, 0)));
}

TEST(SimulatedMouse, HandlesOutliveTheMouse) {
    std::unique_ptr<HidHandle> read;
    {
        SimulatedMouse sim;
        read = sim.open(SimulatedMouse::VendorPath, HidAccess::Read);
    }
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(read->readInputReport(buffer, 10ms), -1);
}

} // namespace
