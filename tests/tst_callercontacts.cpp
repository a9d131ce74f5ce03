#include "TestHome.h"
#include "addressbook/AddressBookPaths.h"
#include "addressbook/ContactItem.h"
#include "addressbook/JournalItem.h"
#include "addressbook/VCard.h"
#include "calls/AddressBookContacts.h"
#include "calls/CallLogFile.h"
#include "calls/CallProcessor.h"
#include "common/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QThread>

namespace {

using Field = AddressBookItem::Field;

struct RecordingViewer : ItemViewer
{
    QList<std::shared_ptr<AddressBookItem>> shown;
    void show(const std::shared_ptr<AddressBookItem>& item, bool) override { shown << item; }
};

} // namespace

class TestCallerContacts : public QObject
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
    void savingUnchangedKeepsEveryByte_data();
    void savingUnchangedKeepsEveryByte();
    void sharedFileKeepsTheOtherCards();
    void numbersFindTheirContact();
    void numberAloneFindsTheCaller();
    void indexFollowsOtherPrograms();
    void khardReadsWhatWeWrite();
    void indexKeptBetweenRuns();

private:
    void addContact(const QString& file, const QByteArray& card);
    QStringList contactFiles() const;
    // The caller as the window shows it.
    void caller(const QString& number, const QString& name);
    void search(const ContactQuery& query) { m_found = m_link->find(query, m_name, m_number); }
    // Search and contact on; journal entries as asked.
    CallOptions callOptions(bool journal) const;

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AddressBook> m_book;
    std::unique_ptr<AddressBookContacts> m_link;
    RecordingViewer m_viewer;
    QStringList m_events;
    QString m_number;
    QString m_name;
    std::optional<FoundContact> m_found;
};

void TestCallerContacts::init()
{
    m_home = std::make_unique<TestHome>();
    m_book = std::make_unique<AddressBook>();
    m_link = std::make_unique<AddressBookContacts>(*m_book);
    m_link->setNumberPlan(NumberPlan("US", "613"));
    m_viewer.shown.clear();
    m_book->setViewer(&m_viewer);
    m_events.clear();
    m_found.reset();
    connect(m_link.get(), &CallerContacts::eventLine, this,
            [this](const QString& line) { m_events << line; });
}

void TestCallerContacts::cleanup()
{
    m_link.reset();
    m_book.reset();
    m_home.reset();
}

CallOptions TestCallerContacts::callOptions(bool journal) const
{
    CallOptions options;
    options.searchContacts = options.createContact = true;
    options.createJournal = journal;
    return options;
}

void TestCallerContacts::addContact(const QString& file, const QByteArray& card)
{
    const QString folder = AddressBookPaths::contactsFolder();
    QVERIFY(AddressBookPaths::ensureFolder(folder));
    QFile out(folder + '/' + file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(card);
}

QStringList TestCallerContacts::contactFiles() const
{
    return QDir(AddressBookPaths::contactsFolder()).entryList({"*.vcf"}, QDir::Files);
}

void TestCallerContacts::caller(const QString& number, const QString& name)
{
    m_number = number;
    m_name = name;
}

void TestCallerContacts::searchFindsAndDisplays()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nORG:ACME LTD\r\n"
                        "TEL;TYPE=WORK:613-555-1234\r\nEND:VCARD\r\n");
    caller("(613) 555-1234", "SMITH JOHN");
    search(ContactQuery::numberAlone("(613) 555-1234"));
    QVERIFY(m_found);
    QCOMPARE(m_events, QStringList({"[Opening Outlook Contact...]",
                                    "[Searching for SMITH JOHN and/or (613) 555-1234]",
                                    "[Found it! Now displaying contact information]"}));
    QCOMPARE(m_found->firstName, "John");
    QCOMPARE(m_found->lastName, "Smith");
    QCOMPARE(m_found->company, "ACME LTD");
    QCOMPARE(m_viewer.shown.size(), 1);
}

