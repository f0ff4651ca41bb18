// SPDX-License-Identifier: MIT
// The companion on a private session bus (the test runs under dbus-run-session), reached the way a
// shell script or a desktop shortcut reaches it: with busctl and gdbus as separate programs.

#include "widgets/CompanionFixture.h"

#include "app/dbus/CompanionService.h"
#include "mouse/ButtonCode.h"
#include "settings/IniFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace krv;
using namespace krv::test;

namespace {

struct Run {
    int status = -1;
    QString out;
    QString err;
};

// Runs a program to its end without blocking the companion's event loop.
Run runTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    Run run;
    if (!process.waitForStarted(5000))
        return run;
    QSignalSpy finished(&process, &QProcess::finished);
    if (!finished.wait(10000))
        return run;
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

const QString Name = QString::fromLatin1(CompanionService::ServiceName);
const QString Path = QString::fromLatin1(CompanionService::ObjectPath);
const QString Interface = QString::fromLatin1(CompanionService::InterfaceName);

Run gdbusCall(const QString& method, const QStringList& arguments = {}) {
    return runTool(QStringLiteral("gdbus"), QStringList{QStringLiteral("call"), QStringLiteral("--session"),
                                                        QStringLiteral("--dest"), Name, QStringLiteral("--object-path"),
                                                        Path, QStringLiteral("--method"), Interface + '.' + method} +
                                                arguments);
}

// Profile 1 has button 7 on "next DPI stage up", profile 3 on "next stage down"; every stage is
// enabled and both profiles start on stage 2, so a press shows which profile the host serves.
void twoProfiles(const QString& folder, SimulatedMouse&) {
    const std::string config = (folder + QStringLiteral("/config.ini")).toStdString();
    for (const char* section : {"Config1", "Config3"}) {
        for (const char* key : {"DPI_SET_EN1", "DPI_SET_EN2", "DPI_SET_EN3", "DPI_SET_EN4"})
            (void)IniFile::writeString(config, section, key, "1");
        (void)IniFile::writeString(config, section, "DPI_LEVEL", "1");
    }
    (void)IniFile::writeString(config, "Config1", "K7", "17");
    (void)IniFile::writeString(config, "Config3", "K7", "18");
}

class PropertiesWatcher : public QObject {
    Q_OBJECT
public:
    QList<QVariantMap> seen;
public slots:
    void changed(const QString& interface, const QVariantMap& values, const QStringList&) {
        if (interface == Interface)
            seen.push_back(values);
    }
};

} // namespace

class CompanionServiceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void introspectionShowsTheInterface();
    void profileSwitchFromTheShellIsServed();
    void profileOutsideTheRangeIsRefusedAndNothingChanges();
    void profileWithoutALeftClickIsRefusedAndNothingChanges();
    void reloadTakesTheFilesAsTheyAreNow();
    void theNameIsTakenOnlyOnce();
    void profilesForProgramsFromTheShell();
};

void CompanionServiceTest::initTestCase() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        QSKIP("no session bus (the test runs under dbus-run-session)");
}

void CompanionServiceTest::introspectionShowsTheInterface() {
    CompanionFixture f;
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    const Run run = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("introspect"), Name, Path});
    QCOMPARE(run.status, 0);
    for (const char* member : {"io.github.krv_glyde.KrvGlyde1", ".ApplyProfile", ".ShowWindow", ".Reload",
                               ".CurrentProfile", ".Connected", ".DpiStage", ".Language"})
        QVERIFY2(run.out.contains(QLatin1String(member)), member);
    const Run profile = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"), Name,
                                                           Path, Interface, QStringLiteral("CurrentProfile")});
    QCOMPARE(profile.out.trimmed(), QStringLiteral("i 1"));
    const Run connected = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"),
                                                             Name, Path, Interface, QStringLiteral("Connected")});
    QCOMPARE(connected.out.trimmed(), QStringLiteral("b true"));
}

