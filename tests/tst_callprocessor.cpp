#include "calls/CallLogFile.h"
#include "calls/CallProcessor.h"
#include "calls/CallerContacts.h"
#include "calls/CallerName.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A query in words, as a filter of an older address book spelled it: what is asked for and of
// which field, values quoted with inner quotes doubled.
QString describe(const ContactQuery& query)
{
    auto quoted = [](QString value) {
        return u'"' + value.replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    QStringList terms;
    if (query.lastName && query.firstName)
        terms << QStringLiteral("[LastName] = ") + quoted(*query.lastName) +
                     QStringLiteral(" and [FirstName]=") + quoted(*query.firstName);
    if (query.company)
        terms << QStringLiteral("[CompanyName] = ") + quoted(*query.company);
    if (query.number)
        terms << QStringLiteral("[BusinessTelephoneNumber] = ") + quoted(*query.number);
    return terms.join(QStringLiteral(" and "));
}

// Records what call processing asks of the address book and answers searches from a list of
// queries that "find" a contact.
struct FakeContacts : CallerContacts
{
    std::optional<FoundContact> find(const ContactQuery& query, const QString&,
                                     const QString&) override
    {
        const QString filter = describe(query);
        calls << QStringLiteral("search ") + filter;
        emit eventLine("[Opening Outlook Contact...]");
        if (found.contains(filter))
            return FoundContact{nullptr, "John", "Smith", "ACME LTD"};
        emit eventLine("[Couldn't find it!]");
        return std::nullopt;
    }
    void createContact(NewFor what, const QString&, const QString&) override
    {
        calls << (what == NewFor::Name ? "contact Name" : "contact other");
    }
    void createJournal(bool forCaller, const QString& names, const QString&,
                       const QString& company) override
    {
        calls << (forCaller ? "journal Name" : "journal other");
        journalNames = names;
        journalCompany = company;
    }

    QStringList found;
    QStringList calls;
    QString journalNames;
    QString journalCompany;
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
    void noteEvent(const QString& line) { m_events << line; }
    void init();
    void cleanup();
    void callerNameSplits_data();
    void callerNameSplits();
    void searchesAndCreations_data();
    void searchesAndCreations();
    void withheldAndUnstartedRecords();
    void searchOffStillCreatesContact();
    void createContactNeedsEnabledBox();
    void quotesInCallerTextCannotChangeTheFilter();
    void logLineAndFile();
    void unwritableLogStillFinishesTheCall();

private:
    // recordState: 0 not begun by a DATE line, 1 a call, 2 a call whose number was withheld.
    void process(const QString& number, const QString& name, int recordState = 1);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<FakeContacts> m_contacts;
    std::unique_ptr<CallLogFile> m_log;
    std::unique_ptr<CallProcessor> m_processor;
    CallOptions m_options;
    QStringList m_calls;  // the calls logged, as the call list shows them
    QStringList m_events; // and the event list
};

void TestCallProcessor::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_contacts = std::make_unique<FakeContacts>();
    m_log = std::make_unique<CallLogFile>();
    m_log->setFolder(m_dir->path() + '/');
    m_processor = std::make_unique<CallProcessor>(*m_contacts, *m_log);
    m_options = CallOptions();
    m_options.searchContacts = m_options.createContact = m_options.createJournal = true;
    m_calls.clear();
    m_events.clear();
    connect(m_processor.get(), &CallProcessor::callProcessed, this,
            [this](const CallRecord& call) { m_calls << call.logLine(); });
    for (QObject* reporter :
         {static_cast<QObject*>(m_processor.get()), static_cast<QObject*>(m_contacts.get()),
          static_cast<QObject*>(m_log.get())})
        connect(reporter, SIGNAL(eventLine(QString)), this, SLOT(noteEvent(QString)));
}

void TestCallProcessor::cleanup()
{
    m_processor.reset();
    m_log.reset();
    m_contacts.reset();
    m_dir.reset();
}

void TestCallProcessor::process(const QString& number, const QString& name, int recordState)
{
    CallerId record;
    record.date = "12/06";
    record.time = "10:41";
    record.number = number;
    record.name = name;
    record.begun = recordState != 0;
    record.withheld = recordState == 2;
    m_processor->processCallId(record, m_options);
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
    // A company is looked for as one: its legal form is nobody's first name.
    const QString company = R"([CompanyName] = "ACME LTD" and [BusinessTelephoneNumber] = ")";
    QTest::newRow("company caller")
        << intl << "ACME LTD" << QStringList{company + local + '"'}
        << QStringList{"search " + company + intl + '"', "search " + company + local + '"',
                       "journal Name"};
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
    process(number, name);
    QTEST(m_contacts->calls, "calls");
    QCOMPARE(m_calls.size(), 1);
}

