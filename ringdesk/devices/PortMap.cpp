#include "devices/PortMap.h"

#include "common/Conversions.h"
#include "common/SettingsStore.h"
#include "common/SettingsTable.h"
#include "devices/SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace PortMap {

namespace {

const QString section = QStringLiteral("Ports");
std::optional<QStringList> standIn;

QString key(int port)
{
    return QStringLiteral("Com") + QString::number(port);
}

// USB modems first, ACM before USB, each by number; then the rest in the platform's order.
int rank(const QString& path)
{
    if (path.startsWith(QLatin1String("/dev/ttyACM")))
        return 0;
    if (path.startsWith(QLatin1String("/dev/ttyUSB")))
        return 1;
    return 2;
}

int number(const QString& path)
{
    qsizetype start = path.size();
    while (start > 0 && path.at(start - 1) >= u'0' && path.at(start - 1) <= u'9')
        --start;
    return QStringView(path).mid(start).toInt();
}

} // namespace

void setMachinePorts(std::optional<QStringList> paths)
{
    standIn = std::move(paths);
}

void resetMachinePorts()
{
    standIn.reset();
}

QStringList machinePorts()
{
    if (standIn)
        return *standIn;
    return ordered(SerialDevices::modemNodes());
}

QStringList ordered(QStringList paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        if (rank(a) != rank(b))
            return rank(a) < rank(b);
        return rank(a) < 2 && number(a) < number(b);
    });
    return paths;
}

QString devicePath(int port)
{
    const QString stored = readSetting(Settings::Application, section, key(port), QString());
    return stored.isEmpty() ? automaticDevice(port) : stored;
}

QString automaticDevice(int port)
{
    const QStringList ports = machinePorts();
    return port >= 1 && port <= ports.size() ? ports.at(port - 1) : QString();
}

QString stableName(const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (!target.isEmpty() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return device;
}

bool isExcluded(const QString& key)
{
    const std::optional<double> value = Conversions::toNumber(
        readSetting(QStringLiteral("zodoDE"), QStringLiteral("Modem"), key, QStringLiteral("0")));
    return value && *value != 0;
}

void remember(int port, const QString& device)
{
    if (device.isEmpty() ||
        !readSetting(Settings::Application, section, key(port), QString()).isEmpty())
        return;
    saveSetting(Settings::Application, section, key(port), stableName(device));
}

} // namespace PortMap
