#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// What the monitor says happened, one event at a time: the modem, calls, screening, the
// household's broker and the web page report here, and the window's event list, the windowless
// program's output, the web page and the broker each show what they subscribe to. Text from
// outside is cleaned as it comes in: an event is always one line.
class EventLog : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        General,
        Modem,
        Call,
        Screening,
        Household, // the MQTT broker
        Web
    };
    Q_ENUM(Kind)
    struct Event
    {
        QDateTime time;
        Kind kind = Kind::General;
        QString text;
    };

    // The newest events kept, in memory and in CallEvnt.txt; older ones go.
    static constexpr int Kept = 10000;

    using QObject::QObject;

    void append(const QString& text, Kind kind = Kind::General);
    void append(const QStringList& lines);
    // The events' texts since the start or the last clear (the newest Kept), oldest first.
    QStringList lines() const;
    // The newest `count` texts, oldest first.
    QStringList last(int count) const;
    // The user cleared the event list: the log starts again.
    void clear();

signals:
    void added(const EventLog::Event& event);
    void cleared();

private:
    QList<Event> m_events;
};
