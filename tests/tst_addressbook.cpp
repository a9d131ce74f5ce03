#include "TestHome.h"
#include "addressbook/AddressBook.h"
#include "addressbook/ContactQuery.h"
#include "addressbook/VCard.h"

#include <QFile>
#include <QTest>

class TestAddressBook : public QObject
{
    Q_OBJECT
private slots:
    void readsRealWorldExports_data();
    void readsRealWorldExports();
    void roundTripKeepsEverything_data() { readsRealWorldExports_data(); }
    void roundTripKeepsEverything();
    void editsChangeOnlyWhatChanged();
    void escapesAndContinuations_data();
    void escapesAndContinuations();
    void writesFoldedVCard30();
    void foldsAtExactly75Octets_data();
    void foldsAtExactly75Octets();
    void settersKeepNameAndFullNameConsistent();
    void quoteInParameterCannotBreakTheLine();
    void noiseLinesArePassedOver();
    void queryMatching_data();
    void queryMatching();
    void usableWhereItsFolderCanBeMade();
};

namespace {

QList<VCard> load(const QString& name)
{
    QFile file(QFINDTESTDATA("data/vcards/" + name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return VCard::parse(file.readAll());
}

VCard card(const QString& first, const QString& last, const QString& company,
           const QStringList& phones)
{
    VCard c;
    c.setNames(last, first);
    c.setCompany(company);
    for (const QString& phone : phones)
        c.properties << VCard::Property{QString(), "TEL", {}, VCard::escape(phone), {}};
    return c;
}

} // namespace

void TestAddressBook::readsRealWorldExports_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("business");
    QTest::addColumn<int>("phones");
    QTest::newRow("Google 3.0") << "google.vcf" << 0 << "John"
                                << "Smith"
                                << "Acme Ltd"
                                << "(613) 555-1234" << 2;
    QTest::newRow("Apple 3.0, grouped") << "apple.vcf" << 0 << "Marie"
                                        << "Tremblay"
                                        << "Boulangerie du Coin"
                                        << "819-555-0199" << 2;
    QTest::newRow("Thunderbird 4.0")
        << "thunderbird.vcf" << 0 << "Pierre"
        << "Lavoie" << QString::fromUtf8("Ville d\u2019Ottawa") << "+1-613-555-0175" << 2;
    QTest::newRow("Thunderbird 4.0, second card")
        << "thunderbird.vcf" << 1 << QString::fromUtf8("Zoë") << "Ng"
        << ""
        << "5550199" << 1;
    QTest::newRow("khard, LF only") << "khard.vcf" << 0 << "Ana"
                                    << "Silva"
                                    << "Silva & Filhos"
                                    << "+1 (604) 555-0177" << 2;
    QTest::newRow("Outlook 2.1, quoted-printable")
        << "outlook21.vcf" << 0 << QString::fromUtf8("Élodie") << QString::fromUtf8("Bélanger")
        << QString::fromUtf8("Café de la Gare et Fils") << "(514) 555-0123" << 2;
}

void TestAddressBook::readsRealWorldExports()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    const QList<VCard> cards = load(file);
    QVERIFY(index < cards.size());
    const VCard& c = cards.at(index);
    QTEST(c.firstName(), "first");
    QTEST(c.lastName(), "last");
    QTEST(c.company(), "company");
    QTEST(c.businessPhone(), "business");
    QTEST(int(c.phones().size()), "phones");
}

