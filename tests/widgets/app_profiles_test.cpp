// SPDX-License-Identifier: MIT
// The profiles for programs in the whole companion on the simulated mouse, with a desktop whose
// focus the test moves (a watch fed through a pipe, as the X11 one is fed by its socket): the rule's
// profile reaches the mouse and the host-served buttons, the no-match rule, the settle time, a manual
// switch winning, the companion's own window, and a macro ending before a switch.
#include "widgets/CompanionFixture.h"

#include "app/AppProfileSwitcher.h"
#include "mouse/MouseProtocol.h"
#include "settings/AppProfileRules.h"
#include "settings/IniFile.h"
#include "skin/SkinLayout.h"
#include "unit/RequireOk.h"
#include "unit/TempDir.h"

#include "macros/MacroTable.h"
#include "mouse/ButtonCode.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>

#include <fcntl.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace krv {

using test::CompanionFixture;

namespace {

// A desktop whose focus the test moves: each focus() makes the pipe readable, as an X event makes
// the X connection readable; or, as on Windows, the watch has no descriptor and calls the owner's
// callback from a thread of its own.
class FakeForegroundWatch final : public ForegroundWatch {
public:
    struct Shared {
        int writeEnd = -1;
        bool throughCallback = false;
        std::function<void()> onChange;
        std::deque<ForegroundProgram> queued;
        ForegroundProgram current;
        int changesRead = 0;
    };
    explicit FakeForegroundWatch(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) {
#ifndef _WIN32
        int fds[2];
        if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
            m_readEnd = fds[0];
            m_shared->writeEnd = fds[1];
        }
#endif
    }
    ~FakeForegroundWatch() override {
#ifndef _WIN32
        close(m_readEnd);
        close(m_shared->writeEnd);
#endif
        m_shared->writeEnd = -1;
        m_shared->onChange = nullptr;
    }
    int fd() const override { return m_shared->throughCallback ? -1 : m_readEnd; }
    bool notifyOnChange(std::function<void()> onChange) override {
        if (!m_shared->throughCallback)
            return false;
        m_shared->onChange = std::move(onChange);
        return true;
    }
    std::optional<ForegroundProgram> readChange() override {
#ifndef _WIN32
        char buffer[64];
        while (read(m_readEnd, buffer, sizeof buffer) > 0) {
        }
#endif
        if (m_shared->queued.empty())
            return std::nullopt;
        ++m_shared->changesRead;
        m_shared->current = m_shared->queued.back();
        m_shared->queued.clear();
        return m_shared->current;
    }
    ForegroundProgram current() override { return m_shared->current; }

private:
    std::shared_ptr<Shared> m_shared;
    int m_readEnd = -1;
};

ForegroundProgram program(std::uint64_t window, const std::string& executable, const std::string& cls = {},
                          std::int64_t pid = 4242) {
    return {window, pid, executable, cls, cls};
}

} // namespace

class AppProfilesTest : public QObject {
    Q_OBJECT
private slots:
    void switchesToTheRuleProfileAndBackOnTheNoMatchRule_data();
    void switchesToTheRuleProfileAndBackOnTheNoMatchRule();
    void altTabThroughThreeWindowsSwitchesOnce();
    void aManualSwitchWinsUntilTheFocusMovesAgain();
    void theCompanionsOwnWindowAndASwitchedOffFileChangeNothing();
    void aMacroPlayingEndsBeforeTheSwitch();
    void aProfileWithoutLeftClickIsRefusedAndToldOnce();
};

namespace {

struct Desktop {
    std::shared_ptr<FakeForegroundWatch::Shared> shared = std::make_shared<FakeForegroundWatch::Shared>();
    std::unique_ptr<CompanionFixture> f;

