// SPDX-License-Identifier: MIT
// The tray as today's desktops have it: a StatusNotifierItem tray reports a click as Trigger (never a
// double-click) and draws the menu it is given; a classic tray keeps the double-click and the
// owner-drawn menu. `--tray` starts with the window out of the way.
#include "widgets/CompanionFixture.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

using namespace krv;
using namespace krv::test;

namespace {

std::unique_ptr<CompanionFixture> companion(std::optional<bool> statusNotifier, bool startInTray = false,
                                            bool plugged = true) {
    return std::make_unique<CompanionFixture>(
        [=](const QString&, SimulatedMouse& mouse) {
            if (!plugged)
                mouse.unplug();
        },
        true, false,
                                              [=](Companion::Options& o) {
                                                  o.statusNotifierTray = statusNotifier;
                                                  o.startInTray = startInTray;
                                              });
}

} // namespace

class TrayTest : public QObject {
    Q_OBJECT
private slots:
    void aClickOnAStatusNotifierTrayShowsTheWindow_data() {
        QTest::addColumn<bool>("statusNotifier");
        QTest::addColumn<int>("reason");
        QTest::addColumn<bool>("shown");
        QTest::newRow("StatusNotifierItem: click") << true << int(QSystemTrayIcon::Trigger) << true;
        QTest::newRow("StatusNotifierItem: double-click") << true << int(QSystemTrayIcon::DoubleClick) << true;
        QTest::newRow("classic tray: click") << false << int(QSystemTrayIcon::Trigger) << false;
        QTest::newRow("classic tray: double-click") << false << int(QSystemTrayIcon::DoubleClick) << true;
    }
    void aClickOnAStatusNotifierTrayShowsTheWindow() {
        QFETCH(bool, statusNotifier);
        QFETCH(int, reason);
        QFETCH(bool, shown);
        auto f = companion(statusNotifier);
        // The minimise element puts the window out of the way, as hiding to a tray does.
        f->clickMain(MainElement::Minimize);
        QTRY_VERIFY(f->window().isMinimized());
        emit f->companion->trayIcon().activated(static_cast<QSystemTrayIcon::ActivationReason>(reason));
        QCOMPARE(!f->window().isMinimized(), shown);
    }

    void aStatusNotifierTrayIsGivenTheMenuToDraw() {
        auto sni = companion(true);
        QCOMPARE(sni->companion->trayIcon().contextMenu(), sni->companion->trayMenu().menu());
        QStringList texts;
        for (QAction* a : sni->companion->trayMenu().menu()->actions())
            texts << a->text();
        QCOMPARE(texts, (QStringList{"Show Window", "Profiles for programs…", "Exit Driver"}));
        // Its right-click is the tray's own business: no owner-drawn menu pops up as well.
        emit sni->companion->trayIcon().activated(QSystemTrayIcon::Context);
        QVERIFY(!sni->companion->trayMenu().menu()->isVisible());

        auto classic = companion(false);
        QCOMPARE(classic->companion->trayIcon().contextMenu(), nullptr);
    }

    // In a Wayland session without /dev/uinput the user is told once why the buttons' keys reach only
    // X11 programs, and how to change that.
    void aWaylandSessionWithoutUinputIsSaid() {
#ifdef _WIN32
        QSKIP("Linux only: Windows injects through SendInput and has no /dev/uinput");
#endif
        CompanionFixture f({}, false);
        f.context->ports.injectorProblem = "cannot open /dev/uinput: Permission denied";
        f.companion->start();
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
        const QString message = f.dialogs.messages[0];
        QVERIFY2(message.startsWith("This is a Wayland session"), qPrintable(message)); // the shipped files are English
        QVERIFY(message.contains("cannot open /dev/uinput: Permission denied"));
        QVERIFY(message.contains("71-krv-glyde-uinput.rules"));
        QTRY_VERIFY(f.reportsSent() >= 11); // the program works all the same
    }

    void startingInTheTrayKeepsTheWindowOutOfTheWay() {
        auto f = companion(false, true);
        QCOMPARE(f->companion->state() == Companion::State::InTray, QSystemTrayIcon::isSystemTrayAvailable());
        QVERIFY(!f->window().isVisible() || f->window().isMinimized());
        QTRY_VERIFY(f->reportsSent() >= 11); // the profile is applied all the same
    }

    // At login (--tray) without the mouse the companion waits in the tray, says so there, and starts
    // serving when the mouse is plugged in; a start from the menu says the mouse is missing and ends.
    void startingInTheTrayWithoutTheMouseWaitsForIt() {
        auto f = companion(false, true, false);
        QVERIFY(f->companion->waitingForMouse());
        QVERIFY(f->dialogs.messages.empty());
        QVERIFY(f->endings.empty());
        QVERIFY(!f->window().isVisible() || f->window().isMinimized());
        QVERIFY2(f->companion->trayIcon().toolTip().contains("not plugged in"),
                 qPrintable(f->companion->trayIcon().toolTip()));
        const QList<QAction*> items = f->companion->trayMenu().menu()->actions();
        QVERIFY(!items.isEmpty());
        QCOMPARE(items.first()->text(), CompanionTray::MouseAwaitedText(f->context->language));
        QVERIFY(!items.first()->isEnabled());
        QTest::qWait(50);
        QCOMPARE(f->reportsSent(), std::size_t{0});

        f->mouse->plugIn();
        f->companion->handleDeviceChange({DeviceChange::Kind::Arrival, std::string(SimulatedMouse::VendorPath)});
        QTRY_VERIFY(f->reportsSent() >= 11);
        QVERIFY(!f->companion->waitingForMouse());
        QVERIFY(!f->companion->trayIcon().toolTip().contains("not plugged in"));
        QCOMPARE(f->companion->trayMenu().menu()->actions().first()->text(), QStringLiteral("Show Window"));
        // From now on an unplug ends the program as usual.
        f->mouse->unplug();
        f->companion->handleDeviceChange({DeviceChange::Kind::Removal, std::string(SimulatedMouse::VendorPath)});
        QTRY_COMPARE(f->endings, std::vector<int>{0});
    }

    void startingFromTheMenuWithoutTheMouseSaysSoAndEnds() {
        auto f = companion(false, false, false);
        QVERIFY(!f->companion->waitingForMouse());
        QTRY_COMPARE(f->dialogs.messages.size(), std::size_t{1});
        QCOMPARE(f->dialogs.messages[0], Companion::MissingMouseMessage(f->context->language));
        QTRY_COMPARE(f->endings, std::vector<int>{0});
    }
};

QTEST_MAIN(TrayTest)
#include "tray_test.moc"
