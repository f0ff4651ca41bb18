// SPDX-License-Identifier: MIT
// The profiles for programs on a real X server with a window manager (openbox under Xvfb): small
// client programs are started and clicked like a user does, and the simulated mouse gets the profile
// of the program in front, whose host-served buttons then work; a program without a rule brings back
// the no-match profile, a Windows game under Wine is known by its Windows name, clicking through
// three windows switches once, and a manual switch wins until the focus moves.
#include "widgets/CompanionFixture.h"
#include "x11/QtEnvironment.h"

#include "app/AppProfileSwitcher.h"
#include "mouse/ButtonCode.h"
#include "mouse/MouseProtocol.h"
#include "settings/AppProfileRules.h"
#include "settings/IniFile.h"
#include "skin/SkinLayout.h"
#include "unit/RequireOk.h"
#include "unit/TempDir.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <filesystem>

namespace krv {
namespace {

[[maybe_unused]] ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new test::QtEnvironment);

struct XConnection {
    Display* display = XOpenDisplay(nullptr);
    ~XConnection() {
        if (display)
            XCloseDisplay(display);
    }
    unsigned long rootWindowProperty(const char* name) const {
        const Atom atom = XInternAtom(display, name, False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0, value = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, DefaultRootWindow(display), atom, 0, 1, False, XA_WINDOW, &type, &format,
                               &count, &after, &data) == Success &&
            data && count == 1)
            value = *reinterpret_cast<unsigned long*>(data);
        if (data)
            XFree(data);
        return value;
    }
    bool windowManagerRunning() const { return rootWindowProperty("_NET_SUPPORTING_WM_CHECK") != 0; }
    unsigned long activeWindow() const { return rootWindowProperty("_NET_ACTIVE_WINDOW"); }
    // A left click at a point of the screen, sent now or left for a later flush.
    void clickAt(QPoint p, bool flush = true) {
        XTestFakeMotionEvent(display, -1, p.x(), p.y(), CurrentTime);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        if (flush)
            XFlush(display);
    }
};

// One client window of a program file of its own name; argv0, when given, is the first argument the
// process shows (as Wine's loader shows the Windows program it runs).
struct Client {
    QProcess process;
    unsigned long window = 0;
    QPoint centre;

    Client(const std::filesystem::path& program, const QString& instance, const QString& cls, QPoint at,
           const QString& argv0 = {}) {
        centre = at + QPoint(100, 75);
        QStringList arguments{instance, cls, QString::number(at.x()), QString::number(at.y())};
        if (argv0.isEmpty()) {
            process.start(QString::fromStdString(program.string()), arguments);
        } else {
            arguments.prepend(QString::fromStdString(program.string()));
            arguments.prepend(argv0);
            arguments.prepend(QStringLiteral("exec -a \"$0\" \"$@\""));
            arguments.prepend(QStringLiteral("-c"));
            process.start(QStringLiteral("bash"), arguments);
        }
        if (process.waitForStarted() && process.waitForReadyRead(20000))
            window = process.readLine().trimmed().toULong();
    }
    ~Client() {
        process.kill();
        process.waitForFinished();
    }
};

class AppProfilesX11 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(x.display, nullptr);
        const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
        if (openbox.isEmpty())
            GTEST_SKIP() << "openbox is not installed";
        // A window manager of an earlier test has left its mark on the root window: it goes first, so
        // that the wait below is for this one.
        XDeleteProperty(x.display, DefaultRootWindow(x.display), XInternAtom(x.display, "_NET_SUPPORTING_WM_CHECK", False));
        XSync(x.display, False);
        m_wm.start(openbox, {QStringLiteral("--sm-disable")});
        ASSERT_TRUE(m_wm.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([&] { return x.windowManagerRunning(); }, 20000));
        // The same small program under four names: the rules name two by file, one by class; the
        // fourth is named as Wine's loader.
        for (const char* name : {"gameone", "gametwo", "other", "wine64-preloader"}) {
            std::filesystem::copy_file(KRV_FOCUS_CLIENT, m_programs / name);
            std::filesystem::permissions(m_programs / name, std::filesystem::perms::owner_all);
        }
        f = std::make_unique<test::CompanionFixture>(
            [](const QString& folder, SimulatedMouse&) {
                const std::filesystem::path dir = folder.toStdString();
                test::writeFile(dir / AppProfilesFileName,
                                "[Programs]\r\ngameone=2\r\nGameTwoClass=3\r\nkrvgame=3\r\n");
                krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config2", "K4", "31"));
                krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config3", "K4", "32"));
            },
            true, false, std::function<void(Companion::Options&)>{}, [](AppPorts& ports) {
                ports.openForegroundWatch = [] { return OpenDesktopForegroundWatch({}); };
            });
        ASSERT_TRUE(f->companion->appProfileSwitcher() && f->companion->appProfileSwitcher()->watching());
        ASSERT_TRUE(QTest::qWaitFor([&] { return f->context->feedback.HostFunctionsReady.load(); }, 10000));
    }
    void TearDown() override {
        f.reset();
        if (m_wm.state() != QProcess::NotRunning) {
            m_wm.kill();
            m_wm.waitForFinished();
        }
    }

    int curConfig() const { return ReadCurConfig(f->configPath().toStdString()); }
    bool profileBecomes(int n) {
        return QTest::qWaitFor([&] { return curConfig() == n && f->settings().currentProfile.load() == n; }, 20000);
    }
    // Starts a client and brings its window to the front with a click, once the window manager shows
    // it (a window manager may or may not hand the focus to a new window, by its own timing rules).
    std::unique_ptr<Client> start(const char* program, const char* instance, const char* cls, QPoint at,
                                  const char* argv0 = "") {
        auto client = std::make_unique<Client>(m_programs / program, QString::fromLatin1(instance),
                                               QString::fromLatin1(cls), at, QString::fromLatin1(argv0));
        EXPECT_NE(client->window, 0u) << program;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                XWindowAttributes attributes{};
                return XGetWindowAttributes(x.display, client->window, &attributes) != 0 &&
                       attributes.map_state == IsViewable;
            },
            20000))
            << program;
        x.clickAt(client->centre);
        EXPECT_TRUE(QTest::qWaitFor([&] { return x.activeWindow() == client->window; }, 20000)) << program;
        return client;
    }
    // The key the host types for slot 4 once the mouse has taken the profile.
    int keyOfSlot4() {
        if (!QTest::qWaitFor([&] { return f->context->feedback.HostFunctionsReady.load(); }, 10000))
            return -1;
        const std::size_t before = f->injector->events().size();
        f->mouse->press(DeviceButtonId[3]);
        f->mouse->release();
        if (!f->injector->waitFor(before + 4, std::chrono::seconds(10)))
            return 0;
        return f->injector->events()[before + 1].code;
    }

    XConnection x;
    test::TempDir m_programs;
    QProcess m_wm;
    std::unique_ptr<test::CompanionFixture> f;
};