// Written back unchanged, a card is byte for byte what the file held; only a 2.1 card becomes
// 3.0, its quoted-printable and charsets decoded, every property kept.
void TestAddressBook::roundTripKeepsEverything()
{
    QFETCH(QString, file);
    QFETCH(int, index);
    QFile in(QFINDTESTDATA("data/vcards/" + file));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray content = in.readAll();
    const VCard original = VCard::parse(content).value(index);
    const QByteArray written = original.serialize();
    if (original.version != "2.1") {
        QCOMPARE(written, content.mid(original.rawBegin, original.rawEnd - original.rawBegin));
        return;
    }
    QVERIFY(written.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n"));
    QVERIFY(!written.contains("QUOTED-PRINTABLE"));
    const QList<VCard> again = VCard::parse(written);
    QCOMPARE(again.size(), 1);
    QCOMPARE(again.first().properties.size(), original.properties.size());
    for (int i = 1; i < original.properties.size(); ++i) {
        QCOMPARE(again.first().properties.at(i).name, original.properties.at(i).name);
        QCOMPARE(again.first().properties.at(i).group, original.properties.at(i).group);
        QCOMPARE(again.first().properties.at(i).value, original.properties.at(i).value);
    }
    QTEST(again.first().firstName(), "first");
    QTEST(again.first().businessPhone(), "business");
    QCOMPARE(again.first().serialize(), written);
}

// An edit changes the property edited and nothing else: a name the user put in FN stays, a tel:
// URI stays one, groups, unknown properties and the version stay as they were.
void TestAddressBook::editsChangeOnlyWhatChanged()
{
    QFile in(QFINDTESTDATA("data/vcards/edge.vcf"));
    QVERIFY(in.open(QIODevice::ReadOnly));
    const QByteArray content = in.readAll();
    const QList<VCard> cards = VCard::parse(content);
    QCOMPARE(cards.size(), 2);

    VCard joe = cards.at(0);
    joe.setNames(joe.lastName(), joe.firstName()); // nothing changes: no N is added
    joe.setCompany("");                            // nor an empty ORG
    QCOMPARE(joe.serialize(), content.left(cards.at(0).rawEnd));
    joe.setBusinessPhone("613-555-0102");
    QCOMPARE(joe.serialize(), QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:plumber-joe\r\n"
                                         "FN:Plumber Joe\r\nTEL;TYPE=WORK:613-555-0102\r\n"
                                         "END:VCARD\r\n"));

    VCard kim = cards.at(1);
    QCOMPARE(kim.businessPhone(), "+1-613-555-0142;ext=12");
    kim.setNames("Lee-Park", "Kim");
    kim.setBusinessPhone("+1 613 555 0143");
    QCOMPARE(kim.serialize(),
             QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\n"
                        "UID:urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1\r\n"
                        "FN:Dr. Kim Lee\r\nN:Lee-Park;Kim;;Dr.;\r\n"
                        "TEL;VALUE=uri;TYPE=voice,work:tel:+1-613-555-0143\r\n"
                        "item1.EMAIL:kim@example.org\r\nitem1.X-ABLabel:assistant\r\n"
                        "NOTE:Ask for Kim\\, not the desk\r\nEND:VCARD\r\n"));

    // FN that the names made follows them; an empty one is filled.
    VCard made =
        VCard::parse("BEGIN:VCARD\nVERSION:3.0\nN:Ng;Zoe;;;\nFN:Zoe Ng\nEND:VCARD\n").value(0);
    made.setNames("Ng", "Zoey");
    QCOMPARE(made.serialize(), QByteArray("BEGIN:VCARD\nVERSION:3.0\nN:Ng;Zoey;;;\nFN:Zoey Ng\n"
                                          "END:VCARD\n"));
}

void TestAddressBook::escapesAndContinuations_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QByteArray>("written");
    // Commas, semicolons, backslashes and line breaks in a name are escaped in 3.0 and 4.0
    // alike; the component separators are not.
    QTest::newRow("3.0") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nN:X;Y;;;\r\nEND:VCARD\r\n")
                         << QByteArray("N:O'Brien\\, Jr.\\; Esq\\\\;Line\\nTwo;;;\r\n");
    QTest::newRow("4.0") << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nN:X;Y;;;\r\nEND:VCARD\r\n")
                         << QByteArray("N:O'Brien\\, Jr.\\; Esq\\\\;Line\\nTwo;;;\r\n");
    // A 2.1 card becomes 3.0, its escapes those of 3.0.
    QTest::newRow("2.1") << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nN:X;Y\r\nEND:VCARD\r\n")
                         << QByteArray("N:O'Brien\\, Jr.\\; Esq\\\\;Line\\nTwo;;;\r\n");
}

void TestAddressBook::escapesAndContinuations()
{
    QFETCH(QByteArray, card);
    VCard c = VCard::parse(card).value(0);
    c.setNames("O'Brien, Jr.; Esq\\", "Line\nTwo");
    QCOMPARE(c.lastName(), "O'Brien, Jr.; Esq\\");
    QFETCH(QByteArray, written);
    const QByteArray out = c.serialize();
    QVERIFY2(out.contains("\r\n" + written), out.constData());
    QCOMPARE(VCard::parse(out).value(0).firstName(), "Line\nTwo");

    // A line continued with a tab (as some programs fold) reads as one, and an unchanged card
    // keeps its folding.
    const QByteArray folded = "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:first half\r\n\t and the rest\r\n"
                              "END:VCARD\r\n";
    const VCard note = VCard::parse(folded).value(0);
    QCOMPARE(note.properties.at(1).value, "first half and the rest");
    QCOMPARE(note.serialize(), folded);

    // Found by the fuzzer: a quoted-printable value ending in a broken soft line break ("=")
    // swallowed the END of its card, and the telephone a save added after it.
    VCard broken = VCard::parse("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Kim;;;\r\n"
                                "NOTE;ENCODING=QUOTED-PRINTABLE:call back=\r\nEND:VCARD\r\n")
                       .value(0);
    QVERIFY(!broken.endRaw.isEmpty());
    broken.setBusinessPhone("+1 (613) 555-1234");
    QCOMPARE(VCard::parse(broken.serialize()).value(0).businessPhone(), "+1 (613) 555-1234");
}