    explicit Desktop(std::chrono::milliseconds settle = std::chrono::milliseconds{50},
                     const std::string& rules = "[Programs]\r\ngameone=2\r\nGameTwo=3\r\n",
                     bool throughCallback = false) {
#ifdef _WIN32
        throughCallback = true; // no pipe to stand for a descriptor
#endif
        shared->throughCallback = throughCallback;
        f = std::make_unique<CompanionFixture>(
            [&](const QString& folder, SimulatedMouse&) {
                const std::filesystem::path dir = folder.toStdString();
                test::writeFile(dir / AppProfilesFileName, rules);
                // Profile 2's slot 4 copies, profile 3's pastes: the host serves both.
                krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config2", "K4", "31"));
                krv::test::requireOk(IniFile::writeString(dir / "config.ini", "Config3", "K4", "32"));
            },
            true, false, [&](Companion::Options& o) { o.appProfileSettle = settle; },
            [this](AppPorts& ports) {
                ports.openForegroundWatch = [shared = shared] { return std::make_unique<FakeForegroundWatch>(shared); };
            });
        // The start's apply has reached the mouse and been acknowledged.
        QTRY_VERIFY(f->reportsSent() >= 11);
        QTRY_VERIFY(f->context->feedback.HostFunctionsReady.load());
    }
    void focus(const ForegroundProgram& p) {
        shared->queued.push_back(p);
        if (shared->throughCallback) {
            QVERIFY(shared->onChange);
            std::thread([onChange = shared->onChange] { onChange(); }).join();
            return;
        }
#ifndef _WIN32
        const char byte = 1;
        QVERIFY(write(shared->writeEnd, &byte, 1) == 1);
#endif
    }
    int curConfig() const { return ReadCurConfig(f->configPath().toStdString()); }
    std::filesystem::path rulesFile() const { return f->context->paths.appProfilesPath(); }
    // The key the host types for slot 4 once its press has been served.
    int keyOfSlot4() {
        const std::size_t before = f->injector->events().size();
        f->mouse->press(DeviceButtonId[3]);
        f->mouse->release();
        if (!f->injector->waitFor(before + 4, std::chrono::seconds(10)))
            return 0;
        return f->injector->events()[before + 1].code; // Control down, the letter down, ...
    }
};

} // namespace

void AppProfilesTest::switchesToTheRuleProfileAndBackOnTheNoMatchRule_data() {
    QTest::addColumn<bool>("throughCallback");
    QTest::newRow("descriptor") << false;
    QTest::newRow("callback from the watch's thread") << true;
}

void AppProfilesTest::switchesToTheRuleProfileAndBackOnTheNoMatchRule() {
    QFETCH(bool, throughCallback);
    Desktop d(std::chrono::milliseconds{50}, "[Programs]\r\ngameone=2\r\nGameTwo=3\r\n", throughCallback);
    CompanionFixture& f = *d.f;
    QVERIFY(f.companion->appProfileSwitcher() && f.companion->appProfileSwitcher()->watching());
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(d.curConfig(), 1);

    // The executable's file name, then the window class (in another case).
    d.focus(program(1, "/opt/games/gameone", "Launcher"));
    QTRY_COMPARE(d.curConfig(), 2);
    QCOMPARE(f.settings().currentProfile.load(), 2);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(d.keyOfSlot4(), int{'C'});
    QVERIFY2(f.companion->trayIcon().toolTip().contains(CompanionTray::ProfileInUseText(f.context->language, 2)),
             qPrintable(f.companion->trayIcon().toolTip()));

    d.focus(program(2, "/usr/bin/python3", "gametwo"));
    QTRY_COMPARE(d.curConfig(), 3);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(d.keyOfSlot4(), int{'V'});
    QCOMPARE(f.mouse->state().buttonMap[DeviceButtonId[3]], HostCode);

    // No rule: the profile stays, unless the no-match rule names one.
    const std::size_t sent = f.reportsSent();
    d.focus(program(3, "/usr/bin/xterm"));
    QTest::qWait(200);
    QCOMPARE(d.curConfig(), 3);
    QCOMPARE(f.reportsSent(), sent);
    krv::test::requireOk(SetAppProfileNoMatch(d.rulesFile(), 1));
    d.focus(program(4, "/usr/bin/xterm"));
    QTRY_COMPARE(d.curConfig(), 1);
    QTRY_COMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.mouse->state().buttonMap[DeviceButtonId[3]], std::uint8_t{5}); // profile 1's slot 4 as shipped
}

