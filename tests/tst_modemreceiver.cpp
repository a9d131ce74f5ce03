#include "SteppedTicks.h"
#include "modem/ModemReceiver.h"

#include <QDir>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <pty.h>
#include <unistd.h>

namespace {

// The kind of record as a number: 0 none, 1 begun by a DATE line, 2 its number withheld.
int kindOf(const CallerId& record)
{
    return record.withheld ? 2 : record.begun ? 1 : 0;
}

const QByteArray callBlock = "RING\r\nDATE = 0321\r\nTIME = 1405\r\nNMBR = 6135551234\r\n"
                             "NAME = DOE JOHN\r\n\r\n";

} // namespace

class TestModemReceiver : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void ProcessEvent_data();
    void ProcessEvent();
    void replyFlags();
    void fullCallIsHandedOverOnce();
    void everyRingIsReported();
    void mesgDecoding();
    void emptyLinesOnlyCompleteAnArrivingRecord();
    void completeWithoutEmptyLine_data();
    void completeWithoutEmptyLine();
    void recordWithoutEmptyLineCompletesOnTenthTick();
    void ticksRunOnlyWhileARecordMayComplete();
    void waitingRecordIsNotLostToTheNextDate();
    void corpusGivesTheSameRecordsAtOnceAsOnTicks();
    void shapesOfRealModems_data();
    void shapesOfRealModems();
    void overlongLineIsReported();
    void invalidPollIntervalFallsBack();
    void readsFromRealPty();

private:
    void feed(const QByteArray& bytes) { m_receiver->receive(bytes); }
    const CallerId& record() const { return m_receiver->record(); }

    std::unique_ptr<ModemReceiver> m_receiver;
    SteppedTicks* m_ticks = nullptr;
    QStringList m_events; // the lines reported for the event list
    int m_ok = 0;
    int m_errors = 0;
};

void TestModemReceiver::init()
{
    m_receiver = std::make_unique<ModemReceiver>();
    auto ticks = std::make_unique<SteppedTicks>();
    m_ticks = ticks.get();
    m_receiver->setTicks(std::move(ticks));
    m_receiver->setNumberPlan(NumberPlan("US", "613"));
    m_events.clear();
    m_ok = m_errors = 0;
    connect(m_receiver.get(), &ModemReceiver::eventLine, this,
            [this](const QString& line) { m_events << line; });
    connect(m_receiver.get(), &ModemReceiver::okReceived, this, [this] { ++m_ok; });
    connect(m_receiver.get(), &ModemReceiver::errorReceived, this, [this] { ++m_errors; });
}

void TestModemReceiver::cleanup()
{
    m_receiver.reset();
}