TEST_F(AppProfilesX11, FocusingAProgramSendsItsProfileAndItsButtonsServeIt) {
    ASSERT_EQ(curConfig(), 1);
    // A program is started and clicked.
    auto one = start("gameone", "one", "GameOne", {1070, 40});
    ASSERT_TRUE(profileBecomes(2)) << curConfig();
    EXPECT_EQ(keyOfSlot4(), 'C');
    auto two = start("gametwo", "two", "GameTwoClass", {1070, 300});
    ASSERT_TRUE(profileBecomes(3)) << curConfig();
    EXPECT_EQ(keyOfSlot4(), 'V');
    EXPECT_EQ(f->mouse->state().buttonMap[DeviceButtonId[3]], HostCode);

    // A click brings the first one back to the front, and its profile with it.
    x.clickAt(one->centre);
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.activeWindow() == one->window; }, 10000));
    ASSERT_TRUE(profileBecomes(2)) << curConfig();
    EXPECT_EQ(keyOfSlot4(), 'C');

    // A program without a rule: the no-match profile.
    krv::test::requireOk(SetAppProfileNoMatch(f->context->paths.appProfilesPath(), 1));
    auto other = start("other", "other", "Other", {1070, 560});
    ASSERT_TRUE(profileBecomes(1)) << curConfig();
    EXPECT_EQ(f->mouse->state().buttonMap[DeviceButtonId[3]], std::uint8_t{5});

    // A Windows game run by Wine or Proton: its process is Wine's loader, which shows the game's
    // Windows path as its first argument; the rule names the game without ".exe", and Wine's window
    // class ("krvgame.exe") would not match it.
    auto game = start("wine64-preloader", "krvgame.exe", "krvgame.exe", {1070, 820}, R"(C:\Games\Krv\KrvGame.exe)");
    ASSERT_TRUE(profileBecomes(3)) << curConfig();
    EXPECT_EQ(keyOfSlot4(), 'V');
}

TEST_F(AppProfilesX11, ClickingThroughThreeWindowsSwitchesOnceAndAManualSwitchWins) {
    auto one = start("gameone", "one", "GameOne", {1070, 40});
    ASSERT_TRUE(profileBecomes(2)) << curConfig() << " " << f->settings().currentProfile.load();
    auto two = start("gametwo", "two", "GameTwoClass", {1070, 300});
    ASSERT_TRUE(profileBecomes(3)) << curConfig() << " " << f->settings().currentProfile.load();
    auto other = start("other", "other", "Other", {1070, 560});
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.activeWindow() == other->window; }, 10000));
    QTest::qWait(2 * AppProfileSwitcher::SettleTime.count());
    ASSERT_EQ(curConfig(), 3); // no rule, no-match "stay"

    QSignalSpy switched(f->companion->appProfileSwitcher(), &AppProfileSwitcher::switched);
    x.clickAt(one->centre, false);
    x.clickAt(other->centre, false);
    x.clickAt(two->centre, false);
    x.clickAt(one->centre);
    ASSERT_TRUE(QTest::qWaitFor([&] { return x.activeWindow() == one->window; }, 10000));
    ASSERT_TRUE(profileBecomes(2)) << curConfig() << " " << f->settings().currentProfile.load();
    QTest::qWait(2 * AppProfileSwitcher::SettleTime.count());
    EXPECT_EQ(switched.count(), 1);

    // The user applies profile 4 in the window: it stays while the focus stays.
    f->clickMain(MainElement::ProfileTabFirst + 3);
    f->clickMain(MainElement::Apply);
    ASSERT_TRUE(profileBecomes(4)) << curConfig() << " " << f->settings().currentProfile.load();
    QTest::qWait(2 * AppProfileSwitcher::SettleTime.count());
    EXPECT_EQ(curConfig(), 4);
    x.clickAt(two->centre);
    ASSERT_TRUE(profileBecomes(3)) << curConfig() << " " << f->settings().currentProfile.load();
    EXPECT_EQ(keyOfSlot4(), 'V');
}

} // namespace
} // namespace krv