void TestCallerContacts::searchThatFindsNothing()
{
    search(ContactQuery::name("Nobody", ""));
    QVERIFY(!m_found);
    QCOMPARE(m_events.last(), "[Couldn't find it!]");
    QCOMPARE(m_events.size(), 3);
    QVERIFY(m_viewer.shown.isEmpty());
}

void TestCallerContacts::companyFollowsTheContactFound()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nORG:ACME LTD\r\n"
                        "END:VCARD\r\n");
    addContact("b.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane;;;\r\nEND:VCARD\r\n");
    search(ContactQuery::name("Smith", "John"));
    QCOMPARE(m_found->company, "ACME LTD");
    search(ContactQuery::name("Doe", "Jane"));
    QVERIFY(m_found);
    QCOMPARE(m_found->company, "");
}

void TestCallerContacts::createContact_data()
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
    QTest::newRow("caller that is a company") << "Name"
                                              << "(613) 555-1234"
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

void TestCallerContacts::createContact()
{
    QFETCH(QString, forWhat);
    QFETCH(QString, number);
    QFETCH(QString, name);
    QFETCH(bool, saved);
    const CallerContacts::NewFor what = forWhat == "Name"      ? CallerContacts::NewFor::Name
                                        : forWhat == "Company" ? CallerContacts::NewFor::Company
                                                               : CallerContacts::NewFor::Nothing;
    m_link->createContact(what, name, number);
    QCOMPARE(m_viewer.shown.size(), 1);
    const std::shared_ptr<AddressBookItem> item = m_viewer.shown.first();
    QCOMPARE(item->kind(), AddressBookItem::Contact);
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
    // Stored the international way, which every phone the card is synced to can dial.
    QCOMPARE(card.businessPhone(), number.isEmpty() ? QString() : "+1 613-555-1234");
    QCOMPARE(int(QFileInfo(file).permissions() & 0x0077), 0);
    // Other tools list it by a name (the number, for a caller known by nothing else) and see
    // who made it and when.
    QVERIFY(!card.fullName().isEmpty());
    if (name.isEmpty())
        QCOMPARE(card.fullName(), card.businessPhone());
    QVERIFY(QFileInfo(file).fileName().startsWith(card.uid()));
    file.seek(0);
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("\r\nPRODID:-//Ringwatch//ringdesk//EN\r\n"));
    QVERIFY(QRegularExpression("\r\nREV:\\d{8}T\\d{6}Z\r\n").match(content).hasMatch());
}

void TestCallerContacts::journalIsShownNotSaved()
{
    m_link->createJournal(true, "John Smith", "SMITH JOHN", "ACME, LTD; Ottawa");
    const std::shared_ptr<AddressBookItem> item = m_viewer.shown.value(0);
    QVERIFY(item && item->kind() == AddressBookItem::Journal);
    QCOMPARE(item->field(Field::Contacts), "John Smith");
    QCOMPARE(item->field(Field::Subject), "SMITH JOHN logged by Ringwatch");
    QCOMPARE(item->field(Field::Type), "Phone Call");
    QCOMPARE(item->field(Field::Companies), "ACME, LTD; Ottawa");
    QVERIFY(!QDir(AddressBookPaths::journalFolder()).exists() ||
            QDir(AddressBookPaths::journalFolder()).isEmpty());

    // Saved by the user, it reads back whole from its own .ics file.
    item->setField(Field::Notes, "Wants a quote.\nCall back Monday.");
    QVERIFY(item->save());
    QVERIFY(item->fileName().endsWith(".ics"));
    QFile file(item->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const auto back = JournalItem::fromICalendar(file.readAll(), AddressBookPaths::journalFolder());
    QVERIFY(back);
    for (Field field :
         {Field::Subject, Field::Type, Field::Contacts, Field::Companies, Field::Notes})
        QCOMPARE(back->field(field), item->field(field));
    QCOMPARE(back->start(), static_cast<JournalItem*>(item.get())->start());

    m_link->createJournal(true, " ", "", "");
    QCOMPARE(m_viewer.shown.last()->field(Field::Subject), " logged by Ringwatch");
}

void TestCallerContacts::manualNumberSearch_data()
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

void TestCallerContacts::manualNumberSearch()
{
    QFETCH(QString, typed);
    const AddressBookContacts::HandSearch first = m_link->searchByNumber(typed, "");
    QVERIFY(!first.found);
    QTEST(first.number, "field");
    QFETCH(QStringList, searched);
    QCOMPARE(first.offer, first.number);
    QCOMPARE(m_events.count("[Couldn't find it!]"), 2);

    // The number typed by hand finds the contact stored with dashes.
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nTEL:613-555-1234\r\n"
                        "END:VCARD\r\n");
    QCOMPARE(m_link->searchByNumber(typed, "").found, !typed.isEmpty());
    Q_UNUSED(searched);
}

