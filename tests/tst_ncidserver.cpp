// The NCID server as the household's NCID clients meet it. The client here is written from the
// protocol's API document (feature set 1): lines end in CR LF, a call line is its type, then
// "*"-separated pairs of field name and value.
#include "ModemSim.h"
#include "TestHome.h"
#include "ncid/NcidServer.h"

#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/socket.h>

namespace {

class Client
{
public:
    explicit Client(quint16 port, const QString& from = QString(), int receiveBuffer = 0)
    {
        if (!from.isEmpty())
            socket.bind(QHostAddress(from));
        if (receiveBuffer > 0)
            socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBuffer);
        socket.connectToHost(QHostAddress::LocalHost, port);
    }
    // Every complete line so far.
    QList<QByteArray> lines()
    {
        received += socket.readAll();
        QList<QByteArray> all;
        for (const QByteArray& line : received.split('\n'))
            if (line.endsWith('\r'))
                all.append(line.chopped(1));
        return all;
    }
    bool startedUp() { return lines().contains("300 End of connection startup"); }
    QList<QByteArray> calls(const QByteArray& type)
    {
        QList<QByteArray> found;
        for (const QByteArray& line : lines())
            if (line.startsWith(type + ": "))
                found.append(line);
        return found;
    }
    QTcpSocket socket;
    QByteArray received;
};

// A call line's fields by name, as a client finds them.
QHash<QByteArray, QByteArray> fields(const QByteArray& line)
{
    QHash<QByteArray, QByteArray> byName;
    const QList<QByteArray> parts = line.mid(line.indexOf('*') + 1).split('*');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        byName.insert(parts.at(i), parts.at(i + 1));
    return byName;
}

CallRecord call(const QString& number, const QString& name, bool blocked = false)
{
    CallRecord record;
    record.date = "12/08";
    record.time = "09:41";
    record.number = number;
    record.name = name;
    record.blocked = blocked;
    record.received = QDateTime(QDate(2026, 12, 8), QTime(9, 41, 30));
    record.line = "/dev/ttyACM0";
    return record;
}

} // namespace

class TestNcidServer : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void greetingLogAndLiveCalls();
    void whatAClientAsksAtStartup_data();
    void whatAClientAsksAtStartup();
    void clientsThatMayNotStay();
    void clientDroppedByItsOwnMessage();
    void logsLongerThanTheUnreadLimit_data();
    void logsLongerThanTheUnreadLimit();
    void oneHostCannotTakeEveryPlace();
    void callsThroughTheMonitor();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CallHistory> m_history;
    std::unique_ptr<NcidServer> m_server;
    quint16 start(const QString& allow = "127.0.0.0/8", NcidServer::Limits limits = {});
};

void TestNcidServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_history = std::make_unique<CallHistory>();
    m_history->open(m_dir->path() + '/', {});
    m_server.reset();
}

quint16 TestNcidServer::start(const QString& allow, NcidServer::Limits limits)
{
    m_server = std::make_unique<NcidServer>(*m_history);
    limits.helloMs = 50;
    m_server->setLimits(limits);
    QString problem;
    if (!m_server->start("127.0.0.1:0", allow, &problem))
        qWarning() << problem;
    return m_server->serverPort();
}

