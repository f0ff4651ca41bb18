// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsPowerEvents.h"

#include "WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>

namespace krv {
namespace {

TEST(PowerEventOf, SuspendResumeAndAChangedPowerSource) {
    struct Row {
        WPARAM code;
        std::optional<bool> wasOnAc;
        std::optional<bool> onAc;
        std::optional<PowerEvent> expected;
    };
    const Row rows[] = {
        {PBT_APMSUSPEND, true, true, PowerEvent::Suspend},
        {PBT_APMRESUMEAUTOMATIC, true, true, PowerEvent::Resume},
        {PBT_APMRESUMESUSPEND, true, true, std::nullopt}, // the same resume, told again
        {PBT_APMPOWERSTATUSCHANGE, true, false, PowerEvent::PowerSourceChange},
        {PBT_APMPOWERSTATUSCHANGE, false, true, PowerEvent::PowerSourceChange},
        {PBT_APMPOWERSTATUSCHANGE, std::nullopt, true, PowerEvent::PowerSourceChange},
        {PBT_APMPOWERSTATUSCHANGE, false, false, std::nullopt}, // the battery's charge moved
        {PBT_APMPOWERSTATUSCHANGE, true, std::nullopt, std::nullopt},
        {PBT_POWERSETTINGCHANGE, true, false, PowerEvent::PowerSourceChange},
        {PBT_POWERSETTINGCHANGE, false, false, std::nullopt},
        {PBT_APMBATTERYLOW, true, false, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(PowerEventOf(row.code, row.wasOnAc, row.onAc), row.expected) << "code " << row.code;
}

class PowerEventsWindow : public testing::Test {
protected:
    std::atomic<bool> m_onAc{true};
    test::Mailbox<PowerEvent> m_events;
    WindowsPowerEvents m_power{[this](PowerEvent event) { m_events.put(event); },
                               [this] { return std::optional<bool>(m_onAc.load()); }};
};

TEST_F(PowerEventsWindow, PostedBroadcastsBecomeEvents) {
    ASSERT_TRUE(m_power.valid()) << m_power.error();
    const HWND window = m_power.window();
    // Messages of one thread arrive in order: the last suspend shows that all before it were handled.
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0));
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0)); // still on mains
    m_onAc = false;
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0));
    ASSERT_TRUE(PostMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    ASSERT_TRUE(m_events.waitFor(4));
    const std::vector<PowerEvent> expected{PowerEvent::Suspend, PowerEvent::Resume, PowerEvent::PowerSourceChange,
                                           PowerEvent::Suspend};
    EXPECT_EQ(m_events.values(), expected);
}

// The power source setting's record, as the system sends it after RegisterPowerSettingNotification.
struct PowerSourceRecord {
    explicit PowerSourceRecord(DWORD condition,
                               GUID setting = {
                                   0x5d3e9a59, 0xe9d5, 0x4b00, {0xa6, 0xbd, 0xff, 0x34, 0xff, 0x51, 0x65, 0x48}}) {
        record.PowerSetting = setting;
        record.DataLength = sizeof(DWORD);
        std::memcpy(record.Data, &condition, sizeof condition);
    }
    LPARAM lParam() { return reinterpret_cast<LPARAM>(&record); }

    POWERBROADCAST_SETTING record{};
    DWORD room = 0; // Data runs past the declared one byte
};

TEST(OnAcPowerOfSetting, OnlyThePowerSourceSettingCounts) {
    PowerSourceRecord mains(0), battery(1), ups(2), otherSetting(0, GUID{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}});
    EXPECT_EQ(OnAcPowerOfSetting(&mains.record), true);
    EXPECT_EQ(OnAcPowerOfSetting(&battery.record), false);
    EXPECT_EQ(OnAcPowerOfSetting(&ups.record), false);
    EXPECT_EQ(OnAcPowerOfSetting(&otherSetting.record), std::nullopt);
    EXPECT_EQ(OnAcPowerOfSetting(nullptr), std::nullopt);
}

TEST_F(PowerEventsWindow, PowerSettingChangesSentToTheWindowBecomeEvents) {
    ASSERT_TRUE(m_power.valid()) << m_power.error();
    PowerSourceRecord mains(0), battery(1);
    DWORD_PTR result = 0;
    for (PowerSourceRecord* record : {&mains, &battery, &battery, &mains})
        ASSERT_TRUE(SendMessageTimeoutW(m_power.window(), WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, record->lParam(),
                                        SMTO_NORMAL, 10000, &result));
    ASSERT_TRUE(m_events.waitFor(2));
    // Started on mains: the first record is no change.
    EXPECT_EQ(m_events.values(),
              (std::vector<PowerEvent>{PowerEvent::PowerSourceChange, PowerEvent::PowerSourceChange}));
}

TEST(WindowsPowerEvents, StartsAndStopsWithoutLeavingHandlesOrWindows) {
    {
        WindowsPowerEvents warmUp([](PowerEvent) {});
    }
    const auto before = test::HandleMark();
    HWND last = nullptr;
    for (int i = 0; i < 10; ++i) {
        WindowsPowerEvents power([](PowerEvent) {});
        ASSERT_TRUE(power.valid()) << power.error();
        last = power.window();
    }
    EXPECT_FALSE(IsWindow(last));
    // Under Wine a thread's last handle can close a moment after the thread ended: wait for it, bounded.
    const DWORD deadline = GetTickCount() + 2000;
    while (test::HandleMark() != before && GetTickCount() < deadline)
        SwitchToThread();
    EXPECT_EQ(test::HandleMark(), before);
}

} // namespace
} // namespace krv
