#include "TestHome.h"
#include "addressbook/ContactItem.h"
#include "addressbook/JournalItem.h"
#include "addressbook/VCard.h"
#include "calls/CallLogFile.h"
#include "calls/CallProcessor.h"
#include "calls/OutlookLink.h"
#include "common/AddressBookPaths.h"
#include "common/SettingsStore.h"
#include "state/MonitorState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

namespace {

struct RecordingViewer : ItemViewer
{
    QList<std::shared_ptr<OutlookItem>> shown;
    void show(const std::shared_ptr<OutlookItem>& item, bool) override { shown << item; }
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
    // Other tools list it by a name (the number, for a caller known by nothing else) and see
    // who made it and when.
    QVERIFY(!card.fullName().isEmpty());
    if (name.isEmpty())
        QCOMPARE(card.fullName(), number);
    QVERIFY(QFileInfo(file).fileName().startsWith(card.uid()));
    file.seek(0);
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("\r\nPRODID:-//Ringwatch//ringdesk//EN\r\n"));
    QVERIFY(QRegularExpression("\r\nREV:\\d{8}T\\d{6}Z\r\n").match(content).hasMatch());
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

void TestOutlookLink::savingUnchangedKeepsEveryByte_data()
{
    QTest::addColumn<QString>("file");
    for (const char* name : {"google.vcf", "apple.vcf", "thunderbird.vcf", "khard.vcf", "edge.vcf"})
        QTest::newRow(name) << name;
}

// "Save & Close" with nothing changed: every card of every export style stays byte for byte,
// but for the REV of the card saved.
void TestOutlookLink::savingUnchangedKeepsEveryByte()
{
    QFETCH(QString, file);
    const QByteArray original = fixture(file);
    addContact(file, original);
    const QString path = AddressBookPaths::contactsFolder() + '/' + file;
    const QList<VCard> cards = VCard::parse(original);
    for (const VCard& card : cards) {
        ContactItem item(path, card);
        QVERIFY(item.Save());
    }
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    QCOMPARE(withoutRevision(content), withoutRevision(original));
    QCOMPARE(content.count("\nREV:"), cards.size());
}

// Another program changed a shared file while its card was open: the card is found by its UID,
// and every other card stays as that program left it.
void TestOutlookLink::sharedFileKeepsTheOtherCards()
{
    addContact("shared.vcf", fixture("edge.vcf"));
    caller("+1 (613) 555-0142", "");
    m_link->SearchInContact(R"([BusinessTelephoneNumber] = "+1 (613) 555-0142")");
    QCOMPARE(m_state->ContactFound, 1);
    auto* kim = dynamic_cast<ContactItem*>(m_link->CurrentItem.get());
    QVERIFY(kim);
    QCOMPARE(kim->property("LastName"), "Lee");
    QVERIFY(!kim->changedOnDisk());

    const QByteArray newcomer = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:new\r\nFN:New One\r\n"
                                "N:One;New;;;\r\nEND:VCARD\r\n";
    QThread::msleep(5);
    addContact("shared.vcf", newcomer + fixture("edge.vcf"));
    QVERIFY(kim->changedOnDisk());
    kim->setProperty("FirstName", "Kimberly");
    QVERIFY(kim->Save());
    QVERIFY(!kim->changedOnDisk());
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

void TestOutlookLink::numbersFindTheirContact()
{
    addContact("a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
                        "TEL:+1 (613) 555-0144 x22\r\nEND:VCARD\r\n");
    addContact("b.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Park;Sam;;;\r\nFN:Sam Park\r\n"
                        "TEL:555-0144\r\nEND:VCARD\r\n");
    caller("+1 (613) 555-0144", "");
    m_link->SearchInContact(R"([BusinessTelephoneNumber] = "+1 (613) 555-0144")");
    QCOMPARE(m_state->ContactFound, 1);
    QCOMPARE(m_state->CallerLastName, "Lee"); // the first in file order
    QCOMPARE(m_state->events().last(), "[1 other contact matches as well; the first is shown]");
    // An empty number is nobody's, not the first card without a telephone.
    addContact("c.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nobody;No;;;\r\nEND:VCARD\r\n");
    caller("", "");
    QVERIFY(!m_link->SearchByNumber());
    QVERIFY(m_viewer.shown.size() == 1);
}

// With "Find callers by number alone" a known number is found whatever name the network sends;
// without it, the name and number must both match, as they always did.
void TestOutlookLink::numberAloneFindsTheCaller()
{
    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nFN:Kim Lee\r\n"
                          "TEL:613-555-0142\r\nEND:VCARD\r\n");
    CallLogFile log(*m_state);
    m_state->LogDirectory = m_home->path() + '/';
    CallProcessor processor(*m_state, *m_link, log);
    for (int box : {2, 3})
        m_state->setCheck(box, 1);
    auto call = [&] {
        caller("+1 (613) 555-0142", "WIRELESS CALLER");
        m_state->CallRecordState = 1;
        processor.ProcessCallID();
    };
    QVERIFY(SaveSetting("ZodoDE", "Setup", "MatchNumberOnly", "1"));
    call();
    QCOMPARE(contactFiles(), QStringList({"kim.vcf"}));
    QCOMPARE(m_viewer.shown.size(), 1);
    QCOMPARE(m_viewer.shown.last()->property("LastName"), "Lee");
    QVERIFY(SaveSetting("ZodoDE", "Setup", "MatchNumberOnly", "0"));
    call();
    QCOMPARE(contactFiles().size(), 2);
}

void TestOutlookLink::indexFollowsOtherPrograms()
{
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0142\r\n"
                            "END:VCARD\r\n";
    addContact("kim.vcf", card);
    const QString byNumber = R"([BusinessTelephoneNumber] = "(613) 555-%1")";
    m_link->SearchInContact(byNumber.arg("0142"));
    QCOMPARE(m_state->ContactFound, 1);
    // Rewritten in place, same size, within the same second: the folder reports it.
    QFile file(AddressBookPaths::contactsFolder() + "/kim.vcf");
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.write(QByteArray(card).replace("0142", "0199"));
    file.close();
    m_link->SearchInContact(byNumber.arg("0199"));
    QCOMPARE(m_state->ContactFound, 1);
    m_link->SearchInContact(byNumber.arg("0142"));
    QCOMPARE(m_state->ContactFound, 0);
    QVERIFY(QFile::remove(file.fileName()));
    m_link->SearchInContact(byNumber.arg("0199"));
    QCOMPARE(m_state->ContactFound, 0);
}

// khard, a program people use on this folder, lists what we create and edit.
void TestOutlookLink::khardReadsWhatWeWrite()
{
    const QString khard = QStandardPaths::findExecutable("khard");
    if (khard.isEmpty())
        QSKIP("khard is not installed (Debian package khard)");
    // khard reads one card per file, as a vdir holds them.
    const QByteArray edge = fixture("edge.vcf");
    const qsizetype second = edge.indexOf("BEGIN:VCARD", 5);
    addContact("joe.vcf", edge.left(second));
    addContact("kim.vcf", edge.mid(second));
    caller("+1 (613) 555-0199", "");
    m_link->CreateContact("Name"); // a caller known only by number
    caller("+1 (613) 555-0142", "");
    m_link->SearchInContact(R"([BusinessTelephoneNumber] = "+1 (613) 555-0142")");
    m_link->CurrentItem->setProperty("LastName", "Lee-Park");
    QVERIFY(m_link->CurrentItem->Save());

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
    QVERIFY2(listed.contains("+1 (613) 555-0199\t+1 (613) 555-0199\t"), qPrintable(listed));
    QVERIFY2(listed.contains("+1-613-555-0142;ext=12\tKim Lee-Park\t"), qPrintable(listed));
    QVERIFY2(listed.contains("613-555-0101\tPlumber Joe\t"), qPrintable(listed));
}

// The index is kept between runs, for the owner's eyes only, and a card changed while the
// monitor was not running is found all the same.
void TestOutlookLink::indexKeptBetweenRuns()
{
    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0142\r\n"
                          "END:VCARD\r\n");
    const QString kept = ContactsFolder::cacheFileFor(AddressBookPaths::contactsFolder());
    {
        AddressBook first;
        first.warmUp();
        QVERIFY(first.findContact(R"([BusinessTelephoneNumber] = "6135550142")", "613").item);
    }
    QVERIFY(kept.startsWith(m_home->path() + "/cache/ringdesk/"));
    QVERIFY(QFileInfo::exists(kept));
    QCOMPARE(int(QFileInfo(kept).permissions() & 0x0077), 0);

    addContact("kim.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\nTEL:613-555-0199\r\n"
                          "END:VCARD\r\n");
    AddressBook next;
    next.warmUp();
    const ContactsFolder::Found found =
        next.findContact(R"([BusinessTelephoneNumber] = "(613) 555-0199")", "613");
    QVERIFY(found.item);
    QVERIFY(!next.findContact(R"([BusinessTelephoneNumber] = "6135550142")", "613").item);
}

QTEST_GUILESS_MAIN(TestOutlookLink)
#include "tst_outlooklink.moc"
