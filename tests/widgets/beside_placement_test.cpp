// SPDX-License-Identifier: MIT
// Where the demo's virtual mouse goes beside the main window, for screens and positions that leave
// room on one side, on none, or too little for the two apart.

#include "app/VirtualMouseWindow.h"

#include <QTest>

using namespace krv;

class BesidePlacementTest : public QObject {
    Q_OBJECT
private slots:
    void placement_data();
    void placement();
    void inOneWindow_data();
    void inOneWindow();
};

void BesidePlacementTest::placement_data() {
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QPoint>("mainAt");
    QTest::addColumn<bool>("mayMoveMain");
    QTest::addColumn<QPoint>("expectedMain");
    QTest::addColumn<QPoint>("expectedCompanion");
    // The main window is 840 x 560 and the companion 362 x 325 in every row; the gap is 20.
    const QRect wide(0, 0, 1280, 1024), small(0, 0, 1024, 768);
    QTest::newRow("room on the right") << wide << QPoint(0, 0) << true << QPoint(0, 0) << QPoint(860, 0);
    QTest::newRow("room on the left only") << wide << QPoint(420, 100) << false << QPoint(420, 100) << QPoint(38, 100);
    QTest::newRow("centred by a window manager: moves over")
        << wide << QPoint(220, 232) << true << QPoint(58, 232) << QPoint(918, 232);
    QTest::newRow("centred, the main window staying: companion below")
        << QRect(0, 0, 1280, 1200) << QPoint(220, 232) << false << QPoint(220, 232) << QPoint(220, 812);
    QTest::newRow("off the screen: brought back")
        << wide << QPoint(-100, -50) << true << QPoint(0, 0) << QPoint(860, 0);
    QTest::newRow("low on the screen: companion kept on it")
        << wide << QPoint(0, 800) << false << QPoint(0, 800) << QPoint(860, 699);
    QTest::newRow("too small for the two: corners")
        << small << QPoint(92, 104) << true << QPoint(0, 0) << QPoint(662, 443);
    QTest::newRow("too small, the main window staying")
        << small << QPoint(92, 104) << false << QPoint(92, 104) << QPoint(662, 443);
    QTest::newRow("narrow and tall: below")
        << QRect(0, 0, 900, 1200) << QPoint(30, 100) << true << QPoint(30, 100) << QPoint(30, 680);
    QTest::newRow("narrow, room only above")
        << QRect(0, 0, 900, 1000) << QPoint(30, 420) << false << QPoint(30, 420) << QPoint(30, 75);
    QTest::newRow("second screen") << QRect(1280, 0, 1920, 1080) << QPoint(1820, 260) << true << QPoint(1820, 260)
                                   << QPoint(2680, 260);
}

void BesidePlacementTest::placement() {
    QFETCH(QRect, screen);
    QFETCH(QPoint, mainAt);
    QFETCH(bool, mayMoveMain);
    QFETCH(QPoint, expectedMain);
    QFETCH(QPoint, expectedCompanion);
    const SideBySide at = PlaceBeside(QRect(mainAt, QSize(840, 560)), QSize(362, 325), screen, 20, mayMoveMain);
    QCOMPARE(at.main, expectedMain);
    QCOMPARE(at.companion, expectedCompanion);
}

void BesidePlacementTest::inOneWindow_data() {
    QTest::addColumn<QSize>("room");
    QTest::addColumn<QPoint>("expected");
    // The main window is 840 x 560 and the companion 362 x 325 in every row; the gap is 20.
    QTest::newRow("wide screen: right") << QSize(1280, 1024) << QPoint(860, 0);
    QTest::newRow("just wide enough: right") << QSize(1222, 600) << QPoint(860, 0);
    QTest::newRow("narrow and tall: below") << QSize(900, 1200) << QPoint(0, 580);
    QTest::newRow("too small either way: right") << QSize(1024, 768) << QPoint(860, 0);
    QTest::newRow("screen unknown: right") << QSize() << QPoint(860, 0);
}

void BesidePlacementTest::inOneWindow() {
    QFETCH(QSize, room);
    QFETCH(QPoint, expected);
    QCOMPARE(CompanionOffset(QSize(840, 560), QSize(362, 325), room, 20), expected);
}

QTEST_MAIN(BesidePlacementTest)
#include "beside_placement_test.moc"
