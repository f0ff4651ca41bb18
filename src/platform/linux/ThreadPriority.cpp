// SPDX-License-Identifier: MIT
#include "platform/linux/ThreadPriority.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace krv {
namespace {

// The service threads at real-time priority, for the SIGXCPU handler (lock-free, signal-safe).
std::array<std::atomic<pid_t>, 8> g_realtimeThreads{};

void dropRealtimeThreads(int) {
    const int savedErrno = errno;
    bool dropped = false;
    for (auto& slot : g_realtimeThreads) {
        const pid_t thread = slot.exchange(0);
        if (thread == 0)
            continue;
        const sched_param normal{};
        sched_setscheduler(thread, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread), ServiceThreadNice);
        dropped = true;
    }
    if (dropped) {
        static constexpr char Message[] =
            "krv-glyde: a button-action thread ran too long without sleeping; it now runs at normal priority\n";
        [[maybe_unused]] const auto written = write(STDERR_FILENO, Message, sizeof Message - 1);
    }
    errno = savedErrno;
}

// Arms the guard of real-time threads: SIGXCPU once a real-time thread has run RealtimeRunLimit
// without sleeping (the soft limit of RLIMIT_RTTIME; the kernel raises it by a second after each
// signal, so it is armed again every time). The hard limit stays as it is (rtkit sets its own).
void armRealtimeGuard() {
    struct sigaction action {};
    action.sa_handler = dropRealtimeThreads;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGXCPU, &action, nullptr);

    rlimit limit{};
    if (getrlimit(RLIMIT_RTTIME, &limit) != 0)
        return;
    const auto soft = static_cast<rlim_t>(std::chrono::microseconds(RealtimeRunLimit).count());
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? soft : std::min(soft, limit.rlim_max);
    setrlimit(RLIMIT_RTTIME, &limit);
}

// The calling thread's place in g_realtimeThreads, given back when the thread ends.
class RealtimeRegistration {
public:
    ~RealtimeRegistration() { clear(); }
    void set(pid_t thread) {
        clear();
        for (auto& slot : g_realtimeThreads) {
            pid_t empty = 0;
            if (slot.compare_exchange_strong(empty, thread)) {
                m_slot = &slot;
                return;
            }
        }
    }
    void clear() {
        if (m_slot != nullptr)
            m_slot->store(0);
        m_slot = nullptr;
    }

private:
    std::atomic<pid_t>* m_slot = nullptr;
};

thread_local RealtimeRegistration t_registration;

bool isRealtime() {
    return (sched_getscheduler(0) & ~SCHED_RESET_ON_FORK) == SCHED_FIFO;
}

std::string realtimeDescription(const char* how) {
    sched_param param{};
    sched_getparam(0, &param);
    return std::string("real-time (SCHED_FIFO ") + std::to_string(param.sched_priority) + how + ")";
}

std::string errnoText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

pid_t CurrentThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

ServiceThreadScheduling PrepareServiceThread(SchedulingBroker* broker) {
    // 1 ns is the least slack there is (0 would restore the default of 50 us).
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const pid_t self = CurrentThreadId();

    // Real-time: guarded before it is asked for, so that no moment runs unguarded.
    armRealtimeGuard();
    t_registration.set(self);
    std::string refused;
    const sched_param realtime{.sched_priority = ServiceThreadRealtimePriority};
    if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &realtime) == 0)
        return {ThreadScheduling::Realtime, realtimeDescription("")};
    refused = errnoText("SCHED_FIFO");
    if (broker != nullptr) {
        std::string error;
        if (broker->makeThreadRealtime(self, ServiceThreadRealtimePriority, error) && isRealtime())
            return {ThreadScheduling::Realtime, realtimeDescription(", through rtkit")};
        refused += "; rtkit: " + (error.empty() ? std::string("refused") : error);
    }
    t_registration.clear();

    // The raised nice value. A child started from this thread gets the normal one back.
    const sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER | SCHED_RESET_ON_FORK, &normal);
    const std::string niceText = "nice " + std::to_string(ServiceThreadNice);
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(self), ServiceThreadNice) == 0)
        return {ThreadScheduling::RaisedNice, niceText + " (real-time refused: " + refused + ")"};
    refused += "; " + errnoText(niceText.c_str());
    if (broker != nullptr) {
        std::string error;
        if (broker->makeThreadHighPriority(self, ServiceThreadNice, error)) {
            errno = 0;
            const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(self));
            if (errno == 0 && nice < 0)
                return {ThreadScheduling::RaisedNice,
                        "nice " + std::to_string(nice) + ", through rtkit (real-time refused: " + refused + ")"};
        }
        refused += "; rtkit: " + (error.empty() ? std::string("refused") : error);
    }
    return {ThreadScheduling::Normal, "normal priority (refused: " + refused + ")"};
}

} // namespace krv
