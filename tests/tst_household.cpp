// The monitor on a real MQTT broker, end to end: `ringdesk --headless` on the simulated modem,
// a broker of the test's own on a free port, and a subscriber in this process.
#include "ModemSim.h"
#include "TestHome.h"
#include "broker/MqttConnection.h"
#include "config/SetupWindow.h"
#include "monitor/Monitor.h"
#include "monitor/WindowControl.h"
#include "ui_SetupWindow.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QUuid>
#include <QtTest>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

// A mosquitto of the test's own: its own port, configuration and (optionally) password file.
class Broker
{
public:
    explicit Broker(const QString& folder) : m_folder(folder)
    {
        m_program = QStandardPaths::findExecutable("mosquitto");
        if (m_program.isEmpty())
            m_program = QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/sbin"});
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
    }
    ~Broker() { stop(); }

    bool available() const { return !m_program.isEmpty(); }
    int port() const { return m_port; }

    // With a password file, only `user`/`secret` may connect; with TLS, the broker shows a
    // certificate for 127.0.0.1 signed by `ca.crt` in the folder.
    bool start(bool withPassword = false, bool withTls = false)
    {
        // Started as root, mosquitto would become user "mosquitto", who cannot read our folder.
        QString config = QString("listener %1 127.0.0.1\npersistence true\n"
                                 "persistence_location %2/\nuser %3\nlog_dest stderr\n"
                                 "log_type all\n")
                             .arg(m_port)
                             .arg(m_folder, QString::fromLocal8Bit(getpwuid(getuid())->pw_name));
        if (withPassword) {
            QProcess passwd;
            passwd.start(QStandardPaths::findExecutable("mosquitto_passwd"),
                         {"-b", "-c", m_folder + "/passwords", "user", "secret"});
            if (!passwd.waitForFinished() || passwd.exitCode() != 0)
                return false;
            config += "allow_anonymous false\npassword_file " + m_folder + "/passwords\n";
        } else {
            config += "allow_anonymous true\n";
        }
        if (withTls) {
            if (!makeCertificates())
                return false;
            config += QString("cafile %1/ca.crt\ncertfile %1/server.crt\nkeyfile %1/server.key\n")
                          .arg(m_folder);
        }
        QFile file(m_folder + "/mosquitto.conf");
        if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0)
            return false;
        file.close();
        m_log.clear();
        m_process.setReadChannel(QProcess::StandardError);
        m_process.start(m_program, {"-c", m_folder + "/mosquitto.conf"});
        if (!m_process.waitForStarted())
            return false;
        for (int i = 0; i < 100; ++i) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(100))
                return true;
            QTest::qWait(50);
        }
        return false;
    }
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    // Gone at once, with whatever it had not yet acknowledged or saved.
    void kill()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    // What the broker has said of its clients so far.
    QByteArray log()
    {
        m_log += m_process.readAllStandardError();
        return m_log;
    }
    // Takes packets and answers none, as a broker on a stalled machine does.
    void freeze() { ::kill(pid_t(m_process.processId()), SIGSTOP); }

private:
    bool makeCertificates()
    {
        const QString ext = m_folder + "/san.ext";
        QFile san(ext);
        if (!san.open(QIODevice::WriteOnly) ||
            san.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n") < 0)
            return false;
        san.close();
        const QString key = "ec:" + m_folder + "/params.pem";
        const QList<QStringList> steps = {
            {"ecparam", "-name", "prime256v1", "-out", m_folder + "/params.pem"},
            {"req", "-x509", "-newkey", key, "-nodes", "-keyout", m_folder + "/ca.key", "-out",
             m_folder + "/ca.crt", "-days", "2", "-subj", "/CN=ringdesk test CA"},
            {"req", "-newkey", key, "-nodes", "-keyout", m_folder + "/server.key", "-out",
             m_folder + "/server.csr", "-subj", "/CN=localhost"},
            {"x509", "-req", "-in", m_folder + "/server.csr", "-CA", m_folder + "/ca.crt", "-CAkey",
             m_folder + "/ca.key", "-CAcreateserial", "-out", m_folder + "/server.crt", "-days",
             "2", "-extfile", ext},
        };
        for (const QStringList& step : steps) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start("openssl", step);
            if (!openssl.waitForFinished() || openssl.exitCode() != 0) {
                qWarning() << openssl.readAll();
                return false;
            }
        }
        return true;
    }

    QString m_folder;
    QString m_program;
    int m_port = 0;
    QProcess m_process;
    QByteArray m_log;
};

