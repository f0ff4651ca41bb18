// SPDX-License-Identifier: MIT
#include "platform/windows/LowLevelKeyboardCapture.h"

#include "WindowsTestSupport.h"
#include "mouse/VirtualKeys.h"
#include "platform/windows/SendInputInjector.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>

namespace krv {
namespace {

using Key = std::pair<KeyMessage, std::uint8_t>;

bool isDown(int virtualKey) {
    return (GetAsyncKeyState(virtualKey) & 0x8000) != 0;
}

class KeyboardHook : public testing::Test {
protected:
    test::Mailbox<Key> m_keys;
    std::atomic<int> m_unavailable{0};
    LowLevelKeyboardCapture m_capture{[this](KeyMessage message, std::uint8_t vk) {
                                          m_keys.put({message, vk});
                                      },
                                      [this] { ++m_unavailable; }};
    SendInputInjector m_injector;
};

TEST_F(KeyboardHook, KeysGoToTheHandlerAndNoFurther) {
    m_capture.start();
    ASSERT_TRUE(m_capture.capturing()) << m_capture.error();
    m_injector.keyDown('A', false);
    EXPECT_FALSE(isDown('A')); // withheld
    m_injector.keyUp('A', false);
    m_injector.keyDown(Vk::LMenu, false);
    m_injector.keyDown('B', false);
    m_injector.keyUp('B', false);
    m_injector.keyUp(Vk::LMenu, false);
    ASSERT_TRUE(m_keys.waitFor(6));
    const std::vector<Key> keys = m_keys.values();
    ASSERT_EQ(keys.size(), 6u);
    EXPECT_EQ(keys[0], Key(KeyMessage::KeyDown, 'A'));
    EXPECT_EQ(keys[1], Key(KeyMessage::KeyUp, 'A'));
    // With Alt held the keys are system keys.
    EXPECT_EQ(keys[2], Key(KeyMessage::SysKeyDown, Vk::LMenu));
    EXPECT_EQ(keys[3], Key(KeyMessage::SysKeyDown, 'B'));
    EXPECT_EQ(keys[4], Key(KeyMessage::SysKeyUp, 'B'));
    EXPECT_EQ(keys[5].second, Vk::LMenu);
    EXPECT_EQ(m_unavailable.load(), 0);
}

TEST_F(KeyboardHook, AfterStopKeysReachTheSystemAgain) {
    m_capture.start();
    ASSERT_TRUE(m_capture.capturing()) << m_capture.error();
    m_capture.start(); // already capturing: nothing changes
    m_injector.keyDown('C', false);
    m_injector.keyUp('C', false);
    ASSERT_TRUE(m_keys.waitFor(2));
    m_capture.stop();
    EXPECT_FALSE(m_capture.capturing());
    m_injector.keyDown('C', false);
    EXPECT_TRUE(isDown('C'));
    m_injector.keyUp('C', false);
    EXPECT_FALSE(isDown('C'));
    EXPECT_EQ(m_keys.values().size(), 2u);
    m_capture.stop(); // stopping twice is harmless
}

TEST(LowLevelKeyboardCapture, StartsAndStopsWithoutLeavingHandles) {
    LowLevelKeyboardCapture capture([](KeyMessage, std::uint8_t) {}, [] {});
    constexpr int Runs = 10;
    EXPECT_LT(test::HandlesLeftOpen(Runs,
                                    [&] {
                                        capture.start();
                                        EXPECT_TRUE(capture.capturing()) << capture.error();
                                        capture.stop();
                                    }),
              Runs);
}

} // namespace
} // namespace krv
