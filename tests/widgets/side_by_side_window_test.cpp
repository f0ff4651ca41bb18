// SPDX-License-Identifier: MIT
// The demo's one window for the main window and the virtual mouse (what it shows under Wayland),
// driven as a user drives the main window: it holds the two side by side, moves as a whole when the
// main window is dragged, opens the function menu under the clicked slot, and is minimised, restored
// and closed with the main window.

#include "widgets/CompanionFixture.h"

#include "app/VirtualMouseWindow.h"

#include <QPushButton>
#include <QTest>

using namespace krv;
using namespace krv::test;

class SideBySideWindowTest : public QObject {
    Q_OBJECT
private slots:
    void holdsTheTwoSideBySide();
    void draggingTheMainWindowMovesTheWholeWindow();
    void functionMenuOpensUnderTheClickedSlot();
    void minimisedRestoredAndClosedWithTheMainWindow();
};

namespace {

// A companion whose main window and virtual mouse stand in one window, as the demo puts them under
// Wayland, started and shown.
struct Together {
    CompanionFixture f{{}, false};
    VirtualMouseWindow mouse{*f.mouse, *f.pointer, {}};
    SideBySideWindow window{f.window(), mouse};

    Together() { f.companion->start(); }
};

} // namespace

void SideBySideWindowTest::holdsTheTwoSideBySide() {
    Together t;
    QTRY_VERIFY(t.window.isVisible());
    QVERIFY(t.f.window().isVisible());
    QVERIFY(t.mouse.isVisible());
    QCOMPARE(t.f.window().window(), &t.window);
    QCOMPARE(t.f.window().pos(), QPoint(0, 0));
    QCOMPARE(t.mouse.pos(), QPoint(t.f.window().width() + SideBySideWindow::Gap, 0));
    QCOMPARE(t.window.size(), QSize(t.mouse.geometry().right() + 1,
                                    std::max(t.f.window().height(), t.mouse.height())));
    // Clicks reach the main window inside its outline and the virtual mouse, and pass through elsewhere.
    const QPoint free = t.f.freePoint();
    QVERIFY(t.window.mask().contains(free));
    QVERIFY(!t.window.mask().contains(QPoint(0, 0))); // outside the outline's rounded corner
    QVERIFY(!t.window.mask().contains(QPoint(t.f.window().width() + SideBySideWindow::Gap / 2, 10)));
    QVERIFY(t.window.mask().contains(t.mouse.geometry().center()));
    // Its buttons press the mouse's buttons (once the first apply has been acknowledged).
    QTRY_VERIFY(t.f.reportsSent() >= 11);
    QTRY_VERIFY(t.f.context->feedback.HostFunctionsReady.load());
    auto buttons = t.mouse.findChildren<QPushButton*>();
    QCOMPARE(buttons.size(), 9);
    QTest::mouseClick(buttons[6], Qt::LeftButton); // button 7: next stage up, served by the host
    QTRY_VERIFY(t.mouse.stateText().contains(QStringLiteral("DPI stage 2")));
}

void SideBySideWindowTest::draggingTheMainWindowMovesTheWholeWindow() {
    Together t;
    QTRY_VERIFY(t.window.isVisible());
    const QPoint before = t.window.pos();
    const QPoint free = t.f.freePoint();
    t.f.moveTo(free);
    t.f.press(free);
    QVERIFY(t.f.controller().dragging());
    QTest::mouseMove(&t.f.window(), free + QPoint(30, 20));
    QTRY_COMPARE(t.window.pos(), before + QPoint(30, 20));
    QCOMPARE(t.f.window().pos(), QPoint(0, 0));
    t.f.release(free + QPoint(30, 20));
    QVERIFY(!t.f.controller().dragging());
}

void SideBySideWindowTest::functionMenuOpensUnderTheClickedSlot() {
    Together t;
    QTRY_VERIFY(t.window.isVisible());
    t.window.move(40, 30);
    QTRY_COMPARE(t.f.window().mapToGlobal(QPoint(0, 0)), QPoint(40, 30));
    // Slot 1 holds the only left click: the warning comes first, then the menu, both under the slot.
    const SkinElement& slot = t.f.mainElement(MainElement::ButtonSlotFirst);
    t.f.clickMain(MainElement::ButtonSlotFirst);
    const QPoint under = QPoint(40, 30) + QPoint(slot.x, slot.y + slot.height);
    QCOMPARE(t.f.dialogs.warnings.size(), std::size_t{1});
    QCOMPARE(t.f.dialogs.warnings.back(), under);
    QTRY_VERIFY(t.f.controller().functionMenu() && t.f.controller().functionMenu()->isVisible());
    QCOMPARE(t.f.controller().functionMenu()->pos(), under);
}

void SideBySideWindowTest::minimisedRestoredAndClosedWithTheMainWindow() {
    Together t;
    QTRY_VERIFY(t.window.isVisible());
    t.f.clickMain(MainElement::Minimize);
    QTRY_VERIFY(t.window.windowState() & Qt::WindowMinimized);
    // A second start brings the window back.
    t.f.companion->restoreWindow();
    QTRY_VERIFY(!(t.window.windowState() & Qt::WindowMinimized));
    QVERIFY(t.window.isVisible());
    QVERIFY(t.f.window().isVisible());
    // Closing the window (the desktop's close) is closing the main window: the companion shuts down.
    t.window.close();
    QTRY_COMPARE(t.f.endings, std::vector<int>{0});
    QTRY_VERIFY(!t.window.isVisible());
    QVERIFY(t.f.mouse->state().goodbye);
}

QTEST_MAIN(SideBySideWindowTest)
#include "side_by_side_window_test.moc"
