#include "SingleInstance.h"
#include "TestHome.h"

#include <QSignalSpy>
#include <QTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void laterCopyAsksTheFirstToShowItself();
};

void TestSingleInstance::laterCopyAsksTheFirstToShowItself()
{
    TestHome home;
    QCOMPARE(SingleInstance::runtimeFolder(), home.path() + "/runtime");
    SingleInstance first(QStringLiteral("ringdesk"));
    QVERIFY(first.claim());
    QSignalSpy shown(&first, &SingleInstance::activationRequested);
    SingleInstance second(QStringLiteral("ringdesk"));
    QVERIFY(!second.claim());
    QTRY_COMPARE(shown.count(), 1);
    // Another program name is another lock.
    SingleInstance other(QStringLiteral("ringdesk-other"));
    QVERIFY(other.claim());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
