#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (logout, shutdown, kill, Ctrl+C) into a signal delivered by
// the event loop, also while a modal dialog runs its own, so that a program can save what it
// must and end normally.
class SessionEnd : public QObject
{
    Q_OBJECT
public:
    explicit SessionEnd(QObject* parent = nullptr);
    ~SessionEnd() override;

signals:
    void ending();

private:
    static void onSignal(int);
    static inline int s_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
