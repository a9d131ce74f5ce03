#include "AddressBookPaths.h"
#include "CallLogFile.h"
#include "CallProcessor.h"
#include "JournalItem.h"
#include "MonitorState.h"
#include "OutlookLink.h"
#include "TestHome.h"
#include "VCard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

struct RecordingViewer : ItemViewer
{
    QList<std::shared_ptr<OutlookItem>> shown;
    void show(const std::shared_ptr<OutlookItem>& item) override { shown << item; }
};

} // namespace

class TestOutlookLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void searchFindsAndDisplays();
    void searchThatFindsNothing();
    void companyFollowsTheContactFound();
    void createContact_data();
    void createContact();
    void journalIsShownNotSaved();
    void manualNumberSearch_data();
    void manualNumberSearch();
    void manualNameSearch();
    void callsBuildTheAddressBook();

private:
    void addContact(const QString& file, const QByteArray& card);
    QStringList contactFiles() const;
    void caller(const QString& number, const QString& name);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MonitorState> m_state;
    std::unique_ptr<AddressBook> m_book;
    std::unique_ptr<OutlookLink> m_link;
    RecordingViewer m_viewer;
};

void TestOutlookLink::init()
{
    m_home = std::make_unique<TestHome>();
    m_state = std::make_unique<MonitorState>();
    m_state->AreaCode = "613";
    m_book = std::make_unique<AddressBook>();
    m_link = std::make_unique<OutlookLink>(*m_state, *m_book);
    m_viewer.shown.clear();
    m_book->setViewer(&m_viewer);
}

void TestOutlookLink::cleanup()
{
    m_link.reset();
    m_book.reset();
    m_state.reset();
    m_home.reset();
}

void TestOutlookLink::addContact(const QString& file, const QByteArray& card)
{
    const QString folder = AddressBookPaths::contactsFolder();
    QVERIFY(AddressBookPaths::ensureFolder(folder));
    QFile out(folder + '/' + file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(card);
}

QStringList TestOutlookLink::contactFiles() const
{
    return QDir(AddressBookPaths::contactsFolder()).entryList({"*.vcf"}, QDir::Files);
}

void TestOutlookLink::caller(const QString& number, const QString& name)
{
    m_state->setField(MonitorState::CallIDNumber, number);
    m_state->setField(MonitorState::CallIDName, name);
}

void TestOutlookLink::searchFindsAndDisplays()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nORG:ACME LTD\r\n"
                        "TEL;TYPE=WORK:613-555-1234\r\nEND:VCARD\r\n");
    caller("(613) 555-1234", "SMITH JOHN");
    m_link->SearchInContact(R"([BusinessTelephoneNumber] = "(613) 555-1234")");
    QCOMPARE(m_state->ContactFound, 1);
    QCOMPARE(m_state->events(), QStringList({"[Opening Outlook Contact...]",
                                             "[Searching for SMITH JOHN and/or (613) 555-1234]",
                                             "[Found it! Now displaying contact information]"}));
    QCOMPARE(m_state->CallerFirstName, "John");
    QCOMPARE(m_state->CallerLastName, "Smith");
    QCOMPARE(m_state->CallerCompany, "ACME LTD");
    QCOMPARE(m_viewer.shown.size(), 1);
}

void TestOutlookLink::searchThatFindsNothing()
{
    m_state->CallerFirstName = "Keep";
    m_link->SearchInContact(R"([LastName] = "Nobody" and [FirstName]="")");
    QCOMPARE(m_state->ContactFound, 0);
    QCOMPARE(m_state->events().last(), "[Couldn't find it!]");
    QCOMPARE(m_state->events().size(), 3);
    QCOMPARE(m_state->CallerFirstName, "Keep");
    // A filter the address book cannot read fails the same way.
    m_link->SearchInContact(R"([Email] = "x")");
    QCOMPARE(m_state->events().last(), "[Couldn't find it!]");
    QVERIFY(m_viewer.shown.isEmpty());
}