void AppProfilesTest::altTabThroughThreeWindowsSwitchesOnce() {
    Desktop d(std::chrono::milliseconds{1500});
    CompanionFixture& f = *d.f;
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QSignalSpy switched(f.companion->appProfileSwitcher(), &AppProfileSwitcher::switched);
    // Each focus reaches the companion on its own (three wake-ups), all within the settle time.
    d.focus(program(1, "/opt/games/gameone"));
    QTRY_COMPARE(d.shared->changesRead, 1);
    d.focus(program(2, "/opt/x/other", "GAMETWO"));
    QTRY_COMPARE(d.shared->changesRead, 2);
    d.focus(program(3, "/opt/games/gameone"));
    QTRY_COMPARE(d.shared->changesRead, 3);
    QTRY_COMPARE(switched.count(), 1);
    QCOMPARE(switched.first().first().toInt(), 2);
    QCOMPARE(d.curConfig(), 2);
    QTest::qWait(300);
    QCOMPARE(switched.count(), 1);
}

void AppProfilesTest::aManualSwitchWinsUntilTheFocusMovesAgain() {
    Desktop d(std::chrono::milliseconds{800});
    CompanionFixture& f = *d.f;
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QSignalSpy switched(f.companion->appProfileSwitcher(), &AppProfileSwitcher::switched);
    // The focus moves to a program with a rule; before it settles the user applies profile 4 by hand.
    d.focus(program(1, "/opt/games/gameone"));
    QTRY_COMPARE(d.shared->changesRead, 1);
    f.clickMain(MainElement::ProfileTabFirst + 3);
    f.clickMain(MainElement::Apply);
    QTRY_COMPARE(d.curConfig(), 4);
    QTest::qWait(1200);
    QCOMPARE(switched.count(), 0);
    QCOMPARE(d.curConfig(), 4);
    // After a switch by rule, a manual one stays as long as the focus does.
    d.focus(program(2, "/opt/x/gametwo"));
    QTRY_COMPARE(d.curConfig(), 3);
    f.clickMain(MainElement::ProfileTabFirst + 4);
    f.clickMain(MainElement::Apply);
    QTRY_COMPARE(d.curConfig(), 5);
    QTest::qWait(1000);
    QCOMPARE(d.curConfig(), 5);
    QCOMPARE(switched.count(), 1);
    // The focus moves on: the rules count again.
    d.focus(program(3, "/opt/games/gameone"));
    QTRY_COMPARE(d.curConfig(), 2);
}

void AppProfilesTest::theCompanionsOwnWindowAndASwitchedOffFileChangeNothing() {
    Desktop d;
    CompanionFixture& f = *d.f;
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    krv::test::requireOk(SetAppProfileNoMatch(d.rulesFile(), 5));
    const std::size_t sent = f.reportsSent();
    d.focus(program(1, "/whatever/krv-glyde", "krv-glyde", QCoreApplication::applicationPid()));
    QTest::qWait(300);
    QCOMPARE(d.curConfig(), 1);
    QCOMPARE(f.reportsSent(), sent);

    krv::test::requireOk(SetAppProfilesEnabled(d.rulesFile(), false));
    d.focus(program(2, "/opt/games/gameone"));
    QTest::qWait(300);
    QCOMPARE(d.curConfig(), 1);
    QCOMPARE(f.reportsSent(), sent);

    // An unreadable rules file is not used (and not replaced).
    std::filesystem::remove(d.rulesFile());
    std::filesystem::create_directory(d.rulesFile());
    d.focus(program(3, "/opt/games/gameone"));
    QTest::qWait(300);
    QCOMPARE(d.curConfig(), 1);
    QVERIFY(std::filesystem::is_directory(d.rulesFile()));
}

