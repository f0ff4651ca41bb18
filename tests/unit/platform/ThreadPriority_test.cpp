// SPDX-License-Identifier: MIT
#include "platform/linux/ThreadPriority.h"

#include "platform/linux/ShellLauncher.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include <linux/capability.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace krv::test {
namespace {

// Runs `body` on a new thread of a child process (scheduling, limits and signal handlers stay out of
// the test runner) and returns what it wrote, or why the child failed.
std::string inChildThread(const std::function<std::string()>& body) {
    int fds[2];
    if (pipe(fds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        std::string result;
        std::thread([&] { result = body(); }).join();
        [[maybe_unused]] const auto written = write(fds[1], result.data(), result.size());
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return out + " [child ended with status " + std::to_string(status) + "]";
    return out;
}

// Takes CAP_SYS_NICE from the calling thread and the real-time and nice allowances from the process:
// what an ordinary desktop user has.
void dropSchedulingPrivileges() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    syscall(SYS_capget, &header, caps);
    constexpr unsigned bit = 1u << (CAP_SYS_NICE % 32);
    caps[CAP_SYS_NICE / 32].effective &= ~bit;
    caps[CAP_SYS_NICE / 32].permitted &= ~bit;
    syscall(SYS_capset, &header, caps);
    for (const int resource : {RLIMIT_RTPRIO, RLIMIT_NICE}) {
        rlimit limit{};
        getrlimit(resource, &limit);
        limit.rlim_cur = 0;
        setrlimit(resource, &limit);
    }
}

bool realtimePermittedHere() {
    return inChildThread([] {
               const sched_param param{.sched_priority = 1};
               return std::string(sched_setscheduler(0, SCHED_FIFO, &param) == 0 ? "yes" : "no");
           }) == "yes";
}

// The timer slack: "minimal" at 1 ns, or at 0, which the kernel gives every real-time thread.
std::string slack() {
    const int ns = prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
    return ns <= 1 ? "minimal slack" : "slack " + std::to_string(ns);
}

std::string policyName() {
    const int policy = sched_getscheduler(0);
    std::string name = (policy & ~SCHED_RESET_ON_FORK) == SCHED_FIFO    ? "FIFO"
                       : (policy & ~SCHED_RESET_ON_FORK) == SCHED_OTHER ? "OTHER"
                                                                        : "other policy";
    if (policy & SCHED_RESET_ON_FORK)
        name += "+reset";
    sched_param param{};
    sched_getparam(0, &param);
    return name + " " + std::to_string(param.sched_priority) + " nice " +
           std::to_string(getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentThreadId())));
}

TEST(ThreadPriority, RealtimeWhenPermittedWithMinimumSlackAndProgramsStartedAtNormalPriority) {
    if (!realtimePermittedHere())
        GTEST_SKIP() << "this process may not use SCHED_FIFO";
    TempDir dir;
    // A calculator that writes its own nice value (field 19) and policy (field 41).
    const auto calculator = dir / "xcalc";
    writeFile(calculator, "#!/bin/sh\ncut -d' ' -f19,41 /proc/$$/stat > '" + (dir / "stat").string() + "'\n");
    chmod(calculator.c_str(), 0755);

    const std::string result = inChildThread([&] {
        const ServiceThreadScheduling got = PrepareServiceThread();
        std::string out = std::to_string(static_cast<int>(got.level)) + " | " + got.description + " | " + policyName() +
                          " | " + slack();
        ShellLauncher shell(dir.path().string());
        shell.startCalculator();
        shell.waitUntilIdle();
        return out;
    });
    EXPECT_EQ(result, "2 | real-time (SCHED_FIFO 10) | FIFO+reset 10 nice 0 | minimal slack");
    EXPECT_EQ(readFile(dir / "stat"), "0 0\n"); // nice 0, SCHED_OTHER
}

TEST(ThreadPriority, WithoutAnyPrivilegeTheThreadRunsOnAtNormalPriorityAndSaysWhy) {
    const std::string result = inChildThread([] {
        dropSchedulingPrivileges();
        const ServiceThreadScheduling got = PrepareServiceThread();
        return std::to_string(static_cast<int>(got.level)) + " | " + got.description + " | " + policyName() + " | " +
               slack();
    });
    EXPECT_EQ(result,
              "0 | normal priority (refused: SCHED_FIFO: Operation not permitted; nice -10: Permission denied) | "
              "OTHER+reset 0 nice 0 | minimal slack");
}

// Stands in for rtkit: records what it is asked and grants what the test says, by doing it for the
// thread with a privilege of its own (the test's main thread keeps CAP_SYS_NICE).
class FakeBroker final : public SchedulingBroker {
public:
    bool grantRealtime = false;
    bool grantNice = false;
    std::string asked;
    std::function<bool(std::function<bool()>)> asPrivileged;

