// The desktop's address books as the item windows use them, against a real Evolution Data
// Server on the test's own session bus (on-private-desktop.sh): a contact edited elsewhere
// (by the service's own Python bindings, as GNOME Contacts would) is seen as changed, and not
// saved over unless reloaded.
#include "TestHome.h"
#include "addressbook/AddressBook.h"
#include "addressbook/ContactQuery.h"

#include <QProcess>
#include <QTest>

class TestDesktopContacts : public QObject
{
    Q_OBJECT
private slots:
    void anEditMadeElsewhereIsNotOverwritten();
};

namespace {

// Runs Python with the service's gi bindings; what it printed.
QString python(const QString& script)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("/usr/bin/python3"),
                  {QStringLiteral("-c"),
                   QStringLiteral("import gi\n"
                                  "gi.require_version('EBook', '1.2')\n"
                                  "gi.require_version('EBookContacts', '1.2')\n"
                                  "gi.require_version('EDataServer', '1.2')\n"
                                  "from gi.repository import EBook, EBookContacts, EDataServer\n"
                                  "registry = EDataServer.SourceRegistry.new_sync(None)\n"
                                  "book = EBook.BookClient.connect_sync("
                                  "registry.ref_default_address_book(), 2**32 - 1, None)\n") +
                       script});
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

} // namespace

void TestDesktopContacts::anEditMadeElsewhereIsNotOverwritten()
{
    TestHome home;
    saveSetting("ZodoDE", "Contacts", "Source", "desktop");
    AddressBook book;
    const QString line = book.chooseSource();
    if (!line.startsWith("[Contacts: the desktop's address books ("))
        QSKIP(qPrintable("the desktop's address book does not answer here: " + line));

    const auto made = book.newContact();
    made->setField(AddressBookItem::Field::LastName, "Known");
    made->setField(AddressBookItem::Field::FirstName, "Kim");
    made->setField(AddressBookItem::Field::WorkPhone, "+1 613-555-1234");
    QString error;
    QVERIFY2(made->save(&error), qPrintable(error));
    QVERIFY(!made->uid().isEmpty());

    const NumberPlan plan("US", "613");
    const auto found = book.findContact(ContactQuery::numberAlone("6135551234"), plan).item;
    QVERIFY(found);
    QCOMPARE(found->field(AddressBookItem::Field::FirstName), "Kim");
    QVERIFY(!found->changedElsewhere());

    // GNOME Contacts changes the company meanwhile.
    QCOMPARE(python(QStringLiteral("ok, c = book.get_contact_sync('%1', None)\n"
                                   "c.set_property('org', 'Elsewhere Ltd')\n"
                                   "book.modify_contact_sync(c, "
                                   "EBookContacts.BookOperationFlags.NONE, None)\n"
                                   "print('changed')")
                        .arg(found->uid())),
             "changed");
    QVERIFY(found->changedElsewhere());
    QVERIFY(made->changedElsewhere());
    // Reloaded (the window's "Reload", or before "Overwrite"), it has the other program's change
    // and is saved on top of it.
    QVERIFY(found->reload());
    QCOMPARE(found->field(AddressBookItem::Field::Company), "Elsewhere Ltd");
    QVERIFY(!found->changedElsewhere());
    found->setField(AddressBookItem::Field::FirstName, "Kimberly");
    QVERIFY2(found->save(&error), qPrintable(error));
    QCOMPARE(python(QStringLiteral("ok, c = book.get_contact_sync('%1', None)\n"
                                   "print(c.get_property('given-name'), '/', "
                                   "c.get_property('org'))")
                        .arg(found->uid())),
             "Kimberly / Elsewhere Ltd");
}

QTEST_GUILESS_MAIN(TestDesktopContacts)
#include "tst_desktopcontacts.moc"