// Everything a client of the broker sees, in order.
class Subscriber
{
public:
    explicit Subscriber(int port, const QStringList& topics = {"#"})
        : spy(&connection, &MqttConnection::messageArrived),
          connected(&connection, &MqttConnection::connected)
    {
        MqttOptions options;
        options.host = "127.0.0.1";
        options.port = port;
        // Each its own: a second client with one id pushes the first off the broker.
        options.clientId = "test-subscriber-" + QUuid::createUuid().toString(QUuid::Id128);
        options.subscriptions = topics;
        options.keepSession = true; // calls sent while the broker restarts still reach us
        connection.start(options);
    }
    QList<QByteArray> on(const QString& topic) const
    {
        QList<QByteArray> payloads;
        for (const QList<QVariant>& message : spy)
            if (message.at(0).toString() == topic)
                payloads.append(message.at(1).toByteArray());
        return payloads;
    }
    QJsonObject json(const QString& topic, int index) const
    {
        return QJsonDocument::fromJson(on(topic).value(index)).object();
    }
    MqttConnection connection;
    QSignalSpy spy;
    QSignalSpy connected;
};

} // namespace

class TestHousehold : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void aCallArrivesAsJsonWithDiscoveryAndStatus();
    void callsWaitForTheBrokerInOrderAcrossARestart();
    void aCallInFlightIsSentAgainAndAHalfLineNever();
    void theRetryDelayStartsAgainAfterAConnection();
    void aRefusedOrUnreachableBrokerIsReportedOnce_data();
    void aRefusedOrUnreachableBrokerIsReportedOnce();
    void aSecondDesktopShowsTheCall();
    void theHouseholdBlocksAndHangsUp();
    void theModemsStateIsRetained();
    void aDesktopWithoutAModemSaysWhereItsCallsComeFrom();
    void textFromOutsideIsCleanedEverywhere();
    void configTestsAndSavesTheNetworkSettings();

private:
    // The monitor on this home's settings, on the simulated modem, publishing to `port`.
    void configure(const QString& device, int port);
    void startMonitor(QProcess& monitor);
    QString logOf(const TestHome& home) const;

    std::unique_ptr<TestHome> m_home;
};

