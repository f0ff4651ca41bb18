// SPDX-License-Identifier: MIT
// Power events reach the companion as signals on the system bus: here a private bus daemon stands in
// for the system bus, with test connections owning logind's and UPower's names.

#include "widgets/CompanionFixture.h"

#include "platform/linux/PowerEvents.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace krv;
using namespace krv::test;

namespace {

const QString Logind = QStringLiteral("org.freedesktop.login1");
const QString UPower = QStringLiteral("org.freedesktop.UPower");

// One signal as a service sends it.
struct BusSignal {
    enum class From { Owner, Impostor };
    From from = From::Owner;
    QString path;
    QString interface;
    QString name;
    QVariantList arguments;
};

BusSignal prepareForSleep(bool start, BusSignal::From from = BusSignal::From::Owner) {
    return {from,
            QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"),
            QStringLiteral("PrepareForSleep"),
            {start}};
}

BusSignal upowerChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated = {},
                        BusSignal::From from = BusSignal::From::Owner) {
    return {from,
            QStringLiteral("/org/freedesktop/UPower"),
            QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("PropertiesChanged"),
            {interface, changed, invalidated}};
}

} // namespace

Q_DECLARE_METATYPE(BusSignal)

class PowerEventsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyPowerEventSendsTheProfileAgain_data();
    void everyPowerEventSendsTheProfileAgain();
    void otherSignalsSendNothing_data();
    void otherSignalsSendNothing();

private:
    void send(const BusSignal& signal);

    QProcess m_daemon;
    QString m_address;
};

void PowerEventsTest::initTestCase() {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        QSKIP("dbus-daemon is not installed (Debian package dbus-daemon)");
    m_daemon.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                            QStringLiteral("--nosyslog"), QStringLiteral("--print-address=1")});
    QVERIFY(m_daemon.waitForStarted());
    QTRY_VERIFY(m_daemon.canReadLine());
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    QVERIFY(!m_address.isEmpty());
    // The companion asks Qt for the system bus; this makes it the private one.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", m_address.toUtf8());
    QDBusConnection owner = QDBusConnection::connectToBus(m_address, QStringLiteral("power-services"));
    QVERIFY(owner.isConnected());
    QVERIFY(owner.registerService(Logind));
    QVERIFY(owner.registerService(UPower));
    QVERIFY(QDBusConnection::connectToBus(m_address, QStringLiteral("impostor")).isConnected());
}

void PowerEventsTest::cleanupTestCase() {
    QDBusConnection::disconnectFromBus(QStringLiteral("power-services"));
    QDBusConnection::disconnectFromBus(QStringLiteral("impostor"));
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }
}

void PowerEventsTest::send(const BusSignal& signal) {
    QDBusConnection bus(signal.from == BusSignal::From::Owner ? QStringLiteral("power-services")
                                                              : QStringLiteral("impostor"));
    QDBusMessage message = QDBusMessage::createSignal(signal.path, signal.interface, signal.name);
    message.setArguments(signal.arguments);
    QVERIFY(bus.send(message));
    // A call answered by the bus after the signal: the bus has routed the signal before any signal
    // sent later by another connection.
    QVERIFY(bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.DBus")).value());
}

void PowerEventsTest::everyPowerEventSendsTheProfileAgain_data() {
    QTest::addColumn<BusSignal>("signal");
    QTest::addColumn<PowerEvent>("kind");
    QTest::newRow("going to sleep") << prepareForSleep(true) << PowerEvent::Suspend;
    QTest::newRow("resumed") << prepareForSleep(false) << PowerEvent::Resume;
    QTest::newRow("on battery") << upowerChanged(UPower, {{QStringLiteral("OnBattery"), true}})
                                << PowerEvent::PowerSourceChange;
    QTest::newRow("on mains, with other properties")
        << upowerChanged(UPower, {{QStringLiteral("LidIsClosed"), false}, {QStringLiteral("OnBattery"), false}})
        << PowerEvent::PowerSourceChange;
    QTest::newRow("source invalidated") << upowerChanged(UPower, {}, {QStringLiteral("OnBattery")})
                                        << PowerEvent::PowerSourceChange;
}

void PowerEventsTest::everyPowerEventSendsTheProfileAgain() {
    QFETCH(BusSignal, signal);
    QFETCH(PowerEvent, kind);
    CompanionFixture f({}, true, true);
    auto* power = dynamic_cast<PowerEvents*>(f.companion->powerEventWatch());
    QVERIFY(power);
    QVERIFY(power->watching());
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    f.companion->hideToTray();
    const auto sent = f.reportsSent();
    const auto before = f.mouse->state().featureReports;
    QSignalSpy events(power, &PowerEvents::powerEvent);
    send(signal);
    QTRY_COMPARE(events.size(), 1);
    QCOMPARE(events[0][0].value<PowerEvent>(), kind);
    // The whole profile again, also from the tray: the same eleven reports as the first apply.
    QCOMPARE(f.reportsSent(), sent + 11);
    const auto after = f.mouse->state().featureReports;
    QVERIFY(std::equal(after.end() - 11, after.end(), before.end() - 11));
}

void PowerEventsTest::otherSignalsSendNothing_data() {
    using From = BusSignal::From;
    QTest::addColumn<BusSignal>("noise");
    QTest::addColumn<BusSignal>("event");
    QTest::addColumn<PowerEvent>("kind");
    const BusSignal resumed = prepareForSleep(false);
    QTest::newRow("lid closed") << upowerChanged(UPower, {{QStringLiteral("LidIsClosed"), true}}) << resumed
                                << PowerEvent::Resume;
    QTest::newRow("another interface's OnBattery")
        << upowerChanged(QStringLiteral("org.freedesktop.UPower.Device"), {{QStringLiteral("OnBattery"), true}})
        << resumed << PowerEvent::Resume;
    QTest::newRow("source change from a stranger")
        << upowerChanged(UPower, {{QStringLiteral("OnBattery"), true}}, {}, From::Impostor) << resumed
        << PowerEvent::Resume;
    QTest::newRow("sleep from a stranger")
        << prepareForSleep(true, From::Impostor) << upowerChanged(UPower, {{QStringLiteral("OnBattery"), true}})
        << PowerEvent::PowerSourceChange;
}

void PowerEventsTest::otherSignalsSendNothing() {
    QFETCH(BusSignal, noise);
    QFETCH(BusSignal, event);
    QFETCH(PowerEvent, kind);
    CompanionFixture f({}, true, true);
    auto* power = dynamic_cast<PowerEvents*>(f.companion->powerEventWatch());
    QVERIFY(power);
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    const auto sent = f.reportsSent();
    QSignalSpy events(power, &PowerEvents::powerEvent);
    // The noise reaches the companion first; once the real event has arrived, the noise has been seen.
    send(noise);
    send(event);
    QTRY_VERIFY(!events.isEmpty() && events.last()[0].value<PowerEvent>() == kind);
    QCOMPARE(events.size(), 1);
    QCOMPARE(f.reportsSent(), sent + 11);
}

QTEST_MAIN(PowerEventsTest)
#include "power_events_test.moc"
