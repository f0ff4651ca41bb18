// SPDX-License-Identifier: MIT
#include "mouse/ButtonCode.h"

#include <gtest/gtest.h>

using namespace krv;

namespace {

TEST(ButtonCodeTable, DeviceValuesAndDpiActions) {
    const struct {
        ButtonCode code;
        std::optional<std::uint8_t> device;
        int dpi;
    } cases[] = {
        {0, 0, 0},   {1, 1, 0},   {5, 5, 0},   {6, 31, 2},  {7, {}, 0},  {10, {}, 0}, {11, 7, 0},  {16, 12, 0},
        {17, 31, 1}, {18, 31, -1}, {19, 31, 0}, {20, {}, 0}, {21, 13, 0}, {25, 17, 0}, {26, 31, 0}, {27, 31, 0},
        {30, 31, 0}, {31, 31, 0}, {40, 31, 0}, {41, 31, 0}, {52, 31, 0}, {53, {}, 0}, {-1, {}, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceValue(c.code), c.device) << c.code;
        EXPECT_EQ(DpiAction(c.code), c.dpi) << c.code;
    }
}

TEST(ButtonCodeTable, ReportCodesMapBackToSlots) {
    const std::pair<int, std::optional<int>> cases[] = {
        {241, 1}, {242, 2}, {243, 3}, {245, 4}, {244, 5}, {246, 6}, {248, 7}, {249, 8}, {247, {}}, {240, {}}, {0, {}},
    };
    for (const auto& [report, slot] : cases)
        EXPECT_EQ(SlotOfReportCode(static_cast<std::uint8_t>(report)), slot) << report;
}

TEST(ButtonCodeTable, KeepsCodeOneOnSomeSlot) {
    std::array<ButtonCode, 8> codes{2, 2, 3, 5, 4, 18, 17, 13}; // slot 1 just lost code 1
    EXPECT_EQ(KeepPrimaryButton(codes, 1), 2);
    EXPECT_EQ(codes[1], 1);

    codes = {2, 3, 3, 5, 4, 18, 17, 6}; // slot 8 was the only holder
    EXPECT_EQ(KeepPrimaryButton(codes, 8), 8);
    EXPECT_EQ(codes[7], 1);

    codes = {1, 2, 3, 5, 4, 18, 17, 13};
    EXPECT_EQ(KeepPrimaryButton(codes, 3), std::nullopt);
}


// The profile file's range check and the code table agree: a slot keeps exactly the codes the mouse
// can be sent.
TEST(ButtonCode, AssignableCodesAreThoseWithADeviceValue) {
    for (ButtonCode code = -300; code <= 300; ++code)
        EXPECT_EQ(krv::IsAssignableButtonCode(code), krv::DeviceValue(code).has_value()) << code;
}

} // namespace