void TestHousehold::init()
{
    if (QStandardPaths::findExecutable("mosquitto").isEmpty() &&
        QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/sbin"}).isEmpty())
        QSKIP("mosquitto is not installed (Debian package mosquitto): no broker to test with");
    m_home = std::make_unique<TestHome>();
}

void TestHousehold::configure(const QString& device, int port)
{
    TestHome::useModem(device);
    saveSetting("ZodoDE", "MQTT", "Host", "127.0.0.1");
    saveSetting("ZodoDE", "MQTT", "Port", QString::number(port));
    saveSetting("ZodoDE", "MQTT", "ClientId", "house-monitor");
}

void TestHousehold::startMonitor(QProcess& monitor)
{
    TestHome::startProgram(monitor, "ringdesk", "offscreen", {"--headless"});
    QVERIFY(monitor.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[System Ready"), 20000);
}

QString TestHousehold::logOf(const TestHome& home) const
{
    QFile log(home.dataDir() + "CallLog.txt");
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
}

void TestHousehold::aCallArrivesAsJsonWithDiscoveryAndStatus()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port());
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    saveSetting("ZodoDE", "Setup", "AutoCreateJournal", "1");
    QProcess monitor;
    startMonitor(monitor);

    // No window library in the monitor without a window.
    QFile maps(QString("/proc/%1/maps").arg(monitor.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QVERIFY(mapped.contains("libQt6Core"));
    QVERIFY(!mapped.contains("libQt6Widgets"));
    QVERIFY(!mapped.contains("libQt6Gui"));

    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/status").value(0), QByteArray("online"), 10000);
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 1, 10000);
    const QJsonObject call = sub.json("ringdesk/call", 0);
    QCOMPARE(call["number"].toString(), "+1 (613) 555-1234");
    QCOMPARE(call["name"].toString(), "SMITH JOHN");
    QCOMPARE(call["digits"].toString(), "16135551234");
    QVERIFY(call["withheld"].isNull());
    QVERIFY(call["contact"].isNull()); // created for this call, not found
    QCOMPARE(call["line"].toString(), modem.device());
    QVERIFY(QRegularExpression("^[0-9a-f-]{36}$").match(call["id"].toString()).hasMatch());
    QVERIFY(QRegularExpression("^\\d\\d/\\d\\d$").match(call["date"].toString()).hasMatch());
    QVERIFY(QRegularExpression("^\\d\\d:\\d\\d$").match(call["time"].toString()).hasMatch());
    const QDateTime received =
        QDateTime::fromString(call["received"].toString(), Qt::ISODateWithMs);
    QVERIFY(received.isValid() && received.timeSpec() != Qt::LocalTime);
    QVERIFY(qAbs(received.secsTo(QDateTime::currentDateTime())) < 60);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/last_call").size(), 1, 5000);
    QVERIFY(sub.on("ringdesk/event").contains("NMBR = 6135551234"));
    // Retained: Home Assistant, restarted, knows the last caller and that the monitor is there.
    {
        Subscriber late(broker.port(), {"ringdesk/last_call", "ringdesk/status"});
        QTRY_COMPARE_WITH_TIMEOUT(late.on("ringdesk/status"), QList<QByteArray>{"online"}, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(late.json("ringdesk/last_call", 0)["id"], call["id"], 5000);
    }

    // The same caller again is found; the journal entry nobody could save by hand is on disk.
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 2, 10000);
    const QJsonObject again = sub.json("ringdesk/call", 1);
    QCOMPARE(again["contact"].toObject()["last"].toString(), "SMITH");
    QVERIFY(again["id"] != call["id"]);
    QTRY_VERIFY(monitor.peek(1 << 20).contains("[Saved the journal entry to "));
    QCOMPARE(QDir(m_home->dataDir() + "journal").entryList(QDir::Files).size(), 1);

    // What Home Assistant requires of an event entity and of a sensor, tied to one device.
    QList<QJsonObject> configs;
    for (const QList<QVariant>& message : sub.spy)
        if (message.at(0).toString().startsWith("homeassistant/"))
            configs.append(QJsonDocument::fromJson(message.at(1).toByteArray()).object());
    QCOMPARE(configs.size(), 5); // the call, last caller, hang-up, unheard messages, message
    const QJsonObject event = sub.json("homeassistant/event/house-monitor/call/config", 0);
    QCOMPARE(event["state_topic"].toString(), "ringdesk/call");
    QCOMPARE(event["event_types"].toArray(), (QJsonArray{"call", "blocked"}));
    const QJsonObject button = sub.json("homeassistant/button/house-monitor/hangup/config", 0);
    QCOMPARE(button["command_topic"].toString(), "ringdesk/command");
    QCOMPARE(button["payload_press"].toString(), "{\"action\":\"hangup\"}");
    QCOMPARE(call["event_type"].toString(), "call");
    const QJsonObject sensor = sub.json("homeassistant/sensor/house-monitor/last_caller/config", 0);
    QCOMPARE(sensor["state_topic"].toString(), "ringdesk/last_call");
    for (const QJsonObject& config : configs) {
        QVERIFY(!config["unique_id"].toString().isEmpty());
        QCOMPARE(config["availability_topic"].toString(), "ringdesk/status");
        QCOMPARE(config["device"].toObject()["identifiers"].toArray().size(), 1);
    }

    // One monitor per user, with or without a window.
    QProcess second;
    TestHome::startProgram(second, "ringdesk", "offscreen", {"--headless"});
    QVERIFY(second.waitForFinished(10000));
    QVERIFY(second.readAllStandardError().contains("already running"));
    QCOMPARE(monitor.state(), QProcess::Running);

    // SIGTERM: the unload step, and "offline" on the way out.
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
    QCOMPARE(monitor.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/status").last(), QByteArray("offline"), 5000);
    QVERIFY(QFile::exists(m_home->dataDir() + "CallEvnt.txt"));
    QCOMPARE(logOf(*m_home).count("SMITH JOHN"), 2);

    // Killed outright, it cannot say goodbye: the broker says it for it.
    QProcess killed;
    startMonitor(killed);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/status").last(), QByteArray("online"), 10000);
    ::kill(pid_t(killed.processId()), SIGKILL);
    QVERIFY(killed.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/status").last(), QByteArray("offline"), 5000);
    // The Last Will is retained too: a dead monitor never shows as available.
    Subscriber late(broker.port(), {"ringdesk/status"});
    QTRY_COMPARE_WITH_TIMEOUT(late.on("ringdesk/status"), QList<QByteArray>{"offline"}, 5000);
}

void TestHousehold::callsWaitForTheBrokerInOrderAcrossARestart()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port(), {"ringdesk/call"});
    // Subscribed once, the broker keeps for us what comes while we are away.
    QTRY_COMPARE_WITH_TIMEOUT(sub.connected.size(), 1, 5000);
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    QProcess monitor;
    startMonitor(monitor);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[MQTT: connected"), 10000);

    broker.stop();
    const QString outbox = m_home->dataDir() + "mqtt-outbox";
    for (const char* name : {"ONE FIRST", "TWO SECOND", "THREE THIRD"}) {
        modem.command(QByteArray("call 6135550001 ") + name);
        QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains(name), 10000);
    }
    // A fourth waits through a restart of the monitor, in the file alone.
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
    QProcess restarted;
    startMonitor(restarted);
    modem.command("call 6135550001 FOUR FOURTH");
    QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains("FOUR FOURTH"), 10000);
    // The outbox takes the call after the log has it.
    auto waiting = [&outbox] {
        QFile file(outbox);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
    };
    QTRY_COMPARE_WITH_TIMEOUT(waiting(), 4, 10000);
    QFile file(outbox);
    QCOMPARE(file.permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    // One line for the broker being away, however often the monitor tries again.
    QTest::qWait(3000);
    QCOMPARE(restarted.peek(1 << 20).count("[MQTT: cannot reach the broker"), 1);

    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 4, 30000);
    QStringList names;
    for (int i = 0; i < 4; ++i)
        names << sub.json("ringdesk/call", i)["name"].toString();
    QCOMPARE(names, QStringList({"ONE FIRST", "TWO SECOND", "THREE THIRD", "FOUR FOURTH"}));
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(outbox).size(), 0, 5000);
    restarted.terminate();
    QVERIFY(restarted.waitForFinished(10000));
}