void CompanionServiceTest::profileSwitchFromTheShellIsServed() {
    CompanionFixture f(twoProfiles);
    // The start-up apply has reached the mouse.
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    PropertiesWatcher watcher;
    QVERIFY(QDBusConnection::sessionBus().connect(Name, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("PropertiesChanged"), &watcher,
                                                  SLOT(changed(QString, QVariantMap, QStringList))));

    const Run run = gdbusCall(QStringLiteral("ApplyProfile"), {QStringLiteral("3")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(f.settings().currentProfile.load(), 3);
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Init", "CurConfig"), std::string("3"));
    // The mouse acknowledges the new buttons; then button 7 is profile 3's "next stage down".
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(f.settings().dpiStage.load(), 1);
    f.mouse->press(DeviceButtonId[6]);
    f.mouse->release();
    QTRY_COMPARE(f.settings().dpiStage.load(), 0);
    QTRY_COMPARE(f.mouse->state().dpiStage, std::uint8_t{0});
    // Other programs hear of the change.
    QTRY_VERIFY(std::any_of(watcher.seen.cbegin(), watcher.seen.cend(), [](const QVariantMap& values) {
        return values.value(QStringLiteral("CurrentProfile")).toInt() == 3;
    }));
    QTRY_VERIFY(std::any_of(watcher.seen.cbegin(), watcher.seen.cend(), [](const QVariantMap& values) {
        return values.value(QStringLiteral("DpiStage")).toInt() == 1;
    }));
}

void CompanionServiceTest::profileOutsideTheRangeIsRefusedAndNothingChanges() {
    CompanionFixture f;
    // The start-up apply has reached the mouse.
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    QFile file(f.configPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const std::size_t reports = f.reportsSent();
    for (const char* n : {"0", "6", "-1"}) {
        const Run run = gdbusCall(QStringLiteral("ApplyProfile"), {QStringLiteral("--"), QString::fromLatin1(n)});
        QVERIFY(run.status != 0);
        QVERIFY2(run.err.contains(QStringLiteral("InvalidArgs")), qPrintable(run.err));
    }
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.reportsSent(), reports);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void CompanionServiceTest::profileWithoutALeftClickIsRefusedAndNothingChanges() {
    CompanionFixture f([](const QString& folder, SimulatedMouse&) {
        (void)IniFile::writeString((folder + "/config.ini").toStdString(), "Config2", "K1", "2");
    });
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    QFile file(f.configPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const std::size_t reports = f.reportsSent();
    const std::int32_t slot1 = f.settings().buttonCodes[0].load();

    const Run run = gdbusCall(QStringLiteral("ApplyProfile"), {QStringLiteral("2")});
    QVERIFY(run.status != 0);
    QVERIFY2(run.err.contains(QStringLiteral("profile 2 has no button set to Left Click")), qPrintable(run.err));
    // The mouse, the window and the file keep profile 1.
    QCOMPARE(f.reportsSent(), reports);
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.settings().buttonCodes[0].load(), slot1);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

void CompanionServiceTest::reloadTakesTheFilesAsTheyAreNow() {
    CompanionFixture f;
    // The start-up apply has reached the mouse.
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    // Another program switched to profile 2 and put button 6 on "forward" in the file.
    QVERIFY(IniFile::writeString(f.configPath().toStdString(), "Init", "CurConfig", "2"));
    QVERIFY(IniFile::writeString(f.configPath().toStdString(), "Config2", "K6", "5"));
    const Run run = gdbusCall(QStringLiteral("Reload"));
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(f.settings().currentProfile.load(), 2);
    QCOMPARE(f.settings().buttonCodes[5].load(), 5);
    // The apply that followed kept the other program's value.
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Config2", "K6"), std::string("5"));
}

void CompanionServiceTest::theNameIsTakenOnlyOnce() {
    CompanionFixture f;
    CompanionService first(*f.companion);
    QVERIFY(first.registerOn(Name));
    // A second companion in another process would be refused the name; here the object path is taken.
    CompanionService second(*f.companion);
    QVERIFY(!second.registerOn(Name));
    const Run run = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"), Name,
                                                       Path, Interface, QStringLiteral("Language")});
    QCOMPARE(run.status, 0);
}

void CompanionServiceTest::profilesForProgramsFromTheShell() {
    CompanionFixture f;
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    const std::filesystem::path rules = f.context->paths.appProfilesPath();
    QVERIFY2(gdbusCall(QStringLiteral("AddAppProfile"), {QStringLiteral("steam"), QStringLiteral("2")}).status == 0,
             "AddAppProfile");
    QVERIFY(gdbusCall(QStringLiteral("AddAppProfile"), {QStringLiteral("/usr/games/foo"), QStringLiteral("3")}).status == 0);
    QVERIFY(gdbusCall(QStringLiteral("SetAppProfileDefault"), {QStringLiteral("1")}).status == 0);
    QVERIFY(gdbusCall(QStringLiteral("SetAppProfilesEnabled"), {QStringLiteral("false")}).status == 0);
    QVERIFY(gdbusCall(QStringLiteral("RemoveAppProfile"), {QStringLiteral("STEAM")}).status == 0);
    const Run list = gdbusCall(QStringLiteral("AppProfiles"));
    QCOMPARE(list.out.trimmed(), QStringLiteral("({'/usr/games/foo': <3>},)"));
    const Run enabled = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"), Name,
                                                           Path, Interface, QStringLiteral("AppProfilesEnabled")});
    QCOMPARE(enabled.out.trimmed(), QStringLiteral("b false"));
    const Run fallback = runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"),
                                                            Name, Path, Interface, QStringLiteral("AppProfileDefault")});
    QCOMPARE(fallback.out.trimmed(), QStringLiteral("i 1"));

    // Refusals: a bad name or number, a rule that is not there; the file stays as it was.
    QFile file(QString::fromStdString(rules.string()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const std::pair<QString, QStringList> refused[] = {
        {QStringLiteral("AddAppProfile"), {QStringLiteral("a=b"), QStringLiteral("2")}},
        {QStringLiteral("AddAppProfile"), {QStringLiteral("x"), QStringLiteral("6")}},
        {QStringLiteral("SetAppProfileDefault"), {QStringLiteral("--"), QStringLiteral("-1")}},
        {QStringLiteral("RemoveAppProfile"), {QStringLiteral("nothing")}},
    };
    for (const auto& [method, arguments] : refused) {
        const Run run = gdbusCall(method, arguments);
        QVERIFY2(run.status != 0, qPrintable(method));
        QVERIFY2(run.err.contains(QStringLiteral("InvalidArgs")) || run.err.contains(QStringLiteral("Failed")),
                 qPrintable(run.err));
    }
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

QTEST_MAIN(CompanionServiceTest)
#include "companion_service_dbus.moc"
