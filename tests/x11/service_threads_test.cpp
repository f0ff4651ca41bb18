// SPDX-License-Identifier: MIT
// The demo's mouse-reading and button-action threads, as the running program has them: real-time where
// the process may, through rtkit on the system bus where it may not (a stand-in rtkit on a bus of the
// test's own), and without either the program starts all the same and says what its threads run at.
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace krv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readText(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Waits for another process (there is nothing to wait on but its files), running this process's Qt
// events meanwhile so that the stand-in rtkit answers.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 20s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(5ms);
    }
    return condition();
}

bool realtimePermittedHere() {
    // Asked in a child, so that this process stays as it is.
    const pid_t child = fork();
    if (child == 0) {
        const sched_param param{.sched_priority = 1};
        _exit(sched_setscheduler(0, SCHED_FIFO, &param) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The scheduling of a process's threads by name: "FIFO 10" or "OTHER nice -10".
std::map<std::string, std::string> threadScheduling(pid_t pid) {
    std::map<std::string, std::string> threads;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(pid) / "task", ec)) {
        std::string name = readText(task.path() / "comm");
        if (!name.empty() && name.back() == '\n')
            name.pop_back();
        const pid_t tid = std::stoi(task.path().filename().string());
        const int policy = sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK;
        sched_param param{};
        sched_getparam(tid, &param);
        errno = 0;
        const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
        threads[name] = policy == SCHED_FIFO ? "FIFO " + std::to_string(param.sched_priority)
                                             : "OTHER nice " + std::to_string(nice);
    }
    return threads;
}

// Stands in for rtkit on a bus of the test's own: the checks rtkit makes (the thread belongs to the
// caller, the caller's RLIMIT_RTTIME is within RTTimeUSecMax, the priority within its maximum), then
// the change, which this process may make as rtkit would.
class FakeRealtimeKit : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.RealtimeKit1")
    Q_PROPERTY(int MaxRealtimePriority READ maxRealtimePriority)
    Q_PROPERTY(int MinNiceLevel READ minNiceLevel)
    Q_PROPERTY(qlonglong RTTimeUSecMax READ rtTimeUSecMax)
public:
    bool grantRealtime = true;
    int maxRealtimePriority() const { return 5; }
    int minNiceLevel() const { return -5; }
    qlonglong rtTimeUSecMax() const { return 200000; }
    QStringList asked;

public slots:
    void MakeThreadRealtime(quint64 thread, quint32 priority) {
        asked << QStringLiteral("realtime %1").arg(priority);
        const QString refusal = check(thread);
        if (!refusal.isEmpty() || !grantRealtime || priority > static_cast<quint32>(maxRealtimePriority()))
            return sendErrorReply(QDBusError::AccessDenied, refusal.isEmpty() ? QStringLiteral("refused") : refusal);
        const sched_param param{.sched_priority = static_cast<int>(priority)};
        if (sched_setscheduler(static_cast<pid_t>(thread), SCHED_FIFO | SCHED_RESET_ON_FORK, &param) != 0)
            sendErrorReply(QDBusError::Failed, QStringLiteral("sched_setscheduler failed"));
    }
    void MakeThreadHighPriority(quint64 thread, qint32 nice) {
        asked << QStringLiteral("nice %1").arg(nice);
        const QString refusal = check(thread);
        if (!refusal.isEmpty() || nice < minNiceLevel())
            return sendErrorReply(QDBusError::AccessDenied, refusal.isEmpty() ? QStringLiteral("refused") : refusal);
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice) != 0)
            sendErrorReply(QDBusError::Failed, QStringLiteral("setpriority failed"));
    }

private:
    QString check(quint64 thread) {
        const uint pid = connection().interface()->servicePid(message().service());
        const fs::path process = fs::path("/proc") / std::to_string(pid);
        if (!fs::exists(process / "task" / std::to_string(thread)))
            return QStringLiteral("not a thread of the caller");
        std::istringstream limits(readText(process / "limits"));
        for (std::string line; std::getline(limits, line);) {
            if (line.rfind("Max realtime timeout", 0) != 0)
                continue;
            std::istringstream fields(line.substr(26));
            std::string soft, hard;
            fields >> soft >> hard;
            if (hard == "unlimited" || std::stoll(hard) > rtTimeUSecMax())
                return QStringLiteral("RLIMIT_RTTIME too high");
        }
        return {};
    }
};