    bool makeThreadRealtime(pid_t thread, int priority, std::string& error) override {
        asked += "realtime " + std::to_string(priority) + (thread == CurrentThreadId() ? " self; " : " other; ");
        if (!grantRealtime) {
            error = "org.freedesktop.DBus.Error.AccessDenied";
            return false;
        }
        return asPrivileged([=] {
            const sched_param param{.sched_priority = priority};
            return sched_setscheduler(thread, SCHED_FIFO | SCHED_RESET_ON_FORK, &param) == 0;
        });
    }
    bool makeThreadHighPriority(pid_t thread, int nice, std::string& error) override {
        asked += "nice " + std::to_string(nice) + "; ";
        if (!grantNice) {
            error = "org.freedesktop.DBus.Error.ServiceUnknown";
            return false;
        }
        return asPrivileged([=] { return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) == 0; });
    }
};

TEST(ThreadPriority, WithoutPrivilegeTheBrokerIsAskedForRealtimeThenForTheNiceValue) {
    if (!realtimePermittedHere())
        GTEST_SKIP() << "the stand-in broker needs SCHED_FIFO for this process";
    struct Case {
        bool grantRealtime, grantNice;
        std::string expected;
    };
    const Case cases[] = {
        {true, false, "realtime 10 self; | 2 | real-time (SCHED_FIFO 10, through rtkit) | FIFO+reset 10 nice 0"},
        {false, true,
         "realtime 10 self; nice -10; | 1 | nice -10, through rtkit (real-time refused: SCHED_FIFO: Operation not "
         "permitted; rtkit: org.freedesktop.DBus.Error.AccessDenied; nice -10: Permission denied) | OTHER+reset 0 nice "
         "-10"},
        {false, false,
         "realtime 10 self; nice -10; | 0 | normal priority (refused: SCHED_FIFO: Operation not permitted; rtkit: "
         "org.freedesktop.DBus.Error.AccessDenied; nice -10: Permission denied; rtkit: "
         "org.freedesktop.DBus.Error.ServiceUnknown) | OTHER+reset 0 nice 0"},
    };
    for (const Case& c : cases) {
        // The child's first thread keeps the privilege and serves the broker's requests; the service
        // thread has none.
        const std::string result = inChildThread([&] {
            std::mutex mutex;
            std::condition_variable changed;
            std::function<bool()> request;
            bool answered = false, answer = false, done = false;
            FakeBroker broker;
            broker.grantRealtime = c.grantRealtime;
            broker.grantNice = c.grantNice;
            broker.asPrivileged = [&](std::function<bool()> work) {
                std::unique_lock lock(mutex);
                request = std::move(work);
                answered = false;
                changed.notify_all();
                changed.wait(lock, [&] { return answered; });
                return answer;
            };
            std::string out;
            std::thread service([&] {
                dropSchedulingPrivileges();
                const ServiceThreadScheduling got = PrepareServiceThread(&broker);
                out = broker.asked + "| " + std::to_string(static_cast<int>(got.level)) + " | " + got.description +
                      " | " + policyName();
                std::lock_guard lock(mutex);
                done = true;
                changed.notify_all();
            });
            std::unique_lock lock(mutex);
            while (!done) {
                changed.wait(lock, [&] { return done || request; });
                if (request) {
                    answer = request();
                    request = nullptr;
                    answered = true;
                    changed.notify_all();
                }
            }
            lock.unlock();
            service.join();
            return out;
        });
        EXPECT_EQ(result, c.expected) << "realtime granted " << c.grantRealtime << ", nice granted " << c.grantNice;
    }
}

TEST(ThreadPriority, ARealtimeThreadThatNeverSleepsFallsBackToNormalSchedulingInsteadOfEndingTheProgram) {
    if (!realtimePermittedHere())
        GTEST_SKIP() << "this process may not use SCHED_FIFO";
    const std::string result = inChildThread([] {
        if (PrepareServiceThread().level != ThreadScheduling::Realtime)
            return std::string("not real-time");
        // A hard limit as rtkit demands: a thread still real-time at it would be killed with the process.
        rlimit limit{};
        getrlimit(RLIMIT_RTTIME, &limit);
        limit.rlim_max = 4 * std::chrono::microseconds(RealtimeRunLimit).count();
        setrlimit(RLIMIT_RTTIME, &limit);
        const auto start = std::chrono::steady_clock::now();
        while ((sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_FIFO &&
               std::chrono::steady_clock::now() - start < std::chrono::seconds(5)) {
        }
        return policyName();
    });
    EXPECT_EQ(result, "OTHER+reset 0 nice -10");
}

} // namespace
} // namespace krv::test