void TestNcidServer::greetingLogAndLiveCalls()
{
    CallRecord contact = call("+1 (613) 555-0100", "TELCO NAME");
    contact.contactName = "Kim Known";
    m_history->add(call("+1 (613) 555-0001", "OLDEST"), true);
    m_history->add(contact, true);
    m_history->add(call("+1 (613) 555-0199", "PLUMBER", true), true);
    NcidServer::Limits limits;
    limits.logLines = 2;
    const quint16 port = start("127.0.0.0/8", limits);
    Client first(port);
    Client second(port);
    QTRY_VERIFY(first.startedUp() && second.startedUp());
    const QList<QByteArray> startup = first.lines();
    QVERIFY2(startup.value(0).startsWith("200 Server: ringdesk "), startup.value(0));
    QCOMPARE(startup.value(1), "210 API: 1.0 Feature Set 1");
    // The newest calls, oldest first; a blocked one as HUPLOG; the contact's name over the
    // network's.
    QCOMPARE(startup.value(2), "CIDLOG: *DATE*12082026*TIME*0941*LINE*-*NMBR*+1 (613) 555-0100*"
                               "MESG*NONE*NAME*Kim Known*");
    QVERIFY(startup.value(3).startsWith("HUPLOG: *DATE*12082026*"));
    QCOMPARE(startup.mid(4),
             (QList<QByteArray>{"250 End of call log", "300 End of connection startup"}));

    // Live: each client gets each call; a "*" or a line end in a value never splits a field.
    CallRecord starred = call("+1 (613) 555-0123", "A*B\r\nC");
    starred.line = "SIP0";
    m_server->callLogged(starred);
    m_server->callLogged(call("", "", true));
    m_server->rang(2, "/dev/ttyACM0");
    for (Client* client : {&first, &second}) {
        QTRY_COMPARE(client->calls("CIDINFO").size(), 1);
        const auto cid = fields(client->calls("CID").value(0));
        QCOMPARE(cid.value("NAME"), "A B C"); // a run of line ends is one blank
        QCOMPARE(cid.value("LINE"), "SIP0");
        QCOMPARE(cid.value("NMBR"), "+1 (613) 555-0123");
        QCOMPARE(cid.value("MESG"), "NONE");
        const auto hup = fields(client->calls("HUP").value(0));
        QCOMPARE(hup.value("NMBR"), "NO-NUMBER");
        QCOMPARE(hup.value("NAME"), "NO NAME");
        const auto info = fields(client->calls("CIDINFO").value(0));
        QCOMPARE(info.value("RING"), "2");
        QCOMPARE(info.value("LINE"), "-");
        QVERIFY(QTime::fromString(QString(info.value("TIME")), "HH:mm:ss").isValid());
    }
}

// Keep-alive lines and unknown ones ask nothing; "HELLO: CMD: no_log" asks for no log.
void TestNcidServer::whatAClientAsksAtStartup_data()
{
    QTest::addColumn<bool>("calls");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("empty log") << false << QByteArray("\r\n") << QByteArray("252 Call log empty");
    QTest::newRow("no log wanted")
        << true << QByteArray("HELLO: IDENT: client ncid 1.0\r\nHELLO: CMD: no_log\r\n")
        << QByteArray("251 Call log not sent");
    QTest::newRow("unknown lines")
        << true << QByteArray("WHAT: ever\r\n\r\n" + QByteArray(5000, 'x'))
        << QByteArray("250 End of call log");
}

void TestNcidServer::whatAClientAsksAtStartup()
{
    QFETCH(bool, calls);
    QFETCH(QByteArray, said);
    QFETCH(QByteArray, answer);
    if (calls)
        m_history->add(call("+1 (613) 555-0001", "SOMEONE"), true);
    NcidServer::Limits limits;
    const quint16 port = start("127.0.0.0/8", limits);
    Client client(port);
    QVERIFY(client.socket.waitForConnected(5000));
    client.socket.write(said);
    QTRY_VERIFY(client.startedUp());
    QVERIFY2(client.lines().contains(answer), client.received);
    QCOMPARE(client.calls("CIDLOG").size(), answer.startsWith("250") ? 1 : 0);
    // GOODBYE ends it.
    client.socket.write("GOODBYE\r\n");
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
}