void TestCallerContacts::manualNameSearch()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Smith;John;;;\r\nEND:VCARD\r\n");
    // Typed first name first
    QVERIFY(m_link->searchByName("JOHN SMITH", false, "").found);
    QCOMPARE(m_events.count("[Couldn't find it!]"), 0);
    // The caller-ID order, found by the second attempt
    QVERIFY(m_link->searchByName("SMITH JOHN", false, "").found);
    QCOMPARE(m_events.count("[Couldn't find it!]"), 1);

    const AddressBookContacts::HandSearch company = m_link->searchByName("ACME LTD", true, "");
    QVERIFY(!company.found);
    QCOMPARE(company.offer, "ACME LTD");
}

void TestCallerContacts::callsBuildTheAddressBook()
{
    // An unknown caller becomes a contact; the next call of the same caller is found by number
    // and name and gets a journal entry that names the contact as stored.
    CallLogFile log;
    log.setFolder(m_home->path() + '/');
    CallProcessor processor(*m_link, log);
    QSignalSpy logged(&processor, &CallProcessor::callProcessed);
    CallerId record;
    record.number = "+1 (613) 555-1234";
    record.name = "SMITH JOHN";
    record.begun = true;
    for (int call = 0; call < 2; ++call)
        processor.processCallId(record, callOptions(true));
    QCOMPARE(contactFiles().size(), 1);
    QCOMPARE(m_viewer.shown.size(), 3); // the new contact, the contact found, the journal entry
    QCOMPARE(m_viewer.shown.last()->kind(), AddressBookItem::Journal);
    QCOMPARE(m_viewer.shown.last()->field(Field::Contacts), "JOHN SMITH");
    QCOMPARE(logged.size(), 2);
}

