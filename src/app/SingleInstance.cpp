// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"

#include "app/RunningCompanionChannel.h"
#include "log/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace krv {

namespace {

constexpr QByteArrayView RestoreMessage = "restore\n";

// Empty when folder is this user's alone: a real folder (not a link), owned by the user, that no one
// else may enter; otherwise what is wrong with it.
QString privateFolderProblem(const QString& folder) {
    struct stat st {};
    if (::lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return QStringLiteral("is not a folder");
    if (st.st_uid != ::getuid())
        return QStringLiteral("belongs to another user");
    if ((st.st_mode & 077) != 0)
        return QStringLiteral("can be entered by other users");
    return {};
}

// $XDG_RUNTIME_DIR when it is this user's alone; else a folder in the user's home, never one under
// the shared temporary folder, where another user could create it first.
QString defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && privateFolderProblem(runtime).isEmpty())
        return runtime;
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("krv-glyde"));
}

// The running instance's answer to RestoreMessage.
constexpr QByteArrayView ShownMessage = "shown\n";

// The running instance's socket, and its lock, which names its process.
class LocalSocketChannel final : public RunningCompanionChannel {
public:
    LocalSocketChannel(QString socketPath, QString lockPath, const QLockFile& lock)
        : m_socketPath(std::move(socketPath)), m_lockPath(std::move(lockPath)), m_lock(lock) {}

protected:
    Answer askOnce() override {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (!socket.waitForConnected(500))
            return Answer::NotListening;
        // A stopped process's socket still takes the bytes: only its answer shows that it runs.
        socket.write(RestoreMessage.data(), RestoreMessage.size());
        const QDeadlineTimer deadline(2000);
        QByteArray reply;
        while (!deadline.hasExpired() && !reply.endsWith('\n')) {
            if (!socket.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime()))))
                break;
            reply += socket.readAll();
        }
        socket.disconnectFromServer();
        return reply == ShownMessage.toByteArray() ? Answer::Shown : Answer::Silent;
    }
    qint64 processId() override {
        qint64 pid = 0;
        QString host, application;
        m_lock.getLockInfo(&pid, &host, &application);
        return pid;
    }
    QString holding(Answer) override { return QStringLiteral("its lock is ") + m_lockPath; }

private:
    QString m_socketPath;
    QString m_lockPath;
    const QLockFile& m_lock;
};

} // namespace

SingleInstance::SingleInstance(QString folder, QObject* parent)
    : QObject(parent), m_folder(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

QString SingleInstance::socketPath() const {
    // A full path keeps the name per user even when the runtime folder falls back to /tmp.
    return QDir(m_folder).filePath(QStringLiteral("%1-%2.sock").arg(QLatin1String(Name)).arg(::getuid()));
}

QString SingleInstance::lockPath() const {
    return QDir(m_folder).filePath(QStringLiteral("%1-%2.lock").arg(QLatin1String(Name)).arg(::getuid()));
}

SingleInstance::Outcome SingleInstance::start() {
    // Created private (its parents as usual); one that exists is used only when it is private already.
    QDir().mkpath(QFileInfo(m_folder).path());
    ::mkdir(QFile::encodeName(m_folder).constData(), 0700);
    if (const QString problem = privateFolderProblem(m_folder); !problem.isEmpty()) {
        m_error = m_folder + QStringLiteral(": ") + problem;
        return Outcome::Failed;
    }
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock whose owner has died is stale at once, however young it is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        if (listen()) {
            LogDetail(LogCategory::Instance) << "the only companion; a second start reaches it at "
                                             << socketPath().toStdString();
            return Outcome::First;
        }
        m_error = socketPath() + QStringLiteral(": ") + m_server->errorString();
        return Outcome::Failed;
    }
    if (m_lock->error() != QLockFile::LockFailedError) {
        m_error = lockPath() + QStringLiteral(": cannot be created");
        return Outcome::Failed;
    }
    // The owner lives: ask it, through its socket, to show its window. Whatever it answers, a second
    // companion never starts.
    LocalSocketChannel channel(socketPath(), lockPath(), *m_lock);
    if (channel.askToShowWindow(m_error))
        return Outcome::AlreadyRunning;
    return Outcome::NoAnswer;
}

bool SingleInstance::listen() {
    QLocalServer::removeServer(socketPath()); // a socket file left by a crashed instance
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(socketPath()))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                while (socket->canReadLine()) {
                    if (socket->readLine() == RestoreMessage.toByteArray()) {
                        LogDetail(LogCategory::Instance) << "a second start asks for the window";
                        emit restoreRequested();
                        socket->write(ShownMessage.data(), ShownMessage.size());
                    }
                }
            });
        }
    });
    return true;
}

} // namespace krv
