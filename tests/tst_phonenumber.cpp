#include "numbers/NumberPlan.h"
#include "numbers/PhoneNumber.h"

#include <QElapsedTimer>
#include <QTest>

class TestPhoneNumber : public QObject
{
    Q_OBJECT
private slots:
    void formatNumber_data();
    void formatNumber();
    void searchForms_data();
    void searchForms();
    void display_data();
    void display();
    void sameNumber_data();
    void sameNumber();
    void international_data();
    void international();
    void numbersLongerThanAnyAreRefused_data();
    void numbersLongerThanAnyAreRefused();
};

void TestPhoneNumber::formatNumber_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("areaCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("7 digits") << "5551234"
                              << "613"
                              << "(613) 555-1234";
    QTest::newRow("7 digits, no area code") << "5551234"
                                            << ""
                                            << "() 555-1234";
    QTest::newRow("10 digits") << "6135551234"
                               << "819"
                               << "+1 (613) 555-1234";
    QTest::newRow("11 digits") << "16135551234"
                               << "819"
                               << "+1 (613) 555-1234";
    QTest::newRow("11 digits, other country") << "46135551234"
                                              << ""
                                              << "+4 (613) 555-1234";
    QTest::newRow("8 digits, no dash") << "12345678"
                                       << "613"
                                       << "(123) 45678";
    QTest::newRow("9 digits") << "123456789"
                              << "613"
                              << "(123) 456789";
    QTest::newRow("12 digits") << "123456789012"
                               << "613"
                               << "(123) 456-789012";
    QTest::newRow("short") << "1234"
                           << "613"
                           << "1234";
    QTest::newRow("6 characters") << "555123"
                                  << "613"
                                  << "555123";
    QTest::newRow("empty") << ""
                           << "613"
                           << "";
    QTest::newRow("letters by count") << "ABCDEFG"
                                      << "613"
                                      << "(613) ABC-DEFG";
    QTest::newRow("area code unchecked") << "5551234"
                                         << "6 1"
                                         << "(6 1) 555-1234";
}

void TestPhoneNumber::formatNumber()
{
    QFETCH(QString, input);
    QFETCH(QString, areaCode);
    QFETCH(QString, output);
    QCOMPARE(PhoneNumber::formatNumber(input, areaCode), output);
}

void TestPhoneNumber::searchForms_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("withPrefix");
    QTest::addColumn<QString>("withoutPrefix");
    QTest::newRow("local, 14 characters") << "(613) 555-1234"
                                          << "+1 (613) 555-1234"
                                          << "(613) 555-1234";
    QTest::newRow("international") << "+1 (613) 555-1234"
                                   << "+1 (613) 555-1234"
                                   << "(613) 555-1234";
    QTest::newRow("long without prefix") << "(123) 456-789012"
                                         << "(123) 456-789012"
                                         << "3) 456-789012";
    QTest::newRow("typed with dashes") << "613-555-1234"
                                       << "+1 613-555-1234"
                                       << "613-555-1234";
    QTest::newRow("empty") << ""
                           << "+1 "
                           << "";
    QTest::newRow("15 characters") << "123456789012345"
                                   << "123456789012345"
                                   << "456789012345";
}

void TestPhoneNumber::searchForms()
{
    QFETCH(QString, number);
    QFETCH(QString, withPrefix);
    QFETCH(QString, withoutPrefix);
    QCOMPARE(PhoneNumber::searchNumberWithPrefix(number), withPrefix);
    QCOMPARE(PhoneNumber::searchNumberWithoutPrefix(number), withoutPrefix);
}

void TestPhoneNumber::numbersLongerThanAnyAreRefused_data()
{
    QTest::addColumn<QString>("country");
    QTest::newRow("US") << "US";
    QTest::newRow("DE") << "DE";
}

// A caller chooses what a caller-ID number holds: one of 16,000 digits froze the monitor for
// half a minute in the number library. Longer than any real number, it is not read as one.
void TestPhoneNumber::numbersLongerThanAnyAreRefused()
{
    QFETCH(QString, country);
    const NumberPlan plan(country, "613");
    QElapsedTimer took;
    took.start();
    for (const QString& number : {QString(16000, u'7'), "+" + QString(4000, u'4'),
                                  QString(31, u'5'), "+49 " + QString(2000, u'1') + " ext. 5"}) {
        QCOMPARE(plan.display(number), number);
        QCOMPARE(plan.e164(number), QString());
        QCOMPARE(plan.international(number), number);
        QVERIFY(!plan.exists(number.left(1) == "+" ? number : "+" + number));
        QVERIFY(!plan.key(number).startsWith(u'+'));
    }
    QVERIFY2(took.elapsed() < 500, qPrintable(QString::number(took.elapsed())));
    // Thirty digits is still a number.
    QCOMPARE(plan.e164("+49 30 1234567"), "+49301234567");
}

