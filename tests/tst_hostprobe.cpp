#include "HostProbe.h"

#include <QTest>

class TestHostProbe : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
};

void TestHostProbe::answers_data()
{
    QTest::addColumn<QString>("library");
    QTest::addColumn<bool>("available");
    QTest::addColumn<bool>("problem");
    const QString dir = QStringLiteral(FAKE_PROBE_DIR);
    QTest::newRow("yes") << dir + "/libfakeprobe_yes.so" << true << false;
    QTest::newRow("no") << dir + "/libfakeprobe_no.so" << false << false;
    QTest::newRow("no such function") << dir + "/libfakeprobe_nofunction.so" << false << true;
    QTest::newRow("no library") << dir + "/libmissing.so" << false << true;
}

void TestHostProbe::answers()
{
    QFETCH(QString, library);
    QString problem;
    QTEST(CheckOutlookObject(library, &problem), "available");
    QTEST(!problem.isEmpty(), "problem");
}

QTEST_GUILESS_MAIN(TestHostProbe)
#include "tst_hostprobe.moc"
