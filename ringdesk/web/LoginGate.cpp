#include "web/LoginGate.h"
#include "common/Clock.h"

#include "common/PasswordHash.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

LoginGate::LoginGate(QObject* parent) : QObject(parent)
{
    check = [](const QString& password, const QString& hash) {
        return PasswordHash::matches(password, hash);
    };
    // One check at a time: each takes a core and 64 MiB for its while.
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(0);
}

LoginGate::~LoginGate()
{
    stop();
    m_pool.waitForDone();
}

QString LoginGate::counted(const QHostAddress& from)
{
    bool v4 = false;
    const quint32 mapped = from.toIPv4Address(&v4);
    if (v4 || from.protocol() != QAbstractSocket::IPv6Protocol)
        return QHostAddress(mapped).toString();
    Q_IPV6ADDR bytes = from.toIPv6Address();
    for (int i = 8; i < 16; ++i)
        bytes[i] = 0;
    return QHostAddress(bytes).toString() + QStringLiteral("/64");
}

void LoginGate::prune(const QString& from)
{
    const QDateTime minuteAgo = Clock::now().addSecs(-60);
    m_lastMinute.removeIf([&](const QDateTime& when) { return when <= minuteAgo; });
    QList<QDateTime>& tries = m_tries[from];
    const QDateTime since = Clock::now().addSecs(-windowMinutes * 60);
    tries.removeIf([&](const QDateTime& when) { return when <= since; });
    if (tries.isEmpty())
        m_tries.remove(from);
}

int LoginGate::retryAfter(const QHostAddress& from) const
{
    const QDateTime now = Clock::now();
    qint64 wait = 0;
    const QList<QDateTime> tries = m_tries.value(counted(from));
    if (tries.size() >= triesPerAddress)
        wait = now.secsTo(tries.first().addSecs(windowMinutes * 60));
    if (m_lastMinute.size() >= triesPerMinute)
        wait = std::max(wait, now.secsTo(m_lastMinute.first().addSecs(60)));
    return tries.isEmpty() && wait == 0 ? 0 : int(std::max<qint64>(1, wait));
}

int LoginGate::waiting() const
{
    int count = 0;
    for (const QQueue<Check>& queue : m_waiting)
        count += int(queue.size());
    return count;
}

bool LoginGate::submit(const QHostAddress& from, const QString& password, const QString& hash,
                       std::function<bool()> stillWanted, std::function<void(bool)> done)
{
    const QString address = counted(from);
    prune(address);
    if (m_stopped || m_tries.value(address).size() >= triesPerAddress ||
        m_lastMinute.size() >= triesPerMinute)
        return false;
    m_tries[address].append(Clock::now());
    m_lastMinute.append(Clock::now());
    QQueue<Check>& queue = m_waiting[address];
    if (queue.isEmpty())
        m_turns.append(address);
    queue.enqueue({password, hash, std::move(stillWanted), std::move(done)});
    runNext();
    return true;
}

void LoginGate::stop()
{
    m_stopped = true;
    m_waiting.clear();
    m_turns.clear();
}

void LoginGate::runNext()
{
    while (!m_running && !m_turns.isEmpty()) {
        const QString address = m_turns.takeFirst();
        QQueue<Check>& queue = m_waiting[address];
        Check next = queue.dequeue();
        if (queue.isEmpty())
            m_waiting.remove(address);
        else
            m_turns.append(address); // its next check after the others' turns
        if (!next.stillWanted())
            continue;
        m_running = true;
        auto* watcher = new QFutureWatcher<bool>(this);
        connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher, address, next] {
            watcher->deleteLater();
            m_running = false;
            const bool right = watcher->result();
            if (right)
                m_tries.remove(address); // a typo later must not lock the household out
            if (next.stillWanted())
                next.done(right);
            runNext();
        });
        const auto check = this->check;
        watcher->setFuture(
            QtConcurrent::run(&m_pool, [check, password = next.password, hash = next.hash] {
                return check(password, hash);
            }));
    }
}
