// SPDX-License-Identifier: MIT
// The running programs standing for the program in front where the desktop tells no focus: real
// processes (copies of sleep under a rule's name) are started and ended, and the watch's timer fd is
// waited on, with a bound, as the companion's event loop does.
#include "platform/linux/RunningProgramWatch.h"

#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <vector>

extern char** environ;

namespace krv::test {
namespace {

using namespace std::chrono_literals;

constexpr auto Interval = 20ms;
constexpr auto Bound = 20s;

std::filesystem::path sleepProgram() {
    for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"})
        if (std::filesystem::exists(candidate))
            return candidate;
    return {};
}

// A program name of this run's own, so that the same test run meanwhile by another process is never
// taken for this one's game.
std::string ownName(const std::string& name) {
    return name + std::to_string(getpid());
}

// A running copy of sleep under a name of the test's choosing, ended with the object.
class Program {
public:
    Program(const TempDir& folder, const std::string& name) : m_path(folder / name) {
        if (!std::filesystem::exists(m_path))
            std::filesystem::copy_file(sleepProgram(), m_path);
        const std::string file = m_path.string();
        char seconds[] = "600";
        char* argv[] = {const_cast<char*>(file.c_str()), seconds, nullptr};
        if (posix_spawn(&m_pid, file.c_str(), nullptr, nullptr, argv, environ) != 0)
            m_pid = 0;
    }
    ~Program() { stop(); }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    void stop() {
        if (m_pid <= 0)
            return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
    pid_t pid() const { return m_pid; }
    std::string path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
    pid_t m_pid = 0;
};

// The next change the watch reports, waiting on its fd; nothing within the bound.
std::optional<ForegroundProgram> nextChange(RunningProgramWatch& watch) {
    const auto deadline = std::chrono::steady_clock::now() + Bound;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd timer{watch.fd(), POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (poll(&timer, 1, static_cast<int>(std::max<long long>(left.count(), 1))) > 0)
            if (std::optional<ForegroundProgram> change = watch.readChange())
                return change;
    }
    return std::nullopt;
}

class RunningProgramWatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (sleepProgram().empty())
            GTEST_SKIP() << "no sleep program to copy";
    }
    std::filesystem::path rules() const { return m_folder / "appprofiles.ini"; }
    void writeRules(const std::string& text) { writeFile(rules(), text); }

    TempDir m_folder;
};

TEST_F(RunningProgramWatchTest, TheNewestRuleProgramRunningIsInFrontUntilItEnds) {
    writeRules("[Programs]\r\n" + ownName("krvgameone") + "=2\r\n" + ownName("krvgametwo") + "=3\r\n");
    RunningProgramWatch watch(rules(), Interval);
    ASSERT_GE(watch.fd(), 0);
    EXPECT_EQ(watch.current(), ForegroundProgram{}); // nothing of the rules runs yet

    Program one(m_folder, ownName("krvgameone"));
    std::optional<ForegroundProgram> change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->pid, one.pid());
    EXPECT_EQ(change->window, static_cast<std::uint64_t>(one.pid()));
    EXPECT_EQ(change->executable, one.path());

    // A program without a rule changes nothing: the next change is the second game's start.
    Program other(m_folder, ownName("krvother"));
    Program two(m_folder, ownName("krvgametwo"));
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->pid, two.pid());
    EXPECT_EQ(change->executable, two.path());

    // The newest ends: the one before is in front again; the last ends: no program.
    two.stop();
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(change->pid, one.pid());
    one.stop();
    change = nextChange(watch);
    ASSERT_TRUE(change);
    EXPECT_EQ(*change, ForegroundProgram{});
}

TEST_F(RunningProgramWatchTest, WhichRulesNameARunningProgram) {
    const std::string name = ownName("krvgame");
    Program game(m_folder, name);
    ASSERT_GT(game.pid(), 0);
    struct Case {
        const char* name;
        std::string rules; // empty: no file
        bool matches;
    };
    const std::vector<Case> cases = {
        {"by file name", "[Programs]\r\n" + name + "=2\r\n", true},
        {"by file name in another case", "[Programs]\r\nKRVGame" + name.substr(7) + "=2\r\n", true},
        {"by full path", "[Programs]\r\n" + game.path() + "=4\r\n", true},
        {"by another folder's path", "[Programs]\r\n/usr/games/" + name + "=4\r\n", false},
        {"by a longer name", "[Programs]\r\n" + name + "r=2\r\n", false},
        {"switched off", "[Options]\r\nEnabled=0\r\n[Programs]\r\n" + name + "=2\r\n", false},
        {"a rule out of range", "[Programs]\r\n" + name + "=9\r\n", false},
        {"no rules, a no-match profile", "[Options]\r\nNoMatch=3\r\n", false},
        {"no file", "", false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(rules());
        if (!c.rules.empty())
            writeRules(c.rules);
        RunningProgramWatch watch(rules(), Interval);
        const ForegroundProgram front = watch.look();
        EXPECT_EQ(front.pid, c.matches ? game.pid() : 0) << c.name;
    }
}

TEST_F(RunningProgramWatchTest, RulesChangedOrUnreadableCountAtTheNextLook) {
    const std::string name = ownName("krvgame");
    Program game(m_folder, name);
    writeRules("[Programs]\r\nsomethingelse=2\r\n");
    RunningProgramWatch watch(rules(), Interval);
    EXPECT_EQ(watch.look().pid, 0);
    writeRules("[Programs]\r\nsomethingelse=2\r\n" + name + "=3\r\n");
    EXPECT_EQ(watch.look().pid, game.pid());
    // A file that cannot be read names no program (a folder stands where the file should be).
    std::filesystem::remove(rules());
    std::filesystem::create_directory(rules());
    EXPECT_EQ(watch.look().pid, 0);
}

} // namespace
} // namespace krv::test
