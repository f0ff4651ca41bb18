// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <memory>

#ifdef _WIN32
class QAbstractNativeEventFilter;
#else
#include <QLockFile>
class QLocalServer;
#endif

namespace krv {

#ifdef _WIN32
class InstanceMutex;
#endif

// One companion per user. The first start holds a lock file and listens on a local socket, both named
// after "CKRV_GlydeApp" in a folder only this user can reach ($XDG_RUNTIME_DIR when it is private,
// else "krv-glyde" in $XDG_STATE_HOME or ~/.local/state, created 0700; owner and mode are checked), so
// no other user can plant a lock that stops the companion. A later start finds the lock held, asks the
// running instance to restore its window, waits for its answer and reports that it must end; a
// running instance that does not answer (stopped, hung) gives NoAnswer. A crashed instance leaves a lock whose process is
// gone and a socket file nobody listens on: both are taken over. Whatever fails, a second companion
// never runs.
// On Windows the instance is the named mutex "CKRV_GlydeApp" of the session; a later start finds the
// running companion's window by its title and sends it a message of the program's own (registered by
// name), which the running instance answers after restoring its window. The asking itself, its bound
// and what it says when nobody answers are RunningCompanionChannel's, the same on both.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Name = "CKRV_GlydeApp";

    // folder: where the lock and the socket live (default: the user's runtime folder).
    explicit SingleInstance(QString folder = {}, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Outcome {
        First,          // this process is the one instance; restoreRequested() will be emitted
        AlreadyRunning, // another instance runs and was asked to restore its window
        NoAnswer,       // another instance holds the lock but does not answer (see errorString())
        Failed,         // neither could be established: the folder is not private or not writable
    };
    Outcome start();
    // Why start() gave NoAnswer or Failed, one line naming the folder or the lock.
    QString errorString() const { return m_error; }

#ifdef _WIN32
    // The message a later start sends to the running companion's window, and its answer.
    static unsigned RestoreMessage();
    static constexpr long long ShownAnswer = 0x4b5256; // "KRV"
#else
    QString socketPath() const;
    QString lockPath() const;
#endif

signals:
    // A later start asked this instance to show its window.
    void restoreRequested();

private:
#ifdef _WIN32
    QString m_error;
    std::unique_ptr<InstanceMutex> m_mutex;
    std::unique_ptr<QAbstractNativeEventFilter> m_filter;
#else
    bool listen();

    QString m_folder;
    QString m_error;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
#endif
};

} // namespace krv
