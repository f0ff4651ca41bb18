// SPDX-License-Identifier: MIT
#include "platform/linux/ShellLauncher.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace krv {
namespace {

// Starts the program without a shell; returns its pid or -1.
pid_t spawn(const std::string& program, const ShellLauncher::Command& command) {
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // The device, the X connection and the like stay ours.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: the program outlives us and gets none of our terminal's signals.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);

    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ) != 0)
        pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool exitedWell(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

ShellLauncher::ShellLauncher(std::string searchPath) : m_searchPath(std::move(searchPath)) {
    if (m_searchPath.empty()) {
        const char* path = std::getenv("PATH");
        m_searchPath = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    }
}

ShellLauncher::~ShellLauncher() = default; // reaper threads hold the shared state, not this object

const std::vector<ShellLauncher::Command>& ShellLauncher::computerFolderCommands() {
    static const std::vector<Command> commands{{"xdg-open", "/"}, {"gio", "open", "/"}, {"nautilus", "/"},
                                               {"dolphin", "/"},  {"thunar", "/"},      {"pcmanfm", "/"},
                                               {"caja", "/"},     {"nemo", "/"}};
    return commands;
}
const std::vector<ShellLauncher::Command>& ShellLauncher::lockCommands() {
    static const std::vector<Command> commands{
        {"loginctl", "lock-session"}, {"xdg-screensaver", "lock"}, {"xflock4"}, {"dm-tool", "lock"}};
    return commands;
}
const std::vector<ShellLauncher::Command>& ShellLauncher::calculatorCommands() {
    static const std::vector<Command> commands{{"gnome-calculator"}, {"kcalc"},         {"galculator"},
                                               {"mate-calc"},        {"qalculate-gtk"}, {"xcalc"}};
    return commands;
}
const std::vector<ShellLauncher::Command>& ShellLauncher::terminalCommands() {
    static const std::vector<Command> commands{{"x-terminal-emulator"}, {"gnome-terminal"}, {"konsole"},
                                               {"xfce4-terminal"},      {"mate-terminal"},  {"lxterminal"},
                                               {"xterm"}};
    return commands;
}

void ShellLauncher::openComputerFolder() { launch(computerFolderCommands(), false); }
void ShellLauncher::lockSession() { launch(lockCommands(), true); }
void ShellLauncher::startCalculator() { launch(calculatorCommands(), false); }
void ShellLauncher::startTerminal() { launch(terminalCommands(), false); }

std::string ShellLauncher::findProgram(const std::string& name) const {
    std::istringstream dirs(m_searchPath);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty())
            continue;
        const std::string candidate = dir + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

void ShellLauncher::launch(const std::vector<Command>& candidates, bool fallBackOnFailure) {
    // The search and the start happen here, the wait on a reaper thread: the caller never blocks on
    // the program.
    std::vector<std::pair<std::string, Command>> found;
    for (const Command& command : candidates)
        if (std::string program = findProgram(command.front()); !program.empty())
            found.emplace_back(std::move(program), command);
    std::size_t next = 0;
    pid_t pid = -1;
    while (pid < 0 && next < found.size()) {
        pid = spawn(found[next].first, found[next].second);
        ++next;
    }
    if (pid < 0)
        return;
    std::shared_ptr<Shared> shared = m_shared;
    {
        std::lock_guard lock(shared->mutex);
        ++shared->running;
    }
    std::thread([shared, pid, found = std::move(found), next, fallBackOnFailure]() mutable {
        std::size_t following = next;
        pid_t current = pid;
        while (current >= 0) {
            const bool ok = exitedWell(current);
            current = -1;
            while (!ok && fallBackOnFailure && current < 0 && following < found.size()) {
                current = spawn(found[following].first, found[following].second);
                ++following;
            }
        }
        {
            std::lock_guard lock(shared->mutex);
            --shared->running;
        }
        shared->idle.notify_all();
    }).detach();
}

void ShellLauncher::waitUntilIdle() {
    std::unique_lock lock(m_shared->mutex);
    m_shared->idle.wait(lock, [&] { return m_shared->running == 0; });
}

} // namespace krv