void AppProfilesTest::aMacroPlayingEndsBeforeTheSwitch() {
    Desktop d;
    CompanionFixture& f = *d.f;
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    // Slot 4 plays macro 1: A down, five seconds, A up.
    f.context->macros.modify([](MacroTable::Records& records, auto& count) {
        MacroRecord& r = records[0];
        r.setName(u"hold A");
        r.setEventCount(2);
        r.setEvent(0, {'A', MacroActionDown, 5000});
        r.setEvent(1, {'A', MacroActionUp, 0});
        if (count < 1)
            count = 1;
    });
    f.settings().buttonCodes[3].store(FirstMacroCode);
    f.companion->applyProfile();
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    const std::size_t before = f.injector->events().size();
    f.mouse->press(DeviceButtonId[3]);
    QVERIFY(f.injector->waitFor(before + 1, std::chrono::seconds(10)));
    QCOMPARE(f.injector->events()[before], test::down('A'));

    // Every report of the switch goes out after the macro has ended and let go of A.
    const std::size_t sent = f.reportsSent();
    std::atomic<int> sentWhilePlaying{0};
    f.mouse->setChangeCallback([&] {
        if (f.mouse->state().featureReports.size() > sent && f.context->presses.PendingPress.load() != 0)
            sentWhilePlaying.store(static_cast<int>(f.mouse->state().featureReports.size()));
    });
    d.focus(program(1, "/opt/games/gameone"));
    QTRY_COMPARE(d.curConfig(), 2);
    f.mouse->setChangeCallback(nullptr);
    QVERIFY(f.reportsSent() > sent);
    QCOMPARE(sentWhilePlaying.load(), 0);
    const auto events = f.injector->events();
    QCOMPARE(events.size(), before + 2);
    QCOMPARE(events.back(), test::up('A'));
    f.mouse->release();
}

void AppProfilesTest::aProfileWithoutLeftClickIsRefusedAndToldOnce() {
    Desktop d;
    CompanionFixture& f = *d.f;
    // Profile 2's left click made a copy shortcut in the file: it cannot be sent.
    krv::test::requireOk(IniFile::writeString(f.configPath().toStdString(), "Config2", "K1", "31"));
    QSignalSpy switched(f.companion->appProfileSwitcher(), &AppProfileSwitcher::switched);
    const std::size_t sent = f.reportsSent();
    const QString tooltip = f.companion->trayIcon().toolTip();

    d.focus(program(1, "/opt/games/gameone"));
    QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
    QVERIFY2(f.dialogs.messages.back().contains(QLatin1String("2")), qPrintable(f.dialogs.messages.back()));
    QCOMPARE(d.curConfig(), 1);
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.reportsSent(), sent);
    QCOMPARE(f.companion->trayIcon().toolTip(), tooltip);

    // Back to the game after another window: tried again, refused again, not told again.
    d.focus(program(2, "/usr/bin/xterm"));
    QTRY_COMPARE(d.shared->changesRead, 2);
    d.focus(program(3, "/opt/games/gameone"));
    QTRY_COMPARE(d.shared->changesRead, 3);
    QTest::qWait(200);
    QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
    QCOMPARE(d.curConfig(), 1);
    QCOMPARE(switched.count(), 0);

    // Once the profile can be sent, the next focus on the game switches.
    krv::test::requireOk(IniFile::writeString(f.configPath().toStdString(), "Config2", "K1", "1"));
    d.focus(program(4, "/usr/bin/xterm"));
    QTRY_COMPARE(d.shared->changesRead, 4);
    d.focus(program(5, "/opt/games/gameone"));
    QTRY_COMPARE(d.curConfig(), 2);
    QCOMPARE(switched.count(), 1);
    QCOMPARE(f.dialogs.messages.size(), std::size_t{1});
}

} // namespace krv

QTEST_MAIN(krv::AppProfilesTest)
#include "app_profiles_test.moc"
