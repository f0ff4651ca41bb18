// SPDX-License-Identifier: MIT
#include "device/FeatureReport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace krv;

namespace {

TEST(FeatureReport, DpiLedAndFireTimeBytes) {
    struct DpiCase {
        int position, led, expected;
    };
    for (const DpiCase& c : std::vector<DpiCase>{{1, 0, 0x90}, {0, 0, 0x80}, {4, 3, 0xC3}, {2, 1, 0xA1}, {8, 0, 0x00}})
        EXPECT_EQ(DpiLedByte(static_cast<std::uint8_t>(c.position), static_cast<std::uint8_t>(c.led)), c.expected)
            << c.position << "/" << c.led;
    struct FireCase {
        int fireTime, expected;
    };
    for (const FireCase& c : std::vector<FireCase>{{50, 6}, {300, 37}, {7, 0}, {0, 0}, {-9, 0xFF}, {2048, 0}})
        EXPECT_EQ(FireTimeByte(c.fireTime), c.expected) << c.fireTime;
}

TEST(FeatureReport, FillsTheCollectionsLengthWithZeros) {
    const FeatureReport report(FeatureCommand::Goodbye, 0, 0, 8);
    EXPECT_EQ(std::vector<std::uint8_t>(report.bytes().begin(), report.bytes().end()),
              (std::vector<std::uint8_t>{0x07, 0x20, 0, 0, 0, 0, 0, 0}));

    const FeatureReport longReport(FeatureCommand::Wheel, 1, 2, 300); // longer than any buffer of old
    ASSERT_EQ(longReport.bytes().size(), 300u);
    EXPECT_EQ(longReport.bytes()[2], 1);
    EXPECT_EQ(longReport.bytes()[299], 0);

    EXPECT_FALSE(FeatureReport(FeatureCommand::Wheel, 1, 2, 3).valid()); // cannot carry the command
    EXPECT_FALSE(FeatureReport(FeatureCommand::Wheel, 1, 2, 0).valid());
}

} // namespace
