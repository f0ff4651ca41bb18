// SPDX-License-Identifier: MIT
#pragma once

#include "settings/FileStatus.h"
#include "ports/CompanionLink.h"

#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <filesystem>
#include <functional>
#include <vector>

namespace krv {

class Companion;

// The companion on the user's session bus: the desktop, a script or the command-line tool read the
// current profile, the connection, the DPI stage and the language, switch the profile, show the
// window and have the files read again. The session bus only: no other user reaches it.
//   bus name     io.github.krv_glyde.KrvGlyde (the demo: io.github.krv_glyde.KrvGlyde.Demo)
//   object path  /io/github/krv_glyde/KrvGlyde
//   interface    io.github.krv_glyde.KrvGlyde1
// Changes of the properties are announced with org.freedesktop.DBus.Properties.PropertiesChanged when
// the companion says its state changed (Companion::stateChanged), each real change once.
// The command-line tool finds the companion of its own files by ConfigFolder.
// A method that reads or saves a file under its lock never waits for another program's lock on the
// window's thread: its answer is sent once the locks were free and the work is done (or the lock was
// held past its patience: Failed, naming the file, with nothing changed), and the window and the bus
// go on meanwhile. Such calls run in the order they came, after the window's own saves asked before.
class CompanionService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.github.krv_glyde.KrvGlyde1")
    Q_PROPERTY(int CurrentProfile READ currentProfile)
    Q_PROPERTY(bool Connected READ connected)
    Q_PROPERTY(int DpiStage READ dpiStage)
    Q_PROPERTY(QString Language READ language)
    Q_PROPERTY(bool AppProfilesEnabled READ appProfilesEnabled)
    Q_PROPERTY(int AppProfileDefault READ appProfileDefault)
    Q_PROPERTY(QString ConfigFolder READ configFolder)
public:
    static constexpr const char* ServiceName = CompanionBus::ServiceName;
    static constexpr const char* DemoServiceName = CompanionBus::DemoServiceName;
    static constexpr const char* ObjectPath = CompanionBus::ObjectPath;
    static constexpr const char* InterfaceName = CompanionBus::InterfaceName;

    explicit CompanionService(Companion& companion, QObject* parent = nullptr);
    // Gives the name and the object back: no other program keeps calling a companion that is gone.
    ~CompanionService() override;

    // Registers the object and takes the name on the session bus; false (and a line on standard
    // error) when there is no session bus or the name is taken: the companion runs on without it.
    bool registerOn(const QString& serviceName);

    int currentProfile() const;
    bool connected() const;
    int dpiStage() const; // 1..4
    QString language() const; // "zh" or "en"
    // The profiles for programs (appprofiles.ini): switched on; the profile of a program without a
    // rule (0: it keeps the profile). As last read: at the start, after a change through the bus and
    // at Reload (the tool's changes made without the companion show at the next Reload).
    bool appProfilesEnabled() const;
    int appProfileDefault() const;
    QString configFolder() const; // the folder of config.ini, absolute

public slots:
    // Loads profile n (1..5) from the files into the window and applies it: the mouse gets it and the
    // companion serves its host functions when the answer comes. An n outside 1..5 is an InvalidArgs
    // error; a profile without a left click, or one sent but not saved, Failed.
    void ApplyProfile(int n);
    void ShowWindow();
    // Reads the current profile, the language and the macros from the files again and applies the
    // profile; a file that cannot be read is Failed, naming it.
    void Reload();
    // The profiles for programs, as krv-glyde-ctl app-profile changes them: program -> profile; a
    // refused name or number is an InvalidArgs error, a file that cannot be read or written Failed.
    QVariantMap AppProfiles();
    void AddAppProfile(const QString& program, int n);
    void RemoveAppProfile(const QString& program);
    void SetAppProfileDefault(int n);
    void SetAppProfilesEnabled(bool on);

private:
    QVariantMap snapshot() const;
    void announceChanges();
    void readAppProfileOptions();
    // The answer to a change of the rules file: its failure, if it failed.
    QDBusMessage replyTo(const QDBusMessage& call, const FileStatus& changed);
    // Answers the call being handled later: work runs once no other program holds the files' locks
    // and gives the reply (see SaveWhenUnlocked); a lock held too long answers Failed.
    void answerWhenUnlocked(std::vector<std::filesystem::path> files, std::function<QDBusMessage(const QDBusMessage& call)> work);
    bool running() const;
    QDBusMessage applyNow(const QDBusMessage& call, int n);

    Companion& m_companion;
    bool m_registered = false;
    QString m_serviceName;
    QString m_configFolder; // the context's folder does not change
    QVariantMap m_announced;
    bool m_appProfilesEnabled = true;
    int m_appProfileDefault = 0;
};

} // namespace krv
