#include "numbers/PhoneNumber.h"

#include <QTest>

class TestPhoneNumber : public QObject
{
    Q_OBJECT
private slots:
    void FormatPhoneNumber_data();
    void FormatPhoneNumber();
    void searchForms_data();
    void searchForms();
};

void TestPhoneNumber::FormatPhoneNumber_data()
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

void TestPhoneNumber::FormatPhoneNumber()
{
    QFETCH(QString, input);
    QFETCH(QString, areaCode);
    QFETCH(QString, output);
    QCOMPARE(PhoneNumber::FormatPhoneNumber(input, areaCode), output);
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
    QCOMPARE(PhoneNumber::SearchNumberWithPrefix(number), withPrefix);
    QCOMPARE(PhoneNumber::SearchNumberWithoutPrefix(number), withoutPrefix);
}

QTEST_APPLESS_MAIN(TestPhoneNumber)
#include "tst_phonenumber.moc"