void TestAddressBook::writesFoldedVCard30()
{
    VCard c;
    c.setNames(QString::fromUtf8("Bélanger"), QString::fromUtf8("Élodie"));
    c.properties << VCard::Property{
        QString(), "NOTE", {}, VCard::escape(QString(200, QChar(0xe9))), {}};
    const QByteArray written = c.serialize();
    for (const QByteArray& line : written.split('\n'))
        QVERIFY(line.size() <= 76); // 75 octets and the CR
    QVERIFY(QString::fromUtf8(written).contains(QString::fromUtf8("FN:Élodie Bélanger")));
    const VCard again = VCard::parse(written).value(0);
    QCOMPARE(VCard::unescape(again.properties.last().value), QString(200, QChar(0xe9)));
}

void TestAddressBook::foldsAtExactly75Octets_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("lines");
    const QString a70(70, u'a');
    QTest::newRow("75 octets stay one line") << a70 << "NOTE:" + a70.toLatin1() + "\r\n";
    QTest::newRow("76 octets fold after 75") << a70 + "bc"
                                             << "NOTE:" + a70.toLatin1() + "\r\n bc\r\n";
    // An é whose two octets would stand at 75 and 76 moves whole to the next line.
    QTest::newRow("never inside a UTF-8 sequence")
        << QString(69, u'a') + QString::fromUtf8("éz")
        << "NOTE:" + QByteArray(69, 'a') + "\r\n \xc3\xa9z\r\n";
}

void TestAddressBook::foldsAtExactly75Octets()
{
    QFETCH(QString, value);
    VCard c;
    c.properties << VCard::Property{QString(), "NOTE", {}, value, {}};
    const QByteArray written = c.serialize();
    const qsizetype at = written.indexOf("NOTE:");
    QVERIFY(at >= 0);
    QTEST(written.mid(at, written.indexOf("\r\nEND:VCARD") + 2 - at), "lines");
}

void TestAddressBook::settersKeepNameAndFullNameConsistent()
{
    VCard c = load("google.vcf").value(0);
    c.setNames("SMITH", "JOHN; JR");
    c.setBusinessPhone("+1 (613) 555-9999");
    QCOMPARE(c.lastName(), "SMITH");
    QCOMPARE(c.firstName(), "JOHN; JR");
    QCOMPARE(c.businessPhone(), "+1 (613) 555-9999");
    QVERIFY(c.phones().contains("+1 819-555-0100")); // the other number stays
    const QByteArray written = c.serialize();
    QVERIFY(written.contains("N:SMITH;JOHN\\; JR;;;\r\n"));
    QVERIFY(written.contains("FN:JOHN\\; JR SMITH\r\n"));

    VCard company;
    company.setCompany("ACME LTD");
    company.setBusinessPhone("5551234");
    QVERIFY(company.serialize().contains("FN:ACME LTD\r\n"));
    QVERIFY(company.serialize().contains("TEL;TYPE=WORK,VOICE:5551234\r\n"));
}

void TestAddressBook::quoteInParameterCannotBreakTheLine()
{
    // Found by the fuzzer: a parameter value holding a double quote and a colon.
    VCard c = VCard::parse("BEGIN:VCARD\r\nTEL;TYPE=x\"y:z\":5551234\r\nEND:VCARD\r\n").value(0);
    QCOMPARE(c.businessPhone(), "5551234");
    c.setBusinessPhone("+1 (613) 555-1234");
    const VCard again = VCard::parse(c.serialize()).value(0);
    QCOMPARE(again.businessPhone(), "+1 (613) 555-1234");
    QCOMPARE(again.properties.size(), c.properties.size());

    // Nor may a stray quote, written back, turn into a type the card never had.
    VCard odd = VCard::parse("BEGIN:VCARD\r\nTEL:1\r\nTEL;TYPE=w\"ork:2\r\nEND:VCARD\r\n").value(0);
    QCOMPARE(odd.businessPhone(), "1");
    QCOMPARE(VCard::parse(odd.serialize()).value(0).businessPhone(), "1");

    // A value holding ";" stays one value when its property is written anew.
    VCard label = VCard::parse("BEGIN:VCARD\r\nTEL;TYPE=work;LABEL=\"Office; desk 2\":5551234\r\n"
                               "END:VCARD\r\n")
                      .value(0);
    label.setBusinessPhone("+1 (613) 555-1234");
    const VCard written = VCard::parse(label.serialize()).value(0);
    QCOMPARE(written.properties.value(0).params.size(), 2);
    QCOMPARE(written.properties.value(0).params.value(1).value, "Office; desk 2");
    QCOMPARE(written.businessPhone(), "+1 (613) 555-1234");
}

