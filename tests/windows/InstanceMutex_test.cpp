// SPDX-License-Identifier: MIT
#include "platform/windows/InstanceMutex.h"

#include "WindowsTestSupport.h"

#include <gtest/gtest.h>

namespace krv {
namespace {

std::string testInstanceName() {
    return "krv-test-instance-" + std::to_string(GetCurrentProcessId());
}

// This test program started again as the second process (see WindowsTestMain.cpp): its exit code.
DWORD secondProcess(const std::string& name) {
    wchar_t self[MAX_PATH];
    if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0)
        return 99;
    std::wstring commandLine =
        L"\"" + std::wstring(self) + L"\" --hold-instance " + std::wstring(name.begin(), name.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 98;
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    DWORD exitCode = 97;
    if (WaitForSingleObject(processHandle.get(), 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(processHandle.get(), &exitCode);
    return exitCode;
}

TEST(InstanceMutex, ASecondHandleOrProcessFindsTheFirst) {
    const std::string name = testInstanceName();
    {
        InstanceMutex first(name);
        ASSERT_EQ(first.state(), InstanceMutex::State::Acquired) << first.error();
        InstanceMutex second(name);
        EXPECT_EQ(second.state(), InstanceMutex::State::AlreadyRunning);
        EXPECT_EQ(secondProcess(name), 3u);
    }
    // The first one ended: the next start is the one instance.
    EXPECT_EQ(secondProcess(name), 0u);
    InstanceMutex again(name);
    EXPECT_EQ(again.state(), InstanceMutex::State::Acquired);
}

TEST(InstanceMutex, AnInvalidNameFailsWithTheSystemsReason) {
    InstanceMutex bad("krv\\test\\no-such-namespace\\instance");
    EXPECT_EQ(bad.state(), InstanceMutex::State::Failed);
    EXPECT_FALSE(bad.error().empty());
}

} // namespace
} // namespace krv
