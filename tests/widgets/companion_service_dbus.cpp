// SPDX-License-Identifier: MIT
// The companion on a private session bus (the test runs under dbus-run-session), reached the way a
// shell script or a desktop shortcut reaches it: with busctl and gdbus as separate programs, and the
// way krv-glyde-ctl reaches it: the real tool, as a process of its own, on the companion's folder.

#include "unit/RequireOk.h"
#include "widgets/CompanionFixture.h"
#include "widgets/LockHolder.h"

#include "app/dbus/CompanionService.h"
#include "macros/MacroTable.h"
#include "mouse/ButtonCode.h"
#include "mouse/VirtualKeys.h"
#include "settings/IniFile.h"
#include "settings/ProfileSettings.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <string_view>
#include <sys/types.h>

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

Run busctlProperty(const QString& property) {
    return runTool(QStringLiteral("busctl"), {QStringLiteral("--user"), QStringLiteral("get-property"), Name, Path,
                                              Interface, property});
}

// The real command-line tool on the companion's folder.
Run ctl(const QString& folder, const QStringList& arguments) {
    return runTool(QStringLiteral(KRV_CTL), QStringList{QStringLiteral("--dir"), folder} + arguments);
}

// Every file under a folder with its bytes.
std::map<QString, QByteArray> snapshotOf(const QString& folder) {
    std::map<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files[file.fileName()] = file.readAll();
    }
    return files;
}

// A whole profile for "profile import": left click on button 1, `k7` on button 7.
void writeProfile(const QString& path, int k7) {
    ProfileValues values = FactoryProfile();
    values.buttonCodes[0] = 1;
    values.buttonCodes[6] = k7;
    krv::test::requireOk(SaveProfileValues(values, path.toStdString(), ExchangeProfileSection, FileLock::None));
}

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

// Another program on the bus (this test program started again with --call-then-read): it calls
// `method` (with the profile n, if given), then at once reads CurrentProfile on the same connection, so
// that the companion gets the two in this order, and prints "read N" and "answer ok" (or "answer " and
// the error) as the replies come.
class Caller {
public:
    Caller(const QString& method, const QString& n = {}) {
        QStringList arguments{QStringLiteral("--call-then-read"), method};
        if (!n.isEmpty())
            arguments << n;
        m_process.start(QCoreApplication::applicationFilePath(), arguments);
    }
    ~Caller() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    QString out() {
        m_out += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_out;
    }
    bool finished() const { return m_process.state() == QProcess::NotRunning; }

private:
    QProcess m_process;
    QString m_out;
};

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
    void theToolsApplyIsServedByTheCompanion();
    void theToolsImportsAreServedAndKept();
    void aCompanionOfOtherFilesIsLeftAlone();
    void aCompanionThatDoesNotAnswerStopsTheTool();
    void aLockedFileHoldsUpNeitherTheWindowNorTheBus_data();
    void aLockedFileHoldsUpNeitherTheWindowNorTheBus();
    void aLockHeldTooLongIsAnsweredAndChangesNothing();
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
                               ".CurrentProfile", ".Connected", ".DpiStage", ".Language", ".ConfigFolder"})
        QVERIFY2(run.out.contains(QLatin1String(member)), member);
    QCOMPARE(busctlProperty(QStringLiteral("CurrentProfile")).out.trimmed(), QStringLiteral("i 1"));
    QCOMPARE(busctlProperty(QStringLiteral("Connected")).out.trimmed(), QStringLiteral("b true"));
    QCOMPARE(busctlProperty(QStringLiteral("ConfigFolder")).out.trimmed(),
             QStringLiteral("s \"%1\"").arg(QDir(f.folder.path()).absolutePath()));
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
    QCOMPARE(busctlProperty(QStringLiteral("Language")).status, 0);
}