void TestModemReceiver::ProcessEvent_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("recordState");
    QTest::newRow("date") << "DATE = 0321"
                          << "03/21"
                          << ""
                          << ""
                          << "" << 1;
    QTest::newRow("date without blanks") << "DATE=0321"
                                         << "03/21"
                                         << ""
                                         << ""
                                         << "" << 1;
    QTest::newRow("date short") << "DATE = 032"
                                << "03/2"
                                << ""
                                << ""
                                << "" << 1;
    // A date or time the modem leaves empty is the computer's ("now").
    QTest::newRow("date without =") << "DATE 0321"
                                    << "now"
                                    << ""
                                    << ""
                                    << "" << 1;
    QTest::newRow("time") << "TIME = 1405"
                          << ""
                          << "14:05"
                          << ""
                          << "" << 1;
    QTest::newRow("time empty") << "TIME ="
                                << ""
                                << "now"
                                << ""
                                << "" << 1;
    QTest::newRow("number") << "NMBR = 6135551234"
                            << ""
                            << ""
                            << "+1 (613) 555-1234"
                            << "" << 1;
    QTest::newRow("DDN_NMBR") << "DDN_NMBR = 6135551234"
                              << ""
                              << ""
                              << "+1 (613) 555-1234"
                              << "" << 1;
    QTest::newRow("number 7 digits") << "NMBR = 5551234"
                                     << ""
                                     << ""
                                     << "(613) 555-1234"
                                     << "" << 1;
    QTest::newRow("private") << "NMBR = P"
                             << ""
                             << ""
                             << "Private"
                             << "" << 2;
    QTest::newRow("out of area") << "NMBR = O"
                                 << ""
                                 << ""
                                 << "Out of Area"
                                 << "" << 2;
    QTest::newRow("PRIVATE is withheld") << "NMBR = PRIVATE"
                                         << ""
                                         << ""
                                         << "Private"
                                         << "" << 2;
    QTest::newRow("name") << "NAME = DOE JOHN"
                          << ""
                          << ""
                          << ""
                          << "DOE JOHN" << 1;
    QTest::newRow("name O") << "NAME = O"
                            << ""
                            << ""
                            << ""
                            << "" << 1;
    QTest::newRow("name P") << "NAME = P"
                            << ""
                            << ""
                            << ""
                            << "" << 1;
    QTest::newRow("name OTTO") << "NAME = OTTO"
                               << ""
                               << ""
                               << ""
                               << "OTTO" << 1;
    QTest::newRow("name control characters") << QString::fromLatin1("NAME = DOE\0JO\x1b"
                                                                    "HN\x0b\x1c\tX",
                                                                    20)
                                             << ""
                                             << ""
                                             << ""
                                             << "DOEJOHN\tX" << 1;
    QTest::newRow("name keeps trailing blanks") << "NAME =  X  "
                                                << ""
                                                << ""
                                                << ""
                                                << "X  " << 1;
    QTest::newRow("text between keyword and =") << "NAME: x = Y"
                                                << ""
                                                << ""
                                                << ""
                                                << "Y" << 1;
    QTest::newRow("lower case keyword ignored") << "name = X"
                                                << ""
                                                << ""
                                                << ""
                                                << "" << 0;
    QTest::newRow("unknown line") << "CONNECT 9600"
                                  << ""
                                  << ""
                                  << ""
                                  << "" << 0;
}

void TestModemReceiver::ProcessEvent()
{
    QFETCH(QString, line);
    QFETCH(QString, date);
    QFETCH(QString, time);
    const QDateTime before = QDateTime::currentDateTime();
    m_receiver->processEvent(line);
    const QDateTime after = QDateTime::currentDateTime();
    auto clock = [&](const QString& expected, const QString& format) {
        return expected != "now" || before.toString(format) == after.toString(format)
                   ? QStringList{expected == "now" ? after.toString(format) : expected}
                   : QStringList{before.toString(format), after.toString(format)};
    };
    QVERIFY2(clock(date, "MM/dd").contains(record().date), qPrintable(record().date));
    QVERIFY2(clock(time, "HH:mm").contains(record().time), qPrintable(record().time));
    QTEST(record().number, "number");
    QTEST(record().name, "name");
    QTEST(kindOf(record()), "recordState");
}

void TestModemReceiver::replyFlags()
{
    feed("OK \r\nok\r\nOKAY\r\n");
    QCOMPARE(m_ok, 0);
    feed("OK\r\n");
    QCOMPARE(m_ok, 1);
    QCOMPARE(m_errors, 0);
    feed("ERROR\r\n");
    QCOMPARE(m_errors, 1);
    QCOMPARE(m_events, QStringList({"OK ", "ok", "OKAY", "OK", "ERROR"}));
    // A voice modem's event outside a stream (the U.S. Robotics' <DLE>H after AT+VLS=1), even
    // split across two reads, is no part of the next line.
    m_events.clear();
    feed("\r\nOK\r\n\x10");
    feed("HAT+VTX\r\r\nCONNECT\r\n");
    QCOMPARE(m_events, QStringList({"OK", "AT+VTX", "CONNECT"}));
}