// The demo in a folder of its own, started with the environment and limits given; its standard error
// goes to a file.
class Demo {
public:
    Demo() {
        const fs::path bin = KRV_BUILD_DATA_DIR;
        fs::copy_file(bin / "krv-glyde-demo", m_dir.path() / "krv-glyde-demo");
        for (const char* file : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
            fs::copy_file(fs::path(KRV_SHIPPED_DATA_DIR) / file, m_dir.path() / file);
        fs::copy(bin / "skins", m_dir.path() / "skins", fs::copy_options::recursive);
        fs::create_directories(m_dir.path() / "runtime");
        fs::permissions(m_dir.path() / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    ~Demo() { stop(); }

    // unprivileged: without CAP_SYS_NICE and with no real-time or nice allowance, as a desktop user.
    // options and environment are added to the demo's own.
    void start(const std::string& systemBus, bool unprivileged, const std::vector<std::string>& options = {},
               const std::vector<std::string>& environment = {}) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("XDG_RUNTIME_DIR=", 0) != 0 && entry.rfind("DBUS_SYSTEM_BUS_ADDRESS=", 0) != 0 &&
                entry.rfind("QT_LOGGING_RULES=", 0) != 0)
                env.push_back(entry);
        }
        env.insert(env.end(), environment.begin(), environment.end());
        env.push_back("XDG_RUNTIME_DIR=" + (m_dir.path() / "runtime").string());
        env.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + systemBus);
        std::vector<std::string> args;
        if (unprivileged) {
            args = {"/usr/bin/prlimit", "--rtprio=0", "--nice=0", "--"};
            if (geteuid() == 0)
                args.insert(args.end(), {"/usr/bin/setpriv", "--inh-caps=-all", "--bounding-set=-sys_nice", "--"});
        }
        args.push_back((m_dir.path() / "krv-glyde-demo").string());
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv, envp;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile().c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        ASSERT_EQ(posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
    }
    // Ends the demo as logout does; its exit status.
    int stop() {
        if (m_pid <= 0)
            return -1;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    pid_t pid() const { return m_pid; }
    // Its standard error, and its threads' scheduling.
    std::string errors() const {
        std::string text = readText(stderrFile()) + "threads:";
        for (const auto& [name, scheduling] : threadScheduling(m_pid))
            text += " " + name + " (" + scheduling + ")";
        return text;
    }

    // Both service threads are there and named (named means prepared).
    bool threadsReady() const {
        const auto threads = threadScheduling(m_pid);
        return threads.contains("krv-reader") && threads.contains("krv-executor");
    }

    fs::path stderrPath() const { return stderrFile(); }

private:
    fs::path stderrFile() const { return m_dir.path() / "stderr.txt"; }
    test::TempDir m_dir;
    pid_t m_pid = 0;
};

// A private message bus that plays the system bus.
class PrivateBus {
public:
    PrivateBus() {
        const std::string address = "unix:path=" + (m_dir.path() / "bus").string();
        std::vector<std::string> args = {"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + address};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = 0;
        if (m_pid > 0 && waitFor([&] { return fs::exists(m_dir.path() / "bus"); }, 10s))
            m_address = address;
    }
    ~PrivateBus() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& address() const { return m_address; }

private:
    test::TempDir m_dir;
    pid_t m_pid = 0;
    std::string m_address;
};

class ServiceThreads : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "service_threads_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }

    // The stand-in rtkit on a private bus; false when the bus cannot be had.
    bool serveFakeRtkit() {
        if (m_bus.address().empty())
            return false;
        m_connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(m_bus.address()), QStringLiteral("fake-rtkit")));
        return m_connection->isConnected() &&
               m_connection->registerService(QStringLiteral("org.freedesktop.RealtimeKit1")) &&
               m_connection->registerObject(QStringLiteral("/org/freedesktop/RealtimeKit1"), &m_rtkit,
                                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    }
    void TearDown() override {
        if (m_connection) {
            m_connection->unregisterObject(QStringLiteral("/org/freedesktop/RealtimeKit1"));
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-rtkit"));
        }
    }

    PrivateBus m_bus;
    FakeRealtimeKit m_rtkit;
    std::unique_ptr<QDBusConnection> m_connection;
    Demo m_demo;
};

TEST_F(ServiceThreads, RealtimeWhereTheProcessMayAndNothingSaid) {
    if (!realtimePermittedHere())
        GTEST_SKIP() << "this process may not use SCHED_FIFO";
    m_demo.start("unix:path=/nonexistent/bus", false);
    ASSERT_TRUE(waitFor([&] { return m_demo.threadsReady(); })) << m_demo.errors();
    const auto threads = threadScheduling(m_demo.pid());
    EXPECT_EQ(threads.at("krv-reader"), "FIFO 10");
    EXPECT_EQ(threads.at("krv-executor"), "FIFO 10");
    EXPECT_EQ(m_demo.stop(), 0);
    // Quiet by default: nothing of the program's log.
    EXPECT_EQ(readText(m_demo.stderrPath()).find("krv."), std::string::npos) << m_demo.errors();
}

