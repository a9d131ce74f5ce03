#include "calls/CallLogFile.h"
#include "calls/CallProcessor.h"
#include "calls/ContactLink.h"
#include "state/MonitorState.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Records what call processing asks of the address book and answers searches from a list of
// filters that "find" a contact.
struct FakeContacts : ContactLink
{
    explicit FakeContacts(MonitorState& state) : state(state) {}

    void SearchInContact(const QString& filter) override
    {
        calls << QStringLiteral("search ") + filter;
        state.appendEvent("[Opening Outlook Contact...]");
        if (found.contains(filter)) {
            state.ContactFound = 1;
            state.CallerFirstName = "John";
            state.CallerLastName = "Smith";
            state.CallerCompany = "ACME LTD";
        } else {
            state.appendEvent("[Couldn't find it!]");
            state.ContactFound = 0;
        }
    }
    void CreateContact(const QString& forWhat) override { calls << "contact " + forWhat; }
    void CreateJournal(const QString& forWhat) override { calls << "journal " + forWhat; }

    MonitorState& state;
    QStringList found;
    QStringList calls;
};

const QString F1 =
    R"([LastName] = "SMITH" and [FirstName]="JOHN" and [BusinessTelephoneNumber] = "+1 (613) 555-1234")";
const QString F2 =
    R"([LastName] = "SMITH" and [FirstName]="JOHN" and [BusinessTelephoneNumber] = "(613) 555-1234")";
const QString F3 = R"([LastName] = "SMITH" and [FirstName]="JOHN")";
const QString F4 = R"([BusinessTelephoneNumber] = "+1 (613) 555-1234")";
const QString F5 = R"([BusinessTelephoneNumber] = "(613) 555-1234")";

} // namespace

class TestCallProcessor : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void searchesAndCreations_data();
    void searchesAndCreations();
    void withheldAndUnstartedRecords();
    void searchOffStillCreatesContact();
    void createContactNeedsEnabledBox();
    void quotesInCallerTextCannotChangeTheFilter();
    void logLineAndFile();
    void unwritableLogStillFinishesTheCall();

private:
    void record(const QString& number, const QString& name, int recordState = 1);

    QTemporaryDir* m_dir = nullptr;
    MonitorState* m_state = nullptr;
    FakeContacts* m_contacts = nullptr;
    CallLogFile* m_log = nullptr;
    CallProcessor* m_processor = nullptr;
};

void TestCallProcessor::init()
{
    m_dir = new QTemporaryDir;
    m_state = new MonitorState;
    m_state->LogDirectory = m_dir->path() + '/';
    for (int box : {2, 3, 5})
        m_state->setCheck(box, 1);
    m_contacts = new FakeContacts(*m_state);
    m_log = new CallLogFile(*m_state);
    m_processor = new CallProcessor(*m_state, *m_contacts, *m_log);
}

void TestCallProcessor::cleanup()
{
    delete m_processor;
    delete m_log;
    delete m_contacts;
    delete m_state;
    delete m_dir;
}

void TestCallProcessor::record(const QString& number, const QString& name, int recordState)
{
    m_state->setField(MonitorState::CallIDDate, "12/06");
    m_state->setField(MonitorState::CallIDTime, "10:41");
    m_state->setField(MonitorState::CallIDNumber, number);
    m_state->setField(MonitorState::CallIDName, name);
    m_state->CallRecordState = qint16(recordState);
}

void TestCallProcessor::searchesAndCreations_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("calls");
    const QString intl = "+1 (613) 555-1234";
    const QString local = "(613) 555-1234";
    QTest::newRow("stored international")
        << intl << "SMITH JOHN" << QStringList{F1} << QStringList{"search " + F1, "journal Name"};
    QTest::newRow("stored national") << intl << "SMITH JOHN" << QStringList{F2}
                                     << QStringList{"search " + F1, "search " + F2, "journal Name"};
    QTest::newRow("local number gets prefix")
        << local << "SMITH JOHN" << QStringList{}
        << QStringList{"search " + F1, "search " + F2, "contact Name"};
    QTest::newRow("not a contact") << intl << "SMITH JOHN" << QStringList{}
                                   << QStringList{"search " + F1, "search " + F2, "contact Name"};
    QTest::newRow("name only, found")
        << ""
        << "SMITH JOHN" << QStringList{F3} << QStringList{"search " + F3, "journal Name"};
    QTest::newRow("name only, not found")
        << ""
        << "SMITH JOHN" << QStringList{} << QStringList{"search " + F3, "contact Name"};
    QTest::newRow("number only, second form")
        << intl << "" << QStringList{F5}
        << QStringList{"search " + F4, "search " + F5, "journal Name"};
    QTest::newRow("number only, not found")
        << local << "" << QStringList{}
        << QStringList{"search " + F4, "search " + F5, "contact Name"};
    QTest::newRow("nothing to search") << ""
                                       << "" << QStringList{} << QStringList{"contact Name"};
    QTest::newRow("long number drops three characters")
        << "(123) 456-789012"
        << "" << QStringList{}
        << QStringList{"search [BusinessTelephoneNumber] = \"(123) 456-789012\"",
                       "search [BusinessTelephoneNumber] = \"3) 456-789012\"", "contact Name"};
}