void CompanionServiceTest::profilesForProgramsFromTheShell() {
    CompanionFixture f;
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    const std::filesystem::path rules = f.context->paths.appProfilesPath();
    PropertiesWatcher watcher;
    QVERIFY(QDBusConnection::sessionBus().connect(Name, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("PropertiesChanged"), &watcher,
                                                  SLOT(changed(QString, QVariantMap, QStringList))));
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
    // Other programs hear of both changes.
    QTRY_VERIFY(std::any_of(watcher.seen.cbegin(), watcher.seen.cend(), [](const QVariantMap& values) {
        return values.value(QStringLiteral("AppProfileDefault"), 0).toInt() == 1;
    }));
    QTRY_VERIFY(std::any_of(watcher.seen.cbegin(), watcher.seen.cend(), [](const QVariantMap& values) {
        return values.contains(QStringLiteral("AppProfilesEnabled")) &&
               !values.value(QStringLiteral("AppProfilesEnabled")).toBool();
    }));

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

void CompanionServiceTest::theToolsApplyIsServedByTheCompanion() {
    QImage shownOnProfile3;
    {
        // What the window shows when it starts on profile 3, for the comparison below.
        CompanionFixture reference([](const QString& folder, SimulatedMouse& mouse) {
            twoProfiles(folder, mouse);
            (void)IniFile::writeString((folder + QStringLiteral("/config.ini")).toStdString(), "Init", "CurConfig", "3");
        });
        QTRY_VERIFY(reference.context->feedback.HostFunctionsReady.load());
        QTRY_VERIFY(!reference.companion->blinkTimerActive());
        shownOnProfile3 = reference.window().grab().toImage();
    }
    CompanionFixture f(twoProfiles);
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    PropertiesWatcher watcher;
    QVERIFY(QDBusConnection::sessionBus().connect(Name, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("PropertiesChanged"), &watcher,
                                                  SLOT(changed(QString, QVariantMap, QStringList))));
    const std::size_t reportsBefore = f.reportsSent();

    // No real mouse is here: the tool could only succeed through the companion.
    const Run run = ctl(f.folder.path(), {QStringLiteral("apply"), QStringLiteral("3")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    // When the tool returns, the companion has switched, sent and saved.
    QCOMPARE(f.settings().currentProfile.load(), 3);
    QVERIFY(f.reportsSent() > reportsBefore);
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Init", "CurConfig"), std::string("3"));
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Config6", "K7"), std::string("18"));
    // The window shows profile 3 as it would have started on it.
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QTRY_VERIFY(!f.companion->blinkTimerActive());
    QCOMPARE(f.window().grab().toImage(), shownOnProfile3);
    // Button 7 is profile 3's "next stage down" now.
    f.mouse->press(DeviceButtonId[6]);
    f.mouse->release();
    QTRY_COMPARE(f.mouse->state().dpiStage, std::uint8_t{0});
    // Other programs hear of both changes, each once.
    QTRY_VERIFY(std::any_of(watcher.seen.cbegin(), watcher.seen.cend(), [](const QVariantMap& values) {
        return values.value(QStringLiteral("DpiStage")).toInt() == 1;
    }));
    QCOMPARE(std::count_if(watcher.seen.cbegin(), watcher.seen.cend(),
                           [](const QVariantMap& values) { return values.contains(QStringLiteral("CurrentProfile")); }),
             1);
    QCOMPARE(watcher.seen.front().value(QStringLiteral("CurrentProfile")).toInt(), 3);

    // The tool's status shows the companion's state.
    const Run status = ctl(f.folder.path(), {QStringLiteral("--simulate"), QStringLiteral("status")});
    QCOMPARE(status.status, 0);
    QVERIFY2(status.out.contains(QStringLiteral("companion io.github.krv_glyde.KrvGlyde\ncompanion profile 3\n"
                                                "companion mouse connected\ncompanion dpi stage 1\n")),
             qPrintable(status.out));
}

void CompanionServiceTest::theToolsImportsAreServedAndKept() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));

    // Button 7 plays macro 0, and macro 0 becomes "Q down, Q up".
    const QString profile = f.folder.filePath(QStringLiteral("p.ini"));
    writeProfile(profile, FirstMacroCode);
    MacroTable macros;
    krv::test::requireOk(LoadMacroSource(macros, f.folder.filePath(QStringLiteral("Macro_EN.dat")).toStdString()));
    macros.modify([](MacroTable::Records& records, std::int16_t&) {
        records[0].setEventCount(2);
        records[0].setEvent(0, {'Q', MacroActionDown, 10});
        records[0].setEvent(1, {'Q', 2, 10});
    });
    const QString macroFile = f.folder.filePath(QStringLiteral("m.dat"));
    krv::test::requireOk(SaveMacroFile(macros, macroFile.toStdString(), FileLock::None));

    const Run imported = ctl(f.folder.path(), {QStringLiteral("profile"), QStringLiteral("import"), profile});
    QVERIFY2(imported.status == 0, qPrintable(imported.err));
    const Run macrosImported = ctl(f.folder.path(), {QStringLiteral("macro"), QStringLiteral("import"), macroFile});
    QVERIFY2(macrosImported.status == 0, qPrintable(macrosImported.err));

    // The mouse has the imported buttons; a press of button 7 plays the imported macro.
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(f.settings().buttonCodes[6].load(), int{FirstMacroCode});
    const std::size_t typed = f.injector->events().size();
    f.mouse->press(DeviceButtonId[6]);
    f.mouse->release();
    QVERIFY(f.injector->waitFor(typed + 2, std::chrono::seconds(10)));
    const std::vector<InputEvent> events = f.injector->events();
    QCOMPARE(events[typed], (InputEvent{InputKind::KeyDown, 'Q'}));
    QCOMPARE(events[typed + 1], (InputEvent{InputKind::KeyUp, 'Q'}));
    // The files keep the tool's values and the companion's apply of them.
    const std::string config = f.configPath().toStdString();
    QCOMPARE(IniFile::readString(config, "Config1", "K7"), std::to_string(FirstMacroCode));
    QCOMPARE(IniFile::readString(config, "Config6", "K7"), std::to_string(FirstMacroCode));
    QFile source(macroFile), user(f.folder.filePath(QStringLiteral("Macro_EN.dat")));
    QVERIFY(source.open(QIODevice::ReadOnly) && user.open(QIODevice::ReadOnly));
    QCOMPARE(user.readAll(), source.readAll());
}

