// SPDX-License-Identifier: MIT
#include "app/dbus/CompanionService.h"

#include "app/Companion.h"
#include "app/FileReload.h"
#include "settings/AppProfileRules.h"
#include "settings/FileSystemCalls.h"
#include "settings/IniFile.h"
#include "ui/SaveWhenUnlocked.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QPointer>

#include <cstdio>
#include <filesystem>

namespace krv {

CompanionService::CompanionService(Companion& companion, QObject* parent) : QObject(parent), m_companion(companion) {
    const std::filesystem::path config = m_companion.context().paths.configPath();
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(config, ec);
    m_configFolder = QString::fromStdString(fsys::Utf8Of((ec ? config : absolute).parent_path()));
    // Emitted on the UI thread (the executor's and the reader's changes are posted there).
    connect(&m_companion, &Companion::stateChanged, this, &CompanionService::announceChanges);
}

CompanionService::~CompanionService() {
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(m_serviceName);
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
}

bool CompanionService::registerOn(const QString& serviceName) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "krv-glyde: no session bus: other programs cannot reach the companion\n");
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(ObjectPath), this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties)) {
        std::fprintf(stderr, "krv-glyde: the object %s is taken on the session bus\n", ObjectPath);
        return false;
    }
    if (!bus.registerService(serviceName)) {
        bus.unregisterObject(QString::fromLatin1(ObjectPath));
        std::fprintf(stderr, "krv-glyde: the name %s is taken on the session bus\n", qPrintable(serviceName));
        return false;
    }
    readAppProfileOptions();
    m_announced = snapshot();
    m_registered = true;
    m_serviceName = serviceName;
    return true;
}

int CompanionService::currentProfile() const {
    return m_companion.context().settings.currentProfile.load();
}

bool CompanionService::connected() const {
    return m_companion.context().link.connected();
}

int CompanionService::dpiStage() const {
    return m_companion.context().settings.dpiStageIndex() + 1;
}

QString CompanionService::language() const {
    return m_companion.context().language == UiLanguage::English ? QStringLiteral("en") : QStringLiteral("zh");
}

QString CompanionService::configFolder() const {
    return m_configFolder;
}

bool CompanionService::running() const {
    return m_companion.state() != Companion::State::Ended && m_companion.state() != Companion::State::Starting;
}

void CompanionService::answerWhenUnlocked(std::vector<std::filesystem::path> files,
                                          std::function<QDBusMessage(const QDBusMessage& call)> work) {
    setDelayedReply(true);
    const QDBusMessage call = message();
    QDBusConnection bus = connection();
    SaveWhenUnlocked(
        this, std::move(files), [call, bus, work = std::move(work)]() mutable { bus.send(work(call)); },
        [call, bus](const FileStatus& failure) mutable {
            bus.send(call.createErrorReply(QDBusError::Failed, QString::fromStdString(failure.message())));
        });
}

void CompanionService::ApplyProfile(int n) {
    if (n < 1 || n > ProfileCount) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("the profile is one of 1 to %1").arg(ProfileCount));
        return;
    }
    if (!running()) {
        sendErrorReply(QDBusError::Failed, QStringLiteral("the companion is not running"));
        return;
    }
    answerWhenUnlocked({m_companion.context().paths.configPath()},
                       [this, n](const QDBusMessage& call) { return applyNow(call, n); });
}

QDBusMessage CompanionService::applyNow(const QDBusMessage& call, int n) {
    // The companion may have ended while another program held the lock.
    if (!running())
        return call.createErrorReply(QDBusError::Failed, QStringLiteral("the companion is not running"));
    // The profile is read under the lock of its save: a change another program saves meanwhile is what
    // is applied. A profile that is not sent changes nothing, and the caller is told why.
    const int current = currentProfile();
    QString refusal;
    const ProfileApplier::Outcome outcome = m_companion.applyStoredProfile(
        n, {.unreadable = [&](const FileStatus& problem) { refusal = QString::fromStdString(problem.message()); },
            .noLeftButton =
                [&] {
                    refusal = QStringLiteral("profile %1 has no button set to Left Click: the mouse stays on profile %2")
                                  .arg(n)
                                  .arg(current);
                }}); // announced through the companion's stateChanged
    if (outcome == ProfileApplier::Outcome::NotSent)
        return call.createErrorReply(QDBusError::Failed, refusal);
    if (outcome == ProfileApplier::Outcome::NotSaved)
        return call.createErrorReply(
            QDBusError::Failed,
            QStringLiteral("profile %1 was sent to the mouse, but the settings did not reach the disk").arg(n));
    return call.createReply();
}

