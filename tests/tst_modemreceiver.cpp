#include "AlertSound.h"
#include "CanberraSound.h"
#include "ModemReceiver.h"
#include "state/MonitorState.h"
#include "state/WindowControl.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <pty.h>
#include <unistd.h>

namespace {

struct CountingWindow : WindowControl
{
    int maximized = 0;
    void MaximizeCallIDForm() override { ++maximized; }
};

struct RecordingSound : AlertSound
{
    QStringList played;
    void play(const QString& path) override { played << path; }
};

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
    void ringMaximizesOnlyWhenAsked();
    void mesgDecoding();
    void emptyLinesOnlyCompleteAnArrivingRecord();
    void recordWithoutEmptyLineCompletesOnTenthTick();
    void recordWithoutTimeLineWaits();
    void soundOnlyWhenTicked();
    void overlongLineIsReported();
    void invalidPollIntervalFallsBack();
    void readsFromRealPty();
    void canberraNeverMakesTheCallerWait();

private:
    void feed(const QByteArray& bytes) { m_receiver->receive(bytes); }

    std::unique_ptr<MonitorState> m_state;
    std::unique_ptr<CountingWindow> m_window;
    std::unique_ptr<ModemReceiver> m_receiver;
};

void TestModemReceiver::init()
{
    m_state = std::make_unique<MonitorState>();
    m_window = std::make_unique<CountingWindow>();
    m_receiver = std::make_unique<ModemReceiver>(*m_state, *m_window);
    m_receiver->setPollInterval("5");
    m_state->AreaCode = "613";
}

void TestModemReceiver::cleanup()
{
    m_receiver.reset();
    m_window.reset();
    m_state.reset();
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
    QTest::newRow("date without =") << "DATE 0321"
                                    << "/"
                                    << ""
                                    << ""
                                    << "" << 1;
    QTest::newRow("time") << "TIME = 1405"
                          << ""
                          << "14:05"
                          << ""
                          << "" << 0;
    QTest::newRow("time empty") << "TIME ="
                                << ""
                                << ":"
                                << ""
                                << "" << 0;
    QTest::newRow("number") << "NMBR = 6135551234"
                            << ""
                            << ""
                            << "+1 (613) 555-1234"
                            << "" << 0;
    QTest::newRow("DDN_NMBR") << "DDN_NMBR = 6135551234"
                              << ""
                              << ""
                              << "+1 (613) 555-1234"
                              << "" << 0;
    QTest::newRow("number 7 digits") << "NMBR = 5551234"
                                     << ""
                                     << ""
                                     << "(613) 555-1234"
                                     << "" << 0;
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
    QTest::newRow("PRIVATE is formatted") << "NMBR = PRIVATE"
                                          << ""
                                          << ""
                                          << "(613) PRI-VATE"
                                          << "" << 0;
    QTest::newRow("name") << "NAME = DOE JOHN"
                          << ""
                          << ""
                          << ""
                          << "DOE JOHN" << 0;
    QTest::newRow("name O") << "NAME = O"
                            << ""
                            << ""
                            << ""
                            << "" << 0;
    QTest::newRow("name P") << "NAME = P"
                            << ""
                            << ""
                            << ""
                            << "" << 0;
    QTest::newRow("name OTTO") << "NAME = OTTO"
                               << ""
                               << ""
                               << ""
                               << "OTTO" << 0;
    QTest::newRow("name control characters") << QString::fromLatin1("NAME = DOE\0JO\x1b"
                                                                    "HN\x0b\x1c\tX",
                                                                    20)
                                             << ""
                                             << ""
                                             << ""
                                             << "DOEJOHN\tX" << 0;
    QTest::newRow("name keeps trailing blanks") << "NAME =  X  "
                                                << ""
                                                << ""
                                                << ""
                                                << "X  " << 0;
    QTest::newRow("text between keyword and =") << "NAME: x = Y"
                                                << ""
                                                << ""
                                                << ""
                                                << "Y" << 0;
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
    m_receiver->ProcessEvent(line);
    QTEST(m_state->field(MonitorState::CallIDDate), "date");
    QTEST(m_state->field(MonitorState::CallIDTime), "time");
    QTEST(m_state->field(MonitorState::CallIDNumber), "number");
    QTEST(m_state->field(MonitorState::CallIDName), "name");
    QTEST(int(m_state->CallRecordState), "recordState");
}

void TestModemReceiver::replyFlags()
{
    QSignalSpy flags(m_state.get(), &MonitorState::replyFlagsChanged);
    feed("OK \r\nok\r\nOKAY\r\n");
    QCOMPARE(m_state->okReceived(), 0);
    feed("OK\r\n");
    QCOMPARE(m_state->okReceived(), 1);
    QCOMPARE(m_state->errorReceived(), 0);
    feed("ERROR\r\n");
    QCOMPARE(m_state->errorReceived(), 1);
    QCOMPARE(flags.count(), 2);
    QCOMPARE(m_state->events(), QStringList({"OK ", "ok", "OKAY", "OK", "ERROR"}));
}

