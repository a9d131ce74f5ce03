// The call as JSON on the household's bus: what another monitor reads back, what it refuses,
// and what Home Assistant is told.
#include "bus/CallMessage.h"
#include "common/CommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

class TestCallMessage : public QObject
{
    Q_OBJECT
private slots:
    void readsBackWhatItWrites_data();
    void readsBackWhatItWrites();
    void refusesWhatIsNoCall_data();
    void refusesWhatIsNoCall();
    void discoveryAsHomeAssistantWantsIt();
};

void TestCallMessage::readsBackWhatItWrites_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<int>("withheld");
    QTest::newRow("a number") << "+1 (613) 555-1234" << int(CallRecord::Withheld::No);
    QTest::newRow("private") << "Private" << int(CallRecord::Withheld::Private);
    QTest::newRow("out of area") << "Out of Area" << int(CallRecord::Withheld::OutOfArea);
}

void TestCallMessage::readsBackWhatItWrites()
{
    QFETCH(QString, number);
    QFETCH(int, withheld);
    CallRecord call;
    call.id = "0f6e";
    call.date = "12/07";
    call.time = "13:54";
    call.number = number;
    call.e164 = number.startsWith('+') ? "+16135551234" : "";
    call.name = "SMITH JOHN";
    call.withheld = CallRecord::Withheld(withheld);
    call.line = "/dev/ttyACM0";
    call.received = QDateTime::currentDateTime();
    const std::optional<CallRecord> back = CallMessage::fromJson(CallMessage::toJson(call, "desk"));
    QVERIFY(back);
    QCOMPARE(back->id, call.id);
    QCOMPARE(back->date, call.date);
    QCOMPARE(back->time, call.time);
    QCOMPARE(back->number, call.number);
    QCOMPARE(back->e164, call.e164);
    QCOMPARE(back->name, call.name);
    QCOMPARE(int(back->withheld), withheld);
    QCOMPARE(back->line, call.line);
    QCOMPARE(back->origin, "desk");
    QCOMPARE(back->received.toMSecsSinceEpoch(), call.received.toMSecsSinceEpoch());
}

void TestCallMessage::refusesWhatIsNoCall_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("{\"id\":\"1\",\"date\":");
    QTest::newRow("a list") << QByteArray("[{\"id\":\"1\",\"date\":\"12/07\"}]");
    QTest::newRow("without id") << QByteArray("{\"date\":\"12/07\",\"name\":\"X\"}");
    QTest::newRow("without date") << QByteArray("{\"id\":\"1\",\"name\":\"X\"}");
    QTest::newRow("blank id") << QByteArray("{\"id\":\" \",\"date\":\"12/07\"}");
    QTest::newRow("id of control characters")
        << QByteArray("{\"id\":\"\\u001b\\u0007\",\"date\":\"1\"}");
}

// Shown, such a message would be a blank call in the list and the log.
void TestCallMessage::refusesWhatIsNoCall()
{
    QFETCH(QByteArray, json);
    QVERIFY(!CallMessage::fromJson(json));
}

void TestCallMessage::discoveryAsHomeAssistantWantsIt()
{
    const QList<CallMessage::Discovery> configs = CallMessage::homeAssistant("ringdesk", "desk");
    // The call event, the last caller, the hang-up button, unheard messages, the message event.
    QCOMPARE(configs.size(), 5);
    const QJsonObject unheard = QJsonDocument::fromJson(configs.at(3).payload).object();
    QVERIFY(configs.at(3).topic.startsWith("homeassistant/sensor/") &&
            configs.at(3).topic.endsWith("/unheard_messages/config"));
    QCOMPARE(unheard["state_topic"].toString(), "ringdesk/messages");
    QCOMPARE(unheard["value_template"].toString(), "{{ value_json.unheard }}");
    const QJsonObject message = QJsonDocument::fromJson(configs.at(4).payload).object();
    QCOMPARE(message["event_types"].toArray(), QJsonArray{"message"});
    for (const CallMessage::Discovery& d : configs) {
        const QJsonObject config = QJsonDocument::fromJson(d.payload).object();
        QCOMPARE(config["qos"].toInt(), 1);
        QCOMPARE(config["origin"].toObject()["name"].toString(), "ringdesk");
        QCOMPARE(config["origin"].toObject()["sw_version"].toString(), CommandLine::version());
        QCOMPARE(config["device"].toObject()["sw_version"].toString(), CommandLine::version());
    }
}

QTEST_APPLESS_MAIN(TestCallMessage)
#include "tst_callmessage.moc"