// A call handed to a connection that then broke (the broker stalled, then died) goes out again on
// the next one; a line of the outbox cut short by a crash is never sent, however it ends.
void TestHousehold::aCallInFlightIsSentAgainAndAHalfLineNever()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    const QByteArray before = R"({"event_type":"call","id":"before-1","date":"12/07",)"
                              R"("time":"09:00","number":"+1 (613) 555-0001","name":"BEFORE"})";
    const QByteArray cut = R"({"event_type":"call","id":"cut-1","date":"12/07","name":"CUT",)"
                           R"("contact":{"first":"A","last":"B","company":"C"})";
    QVERIFY(QDir().mkpath(m_home->dataDir()));
    QFile outbox(m_home->dataDir() + "mqtt-outbox");
    QVERIFY(outbox.open(QIODevice::WriteOnly));
    outbox.write("before-1\t" + before + "\ncut-1\t" + cut + "\ncut-2\t{\"id\":\"cut-2\",\"na\n");
    outbox.close();
    Subscriber sub(broker.port(), {"ringdesk/call", "ringdesk/last_call"});
    QTRY_COMPARE_WITH_TIMEOUT(sub.connected.size(), 1, 5000);
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    QProcess monitor;
    startMonitor(monitor);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 1, 10000);
    QCOMPARE(sub.json("ringdesk/call", 0)["id"].toString(), "before-1");

    broker.freeze();
    modem.command("call 6135550002 INFLIGHT CALL");
    QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains("INFLIGHT"), 10000);
    broker.kill(); // its retained messages and sessions die with it
    QVERIFY(broker.start());
    // The only way the broker can hold it as the last call is that it was sent again.
    QTRY_VERIFY_WITH_TIMEOUT(!sub.on("ringdesk/last_call").isEmpty() &&
                                 sub.on("ringdesk/last_call").last().contains("INFLIGHT"),
                             20000);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(outbox.fileName()).size(), 0, 5000);
    for (const QList<QVariant>& message : sub.spy) {
        const QByteArray payload = message.at(1).toByteArray();
        QVERIFY2(QJsonDocument::fromJson(payload).isObject(), payload.constData());
        QVERIFY(!payload.contains("CUT"));
    }
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

// One long outage lets the wait between attempts grow to its longest; once a connection was
// accepted, the next outage starts again from the shortest.
void TestHousehold::theRetryDelayStartsAgainAfterAConnection()
{
    Broker broker(m_home->path());
    MqttOptions options;
    options.host = "127.0.0.1";
    options.port = broker.port();
    options.clientId = "test-retry";
    options.firstRetryMs = 50;
    options.lastRetryMs = 400;
    MqttConnection connection;
    QSignalSpy retrying(&connection, &MqttConnection::retrying);
    QSignalSpy connected(&connection, &MqttConnection::connected);
    connection.start(options);
    QTRY_VERIFY_WITH_TIMEOUT(retrying.size() >= 5, 10000);
    QList<int> delays;
    for (const QList<QVariant>& r : retrying)
        delays << r.at(0).toInt();
    QCOMPARE(delays.mid(0, 5), QList<int>({50, 100, 200, 400, 400}));
    QVERIFY(broker.start());
    QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 5000);
    retrying.clear();
    broker.kill();
    QTRY_VERIFY_WITH_TIMEOUT(!retrying.isEmpty(), 5000);
    QCOMPARE(retrying.first().at(0).toInt(), 50);
    connection.stop();
}

