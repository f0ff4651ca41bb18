#include "app/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace krv {

namespace {

constexpr QByteArrayView RestoreMessage = "restore\n";

QString defaultFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir;
}

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
    QDir().mkpath(m_folder);
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock whose owner has died is stale at once, however young it is.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return listen() ? Outcome::First : Outcome::Failed;
    if (m_lock->error() != QLockFile::LockFailedError)
        return Outcome::Failed;
    // The owner lives: it may still be starting, so give its socket a moment to appear.
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        if (askRunningInstance(socketPath()))
            return Outcome::AlreadyRunning;
        QThread::msleep(50);
    }
    // The lock is held but nobody answers: still never start a second companion.
    return Outcome::AlreadyRunning;
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
                    if (socket->readLine() == RestoreMessage.toByteArray())
                        emit restoreRequested();
                }
            });
        }
    });
    return true;
}

bool SingleInstance::askRunningInstance(const QString& socketPath) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(500))
        return false;
    socket.write(RestoreMessage.data(), RestoreMessage.size());
    const bool sent = socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    return sent;
}

} // namespace krv
