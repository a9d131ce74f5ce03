#include "devices/SerialDevices.h"

#include <QFile>
#include <QFileInfo>

#include <libudev.h>
#include <memory>

namespace SerialDevices {

namespace {

using Udev = std::unique_ptr<udev, decltype(&udev_unref)>;
using UdevDevice = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

Device read(udev_device* handle)
{
    Device device;
    device.node = QString::fromLocal8Bit(udev_device_get_devnode(handle));
    device.name = QString::fromLocal8Bit(udev_device_get_sysname(handle));
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(handle))
    {
        device.properties.insert(QString::fromLocal8Bit(udev_list_entry_get_name(entry)),
                                 QString::fromLocal8Bit(udev_list_entry_get_value(entry)));
    }
    if (const char* type = udev_device_get_sysattr_value(handle, "type"))
        device.uartType = QByteArray(type).trimmed().toInt();
    return device;
}

} // namespace

bool mayBeModem(const Device& device, const QStringList& consoles)
{
    if (device.node.isEmpty() || consoles.contains(device.name))
        return false;
    // Our own rule keeps ModemManager away from the user's modem with the same mark; that
    // modem stays ours.
    if (device.properties.value(QStringLiteral("ID_MM_DEVICE_IGNORE")) == QLatin1String("1") &&
        device.properties.value(QStringLiteral("RINGDESK_MODEM")) != QLatin1String("1"))
        return false;
    if (device.name.startsWith(QLatin1String("ttyACM")) ||
        device.name.startsWith(QLatin1String("ttyUSB")) ||
        device.properties.value(QStringLiteral("ID_BUS")) == QLatin1String("usb"))
        return true;
    return device.uartType > 0;
}

QList<Device> all()
{
    QList<Device> devices;
    Udev context(udev_new(), &udev_unref);
    if (!context)
        return devices;
    std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)> enumerate(
        udev_enumerate_new(context.get()), &udev_enumerate_unref);
    if (!enumerate)
        return devices;
    udev_enumerate_add_match_subsystem(enumerate.get(), "tty");
    udev_enumerate_scan_devices(enumerate.get());
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        UdevDevice handle(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)),
            &udev_device_unref);
        if (handle)
            devices.append(read(handle.get()));
    }
    return devices;
}

QStringList consoles()
{
    QFile active(QStringLiteral("/sys/class/tty/console/active"));
    if (!active.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(active.readAll()).simplified().split(u' ', Qt::SkipEmptyParts);
}

QStringList modemNodes()
{
    const QStringList active = consoles();
    QStringList nodes;
    for (const Device& device : all())
        if (mayBeModem(device, active))
            nodes << device.node;
    return nodes;
}

QString describe(const QString& node)
{
    const QString target = QFileInfo(node).canonicalFilePath();
    for (const Device& device : all()) {
        if (device.node != node && device.node != target)
            continue;
        auto pick = [&device](const char* fromDatabase, const char* plain) {
            QString text = device.properties.value(QLatin1String(fromDatabase));
            if (text.isEmpty())
                text = device.properties.value(QLatin1String(plain)).replace(u'_', u' ');
            return text;
        };
        return (pick("ID_VENDOR_FROM_DATABASE", "ID_VENDOR") + u' ' +
                pick("ID_MODEL_FROM_DATABASE", "ID_MODEL"))
            .trimmed();
    }
    return QString();
}

} // namespace SerialDevices
