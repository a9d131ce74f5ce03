#include "modem/CommandExchange.h"

#include <QTest>

class TestCommandExchange : public QObject
{
    Q_OBJECT
private slots:
    void timeoutFor_data();
    void timeoutFor();
};

void TestCommandExchange::timeoutFor_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("default") << "3000" << 3000;
    QTest::newRow("one") << "1" << 1;
    QTest::newRow("largest") << "65535" << 65535;
    QTest::newRow("too large") << "100000" << 65535;
    QTest::newRow("zero") << "0" << 3000;
    QTest::newRow("negative") << "-5" << 3000;
    QTest::newRow("not a number") << "soon" << 3000;
    QTest::newRow("empty") << "" << 3000;
    QTest::newRow("fraction") << "1500.7" << 1500;
}

void TestCommandExchange::timeoutFor()
{
    QFETCH(QString, text);
    QTEST(CommandExchange::timeoutFor(text), "milliseconds");
}

QTEST_APPLESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