namespace {

QByteArray withoutRevision(QByteArray content)
{
    static const QRegularExpression rev(QStringLiteral("REV:[^\n]*\n"));
    return QString::fromUtf8(content).remove(rev).toUtf8();
}

QByteArray fixture(const QString& name)
{
    QFile file(QFINDTESTDATA("data/vcards/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void TestCallerContacts::savingUnchangedKeepsEveryByte_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name : {"google.vcf", "apple.vcf", "thunderbird.vcf", "khard.vcf", "edge.vcf"})
        QTest::newRow(name) << name;
}

// "Save & Close" with nothing changed: every card of every export style stays byte for byte,
// but for the REV of the card saved.
void TestCallerContacts::savingUnchangedKeepsEveryByte()
{
    QFETCH(QString, file);
    const QByteArray original = fixture(file);
    addContact(file, original);
    const QString path = AddressBookPaths::contactsFolder() + '/' + file;
    const QList<VCard> cards = VCard::parse(original);
    for (const VCard& card : cards) {
        ContactItem item(path, card);
        QVERIFY(item.save());
    }
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    QCOMPARE(withoutRevision(content), withoutRevision(original));
    QCOMPARE(content.count("\nREV:"), cards.size());
}

// Another program changed a shared file while its card was open: the card is found by its UID,
// and every other card stays as that program left it.
void TestCallerContacts::sharedFileKeepsTheOtherCards()
{
    addContact("shared.vcf", fixture("edge.vcf"));
    caller("+1 (613) 555-0142", "");
    search(ContactQuery::numberAlone("+1 (613) 555-0142"));
    QVERIFY(m_found);
    auto* kim = dynamic_cast<ContactItem*>(m_found->item.get());
    QVERIFY(kim);
    QCOMPARE(kim->field(Field::LastName), "Lee");
    QVERIFY(!kim->changedElsewhere());

    const QByteArray newcomer = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:new\r\nFN:New One\r\n"
                                "N:One;New;;;\r\nEND:VCARD\r\n";
    QThread::msleep(5);
    addContact("shared.vcf", newcomer + fixture("edge.vcf"));
    QVERIFY(kim->changedElsewhere());
    kim->setField(Field::FirstName, "Kimberly");
    QVERIFY(kim->save());
    QVERIFY(!kim->changedElsewhere());
    QFile file(kim->fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    const QByteArray joe = fixture("edge.vcf").left(fixture("edge.vcf").indexOf("END:VCARD") + 11);
    QVERIFY(content.startsWith(newcomer + joe));
    const QList<VCard> cards = VCard::parse(content);
    QCOMPARE(cards.size(), 3);
    QCOMPARE(cards.at(2).firstName(), "Kimberly");
    QCOMPARE(cards.at(2).fullName(), "Dr. Kim Lee");
    QCOMPARE(cards.at(2).version, "4.0");
    QVERIFY(content.contains("tel:+1-613-555-0142;ext=12\r\nitem1.EMAIL"));
}

void TestCallerContacts::numbersFindTheirContact()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
                        "TEL:+1 (613) 555-0144 x22\r\nEND:VCARD\r\n");
    addContact("b.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Park;Sam;;;\r\nFN:Sam Park\r\n"
                        "TEL:555-0144\r\nEND:VCARD\r\n");
    caller("+1 (613) 555-0144", "");
    search(ContactQuery::numberAlone("+1 (613) 555-0144"));
    QVERIFY(m_found);
    QCOMPARE(m_found->lastName, "Lee"); // the first in file order
    QCOMPARE(m_events.last(), "[1 other contact matches as well; the first is shown]");
    // An empty number is nobody's, not the first card without a telephone.
    addContact("c.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nobody;No;;;\r\nEND:VCARD\r\n");
    QVERIFY(!m_link->searchByNumber("", "").found);
    QVERIFY(m_viewer.shown.size() == 1);
}

// With "Find callers by number alone" a known number is found whatever name the network sends;
// without it, the name and number must both match, as they always did.
void TestCallerContacts::numberAloneFindsTheCaller()
{
    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
                          "TEL:613-555-0142\r\nEND:VCARD\r\n");
    CallLogFile log;
    log.setFolder(m_home->path() + '/');
    CallProcessor processor(*m_link, log);
    CallOptions options = callOptions(false);
    auto call = [&] {
        CallerId record;
        record.number = "+1 (613) 555-0142";
        record.name = "WIRELESS CALLER";
        record.begun = true;
        processor.processCallId(record, options);
    };
    options.matchNumberOnly = true;
    call();
    QCOMPARE(contactFiles(), QStringList({"kim.vcf"}));
    QCOMPARE(m_viewer.shown.size(), 1);
    QCOMPARE(m_viewer.shown.last()->field(Field::LastName), "Lee");
    options.matchNumberOnly = false;
    call();
    QCOMPARE(contactFiles().size(), 2);
}

void TestCallerContacts::indexFollowsOtherPrograms()
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0142\r\n"
                            "END:VCARD\r\n";
    addContact("kim.vcf", card);
    const QString byNumber = "(613) 555-%1";
    search(ContactQuery::numberAlone(byNumber.arg("0142")));
    QVERIFY(m_found);
    // Rewritten in place, same size, within the same second: the folder reports it.
    QFile file(AddressBookPaths::contactsFolder() + "/kim.vcf");
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(card).replace("0142", "0199"));
    file.close();
    search(ContactQuery::numberAlone(byNumber.arg("0199")));
    QVERIFY(m_found);
    search(ContactQuery::numberAlone(byNumber.arg("0142")));
    QVERIFY(!m_found);
    QVERIFY(QFile::remove(file.fileName()));
    search(ContactQuery::numberAlone(byNumber.arg("0199")));
    QVERIFY(!m_found);
}

