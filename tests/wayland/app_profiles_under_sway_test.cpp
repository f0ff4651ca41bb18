// SPDX-License-Identifier: MIT
// The window in front under a wlroots compositor: sway runs headless, small Wayland programs of
// different app ids open windows, and swaymsg moves the focus as a user's key binding does. The watch
// reports each focus change once, with the app id in the window-class fields; the companion on the
// simulated mouse then switches to the profile of the program in front (and back to the no-match
// profile for a program without a rule). The desktop's choice of watch is checked against sway (its
// list of windows), weston (a compositor without one) and no compositor (the running programs).
// Every wait is on an event (a socket appearing, a line from a client, the watch's fd, a process
// ending), each with a bound far above what a loaded machine needs.
#include "widgets/CompanionFixture.h"
#include "x11/QtEnvironment.h"

#include "app/AppProfileSwitcher.h"
#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "platform/linux/RunningProgramWatch.h"
#include "platform/linux/WaylandForegroundWatch.h"
#include "settings/AppProfileRules.h"
#include "settings/IniFile.h"
#include "unit/RequireOk.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <poll.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <vector>

namespace krv {
namespace {

using namespace std::chrono_literals;

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

constexpr auto Bound = 30s;

int ms(std::chrono::milliseconds bound) {
    return static_cast<int>(bound.count());
}

QString logTail(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("(no %1)").arg(file);
    return QString::fromUtf8(f.readAll().right(3000));
}

// Waits until a file of folder passes `found` (or the process ends, or the bound passes); its path,
// or an empty string.
QString waitForFile(const QString& folder, const std::function<bool(const QString&)>& found, QProcess& process) {
    const auto look = [&]() -> QString {
        for (const QString& name : QDir(folder).entryList(QDir::System | QDir::Files))
            if (found(name))
                return QDir(folder).filePath(name);
        return {};
    };
    QFileSystemWatcher watcher({folder});
    QEventLoop loop;
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, [&] {
        if (!look().isEmpty())
            loop.quit();
    });
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&bound, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (look().isEmpty() && process.state() != QProcess::NotRunning) {
        bound.start(ms(Bound));
        loop.exec();
    }
    return process.state() == QProcess::Running ? look() : QString();
}

void endProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(ms(Bound)))
        process.kill();
    process.waitForFinished(ms(Bound));
}

