#include "TestHome.h"
#include "common/SettingsStore.h"
#include "devices/PortMap.h"
#include "devices/SerialDevices.h"

#include <QRegularExpression>

class TestPortMap : public QObject
{
    Q_OBJECT
private slots:
    void usbModemsComeFirstByNumber();
    void storedDeviceWinsAndIsKept();
    void onlyWhatMayBeAModemIsProbed_data();
    void onlyWhatMayBeAModemIsProbed();
    void theConsoleIsNeverProbed();
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
    QVERIFY(saveSetting("ZodoDE", "Ports", "Com17", ""));
    PortMap::remember(17, "/dev/pts/7");
    QCOMPARE(readSetting("ZodoDE", "Ports", "Com17", ""), "/dev/pts/7");
    PortMap::remember(17, "/dev/pts/8");
    PortMap::remember(3, "/dev/pts/8");
    QCOMPARE(PortMap::devicePath(17), "/dev/pts/7");
    QCOMPARE(PortMap::devicePath(3), "/dev/ttyACM0");
}

void TestPortMap::onlyWhatMayBeAModemIsProbed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("properties");
    QTest::addColumn<int>("uart");
    QTest::addColumn<bool>("probed");
    QTest::newRow("USB modem") << "ttyACM0"
                               << "ID_BUS=usb ID_VENDOR=U.S._Robotics" << -1 << true;
    QTest::newRow("USB serial adapter") << "ttyUSB0"
                                        << "ID_BUS=usb" << -1 << true;
    QTest::newRow("other USB serial driver") << "ttyXRUSB0"
                                             << "ID_BUS=usb" << -1 << true;
    QTest::newRow("Arduino") << "ttyACM1"
                             << "ID_BUS=usb ID_MM_DEVICE_IGNORE=1" << -1 << false;
    QTest::newRow("our own modem, kept from ModemManager")
        << "ttyACM2"
        << "ID_BUS=usb ID_MM_DEVICE_IGNORE=1 RINGDESK_MODEM=1" << -1 << true;
    QTest::newRow("on-board port with a UART") << "ttyS1"
                                               << "" << 4 << true;
    QTest::newRow("ttyS without a UART") << "ttyS2"
                                         << "" << 0 << false;
    QTest::newRow("the console") << "ttyS0"
                                 << "" << 4 << false;
    QTest::newRow("virtual terminal") << "tty3"
                                      << "" << -1 << false;
}

// The automatic list: a function over what udev says, fed here as udev would.
void TestPortMap::onlyWhatMayBeAModemIsProbed()
{
    QFETCH(QString, name);
    QFETCH(QString, properties);
    QFETCH(int, uart);
    SerialDevices::Device device;
    device.name = name;
    device.node = "/dev/" + name;
    for (const QString& pair : properties.split(' ', Qt::SkipEmptyParts))
        device.properties.insert(pair.section('=', 0, 0), pair.section('=', 1));
    device.uartType = uart;
    QTEST(SerialDevices::mayBeModem(device, {"tty0", "ttyS0"}), "probed");
}

// On this machine as it is: whatever its consoles, none of them is ever a port to search.
void TestPortMap::theConsoleIsNeverProbed()
{
    const QStringList ports = PortMap::machinePorts();
    for (const QString& console : SerialDevices::consoles())
        QVERIFY2(!ports.contains("/dev/" + console), qPrintable(console));
    for (const SerialDevices::Device& device : SerialDevices::all())
        if (QRegularExpression("^tty\\d+$").match(device.name).hasMatch())
            QVERIFY(!ports.contains(device.node)); // virtual terminals
}

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
