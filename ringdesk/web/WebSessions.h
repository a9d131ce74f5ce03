#pragma once

#include "common/Clock.h"
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <functional>

// The sessions a log-in gives: a random token each, which ends once unused for its hours.
class WebSessions : public QObject
{
    Q_OBJECT
public:
    explicit WebSessions(QObject* parent = nullptr) : QObject(parent) {}

    void setHours(int hours) { m_hours = hours; }

    QByteArray open();
    // True, and its time renewed, while `token` is a live session; one that has run out ends.
    bool use(const QByteArray& token);
    void close(const QByteArray& token);
    // Every session that has run out ends.
    void expire();

signals:
    void ended(const QByteArray& token);

private:
    QDateTime endsAt() const { return Clock::now().addSecs(qint64(m_hours) * 3600); }

    QHash<QByteArray, QDateTime> m_sessions; // token and when it ends unless used
    int m_hours = 12;
};