void TestOutlookLink::companyFollowsTheContactFound()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nORG:ACME LTD\r\n"
                        "END:VCARD\r\n");
    addContact("b.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane;;;\r\nEND:VCARD\r\n");
    m_link->SearchInContact(R"([LastName] = "Smith" and [FirstName]="John")");
    QCOMPARE(m_state->CallerCompany, "ACME LTD");
    m_link->SearchInContact(R"([LastName] = "Doe" and [FirstName]="Jane")");
    QCOMPARE(m_state->ContactFound, 1);
    QCOMPARE(m_state->CallerCompany, "");
}

void TestOutlookLink::createContact_data()
{
    QTest::addColumn<QString>("forWhat");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("company");
    QTest::newRow("caller") << "Name"
                            << "+1 (613) 555-1234"
                            << "SMITH JOHN" << true << "JOHN"
                            << "SMITH"
                            << "";
    QTest::newRow("number only") << "Name"
                                 << "(613) 555-1234"
                                 << "" << true << ""
                                 << ""
                                 << "";
    QTest::newRow("company, no name") << "Company"
                                      << "(613) 555-1234"
                                      << "" << true << ""
                                      << ""
                                      << "";
    QTest::newRow("company") << "Company"
                             << ""
                             << "ACME LTD" << true << ""
                             << ""
                             << "ACME LTD";
    QTest::newRow("nothing to fill") << "Name"
                                     << ""
                                     << "" << false << ""
                                     << ""
                                     << "";
    QTest::newRow("new contact button") << ""
                                        << "5551234"
                                        << "X Y" << false << ""
                                        << ""
                                        << "";
}

void TestOutlookLink::createContact()
{
    QFETCH(QString, forWhat);
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(bool, saved);
    caller(number, name);
    m_link->CreateContact(forWhat);
    QCOMPARE(m_viewer.shown.size(), 1);
    const std::shared_ptr<OutlookItem> item = m_viewer.shown.first();
    QCOMPARE(item->kind(), OutlookItem::Contact);
    QCOMPARE(contactFiles().size(), saved ? 1 : 0);
    if (!saved)
        return;
    // The file is named after the contact's UID, and holds what was set.
    QVERIFY(QRegularExpression("^[0-9a-f-]{36}\\.vcf$").match(contactFiles().first()).hasMatch());
    QFile file(item->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const VCard card = VCard::parse(file.readAll()).value(0);
    QTEST(card.firstName(), "first");
    QTEST(card.lastName(), "last");
    QTEST(card.company(), "company");
    QCOMPARE(card.businessPhone(), number);
    QCOMPARE(int(QFileInfo(file).permissions() & 0x0077), 0);
}

void TestOutlookLink::journalIsShownNotSaved()
{
    caller("+1 (613) 555-1234", "SMITH JOHN");
    m_state->CallerFirstName = "John";
    m_state->CallerLastName = "Smith";
    m_state->CallerCompany = "ACME, LTD; Ottawa";
    m_link->CreateJournal("Name");
    const std::shared_ptr<OutlookItem> item = m_viewer.shown.value(0);
    QVERIFY(item && item->kind() == OutlookItem::Journal);
    QCOMPARE(item->property("ContactNames"), "John Smith");
    QCOMPARE(item->property("Subject"), "SMITH JOHN logged by Ringwatch");
    QCOMPARE(item->property("Type"), "Phone Call");
    QCOMPARE(item->property("Companies"), "ACME, LTD; Ottawa");
    QVERIFY(!QDir(AddressBookPaths::journalFolder()).exists() ||
            QDir(AddressBookPaths::journalFolder()).isEmpty());

    // Saved by the user, it reads back whole from its own .ics file.
    item->setProperty("Body", "Wants a quote.\nCall back Monday.");
    QVERIFY(item->Save());
    QVERIFY(item->fileName().endsWith(".ics"));
    QFile file(item->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto back = JournalItem::fromICalendar(file.readAll(), AddressBookPaths::journalFolder());
    QVERIFY(back);
    for (const char* name : {"Subject", "Type", "ContactNames", "Companies", "Body"})
        QCOMPARE(back->property(name), item->property(name));
    QCOMPARE(back->start(), static_cast<JournalItem*>(item.get())->start());

    caller("", "");
    m_link->CreateJournal("Name");
    QCOMPARE(m_viewer.shown.last()->property("Subject"), " logged by Ringwatch");
}

void TestOutlookLink::manualNumberSearch_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QStringList>("searched");
    QTest::newRow("bare ten digits")
        << "6135551234"
        << "+1 (613) 555-1234" << QStringList{"+1 (613) 555-1234", "(613) 555-1234"};
    QTest::newRow("typed with dashes")
        << "613-555-1234"
        << "613-555-1234" << QStringList{"+1 613-555-1234", "613-555-1234"};
    QTest::newRow("empty") << ""
                           << "" << QStringList{"+1 ", ""};
}

void TestOutlookLink::manualNumberSearch()
{
    QFETCH(QString, typed);
    caller(typed, "");
    QVERIFY(!m_link->SearchByNumber());
    QTEST(m_state->field(MonitorState::CallIDNumber), "field");
    QFETCH(QStringList, searched);
    QCOMPARE(m_link->offerText(), m_state->field(MonitorState::CallIDNumber));
    const QStringList events = m_state->events();
    QCOMPARE(events.count("[Couldn't find it!]"), 2);

    // The number typed by hand finds the contact stored with dashes.
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nTEL:613-555-1234\r\n"
                        "END:VCARD\r\n");
    caller(typed, "");
    QCOMPARE(m_link->SearchByNumber(), !typed.isEmpty());
    Q_UNUSED(searched);
}

