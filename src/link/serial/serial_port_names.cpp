#include "serial_port_names.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool deviceExists(const QString &device)
{
    return QFileInfo::exists(device);
}

bool hasSerialHardware(const QString &device, const QString &sysClassTty)
{
    const QString node = QFileInfo(device).fileName();
    if (!node.startsWith(QLatin1String("ttyS")))
        return true;
    const QDir entry(sysClassTty + QLatin1Char('/') + node);
    QFile type(entry.filePath(QStringLiteral("type")));
    if (type.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const int portType = type.readAll().trimmed().toInt(&ok);
        return ok && portType != 0;
    }
    // No type to read: a port with a driver bound is taken as real.
    return QFileInfo::exists(entry.filePath(QStringLiteral("device/driver")));
}

bool serialDeviceUsable(const QString &device)
{
    return deviceExists(device) && hasSerialHardware(device);
}

QStringList serialDeviceCandidates()
{
    QStringList names;
    for (int i = 0; i <= 9; ++i)
        names << QStringLiteral("/dev/ttyUSB%1").arg(i);
    for (int i = 0; i <= 9; ++i)
        names << QStringLiteral("/dev/ttyACM%1").arg(i);
    for (int i = 0; i <= 31; ++i)
        names << QStringLiteral("/dev/ttyS%1").arg(i);
    return names;
}

QString comPortDeviceName(int comIndex, const DeviceExists &exists)
{
#ifdef Q_OS_WIN
    Q_UNUSED(exists);
    return QStringLiteral("COM%1").arg(comIndex + 1);
#else
    if (comIndex < 0)
        return {};
    int found = 0;
    for (const QString &name : serialDeviceCandidates()) {
        if (exists(name) && found++ == comIndex)
            return name;
    }
    return {};
#endif
}