void TestHousehold::aRefusedOrUnreachableBrokerIsReportedOnce_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("tls");
    // The CA file: "" none (the system's), "broker" the broker's own CA, else a file that fails.
    QTest::addColumn<QString>("caFile");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");
    QTest::newRow("wrong password") << "127.0.0.1" << false << ""
                                    << "wrong"
                                    << "refused the connection";
    QTest::newRow("unknown host") << "no-such-broker.invalid" << false << ""
                                  << "secret"
                                  << "unknown host";
    QTest::newRow("TLS to a plain port") << "127.0.0.1" << true << ""
                                         << "secret"
                                         << "TLS failure";
    QTest::newRow("TLS with the broker's CA") << "127.0.0.1" << true << "broker"
                                              << "secret"
                                              << "connected to";
    // A TLS set-up that fails never falls back to clear text, though the broker would take it.
    QTest::newRow("TLS with a missing CA file") << "127.0.0.1" << true << "missing"
                                                << "secret"
                                                << "TLS failure with the CA file";
    QTest::newRow("TLS with an unreadable CA file") << "127.0.0.1" << true << "unreadable"
                                                    << "secret"
                                                    << "TLS failure with the CA file";
    QTest::newRow("TLS with a CA file that is no certificate") << "127.0.0.1" << true << "garbage"
                                                               << "secret"
                                                               << "TLS failure with the CA file";
}

void TestHousehold::aRefusedOrUnreachableBrokerIsReportedOnce()
{
    QFETCH(QString, host);
    QFETCH(bool, tls);
    QFETCH(QString, caFile);
    QFETCH(QString, password);
    QFETCH(QString, expected);
    const bool brokerSpeaksTls = caFile == "broker";
    if (brokerSpeaksTls && QStandardPaths::findExecutable("openssl").isEmpty())
        QSKIP("openssl is not installed: no certificates to test with");
    Broker broker(m_home->path());
    QVERIFY(broker.start(true, brokerSpeaksTls));
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    saveSetting("ZodoDE", "MQTT", "Host", host);
    saveSetting("ZodoDE", "MQTT", "TLS", tls ? "1" : "0");
    const QString ca = m_home->path() + "/" + (brokerSpeaksTls ? "ca.crt" : caFile + ".crt");
    if (caFile == "garbage") {
        QFile file(ca);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("-----BEGIN CERTIFICATE-----\nnot a certificate\n-----END CERTIFICATE-----\n");
    } else if (caFile == "unreadable") {
        QVERIFY(QDir().mkpath(ca)); // a folder: unreadable as a file, by root too
    }
    if (!caFile.isEmpty())
        saveSetting("ZodoDE", "MQTT", "CAFile", ca);
    saveSetting("ZodoDE", "MQTT", "Username", "user");
    saveSetting("ZodoDE", "MQTT", "Password", password);
    QProcess monitor;
    startMonitor(monitor);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains(expected.toUtf8()), 10000);
    modem.command("call 6135551234 SMITH JOHN");
    QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains("SMITH JOHN"), 10000);
    QTest::qWait(3500); // three more attempts at least
    const QString output = QString::fromUtf8(monitor.readAllStandardOutput());
    QCOMPARE(output.count("[MQTT: "), 1);
    if (!brokerSpeaksTls)
        QVERIFY(output.contains("Status: MQTT: "));
    if (tls && !caFile.isEmpty() && !brokerSpeaksTls)
        QVERIFY2(output.contains(ca), qPrintable(output)); // the cause, named
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

