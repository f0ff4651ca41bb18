// SPDX-License-Identifier: MIT
// One companion per user, between real processes of the demo under Xvfb: a second start restores
// the running window (even one that is not shown) and ends with failure status; a crashed instance
// does not block the next start.
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace krv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 15s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(20ms); // polling another process: there is nothing to wait on
    }
    return condition();
}

// The demo with its data in a folder of its own (it writes config.ini there when it applies).
class DemoFolder {
public:
    DemoFolder() {
        const fs::path bin = KRV_BUILD_DATA_DIR;
        fs::copy_file(bin / "krv-glyde-demo", m_dir.path() / "krv-glyde-demo");
        for (const char* file : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
            fs::copy_file(fs::path(KRV_SHIPPED_DATA_DIR) / file, m_dir.path() / file);
        fs::copy(bin / "skins", m_dir.path() / "skins", fs::copy_options::recursive);
        fs::create_directories(m_dir.path() / "runtime");
        fs::permissions(m_dir.path() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    fs::path program() const { return m_dir.path() / "krv-glyde-demo"; }
    fs::path runtime() const { return m_dir.path() / "runtime"; }

private:
    test::TempDir m_dir;
};

// errFd: where the demo's standard error goes (-1: the test's own).
pid_t spawnDemo(const DemoFolder& folder, int errFd = -1) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 && entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(entry);
    }
    env.push_back("XDG_RUNTIME_DIR=" + folder.runtime().string());
    env.push_back("QT_QPA_PLATFORM=xcb");
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = folder.program().string();
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (errFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

std::optional<int> exitStatus(pid_t pid, std::chrono::milliseconds limit) {
    int status = 0;
    std::optional<int> result;
    waitFor(
        [&] {
            const pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid)
                result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return result.has_value();
        },
        limit);
    return result;
}

class Display {
public:
    Display() : m_display(XOpenDisplay(nullptr)) {}
    ~Display() {
        if (m_display)
            XCloseDisplay(m_display);
    }
    ::Display* get() const { return m_display; }

    // The top-level window titled "VELDRA GAMING MOUSE" of a process (by _NET_WM_PID).
    Window companionWindow(pid_t pid) { return find(DefaultRootWindow(m_display), pid); }
    bool viewable(Window w) {
        XWindowAttributes attributes{};
        XSync(m_display, False);
        return XGetWindowAttributes(m_display, w, &attributes) && attributes.map_state == IsViewable;
    }

private:
    Window find(Window parent, pid_t pid) {
        Window root = 0, parentOut = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(m_display, parent, &root, &parentOut, &children, &count))
            return 0;
        Window found = 0;
        const Atom pidAtom = XInternAtom(m_display, "_NET_WM_PID", True);
        for (unsigned i = 0; i < count && !found; ++i) {
            char* name = nullptr;
            if (XFetchName(m_display, children[i], &name) && name) {
                const bool titled = std::string(name) == "VELDRA GAMING MOUSE";
                XFree(name);
                if (titled && pidAtom != None && windowPid(children[i], pidAtom) == pid)
                    found = children[i];
            }
            if (!found)
                found = find(children[i], pid);
        }
        if (children)
            XFree(children);
        return found;
    }
    long windowPid(Window w, Atom pidAtom) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        long pid = -1;
        if (XGetWindowProperty(m_display, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                               &data) == Success &&
            data && items == 1)
            pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        if (data)
            XFree(data);
        return pid;
    }

    ::Display* m_display;
};

// The companion's window once it is on the screen; 0 when it never shows.
Window shownWindow(Display& display, pid_t pid) {
    Window window = 0;
    return waitFor([&] { return (window = display.companionWindow(pid)) != 0 && display.viewable(window); }) ? window
                                                                                                          : 0;
}

TEST(SingleInstance, SecondStartRestoresTheRunningWindowAndFails) {
    Display display;
    ASSERT_NE(display.get(), nullptr);
    DemoFolder folder;
    const pid_t first = spawnDemo(folder);
    ASSERT_GT(first, 0);
    const Window window = shownWindow(display, first);
    ASSERT_NE(window, 0u);

    // The window disappears from the screen (as in the tray); a second start brings it back.
    XUnmapWindow(display.get(), window);
    XSync(display.get(), False);
    ASSERT_TRUE(waitFor([&] { return !display.viewable(window); }));
    const pid_t second = spawnDemo(folder);
    ASSERT_GT(second, 0);
    EXPECT_EQ(exitStatus(second, 15s), std::optional<int>(1));
    EXPECT_NE(shownWindow(display, first), 0u);
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first companion keeps running";

    // A crash leaves the lock and the socket behind: the next start still becomes the companion.
    kill(first, SIGKILL);
    exitStatus(first, 5s);
    const pid_t third = spawnDemo(folder);
    ASSERT_GT(third, 0);
    EXPECT_NE(shownWindow(display, third), 0u);
    EXPECT_EQ(waitpid(third, nullptr, WNOHANG), 0);
    // A termination signal ends it through its shutdown, with success status.
    kill(third, SIGTERM);
    EXPECT_EQ(exitStatus(third, 10s), std::optional<int>(0));
}

// What a process writes to a pipe until a line holds `wanted` or the time is up.
std::string readUntil(int fd, const std::string& wanted, std::chrono::milliseconds limit) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (text.find(wanted) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[1024];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

// A first companion that is stopped takes the second start's message but never answers: the second
// start says so in one line and in a message box, and no second companion runs.
TEST(SingleInstance, ASecondStartSaysThatAStoppedCompanionDoesNotAnswer) {
    Display display;
    ASSERT_NE(display.get(), nullptr);
    DemoFolder folder;
    const pid_t first = spawnDemo(folder);
    ASSERT_GT(first, 0);
    ASSERT_NE(shownWindow(display, first), 0u);
    ASSERT_EQ(kill(first, SIGSTOP), 0);

    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t second = spawnDemo(folder, err[1]);
    close(err[1]);
    ASSERT_GT(second, 0);
    const std::string said = readUntil(err[0], "\n", 15s);
    close(err[0]);
    EXPECT_NE(said.find("krv-glyde-demo: the running companion (process " + std::to_string(first) +
                        ") does not answer (it may be stopped or hung)"),
              std::string::npos)
        << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    // The message box, titled as the window, belongs to the second start; it is no companion.
    EXPECT_TRUE(waitFor([&] { return display.companionWindow(second) != 0; }));
    EXPECT_EQ(waitpid(second, nullptr, WNOHANG), 0) << "the message stays until it is closed";
    kill(second, SIGKILL);
    exitStatus(second, 5s);

    kill(first, SIGCONT);
    kill(first, SIGTERM);
    EXPECT_EQ(exitStatus(first, 10s), std::optional<int>(0));
}

} // namespace
} // namespace krv