void TestModemReceiver::fullCallIsHandedOverOnce()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    // Handed over the moment it is complete, with no tick in between.
    feed(callBlock);
    QCOMPARE(complete.count(), 1);
    QCOMPARE(m_ticks->ticks, 0);
    const CallerId handed = complete.first().first().value<CallerId>();
    QCOMPARE(handed.date, "03/21");
    QCOMPARE(handed.time, "14:05");
    QCOMPARE(handed.name, "DOE JOHN");
    QCOMPARE(m_events, QStringList({"RING", "DATE = 0321", "TIME = 1405", "NMBR = 6135551234",
                                    "NAME = DOE JOHN"}));
    QCOMPARE(kindOf(handed), 1);
    QCOMPARE(handed.number, "+1 (613) 555-1234");
    QCOMPARE(m_receiver->poll(), ModemReceiver::Poll::Idle);
    QVERIFY(!m_receiver->polling());
    QCOMPARE(m_ticks->step(20), 0);
    QCOMPARE(complete.count(), 1);
}

void TestModemReceiver::everyRingIsReported()
{
    QSignalSpy rings(m_receiver.get(), &ModemReceiver::ring);
    feed("RING\r\n");
    QCOMPARE(rings.count(), 1);
    feed("RING\r\nRINGING\r\n");
    QCOMPARE(rings.count(), 3);
}

void TestModemReceiver::mesgDecoding()
{
    feed("DATE = 0321\r\nMESG = 020A36313335353531323334\r\n");
    QCOMPARE(record().number, "+1 (613) 555-1234");
    QCOMPARE(kindOf(record()), 1);

    // Once a number is shown, MESG lines are ignored.
    feed("MESG = 02073535353132333\r\n");
    QCOMPARE(record().number, "+1 (613) 555-1234");

    feed("DATE = 0321\r\nMESG = 0201\r\n");
    QCOMPARE(record().number, "");
    feed("MESG = 020735353531323334\r\n");
    QCOMPARE(record().number, "(613) 555-1234");
    // A count that is not hexadecimal gives no digits; the count may outrun the data.
    feed("DATE = 0321\r\nMESG = 02ZZ3535\r\n");
    QCOMPARE(record().number, "");
    feed("MESG = 02FF35\r\n");
    QCOMPARE(record().number, "5");
}

void TestModemReceiver::emptyLinesOnlyCompleteAnArrivingRecord()
{
    feed("\r\n\r\n");
    QCOMPARE(m_receiver->poll(), ModemReceiver::Poll::Idle);
    feed("DATE = 0321\r\n");
    QCOMPARE(m_receiver->poll(), ModemReceiver::Poll::Arriving);
    m_receiver->setHandOverAtOnce(false);
    feed("\r\n\r\n");
    QCOMPARE(m_receiver->poll(), ModemReceiver::Poll::Complete);
    QVERIFY(m_events.size() == 1);
}

void TestModemReceiver::completeWithoutEmptyLine_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("complete");
    QTest::newRow("time, number, name")
        << QByteArray("DATE=0321\r\nTIME=1405\r\nNMBR=6135551234\r\n"
                      "NAME=DOE JOHN\r\n")
        << true;
    QTest::newRow("name before number")
        << QByteArray("DATE=0321\r\nNAME=DOE JOHN\r\nNMBR=P\r\nTIME=1405\r\n") << true;
    QTest::newRow("MESG number") << QByteArray("DATE=0321\r\nTIME=1405\r\nNAME=X\r\n"
                                               "MESG = 020A36313335353531323334\r\n")
                                 << true;
    QTest::newRow("MESG without a number")
        << QByteArray("DATE=0321\r\nTIME=1405\r\nNAME=X\r\nMESG = 0201\r\n") << false;
    QTest::newRow("no name") << QByteArray("DATE=0321\r\nTIME=1405\r\nNMBR=1\r\n") << false;
    QTest::newRow("no time") << QByteArray("DATE=0321\r\nNMBR=1\r\nNAME=X\r\n") << false;
    QTest::newRow("time before the date")
        << QByteArray("TIME=1405\r\nDATE=0321\r\nNMBR=1\r\nNAME=X\r\n") << false;
    QTest::newRow("no date") << QByteArray("TIME=1405\r\nNMBR=1\r\nNAME=X\r\n") << true;
}

