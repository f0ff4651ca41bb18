// SPDX-License-Identifier: MIT
// The companion and the user's files: a config.ini that cannot be read is said in a message, nothing
// is sent to the mouse from it and it is not saved over; an APPLY whose save does not reach the disk
// is said in a message too.
#include "widgets/CompanionFixture.h"

#include "settings/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace krv;
using namespace krv::test;

class UserFilesTest : public QObject {
    Q_OBJECT
private slots:
    void anUnreadableConfigIsSaidAndNeitherAppliedNorReplaced() {
        CompanionFixture f([](const QString& folder, SimulatedMouse&) {
            QFile::remove(folder + "/config.ini");
            QDir(folder).mkdir("config.ini");
        });
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
        const QString message = f.dialogs.messages[0];
        QVERIFY2(message.contains("config.ini: is a folder, not a file"), qPrintable(message));
        QVERIFY2(message.contains("nothing was loaded from it") || message.contains("未从中读取"), qPrintable(message));
        // The start-up apply would have followed 5 ms after the scan; give it ample time to show.
        QTest::qWait(200);
        QCOMPARE(f.reportsSent(), std::size_t{0});
        // APPLY with the zeros read instead: no slot holds the left click, so nothing is sent.
        f.clickMain(MainElement::Apply);
        QCOMPARE(f.reportsSent(), std::size_t{0});
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{2});
        QVERIFY(QFileInfo(f.configPath()).isDir());
    }

    void anApplyWhoseSaveFailsIsSaid() {
        CompanionFixture f;
        QTRY_VERIFY(f.reportsSent() >= 11);
        QFile::setPermissions(f.configPath(), QFile::ReadOwner | QFile::ReadGroup);
        QFile file(f.configPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        f.clickMain(MainElement::WheelFirst + 1);
        f.clickMain(MainElement::Apply);
        QTRY_COMPARE(f.dialogs.messages.size(), std::size_t{1});
        QVERIFY2(f.dialogs.messages[0].startsWith("The settings did not reach the disk."),
                 qPrintable(f.dialogs.messages[0]));
        QVERIFY(f.dialogs.messages[0].contains("is read-only"));
        QFile again(f.configPath());
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), before);
        QCOMPARE(f.mouse->state().wheelOption, std::uint8_t{1}); // the mouse has the change all the same
    }
};

QTEST_MAIN(UserFilesTest)
#include "user_files_test.moc"