void CompanionService::ShowWindow() {
    m_companion.restoreWindow();
}

void CompanionService::Reload() {
    setDelayedReply(true);
    const QDBusMessage call = message();
    QDBusConnection bus = connection();
    // The files are read once no other program holds their locks; the answer waits for that.
    m_companion.fileReload().reload([self = QPointer<CompanionService>(this), call, bus](const FileStatus& reloaded) mutable {
        if (!reloaded) {
            bus.send(call.createErrorReply(QDBusError::Failed, QString::fromStdString(reloaded.message())));
            return;
        }
        if (self) {
            self->readAppProfileOptions();
            self->announceChanges();
        }
        bus.send(call.createReply());
    });
}

bool CompanionService::appProfilesEnabled() const {
    return m_appProfilesEnabled;
}

int CompanionService::appProfileDefault() const {
    return m_appProfileDefault;
}

void CompanionService::readAppProfileOptions() {
    // An unreadable file keeps what was last read: the switcher does not use it either.
    const AppProfileRulesRead read = ReadAppProfileRules(m_companion.context().paths.appProfilesPath());
    if (!read.status)
        return;
    m_appProfilesEnabled = read.rules.enabled;
    m_appProfileDefault = read.rules.noMatchProfile;
}

QVariantMap CompanionService::AppProfiles() {
    const AppProfileRulesRead read = ReadAppProfileRules(m_companion.context().paths.appProfilesPath());
    if (!read.status) {
        sendErrorReply(QDBusError::Failed, QString::fromStdString(read.status.message()));
        return {};
    }
    QVariantMap rules;
    for (const AppProfileRule& rule : read.rules.rules)
        rules.insert(QString::fromStdString(rule.program), rule.profile);
    return rules;
}

QDBusMessage CompanionService::replyTo(const QDBusMessage& call, const FileStatus& changed) {
    if (!changed)
        return call.createErrorReply(QDBusError::Failed, QString::fromStdString(changed.message()));
    readAppProfileOptions();
    announceChanges();
    return call.createReply();
}

void CompanionService::AddAppProfile(const QString& program, int n) {
    if (auto problem = ProgramNameProblem(program.toStdString())) {
        sendErrorReply(QDBusError::InvalidArgs, QString::fromStdString(*problem));
        return;
    }
    if (n < 1 || n > ProfileCount) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("the profile is one of 1 to %1").arg(ProfileCount));
        return;
    }
    const std::filesystem::path rules = m_companion.context().paths.appProfilesPath();
    answerWhenUnlocked({rules}, [this, rules, name = program.toStdString(), n](const QDBusMessage& call) {
        return replyTo(call, AddAppProfileRule(rules, name, n));
    });
}

void CompanionService::RemoveAppProfile(const QString& program) {
    const std::filesystem::path rules = m_companion.context().paths.appProfilesPath();
    answerWhenUnlocked({rules}, [this, rules, name = program.toStdString()](const QDBusMessage& call) {
        return replyTo(call, RemoveAppProfileRule(rules, name));
    });
}

void CompanionService::SetAppProfileDefault(int n) {
    if (n < 0 || n > ProfileCount) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("the profile is 0 (keep) or one of 1 to %1").arg(ProfileCount));
        return;
    }
    const std::filesystem::path rules = m_companion.context().paths.appProfilesPath();
    answerWhenUnlocked({rules}, [this, rules, n](const QDBusMessage& call) {
        return replyTo(call, SetAppProfileNoMatch(rules, n));
    });
}

void CompanionService::SetAppProfilesEnabled(bool on) {
    const std::filesystem::path rules = m_companion.context().paths.appProfilesPath();
    answerWhenUnlocked({rules}, [this, rules, on](const QDBusMessage& call) {
        return replyTo(call, krv::SetAppProfilesEnabled(rules, on));
    });
}

QVariantMap CompanionService::snapshot() const {
    return {{QStringLiteral("CurrentProfile"), currentProfile()},
            {QStringLiteral("Connected"), connected()},
            {QStringLiteral("DpiStage"), dpiStage()},
            {QStringLiteral("Language"), language()},
            {QStringLiteral("AppProfilesEnabled"), appProfilesEnabled()},
            {QStringLiteral("AppProfileDefault"), appProfileDefault()},
            {QStringLiteral("ConfigFolder"), configFolder()}};
}

void CompanionService::announceChanges() {
    if (!m_registered)
        return;
    const QVariantMap now = snapshot();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_announced.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    if (changed.isEmpty())
        return;
    m_announced = now;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(InterfaceName) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

} // namespace krv
