#include "TestHome.h"
#include "addressbook/HostProbe.h"

#include <QFile>
#include <QFileInfo>

#include <QTest>

class TestHostProbe : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void realLibraryChecksTheContactsFolder();
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

void TestHostProbe::realLibraryChecksTheContactsFolder()
{
    TestHome home;
    const QString library = QStringLiteral(HOSTPROBE_PATH);
    QString problem;
    QVERIFY2(CheckOutlookObject(library, &problem), qPrintable(problem));
    QVERIFY(QFileInfo(home.path() + "/data/ringdesk/contacts").isDir());
    // A folder that cannot be made: its place is taken by a file.
    QFile blocker(home.path() + "/blocked");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QVERIFY(SaveSetting("ZodoDE", "Contacts", "ContactsFolder", home.path() + "/blocked/contacts"));
    QVERIFY(!CheckOutlookObject(library, &problem));
}

QTEST_GUILESS_MAIN(TestHostProbe)
#include "tst_hostprobe.moc"
