#include "SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent)
{
    const QString folder = runtimeFolder();
    m_lockPath = folder + u'/' + name + QStringLiteral(".lock");
    m_socketPath = folder + u'/' + name + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::runtimeFolder()
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!folder.isEmpty() && QDir::isAbsolutePath(folder) && QDir(folder).exists())
        return folder;
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

bool SingleInstance::claim()
{
    m_lock = std::make_unique<QLockFile>(m_lockPath);
    // Stale only when its holder is gone, however long a monitor has been running.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        QLocalServer::removeServer(m_socketPath);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = m_server->nextPendingConnection()) {
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                socket->disconnectFromServer();
                emit activationRequested();
            }
        });
        m_server->listen(m_socketPath);
        return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return true; // the lock cannot be made here at all; better a monitor than none

    // The running copy may still be starting up: give it a moment to listen.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 3000) {
        QLocalSocket socket;
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(250)) {
            socket.waitForDisconnected(1000);
            break;
        }
        QThread::msleep(100);
    }
    return false;
}
