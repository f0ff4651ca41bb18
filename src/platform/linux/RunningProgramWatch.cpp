// SPDX-License-Identifier: MIT
#include "platform/linux/RunningProgramWatch.h"

#include "log/Log.h"
#include "platform/linux/ProcessProgram.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace krv {

namespace {

// When the process started, in clock ticks since boot: the 22nd field of /proc/PID/stat, counted
// after the name in parentheses (which may itself hold blanks and parentheses). 0 when unreadable.
std::uint64_t startTimeOf(int procFd, const char* pid) {
    const std::string name = std::string(pid) + "/stat";
    const int fd = ::openat(procFd, name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buffer[1024];
    const ssize_t length = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (length <= 0)
        return 0;
    const std::string_view stat(buffer, static_cast<std::size_t>(length));
    std::size_t at = stat.rfind(')');
    if (at == std::string_view::npos)
        return 0;
    // Fields 3 (the state) to 21 come before it.
    for (int field = 3; field <= 22; ++field) {
        at = stat.find_first_not_of(' ', at + 1);
        if (at == std::string_view::npos)
            return 0;
        if (field == 22)
            return std::strtoull(stat.data() + at, nullptr, 10);
        at = stat.find(' ', at);
        if (at == std::string_view::npos)
            return 0;
    }
    return 0;
}

bool isPid(const char* name) {
    if (*name == '\0')
        return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9')
            return false;
    return true;
}

} // namespace

RunningProgramWatch::RunningProgramWatch(std::filesystem::path rulesFile, std::chrono::milliseconds interval)
    : m_rulesFile(std::move(rulesFile)) {
    m_timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timer < 0) {
        LogWarning(LogCategory::Apply) << "cannot make the timer of the running programs' watch";
        return;
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
    itimerspec every{};
    every.it_interval.tv_sec = static_cast<time_t>(seconds.count());
    every.it_interval.tv_nsec = static_cast<long>(std::chrono::nanoseconds(interval - seconds).count());
    if (every.it_interval.tv_sec == 0 && every.it_interval.tv_nsec == 0)
        every.it_interval.tv_nsec = 1'000'000;
    every.it_value = every.it_interval;
    ::timerfd_settime(m_timer, 0, &every, nullptr);
}

RunningProgramWatch::~RunningProgramWatch() {
    if (m_timer >= 0)
        ::close(m_timer);
}

int RunningProgramWatch::fd() const {
    return m_timer;
}

void RunningProgramWatch::refreshRules() {
    FileStamp stamp;
    struct stat info {};
    if (::stat(m_rulesFile.c_str(), &info) == 0) {
        stamp.exists = true;
        stamp.inode = info.st_ino;
        stamp.size = info.st_size;
        stamp.modifiedNs = static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec;
    }
    if (m_rulesStamp && *m_rulesStamp == stamp)
        return;
    m_rulesStamp = stamp;
    const AppProfileRulesRead read = ReadAppProfileRules(m_rulesFile);
    // An unreadable file names no program (the switcher says why when it reads it).
    m_rules = read.status.ok() ? read.rules : AppProfileRules{};
    m_rules.noMatchProfile = 0;
    m_hasRules = m_rules.enabled && !m_rules.rules.empty();
}

ForegroundProgram RunningProgramWatch::look() {
    refreshRules();
    ForegroundProgram newest;
    if (!m_hasRules)
        return newest;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr)
        return newest;
    const int procFd = ::dirfd(proc);
    const pid_t own = ::getpid();
    std::uint64_t newestStart = 0;
    while (const dirent* entry = ::readdir(proc)) {
        if (!isPid(entry->d_name))
            continue;
        const std::int64_t pid = std::strtoll(entry->d_name, nullptr, 10);
        if (pid == own)
            continue;
        std::string executable = ProgramOfProcessAt(procFd, entry->d_name);
        if (executable.empty() || !m_rules.profileFor({executable, {}, {}}))
            continue;
        const std::uint64_t start = startTimeOf(procFd, entry->d_name);
        // The latest start wins; of two started in the same tick, the higher pid (the later one,
        // unless the pids wrapped around).
        if (newest.pid == 0 || start > newestStart || (start == newestStart && pid > newest.pid)) {
            newest.pid = pid;
            newest.window = static_cast<std::uint64_t>(pid);
            newest.executable = std::move(executable);
            newestStart = start;
        }
    }
    ::closedir(proc);
    return newest;
}

std::optional<ForegroundProgram> RunningProgramWatch::readChange() {
    std::uint64_t expirations = 0;
    if (m_timer < 0 || ::read(m_timer, &expirations, sizeof expirations) != sizeof expirations)
        return std::nullopt;
    const ForegroundProgram before = m_last;
    const bool knewBefore = m_knowsLast;
    ForegroundProgram now = current();
    if (knewBefore && now == before)
        return std::nullopt;
    return now;
}

ForegroundProgram RunningProgramWatch::current() {
    m_last = look();
    m_knowsLast = true;
    return m_last;
}

} // namespace krv