void TestModemReceiver::fullCallIsHandedOverOnce()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    int stateSeen = -1;
    QString numberSeen;
    connect(m_receiver.get(), &ModemReceiver::recordComplete, this, [&] {
        stateSeen = m_state->CallRecordState;
        numberSeen = m_state->field(MonitorState::CallIDNumber);
    });
    feed(callBlock);
    QCOMPARE(m_state->field(MonitorState::CallIDDate), "03/21");
    QCOMPARE(m_state->field(MonitorState::CallIDTime), "14:05");
    QCOMPARE(m_state->field(MonitorState::CallIDName), "DOE JOHN");
    QCOMPARE(m_state->PollState, 1);
    QCOMPARE(m_state->events(), QStringList({"RING", "DATE = 0321", "TIME = 1405",
                                             "NMBR = 6135551234", "NAME = DOE JOHN"}));
    QTRY_COMPARE(complete.count(), 1);
    QCOMPARE(stateSeen, 1);
    QCOMPARE(numberSeen, "+1 (613) 555-1234");
    QCOMPARE(m_state->PollState, 0);
    QVERIFY(!m_receiver->polling());
    QTest::qWait(50);
    QCOMPARE(complete.count(), 1);
}

void TestModemReceiver::ringMaximizesOnlyWhenAsked()
{
    feed("RING\r\n");
    QCOMPARE(m_window->maximized, 0);
    m_state->setCheck(4, 1);
    feed("RING\r\nRINGING\r\n");
    QCOMPARE(m_window->maximized, 2);
}

void TestModemReceiver::mesgDecoding()
{
    feed("DATE = 0321\r\nMESG = 020A36313335353531323334\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "+1 (613) 555-1234");
    QCOMPARE(m_state->CallRecordState, 1);

    // Once a number is shown, MESG lines are ignored.
    feed("MESG = 02073535353132333\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "+1 (613) 555-1234");

    feed("DATE = 0321\r\nMESG = 0201\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "");
    feed("MESG = 020735353531323334\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "(613) 555-1234");
    // A count that is not hexadecimal gives no digits; the count may outrun the data.
    feed("DATE = 0321\r\nMESG = 02ZZ3535\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "");
    feed("MESG = 02FF35\r\n");
    QCOMPARE(m_state->field(MonitorState::CallIDNumber), "5");
}

void TestModemReceiver::emptyLinesOnlyCompleteAnArrivingRecord()
{
    feed("\r\n\r\n");
    QCOMPARE(m_state->PollState, 0);
    feed("DATE = 0321\r\n");
    QCOMPARE(m_state->PollState, 2);
    feed("\r\n\r\n");
    QCOMPARE(m_state->PollState, 1);
    QVERIFY(m_state->events().size() == 1);
}

void TestModemReceiver::recordWithoutEmptyLineCompletesOnTenthTick()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    m_receiver->setPollInterval("100000"); // ticks are driven by hand
    feed("DATE = 0321\r\nTIME = 1405\r\nNMBR = 5551234\r\n");
    QVERIFY(m_receiver->polling());
    for (int i = 0; i < 9; ++i)
        m_receiver->Timer2Tick();
    QCOMPARE(complete.count(), 0);
    m_receiver->Timer2Tick();
    QCOMPARE(complete.count(), 1);
    QVERIFY(!m_receiver->polling());

    // The next record's DATE line starts the count again: it too completes on its 10th tick.
    feed("DATE = 0322\r\nTIME = 0900\r\nNMBR = 5550000\r\n");
    for (int i = 0; i < 9; ++i)
        m_receiver->Timer2Tick();
    QCOMPARE(complete.count(), 1);
    m_receiver->Timer2Tick();
    QCOMPARE(complete.count(), 2);
}

void TestModemReceiver::recordWithoutTimeLineWaits()
{
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    feed("DATE = 0321\r\nNMBR = 5551234\r\n\r\n");
    QVERIFY(!m_receiver->polling());
    QTest::qWait(40);
    QCOMPARE(complete.count(), 0);
    // A TIME line without a record keeps the timer counting, harmlessly, until a record ends.
    m_state->PollState = 0;
    feed("TIME = 1405\r\n");
    for (int i = 0; i < 40000; ++i)
        m_receiver->Timer2Tick();
    QCOMPARE(m_state->PollTicks, 32767);
    QCOMPARE(complete.count(), 0);
    feed("DATE = 0321\r\n\r\n");
    QTRY_COMPARE(complete.count(), 1);
}

void TestModemReceiver::soundOnlyWhenTicked()
{
    RecordingSound sound;
    m_receiver->setAlertSound(&sound, "/data/gotit.wav");
    QSignalSpy complete(m_receiver.get(), &ModemReceiver::recordComplete);
    feed(callBlock);
    QTRY_COMPARE(complete.count(), 1);
    QVERIFY(sound.played.isEmpty());
    m_state->setCheck(8, 1);
    feed(callBlock);
    QTRY_COMPARE(complete.count(), 2);
    QCOMPARE(sound.played, QStringList({"/data/gotit.wav"}));
}

void TestModemReceiver::overlongLineIsReported()
{
    feed(QByteArray(5000, 'x') + "\r\nOK\r\n");
    const QStringList events = m_state->events();
    QCOMPARE(events.size(), 3);
    QCOMPARE(events.at(0).size(), 4096);
    QCOMPARE(events.at(1), "[Modem line too long: 904 characters dropped]");
    QCOMPARE(m_state->okReceived(), 1);
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
    QCOMPARE(m_state->events().size(), 5);
    QCOMPARE(m_state->field(MonitorState::CallIDName), "DOE JOHN");
    port.close();
    ::close(slave);
    ::close(master);
}

void TestModemReceiver::canberraNeverMakesTheCallerWait()
{
    QTemporaryDir dir;
    CanberraSound sound;
    QElapsedTimer clock;
    clock.start();
    sound.play(dir.filePath("missing.wav"));
    sound.play(QFINDTESTDATA("../data/gotit.wav"));
    QVERIFY(clock.elapsed() < 100);
}

QTEST_GUILESS_MAIN(TestModemReceiver)
#include "tst_modemreceiver.moc"
