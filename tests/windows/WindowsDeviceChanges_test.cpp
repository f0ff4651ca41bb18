// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsDeviceChanges.h"

#include "WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <dbt.h>
extern "C" {
#include <hidsdi.h>
}

#include <atomic>
#include <cstring>

namespace krv {
namespace {

GUID hidClass() {
    GUID guid;
    HidD_GetHidGuid(&guid);
    return guid;
}

// A device-interface notification record as the system sends it: the name runs to the record's end.
class InterfaceRecord {
public:
    InterfaceRecord(const std::wstring& name, GUID interfaceClass, DWORD deviceType = DBT_DEVTYP_DEVICEINTERFACE) {
        const std::size_t size =
            offsetof(DEV_BROADCAST_DEVICEINTERFACE_W, dbcc_name) + (name.size() + 1) * sizeof(wchar_t);
        m_storage.assign((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
        auto* record = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(m_storage.data());
        record->dbcc_size = static_cast<DWORD>(size);
        record->dbcc_devicetype = deviceType;
        record->dbcc_classguid = interfaceClass;
        std::memcpy(record->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    }
    LPARAM lParam() { return reinterpret_cast<LPARAM>(m_storage.data()); }

private:
    std::vector<std::uint64_t> m_storage;
};

const std::wstring MousePath =
    L"\\\\?\\HID#VID_18F8&PID_0F99&MI_01&Col01#7&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
const std::string MousePathUtf8 =
    "\\\\?\\HID#VID_18F8&PID_0F99&MI_01&Col01#7&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

TEST(DeviceChangeOfMessage, ArrivalsAndRemovalsOfHidInterfacesOnly) {
    const GUID volumeClass{0x53f5630d, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};
    InterfaceRecord mouse(MousePath, hidClass());
    InterfaceRecord unicode(L"\\\\?\\HID#Ger\u00e4t-\u9f20\u6807", hidClass());
    InterfaceRecord otherClass(MousePath, volumeClass);
    InterfaceRecord volume(MousePath, hidClass(), DBT_DEVTYP_VOLUME);
    InterfaceRecord noName(L"", hidClass());
    DEV_BROADCAST_HDR shortRecord{sizeof shortRecord, DBT_DEVTYP_DEVICEINTERFACE, 0};

    struct Row {
        const char* name;
        WPARAM event;
        LPARAM data;
        std::optional<DeviceChange> expected;
    };
    const Row rows[] = {
        {"arrival", DBT_DEVICEARRIVAL, mouse.lParam(), DeviceChange{DeviceChange::Kind::Arrival, MousePathUtf8}},
        {"removal", DBT_DEVICEREMOVECOMPLETE, mouse.lParam(), DeviceChange{DeviceChange::Kind::Removal, MousePathUtf8}},
        {"a name beyond ASCII", DBT_DEVICEARRIVAL, unicode.lParam(),
         DeviceChange{DeviceChange::Kind::Arrival, "\\\\?\\HID#Ger\xc3\xa4t-\xe9\xbc\xa0\xe6\xa0\x87"}},
        {"removal asked, not done", DBT_DEVICEQUERYREMOVE, mouse.lParam(), std::nullopt},
        {"the device tree changed", DBT_DEVNODES_CHANGED, 0, std::nullopt},
        {"another interface class", DBT_DEVICEARRIVAL, otherClass.lParam(), std::nullopt},
        {"another device type", DBT_DEVICEARRIVAL, volume.lParam(), std::nullopt},
        {"no name", DBT_DEVICEARRIVAL, noName.lParam(), std::nullopt},
        {"a record too short for a name", DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(&shortRecord), std::nullopt},
        {"no record", DBT_DEVICEARRIVAL, 0, std::nullopt},
    };
    for (const Row& row : rows)
        EXPECT_EQ(DeviceChangeOfMessage(row.event, row.data), row.expected) << row.name;
}

TEST(WindowsDeviceChangeMonitor, ChangesSentToItsWindowAreReadOnce) {
    std::atomic<int> told{0};
    WindowsDeviceChangeMonitor monitor([&] { ++told; });
    ASSERT_TRUE(monitor.valid()) << monitor.error();
    EXPECT_EQ(monitor.fd(), -1);
    EXPECT_TRUE(monitor.readChanges().empty());
    EXPECT_EQ(WaitForSingleObject(monitor.changesEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    InterfaceRecord mouse(MousePath, hidClass());
    DWORD_PTR result = 0;
    // Sent as the system sends it; the call returns once the monitor's thread has handled it.
    for (WPARAM event : {DBT_DEVICEARRIVAL, DBT_DEVNODES_CHANGED, DBT_DEVICEREMOVECOMPLETE})
        ASSERT_TRUE(SendMessageTimeoutW(monitor.window(), WM_DEVICECHANGE, event,
                                        event == DBT_DEVNODES_CHANGED ? 0 : mouse.lParam(), SMTO_NORMAL, 10000,
                                        &result));
    EXPECT_EQ(WaitForSingleObject(monitor.changesEvent(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(told.load(), 2);
    const std::vector<DeviceChange> expected{{DeviceChange::Kind::Arrival, MousePathUtf8},
                                             {DeviceChange::Kind::Removal, MousePathUtf8}};
    EXPECT_EQ(monitor.readChanges(), expected);
    EXPECT_EQ(WaitForSingleObject(monitor.changesEvent(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(monitor.readChanges().empty());
}

TEST(WindowsDeviceChangeMonitor, StartsAndStopsWithoutLeavingHandlesOrWindows) {
    constexpr int Runs = 10;
    HWND last = nullptr;
    EXPECT_LT(test::HandlesLeftOpen(Runs,
                                    [&] {
                                        WindowsDeviceChangeMonitor monitor;
                                        EXPECT_TRUE(monitor.valid()) << monitor.error();
                                        last = monitor.window();
                                    }),
              Runs);
    EXPECT_FALSE(IsWindow(last));
}

} // namespace
} // namespace krv