void CompanionServiceTest::aCompanionOfOtherFilesIsLeftAlone() {
    CompanionFixture f;
    QTRY_VERIFY(f.reportsSent() >= 11);
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    const std::size_t reports = f.reportsSent();
    QTemporaryDir other;
    for (const char* file : {"config.ini", "Macro_EN.dat", "Macro_CN.dat"})
        QVERIFY(QFile::copy(f.folder.filePath(QString::fromLatin1(file)), other.filePath(QString::fromLatin1(file))));
    // The tool sends profile 3 to its own simulated mouse, as without a companion.
    const Run run = ctl(other.path(), {QStringLiteral("--simulate"), QStringLiteral("apply"), QStringLiteral("3")});
    QVERIFY2(run.status == 0, qPrintable(run.err));
    QCOMPARE(run.out.count(QLatin1Char('\n')), 11);
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.reportsSent(), reports);
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Init", "CurConfig"), std::string("1"));
}

void CompanionServiceTest::aCompanionThatDoesNotAnswerStopsTheTool() {
    CompanionFixture f;
    // A process that holds the companion's name and stops: it never answers.
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-name"), Name});
    QVERIFY(holder.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QDBusConnection::sessionBus().interface()->isServiceRegistered(Name).value(), 10000);
    QVERIFY(::kill(static_cast<pid_t>(holder.processId()), SIGSTOP) == 0);

    const QString profile = f.folder.filePath(QStringLiteral("p.ini"));
    writeProfile(profile, 31);
    const auto before = snapshotOf(f.folder.path());
    const QList<QStringList> commands = {
        {QStringLiteral("apply"), QStringLiteral("2")},
        {QStringLiteral("profile"), QStringLiteral("import"), profile, QStringLiteral("2")},
        {QStringLiteral("restore-defaults")},
    };
    for (const QStringList& command : commands) {
        const Run run = ctl(f.folder.path(), QStringList{QStringLiteral("-v")} + command);
        QVERIFY2(run.status == 2, qPrintable(run.err));
        QVERIFY2(run.err.startsWith(QStringLiteral("krv-glyde-ctl: the running companion (") + Name) &&
                     run.err.contains(QStringLiteral("does not answer within")) && run.err.count('\n') == 1,
                 qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
    }
    QVERIFY(snapshotOf(f.folder.path()) == before);

    ::kill(static_cast<pid_t>(holder.processId()), SIGCONT);
    holder.kill();
    QVERIFY(holder.waitForFinished(5000));
}

void CompanionServiceTest::aLockedFileHoldsUpNeitherTheWindowNorTheBus_data() {
    QTest::addColumn<QString>("method");
    QTest::newRow("ApplyProfile 3") << QStringLiteral("ApplyProfile");
    QTest::newRow("Reload after a hand edit of CurConfig") << QStringLiteral("Reload");
}

// Another program is in the middle of a save of config.ini (it holds the lock) when a script switches
// the profile or asks for a reload: the companion goes on answering the bus and the window's clicks,
// and answers the call once the lock is free, with profile 3 sent, saved and served.
void CompanionServiceTest::aLockedFileHoldsUpNeitherTheWindowNorTheBus() {
    QFETCH(QString, method);
    CompanionFixture f(twoProfiles);
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    LockHolder lock(f.configPath());
    QVERIFY(lock.held());
    if (method == QLatin1String("Reload")) {
        // An editor that takes no lock makes profile 3 current; the watcher waits for the lock too.
        QFile file(f.configPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        file.close();
        QVERIFY(bytes.contains("CurConfig=1"));
        bytes.replace("CurConfig=1", "CurConfig=3");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
    }

    Caller caller(method, method == QLatin1String("ApplyProfile") ? QStringLiteral("3") : QString());
    // The property read after the call is answered while the call waits for the lock.
    QTRY_VERIFY_WITH_TIMEOUT(caller.out().contains(QStringLiteral("read 1\n")), 10000);
    QVERIFY2(!caller.out().contains(QStringLiteral("answer")), qPrintable(caller.out()));
    QVERIFY(lock.holding());
    QCOMPARE(f.settings().currentProfile.load(), 1);
    // The window takes a click meanwhile.
    f.clickMain(MainElement::PageTabFirst + 1);
    QCOMPARE(f.window().viewState().page, SkinPage::Advanced);

    QVERIFY(lock.release());
    QTRY_VERIFY_WITH_TIMEOUT(caller.finished(), 10000);
    QVERIFY2(caller.out().endsWith(QStringLiteral("answer ok\n")), qPrintable(caller.out()));
    QCOMPARE(f.settings().currentProfile.load(), 3);
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Init", "CurConfig"), std::string("3"));
    QCOMPARE(IniFile::readString(f.configPath().toStdString(), "Config6", "K7"), std::string("18"));
    // Button 7 is profile 3's "next stage down" once the mouse has acknowledged it.
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    QCOMPARE(f.settings().dpiStage.load(), 1);
    f.mouse->press(DeviceButtonId[6]);
    f.mouse->release();
    QTRY_COMPARE(f.mouse->state().dpiStage, std::uint8_t{0});
}

// A lock held past its patience: the caller is told so, truthfully, and nothing was sent or changed.
void CompanionServiceTest::aLockHeldTooLongIsAnsweredAndChangesNothing() {
    CompanionFixture f(twoProfiles);
    QTRY_VERIFY(f.reportsSent() >= 11);
    QTRY_VERIFY(f.context->feedback.HostFunctionsReady.load());
    CompanionService service(*f.companion);
    QVERIFY(service.registerOn(Name));
    const auto before = snapshotOf(f.folder.path());
    const std::size_t reports = f.reportsSent();
    LockHolder lock(f.configPath());
    QVERIFY(lock.held());

    Caller caller(QStringLiteral("ApplyProfile"), QStringLiteral("3"));
    QTRY_VERIFY_WITH_TIMEOUT(caller.out().contains(QStringLiteral("read 1\n")), 10000);
    const int patience = static_cast<int>(std::chrono::milliseconds(IniFile::LockPatience).count());
    QTRY_VERIFY_WITH_TIMEOUT(caller.finished(), patience + 10000);
    QVERIFY2(caller.out().contains(QStringLiteral("answer org.freedesktop.DBus.Error.Failed: ")) &&
                 caller.out().contains(QStringLiteral("config.ini: another program has held it locked for too long")),
             qPrintable(caller.out()));
    QVERIFY(lock.holding());
    QVERIFY(lock.release());
    QCOMPARE(f.settings().currentProfile.load(), 1);
    QCOMPARE(f.reportsSent(), reports);
    QVERIFY(snapshotOf(f.folder.path()) == before);
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::string_view(argv[1]) == "--call-then-read") {
        QCoreApplication app(argc, argv);
        QDBusConnection bus = QDBusConnection::sessionBus();
        QDBusMessage call = QDBusMessage::createMethodCall(Name, Path, Interface, QString::fromLatin1(argv[2]));
        if (argc >= 4)
            call << QString::fromLatin1(argv[3]).toInt();
        const int bound = 60000;
        QDBusPendingCallWatcher answer(bus.asyncCall(call, bound));
        QDBusMessage get = QDBusMessage::createMethodCall(Name, Path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << Interface << QStringLiteral("CurrentProfile");
        QDBusPendingCallWatcher read(bus.asyncCall(get, bound));
        int left = 2;
        QObject::connect(&read, &QDBusPendingCallWatcher::finished, &app, [&] {
            const QDBusPendingReply<QDBusVariant> reply = read;
            std::printf("read %d\n", reply.isError() ? -1 : reply.value().variant().toInt());
            std::fflush(stdout);
            if (--left == 0)
                app.quit();
        });
        QObject::connect(&answer, &QDBusPendingCallWatcher::finished, &app, [&] {
            if (answer.isError())
                std::printf("answer %s: %s\n", qPrintable(answer.error().name()), qPrintable(answer.error().message()));
            else
                std::printf("answer ok\n");
            std::fflush(stdout);
            if (--left == 0)
                app.quit();
        });
        return app.exec();
    }
    // The stand-in for a companion that holds its name and never answers.
    if (argc == 3 && std::string_view(argv[1]) == "--hold-name") {
        QCoreApplication app(argc, argv);
        if (!QDBusConnection::sessionBus().registerService(QString::fromLocal8Bit(argv[2])))
            return 1;
        return app.exec();
    }
    QApplication app(argc, argv);
    CompanionServiceTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "companion_service_dbus.moc"