void TestOutlookLink::manualNameSearch()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nEND:VCARD\r\n");
    caller("", "JOHN SMITH"); // typed first name first
    QVERIFY(m_link->SearchByName());
    QCOMPARE(m_state->events().count("[Couldn't find it!]"), 0);
    caller("", "SMITH JOHN"); // the caller-ID order, found by the second attempt
    QVERIFY(m_link->SearchByName());
    QCOMPARE(m_state->events().count("[Couldn't find it!]"), 1);

    m_state->setField(MonitorState::NameLabel, "Company");
    m_state->CallerLastName = "kept";
    caller("", "ACME LTD");
    QVERIFY(!m_link->SearchByName());
    QCOMPARE(m_state->CallerLastName, "kept");
    QCOMPARE(m_link->offerText(), "ACME LTD");
}

void TestOutlookLink::callsBuildTheAddressBook()
{
    // An unknown caller becomes a contact; the next call of the same caller is found by number
    // and name and gets a journal entry that names the contact as stored.
    CallLogFile log(*m_state);
    m_state->LogDirectory = m_home->path() + '/';
    CallProcessor processor(*m_state, *m_link, log);
    for (int box : {2, 3, 5})
        m_state->setCheck(box, 1);
    for (int call = 0; call < 2; ++call) {
        caller("+1 (613) 555-1234", "SMITH JOHN");
        m_state->CallRecordState = 1;
        processor.ProcessCallID();
    }
    QCOMPARE(contactFiles().size(), 1);
    QCOMPARE(m_viewer.shown.size(), 3); // the new contact, the contact found, the journal entry
    QCOMPARE(m_viewer.shown.last()->kind(), OutlookItem::Journal);
    QCOMPARE(m_viewer.shown.last()->property("ContactNames"), "JOHN SMITH");
    QCOMPARE(m_state->calls().size(), 2);
}

QTEST_GUILESS_MAIN(TestOutlookLink)
#include "tst_outlooklink.moc"
