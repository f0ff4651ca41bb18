// SPDX-License-Identifier: MIT
// A later start asking the running companion to show its window, the same on every system: a
// companion still starting is asked again until it answers or the bound passes, one that takes the
// question but never answers is not asked again, and the line that says so names its process and its
// place. The channel here answers from a script, as the local socket or the window message would.
#include "app/RunningCompanionChannel.h"

#include <QElapsedTimer>
#include <QTest>

#include <vector>

using krv::RunningCompanionChannel;

namespace {

class ScriptedChannel final : public RunningCompanionChannel {
public:
    // One letter per question: 'n' not listening, 's' silent, 'y' shown; after the script, 'n'.
    ScriptedChannel(QString script, qint64 pid) : m_script(std::move(script)), m_pid(pid) {}
    int asked = 0;

protected:
    Answer askOnce() override {
        const QChar next = asked < m_script.size() ? m_script[asked] : QLatin1Char('n');
        ++asked;
        return next == QLatin1Char('y')   ? Answer::Shown
               : next == QLatin1Char('s') ? Answer::Silent
                                          : Answer::NotListening;
    }
    qint64 processId() override { return m_pid; }
    QString holding(Answer last) override {
        return last == Answer::NotListening ? QStringLiteral("it listens nowhere")
                                            : QStringLiteral("its lock is /run/%2");
    }

private:
    QString m_script;
    qint64 m_pid;
};

} // namespace

class RunningCompanionChannelTest : public QObject {
    Q_OBJECT
private slots:
    void asking_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<qint64>("pid");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<int>("asked"); // -1: as often as the bound allows
        QTest::addColumn<QString>("error");
        QTest::newRow("it answers at once") << "y" << qint64(7) << true << 1 << "";
        QTest::newRow("it is still starting, then answers") << "nny" << qint64(7) << true << 3 << "";
        QTest::newRow("it takes the question and never answers")
            << "ns" << qint64(4242) << false << 2
            << "the running companion (process 4242) does not answer (it may be stopped or hung); its lock is /run/%2";
        QTest::newRow("nothing ever listens")
            << "" << qint64(4242) << false << -1
            << "the running companion (process 4242) does not answer; it listens nowhere";
        QTest::newRow("its process is unknown") << "s" << qint64(0) << false << 1
                                                << "the running companion does not answer (it may be stopped or hung); "
                                                   "its lock is /run/%2";
    }
    void asking() {
        QFETCH(QString, script);
        QFETCH(qint64, pid);
        QFETCH(bool, shown);
        QFETCH(int, asked);
        QFETCH(QString, error);
        ScriptedChannel channel(script, pid);
        QString said;
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(channel.askToShowWindow(said, std::chrono::milliseconds(300)), shown);
        QCOMPARE(said, error);
        if (asked >= 0) {
            QCOMPARE(channel.asked, asked);
        } else {
            QVERIFY2(channel.asked >= 2, "asked again while nothing listens");
            QVERIFY2(clock.elapsed() >= 300, "gave up before the bound");
        }
    }
};

QTEST_MAIN(RunningCompanionChannelTest)
#include "running_companion_channel_test.moc"