void TestModemReceiver::completeWithoutEmptyLine()
{
    QFETCH(QByteArray, block);
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    feed(block);
    QTEST(complete.count() == 1, "complete");
}

void TestModemReceiver::recordWithoutEmptyLineCompletesOnTenthTick()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    m_receiver->setPollInterval("250");
    feed("DATE = 0321\r\nTIME = 1405\r\nNMBR = 5551234\r\n");
    QVERIFY(m_receiver->polling());
    QCOMPARE(m_ticks->interval, 250);
    QCOMPARE(m_ticks->step(9), 9);
    QCOMPARE(complete.count(), 0);
    QCOMPARE(m_ticks->step(5), 1);
    QCOMPARE(complete.count(), 1);
    QVERIFY(!m_receiver->polling());

    // The next record's DATE line starts the count again: it too completes on its 10th tick.
    feed("DATE = 0322\r\nTIME = 0900\r\nNMBR = 5550000\r\n");
    m_ticks->step(9);
    QCOMPARE(complete.count(), 1);
    m_ticks->step();
    QCOMPARE(complete.count(), 2);
}

void TestModemReceiver::ticksRunOnlyWhileARecordMayComplete()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    // Whichever field begins a record starts the ticks; one without a TIME line, or without an
    // empty line, still completes on its 10th tick.
    for (const QByteArray& block :
         {QByteArray("DATE = 0321\r\nNMBR = 5551234\r\n"), QByteArray("NMBR = 5551234\r\n"),
          QByteArray("NAME = DOE JOHN\r\nNMBR = 5551234\r\n")}) {
        const qsizetype before = complete.count();
        feed(block);
        QVERIFY(m_receiver->polling());
        QCOMPARE(m_ticks->step(100), 10);
        QCOMPARE(complete.count(), before + 1);
        QVERIFY(!m_receiver->polling());
    }
    // Between calls nothing ticks: replies and rings begin no record.
    feed("OK\r\nRING\r\n\r\n");
    QVERIFY(!m_receiver->polling());
    QCOMPARE(complete.count(), 3);
}

