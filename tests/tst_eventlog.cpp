// The monitor's event log: one line an event, whatever the text held, told to subscribers with
// its kind and time, and started again when the user clears the list.
#include "calls/EventLog.h"

#include <QSignalSpy>
#include <QtTest>

class TestEventLog : public QObject
{
    Q_OBJECT
private slots:
    void eventsAreLinesForEverySubscriber();
};

void TestEventLog::eventsAreLinesForEverySubscriber()
{
    EventLog log;
    QSignalSpy added(&log, &EventLog::added);
    QSignalSpy cleared(&log, &EventLog::cleared);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    log.append("[Modem says\r\nOK\x1b[2J]", EventLog::Kind::Modem);
    log.append("[Blocked +1 (613) 555-0199: 1613555*]", EventLog::Kind::Screening);
    log.append("[Web page at http://127.0.0.1:8080/]", EventLog::Kind::Web);
    QCOMPARE(added.size(), 3);
    const auto first = added.at(0).at(0).value<EventLog::Event>();
    QCOMPARE(first.text, "[Modem says OK[2J]");
    QCOMPARE(first.kind, EventLog::Kind::Modem);
    QVERIFY(first.time >= before && first.time <= QDateTime::currentDateTimeUtc());
    QCOMPARE(log.last(2), QStringList({"[Blocked +1 (613) 555-0199: 1613555*]",
                                       "[Web page at http://127.0.0.1:8080/]"}));
    QCOMPARE(log.last(10).size(), 3);
    log.clear();
    QCOMPARE(cleared.size(), 1);
    QVERIFY(log.lines().isEmpty());

    // A day of a flapping router is tens of thousands of lines: the newest are kept.
    for (int i = 0; i < EventLog::Kept + 5; ++i)
        log.append(QString("[line %1]").arg(i));
    QCOMPARE(log.lines().size(), EventLog::Kept);
    QCOMPARE(log.lines().first(), "[line 5]");
    QCOMPARE(log.last(1), QStringList{QString("[line %1]").arg(EventLog::Kept + 4)});
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