// A headless sway with a runtime folder of its own. sway refuses to run as root: run by root (as in
// CI), it runs as the unprivileged "nobody", whose socket root still reaches.
class Sway {
public:
    Sway() : m_runtime(QDir::tempPath() + QStringLiteral("/wl-b-sway-XXXXXX")) {
        m_program = QStandardPaths::findExecutable(QStringLiteral("sway"));
        if (m_program.isEmpty())
            return;
        QFile config(m_runtime.filePath(QStringLiteral("sway.config")));
        if (config.open(QIODevice::WriteOnly))
            config.write("output HEADLESS-1 resolution 1024x768\nxwayland disable\n");
        config.close();
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), m_runtime.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
        env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
        env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
        m_process.setProcessEnvironment(env);
        m_process.setStandardOutputFile(logPath());
        m_process.setStandardErrorFile(logPath(), QIODevice::Append);
        QStringList arguments{QStringLiteral("-c"), config.fileName()};
        QString program = m_program;
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (nobody == nullptr ||
                chown(QFile::encodeName(m_runtime.path()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return;
            arguments = QStringList{QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                                    QStringLiteral("--regid=%1").arg(nobody->pw_gid), QStringLiteral("--clear-groups"),
                                    m_program} +
                        arguments;
            program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        }
        m_process.start(program, arguments);
    }
    ~Sway() { endProcess(m_process); }
    void stop() { endProcess(m_process); }

    bool installed() const { return !m_program.isEmpty(); }
    // Waits for the Wayland socket and the IPC socket: sway listens on both once they are there.
    bool waitUntilListening() {
        if (!m_process.waitForStarted(ms(Bound)))
            return false;
        m_socket = waitForFile(
            m_runtime.path(),
            [](const QString& name) {
                return name.startsWith(QStringLiteral("wayland-")) && !name.endsWith(QStringLiteral(".lock"));
            },
            m_process);
        m_ipc = waitForFile(
            m_runtime.path(),
            [](const QString& name) {
                return name.startsWith(QStringLiteral("sway-ipc.")) && name.endsWith(QStringLiteral(".sock"));
            },
            m_process);
        return !m_socket.isEmpty() && !m_ipc.isEmpty();
    }
    // The Wayland socket's full path, as WAYLAND_DISPLAY takes it.
    const QString& socket() const { return m_socket; }
    QString logPath() const {
        return QDir::tempPath() + QStringLiteral("/") + QDir(m_runtime.path()).dirName() + QStringLiteral(".log");
    }

    // What a user's key binding does: the focus to the window of app id.
    bool focus(const QString& appId) {
        QProcess swaymsg;
        swaymsg.setProcessChannelMode(QProcess::MergedChannels);
        swaymsg.start(QStringLiteral("swaymsg"),
                      {QStringLiteral("-s"), m_ipc, QStringLiteral("[app_id=\"%1\"] focus").arg(appId)});
        const bool done = swaymsg.waitForFinished(ms(Bound)) && swaymsg.exitCode() == 0;
        if (!done) {
            ADD_FAILURE() << "swaymsg: " << swaymsg.readAll().toStdString();
            swaymsg.kill();
            swaymsg.waitForFinished();
        }
        return done;
    }

private:
    QTemporaryDir m_runtime;
    QString m_program;
    QProcess m_process;
    QString m_socket;
    QString m_ipc;
};

// One window of app id, on the compositor at socket.
class Client {
public:
    Client(const QString& socket, const QString& appId) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("QT_WAYLAND_DISABLE_WINDOWDECORATION"), QStringLiteral("1"));
        env.remove(QStringLiteral("DISPLAY"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(KRV_TOPLEVEL_CLIENT), {appId});
        const auto deadline = std::chrono::steady_clock::now() + Bound;
        while (!m_shown && m_process.waitForReadyRead(ms(Bound)) && std::chrono::steady_clock::now() < deadline)
            m_shown = m_process.readAll().contains("shown");
    }
    ~Client() { stop(); }
    bool shown() const { return m_shown; }
    void stop() {
        m_process.kill();
        m_process.waitForFinished(ms(Bound));
    }

private:
    QTemporaryDir m_runtime;
    QProcess m_process;
    bool m_shown = false;
};

// Every change the watch reports until one passes `wanted`, waiting on its fd; the last one fails
// `wanted` when the bound passed first.
std::vector<ForegroundProgram> changesUntil(ForegroundWatch& watch,
                                            const std::function<bool(const ForegroundProgram&)>& wanted) {
    std::vector<ForegroundProgram> changes;
    const auto deadline = std::chrono::steady_clock::now() + Bound;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd socket{watch.fd(), POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (poll(&socket, 1, std::max(1, static_cast<int>(left.count()))) <= 0)
            continue;
        if (std::optional<ForegroundProgram> change = watch.readChange()) {
            changes.push_back(*change);
            if (wanted(*change))
                return changes;
        }
    }
    ForegroundProgram timedOut;
    timedOut.windowClass = "(no such change within the bound)";
    changes.push_back(timedOut);
    return changes;
}

std::function<bool(const ForegroundProgram&)> ofApp(const char* appId) {
    return [appId](const ForegroundProgram& p) { return p.windowClass == appId; };
}

class AppProfilesUnderSway : public ::testing::Test {
protected:
    void SetUp() override {
        if (!sway.installed())
            GTEST_SKIP() << "sway is not installed";
        ASSERT_TRUE(sway.waitUntilListening()) << logTail(sway.logPath()).toStdString();
    }
    void TearDown() override {
        if (HasFailure())
            std::fprintf(stderr, "sway's log:\n%s\n", qPrintable(logTail(sway.logPath())));
        QFile::remove(sway.logPath());
    }
    std::unique_ptr<Client> start(const char* appId) {
        auto client = std::make_unique<Client>(sway.socket(), QString::fromLatin1(appId));
        EXPECT_TRUE(client->shown()) << appId;
        return client;
    }