void TestModemReceiver::waitingRecordIsNotLostToTheNextDate()
{
    // On the tick timing a complete record waits for the next tick; two calls that come closer
    // together than that must not cost the first one.
    m_receiver->setHandOverAtOnce(false);
    QStringList names;
    connect(m_receiver.get(), &ModemReceiver::recordComplete, this,
            [&](const CallerId& record) { names << record.name; });
    QFile file(QFINDTESTDATA("fuzz/corpus/two_calls_back_to_back"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    feed(file.readAll());
    QCOMPARE(names, QStringList({"DOE JOHN"}));
    m_ticks->step();
    QCOMPARE(names, QStringList({"DOE JOHN", "TREMBLAY MARIE"}));

    // At once, a hundred calls in one chunk are a hundred records.
    m_receiver->setHandOverAtOnce(true);
    names.clear();
    QByteArray burst;
    for (int i = 0; i < 100; ++i)
        burst += "DATE = 0321\r\nTIME = 1405\r\nNMBR = 6135551234\r\nNAME = CALL " +
                 QByteArray::number(i) + "\r\n\r\n";
    feed(burst);
    QCOMPARE(names.size(), 100);
    QCOMPARE(names.last(), "CALL 99");
}

void TestModemReceiver::corpusGivesTheSameRecordsAtOnceAsOnTicks()
{
    const QDir corpus(QFINDTESTDATA("fuzz/corpus"));
    const QStringList files = corpus.entryList(QDir::Files);
    QVERIFY(files.size() >= 12);
    qsizetype recordsSeen = 0;
    for (const QString& name : files) {
        QFile file(corpus.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();

        // The same bytes through a fresh receiver each way: on ticks, the whole file in one chunk
        // and then ticks until nothing is left to complete; at once, one byte at a time.
        auto replay = [&](bool atOnce) {
            init();
            m_receiver->setHandOverAtOnce(atOnce);
            QStringList records;
            connect(m_receiver.get(), &ModemReceiver::recordComplete, this,
                    [&](const CallerId& record) {
                        records << QStringList({record.date, record.time, record.number,
                                                record.name, QString::number(kindOf(record))})
                                       .join(u'|');
                    });
            if (atOnce) {
                for (char byte : bytes)
                    feed(QByteArray(1, byte));
            } else {
                feed(bytes);
            }
            m_ticks->step(20);
            return QPair<QStringList, QStringList>(records, m_events);
        };
        const auto onTicks = replay(false);
        const auto atOnce = replay(true);
        QVERIFY2(onTicks == atOnce, qPrintable(name + ": " + onTicks.first.join(", ") + " / " +
                                               atOnce.first.join(", ")));
        recordsSeen += atOnce.first.size();
    }
    QVERIFY(recordsSeen >= 13);
}

// Caller-ID shapes met in modem manuals and captures, kept in the corpus: each call as
// "date|time|number|name|kind", "now" for the computer's clock.
void TestModemReceiver::shapesOfRealModems_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QStringList>("calls");
    const QString doe = "03/21|14:05|+1 (613) 555-1234|DOE JOHN|1";
    QTest::newRow("date and time on one line") << "shape_date_and_time_on_one_line"
                                               << "US" << QStringList{doe};
    QTest::newRow("RING glued to the date") << "shape_ring_glued_to_date"
                                            << "US" << QStringList{doe};
    QTest::newRow("two fields on a line") << "shape_two_fields_on_a_line"
                                          << "US" << QStringList{doe};
    QTest::newRow("words for the number")
        << "shape_number_words"
        << "US"
        << QStringList{"03/21|14:05|Private||2", "03/21|14:06|Out of Area|UNAVAILABLE|2",
                       "03/21|14:07|PAYPHONE||2"};
    QTest::newRow("empty date and time")
        << "shape_empty_date_and_time"
        << "US" << QStringList{"now|now|+1 (613) 555-1234|DOE JOHN|1"};
    QTest::newRow("six-digit dates")
        << "shape_six_digit_dates"
        << "US"
        << QStringList{"03/21|14:05|+1 (613) 555-1234|X|1", "03/21|14:06|+1 (613) 555-1234|Y|1"};
    QTest::newRow("unformatted single message")
        << "shape_unformatted_sdmf"
        << "US" << QStringList{"03/22|24:05|+1 (914) 551-2345||1"};
    QTest::newRow("unformatted multiple message")
        << "shape_unformatted_mdmf"
        << "US" << QStringList{"10/15|20:38|+1 (708) 555-0001|U.S.ROBOTICS|1"};
    QTest::newRow("multiple message without its checksum")
        << "shape_mdmf_without_checksum"
        << "US" << QStringList{"10/15|20:38|+1 (708) 555-0001|U.S.ROBOTICS|1"};
    QTest::newRow("two multiple messages in one read")
        << "shape_two_mdmf_packets"
        << "US"
        << QStringList{"10/15|20:38|+1 (708) 555-0001|U.S.ROBOTICS|1",
                       "10/15|20:38|+1 (708) 555-0001||1"};
    QTest::newRow("multiple message, name withheld")
        << "shape_mdmf_name_withheld"
        << "US" << QStringList{"10/15|20:38|+1 (708) 555-0001||1"};
    QTest::newRow("UK call type and DDN_NMBR")
        << "shape_uk_call_type"
        << "GB" << QStringList{"12/07|20:54|020 7946 0958||1"};
    QTest::newRow("MESG parameters") << "shape_mesg_parameters"
                                     << "US" << QStringList{"03/21|14:05|Private|DOE JOHN|2"};
    // Lines that send the number alone (DTMF caller ID, some modems): the computer's clock.
    QTest::newRow("a lone number between two rings")
        << "shape_number_only_between_rings"
        << "NL" << QStringList{"now|now|06 12345678||1"};
    QTest::newRow("number and name, no date")
        << "shape_number_and_name_without_date"
        << "US" << QStringList{"now|now|+1 (613) 555-1234|DOE JOHN|1"};
    QTest::newRow("a number, then nothing more")
        << "shape_number_only_then_silence"
        << "US" << QStringList{"now|now|(613) 555-1234||1"};
    QTest::newRow("fields glued into one line")
        << "shape_fields_glued_together"
        << "US" << QStringList{"02/24||+1 (507) 288-4388||1"};
}

void TestModemReceiver::shapesOfRealModems()
{
    QFETCH(QString, file);
    QFETCH(QString, country);
    QFETCH(QStringList, calls);
    QFile in(QFINDTESTDATA("fuzz/corpus/" + file));
    QVERIFY(in.open(QIODevice::ReadOnly));
    m_receiver->setNumberPlan(NumberPlan(country, "613"));
    QStringList records;
    connect(m_receiver.get(), &ModemReceiver::recordComplete, this, [&](const CallerId& record) {
        records << QStringList({record.date, record.time, record.number, record.name,
                                QString::number(kindOf(record))})
                       .join(u'|');
    });
    const QByteArray bytes = in.readAll();
    feed(bytes);
    m_ticks->step(20);
    const QDateTime now = QDateTime::currentDateTime();
    calls.replaceInStrings(QRegularExpression("^now\\|now"),
                           now.toString("MM/dd") + u'|' + now.toString("HH:mm"));
    QCOMPARE(records, calls);
    // Every line stays in the event list, understood or not.
    QCOMPARE(m_events.size(), bytes.split('\n').size() - bytes.count("\r\n\r\n") - 1);
}

void TestModemReceiver::overlongLineIsReported()
{
    feed(QByteArray(5000, 'x') + "\r\nOK\r\n");
    QCOMPARE(m_events.size(), 3);
    QCOMPARE(m_events.at(0).size(), 4096);
    QCOMPARE(m_events.at(1), "[Modem line too long: 904 characters dropped]");
    QCOMPARE(m_ok, 1);
}

void TestModemReceiver::invalidPollIntervalFallsBack()
{
    m_receiver->setPollInterval("250");
    QCOMPARE(m_receiver->pollInterval(), 250);
    for (const char* bad : {"0", "-5", "abc", "", "99999999999"}) {
        m_receiver->setPollInterval(bad);
        QCOMPARE(m_receiver->pollInterval(), 100);
    }
}

void TestModemReceiver::readsFromRealPty()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    QSerialPort port(QString::fromLocal8Bit(name));
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    m_receiver->attach(&port);
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);

    // The block arrives in pieces, split mid-line, as a serial line delivers it.
    const QByteArray first = callBlock.left(23);
    const QByteArray second = callBlock.mid(23);
    QCOMPARE(::write(master, first.constData(), first.size()), first.size());
    QTest::qWait(20);
    QCOMPARE(::write(master, second.constData(), second.size()), second.size());
    QTRY_COMPARE(complete.count(), 1);
    QCOMPARE(m_events.size(), 5);
    QCOMPARE(record().name, "DOE JOHN");
    port.close();
    ::close(slave);
    ::close(master);
}

QTEST_GUILESS_MAIN(TestModemReceiver)
#include "tst_modemreceiver.moc"
