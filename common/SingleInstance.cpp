#include "common/SingleInstance.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QThread>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The socket's address, or false when the path does not fit one.
bool addressOf(const QString& path, sockaddr_un* address)
{
    const QByteArray bytes = QFile::encodeName(path);
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (bytes.size() >= qsizetype(sizeof address->sun_path))
        return false;
    std::memcpy(address->sun_path, bytes.constData(), size_t(bytes.size()));
    return true;
}

} // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent) : QObject(parent)
{
    const QString folder = runtimeFolder();
    m_lockPath = folder + u'/' + name + QStringLiteral(".lock");
    m_socketPath = folder + u'/' + name + QStringLiteral(".socket");
}

SingleInstance::~SingleInstance()
{
    if (m_listener >= 0) {
        ::close(m_listener);
        ::unlink(QFile::encodeName(m_socketPath).constData());
    }
}

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
        listen();
        return true;
    }
    if (m_lock->error() != QLockFile::LockFailedError)
        return true; // the lock cannot be made here at all; better a monitor than none

    // The running copy may still be starting up: give it a moment to listen.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 3000 && !knock())
        QThread::msleep(100);
    return false;
}

void SingleInstance::listen()
{
    sockaddr_un address;
    if (!addressOf(m_socketPath, &address))
        return; // too long a folder name: this copy runs, later ones cannot reach it
    // We hold the lock, so a socket file here is a dead copy's.
    ::unlink(address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // Only this user may knock, whatever the folder allows.
    const mode_t mask = ::umask(077);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::umask(mask);
    if (!bound || ::listen(fd, 8) != 0) {
        ::close(fd);
        return;
    }
    m_listener = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::acceptAll);
}

void SingleInstance::acceptAll()
{
    for (;;) {
        const int knocker = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (knocker < 0)
            return;
        // What this copy is, then closing: that tells the later copy it was heard.
        const QByteArray said = m_kind + '\n';
        // A knocker gone already must not end us with SIGPIPE.
        [[maybe_unused]] const ssize_t sent =
            ::send(knocker, said.constData(), size_t(said.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(knocker);
        emit activationRequested();
    }
}

bool SingleInstance::knock()
{
    sockaddr_un address;
    if (!addressOf(m_socketPath, &address))
        return true; // nobody can listen there: nothing to wait for
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;
    const bool heard = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (heard) {
        // Wait until the running copy has taken the knock, so it shows itself before we end.
        pollfd closed{fd, POLLIN, 0};
        if (::poll(&closed, 1, 1000) > 0) {
            char said[32] = {};
            const ssize_t got = ::recv(fd, said, sizeof said - 1, MSG_DONTWAIT);
            if (got > 0)
                m_runningKind = QByteArray(said, int(got)).trimmed();
        }
    }
    ::close(fd);
    return heard;
}
