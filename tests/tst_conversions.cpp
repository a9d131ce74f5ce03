#include "common/CleanText.h"
#include "common/Conversions.h"

#include <QTest>

class TestConversions : public QObject
{
    Q_OBJECT
private slots:
    void toInt16_data();
    void toInt16();
    void toTruth_data();
    void toTruth();
    void numericEquals();
    void leadingNumber_data();
    void leadingNumber();
    void cleanText_data();
    void cleanText();
};

void TestConversions::toInt16_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");
    QTest::newRow("one") << "1" << true << 1;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("half to even down") << "2.5" << true << 2;
    QTest::newRow("half to even up") << "3.5" << true << 4;
    QTest::newRow("negative half") << "-0.5" << true << 0;
    QTest::newRow("below half") << "1.49" << true << 1;
    QTest::newRow("blanks around") << " 7 " << true << 7;
    QTest::newRow("exponent") << "1e2" << true << 100;
    QTest::newRow("upper limit") << "32767" << true << 32767;
    QTest::newRow("lower limit") << "-32768" << true << -32768;
    QTest::newRow("too large") << "32768" << false << 0;
    QTest::newRow("rounds past limit") << "32767.5" << false << 0;
    QTest::newRow("word") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("trailing junk") << "12abc" << false << 0;
    QTest::newRow("truth word") << "True" << false << 0;
    QTest::newRow("not a number") << "nan" << false << 0;
}

void TestConversions::toInt16()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    const std::optional<qint16> result = Conversions::toInt16(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(int(*result), value);
}

void TestConversions::toTruth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("value");
    QTest::newRow("True") << "True" << true << true;
    QTest::newRow("false lower") << "false" << true << false;
    QTest::newRow("TRUE upper") << "TRUE" << true << true;
    QTest::newRow("zero") << "0" << true << false;
    QTest::newRow("one") << "1" << true << true;
    QTest::newRow("minus one") << "-1" << true << true;
    QTest::newRow("fraction") << "0.5" << true << true;
    QTest::newRow("yes") << "yes" << false << false;
    QTest::newRow("empty") << "" << false << false;
}

void TestConversions::toTruth()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(bool, value);
    const std::optional<bool> result = Conversions::toTruth(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, value);
}

void TestConversions::numericEquals()
{
    QVERIFY(Conversions::numericEquals("1", 1));
    QVERIFY(Conversions::numericEquals("1.0", 1));
    QVERIFY(Conversions::numericEquals(" 0 ", 0));
    QVERIFY(!Conversions::numericEquals("1.5", 1));
    QVERIFY(!Conversions::numericEquals("True", 1));
    QVERIFY(!Conversions::numericEquals("", 0));
}

void TestConversions::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::newRow("whole") << "12"
                           << "12";
    QTest::newRow("trailing zero") << "2.50"
                                   << "2.5";
    QTest::newRow("no number") << "abc"
                               << "0";
    QTest::newRow("blanks inside") << " 1 2"
                                   << "12";
    QTest::newRow("tab and line feed") << "\t3\n4"
                                       << "34";
    QTest::newRow("exponent") << "1e2"
                              << "100";
    QTest::newRow("exponent without digits") << "1e"
                                             << "1";
    QTest::newRow("negative") << "-3"
                              << "-3";
    QTest::newRow("plus") << "+7ms"
                          << "7";
    QTest::newRow("leading point") << ".5"
                                   << "0.5";
    QTest::newRow("two points") << "1.2.3"
                                << "1.2";
    QTest::newRow("units after") << "3000 ms"
                                 << "3000";
    QTest::newRow("empty") << ""
                           << "0";
    QTest::newRow("sign only") << "-"
                               << "0";
    QTest::newRow("overflow") << "1e999"
                              << "0";
    QTest::newRow("negative zero") << "-0"
                                   << "0";
    QTest::newRow("large") << "123456789"
                           << "123456789";
}

void TestConversions::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QCOMPARE(Conversions::shortestDecimal(Conversions::leadingNumber(text)), stored);
}

void TestConversions::cleanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("clean");
    QTest::newRow("plain, tab kept") << "SMITH\tJOHN"
                                     << "SMITH\tJOHN";
    QTest::newRow("escape and bell") << "A\x1b[2J\x07"
                                        "B"
                                     << "A[2JB";
    QTest::newRow("NUL and DEL") << QString("A") + QChar(0) + "B\x7f"
                                 << "AB";
    QTest::newRow("C1, CSI") << "A\u009b31mB\u0080\u009f"
                             << "A31mB";
    QTest::newRow("line ends one blank") << "A\r\nB\nC\u0085D\u2028\u2029E"
                                         << "A B C D E";
    // A name that turns the rest of a log line around, or isolates it, misleads whoever reads it.
    QTest::newRow("direction controls") << "A\u202eB\u202aC\u2066D\u2069E\u202cF"
                                        << "ABCDEF";
    QTest::newRow("letters beyond Latin-1") << "Ærø 東京 \U0001F4DE"
                                            << "Ærø 東京 \U0001F4DE";
}

void TestConversions::cleanText()
{
    QFETCH(QString, text);
    QFETCH(QString, clean);
    QCOMPARE(CleanText::field(text), clean);
    QVERIFY(CleanText::isClean(clean));
    // Cut where a character ends, never between the halves of one.
    const QString pair = QStringLiteral("ab\U0001F4DE");
    QCOMPARE(CleanText::truncated(pair, 3), QStringLiteral("ab"));
    QCOMPARE(CleanText::truncated(pair, 4), pair);
}

QTEST_APPLESS_MAIN(TestConversions)
#include "tst_conversions.moc"
