// A FRITZ!Box as a source of calls: `ringdesk --headless` without a modem, connected to a fake
// box (a TCP server here) that sends the call-monitor lines of AVM's document, as a box does.
#include "TestHome.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

namespace {

class FakeBox
{
public:
    bool listen(quint16 port = 0)
    {
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* next = server.nextPendingConnection())
                client = next;
        });
        return server.listen(QHostAddress::LocalHost, port);
    }
    void say(const QByteArray& event)
    {
        const QByteArray when =
            QDateTime::currentDateTime().toString("dd.MM.yy HH:mm:ss").toLatin1();
        client->write(when + ';' + event + "\r\n");
        client->flush();
    }
    void goAway()
    {
        server.close();
        if (client)
            client->abort();
        client = nullptr;
    }
    QTcpServer server;
    QPointer<QTcpSocket> client;
};

// The history's rows as the sqlite3 shell reads them: number|outcome|duration|blocked|source.
QStringList historyRows(const QString& file)
{
    QProcess shell;
    shell.start("sqlite3",
                {"-readonly", file,
                 "SELECT number, outcome, duration, blocked, source FROM calls ORDER BY id"});
    shell.waitForFinished(10000);
    return QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestFritzBox : public QObject
{
    Q_OBJECT
private slots:
    void callsComeFromTheBox();
};

// The seconds until the kernel's keep-alive probe of the connection from `local` to `remote`
// (ports on 127.0.0.1), as /proc/net/tcp shows its timer; -1 when it runs no keep-alive.
double keepAliveIn(quint16 local, quint16 remote)
{
    QFile table("/proc/net/tcp");
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray from = ":" + QByteArray::number(local, 16).toUpper().rightJustified(4, '0');
    const QByteArray to = ":" + QByteArray::number(remote, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray& line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || !fields.at(1).endsWith(from) || !fields.at(2).endsWith(to))
            continue;
        const QList<QByteArray> timer = fields.at(5).split(':'); // "tr:when", when in 1/100 s
        return timer.value(0) == "02" ? timer.value(1).toInt(nullptr, 16) / 100.0 : -1;
    }
    return -1;
}

void TestFritzBox::callsComeFromTheBox()
{
    if (QStandardPaths::findExecutable("sqlite3").isEmpty())
        QSKIP("the sqlite3 shell is not installed (Debian package sqlite3)");
    TestHome home;
    FakeBox box;
    QVERIFY(box.listen());
    const QString address = "127.0.0.1:" + QString::number(box.server.serverPort());
    saveSetting("ZodoDE", "FritzBox", "Address", address);
    saveSetting("ZodoDE", "Setup", "Country", "DE");
    saveSetting("ZodoDE", "Setup", "AutoCreateContact", "0");
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    QVERIFY(home.write("config/ringdesk/blocked.txt", "0900 1234567\n"));
    QVERIFY(home.write("data/ringdesk/contacts/kim.vcf",
                       "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Known;Kim;;;\r\nTEL:+49 170 1234567\r\n"
                       "END:VCARD\r\n"));

    QProcess monitor;
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    auto said = [&monitor] {
        return QString::fromUtf8(monitor.peek(1 << 22));
    };
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("[FRITZ!Box at " + address + ": listening for calls]"),
                             20000);
    // No modem is no error: the box is where calls come from.
    QTRY_VERIFY_WITH_TIMEOUT(
        said().contains("[No modem: calls come from the FRITZ!Box at " + address + " alone]"),
        20000);
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("Status: Calls from the FRITZ!Box at " + address),
                             5000);
    QVERIFY(!said().contains("No Caller Id Features"));
    QTRY_VERIFY(box.client);
    // A box that vanishes without a word (a power cut) is noticed by TCP keep-alive: the first
    // probe after a minute of quiet, then five 10 s apart.
    const double probe = keepAliveIn(box.client->peerPort(), box.server.serverPort());
    QVERIFY2(probe > 50 && probe <= 60, qPrintable(QString::number(probe)));

    // Answered, missed (a contact), an outgoing call, a line that is no event, a blocked caller
    // and a withheld one.
    box.say("RING;0;030123456;0301234;SIP0;");
    box.say("CONNECT;0;1;030123456;");
    box.say("DISCONNECT;0;42;");
    box.say("RING;1;01701234567;0301234;SIP0;");
    box.say("DISCONNECT;1;0;");
    box.say("CALL;2;1;0301234;0891234567;SIP0;");
    box.say("CONNECT;2;1;0891234567;");
    box.say("DISCONNECT;2;17;");
    box.say("hello there");
    box.say("RING;3;09001234567;0301234;SIP1;");
    box.say("RING;4;;0301234;POTS;");
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("[Missed call from Kim Known]"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(said().count("\nCall: "), 4, 10000);
    QVERIFY(said().contains("[Call from 030 123456 answered: 42 s]"));
    QVERIFY(said().contains("[FRITZ!Box sent a line that is no call event: \""));
    QVERIFY(said().contains("[Blocked 0900 1 234567: 0900 1234567]"));
    QCOMPARE(said().count("[Screening cannot hang up calls that come through the FRITZ!Box"), 1);
    QVERIFY(!said().contains("0891234567") && !said().contains("089 1234567"));
    const QString history = home.dataDir() + "calls.sqlite";
    QTRY_COMPARE_WITH_TIMEOUT(historyRows(history).size(), 4, 5000);
    const QStringList rows = historyRows(history);
    QCOMPARE(rows.at(0), "030 123456|answered|42|0|FRITZ!Box " + address + " SIP0");
    QCOMPARE(rows.at(1), "0170 1234567|missed|0|0|FRITZ!Box " + address + " SIP0");
    QVERIFY2(rows.at(2).startsWith("0900 1 234567||0|1|"), qPrintable(rows.at(2)));
    QVERIFY2(rows.at(3).startsWith("Private||0|0|FRITZ!Box " + address + " POTS"),
             qPrintable(rows.at(3)));

    // The box goes away and comes back: one line each, and calls come again.
    const quint16 port = box.server.serverPort();
    box.goAway();
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("[FRITZ!Box at " + address + " cannot be reached: "),
                             10000);
    QVERIFY(box.listen(port));
    // Back once the new connection has held for ten seconds.
    QTRY_VERIFY_WITH_TIMEOUT(said().contains("[FRITZ!Box at " + address + " is back]"), 30000);
    QCOMPARE(said().count(" cannot be reached: "), 1);
    QTRY_VERIFY(box.client);
    box.say("RING;5;030123456;0301234;SIP0;");
    QTRY_COMPARE_WITH_TIMEOUT(said().count("\nCall: "), 5, 10000);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestFritzBox)
#include "tst_fritzbox.moc"