// A message goes to its sender too: a sender past its unread limit is dropped while the rest of
// what it sent is still being read, and nothing of it may be touched after.
void TestNcidServer::clientDroppedByItsOwnMessage()
{
    NcidServer::Limits limits;
    limits.unread = 100; // the greeting's lines, not a message of 150 characters
    const quint16 port = start("127.0.0.0/8", limits);
    QSignalSpy lines(m_server.get(), &NcidServer::eventLine);
    Client client(port);
    QVERIFY(client.socket.waitForConnected(5000));
    client.socket.write("HELLO: CMD: no_log\r\n");
    QTRY_VERIFY(client.startedUp());
    client.socket.write("MSG: " + QByteArray(150, 'm') + "\r\nMSG: and one more\r\nGOODBYE\r\n");
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_VERIFY(std::any_of(lines.cbegin(), lines.cend(), [](const QList<QVariant>& line) {
        return line.value(0).toString().endsWith(": it does not read]");
    }));
    // The server goes on serving.
    Client next(port);
    QTRY_VERIFY(next.startedUp());
}

// A client from outside the allowed networks is closed at once; past the number of clients
// too; one that never reads is dropped before what waits for it grows.
void TestNcidServer::clientsThatMayNotStay()
{
    NcidServer::Limits limits;
    limits.clients = 2;
    limits.unread = 4096;
    const quint16 port = start("127.0.0.1/32, ::1", limits);
    QSignalSpy lines(m_server.get(), &NcidServer::eventLine);
    Client stranger(port, "127.0.0.2");
    QTRY_COMPARE(stranger.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(stranger.received, QByteArray());
    QCOMPARE(lines.value(0).value(0).toString(),
             "[NCID: refused 127.0.0.2, outside the allowed networks]");
    // Named once: a stranger who tries again adds no line.
    Client again(port, "127.0.0.2");
    QTRY_COMPARE(again.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(lines.size(), 1);

    Client reader(port);
    Client silent(port, QString(), 1024);
    QTRY_VERIFY(reader.startedUp());
    Client third(port);
    QTRY_COMPARE(third.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(third.received, QByteArray());
    QTRY_COMPARE(lines.size(), 2);
    QVERIFY(lines.value(1).value(0).toString().startsWith("[NCID: 2 clients are connected"));

    // The silent one is not read from here: its socket holds whatever the kernel took.
    silent.socket.setReadBufferSize(1);
    int sent = 0;
    for (; sent < 200000 && lines.size() < 3; ++sent) {
        m_server->callLogged(call("+1 (613) 555-0123", "CALLER " + QString::number(sent)));
        QCoreApplication::processEvents();
        reader.socket.readAll();
    }
    qInfo() << "dropped after" << sent << "calls";
    QCOMPARE(lines.value(2).value(0).toString(), "[NCID: dropped 127.0.0.1: it does not read]");
    // The reader stays, and a new client may take the free place.
    m_server->callLogged(call("+1 (613) 555-0124", "STILL HERE"));
    QByteArray got;
    QTRY_VERIFY((got += reader.socket.readAll()).contains("STILL HERE"));
    Client fourth(port);
    QTRY_VERIFY(fourth.startedUp());
}

// The log may be far longer than what may wait for a client later; a client that reads gets it
// all. Without a number of lines asked for, it is the newest 200 calls.
void TestNcidServer::logsLongerThanTheUnreadLimit_data()
{
    QTest::addColumn<int>("logLines");
    QTest::addColumn<int>("received");
    QTest::newRow("LogLines=1000") << 1000 << 1000;
    QTest::newRow("no LogLines") << -1 << 200;
}

void TestNcidServer::logsLongerThanTheUnreadLimit()
{
    QFETCH(int, logLines);
    for (int i = 0; i < 1200; ++i)
        m_history->add(call("+1 (613) 555-0100", "CALLER " + QString::number(i)), true);
    NcidServer::Limits limits;
    if (logLines >= 0)
        limits.logLines = logLines;
    limits.unread = 4096;
    Client client(start("127.0.0.0/8", limits));
    QTRY_VERIFY_WITH_TIMEOUT(client.startedUp(), 20000);
    QTEST(int(client.calls("CIDLOG").size()), "received");
    QVERIFY(client.lines().contains("CIDLOG: *DATE*12082026*TIME*0941*LINE*-*NMBR*+1 (613) "
                                    "555-0100*MESG*NONE*NAME*CALLER 1199*"));
}

// Idle connections from one host close their oldest past its share; another host still gets in.
void TestNcidServer::oneHostCannotTakeEveryPlace()
{
    NcidServer::Limits limits;
    limits.clients = 4;
    limits.perAddress = 2;
    const quint16 port = start("127.0.0.0/8", limits);
    QSignalSpy lines(m_server.get(), &NcidServer::eventLine);
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < 10; ++i) {
        idle.push_back(std::make_unique<Client>(port, "127.0.0.2"));
        QTRY_VERIFY(idle.back()->startedUp());
    }
    // The newest two of that host stay; the others were closed, each with its line.
    QTRY_COMPARE(std::count_if(idle.begin(), idle.end(),
                               [](const auto& c) {
                                   return c->socket.state() == QAbstractSocket::ConnectedState;
                               }),
                 2);
    QVERIFY(idle.back()->socket.state() == QAbstractSocket::ConnectedState);
    QCOMPARE(lines.count(), 8);
    QVERIFY(lines.first().first().toString().startsWith(
        "[NCID: dropped 127.0.0.2: its 2 connections are the most one address may have"));
    Client other(port, "127.0.0.3");
    QTRY_VERIFY(other.startedUp());
    Client another(port, "127.0.0.4");
    QTRY_VERIFY(another.startedUp());
    // Full now: the next is turned away, and that is said once.
    Client late(port, "127.0.0.5");
    Client later(port, "127.0.0.6");
    QTRY_COMPARE(later.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(late.socket.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(lines.count(), 9);
    QVERIFY(lines.last().first().toString().startsWith("[NCID: 4 clients are connected"));
}

// The real monitor on the simulated modem: a client sees the logged calls, each new call, a
// blocked one as HUP and the rings.
void TestNcidServer::callsThroughTheMonitor()
{
    TestHome home;
    ModemSim modem({"--accept", "AT+VCID=1"});
    TestHome::useModem(modem.device());
    saveSetting("ZodoDE", "Setup", "Country", "US");
    saveSetting("ZodoDE", "Setup", "AutoCreateContact", "0");
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    saveSetting("ZodoDE", "Screening", "HangupDelay", "200");
    saveSetting("ZodoDE", "NCID", "Listen", "127.0.0.1:0");
    QVERIFY(home.write("config/ringdesk/blocked.txt", "613-555-0199\n"));
    QProcess monitor;
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[NCID calls at 127.0.0.1:"), 20000);
    const QByteArray said = monitor.peek(1 << 20);
    const qsizetype at = said.indexOf("[NCID calls at 127.0.0.1:") + 25;
    Client client(quint16(said.mid(at, said.indexOf(']', at) - at).toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(client.startedUp(), 10000);
    QVERIFY(client.lines().contains("252 Call log empty"));

    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE_WITH_TIMEOUT(client.calls("CID").size(), 1, 10000);
    const auto cid = fields(client.calls("CID").value(0));
    QCOMPARE(cid.value("NMBR"), "+1 (613) 555-1234");
    QCOMPARE(cid.value("NAME"), "SMITH JOHN");
    QCOMPARE(cid.value("DATE").size(), 8);
    QVERIFY(!client.calls("CIDINFO").isEmpty());
    modem.command("call 6135550199 PLUMBER JOE");
    QTRY_COMPARE_WITH_TIMEOUT(client.calls("HUP").size(), 1, 10000);
    QCOMPARE(fields(client.calls("HUP").value(0)).value("NAME"), "PLUMBER JOE");
    // A client that connects now gets both in its log.
    Client later(client.socket.peerPort());
    QTRY_VERIFY_WITH_TIMEOUT(later.startedUp(), 10000);
    QCOMPARE(later.calls("CIDLOG").size(), 1);
    QCOMPARE(later.calls("HUPLOG").size(), 1);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestNcidServer)
#include "tst_ncidserver.moc"