// Whoever may publish under the prefix may block a number, let the next call through and hang up
// the call ringing now.
void TestHousehold::theHouseholdBlocksAndHangsUp()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port());
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    saveSetting("ZodoDE", "Screening", "Mode", "1");
    saveSetting("ZodoDE", "Screening", "HangupDelay", "200");
    QProcess monitor;
    startMonitor(monitor);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/status").value(0), QByteArray("online"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(broker.log().contains("Received SUBSCRIBE from house-monitor"), 10000);
    const QString blocked = m_home->path() + "/config/ringdesk/blocked.txt";
    auto send = [&](const QByteArray& command) {
        QVERIFY(sub.connection.publish("ringdesk/command", command, 1, false).valid());
    };
    auto listed = [&] {
        QFile file(blocked);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };

    // Nothing rings yet: the line is not taken off-hook.
    send(R"({"action":"hangup"})");
    QTRY_VERIFY_WITH_TIMEOUT(
        monitor.peek(1 << 20).contains("[Hang up refused: no call is ringing]"), 5000);
    send(R"({"action":"block","number":"613-555-0123"})");
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QByteArray("+1 613-555-0123\n"), 5000);
    modem.command("call 6135550123 STRANGER");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 1, 10000);
    const QJsonObject call = sub.json("ringdesk/call", 0);
    QCOMPARE(call["event_type"].toString(), "blocked");
    QVERIFY(call["blocked"].toBool());
    QCOMPARE(call["block_rule"].toString(), "+1 613-555-0123");
    QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("hook on"), 5000);

    // Let through once: the next call rings although the list blocks it; the one after does not.
    send(R"({"action":"permit_next"})");
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains(
                                 "[The next call that screening would block will ring, once]"),
                             5000);
    modem.command("call 6135550123 STRANGER");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 2, 10000);
    QVERIFY(!sub.json("ringdesk/call", 1)["blocked"].toBool());
    // The broker may hand the call over before the monitor's line is read from its pipe.
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[Let through once: +1 (613) 555-0123, "
                                                            "which screening would block "
                                                            "(+1 613-555-0123)]"),
                             5000);
    modem.command("call 6135550123 STRANGER");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/call").size(), 3, 10000);
    QVERIFY(sub.json("ringdesk/call", 2)["blocked"].toBool());
    QTRY_COMPARE_WITH_TIMEOUT(modem.output().count("hook on"), 2, 5000);

    send(R"({"action":"unblock","number":"(613) 555-0123"})");
    QTRY_COMPARE_WITH_TIMEOUT(listed(), QByteArray(), 5000);
    // Commands are taken in order: once the next one is answered, the unblock has settled.
    send(R"({"action":"block"})");
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[MQTT: a command that is none: "),
                             5000);
    QCOMPARE(modem.output().count("hook off"), 2);
    send(R"({"action":"hangup"})");
    QTRY_COMPARE_WITH_TIMEOUT(modem.output().count("hook off"), 3, 5000);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
}

// A modem that stops answering is told on <prefix>/modem, retained, and so is its recovery.
void TestHousehold::theModemsStateIsRetained()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port(), {"ringdesk/modem"});
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    saveSetting("ZodoDE", "Modem", "CheckInterval", "2");
    saveSetting("ZodoDE", "Modem", "ModemResponseTimeout", "500");
    QProcess monitor;
    startMonitor(monitor);
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/modem"), QList<QByteArray>{"answering"}, 15000);
    modem.command("hang");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/modem").value(1), QByteArray("not answering"),
                              15000);
    modem.command("wake");
    QTRY_COMPARE_WITH_TIMEOUT(sub.on("ringdesk/modem").value(2), QByteArray("answering"), 20000);
    QCOMPARE(sub.on("ringdesk/modem").size(), 3);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));
    // Whoever subscribes later learns the state from the broker.
    Subscriber late(broker.port(), {"ringdesk/modem"});
    QTRY_COMPARE_WITH_TIMEOUT(late.on("ringdesk/modem"), QList<QByteArray>{"answering"}, 10000);
}

