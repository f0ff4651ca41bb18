// SPDX-License-Identifier: MIT
// The program of a process as the rules see it: real processes (copies of sleep named as Wine's
// loaders, started with the argv[0] Wine gives a Windows program) stand for games run by Wine or
// Proton; every other process keeps its executable.
#include "platform/linux/ProcessProgram.h"
#include "platform/linux/RunningProgramWatch.h"
#include "platform/linux/RunningPrograms.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace krv::test {
namespace {

std::filesystem::path sleepProgram() {
    for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"})
        if (std::filesystem::exists(candidate))
            return candidate;
    return {};
}

// A copy of sleep called `name` in its own folder, run with `argv0` as its first argument; ended
// with the object.
class Process {
public:
    Process(const TempDir& top, const std::string& name, const std::string& argv0) {
        const std::filesystem::path folder = top / std::to_string(++s_count);
        std::filesystem::create_directories(folder);
        m_path = folder / name;
        std::filesystem::copy_file(sleepProgram(), m_path);
        std::string first = argv0;
        char seconds[] = "600";
        char* argv[] = {first.data(), seconds, nullptr};
        if (posix_spawn(&m_pid, m_path.c_str(), nullptr, nullptr, argv, environ) != 0) {
            m_pid = 0;
            return;
        }
        // The spawn returns once the program is exec'd, a moment before the kernel shows its arguments.
        const std::filesystem::path cmdline = "/proc/" + std::to_string(m_pid) + "/cmdline";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::ifstream(cmdline).peek() == std::char_traits<char>::eof() &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // another process: nothing to wait on
    }
    ~Process() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return m_pid; }
    std::string path() const { return m_path.string(); }

private:
    static inline int s_count = 0;
    std::filesystem::path m_path;
    pid_t m_pid = 0;
};

class ProcessProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (sleepProgram().empty())
            GTEST_SKIP() << "no sleep program to copy";
    }
    TempDir m_folder;
};

TEST_F(ProcessProgramTest, AWindowsProgramUnderWineIsNamedByItsOwnPath) {
    struct Case {
        const char* executable;
        const char* argv0;
        bool windowsProgram; // else the executable itself
    };
    const std::vector<Case> cases = {
        {"wine64-preloader", R"(C:\Games\Krv\KrvGame.exe)", true},
        {"wine-preloader", R"(C:\Program Files (x86)\Old Game\old game.exe)", true},
        {"wine64", R"(Z:\home\player\.steam\steamapps\common\Game\Game.EXE)", true},
        {"wine", "/home/player/games/krvgame.exe", true},
        {"wine64", "start.exe", true},
        // Wine's loader before it has taken the Windows program's name, or one that runs none.
        {"wine64", "/usr/lib/wine/wine64", false},
        {"wine64-preloader", "wine64-preloader", false},
        {"wine64-preloader", ".exe", false},
        {"wine64", R"(C:\Games\setup.exe.txt)", false},
        {"wine64", "", false},
        // Any other program keeps its executable, whatever argv[0] it shows.
        {"krvgame", R"(C:\Games\Krv\KrvGame.exe)", false},
        {"wineserver", R"(C:\windows\system32\services.exe)", false},
        {"my-wine64", R"(C:\Games\Krv\KrvGame.exe)", false},
    };
    for (const Case& c : cases) {
        Process process(m_folder, c.executable, c.argv0);
        ASSERT_GT(process.pid(), 0) << c.executable;
        EXPECT_EQ(ProgramOfProcess(process.pid()), c.windowsProgram ? std::string(c.argv0) : process.path())
            << c.executable << " as " << c.argv0;
    }
    EXPECT_EQ(ProgramOfProcess(0), "");
    EXPECT_EQ(ProgramOfProcess(-1), "");
}

// A rule naming the game, with or without ".exe", or its Windows path, finds it among the running
// programs; the list of running programs shows it by that path.
TEST_F(ProcessProgramTest, RulesNameTheGameAmongTheRunningPrograms) {
    // Names of this run's own, so that a game another test runs meanwhile is never taken for it.
    const std::string name = "KrvGame" + std::to_string(getpid());
    const std::string windowsPath = R"(C:\Games\Krv\)" + name + ".exe";
    Process game(m_folder, "wine64-preloader", windowsPath);
    Process other(m_folder, "wine64-preloader", R"(C:\windows\system32\services.exe)");
    ASSERT_GT(game.pid(), 0);
    struct Case {
        std::string rule;
        bool matches;
    };
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::vector<Case> cases = {
        {lower, true},
        {name + ".exe", true},
        {windowsPath, true},
        {"C:/games/krv/" + lower + ".exe", true},
        // The loader's own path, unique to this run: a plain "wine64-preloader" would also name the
        // loaders other tests run meanwhile.
        {game.path(), false},
        {R"(C:\Games\Other\)" + name + ".exe", false},
    };
    for (const Case& c : cases) {
        writeFile(m_folder / "appprofiles.ini", "[Programs]\r\n" + c.rule + "=2\r\n");
        RunningProgramWatch watch(m_folder / "appprofiles.ini", std::chrono::milliseconds(20));
        const ForegroundProgram front = watch.look();
        EXPECT_EQ(front.pid, c.matches ? game.pid() : 0) << c.rule;
        if (c.matches) {
            EXPECT_EQ(front.executable, windowsPath) << c.rule;
        }
    }
    const std::vector<std::string> running = RunningProgramExecutables();
    EXPECT_NE(std::find(running.begin(), running.end(), windowsPath), running.end());
    EXPECT_EQ(std::find(running.begin(), running.end(), game.path()), running.end());
}

} // namespace
} // namespace krv::test