// khard, a program people use on this folder, lists what we create and edit.
void TestCallerContacts::khardReadsWhatWeWrite()
{
    const QString khard = QStandardPaths::findExecutable("khard");
    if (khard.isEmpty())
        QSKIP("khard is not installed (Debian package khard)");
    // khard reads one card per file, as a vdir holds them.
    const QByteArray edge = fixture("edge.vcf");
    const qsizetype second = edge.indexOf("BEGIN:VCARD", 5);
    addContact("joe.vcf", edge.left(second));
    addContact("kim.vcf", edge.mid(second));
    // A caller known only by number
    m_link->createContact(CallerContacts::NewFor::Name, "", "+1 (613) 555-0199");
    caller("+1 (613) 555-0142", "");
    search(ContactQuery::numberAlone("+1 (613) 555-0142"));
    QVERIFY(m_found);
    m_found->item->setField(Field::LastName, "Lee-Park");
    QVERIFY(m_found->item->save());

    const QString config = m_home->path() + "/khard.conf";
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[addressbooks]\n[[ringdesk]]\npath = " +
               AddressBookPaths::contactsFolder().toUtf8() + "\n");
    conf.close();
    QProcess run;
    run.start(khard, {"-c", config, "phone", "--parsable"});
    QVERIFY(run.waitForFinished(60000));
    const QString listed = QString::fromUtf8(run.readAllStandardOutput());
    QVERIFY2(run.exitCode() == 0, qPrintable(run.readAllStandardError()));
    QVERIFY2(listed.contains("+1 613-555-0199\t+1 613-555-0199\t"), qPrintable(listed));
    QVERIFY2(listed.contains("+1-613-555-0142;ext=12\tKim Lee-Park\t"), qPrintable(listed));
    QVERIFY2(listed.contains("613-555-0101\tPlumber Joe\t"), qPrintable(listed));
}

// The index is kept between runs, for the owner's eyes only, and a card changed while the
// monitor was not running is found all the same.
void TestCallerContacts::indexKeptBetweenRuns()
{
    addContact("ann.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ann;;;;\r\nTEL:020 7946 0958\r\n"
                          "END:VCARD\r\n");
    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0142\r\n"
                          "END:VCARD\r\n");
    const QString kept = ContactsFolder::cacheFileFor(AddressBookPaths::contactsFolder());
    {
        AddressBook first;
        first.warmUp();
        QVERIFY(first.findContact(ContactQuery::numberAlone("6135550142"), NumberPlan("US", "613"))
                    .item);
    }
    QVERIFY(kept.startsWith(m_home->path() + "/cache/ringdesk/"));
    QVERIFY(QFileInfo::exists(kept));
    QCOMPARE(int(QFileInfo(kept).permissions() & 0x0077), 0);

    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0199\r\n"
                          "END:VCARD\r\n");
    AddressBook next;
    next.warmUp();
    const ContactsFolder::Found found =
        next.findContact(ContactQuery::numberAlone("(613) 555-0199"), NumberPlan("US", "613"));
    QVERIFY(found.item);
    QVERIFY(
        !next.findContact(ContactQuery::numberAlone("6135550142"), NumberPlan("US", "613")).item);

    // Kept by another country's plan, the index is made again: the British national number on
    // Ann's card reads as one only in Britain.
    QVERIFY(!next.findContact(ContactQuery::numberAlone("011442079460958"), NumberPlan("US")).item);
    AddressBook british;
    british.setCountry("GB");
    british.warmUp();
    QVERIFY(british.findContact(ContactQuery::numberAlone("+442079460958"), NumberPlan("GB")).item);
}

QTEST_GUILESS_MAIN(TestCallerContacts)
#include "tst_callercontacts.moc"
