// SPDX-License-Identifier: MIT
#include "platform/windows/WindowsShellActions.h"

#include "WindowsTestSupport.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace krv {
namespace {

std::filesystem::path testProgramFolder() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return std::filesystem::path(self).parent_path();
}

// A program whose name is not ASCII is started by its UTF-8 name: the name reached the system whole.
TEST(ShellOpen, StartsAProgramByItsUtf8Name) {
    test::TempDir folder;
    const std::u8string name = u8"m\u00e4us-\u9f20\u6807-probe.exe";
    const std::filesystem::path program = folder.path() / std::filesystem::path(name);
    std::filesystem::copy_file(testProgramFolder() / KRV_SHELL_PROBE, program);
    const std::u8string utf8 = program.u8string();

    std::string error;
    UniqueHandle process;
    ASSERT_TRUE(ShellOpen(std::string(utf8.begin(), utf8.end()), &error, &process)) << error;
    ASSERT_TRUE(process);
    ASSERT_EQ(WaitForSingleObject(process.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 42u);
}

TEST(ShellOpen, FailuresCarryTheSystemsMessage) {
    std::string error;
    EXPECT_FALSE(ShellOpen("C:\\krv-no-such-folder\\no-such-program.exe", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ShellOpen("bad \xff name", &error));
    EXPECT_EQ(error, "the name is not valid UTF-8");
    EXPECT_FALSE(ShellOpen("", &error));
}

TEST(WindowsShellActions, AFailedActionIsToldToTheOwnerWithTheSystemsMessage) {
    // On Windows this would lock the session; Wine has no session lock and refuses the call.
    if (!test::RunningUnderWine())
        GTEST_SKIP() << "locks the session outside Wine";
    std::vector<std::string> told;
    WindowsShellActions actions([&](std::string_view problem) { told.emplace_back(problem); });
    actions.lockSession();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].rfind("cannot lock the session: ", 0), 0u) << told[0];
    EXPECT_GT(told[0].size(), std::string("cannot lock the session: ").size());
}

} // namespace
} // namespace krv
