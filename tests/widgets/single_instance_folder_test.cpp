// SPDX-License-Identifier: MIT
// The single-instance lock lives only where no other user can reach: a folder that others may enter
// (where a stranger could plant the lock) is refused, and so is a link; a lock held by a companion that
// never answers gives a clear reason. None of these lets a second companion run.
#include "app/SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/stat.h>

using krv::SingleInstance;

class SingleInstanceFolderTest : public QObject {
    Q_OBJECT
private slots:
    void outcomes_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("says");
        QTest::newRow("a missing folder is created private") << "missing" << int(SingleInstance::Outcome::First) << "";
        QTest::newRow("a folder others may enter") << "open" << int(SingleInstance::Outcome::Failed)
                                                   << "can be entered by other users";
        QTest::newRow("a link in place of the folder") << "link" << int(SingleInstance::Outcome::Failed)
                                                       << "is not a folder";
        QTest::newRow("a lock held by a companion that never answers")
            << "held" << int(SingleInstance::Outcome::NoAnswer) << "does not answer";
    }
    void outcomes() {
        QFETCH(QString, kind);
        QFETCH(int, outcome);
        QFETCH(QString, says);
        QTemporaryDir top;
        const QString folder = top.filePath(QStringLiteral("runtime"));
        std::unique_ptr<QLockFile> held;
        if (kind == QLatin1String("open")) {
            QVERIFY(QDir().mkdir(folder));
            ::chmod(QFile::encodeName(folder).constData(), 0777);
        } else if (kind == QLatin1String("link")) {
            QVERIFY(QDir().mkdir(top.filePath(QStringLiteral("real"))));
            ::chmod(QFile::encodeName(top.filePath(QStringLiteral("real"))).constData(), 0700);
            QVERIFY(QFile::link(top.filePath(QStringLiteral("real")), folder));
        } else if (kind == QLatin1String("held")) {
            QVERIFY(QDir().mkdir(folder));
            ::chmod(QFile::encodeName(folder).constData(), 0700);
            SingleInstance probe(folder);
            held = std::make_unique<QLockFile>(probe.lockPath());
            QVERIFY(held->tryLock(0)); // held by a live process that listens on no socket
        }
        SingleInstance instance(folder);
        QCOMPARE(int(instance.start()), outcome);
        QVERIFY2(instance.errorString().contains(says), qPrintable(instance.errorString()));
        if (outcome == int(SingleInstance::Outcome::First)) {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
            QCOMPARE(unsigned(st.st_mode & 0777), 0700u);
        } else if (kind != QLatin1String("held")) {
            QVERIFY(!QFile::exists(instance.lockPath())); // nothing is left where others could see it
        }
    }

    // Without a private runtime folder the lock goes into the user's home, never the shared /tmp.
    void defaultFolder_data() {
        QTest::addColumn<QString>("runtime"); // "private", "open" or "" (unset)
        QTest::addColumn<bool>("stateHome");  // $XDG_STATE_HOME set
        QTest::addColumn<QString>("expected");
        QTest::newRow("a private runtime folder") << "private" << true << "runtime";
        QTest::newRow("a runtime folder others may enter") << "open" << true << "state/krv-glyde";
        QTest::newRow("no runtime folder") << "" << true << "state/krv-glyde";
        QTest::newRow("no runtime folder, no XDG_STATE_HOME") << "" << false << "home/.local/state/krv-glyde";
    }
    void defaultFolder() {
        QFETCH(QString, runtime);
        QFETCH(bool, stateHome);
        QFETCH(QString, expected);
        QTemporaryDir top;
        const QByteArray saved[] = {qgetenv("XDG_RUNTIME_DIR"), qgetenv("XDG_STATE_HOME"), qgetenv("HOME")};
        QVERIFY(QDir().mkdir(top.filePath(QStringLiteral("runtime"))));
        QVERIFY(QDir().mkdir(top.filePath(QStringLiteral("home"))));
        ::chmod(QFile::encodeName(top.filePath(QStringLiteral("runtime"))).constData(),
                runtime == QLatin1String("open") ? 0777 : 0700);
        if (runtime.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(top.filePath(QStringLiteral("runtime"))));
        if (stateHome)
            qputenv("XDG_STATE_HOME", QFile::encodeName(top.filePath(QStringLiteral("state"))));
        else
            qunsetenv("XDG_STATE_HOME");
        qputenv("HOME", QFile::encodeName(top.filePath(QStringLiteral("home"))));
        SingleInstance instance;
        const auto outcome = instance.start();
        const char* names[] = {"XDG_RUNTIME_DIR", "XDG_STATE_HOME", "HOME"};
        for (int i = 0; i < 3; ++i)
            saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
        QCOMPARE(int(outcome), int(SingleInstance::Outcome::First));
        const QString folder = top.filePath(expected);
        QCOMPARE(QFileInfo(instance.lockPath()).absolutePath(), folder);
        QVERIFY(!instance.socketPath().startsWith(QDir::tempPath() + QStringLiteral("/krv-glyde")));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(folder).constData(), &st), 0);
        QCOMPARE(unsigned(st.st_mode & 0777), 0700u);
    }
};

QTEST_MAIN(SingleInstanceFolderTest)
#include "single_instance_folder_test.moc"