void TestCallProcessor::withheldAndUnstartedRecords()
{
    process("Private", "", 2);
    process("Out of Area", "", 2);
    QVERIFY(m_contacts->calls.isEmpty());
    QCOMPARE(m_calls, QStringList({"12/06 10:41 Private ", "12/06 10:41 Out of Area "}));

    process("+1 (613) 555-1234", "SMITH JOHN", 0);
    QVERIFY(m_contacts->calls.isEmpty());
    QCOMPARE(m_calls.size(), 2);
}

void TestCallProcessor::searchOffStillCreatesContact()
{
    m_options.searchContacts = false;
    m_contacts->found = QStringList{F1};
    process("+1 (613) 555-1234", "SMITH JOHN");
    QCOMPARE(m_contacts->calls, QStringList({"contact Name"}));
    QCOMPARE(m_events, QStringList({"[Creating New Contact]"}));
}

void TestCallProcessor::createContactNeedsEnabledBox()
{
    // The monitor asks for no contact while the box may not be used.
    m_options.createContact = false;
    process("+1 (613) 555-1234", "SMITH JOHN");
    QCOMPARE(m_contacts->calls, QStringList({"search " + F1, "search " + F2}));
    QCOMPARE(m_events.count("[Couldn't find it!]"), 2);
    QVERIFY(!m_events.contains("[Creating New Contact]"));
}

void TestCallProcessor::quotesInCallerTextCannotChangeTheFilter()
{
    process("", "O\"BRIEN\" or [LastName]=\"X");
    QCOMPARE(m_contacts->calls.first(),
             R"(search [LastName] = "O""BRIEN""" and [FirstName]="or [LastName]=""X")");
}

void TestCallProcessor::logLineAndFile()
{
    process("(613) 555-1234", "SMITH JOHN");
    process("(613) 555-1234", "");
    QCOMPARE(m_calls,
             QStringList({"12/06 10:41 (613) 555-1234 SMITH JOHN", "12/06 10:41 (613) 555-1234 "}));
    QFile file(m_log->callLogPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("\"12/06 10:41 (613) 555-1234 SMITH JOHN\"\r\n"
                                        "\"12/06 10:41 (613) 555-1234 \"\r\n"));
}

void TestCallProcessor::unwritableLogStillFinishesTheCall()
{
    m_log->setFolder(m_dir->path() + "/missing/");
    process("(613) 555-1234", "SMITH JOHN");
    QCOMPARE(m_calls.size(), 1);
    // The call is logged before the address book is written to, so its line comes first.
    const QString couldNot = "[Couldn't write " + m_dir->path() + "/missing/CallLog.txt: ";
    QVERIFY(std::any_of(m_events.cbegin(), m_events.cend(),
                        [&](const QString& line) { return line.startsWith(couldNot); }));
}

void TestCallProcessor::callerNameSplits_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("company");
    const auto row = [](const char* what, const char* name, const char* last, const char* first,
                        const char* company = "") {
        QTest::newRow(what) << name << last << first << company;
    };
    row("two words", "SMITH JOHN", "SMITH", "JOHN");
    row("three words", "SMITH JOHN A", "SMITH", "JOHN A");
    row("one word", "SMITH", "SMITH", "");
    row("two spaces", "SMITH  JOHN", "SMITH", " JOHN");
    row("leading space", " SMITH", "", "SMITH");
    row("trailing space", "SMITH JOHN ", "SMITH", "JOHN");
    row("empty", "", "", "");
    row("only spaces", "   ", "", "");
    row("tab is not a separator", "SMITH\tJOHN", "SMITH\tJOHN", "");
    // A company stays whole: its legal form is no first name.
    row("company", "ACME LTD", "", "", "ACME LTD");
    row("form with dots and case", "Widgets Co.", "", "", "Widgets Co.");
    row("form after a comma", "ACME, INC.", "", "", "ACME, INC.");
    row("German form, trailing space", "MUELLER GMBH ", "", "", "MUELLER GMBH");
    row("form alone is a surname", "LTD", "LTD", "");
    row("form inside a word", "COSTA SAMANTHA", "COSTA", "SAMANTHA");
    row("person's name that is no form", "LEE AB", "LEE", "AB");
}

void TestCallProcessor::callerNameSplits()
{
    QFETCH(QString, name);
    const CallerName names = CallerName::split(name);
    QTEST(names.last, "last");
    QTEST(names.first, "first");
    QTEST(names.company, "company");
}

QTEST_GUILESS_MAIN(TestCallProcessor)
#include "tst_callprocessor.moc"