void TestPhoneNumber::display_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("areaCode");
    QTest::addColumn<QString>("received");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char* name, const char* country, const char* area,
                        const char* received, const char* shown) {
        QTest::newRow(name) << country << area << received << shown;
    };
    // North America keeps its layout; a call from abroad is read in both of its shapes.
    row("US ten digits", "US", "613", "6135551234", "+1 (613) 555-1234");
    row("US seven digits", "US", "613", "5551234", "(613) 555-1234");
    row("CA eleven digits", "CA", "", "18195550100", "+1 (819) 555-0100");
    row("US odd length kept", "US", "613", "123456789", "(123) 456789");
    row("US from GB, prefix 011", "US", "", "011442079460958", "+44 20 7946 0958");
    row("US from GB, country code", "US", "", "442079460958", "+44 20 7946 0958");
    row("US from FR, eleven digits", "US", "", "33123456789", "+33 1 23 45 67 89");
    // Eleven digits without the 1 that no country's plan reads: as they came, not "+0 (207) …".
    row("US, a national number of abroad", "US", "", "02079460958", "02079460958");
    row("GB own", "GB", "", "02079460958", "020 7946 0958");
    row("GB mobile", "GB", "", "07700900123", "07700 900123");
    row("GB own, country code", "GB", "", "442079460958", "020 7946 0958");
    row("GB from FR", "GB", "", "0033123456789", "+33 1 23 45 67 89");
    row("FR own", "FR", "", "0123456789", "01 23 45 67 89");
    row("FR from GB", "FR", "", "00442079460958", "+44 20 7946 0958");
    row("DE own", "DE", "", "030123456", "030 123456");
    row("DE from US", "DE", "", "0016135551234", "+1 613-555-1234");
    row("AU mobile", "AU", "", "0412345677", "0412 345 677");
    row("AU from US, prefix 0011", "AU", "", "001116135551234", "+1 613-555-1234");
    row("DK, no area codes", "DK", "", "32123456", "32 12 34 56");
    row("GB too short", "GB", "", "12", "12");
    row("GB not digits", "GB", "", "ANONYMOUS", "ANONYMOUS");
}

void TestPhoneNumber::display()
{
    QFETCH(QString, country);
    QFETCH(QString, areaCode);
    QFETCH(QString, received);
    QFETCH(QString, shown);
    QCOMPARE(NumberPlan(country, areaCode).display(received), shown);
}

void TestPhoneNumber::sameNumber_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("areaCode");
    QTest::addColumn<QString>("onCard");
    QTest::addColumn<QString>("called");
    QTest::addColumn<bool>("same");
    const auto row = [](const char* name, const char* country, const char* area, const char* card,
                        const char* called, bool same) {
        QTest::newRow(name) << country << area << card << called << same;
    };
    row("GB national call", "GB", "", "+44 20 7946 0958", "02079460958", true);
    row("GB national prefix kept in parentheses", "GB", "", "+44 (0)20 7946 0958", "02079460958",
        true);
    row("GB other number", "GB", "", "020 7946 0958", "02079460959", false);
    row("US call from GB", "US", "", "+44 20 7946 0958", "011442079460958", true);
    row("US digits alike, other country", "US", "", "+44 20 7946 0958", "2079460958", false);
    row("FR call from GB", "FR", "", "+44 20 7946 0958", "00442079460958", true);
    row("FR own", "FR", "", "01 23 45 67 89", "+33123456789", true);
    row("DE own", "DE", "", "+49 30 123456", "030123456", true);
    row("AU own", "AU", "", "+61 412 345 677", "0412345677", true);
    row("DK, no area codes", "DK", "", "+45 32 12 34 56", "32123456", true);
    // More than a trunk prefix to strip: the national mobile form holds a "15" the E.164 has not.
    row("AR mobile", "AR", "", "+54 9 11 2345-6789", "011 15-2345-6789", true);
    row("US seven digits take the area code", "US", "613", "555-1234", "6135551234", true);
    row("US other area code", "US", "819", "555-1234", "6135551234", false);
    row("CA extension does not count", "CA", "", "+1 (613) 555-0144 x22", "6135550144", true);
    row("US tel URI with extension", "US", "", "tel:+1-613-555-0144;ext=12", "16135550144", true);
    row("GB internal number", "GB", "", "2201", "2201", true);
}

void TestPhoneNumber::sameNumber()
{
    QFETCH(QString, country);
    QFETCH(QString, areaCode);
    QFETCH(QString, onCard);
    QFETCH(QString, called);
    QFETCH(bool, same);
    const NumberPlan plan(country, areaCode);
    QCOMPARE(plan.key(onCard) == plan.key(called), same);
}

void TestPhoneNumber::international_data()
{
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("stored");
    QTest::newRow("US") << "US"
                        << "+1 (613) 555-1234"
                        << "+1 613-555-1234";
    QTest::newRow("GB") << "GB"
                        << "07700 900123"
                        << "+44 7700 900123";
    QTest::newRow("GB, foreign") << "GB"
                                 << "+33 1 23 45 67 89"
                                 << "+33 1 23 45 67 89";
    QTest::newRow("not a number") << "DE"
                                  << "Private"
                                  << "Private";
}

void TestPhoneNumber::international()
{
    QFETCH(QString, country);
    QFETCH(QString, shown);
    QFETCH(QString, stored);
    QCOMPARE(NumberPlan(country).international(shown), stored);
}

QTEST_APPLESS_MAIN(TestPhoneNumber)
#include "tst_phonenumber.moc"
