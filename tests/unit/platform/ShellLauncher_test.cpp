// SPDX-License-Identifier: MIT
#include "platform/linux/ShellLauncher.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace krv::test {
namespace {

// A folder of stand-in programs that append their name and arguments to a log.
class FakePrograms {
public:
    void add(const std::string& name, int exitStatus = 0) {
        const auto file = m_dir / name;
        writeFile(file, "#!/bin/sh\necho \"" + name + " $*\" >> '" + log().string() + "'\nexit " + std::to_string(exitStatus) + "\n");
        chmod(file.c_str(), 0755);
    }
    std::filesystem::path log() const { return m_dir / "log.txt"; }
    std::string logText() const { return readFile(log()); }
    std::string path() const { return m_dir.path().string(); }

private:
    TempDir m_dir;
};

TEST(ShellLauncher, StartsTheFirstInstalledCandidateWithItsArguments) {
    FakePrograms programs;
    programs.add("kcalc");
    programs.add("xcalc");
    programs.add("xterm");
    programs.add("gio");
    ShellLauncher shell(programs.path());
    shell.startCalculator();
    shell.waitUntilIdle();
    shell.startTerminal();
    shell.waitUntilIdle();
    shell.openComputerFolder();
    shell.waitUntilIdle();
    EXPECT_EQ(programs.logText(), "kcalc \nxterm \ngio open /\n");
}

TEST(ShellLauncher, LockFallsBackWhenTheSessionLockFails) {
    FakePrograms programs;
    programs.add("loginctl", 1); // no logind session
    programs.add("xdg-screensaver");
    ShellLauncher shell(programs.path());
    shell.lockSession();
    shell.waitUntilIdle();
    EXPECT_EQ(programs.logText(), "loginctl lock-session\nxdg-screensaver lock\n");
}

TEST(ShellLauncher, NothingInstalledIsSilent) {
    FakePrograms programs;
    ShellLauncher shell(programs.path());
    shell.startCalculator();
    shell.startTerminal();
    shell.openComputerFolder();
    shell.lockSession();
    shell.waitUntilIdle();
    EXPECT_FALSE(std::filesystem::exists(programs.log()));
}

TEST(ShellLauncher, FindsOnlyExecutableFiles) {
    FakePrograms programs;
    programs.add("xcalc");
    TempDir other;
    writeFile(other / "kcalc", "not executable");
    std::filesystem::create_directories(other / "galculator");
    ShellLauncher shell(other.path().string() + ":" + programs.path());
    EXPECT_EQ(shell.findProgram("kcalc"), "");
    EXPECT_EQ(shell.findProgram("galculator"), "");
    EXPECT_EQ(shell.findProgram("xcalc"), programs.path() + "/xcalc");
    shell.startCalculator();
    shell.waitUntilIdle();
    EXPECT_EQ(programs.logText(), "xcalc \n");
}

} // namespace
} // namespace krv::test