void TestHousehold::aSecondDesktopShowsTheCall()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port(), {"ringdesk/call"});
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    QProcess monitor;
    startMonitor(monitor);

    // Another user's desktop with no modem of its own, subscribed to the same prefix.
    TestHome desktopHome;
    saveSetting("ZodoDE", "Setup", "AreaCode", "613");
    saveSetting("ZodoDE", "Setup", "Minimize", "1");
    saveSetting("ZodoDE", "MQTT", "Host", "127.0.0.1");
    saveSetting("ZodoDE", "MQTT", "Port", QString::number(broker.port()));
    saveSetting("ZodoDE", "MQTT", "Subscribe", "1");
    QProcess desktop;
    TestHome::startProgram(desktop, "ringdesk", "offscreen");
    QVERIFY(desktop.waitForStarted());
    // The desktop has joined the broker and asked for the calls.
    QTRY_VERIFY_WITH_TIMEOUT(broker.log().contains("Received SUBSCRIBE from ringdesk-"), 15000);
    // Its id was made once and kept with its settings, not taken from where they lie.
    const QString deviceId = readSetting("ZodoDE", "MQTT", "DeviceId", "");
    QCOMPARE(deviceId.size(), 8);
    QVERIFY(broker.log().contains(("Received SUBSCRIBE from ringdesk-" +
                                   QSysInfo::machineHostName().left(40) + '-' + deviceId)
                                      .toUtf8()));

    modem.command("call 6135551234 SMITH JOHN");
    QTRY_VERIFY_WITH_TIMEOUT(logOf(desktopHome).contains("+1 (613) 555-1234 SMITH JOHN"), 15000);
    // Its own address book was asked, and a contact made there as for a call of its own.
    QTRY_COMPARE(QDir(desktopHome.dataDir() + "contacts").entryList(QDir::Files).size(), 1);
    // It sends nothing back: one call on the bus.
    QTest::qWait(1000);
    QCOMPARE(sub.on("ringdesk/call").size(), 1);

    // The same call again is dropped; one with an id of its own, from elsewhere, is shown.
    const QByteArray payload = sub.on("ringdesk/call").first();
    QJsonObject other = QJsonDocument::fromJson(payload).object();
    other["id"] = "another-call";
    other["client"] = "kitchen";
    for (const QByteArray& message :
         {payload, payload, QJsonDocument(other).toJson(QJsonDocument::Compact)})
        QVERIFY(sub.connection.publish("ringdesk/call", message, 1, false).valid());
    QTRY_COMPARE_WITH_TIMEOUT(logOf(desktopHome).count("SMITH JOHN"), 2, 10000);
    QTest::qWait(500);
    QCOMPARE(logOf(desktopHome).count("SMITH JOHN"), 2);

    // A call the publisher blocked is logged as blocked: no card, no pop-up, no notification.
    QJsonObject blocked = other;
    blocked["id"] = "blocked-call";
    blocked["number"] = "+1 (613) 555-0199";
    blocked["e164"] = "+16135550199";
    blocked["name"] = "ROBO CALLER";
    blocked["blocked"] = true;
    blocked["block_rule"] = "1613555*";
    blocked["event_type"] = "blocked";
    QVERIFY(sub.connection
                .publish("ringdesk/call", QJsonDocument(blocked).toJson(QJsonDocument::Compact), 1,
                         false)
                .valid());
    QTRY_VERIFY_WITH_TIMEOUT(logOf(desktopHome).contains("ROBO CALLER"), 10000);
    QCOMPARE(QDir(desktopHome.dataDir() + "contacts").entryList(QDir::Files).size(), 1);

    desktop.terminate();
    monitor.terminate();
    QVERIFY(desktop.waitForFinished(10000));
    QVERIFY(monitor.waitForFinished(10000));
    QFile events(desktopHome.dataDir() + "CallEvnt.txt");
    QVERIFY(events.open(QIODevice::ReadOnly));
    QVERIFY(events.readAll().contains("[Blocked +1 (613) 555-0199: 1613555*]"));
}

namespace {

// Control characters (C0 but tab, DEL, C1 in UTF-8) and line ends other than `lineEnd`.
bool hasControls(const QByteArray& bytes, const QByteArray& lineEnd)
{
    const QByteArray rest = QByteArray(bytes).replace(lineEnd, "");
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const uchar c = uchar(rest.at(i));
        if ((c < 0x20 && c != '\t') || c == 0x7f)
            return true;
        if (c == 0xc2 && i + 1 < rest.size() && uchar(rest.at(i + 1)) >= 0x80 &&
            uchar(rest.at(i + 1)) <= 0x9f)
            return true;
    }
    return false;
}

} // namespace

void TestHousehold::aDesktopWithoutAModemSaysWhereItsCallsComeFrom()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    saveSetting("ZodoDE", "Setup", "FindModem", "0");
    saveSetting("ZodoDE", "MQTT", "Host", "127.0.0.1");
    saveSetting("ZodoDE", "MQTT", "Port", QString::number(broker.port()));
    saveSetting("ZodoDE", "MQTT", "Subscribe", "1");
    WindowControl window;
    Monitor monitor(window);
    monitor.addressBookProbe = [](QString*) {
        return true;
    };
    monitor.load();
    QSignalSpy activated(&monitor, &Monitor::activated);
    monitor.activate();
    QTRY_COMPARE(activated.count(), 1);
    const QString expected =
        QString("Calls from the household's broker at 127.0.0.1:%1").arg(broker.port());
    QTRY_COMPARE_WITH_TIMEOUT(monitor.state().field(MonitorState::Status), expected, 10000);
    // Switched on and off again, the modem gives the status line back.
    monitor.setModemEnabled(true);
    monitor.setModemEnabled(false);
    QCOMPARE(monitor.state().field(MonitorState::Status), expected);
    monitor.unload();
}

