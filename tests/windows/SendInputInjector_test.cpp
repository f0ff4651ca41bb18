// SPDX-License-Identifier: MIT
#include "platform/windows/SendInputInjector.h"

#include "WindowsTestSupport.h"
#include "mouse/VirtualKeys.h"

#include <gtest/gtest.h>

namespace krv {
namespace {

TEST(KeyboardInputOf, ScanCodesAndFlagsOfATransition) {
    struct Row {
        std::uint8_t code;
        bool extended;
        bool press;
        UINT mapped;
        WORD scan;
        DWORD flags;
    };
    const Row rows[] = {
        {'A', false, true, 0x1E, 0x1E, 0},
        {'A', false, false, 0x1E, 0x1E, KEYEVENTF_KEYUP},
        {Vk::Control, true, true, 0x1D, 0x1D, KEYEVENTF_EXTENDEDKEY},
        {Vk::Control, true, false, 0x1D, 0x1D, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
        {0x2E, true, true, 0xE053, 0x53, KEYEVENTF_EXTENDEDKEY}, // DELETE: only the low byte of an e0 code
        {Vk::Snapshot, true, true, 0x54, 0x37, KEYEVENTF_EXTENDEDKEY},
        {Vk::Pause, false, true, 0x00, 0x45, 0},
        {Vk::LWin, true, false, 0xE05B, 0x5B, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP},
    };
    for (const Row& row : rows) {
        const std::optional<KEYBDINPUT> input = KeyboardInputOf(row.code, row.extended, row.press, row.mapped);
        ASSERT_TRUE(input) << int(row.code);
        EXPECT_EQ(input->wVk, row.code);
        EXPECT_EQ(input->wScan, row.scan) << int(row.code);
        EXPECT_EQ(input->dwFlags, row.flags) << int(row.code);
    }
    EXPECT_FALSE(KeyboardInputOf(0x07, false, true, 0)); // no key of the table
    EXPECT_FALSE(KeyboardInputOf(240, false, true, 0));  // a mouse button's code
}

bool isDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

// Keys and buttons sent arrive in the system's key state, the right-hand modifier where the
// extended flag asks for it.
TEST(SendInputInjector, KeysAndButtonsReachTheSystemsKeyState) {
    struct Row {
        std::uint8_t code;
        bool extended;
        int seenAs;
    };
    const Row rows[] = {
        {'A', false, 'A'},
        {'7', false, '7'},
        {Vk::F4, false, VK_F4},
        {Vk::Control, false, VK_LCONTROL},
        {Vk::Control, true, VK_RCONTROL},
        {Vk::Menu, true, VK_RMENU},
        {Vk::LShift, false, VK_LSHIFT},
        {0x2E, true, VK_DELETE},
        {0x6B, false, VK_ADD},
    };
    SendInputInjector injector;
    for (const Row& row : rows) {
        SCOPED_TRACE(int(row.code));
        ASSERT_FALSE(isDown(row.seenAs));
        injector.keyDown(row.code, row.extended);
        EXPECT_TRUE(isDown(row.seenAs));
        injector.keyUp(row.code, row.extended);
        EXPECT_FALSE(isDown(row.seenAs));
    }
    const std::pair<MouseButton, int> buttons[] = {
        {MouseButton::Left, VK_LBUTTON}, {MouseButton::Right, VK_RBUTTON}, {MouseButton::Middle, VK_MBUTTON}};
    for (const auto& [button, seenAs] : buttons) {
        SCOPED_TRACE(seenAs);
        injector.buttonDown(button);
        EXPECT_TRUE(isDown(seenAs));
        injector.buttonUp(button);
        EXPECT_FALSE(isDown(seenAs));
    }
}

TEST(SendInputInjector, ACodeOutsideTheKeyTableIsSkipped) {
    SendInputInjector injector;
    injector.keyDown(0x07, false); // reserved on Windows, no key of the table
    EXPECT_FALSE(isDown(0x07));
    injector.keyUp(0x07, false);
}

} // namespace
} // namespace krv
