// The FRITZ!Box call monitor's lines as AVM's document gives them ("dd.MM.yy hh:mm:ss;RING;id;
// caller;called;line;", "CONNECT;id;extension;number;", "DISCONNECT;id;seconds;"), in the shapes
// a network delivers them.
#include "sources/FritzBoxMonitor.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

class TestFritzBoxLines : public QObject
{
    Q_OBJECT
private slots:
    void framing_data();
    void framing();
    void flappingBoxIsOneOutage();
};

namespace {

const QByteArray when = "08.12.26 16:30:05;";

QByteArray ring(int id, const QByteArray& caller = "030123456")
{
    return when + "RING;" + QByteArray::number(id) + ';' + caller + ";0301234;SIP0;";
}

} // namespace

void TestFritzBoxLines::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("calls"); // the ids that rang, in order
    QTest::addColumn<QStringList>("ends");  // "id answered seconds"
    QTest::addColumn<QString>("said");      // an event line that must be there, or nothing

    QTest::newRow("CR LF, LF and a lone CR end lines")
        << QList<QByteArray>{ring(0) + "\r\n" + ring(1) + "\n" + ring(2) + "\r" + ring(3) + "\r\n"}
        << QStringList{"0", "1", "2", "3"} << QStringList{} << QString();
    const QByteArray longName = ring(4, QByteArray(5000, '7'));
    QTest::newRow("a 5 kB line over two reads")
        << QList<QByteArray>{longName.left(3000), longName.mid(3000) + "\r\n"} << QStringList{"4"}
        << QStringList{} << QString();
    QTest::newRow("a line in many small reads")
        << QList<QByteArray>{ring(5).left(10), ring(5).mid(10, 20), ring(5).mid(30) + "\r",
                             "\n" + ring(6) + "\r\n"}
        << QStringList{"5", "6"} << QStringList{} << QString();
    QTest::newRow("garbage before a RING on the same line is no call")
        << QList<QByteArray>{QByteArray(4100, 'x'), ring(7) + "\r\n" + ring(8) + "\r\n"}
        << QStringList{"8"} << QStringList{} << QString();
    QTest::newRow("an over-long line is dropped to its end")
        << QList<QByteArray>{QByteArray(6000, 'x'), QByteArray(6000, 'y'),
                             ring(9) + "\r\n" + ring(10) + "\r\n"}
        << QStringList{"10"} << QStringList{} << QString();
    QTest::newRow("the same id ringing again ends the first as missed")
        << QList<QByteArray>{ring(1) + "\r\n" + ring(1) + "\r\n" + when +
                             "CONNECT;1;1;030123456;\r\n" + when + "DISCONNECT;1;65;\r\n"}
        << QStringList{"1", "1"} << QStringList{"1 0 0", "1 1 65"} << QString();
    QTest::newRow("a duration that is no time is 0")
        << QList<QByteArray>{ring(2) + "\r\n" + when + "CONNECT;2;1;030123456;\r\n" + when +
                             "DISCONNECT;2;-5;\r\n"}
        << QStringList{"2"} << QStringList{"2 1 0"}
        << "[FRITZ!Box gave call 2 the duration \"-5\", which is no time from 0 to 24 hours; "
           "kept as 0 s]";
    QTest::newRow("control and direction characters of a line name are dropped")
        << QList<QByteArray>{when + "RING;3;030123456;0301234;SIP\x1b\xe2\x80\xae"
                                    "0;\r\n"}
        << QStringList{"3"} << QStringList{} << QString();
}

void TestFritzBoxLines::framing()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, ends);
    QFETCH(QString, said);
    FritzBoxMonitor box;
    QStringList rang, ended, lines, lineNames;
    connect(&box, &FritzBoxMonitor::ringing, this,
            [&](const QString& id, const QDateTime& at, const QString&, const QString&,
                const QString& line) {
                QVERIFY(at.isValid());
                rang << id;
                lineNames << line;
            });
    connect(&box, &FritzBoxMonitor::ended, this, [&](const QString& id, bool answered, int s) {
        ended << QStringLiteral("%1 %2 %3").arg(id).arg(int(answered)).arg(s);
    });
    connect(&box, &FritzBoxMonitor::eventLine, this, [&](const QString& line) { lines << line; });
    for (const QByteArray& read : reads)
        box.receive(read);
    QCOMPARE(rang, calls);
    QCOMPARE(ended, ends);
    if (!said.isEmpty())
        QVERIFY2(lines.contains(said), qPrintable(lines.join('\n')));
    for (const QString& name : std::as_const(lineNames))
        QVERIFY2(name == "SIP0", qPrintable(name));
}

// A box that accepts and drops every connection at once is one outage: one line, and tries that
// grow further apart, not two lines every two seconds.
void TestFritzBoxLines::flappingBoxIsOneOutage()
{
    QTcpServer flapping;
    QList<qint64> accepted;
    QElapsedTimer clock;
    clock.start();
    connect(&flapping, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket* next = flapping.nextPendingConnection()) {
            accepted << clock.elapsed();
            next->abort();
            next->deleteLater();
        }
    });
    QVERIFY(flapping.listen(QHostAddress::LocalHost));
    FritzBoxMonitor box;
    QStringList lines;
    connect(&box, &FritzBoxMonitor::eventLine, this, [&](const QString& line) { lines << line; });
    QString problem;
    QVERIFY(box.start("127.0.0.1:" + QString::number(flapping.serverPort()), &problem));
    QTRY_VERIFY_WITH_TIMEOUT(accepted.size() >= 3, 20000);
    QVERIFY2(accepted.at(2) - accepted.at(1) > accepted.at(1) - accepted.at(0) + 500,
             qPrintable(QString::number(accepted.at(1)) + " " + QString::number(accepted.at(2))));
    const QString all = lines.join('\n');
    QCOMPARE(all.count(" cannot be reached: "), 1);
    QCOMPARE(all.count(" is back]"), 0);
    box.stop();
}

QTEST_GUILESS_MAIN(TestFritzBoxLines)
#include "tst_fritzboxlines.moc"
