#include "common/SessionEnd.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

SessionEnd::SessionEnd(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, s_fds) != 0)
        return;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(s_fds[1], &byte, 1) == 1)
            emit ending();
    });
    struct sigaction action = {};
    action.sa_handler = &SessionEnd::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A file-size limit reached makes a write fail with EFBIG, which is reported like a full
    // disk, instead of killing the program with the call and the event log unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
}

SessionEnd::~SessionEnd()
{
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    for (int& fd : s_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SessionEnd::onSignal(int)
{
    // Only async-signal-safe work here: one byte to wake the event loop.
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_fds[0], &byte, 1);
}
