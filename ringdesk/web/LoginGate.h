#pragma once

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QQueue>
#include <QThreadPool>
#include <functional>

// Who may try a password, and when the slow check runs. Each address has a few tries a quarter
// of an hour, counted as the request arrives (pipelined and parallel ones too), and a right
// password starts its count again. An IPv6 host has a /64 of addresses: its /64 counts as one.
// All addresses together have a few tries a minute, so many addresses do not make many tries. The
// checks run one at a time, off the event loop, taking the addresses in turn, so a flood from one
// address keeps nobody else waiting for long, and a flood from many slows log-ins, never calls. A
// check whose client went away is dropped unrun.
class LoginGate : public QObject
{
    Q_OBJECT
public:
    static constexpr int triesPerAddress = 5;
    static constexpr int windowMinutes = 15;
    static constexpr int triesPerMinute = 30; // of all addresses together

    explicit LoginGate(QObject* parent = nullptr);
    ~LoginGate() override;

    // The check itself; tests may put a slower or a faster one here.
    std::function<bool(const QString& password, const QString& hash)> check;

    // False when the address has used its tries: answer 429 at once. Otherwise the check is
    // queued and `done` is called on the event loop with its result, unless `stillWanted` says
    // by then that nobody waits for it.
    bool submit(const QHostAddress& from, const QString& password, const QString& hash,
                std::function<bool()> stillWanted, std::function<void(bool right)> done);
    // Seconds until the address may try again.
    int retryAfter(const QHostAddress& from) const;
    // Checks waiting, over all addresses.
    int waiting() const;
    // Drops every waiting check; the one running finishes.
    void stop();

private:
    struct Check
    {
        QString password;
        QString hash;
        std::function<bool()> stillWanted;
        std::function<void(bool)> done;
    };
    void prune(const QString& from);
    // Whose tries an address's are: itself, or for IPv6 its /64.
    static QString counted(const QHostAddress& from);
    void runNext();

    QHash<QString, QList<QDateTime>> m_tries; // by address, the times of its tries
    QList<QDateTime> m_lastMinute;            // every address's tries of the last minute
    QHash<QString, QQueue<Check>> m_waiting;  // by address
    QList<QString> m_turns;                   // addresses with checks waiting, in turn
    bool m_running = false;
    bool m_stopped = false;
    QThreadPool m_pool;
};
