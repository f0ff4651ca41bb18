// SPDX-License-Identifier: MIT
#include "ui/QtKeyboardCapture.h"

#include "mouse/VirtualKeys.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

using namespace krv;

namespace {

using Message = std::pair<KeyMessage, std::uint8_t>;

// A key event as the platform delivers it: keysym as the native virtual key, evdev + 8 as the scan code.
void send(QWidget* to, bool press, quint32 keysym, quint32 scanCode, bool autoRepeat = false) {
    QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, scanCode, keysym, 0,
                QString(), autoRepeat);
    QCoreApplication::sendEvent(to, &e);
}

} // namespace

class QtKeyboardCaptureTest : public QObject {
    Q_OBJECT

private slots:
    void keysBecomeMessagesAndReachNoWidget() {
        QWidget window;
        auto* edit = new QLineEdit(&window);
        window.show();
        std::vector<Message> got;
        QtKeyboardCapture capture(window, [&](KeyMessage m, std::uint8_t vk) { got.emplace_back(m, vk); });

        capture.start();
        send(edit, true, 'a', 38);
        send(edit, false, 'a', 38);
        send(edit, true, 0, 30 + 8); // no keysym: the evdev code (KEY_A)
        send(edit, false, 0, 30 + 8);
        send(edit, true, 0xffe9, 64); // Alt_L
        send(edit, true, 'x', 53);    // with Alt held: Sys
        send(edit, false, 'x', 53);
        send(edit, false, 0xffe9, 64); // Alt's own release: plain
        send(edit, true, 0xffc7, 76);  // F10
        send(edit, false, 0xffc7, 76);
        send(edit, true, 0xffe2, 62); // Shift_R stays apart from the left one
        send(edit, false, 0xffe2, 62);
        QCOMPARE(got, (std::vector<Message>{
                          {KeyMessage::KeyDown, 'A'},
                          {KeyMessage::KeyUp, 'A'},
                          {KeyMessage::KeyDown, 'A'},
                          {KeyMessage::KeyUp, 'A'},
                          {KeyMessage::SysKeyDown, Vk::LMenu},
                          {KeyMessage::SysKeyDown, 'X'},
                          {KeyMessage::SysKeyUp, 'X'},
                          {KeyMessage::KeyUp, Vk::LMenu},
                          {KeyMessage::SysKeyDown, 121},
                          {KeyMessage::SysKeyUp, 121},
                          {KeyMessage::KeyDown, Vk::RShift},
                          {KeyMessage::KeyUp, Vk::RShift},
                      }));
        QVERIFY(edit->text().isEmpty());

        // A held key: Qt's repeat releases are dropped, the repeated presses come through.
        got.clear();
        send(edit, true, 'b', 56);
        send(edit, false, 'b', 56, true);
        send(edit, true, 'b', 56, true);
        send(edit, false, 'b', 56);
        QCOMPARE(got, (std::vector<Message>{
                          {KeyMessage::KeyDown, 'B'}, {KeyMessage::KeyDown, 'B'}, {KeyMessage::KeyUp, 'B'}}));

        // Stopped: keys reach the widgets again.
        capture.stop();
        got.clear();
        QTest::keyClicks(edit, QStringLiteral("ok"));
        QCOMPARE(edit->text(), QStringLiteral("ok"));
        QVERIFY(got.empty());
    }
};

QTEST_MAIN(QtKeyboardCaptureTest)
#include "QtKeyboardCapture_test.moc"