// Every category's details with --verbose; QT_LOGGING_RULES chooses single categories.
TEST_F(ServiceThreads, TheDemoSaysWhatItDoesWhenAskedPerCategory) {
    m_demo.start("unix:path=/nonexistent/bus", false, {"--verbose"});
    const char* const everyCategory[] = {"krv.instance: the only companion", "krv.device: scan of ",
                                         "krv.apply: applied and saved", "krv.input: keys are injected through"};
    ASSERT_TRUE(waitFor([&] {
        const std::string errors = m_demo.errors();
        return std::all_of(std::begin(everyCategory), std::end(everyCategory),
                           [&](const char* line) { return errors.find(line) != std::string::npos; });
    })) << m_demo.errors();
    EXPECT_EQ(m_demo.stop(), 0);

    m_demo.start("unix:path=/nonexistent/bus", false, {}, {"QT_LOGGING_RULES=krv.apply.debug=true"});
    ASSERT_TRUE(waitFor([&] { return m_demo.errors().find("krv.apply: applied and saved") != std::string::npos; }))
        << m_demo.errors();
    EXPECT_EQ(m_demo.stop(), 0);
    EXPECT_EQ(m_demo.errors().find("krv.device"), std::string::npos) << m_demo.errors();
}

TEST_F(ServiceThreads, WithoutPrivilegeOrRtkitTheDemoStartsAndSaysItsThreadsRunAtNormalPriority) {
    m_demo.start("unix:path=/nonexistent/bus", true);
    ASSERT_TRUE(waitFor([&] { return m_demo.threadsReady(); })) << m_demo.errors();
    ASSERT_TRUE(waitFor([&] {
        const std::string errors = m_demo.errors();
        return errors.find("mouse-reading thread") != std::string::npos &&
               errors.find("button-action thread") != std::string::npos;
    })) << m_demo.errors();
    const auto threads = threadScheduling(m_demo.pid());
    EXPECT_EQ(threads.at("krv-reader"), "OTHER nice 0");
    EXPECT_EQ(threads.at("krv-executor"), "OTHER nice 0");
    const std::string errors = m_demo.errors();
    EXPECT_NE(errors.find("krv.executor: the button-action thread runs at normal priority (refused: SCHED_FIFO: "
                          "Operation not permitted; rtkit: no system bus; nice -10: Permission denied; rtkit: no "
                          "system bus)\n"),
              std::string::npos)
        << errors;
    EXPECT_EQ(m_demo.stop(), 0); // it ran normally all along and ends as asked
}

TEST_F(ServiceThreads, WithoutPrivilegeRtkitMakesThemRealtimeWithinItsLimits) {
    if (!realtimePermittedHere())
        GTEST_SKIP() << "the stand-in rtkit needs SCHED_FIFO for this process";
    ASSERT_TRUE(serveFakeRtkit());
    m_demo.start(m_bus.address(), true);
    ASSERT_TRUE(waitFor([&] {
        const auto threads = threadScheduling(m_demo.pid());
        return threads.contains("krv-reader") && threads.at("krv-reader") == "FIFO 5" &&
               threads.contains("krv-executor") && threads.at("krv-executor") == "FIFO 5";
    })) << m_demo.errors()
        << m_rtkit.asked.join(", ").toStdString();
    EXPECT_EQ(m_rtkit.asked, QStringList({"realtime 5", "realtime 5"}));
    EXPECT_EQ(m_demo.stop(), 0);
    EXPECT_EQ(readText(m_demo.stderrPath()).find("thread runs at"), std::string::npos) << m_demo.errors();
}

TEST_F(ServiceThreads, WhenRtkitRefusesRealtimeItsNiceValueIsTakenAndSaid) {
    ASSERT_TRUE(serveFakeRtkit());
    m_rtkit.grantRealtime = false;
    m_demo.start(m_bus.address(), true);
    ASSERT_TRUE(waitFor([&] {
        const std::string errors = m_demo.errors();
        return errors.find("mouse-reading thread") != std::string::npos &&
               errors.find("button-action thread") != std::string::npos;
    })) << m_demo.errors();
    const auto threads = threadScheduling(m_demo.pid());
    EXPECT_EQ(threads.at("krv-reader"), "OTHER nice -5");
    EXPECT_EQ(threads.at("krv-executor"), "OTHER nice -5");
    EXPECT_NE(m_demo.errors().find("krv.executor: the button-action thread runs at nice -5, through rtkit (real-time "
                                   "refused: SCHED_FIFO: Operation not permitted; rtkit: "
                                   "org.freedesktop.DBus.Error.AccessDenied: refused; nice -10: Permission denied)\n"),
              std::string::npos)
        << m_demo.errors();
    EXPECT_EQ(m_demo.stop(), 0);
}

} // namespace
} // namespace krv

#include "service_threads_test.moc"