void TestCallProcessor::searchesAndCreations()
{
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(QStringList, found);
    m_contacts->found = found;
    record(number, name);
    m_processor->ProcessCallID();
    QTEST(m_contacts->calls, "calls");
    QCOMPARE(m_state->CallRecordState, 0);
    QCOMPARE(m_state->calls().size(), 1);
}

void TestCallProcessor::withheldAndUnstartedRecords()
{
    record("Private", "", 2);
    m_processor->ProcessCallID();
    record("Out of Area", "", 2);
    m_processor->ProcessCallID();
    QVERIFY(m_contacts->calls.isEmpty());
    QCOMPARE(m_state->calls(), QStringList({"12/06 10:41 Private ", "12/06 10:41 Out of Area "}));

    record("+1 (613) 555-1234", "SMITH JOHN", 0);
    m_processor->ProcessCallID();
    QVERIFY(m_contacts->calls.isEmpty());
    QCOMPARE(m_state->calls().size(), 2);
}

void TestCallProcessor::searchOffStillCreatesContact()
{
    m_state->setCheck(2, 0);
    m_contacts->found = QStringList{F1};
    record("+1 (613) 555-1234", "SMITH JOHN");
    m_processor->ProcessCallID();
    QCOMPARE(m_contacts->calls, QStringList({"contact Name"}));
    QCOMPARE(m_state->events(), QStringList({"[Creating New Contact]"}));
}

void TestCallProcessor::createContactNeedsEnabledBox()
{
    m_state->setCheckEnabled(3, false);
    record("+1 (613) 555-1234", "SMITH JOHN");
    m_processor->ProcessCallID();
    QCOMPARE(m_contacts->calls, QStringList({"search " + F1, "search " + F2}));
    QCOMPARE(m_state->events().count("[Couldn't find it!]"), 2);
    QVERIFY(!m_state->events().contains("[Creating New Contact]"));
}

void TestCallProcessor::quotesInCallerTextCannotChangeTheFilter()
{
    record("", "O\"BRIEN\" or [LastName]=\"X");
    m_processor->ProcessCallID();
    QCOMPARE(m_contacts->calls.first(),
             R"(search [LastName] = "O""BRIEN""" and [FirstName]="or [LastName]=""X")");
}

void TestCallProcessor::logLineAndFile()
{
    record("(613) 555-1234", "SMITH JOHN");
    m_processor->ProcessCallID();
    record("(613) 555-1234", "");
    m_processor->ProcessCallID();
    QCOMPARE(m_state->calls(),
             QStringList({"12/06 10:41 (613) 555-1234 SMITH JOHN", "12/06 10:41 (613) 555-1234 "}));
    QFile file(m_log->callLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\"12/06 10:41 (613) 555-1234 SMITH JOHN\"\r\n"
                                        "\"12/06 10:41 (613) 555-1234 \"\r\n"));
}

void TestCallProcessor::unwritableLogStillFinishesTheCall()
{
    m_state->LogDirectory = m_dir->path() + "/missing/";
    record("(613) 555-1234", "SMITH JOHN");
    m_processor->ProcessCallID();
    QCOMPARE(m_state->CallRecordState, 0);
    QCOMPARE(m_state->calls().size(), 1);
    QVERIFY(m_state->events().last().startsWith("[Couldn't write " + m_dir->path() +
                                                "/missing/CallLog.txt: "));
}

QTEST_GUILESS_MAIN(TestCallProcessor)
#include "tst_callprocessor.moc"