    Sway sway;
};

TEST_F(AppProfilesUnderSway, TheWindowInFrontIsReportedOnceAtEachFocusChange) {
    std::string error;
    auto watch = WaylandForegroundWatch::open(qPrintable(sway.socket()), "krv.test.Companion", &error);
    ASSERT_TRUE(watch) << error;
    EXPECT_EQ(watch->current(), ForegroundProgram{}); // no window yet

    // sway gives each new window the focus.
    auto one = start("org.krvtest.GameOne");
    std::vector<ForegroundProgram> changes = changesUntil(*watch, ofApp("org.krvtest.GameOne"));
    ASSERT_EQ(changes.size(), 1u);
    const ForegroundProgram first = changes[0];
    EXPECT_NE(first.window, 0u);
    EXPECT_EQ(first.windowInstance, "GameOne"); // the last part of a reverse-domain id
    EXPECT_EQ(first.pid, 0);                    // Wayland tells no process
    EXPECT_EQ(first.executable, "");

    auto two = start("krvgametwo");
    changes = changesUntil(*watch, ofApp("krvgametwo"));
    ASSERT_EQ(changes.size(), 1u);
    const ForegroundProgram second = changes[0];
    EXPECT_NE(second.window, first.window);
    EXPECT_EQ(second.windowInstance, "krvgametwo");

    // The focus moves back and forth: each move is one change, the same windows as before.
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(sway.focus(QStringLiteral("org.krvtest.GameOne")));
        changes = changesUntil(*watch, ofApp("org.krvtest.GameOne"));
        ASSERT_EQ(changes.size(), 1u) << round;
        EXPECT_EQ(changes[0], first);
        ASSERT_TRUE(sway.focus(QStringLiteral("krvgametwo")));
        changes = changesUntil(*watch, ofApp("krvgametwo"));
        ASSERT_EQ(changes.size(), 1u) << round;
        EXPECT_EQ(changes[0], second);
    }
    EXPECT_EQ(watch->current(), second);

    // The window in front closes: sway gives the focus to the other one.
    two->stop();
    changes = changesUntil(*watch, ofApp("org.krvtest.GameOne"));
    EXPECT_EQ(changes.back(), first);

    // The companion's own window (its app id): its process, so that the switcher lets it be.
    auto own = start("krv.test.Companion");
    changes = changesUntil(*watch, ofApp("krv.test.Companion"));
    EXPECT_EQ(changes.back().pid, static_cast<std::int64_t>(getpid()));
}

TEST_F(AppProfilesUnderSway, AWatchWhoseCompositorEndedFallsSilent) {
    auto watch = WaylandForegroundWatch::open(qPrintable(sway.socket()));
    ASSERT_TRUE(watch);
    auto one = start("krvgameone");
    ASSERT_EQ(changesUntil(*watch, ofApp("krvgameone")).back().windowClass, "krvgameone");
    sway.stop();
    // No program in front any more, and the fd never reads as ready again (a hung-up socket would,
    // for ever, and keep the companion's event loop spinning).
    EXPECT_EQ(changesUntil(*watch, [](const ForegroundProgram& p) { return p.window == 0; }).back(),
              ForegroundProgram{});
    pollfd fd{watch->fd(), POLLIN, 0};
    EXPECT_EQ(poll(&fd, 1, 0), 0);
    EXPECT_EQ(watch->readChange(), std::nullopt);
    EXPECT_EQ(watch->current(), ForegroundProgram{});
}

