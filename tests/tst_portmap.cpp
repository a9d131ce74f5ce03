#include "PortMap.h"
#include "SettingsStore.h"
#include "TestHome.h"

class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void usbModemsComeFirstByNumber();
    void storedDeviceWinsAndIsKept();
};

void TestPortMap::usbModemsComeFirstByNumber()
{
    const QStringList found = {"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyACM10",
                               "/dev/ttyS1", "/dev/ttyACM2", "/dev/ttyUSB0"};
    QCOMPARE(PortMap::ordered(found), QStringList({"/dev/ttyACM2", "/dev/ttyACM10", "/dev/ttyUSB0",
                                                   "/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyS1"}));
}

void TestPortMap::storedDeviceWinsAndIsKept()
{
    TestHome home;
    TestHome::mapPort(3, "/dev/ttyACM0");
    QCOMPARE(PortMap::devicePath(3), "/dev/ttyACM0");
    // A port without an entry gets the device a search settled on; an entry is never replaced.
    QVERIFY(SaveSetting("ZodoDE", "Ports", "Com17", ""));
    PortMap::remember(17, "/dev/pts/7");
    QCOMPARE(GetSetting("ZodoDE", "Ports", "Com17", ""), "/dev/pts/7");
    PortMap::remember(17, "/dev/pts/8");
    PortMap::remember(3, "/dev/pts/8");
    QCOMPARE(PortMap::devicePath(17), "/dev/pts/7");
    QCOMPARE(PortMap::devicePath(3), "/dev/ttyACM0");
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