void TestAddressBook::noiseLinesArePassedOver()
{
    // Found by the fuzzer: a "name" that is not one (here a CR and END) would end the card when
    // written back.
    const VCard c =
        VCard::parse("BEGIN:VCARD\r\nFN:Zoe\r\n.\rEND:VCARD\r\n.END:x\r\nN:Ng;Zoe;;;\r\n"
                     "TEL;\"x\"=1:5551234\r\nEND:VCARD\r\n")
            .value(0);
    auto named = [](const VCard& card) {
        return std::count_if(card.properties.cbegin(), card.properties.cend(),
                             [](const VCard::Property& p) { return !p.name.isEmpty(); });
    };
    QCOMPARE(named(c), 3);
    QCOMPARE(c.lastName(), "Ng");
    VCard changed = c;
    changed.setBusinessPhone("5550000");
    const QList<VCard> again = VCard::parse(changed.serialize());
    QCOMPARE(again.size(), 1);
    QCOMPARE(named(again.first()), 3);
    QCOMPARE(again.first().businessPhone(), "5550000");

    // A value that only mentions quoted-printable and ends in "=" does not swallow the next line.
    const VCard note = VCard::parse("BEGIN:VCARD\r\nNOTE:ENCODING=QUOTED-PRINTABLE a=\r\n"
                                    "TEL:5551234\r\nEND:VCARD\r\n")
                           .value(0);
    QCOMPARE(note.businessPhone(), "5551234");
}

void TestAddressBook::queryMatching_data()
{
    QTest::addColumn<ContactQuery>("query");
    QTest::addColumn<bool>("matches");
    QTest::newRow("names, any case") << ContactQuery::name("SMITH", "john") << true;
    QTest::newRow("wrong first name") << ContactQuery::name("Smith", "Jane") << false;
    QTest::newRow("national form finds dashes")
        << ContactQuery::numberAlone("(613) 555-1234") << true;
    QTest::newRow("any telephone counts") << ContactQuery::numberAlone("819 555 0100") << true;
    QTest::newRow("a leading +1 is the same number")
        << ContactQuery::numberAlone("+1 (613) 555-1234") << true;
    QTest::newRow("stored with an extension")
        << ContactQuery::numberAlone("+1 (613) 555-0144") << true;
    QTest::newRow("tel: URI with ;ext=") << ContactQuery::numberAlone("(613) 555-0143") << true;
    QTest::newRow("seven digits take the area code")
        << ContactQuery::numberAlone("+1 (613) 555-0155") << true;
    QTest::newRow("another area code is another number")
        << ContactQuery::numberAlone("(819) 555-0155") << false;
    QTest::newRow("empty number is nobody's") << ContactQuery::numberAlone("") << false;
    QTest::newRow("name and number")
        << ContactQuery::nameAndNumber("Smith", "John", "+1 (613) 555-1234") << true;
    QTest::newRow("name and another number")
        << ContactQuery::nameAndNumber("Smith", "John", "+1 (613) 555-9999") << false;
    QTest::newRow("company") << ContactQuery::companyNamed("ACME LTD") << true;
    QTest::newRow("company is whole") << ContactQuery::companyNamed("ACME") << false;
}

void TestAddressBook::queryMatching()
{
    QFETCH(ContactQuery, query);
    const VCard c = card("John", "Smith", "Acme Ltd",
                         {"613-555-1234", "819.555.0100", "+1 (613) 555-0144 x22",
                          "tel:+1-613-555-0143;ext=12", "555-0155"});
    QTEST(query.matches(c, NumberPlan("US", "613")), "matches");
    // A contact without any telephone is no match for an empty number either.
    QVERIFY(!ContactQuery::numberAlone("").matches(VCard(), NumberPlan("US", "613")));
}

void TestAddressBook::usableWhereItsFolderCanBeMade()
{
    TestHome home;
    QString problem;
    QVERIFY2(AddressBook::usable(&problem), qPrintable(problem));
    QVERIFY(QFileInfo(home.path() + "/data/ringdesk/contacts").isDir());
    // A folder that cannot be made: its place is taken by a file.
    QFile blocker(home.path() + "/blocked");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(saveSetting("ZodoDE", "Contacts", "ContactsFolder", home.path() + "/blocked/contacts"));
    QVERIFY(!AddressBook::usable(&problem));
    QVERIFY(problem.contains(home.path() + "/blocked/contacts"));
}

QTEST_GUILESS_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