TEST_F(AppProfilesUnderSway, FocusingAProgramSendsItsProfileToTheMouse) {
    qputenv("WAYLAND_DISPLAY", sway.socket().toLocal8Bit());
    test::CompanionFixture f(
        [](const QString& folder, SimulatedMouse&) {
            const std::filesystem::path dir = folder.toStdString();
            test::writeFile(dir / AppProfilesFileName,
                            "[Options]\r\nNoMatch=1\r\n[Programs]\r\nGameOne=2\r\nkrvgametwo=3\r\n");
            krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config2", "K4", "31"));
            krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config3", "K4", "32"));
        },
        true, false, [](Companion::Options& o) { o.appProfileSettle = 50ms; },
        [](AppPorts& ports) { ports.openForegroundWatch = [] { return OpenDesktopForegroundWatch({}); }; });
    qunsetenv("WAYLAND_DISPLAY");
    ASSERT_TRUE(f.companion->appProfileSwitcher() && f.companion->appProfileSwitcher()->watching());
    const auto curConfig = [&] { return ReadCurConfig(f.configPath().toStdString()); };
    const auto profileBecomes = [&](int n) {
        return QTest::qWaitFor([&] { return curConfig() == n && f.settings().currentProfile.load() == n; }, ms(Bound));
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return f.context->feedback.HostFunctionsReady.load(); }, ms(Bound)));
    ASSERT_EQ(curConfig(), 1);

    auto one = start("org.krvtest.GameOne"); // the rule names the last part of its app id
    ASSERT_TRUE(profileBecomes(2)) << curConfig();
    EXPECT_EQ(f.mouse->state().buttonMap[DeviceButtonId[3]], HostCode);
    auto two = start("krvgametwo");
    ASSERT_TRUE(profileBecomes(3)) << curConfig();
    ASSERT_TRUE(sway.focus(QStringLiteral("org.krvtest.GameOne")));
    ASSERT_TRUE(profileBecomes(2)) << curConfig();

    // A program without a rule: the no-match profile.
    auto other = start("krvother");
    ASSERT_TRUE(profileBecomes(1)) << curConfig();
    EXPECT_EQ(f.mouse->state().buttonMap[DeviceButtonId[3]], std::uint8_t{5});
}

// The desktop's choice: the compositor's list of windows where it has one; else the running programs
// of the rules (none without a rules file).
TEST_F(AppProfilesUnderSway, TheDesktopsWatchIsTheListOfWindowsWhereOffered) {
    test::TempDir folder;
    const std::filesystem::path rules = folder / AppProfilesFileName;
    QProcess weston;
    QTemporaryDir westonRuntime(QDir::tempPath() + QStringLiteral("/wl-b-weston-XXXXXX"));
    QString westonSocket;
    if (!QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), westonRuntime.path());
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("DISPLAY"));
        weston.setProcessEnvironment(env);
        weston.setStandardOutputFile(westonRuntime.filePath(QStringLiteral("weston.log")));
        weston.setProcessChannelMode(QProcess::MergedChannels);
        weston.start(QStringLiteral("weston"),
                     {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=wl-b-weston"),
                      QStringLiteral("--idle-time=0")});
        if (weston.waitForStarted(ms(Bound)))
            westonSocket = waitForFile(
                westonRuntime.path(), [](const QString& name) { return name == QLatin1String("wl-b-weston"); }, weston);
        EXPECT_FALSE(westonSocket.isEmpty())
            << logTail(westonRuntime.filePath(QStringLiteral("weston.log"))).toStdString();
    }
    struct Case {
        QString display;
        bool listOfWindows;
    };
    std::vector<Case> cases = {{sway.socket(), true},
                               {QDir::tempPath() + QStringLiteral("/wl-b-no-such-socket"), false}};
    if (!westonSocket.isEmpty())
        cases.push_back({westonSocket, false});
    for (const Case& c : cases) {
        qputenv("WAYLAND_DISPLAY", c.display.toLocal8Bit());
        std::unique_ptr<ForegroundWatch> watch = OpenDesktopForegroundWatch(rules);
        if (c.listOfWindows) {
            EXPECT_NE(dynamic_cast<WaylandForegroundWatch*>(watch.get()), nullptr) << c.display.toStdString();
        } else {
            EXPECT_NE(dynamic_cast<RunningProgramWatch*>(watch.get()), nullptr) << c.display.toStdString();
            EXPECT_EQ(OpenDesktopForegroundWatch({}), nullptr) << c.display.toStdString();
        }
    }
    qunsetenv("WAYLAND_DISPLAY");
    endProcess(weston);
}

} // namespace
} // namespace krv