// A caller's escape sequences from the modem, and a forged record from the broker, reach no log,
// card or terminal: each record of the call log is one line.
void TestHousehold::textFromOutsideIsCleanedEverywhere()
{
    Broker broker(m_home->path());
    QVERIFY(broker.start());
    Subscriber sub(broker.port(), {"ringdesk/call"});
    QTRY_COMPARE_WITH_TIMEOUT(sub.connected.size(), 1, 5000);
    ModemSim modem({"--accept", "AT+VCID=1"});
    configure(modem.device(), broker.port());
    saveSetting("ZodoDE", "MQTT", "Subscribe", "1");
    saveSetting("ZodoDE", "Setup", "AutoCreateContact", "1");
    QProcess monitor;
    startMonitor(monitor);
    QTRY_VERIFY_WITH_TIMEOUT(monitor.peek(1 << 20).contains("[MQTT: connected"), 10000);

    QFile block(m_home->path() + "/evil-call");
    QVERIFY(block.open(QIODevice::WriteOnly));
    block.write("RING\r\n\r\nDATE = 0101\r\nTIME = 0000\r\nNMBR = 6135550100\r\n"
                "NAME = EVIL\x1b[31mRED\x07\x7f\xc2\x9b"
                "2J\xc2\x85X\r\n\r\n");
    block.close();
    modem.command("replay " + block.fileName().toLocal8Bit());
    QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains("EVIL"), 10000);

    const QString forged = "FORGED\r\n\"01/01 00:00 +1 (900) 555-0100 FORGED RECORD\x1b[2J\x07" +
                           QString(QChar(0)) + "\x7f\u009b\u2028END";
    const QJsonObject call{{"id", "forged-1"},     {"date", "01/01"},
                           {"time", "00:00"},      {"number", "+1 (900) 555-0100\r\nX"},
                           {"name", forged},       {"withheld", QJsonValue::Null},
                           {"client", "elsewhere"}};
    QVERIFY(
        sub.connection.publish("ringdesk/call", QJsonDocument(call).toJson(), 1, false).valid());
    QTRY_VERIFY_WITH_TIMEOUT(logOf(*m_home).contains("FORGED"), 10000);
    QTRY_COMPARE(QDir(m_home->dataDir() + "contacts").entryList(QDir::Files).size(), 2);
    monitor.terminate();
    QVERIFY(monitor.waitForFinished(10000));

    QFile log(m_home->dataDir() + "CallLog.txt");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray records = log.readAll();
    QVERIFY2(!hasControls(records, "\r\n"), records.constData());
    QCOMPARE(records.count("\r\n"), 2);
    QVERIFY(records.contains("EVIL[31mRED2J X"));
    QVERIFY(records.contains(" +1 (900) 555-0100 X FORGED \"01/01 00:00 +1 (900) 555-0100 FORGED "
                             "RECORD[2J END\"\r\n"));
    const QByteArray output = monitor.readAllStandardOutput();
    QVERIFY2(!hasControls(output, "\n"), output.constData());
    QVERIFY(output.contains("EVIL[31mRED2J X"));
    for (const QString& name : QDir(m_home->dataDir() + "contacts").entryList(QDir::Files)) {
        QFile card(m_home->dataDir() + "contacts/" + name);
        QVERIFY(card.open(QIODevice::ReadOnly));
        const QByteArray text = card.readAll();
        QVERIFY2(!hasControls(text, "\r\n"), text.constData());
    }
}

void TestHousehold::configTestsAndSavesTheNetworkSettings()
{
    Broker broker(m_home->path());
    SetupWindow window;
    Ui::SetupWindow& ui = window.ui();
    QCOMPARE(ui.brokerPortField->text(), "1883");
    QCOMPARE(ui.topicField->text(), "ringdesk");
    ui.hostField->setText("127.0.0.1");
    ui.brokerPortField->setText(QString::number(broker.port()));
    ui.testButton->click();
    QTRY_VERIFY(!window.testingConnection());
    QVERIFY2(ui.testResult->text().startsWith("Failed: Connection refused"),
             qPrintable(ui.testResult->text()));
    QVERIFY(broker.start(true));
    ui.testButton->click();
    QTRY_VERIFY(!window.testingConnection());
    QVERIFY2(ui.testResult->text().contains("not authorised") ||
                 ui.testResult->text().contains("bad user name or password"),
             qPrintable(ui.testResult->text()));
    ui.userField->setText("user");
    ui.passwordField->setText("secret");
    ui.testButton->click();
    QTRY_VERIFY(!window.testingConnection());
    QCOMPARE(ui.testResult->text(), QString("Connected to 127.0.0.1:%1.").arg(broker.port()));

    // Only what differs from the stored (or default) values is written.
    ui.subscribeBox->setChecked(true);
    window.save();
    QFile ini(m_home->path() + "/config/zodode.ini");
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QString stored = QString::fromUtf8(ini.readAll());
    for (const char* line : {"Host=127.0.0.1", "Username=user", "Password=secret", "Subscribe=1"})
        QVERIFY2(stored.contains(line), line);
    for (const char* key : {"Topic=", "TLS=", "ClientId=", "CAFile="})
        QVERIFY2(!stored.contains(key), key);
}

QTEST_MAIN(TestHousehold)
#include "tst_household.moc"
